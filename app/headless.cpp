#include "app/headless.h"

#include "app/recorder_status.h"
#include "app/session_events.h"
#include "app/settings_store.h"
#include "app/single_instance.h"
#include "app/web_service.h"
#include "events/event_publisher.h"
#include "film/daily_film.h"
#include "media/redact.h"
#include "media/uri_camera.h"
#include "session/recording_session.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

Q_LOGGING_CATEGORY(lcHeadless, "kv.app.headless", QtInfoMsg)

namespace kv::app {

namespace {

void journalMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    // The levels of sd-daemon(3): the journal reads them off the line's start.
    const char* level = "<6>";
    switch (type) {
        case QtDebugMsg:
            level = "<7>";
            break;
        case QtInfoMsg:
            level = "<6>";
            break;
        case QtWarningMsg:
            level = "<4>";
            break;
        case QtCriticalMsg:
            level = "<3>";
            break;
        case QtFatalMsg:
            level = "<2>";
            break;
    }
    const QByteArray line = level + message.toLocal8Bit().replace('\n', ' ') + '\n';
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
    std::fflush(stderr);
}

// The settings that need new graphs when they change.
bool needsRebuild(const session::Settings& a, const session::Settings& b) {
    return a.CaptureDeviceName != b.CaptureDeviceName ||
           a.CaptureDeviceIndex != b.CaptureDeviceIndex ||
           a.CaptureFormatIndex != b.CaptureFormatIndex || a.Compressor != b.Compressor ||
           a.CompressorQuality != b.CompressorQuality ||
           a.CompressorKeyframeRate != b.CompressorKeyframeRate || a.AVIPath != b.AVIPath ||
           a.PlayInterval != b.PlayInterval;
}

QString instanceName(const QString& suffix) {
    return suffix.isEmpty() ? QStringLiteral("the first instance")
                            : QStringLiteral("instance ") + suffix;
}

}  // namespace

void installJournalMessageHandler() {
    qInstallMessageHandler(journalMessage);
}

HeadlessRecorder::HeadlessRecorder(CommandLine line, QObject* parent)
    : QObject(parent), line_(std::move(line)) {}

HeadlessRecorder::~HeadlessRecorder() {
    stop();
    if (lockFd_ >= 0) {
        ::close(lockFd_);
    }
}

bool HeadlessRecorder::start() {
    for (const QString& problem : line_.problems) {
        qCWarning(lcHeadless).noquote() << media::sanitizedText(problem);
    }
    const QString suffix = line_.instanceSuffix;
    QString why;
    if (!isUsableInstanceSuffix(suffix, &why)) {
        qCCritical(lcHeadless).noquote() << why + QStringLiteral("; this start ends");
        failure_ = kCannotLock;
        return false;
    }
    // Two headless starts at once: the lock decides; a desktop one answers the
    // channel. Without the lock two recorders could write one folder: no start.
    const QString folder = InstanceChannel::socketFolder(&why);
    if (folder.isEmpty()) {
        qCCritical(lcHeadless).noquote()
            << QStringLiteral("no private folder for the recorder's lock (%1); this start ends")
                   .arg(why);
        failure_ = kCannotLock;
        return false;
    }
    const QString lockPath = folder + QStringLiteral("/headless%1.lock").arg(suffix);
    lockFd_ = ::open(QFile::encodeName(lockPath).constData(),
                     O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) {
        qCCritical(lcHeadless).noquote() << "the lock" << lockPath << "cannot be opened ("
                                         << qt_error_string(errno) << "); this start ends";
        failure_ = kCannotLock;
        return false;
    }
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        qCCritical(lcHeadless).noquote() << "another headless recorder of" << instanceName(suffix)
                                         << "runs already; this start ends";
        return false;
    }
    channel_ = new InstanceChannel(this);
    // No window to show: a desktop start must not take this one for its first instance.
    channel_->setAnswersRunning(false);
    if (const std::optional<RecorderStatus> other = runningRecorder(*channel_, suffix)) {
        qCCritical(lcHeadless).noquote()
            << QStringLiteral("%1 is recorded already by process %2 (%3); this start ends")
                   .arg(instanceName(suffix))
                   .arg(other->pid)
                   .arg(other->headless ? QStringLiteral("headless")
                                        : QStringLiteral("the desktop program"));
        return false;
    }

    media::setCommandLineCameras(line_.cameras);
    store_ = std::make_unique<SettingsStore>(suffix);
    settings_ = loadRecorderSettings(*store_, 0, 0);

    session_ = new session::RecordingSession(media::systemClock(), this);
    connectSession();
    session_->apply(settings_);
    session_->setMode(settings_.Mode);

    channel_->setStatusProvider([this] {
        return toJson(recorderStatus(*session_, line_.instanceSuffix, true, lastMovement_));
    });
    publisher_ = new events::EventPublisher(
        *session_, suffix,
        [this](int mode) {
            settings_.Mode = mode;
            session_->setMode(mode);
        },
        this);
    publisher_->setStateProvider([this] {
        return toJson(recorderStatus(*session_, line_.instanceSuffix, true, lastMovement_));
    });
    channel_->listen();
    serveWeb(*session_, suffix, true, this);

    events_ = new SessionEvents(this);
    connect(events_, &SessionEvents::endSession, this, &HeadlessRecorder::stop);
    connect(events_, &SessionEvents::hangUp, this, &HeadlessRecorder::reload);
    connect(events_, &SessionEvents::powerEvent, session_, &session::RecordingSession::powerEvent);

    qCInfo(lcHeadless).noquote() << "recording" << instanceName(suffix) << "into"
                                 << settings_.AVIPath << "with the settings of"
                                 << store_->filePath();
    session_->startUp(session::RecordingSession::FirstBuild::AtOnce);
    startDailyFilm();
    return true;
}

void HeadlessRecorder::startDailyFilm() {
    daily_ = new film::DailyFilm(media::systemClock(), this);
    daily_->setSettingsSource(&settings_);
    connect(daily_, &film::DailyFilm::started, this, [](QDate day) {
        qCInfo(lcHeadless).noquote() << "filming" << day.toString(Qt::ISODate);
    });
    connect(daily_, &film::DailyFilm::finished, this,
            [this](QDate day, const QString& path, double length_s, int recordings) {
                qCInfo(lcHeadless).noquote()
                    << "film of" << day.toString(Qt::ISODate) << "made:" << path << "-" << length_s
                    << "s from" << recordings << (recordings == 1 ? "recording" : "recordings");
                publisher_->filmReady(day, path, length_s, recordings);
            });
    connect(daily_, &film::DailyFilm::failed, this, [](QDate day, const QString& reason) {
        qCWarning(lcHeadless).noquote()
            << "no film of" << day.toString(Qt::ISODate) + u':' << reason;
    });
    daily_->start();
}

void HeadlessRecorder::connectSession() {
    using session::RecordingSession;
    connect(session_, &RecordingSession::recordGraphBuilt, this, [this] {
        currentFile_ = session_->RecordFileName();
        qCInfo(lcHeadless).noquote() << "recording into" << currentFile_;
    });
    connect(session_, &RecordingSession::recordGraphClosed, this, [this] {
        if (!currentFile_.isEmpty()) {
            const int frames = session_->recordedFrames();
            qCInfo(lcHeadless).noquote()
                << QFileInfo(currentFile_).fileName() + u':' << "finished with" << frames
                << (frames == 1 ? "frame" : "frames");
            currentFile_.clear();
        }
    });
    connect(session_, &RecordingSession::movementStarted, this, [this] {
        lastMovement_ = QDateTime::currentDateTime();
        qCInfo(lcHeadless) << "movement started";
    });
    connect(session_, &RecordingSession::noCameraChanged, this, [this](bool none) {
        if (none) {
            qCWarning(lcHeadless) << "no camera: recording starts when one is there";
        } else {
            qCInfo(lcHeadless).noquote() << "a camera is there:" << session_->stateText();
        }
    });
}

void HeadlessRecorder::reload() {
    if (stopped_ || !session_) {
        return;
    }
    QString why;
    const std::optional<session::Settings> read = reloadRecorderSettings(*store_, &why);
    if (!read) {
        // A typo must not move a running recorder to the default folder and mode.
        qCWarning(lcHeadless).noquote()
            << "settings not reloaded: the settings file" << why << "- the running settings stay";
        return;
    }
    const session::Settings& fresh = *read;
    const bool rebuild = needsRebuild(settings_, fresh);
    settings_ = fresh;
    session_->apply(settings_);
    session_->setMode(settings_.Mode);
    qCInfo(lcHeadless).noquote() << "settings reloaded from" << store_->filePath()
                                 << QStringLiteral("(RecInterval %1 ms, mode %2)")
                                        .arg(settings_.RecInterval)
                                        .arg(settings_.Mode);
    if (rebuild) {
        // The next tick builds them with the new camera, compressor or folder.
        session_->resetFaults();
        session_->CloseCaptureGraph();
        session_->CloseRecordGraph();
    }
}

void HeadlessRecorder::stop() {
    if (stopped_ || !session_) {
        return;
    }
    stopped_ = true;
    if (daily_) {
        daily_->stop();
    }
    session_->shutdown();
    if (publisher_) {
        publisher_->stop();
    }
    qCInfo(lcHeadless) << "stopped";
    Q_EMIT stopped();
}

int printRecorderStatus(const CommandLine& line) {
    InstanceChannel channel;
    if (std::optional<RecorderStatus> status = runningRecorder(channel, line.instanceSuffix)) {
        // What reaches the terminal carries no escape codes, whoever answered.
        for (QString* text : {&status->mode, &status->state, &status->camera, &status->window}) {
            *text = media::sanitizedText(*text);
        }
        for (QString* path : {&status->file, &status->folder}) {
            *path = media::sanitizedText(*path, 4096);
        }
        std::fputs(describe(*status).toLocal8Bit().constData(), stdout);
        return 0;
    }
    const QString instance =
        line.instanceSuffix.isEmpty()
            ? QCoreApplication::translate("kv::app", "the first instance")
            : QCoreApplication::translate("kv::app", "instance %1").arg(line.instanceSuffix);
    std::fprintf(stderr, "kestrelvision: %s\n",
                 qPrintable(HeadlessRecorder::tr("no recorder of %1 runs").arg(instance)));
    return kNoRecorderRuns;
}

}  // namespace kv::app

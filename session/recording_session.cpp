#include "session/recording_session.h"

#include "capture/capture_graph.h"
#include "capture/frame_stamp.h"
#include "capture/grabber_callback.h"
#include "capture/motion.h"
#include "media/device_catalogue.h"
#include "media/device_watch.h"
#include "record/record_files.h"
#include "record/record_graph.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

Q_LOGGING_CATEGORY(lcRecording, "kv.session.recording", QtInfoMsg)

namespace kv::session {

namespace {
const QString kMaskFile = QStringLiteral("Mask.bmp");

// Frames the recording may hold at once while it encodes them (the source's
// queue, the queue before the encoder, the encoder). Their buffers come back
// to the hand-off as spares.
constexpr std::size_t kFramesInRecording = 4;

// A held frame as what keeps it for the recording until it is encoded.
media::FrameOwner owner(capture::FrameHold hold) {
    return std::make_shared<const capture::FrameHold>(std::move(hold));
}
}  // namespace

QString buildProblemText(BuildProblem problem, int code) {
    switch (problem) {
        case BuildProblem::NoCaptureDevice:
            return RecordingSession::tr("No capture device available.");
        case BuildProblem::GrabberMissing:
            return RecordingSession::tr(
                "Kestrelvision needs GStreamer 1.22 or higher: \n\nOK brings you to the "
                "GStreamer download page.\n");
        case BuildProblem::RendererMissing:
            return RecordingSession::tr(
                "Nullrenderer not available. \nKestrelvision needs GStreamer 1.22 or higher: \n\n");
        case BuildProblem::SourceMissing:
            return RecordingSession::tr("Record source filter not available. \n\n");
        case BuildProblem::CompressorFailed:
            return record::RecordGraph::compressorFailureText(code);
    }
    return {};
}

RecordingSession::RecordingSession(const media::Clock& clock, QObject* parent)
    : QObject(parent),
      clock_(clock),
      canStamp_(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    grabber_ = std::make_unique<capture::TGrabberCallback>(capture::WM_NEWFRAME, this, clock_);
    captureGraph_ = new capture::CaptureGraph(*grabber_, this);
    connect(
        captureGraph_, &capture::CaptureGraph::cameraLost, this,
        [this](const QString& reason) {
            // From a graph closed or rebuilt since: nothing to do.
            if (captureGraph_->exists() && captureGraph_->lost()) {
                onCameraLost(reason);
            }
        },
        Qt::QueuedConnection);
    connect(captureGraph_, &capture::CaptureGraph::formatReady, this,
            &RecordingSession::onCaptureFormat);
    recordGraph_ = new record::RecordGraph(this);
    connect(recordGraph_, &record::RecordGraph::writeError, this, &RecordingSession::onWriteError,
            Qt::QueuedConnection);
    deviceWatch_ = new media::DeviceWatch(this);
    connect(deviceWatch_, &media::DeviceWatch::cameraAdded, this, &RecordingSession::onCameraAdded);
    recordTimer_ = new QTimer(this);
    recordTimer_->setObjectName(QStringLiteral("RecordTimer"));
    recordTimer_->setInterval(1000);
    connect(recordTimer_, &QTimer::timeout, this, &RecordingSession::RecordTimerTimer);
    connect(recordGraph_, &record::RecordGraph::finished, this,
            &RecordingSession::recordingFinished);
    watchdog_ = new QTimer(this);
    watchdog_->setInterval(1000);
    connect(watchdog_, &QTimer::timeout, this, &RecordingSession::checkSilence);
    restartDelay_.reset(session::RestartDelay::kAfterCreate);
}

RecordingSession::~RecordingSession() {
    if (repairThread_.joinable()) {
        repairThread_.join();
    }
    shutdown();
    // The pipelines refer to the hand-off object: they go first.
    delete captureGraph_;
    captureGraph_ = nullptr;
    delete recordGraph_;
    recordGraph_ = nullptr;
    grabber_.reset();
}

void RecordingSession::apply(const Settings& settings) {
    settings_ = settings;
    windowDate_ = QDate();  // the window is worked out again
    heartbeat_.setInterval(settings_.IdleInterval);
    preRecord_.setCapacity(settings_.PreRecFrames);
    // The ring's buffers go back to the hand-off when it empties, and the
    // recording's as it encodes them: kept there for the next frames instead
    // of freed and made again.
    grabber_->setMaxSpares(std::size_t(preRecord_.capacity()) +
                           capture::TGrabberCallback::kMinSpares + kFramesInRecording);
    grabber_->setInterval(settings_.Mode == session::StateOff
                              ? kIdleInterval_ms
                              : std::uint32_t(settings_.RecInterval));
    if (recordingWindowEmpty()) {
        if (!emptyWindowTold_) {
            emptyWindowTold_ = true;
            qCWarning(lcRecording).noquote()
                << todaysWindow().reason << "Nothing is recorded until the window is changed.";
            Q_EMIT statusText(stateText());
        }
    } else {
        emptyWindowTold_ = false;
    }
    if (noCamera_) {
        retryAt_ms_.reset();  // new settings may bring a camera: try at once
    }
    // The camera the settings name may be listed again (a network camera
    // put back into the settings): it replaces the stand-in.
    if (standIn_ && namedCameraListed()) {
        onCameraAdded(settings_.CaptureDeviceName);
    }
    Q_EMIT settingsApplied();
}

bool RecordingSession::recordingWindowEmpty() const {
    return settings_.RecUseTimer && todaysWindow().state == WindowState::Refused;
}

const DailyWindow& RecordingSession::todaysWindow() const {
    const QDateTime now = clock_.now();
    if (windowDate_ != now.date()) {
        windowDate_ = now.date();
        window_ = dailyWindow(windowSettings(settings_), now.date(), now.timeZone());
    }
    return window_;
}

// Each opening and closing of the daily window, and why a day has none, is
// logged once.
void RecordingSession::logWindowChange(bool open) {
    const DailyWindow& w = todaysWindow();
    if (w.state != loggedWindowState_) {
        loggedWindowState_ = w.state;
        if (!w.reason.isEmpty()) {
            qCInfo(lcRecording).noquote() << w.reason;
        }
    }
    if (windowOpen_ != open) {
        windowOpen_ = open;
        qCInfo(lcRecording).noquote()
            << (open ? "the daily recording window opens:" : "the daily recording window closes:")
            << w.statusText;
    }
}

void RecordingSession::setMode(int mode) {
    settings_.Mode = mode;
    postRecord_.reset();
    preRecord_.clear();
    grabber_->setInterval(mode == session::StateOff ? kIdleInterval_ms
                                                    : std::uint32_t(settings_.RecInterval));
}

void RecordingSession::resetFaults() {
    cameraLost_ = false;
    writeFailed_ = false;
    retryAt_ms_.reset();
    cameraBackoff_.reset();
    writeBackoff_.reset();
}

void RecordingSession::setAutoSetMask(bool on) {
    autoSet_ = on;
}

bool RecordingSession::saveMask(QString* error) const {
    return mask_.save(settings_.AVIPath + kMaskFile, error);
}

bool RecordingSession::event(QEvent* event) {
    if (int(event->type()) == capture::WM_NEWFRAME) {
        FrameLoop();
        return true;
    }
    return QObject::event(event);
}

bool RecordingSession::captureGraphExists() const {
    return captureGraph_->exists();
}

bool RecordingSession::recordGraphExists() const {
    return recordGraph_->exists();
}

const media::BITMAPINFOHEADER& RecordingSession::cameraFormat() const {
    return grabber_->format().bmiHeader;
}

std::uint32_t RecordingSession::frameInterval() const {
    return grabber_->interval();
}

GstElement* RecordingSession::compressorElement() const {
    return recordGraph_->exists() ? recordGraph_->compressor() : nullptr;
}

int RecordingSession::recordingsFinishing() const {
    return recordGraph_->finishing();
}

record::RecordCounters RecordingSession::recordCounters() const {
    return recordGraph_->counters();
}

// --- record timer

void RecordingSession::startUp(FirstBuild first) {
    buildAtOnce_ = first == FirstBuild::AtOnce;
    if (!shutDown_) {
        recordTimer_->start();
    }
    if (repairing_ || repairThread_.joinable()) {
        return;  // once
    }
    repairing_ = true;
    repairThread_ = std::thread([this, folder = settings_.AVIPath] {
        const record::RepairSummary summary = record::repairRecordings(folder);
        QMetaObject::invokeMethod(
            this, [this, summary] { onRepaired(summary.repaired, summary.removed); },
            Qt::QueuedConnection);
    });
}

void RecordingSession::onRepaired(int repaired, int removed) {
    repairing_ = false;
    EnforceDiskQuota();
    if (repaired > 0) {
        Q_EMIT statusText(tr("%1 unfinished recording(s) repaired.").arg(repaired));
    }
    Q_EMIT recordingsRepaired(repaired, removed);
    // A power event during the repair keeps its longer wait.
    if (buildAtOnce_ && !shutDown_ && restartDelay_.ticks() <= RestartDelay::kAfterCreate) {
        restartDelay_.reset(0);
        RecordTimerTimer();
    }
}

bool RecordingSession::recordTimerActive() const {
    return recordTimer_->isActive();
}

void RecordingSession::setRecordTimerInterval(int interval_ms) {
    recordTimer_->setInterval(interval_ms);
}

RecordingSession::TimerHold::TimerHold(RecordingSession& session)
    : session_(session), wasActive_(session.recordTimer_->isActive()) {
    session_.recordTimer_->stop();
}

RecordingSession::TimerHold::~TimerHold() {
    if (wasActive_ && !session_.shutDown_) {
        session_.recordTimer_->start();
    }
}

void RecordingSession::RecordTimerTimer() {
    // A build may take a while: no second tick runs under it.
    const bool wasActive = recordTimer_->isActive();
    recordTimer_->stop();
    recordTimerTick();
    if (wasActive && !shutDown_) {
        recordTimer_->start();
    }
    Q_EMIT ticked();
}

void RecordingSession::recordTimerTick() {
    if (shutDown_ || repairing_ || !restartDelay_.tick()) {
        return;
    }
    if (recordGraph_->exists() && clock_.tickCount() - lastQuota_ms_ >= kQuotaEvery_ms) {
        EnforceDiskQuota();  // a long file grows too
    }
    // The named camera may be back without a word from the device monitor
    // (none could start, or its message was missed): looked for now and then.
    if (standIn_ && clock_.tickCount() - standInCheck_ms_ >= kStandInCheck_ms) {
        standInCheck_ms_ = clock_.tickCount();
        if (namedCameraListed()) {
            onCameraAdded(settings_.CaptureDeviceName);
        }
    }
    // A new file proves the fault mended once it has taken frames for a while,
    // or, waiting for movement, once it has stood that long without failing.
    if (writeFailed_ && recordGraph_->exists() &&
        (recordedFrames_ > 0 || settings_.Mode != session::StateRecord) &&
        !recordGraph_->failed() && clock_.tickCount() - recordStart_ms_ >= kWriteProven_ms) {
        writeFailed_ = false;
        writeBackoff_.reset();
        retryAt_ms_.reset();
        qCInfo(lcRecording).noquote() << "recording resumed into" << recordFileName_;
        Q_EMIT writeFailedChanged(false, recordFileName_, QString());
    }
    session::TimerInputs in;
    in.recordGraphExists = recordGraph_->exists();
    in.recUseTimer = settings_.RecUseTimer;
    in.now = session::timeOfDay(clock_.now());
    in.start = todaysWindow().start;
    in.stop = todaysWindow().stop;
    if (settings_.RecUseTimer) {
        logWindowChange(!session::outsideRecordingWindow(in.now, in.start, in.stop));
    }
    in.recordedFrames = recordedFrames_;
    in.maxRecordSamples = settings_.MaxRecordSamples;
    switch (session::recordTimerAction(in)) {
        case session::TimerAction::Stop:
            CloseRecordGraph();
            CloseCaptureGraph();
            break;
        case session::TimerAction::Rotate:
            rotateRecording();
            break;
        case session::TimerAction::Start:
            if (recordPending_ && captureGraph_->exists()) {
                break;  // the camera is still starting; the watchdog times it
            }
            if (!retryDue()) {
                break;
            }
            if (captureGraph_->exists() && captureGraph_->formatKnown() && !captureGraph_->lost()) {
                // Only the recording stopped (a write fault): the camera runs on.
                retryAt_ms_.reset();
                EnforceDiskQuota();
                BuildRecordGraph();
            } else {
                StartGraphs();
            }
            break;
        case session::TimerAction::None:
            break;
    }
}

void RecordingSession::StartGraphs() {
    retryAt_ms_.reset();
    EnforceDiskQuota();
    // A capture graph left from a failed recording start is closed first.
    CloseCaptureGraph();
    BuildCaptureGraph();
    // Without a camera there is nothing to record: no file is made, and the
    // build is retried with the back-off.
    if (captureGraph_->exists()) {
        BuildRecordGraph();
    }
}

bool RecordingSession::retryDue() const {
    return !retryAt_ms_ || std::int32_t(clock_.tickCount() - *retryAt_ms_) >= 0;
}

void RecordingSession::scheduleRetry(Backoff& backoff, const char* what) {
    const int wait_s = backoff.next();
    retryAt_ms_ = clock_.tickCount() + std::uint32_t(wait_s) * 1000u;
    qCDebug(lcRecording) << what << "- next try in" << wait_s << "s";
}

// --- graphs

void RecordingSession::EnforceDiskQuota() {
    lastQuota_ms_ = clock_.tickCount();
    const record::QuotaResult result =
        quota_.EnforceDiskQuota(settings_.AVIPath, settings_.MaxDiskspace, playbackFileName_,
                                recordGraph_->exists() ? recordFileName_ : QString());
    if (result.overLimit != overQuota_) {
        overQuota_ = result.overLimit;
        Q_EMIT statusText(stateText());
    }
}

void RecordingSession::BuildCaptureGraph() {
    // The setting keeps its camera while that camera is absent.
    QString camera = settings_.CaptureDeviceName;
    const capture::CaptureBuild result = captureGraph_->build(
        camera, settings_.CaptureDeviceIndex, settings_.CaptureFormatIndex, settings_.Debug);
    switch (result) {
        case capture::CaptureBuild::NoCaptureDevice:
            CloseCaptureGraph();
            setNoCamera(true);
            return;
        case capture::CaptureBuild::GrabberMissing:
        case capture::CaptureBuild::RendererMissing: {
            CloseCaptureGraph();
            const BuildProblem problem = result == capture::CaptureBuild::GrabberMissing
                                             ? BuildProblem::GrabberMissing
                                             : BuildProblem::RendererMissing;
            if (!buildProblemTold_) {
                buildProblemTold_ = true;
                qCWarning(lcRecording).noquote()
                    << "the camera cannot be used:" << buildProblemText(problem, 0).simplified();
                Q_EMIT buildProblem(problem, 0);
            }
            scheduleRetry(cameraBackoff_, "the camera's graph could not be built");
            return;
        }
        case capture::CaptureBuild::Running:
            break;
    }
    buildProblemTold_ = false;
    setNoCamera(false);
    const bool standIn = !settings_.CaptureDeviceName.isEmpty() && camera.isEmpty();
    if (standIn && !standIn_) {
        standInCheck_ms_ = clock_.tickCount();
        qCWarning(lcRecording).noquote()
            << "the camera" << settings_.CaptureDeviceName
            << "is not there: the first camera found records until it is back";
        deviceWatch_->start();
    }
    standIn_ = standIn;
    if (captureGraph_->lost()) {
        // The camera failed while starting: it is not there yet.
        onCameraLost(captureGraph_->lossReason());
        return;
    }
    lastFrame_ms_ = clock_.tickCount();
    watchdog_->start();
}

// The capture graph has made the hand-off's buffers for the camera's format.
void RecordingSession::onCaptureFormat() {
    const media::BITMAPINFOHEADER header = grabber_->format().bmiHeader;
    mask_.resetAndLoad(settings_.AVIPath + kMaskFile);
    robust_.reset();
    releaseDisplay();
    displayFormat_ = header;
    // Fonts, and so the stamp's rows, need a GUI application.
    displayBand_ = canStamp_ ? capture::stampBand(header) : capture::StampBand{};
    Q_EMIT captureFormatReady(header.biWidth, std::abs(header.biHeight));
    if (recordPending_) {
        recordPending_ = false;
        BuildRecordGraph();
    }
}

void RecordingSession::CloseCaptureGraph() {
    recordPending_ = false;
    watchdog_->stop();
    captureGraph_->close();
    releaseDisplay();
    displayFormat_ = media::BITMAPINFOHEADER{};
    Q_EMIT captureGraphClosed();
}

void RecordingSession::setNoCamera(bool none) {
    if (!none) {
        if (noCamera_) {
            noCamera_ = false;
            cameraBackoff_.reset();
            qCInfo(lcRecording) << "a camera is there";
            Q_EMIT noCameraChanged(false);
        }
        return;
    }
    if (!noCamera_) {
        noCamera_ = true;
        qCWarning(lcRecording) << "no camera: nothing is recorded until one is there";
        deviceWatch_->start();
        Q_EMIT noCameraChanged(true);
        if (!cameraLost_) {  // a camera that went away was told already
            Q_EMIT buildProblem(BuildProblem::NoCaptureDevice, 0);
        }
    }
    scheduleRetry(cameraBackoff_, "no camera");
    Q_EMIT statusText(stateText());
}

void RecordingSession::onCameraAdded(const QString& name) {
    if (noCamera_ || cameraLost_) {
        retryAt_ms_.reset();  // the next tick tries it
        return;
    }
    if (standIn_ && name.compare(settings_.CaptureDeviceName, Qt::CaseInsensitive) == 0) {
        qCInfo(lcRecording).noquote() << "the camera" << name << "is back: it records again";
        standIn_ = false;
        CloseRecordGraph();
        CloseCaptureGraph();
        retryAt_ms_.reset();
    }
}

bool RecordingSession::namedCameraListed() const {
    QStringList names;
    media::ListDeviceNames(media::DeviceCategory::CLSID_VideoInputDeviceCategory, names);
    return names.contains(settings_.CaptureDeviceName, Qt::CaseInsensitive);
}

void RecordingSession::BuildRecordGraph() {
    if (!captureGraph_->exists()) {
        return;  // no camera: no file
    }
    if (!captureGraph_->formatKnown()) {
        recordPending_ = true;  // built when the camera tells its format
        return;
    }
    if (!openRecordFile()) {
        CloseRecordGraph();
        scheduleRetry(writeBackoff_, "the recording could not be built");
        return;
    }
    preRecord_.clear();  // its frames belong to the file before
    warmUp_ = kWarmUpFrames;
    // The camera may have run without a recording (after a write fault):
    // its silence counts from now.
    lastFrame_ms_ = clock_.tickCount();
    if (settings_.Mode != session::StateOff) {
        grabber_->setInterval(kIdleInterval_ms);
    }
    grabber_->setEnabled(true);
}

void RecordingSession::rotateRecording() {
    if (!recordGraph_->exists()) {
        return;
    }
    recordGraph_->close(record::RecordGraph::Finish::Background);
    Q_EMIT recordGraphClosed();
    EnforceDiskQuota();
    if (!openRecordFile()) {
        CloseRecordGraph();
        scheduleRetry(writeBackoff_, "the next recording could not be built");
    }
}

bool RecordingSession::openRecordFile() {
    QString folderError;
    if (!record::ensureRecordingFolder(settings_.AVIPath, &folderError)) {
        qCWarning(lcRecording).noquote() << "recording folder:" << folderError;
    }
    recordFileName_ = record::NewRecordFileName(settings_.AVIPath, clock_);
    record::RecordGraphParams params;
    params.fileName = recordFileName_;
    params.compressor = settings_.Compressor;
    params.quality = settings_.CompressorQuality;
    params.keyFrameRate = settings_.CompressorKeyframeRate;
    params.playInterval_ms = settings_.PlayInterval;
    params.width = grabber_->format().bmiHeader.biWidth;
    params.height = std::abs(grabber_->format().bmiHeader.biHeight);
    params.debug = settings_.Debug;
    if (recordGraph_->build(params) == record::RecordBuild::SourceMissing) {
        if (!sourceMissingTold_) {
            sourceMissingTold_ = true;
            qCWarning(lcRecording).noquote()
                << "the recording cannot be built:"
                << buildProblemText(BuildProblem::SourceMissing, 0).simplified();
            Q_EMIT buildProblem(BuildProblem::SourceMissing, 0);
        }
        return false;
    }
    sourceMissingTold_ = false;
    if (const std::optional<int> failure = recordGraph_->compressorFailure()) {
        // Told once for each compressor chosen, not for every file.
        if (compressorFailureTold_ != settings_.Compressor) {
            compressorFailureTold_ = settings_.Compressor;
            qCWarning(lcRecording).noquote()
                << settings_.Compressor << "cannot be used, the file is written uncompressed:"
                << buildProblemText(BuildProblem::CompressorFailed, *failure);
            Q_EMIT buildProblem(BuildProblem::CompressorFailed, *failure);
        }
    } else {
        compressorFailureTold_.clear();
    }
    recordedFrames_ = 0;
    recordStart_ms_ = clock_.tickCount();
    if (!writeFailed_) {
        writeBackoff_.reset();  // a failed build before is over
    }
    heartbeat_.recorded(recordStart_ms_);
    Q_EMIT statusText(recordingStatus());
    Q_EMIT recordGraphBuilt();
    return true;
}

void RecordingSession::CloseRecordGraph() {
    grabber_->setEnabled(false);
    grabber_->resetReady();
    grabber_->resetIndex();
    // The file finishes in the background; the next one may start at once.
    recordGraph_->close(record::RecordGraph::Finish::Background);
    heartbeat_.reset();
    Q_EMIT recordGraphClosed();
    Q_EMIT statusText(tr("AUS"));
    grabber_->setInterval(kIdleInterval_ms);
}

void RecordingSession::shutdown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    recordTimer_->stop();
    watchdog_->stop();
    CloseCaptureGraph();
    CloseRecordGraph();
    if (!recordGraph_->waitForFinished(kQuitFinish_ms)) {
        qCWarning(lcRecording) << "a recording was still finishing when the program ended";
    }
}

// --- faults

std::uint32_t RecordingSession::silenceLimit_ms() const {
    const std::uint32_t interval = std::max(grabber_->interval(), kIdleInterval_ms);
    return std::max<std::uint32_t>(kMinSilence_ms, 3 * interval);
}

void RecordingSession::checkSilence() {
    // A camera that never delivers its format is as silent as one that stops.
    if (!captureGraph_->exists() || cameraLost_ || (!recordGraph_->exists() && !recordPending_)) {
        return;
    }
    const std::uint32_t silent = clock_.tickCount() - lastFrame_ms_;
    if (silent > silenceLimit_ms()) {
        onCameraLost(tr("no picture for %1 s").arg(silent / 1000));
    }
}

void RecordingSession::onCameraLost(const QString& reason) {
    const QString why = reason.isEmpty() ? tr("the camera stopped") : reason;
    if (!cameraLost_) {
        cameraLost_ = true;
        lossReason_ = why;
        qCWarning(lcRecording).noquote() << "camera lost:" << why;
        Q_EMIT cameraLostChanged(true, why);
    } else {
        qCDebug(lcRecording).noquote() << "camera still lost:" << why;
    }
    CloseCaptureGraph();
    CloseRecordGraph();
    scheduleRetry(cameraBackoff_, "camera lost");
    Q_EMIT statusText(cameraLostText());
}

QString RecordingSession::cameraName() const {
    return captureGraph_->cameraName();
}

// "Camera lost: Door (no picture for 6 s)": which camera, when one is known.
QString RecordingSession::cameraLostText() const {
    const QString camera = cameraName();
    return camera.isEmpty()
               ? tr("Camera lost: ") + lossReason_
               : tr("Camera lost: %1 (%2)", "the camera's name, then why").arg(camera, lossReason_);
}

QString RecordingSession::stateText() const {
    QString state = recorderState();
    if (overQuota_) {
        state += tr(", over the disk quota");
    }
    return state;
}

QString RecordingSession::recorderState() const {
    if (noCamera_) {
        return tr("No camera");
    }
    if (cameraLost_) {
        return cameraLostText();
    }
    if (writeFailed_) {
        return tr("Recording stopped");
    }
    if (!recordGraph_->exists() && recordingWindowEmpty()) {
        return tr("Recording window is empty");
    }
    if (!recordGraph_->exists() && settings_.RecUseTimer &&
        !session::insideStartWindow(session::timeOfDay(clock_.now()), todaysWindow().start,
                                    todaysWindow().stop)) {
        if (todaysWindow().state == WindowState::Nothing) {
            return todaysWindow().reason;
        }
        return tr("Outside the recording window until %1")
            .arg(QTime(0, 0)
                     .addSecs(int(std::lround(todaysWindow().start * 86400.0)) % 86400)
                     .toString(QStringLiteral("HH:mm")));
    }
    switch (settings_.Mode) {
        case session::StateOff:
            return tr("Recording off");
        case session::StateRecord:
            return tr("Recording");
        default:
            return lastRecorded_ ? tr("Recording") : tr("Waiting for movement");
    }
}

QString RecordingSession::recordingStatus() const {
    return QFileInfo(recordFileName_).fileName() + QStringLiteral(": ") +
           QString::number(recordedFrames_) + tr(" Frames.");
}

void RecordingSession::cameraFlows() {
    cameraLost_ = false;
    cameraBackoff_.reset();
    retryAt_ms_.reset();
    qCInfo(lcRecording) << "camera is back";
    Q_EMIT cameraLostChanged(false, QString());
}

void RecordingSession::onWriteError(const QString& fileName, const QString& reason) {
    if (!recordGraph_->exists()) {
        return;
    }
    CloseRecordGraph();
    if (!writeFailed_) {
        writeFailed_ = true;
        qCWarning(lcRecording).noquote() << "recording into" << fileName << "stopped:" << reason;
        Q_EMIT writeFailedChanged(true, fileName, reason);
    }
    scheduleRetry(writeBackoff_, "write failed");
    Q_EMIT statusText(tr("Recording stopped: %1").arg(reason));
}

// --- frame loop

void RecordingSession::releaseDisplay() {
    display_.reset();
    displayStamped_ = false;
}

void RecordingSession::FrameLoop() {
    if (!recordGraph_->exists() || displayFormat_.biSizeImage == 0) {
        return;  // stale: the graph that sent it is gone
    }
    lastFrame_ms_ = clock_.tickCount();
    if (cameraLost_) {
        cameraFlows();
    }
    const media::BITMAPINFOHEADER& format = displayFormat_;
    int motion = 0;
    bool measured = false;
    bool again = false;
    capture::FrameHold newest;
    {
        const capture::TGrabberCallback::ReadLock frames = grabber_->lockForRead();
        if (!frames.hasBuffers() || frames.format().biSizeImage != format.biSizeImage) {
            return;
        }
        // Two events for one frame (the loop fell behind): it is handled again,
        // as every event is, from a copy, since the recording may still hold
        // the first, stamped.
        again = display_ && frames.newest() == display_.pixels();
        if (!again) {
            newest = frames.hold(frames.index());
        }
        if (warmUp_ > 0) {
            --warmUp_;
        }
        if (settings_.Mode != session::StateOff) {
            grabber_->setInterval(std::uint32_t(settings_.RecInterval));
        }
        if (settings_.Mode == session::StatePause && warmUp_ == 0) {
            if (capture::Detector(settings_.Detector) == capture::Detector::Robust) {
                // The same frame again is no change from the one measured before.
                motion = again ? 0 : robust_.measure(frames.newest(), format, mask_, autoSet_);
            } else {
                // The last frame may be the previous one of the pair: it is
                // measured with the camera's rows under its stamp.
                capture::UnstampedRows under;
                if (displayStamped_) {
                    under = {display_.pixels(), displayBand_.offset, displayUnstamped_.data(),
                             displayUnstamped_.size()};
                }
                motion = capture::MotionMeasure(frames.buffer(0), frames.buffer(1), format, mask_,
                                                autoSet_, under);
            }
            measured = true;
        } else {
            robust_.reset();  // its reference would be stale by the next measure
        }
    }
    if (again) {
        newest = grabber_->copyOf(display_);
        if (!newest) {
            return;
        }
        if (displayStamped_) {
            std::memcpy(newest.pixels() + displayBand_.offset, displayUnstamped_.data(),
                        displayUnstamped_.size());
        }
    }
    // The last frame's buffer is let go outside the lock.
    display_ = std::move(newest);
    displayStamped_ = false;
    std::uint8_t* const pixels = display_.pixels();
    const bool movementBegins =
        measured && postRecord_.motion(motion, settings_.Trigger, settings_.PostRecFrames);
    if (movementBegins) {
        Q_EMIT movementStarted();
    }

    // The live picture is drawn from the frame before its stamp.
    Q_EMIT liveFrame(pixels, format);
    // The time the camera's frame came, not when this loop got to it: a loop
    // that falls behind does not bunch the stamps and journal times.
    const std::uint32_t late_ms = clock_.tickCount() - display_.takenTick();
    const QDateTime taken = clock_.now().addMSecs(-qint64(std::min<std::uint32_t>(late_ms, 60000)));
    if (canStamp_) {
        const std::uint8_t* band = pixels + displayBand_.offset;
        displayUnstamped_.assign(band, band + displayBand_.bytes);
        displayStamped_ = true;
        capture::stampFrame(pixels, format, taken);
    } else if (!stampWarned_) {
        stampWarned_ = true;
        qCWarning(lcRecording) << "no fonts without a GUI application: frames are not stamped";
    }

    const session::FrameState state = postRecord_.fate(settings_.Mode);
    // A quiet frame now and then, so a still day still shows in the film.
    const std::uint32_t now_ms = clock_.tickCount();
    const bool heartbeat = state != session::StateRecord && heartbeat_.due(now_ms, settings_.Mode);
    const bool recorded = state == session::StateRecord || heartbeat;
    lastRecorded_ = state == session::StateRecord;
    if (recorded && recordedFrames_ > settings_.MaxRecordSamples) {
        // The file is full: this frame opens the next one.
        rotateRecording();
        if (!recordGraph_->exists()) {
            Q_EMIT frameHandled(state, measured ? motion : 0);
            return;
        }
    }
    record::JournalLine line;
    line.time = taken;
    line.motion = measured ? motion : 0;
    line.trigger = settings_.Trigger;
    const std::int64_t duration = std::int64_t(settings_.PlayInterval) * 10000;
    if (recorded) {
        if (movementBegins) {
            // The frames just before the movement go first, in the order taken.
            preRecord_.drain([&](capture::FrameHold kept, const record::JournalLine& keptLine) {
                ++recordedFrames_;
                const std::uint8_t* keptPixels = kept.pixels();
                recordGraph_->push(keptPixels, format, duration, &keptLine, owner(std::move(kept)));
            });
        }
        ++recordedFrames_;
        line.fate = heartbeat                                ? record::JournalFate::Heartbeat
                    : settings_.Mode == session::StateRecord ? record::JournalFate::On
                    : measured && motion > settings_.Trigger ? record::JournalFate::Movement
                                                             : record::JournalFate::PostRecord;
        recordGraph_->push(pixels, format, duration, &line, owner(display_.share()));
        heartbeat_.recorded(now_ms);
        const record::RecordCounters counters = recordGraph_->counters();
        if (const std::uint64_t lost = counters.dropped + counters.failed) {
            Q_EMIT lostFrames(lost);
        }
        Q_EMIT frameRecorded(recordedFrames_);
        Q_EMIT statusText(recordingStatus());
    } else if (settings_.Mode == session::StatePause) {
        line.fate = record::JournalFate::PreRecord;
        preRecord_.keep(display_.share(), format.biSizeImage, line);
    }
    Q_EMIT frameHandled(state, measured ? motion : 0);
}

}  // namespace kv::session

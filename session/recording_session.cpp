#include "session/recording_session.h"

#include "capture/capture_graph.h"
#include "capture/frame_stamp.h"
#include "capture/grabber_callback.h"
#include "capture/motion.h"
#include "media/window_messages.h"
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
#include <cstring>

Q_LOGGING_CATEGORY(lcRecording, "kv.session.recording", QtInfoMsg)

namespace kv::session {

namespace {
const QString kMaskFile = QStringLiteral("Mask.bmp");
}  // namespace

RecordingSession::RecordingSession(const media::Clock& clock, QObject* parent)
    : QObject(parent),
      clock_(clock),
      canStamp_(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    grabber_ = std::make_unique<capture::TGrabberCallback>(media::WM_NEWFRAME, this, clock_);
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
    watchdog_ = new QTimer(this);
    watchdog_->setInterval(1000);
    connect(watchdog_, &QTimer::timeout, this, &RecordingSession::checkSilence);
    restartDelay_.reset(capture::RestartDelay::kAfterCreate);
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

void RecordingSession::setConfig(const SessionConfig& config) {
    config_ = config;
    preRecord_.setCapacity(config_.preRecFrames);
}

void RecordingSession::setMode(int mode) {
    config_.mode = mode;
    postRecord_.reset();
    preRecord_.clear();
    grabber_->setInterval(mode == capture::StateOff ? kIdleInterval_ms
                                                    : std::uint32_t(config_.recInterval_ms));
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
    return mask_.save(config_.folder + kMaskFile, error);
}

bool RecordingSession::event(QEvent* event) {
    if (int(event->type()) == media::WM_NEWFRAME) {
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

// --- record timer

void RecordingSession::startUp() {
    if (repairing_ || repairThread_.joinable()) {
        return;  // once
    }
    repairing_ = true;
    repairThread_ = std::thread([this, folder = config_.folder] {
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
        Q_EMIT statusText(QStringLiteral("%1 unfinished recording(s) repaired.").arg(repaired));
    }
    Q_EMIT recordingsRepaired(repaired, removed);
}

void RecordingSession::recordTimerTick() {
    if (shutDown_ || repairing_ || !restartDelay_.tick()) {
        return;
    }
    if (writeFailed_ && recordGraph_->exists() && recordedFrames_ > 0 && !recordGraph_->failed() &&
        clock_.tickCount() - recordStart_ms_ >= kWriteProven_ms) {
        writeFailed_ = false;
        writeBackoff_.reset();
        retryAt_ms_.reset();
        qCInfo(lcRecording).noquote() << "recording resumed into" << recordFileName_;
        Q_EMIT writeFailedChanged(false, recordFileName_, QString());
    }
    capture::TimerInputs in;
    in.recordGraphExists = recordGraph_->exists();
    in.recUseTimer = config_.recUseTimer;
    in.now = capture::timeOfDay(clock_.now());
    in.start = config_.recStartTime;
    in.stop = config_.recStopTime;
    in.recordedFrames = recordedFrames_;
    in.maxRecordSamples = config_.maxRecordSamples;
    switch (capture::recordTimerAction(in)) {
        case capture::TimerAction::Stop:
            CloseRecordGraph();
            CloseCaptureGraph();
            break;
        case capture::TimerAction::Start:
            if (recordPending_ && captureGraph_->exists()) {
                break;  // the camera is still starting; the watchdog times it
            }
            if (retryDue()) {
                StartGraphs();
            }
            break;
        case capture::TimerAction::None:
            break;
    }
}

void RecordingSession::StartGraphs() {
    retryAt_ms_.reset();
    EnforceDiskQuota();
    // A capture graph left from a failed recording start is closed first.
    CloseCaptureGraph();
    BuildCaptureGraph();
    // With no camera at all a recording graph without frames keeps the timer
    // from trying (and telling) again until the camera changes; a lost one is
    // retried instead.
    if (captureGraph_->exists() || !cameraLost_) {
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
    record::EnforceDiskQuota(config_.folder, config_.maxDiskspace_mb, playbackFileName_);
}

void RecordingSession::BuildCaptureGraph() {
    const QString nameBefore = config_.cameraName;
    const capture::CaptureBuild result = captureGraph_->build(
        config_.cameraName, config_.cameraIndex, config_.formatIndex, config_.debug);
    if (config_.cameraName != nameBefore) {
        Q_EMIT cameraNameCleared();
    }
    switch (result) {
        case capture::CaptureBuild::NoCaptureDevice:
            CloseCaptureGraph();
            if (cameraLost_) {
                scheduleRetry(cameraBackoff_, "no camera yet");
            } else {
                Q_EMIT buildProblem(BuildProblem::NoCaptureDevice, 0);
            }
            return;
        case capture::CaptureBuild::GrabberMissing:
            CloseCaptureGraph();
            Q_EMIT buildProblem(BuildProblem::GrabberMissing, 0);
            return;
        case capture::CaptureBuild::RendererMissing:
            Q_EMIT buildProblem(BuildProblem::RendererMissing, 0);
            CloseCaptureGraph();
            return;
        case capture::CaptureBuild::Running:
            break;
    }
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
    mask_.resetAndLoad(config_.folder + kMaskFile);
    robust_.reset();
    displayFormat_ = header;
    displayCopy_.assign(header.biSizeImage, 0);
    Q_EMIT captureFormatReady(header.biWidth, header.biHeight);
    if (recordPending_) {
        recordPending_ = false;
        BuildRecordGraph();
    }
}

void RecordingSession::CloseCaptureGraph() {
    recordPending_ = false;
    watchdog_->stop();
    captureGraph_->close();
    displayCopy_.clear();
    displayCopy_.shrink_to_fit();
    displayFormat_ = media::BITMAPINFOHEADER{};
    Q_EMIT captureGraphClosed();
}

void RecordingSession::BuildRecordGraph() {
    if (captureGraph_->exists() && !captureGraph_->formatKnown()) {
        recordPending_ = true;  // built when the camera tells its format
        return;
    }
    QString folderError;
    if (!record::ensureRecordingFolder(config_.folder, &folderError)) {
        qCWarning(lcRecording).noquote() << "recording folder:" << folderError;
    }
    recordFileName_ = record::NewRecordFileName(config_.folder, clock_);
    record::RecordGraphParams params;
    params.fileName = recordFileName_;
    params.compressor = config_.compressor;
    params.quality = config_.quality;
    params.keyFrameRate = config_.keyFrameRate;
    params.playInterval_ms = config_.playInterval_ms;
    params.width = grabber_->format().bmiHeader.biWidth;
    params.height = grabber_->format().bmiHeader.biHeight;
    params.debug = config_.debug;
    if (recordGraph_->build(params) == record::RecordBuild::SourceMissing) {
        Q_EMIT buildProblem(BuildProblem::SourceMissing, 0);
        CloseRecordGraph();
        return;
    }
    if (const std::optional<int> failure = recordGraph_->compressorFailure()) {
        Q_EMIT buildProblem(BuildProblem::CompressorFailed, *failure);
    }
    recordedFrames_ = 0;
    preRecord_.clear();  // its frames belong to the file before
    recordStart_ms_ = clock_.tickCount();
    warmUp_ = kWarmUpFrames;
    Q_EMIT statusText(recordingStatus());
    Q_EMIT recordGraphBuilt();
    if (config_.mode != capture::StateOff) {
        grabber_->setInterval(kIdleInterval_ms);
    }
    grabber_->setEnabled(true);
}

void RecordingSession::CloseRecordGraph() {
    grabber_->setEnabled(false);
    grabber_->resetReady();
    grabber_->resetIndex();
    // The file finishes in the background; the next one may start at once.
    recordGraph_->close(record::RecordGraph::Finish::Background);
    Q_EMIT recordGraphClosed();
    Q_EMIT statusText(QStringLiteral("AUS"));
    grabber_->setInterval(kIdleInterval_ms);
}

void RecordingSession::shutdown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
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
        onCameraLost(QStringLiteral("no picture for %1 s").arg(silent / 1000));
    }
}

void RecordingSession::onCameraLost(const QString& reason) {
    const QString why = reason.isEmpty() ? QStringLiteral("the camera stopped") : reason;
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
    Q_EMIT statusText(QStringLiteral("Camera lost: ") + lossReason_);
}

QString RecordingSession::stateText() const {
    if (cameraLost_) {
        return QStringLiteral("Camera lost: ") + lossReason_;
    }
    if (writeFailed_) {
        return QStringLiteral("Recording stopped");
    }
    if (!recordGraph_->exists() && config_.recUseTimer &&
        !capture::insideStartWindow(capture::timeOfDay(clock_.now()), config_.recStartTime,
                                    config_.recStopTime)) {
        return QStringLiteral("Outside the recording window until %1")
            .arg(QTime(0, 0)
                     .addSecs(int(std::lround(config_.recStartTime * 86400.0)) % 86400)
                     .toString(QStringLiteral("HH:mm")));
    }
    switch (config_.mode) {
        case capture::StateOff:
            return QStringLiteral("Recording off");
        case capture::StateRecord:
            return QStringLiteral("Recording");
        default:
            return lastRecorded_ ? QStringLiteral("Recording")
                                 : QStringLiteral("Waiting for movement");
    }
}

QString RecordingSession::recordingStatus() const {
    return QFileInfo(recordFileName_).fileName() + QStringLiteral(": ") +
           QString::number(recordedFrames_) + QStringLiteral(" Frames.");
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
    Q_EMIT statusText(QStringLiteral("Recording stopped: %1").arg(reason));
}

// --- frame loop

void RecordingSession::FrameLoop() {
    if (!recordGraph_->exists() || displayCopy_.empty()) {
        return;  // stale: the graph that sent it is gone
    }
    lastFrame_ms_ = clock_.tickCount();
    if (cameraLost_) {
        cameraFlows();
    }
    const media::BITMAPINFOHEADER& format = displayFormat_;
    int motion = 0;
    bool measured = false;
    {
        const capture::TGrabberCallback::ReadLock frames = grabber_->lockForRead();
        if (!frames.hasBuffers() || frames.format().biSizeImage != format.biSizeImage) {
            return;
        }
        std::memcpy(displayCopy_.data(), frames.newest(), format.biSizeImage);
        if (warmUp_ > 0) {
            --warmUp_;
        }
        if (config_.mode != capture::StateOff) {
            grabber_->setInterval(std::uint32_t(config_.recInterval_ms));
        }
        if (config_.mode == capture::StatePause && warmUp_ == 0) {
            if (config_.detector == capture::Detector::Robust) {
                motion = robust_.measure(frames.newest(), format, mask_, autoSet_);
            } else {
                motion = capture::MotionMeasure(frames.buffer(0), frames.buffer(1), format, mask_,
                                                autoSet_);
            }
            measured = true;
        } else {
            robust_.reset();  // its reference would be stale by the next measure
        }
    }
    const bool movementBegins =
        measured && postRecord_.motion(motion, config_.trigger, config_.postRecFrames);
    if (movementBegins) {
        Q_EMIT movementStarted();
    }

    // The live picture is drawn from the frame before its stamp.
    Q_EMIT liveFrame(displayCopy_.data(), format);
    const QDateTime taken = clock_.now();
    if (canStamp_) {
        capture::stampFrame(displayCopy_.data(), format, taken);
    } else if (!stampWarned_) {
        stampWarned_ = true;
        qCWarning(lcRecording) << "no fonts without a GUI application: frames are not stamped";
    }

    const capture::FrameState state = postRecord_.fate(config_.mode);
    lastRecorded_ = state == capture::StateRecord;
    record::JournalLine line;
    line.time = taken;
    line.motion = measured ? motion : 0;
    line.trigger = config_.trigger;
    const std::int64_t duration = std::int64_t(config_.playInterval_ms) * 10000;
    if (state == capture::StateRecord) {
        if (movementBegins) {
            // The frames just before the movement go first, in the order taken.
            preRecord_.drain([&](const std::uint8_t* pixels, const record::JournalLine& kept) {
                ++recordedFrames_;
                recordGraph_->push(pixels, format, duration, &kept);
            });
        }
        ++recordedFrames_;
        line.fate = config_.mode == capture::StateRecord   ? record::JournalFate::On
                    : measured && motion > config_.trigger ? record::JournalFate::Movement
                                                           : record::JournalFate::PostRecord;
        recordGraph_->push(displayCopy_.data(), format, duration, &line);
        const record::RecordCounters counters = recordGraph_->counters();
        if (const std::uint64_t lost = counters.dropped + counters.failed) {
            Q_EMIT lostFrames(lost);
        }
        Q_EMIT frameRecorded(recordedFrames_);
        Q_EMIT statusText(recordingStatus());
    } else if (config_.mode == capture::StatePause) {
        line.fate = record::JournalFate::PreRecord;
        preRecord_.keep(displayCopy_.data(), format.biSizeImage, line);
    }
    Q_EMIT frameHandled(state, measured ? motion : 0);
}

}  // namespace kv::session

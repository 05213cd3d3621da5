#pragma once

// The running recorder, without a window: the frame hand-off, the capture and
// recording pipelines, the mask, the display copy, the frame loop with its
// warm-up and post-record state, the record timer's decisions, and the
// recovery from a lost camera or a failed write. It needs only a
// QCoreApplication and reports by signals; the desktop window forwards its
// handlers to it and paints what it is handed.
//
// Nothing here waits for a click: every fault is retried with back-off and
// reported once.

#include "capture/frame_stamp.h"
#include "capture/grabber_callback.h"
#include "capture/motion_mask.h"
#include "capture/robust_motion.h"
#include "media/clock.h"
#include "media/frame.h"
#include "record/record_files.h"
#include "session/daily_window.h"
#include "session/pre_record.h"
#include "session/record_policy.h"
#include "session/settings.h"

#include <QObject>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

class QTimer;
typedef struct _GstElement GstElement;

namespace kv::capture {
class CaptureGraph;
class TGrabberCallback;
enum class CaptureBuild;
}  // namespace kv::capture
namespace kv::record {
class RecordGraph;
struct RecordCounters;
}  // namespace kv::record
namespace kv::media {
class DeviceWatch;
}

namespace kv::session {

// Why a build went wrong, for the owner to tell the user.
enum class BuildProblem {
    NoCaptureDevice,
    GrabberMissing,
    RendererMissing,
    SourceMissing,
    CompressorFailed,  // with its code: the file is written uncompressed
};

// The problem in words, for a message box or a log line.
QString buildProblemText(BuildProblem problem, int code);

// The interval between retries after a fault: 1, 2, 4 ... 30 s.
class Backoff {
  public:
    static constexpr int kFirst_s = 1;
    static constexpr int kLongest_s = 30;
    // Seconds to wait before the next try; each call doubles the next.
    int next() {
        const int wait = wait_s_;
        wait_s_ = std::min(wait_s_ * 2, kLongest_s);
        return wait;
    }
    void reset() { wait_s_ = kFirst_s; }

  private:
    int wait_s_ = kFirst_s;
};

class RecordingSession : public QObject {
    Q_OBJECT
  public:
    // The live picture's interval when recording is off.
    static constexpr std::uint32_t kIdleInterval_ms = 200;
    // Frames skipped after every recording start before motion is measured.
    static constexpr int kWarmUpFrames = 2;
    // How often the quota looks at the folder while a file grows.
    static constexpr std::uint32_t kQuotaEvery_ms = 60000;
    // How often a stand-in camera looks whether the named one is listed again.
    static constexpr std::uint32_t kStandInCheck_ms = 30000;
    // A camera that sends nothing for this long (or three intervals) is lost.
    static constexpr int kMinSilence_ms = 5000;
    // How long quitting waits for recordings that are still finishing.
    static constexpr int kQuitFinish_ms = 10000;
    // A failed write counts as mended once a new file has taken frames this long.
    static constexpr std::uint32_t kWriteProven_ms = 2000;

    explicit RecordingSession(const media::Clock& clock = media::systemClock(),
                              QObject* parent = nullptr);
    ~RecordingSession() override;

    // --- settings
    const Settings& settings() const { return settings_; }
    // Takes new settings (after a load, a dialog, a reload); the hand-off
    // follows RecInterval unless the mode is Off.
    void apply(const Settings& settings);
    // A record mode button: the mode, no post-record sequence, the interval.
    void setMode(int mode);
    void setTrigger(int trigger) { settings_.Trigger = trigger; }
    // The mask learns while set; clearing it saves the mask.
    void setAutoSetMask(bool on);
    bool autoSetMask() const { return autoSet_; }
    bool saveMask(QString* error) const;
    void clearMask() { mask_.clear(); }
    // A new camera was chosen: a loss or write failure of the old one is
    // forgotten and the next start is tried at once.
    void resetFaults();
    // The file loaded in playback, which the quota spares.
    void setPlaybackFileName(const QString& name) { playbackFileName_ = name; }

    // Start-up: recordings that a kill, a crash or a power cut left unfinished
    // are repaired in the background, then the disk quota runs once; the
    // record timer starts, and starts no recording before the repair is done.
    // The window's timer then waits its three ticks; AtOnce (the headless
    // recorder, restarted after a crash) builds the graphs as soon as the
    // repair is done.
    enum class FirstBuild { AfterDelay, AtOnce };
    void startUp(FirstBuild first = FirstBuild::AfterDelay);
    bool repairing() const { return repairing_; }

    // --- the record timer (1 s), which the session owns
    // One tick: restart delay, quota, stand-in camera, mended faults, and the
    // daily window's start, stop or rotation. Emits ticked() after it.
    void RecordTimerTimer();
    bool recordTimerActive() const;
    void setRecordTimerInterval(int interval_ms);
    // Holds the record timer while the user chooses a camera or compressor
    // with the graphs closed: a tick under the dialog would build them again.
    class TimerHold {
      public:
        explicit TimerHold(RecordingSession& session);
        ~TimerHold();
        TimerHold(const TimerHold&) = delete;
        TimerHold& operator=(const TimerHold&) = delete;

      private:
        RecordingSession& session_;
        bool wasActive_;
    };
    // A power event: the timer waits 30 ticks before it acts again.
    void powerEvent() { restartDelay_.powerEvent(); }
    int restartDelay() const { return restartDelay_.ticks(); }
    void resetRestartDelay(int ticks) { restartDelay_.reset(ticks); }

    // --- the graphs
    // Quota, capture graph, and the recording graph once the camera's format
    // is known (the camera is never waited for).
    void StartGraphs();
    void EnforceDiskQuota();
    void BuildCaptureGraph();
    void CloseCaptureGraph();
    void BuildRecordGraph();
    void CloseRecordGraph();
    // The file is full: it finishes in the background while the next one
    // starts at once; the camera runs on, so no frame is lost between them.
    void rotateRecording();
    // Stops everything; recordings still finishing get a bounded wait.
    void shutdown();

    // --- the frame loop, once per WM_NEWFRAME
    void FrameLoop();

    // --- state
    bool captureGraphExists() const;
    bool recordGraphExists() const;
    int recordedFrames() const { return recordedFrames_; }
    const QString& RecordFileName() const { return recordFileName_; }
    bool cameraLost() const { return cameraLost_; }
    // No camera is listed at all: nothing is recorded until one appears.
    bool noCamera() const { return noCamera_; }
    // The camera the settings name is absent and the first one found stands in.
    bool standInCamera() const { return standIn_; }
    // The name of the camera last opened (the one that stands in, or the first
    // one found when the settings name none); empty before any was.
    QString cameraName() const;
    // The capture graph runs and the recording waits for the camera's format.
    bool recordPending() const { return recordPending_; }
    bool writeFailed() const { return writeFailed_; }
    // Today's daily window, worked out again when the date or the settings change.
    const DailyWindow& todaysWindow() const;
    // What the recorder is doing, in a few words for the status bar:
    // "Recording", "Waiting for movement", "Recording off", "Outside the
    // recording window until 06:00", "Recording window is empty", "No camera",
    // "Camera lost: ...", "Recording stopped".
    QString stateText() const;
    const media::BITMAPINFOHEADER& displayFormat() const { return displayFormat_; }
    // The frame being handled, stamped once the frame loop has run; null
    // before the first frame. It is the hand-off's buffer itself, held until
    // the next frame is handled or the camera closes.
    const std::uint8_t* displayCopy() const { return display_.pixels(); }
    capture::MotionMask& mask() { return mask_; }
    const capture::MotionMask& mask() const { return mask_; }
    // The camera's frame format as the hand-off last saw it.
    const media::BITMAPINFOHEADER& cameraFormat() const;
    // The hand-off's interval: RecInterval, or kIdleInterval_ms when off.
    std::uint32_t frameInterval() const;
    // The current recording's encoder, for its property dialog (null when none).
    GstElement* compressorElement() const;
    // Files still finishing in the background, and the recording's counts.
    int recordingsFinishing() const;
    record::RecordCounters recordCounters() const;

  Q_SIGNALS:
    // A new frame, before its stamp: for the live picture. The pixels are
    // valid only during the call.
    void liveFrame(const std::uint8_t* pixels, const media::BITMAPINFOHEADER& format);
    // The frame has been handled: its fate and the motion bar's value.
    void frameHandled(session::FrameState state, int motionBar);
    // The first panel of the status bar.
    void statusText(const QString& text);
    // Frames the recording lost (it fell behind or refused them).
    void lostFrames(std::uint64_t count);
    // A frame went into the current file: the current recording can be opened.
    void frameRecorded(int count);
    // The first frame of a movement episode.
    void movementStarted();
    // The start-up repair is done.
    void recordingsRepaired(int repaired, int removed);
    void recordGraphBuilt();
    void recordGraphClosed();
    // A file has finished in the background and can be read whole.
    void recordingFinished(const QString& fileName);
    // The record timer has ticked: the owner shows the state.
    void ticked();
    // apply() took new settings: those who follow them read settings().
    void settingsApplied();
    void captureGraphClosed();
    // Told once per episode; the build is retried by itself.
    void buildProblem(BuildProblem problem, int code);
    // No camera at all (true), or one appeared (false).
    void noCameraChanged(bool none);
    // The camera's frame size is known; the recording follows.
    void captureFormatReady(int width, int height);
    void cameraLostChanged(bool lost, const QString& reason);
    // A write failed; the recording is retried by itself. Once per episode.
    void writeFailedChanged(bool failed, const QString& fileName, const QString& reason);

  protected:
    bool event(QEvent* event) override;

  private:
    void recordTimerTick();
    void onCaptureFormat();
    void onCameraLost(const QString& reason);
    void onWriteError(const QString& fileName, const QString& reason);
    void checkSilence();
    void cameraFlows();
    bool retryDue() const;
    void scheduleRetry(Backoff& backoff, const char* what);
    std::uint32_t silenceLimit_ms() const;
    QString recordingStatus() const;
    QString recorderState() const;
    QString cameraLostText() const;
    void onRepaired(int repaired, int removed);
    bool openRecordFile();
    void setNoCamera(bool none);
    void onCameraAdded(const QString& name);
    bool namedCameraListed() const;
    bool recordingWindowEmpty() const;
    void logWindowChange(bool open);
    void releaseDisplay();

    const media::Clock& clock_;
    Settings settings_;
    QString playbackFileName_;

    // --- main thread only; the streaming threads only post events to us
    std::unique_ptr<capture::TGrabberCallback> grabber_;
    capture::CaptureGraph* captureGraph_ = nullptr;
    record::RecordGraph* recordGraph_ = nullptr;
    QTimer* watchdog_ = nullptr;
    QTimer* recordTimer_ = nullptr;
    session::RestartDelay restartDelay_;
    session::PostRecord postRecord_;
    PreRecordBuffer preRecord_;
    capture::RobustMotion robust_;
    bool lastRecorded_ = false;  // the last frame handled was recorded
    capture::MotionMask mask_;
    // The frame being handled: the hand-off's newest buffer, held so that no
    // frame is copied into it, and stamped in place for good (the recording
    // may still be encoding it). The camera's rows under the stamp are kept
    // for the motion measure, which may meet this buffer again as the
    // previous frame.
    capture::FrameHold display_;
    capture::StampBand displayBand_;
    std::vector<std::uint8_t> displayUnstamped_;
    bool displayStamped_ = false;
    media::BITMAPINFOHEADER displayFormat_{};
    QString recordFileName_;
    int recordedFrames_ = 0;
    int warmUp_ = 0;
    bool autoSet_ = false;
    const bool canStamp_;  // fonts need a GUI application
    bool stampWarned_ = false;
    bool recordPending_ = false;  // the recording starts when the format is known
    bool shutDown_ = false;

    // Faults and their retries.
    bool cameraLost_ = false;
    QString lossReason_;
    bool writeFailed_ = false;
    Backoff cameraBackoff_;
    Backoff writeBackoff_;
    std::optional<std::uint32_t> retryAt_ms_;  // tick before which no rebuild is tried
    std::uint32_t lastFrame_ms_ = 0;           // tick of the last frame, or of the build
    std::uint32_t recordStart_ms_ = 0;         // tick of the last recording graph build
    bool repairing_ = false;
    bool buildAtOnce_ = false;  // startUp(AtOnce): no delay after the repair
    std::thread repairThread_;

    // No camera, a stand-in camera, build problems already told.
    bool noCamera_ = false;
    bool standIn_ = false;
    std::uint32_t standInCheck_ms_ = 0;
    bool buildProblemTold_ = false;
    media::DeviceWatch* deviceWatch_ = nullptr;

    record::DiskQuota quota_;
    bool overQuota_ = false;
    std::uint32_t lastQuota_ms_ = 0;
    bool emptyWindowTold_ = false;
    mutable DailyWindow window_;
    mutable QDate windowDate_;
    std::optional<bool> windowOpen_;  // as last logged
    std::optional<WindowState> loggedWindowState_;
    Heartbeat heartbeat_;
    bool sourceMissingTold_ = false;
    QString compressorFailureTold_;  // the compressor whose failure was told
};

}  // namespace kv::session

#pragma once

// The playback pipeline of one recording file and its transport, in frames:
//   filesrc ! decodebin ! videoconvert ! video/x-raw,format=BGRA ! appsink
// The appsink is the grabber: it keeps the last frame for export and hands
// every frame to the main thread as an upright RGB32 image that shares its
// pixels. Graph events (end of stream, errors) are posted to the receiver as
// WM_GRAPHNOTIFY and taken with takeEvents() / handleGraphNotify().
//
// "Stopped" is the paused pipeline: the frame stays shown and the position
// kept, as the window expects of a stopped graph.

#include "media/frame.h"
#include "media/gst_handle.h"
#include "media/pipeline.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <gst/app/gstappsink.h>

#include <atomic>
#include <functional>
#include <memory>

class QTimer;

namespace kv::playback {

// The message that tells the window the playback graph has events to take.
inline constexpr int WM_GRAPHNOTIFY = 32769;

enum class PlaybackBuild {
    Loaded,
    ErrorLoading,    // the file cannot be opened or parsed
    CodecMissing,    // its video cannot be decoded
    GrabberMissing,  // GStreamer lacks an element of the pipeline itself
};

// Graph event codes, numbered as the window's handler knows them.
constexpr int EC_COMPLETE = 1;
constexpr int EC_USERABORT = 2;
constexpr int EC_STREAM_CONTROL_STOPPED = 26;

// The warning text for a failed build; empty for Loaded and GrabberMissing.
QString PlaybackBuildMessage(PlaybackBuild result);

// "NAME: N Frames", NAME being the file-name part of the path.
QString PlaybackStatusText(const QString& fileName, qint64 frameCount);

class PlaybackGraph : public QObject {
    Q_OBJECT
  public:
    // WM_GRAPHNOTIFY events go to notifyReceiver (may be null: none posted).
    explicit PlaybackGraph(QObject* notifyReceiver, QObject* parent = nullptr);
    ~PlaybackGraph() override;

    PlaybackGraph(const PlaybackGraph&) = delete;
    PlaybackGraph& operator=(const PlaybackGraph&) = delete;

    // Starts loading the file and returns at once; anything loaded before is
    // closed first. The load goes on from the pipeline's bus messages, without
    // a time limit, and ends with loadFinished() (Loaded: playing from frame
    // 0), unless close() comes first. The result is never emitted inside load().
    // A file read to its very end without a stream found fails once its reads
    // have stopped for 2 s: GStreamer does not always report such a file.
    void load(const QString& fileName);
    bool loading() const { return stage_ != Stage::Idle; }
    // For programs without a window (tests, benchmarks): load() and wait for
    // loadFinished, at most timeout_ms; a load that takes longer is closed and
    // gives ErrorLoading.
    PlaybackBuild build(const QString& fileName, int timeout_ms = 60000);
    // Stops and releases the pipeline, a load in progress included (it then
    // finishes with no signal); safe when nothing is loaded. The picture goes
    // with it: currentImage() is null afterwards.
    void close();
    // Called with the pipeline once it is built, just before it starts to
    // preroll: lets a test hold the load back.
    void setBuildHook(std::function<void(GstElement* pipeline)> hook) {
        buildHook_ = std::move(hook);
    }

    // A file is loaded: the transport works (false while loading).
    bool loaded() const { return pipeline_ && !loading(); }
    qint64 frameCount() const { return frameCount_; }
    // How long one frame lasts in the file; 0 when unknown.
    qint64 frameDuration_ns() const { return frameDuration_ns_; }
    // The current frame; frameCount() once the end was reached.
    qint64 position() const;
    // Not playing (asks the pipeline, waiting at most 10 ms).
    bool isStopped() const;

    // Plays from the current frame to the end of the file, at the rate set.
    void play();
    // How many times faster than recorded the file plays (1, 2, 4, 8, 16);
    // taken at once while playing. Steps and seeks stay exact at any rate.
    void setRate(double rate);
    double rate() const { return rate_; }
    void stop();
    // Stops and shows that frame (clamped to the file's frames).
    void seekToFrame(qint64 frame);
    // Stop and show the next / previous frame; return the frame now shown.
    qint64 stepForward();
    qint64 stepBack();

    // Every pending graph event code, oldest first; never waits.
    QList<int> takeEvents();
    // Takes every pending event; true when one of them ends playback
    // (complete, user abort, stream-control stopped).
    bool handleGraphNotify();

    // The grabber's last frame as GStreamer holds it (top-down, laid out as
    // QImage's RGB32).
    media::Sample lastSample() const;
    // A copy of the frame shown, as our frame: 24-bit BGR rows bottom-up.
    bool currentFrame(media::BITMAPINFOHEADER& header, QByteArray& pixels) const;
    // The frame shown, upright, RGB32. Null before the first frame.
    QImage currentImage() const;

    // The pipeline log written on every load; relative names are taken in
    // the working folder, and an empty name writes none.
    void setLogFileName(const QString& name) { logFileName_ = name; }

  Q_SIGNALS:
    // A new frame is in currentImage(). Emitted on the main thread.
    void frameReady();
    // The load that load() started has ended; emitted on the main thread.
    void loadFinished(kv::playback::PlaybackBuild result);

  private:
    struct Probe;  // what the streaming threads saw during the build

    // Where a load stands; each step waits for the bus, never for a clock.
    enum class Stage {
        Idle,
        Prerolling,    // for the first frame
        CheckingTail,  // an unfinished file: is its last frame whole?
        Rewinding,     // back to frame 0 after that check
        Failed,        // failed before the pipeline ran; reported next
    };

    PlaybackBuild start(const QString& fileName);
    PlaybackBuild failure(const QString& fileName) const;
    // Runs queued after the bus said something the load waits for.
    void scheduleAdvance();
    void advanceLoad();
    void prerolled();
    void tailChecked(bool whole);
    void seekForLoad(qint64 frame);
    void finishLoad(PlaybackBuild result);
    void watchIdleLoad();
    static GstPadProbeReturn onRead(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    static GstPadProbeReturn onReadStarts(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    void removeReadProbes();
    void readStreamFacts();
    bool waitSettled(int timeout_ms) const;
    bool seekExact(qint64 frame, int timeout_ms, double rate = 1.0);
    qint64 framesFromTime(gint64 time_ns) const;
    void onBusMessage(GstMessage* message);
    void postEvent(int code);

    static void onPadAdded(GstElement* decodebin, GstPad* pad, gpointer self);
    static void onNoMorePads(GstElement* decodebin, gpointer self);
    static GstFlowReturn onNewPreroll(GstAppSink* sink, gpointer self);
    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer self);
    static void deliver(Probe& probe, GstSample* sample);
    void takeFrame(GstSample* sample);

    // --- only accessed from the main thread
    QObject* receiver_;
    QString logFileName_;
    media::Pipeline pipeline_;  // its log only until the first frame is there
    media::Element appsink_;
    media::Element convert_;
    QList<int> events_;
    qint64 frameCount_ = 0;
    int fpsN_ = 0;
    int fpsD_ = 1;
    gint64 frameDuration_ns_ = 0;
    double rate_ = 1.0;
    bool eos_ = false;
    // The load in progress: its file, its stage, what the bus told it.
    Stage stage_ = Stage::Idle;
    QString loadingFile_;
    PlaybackBuild failedResult_ = PlaybackBuild::ErrorLoading;
    std::function<void(GstElement*)> buildHook_;
    bool advanceScheduled_ = false;
    bool asyncDone_ = false;
    bool errorSeen_ = false;
    qint64 indexedFrames_ = 0;
    int tailTries_ = 0;
    qint64 loadStarted_us_ = 0;
    QTimer* idleWatch_ = nullptr;
    media::Pad readPad_;  // the source's, with the probes that watch its reads
    gulong readProbes_[2] = {0, 0};
    // The frame a seek or step left prerolled while paused; -1 when unknown.
    qint64 settledFrame_ = -1;
    mutable qint64 lastPosition_ = 0;

    // --- written by streaming threads during the build, read by the main thread
    std::shared_ptr<Probe> probe_;

    // --- shared with the appsink's streaming thread
    mutable QMutex frameMutex_;
    QImage image_;
    std::atomic<bool> framePosted_{false};
};

}  // namespace kv::playback

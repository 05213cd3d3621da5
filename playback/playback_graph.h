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

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <gst/app/gstappsink.h>

#include <atomic>
#include <memory>

namespace kv::media {
class BusObserver;
class GraphLog;
}  // namespace kv::media

namespace kv::playback {

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

    // Loads the file and starts playing it at frame 0. Waits at most about
    // 2 s for the first frame. Anything loaded before is closed first.
    PlaybackBuild build(const QString& fileName);
    // Stops and releases the pipeline; safe when nothing is loaded. The
    // picture goes with it: currentImage() is null afterwards.
    void close();

    bool loaded() const { return bool(pipeline_); }
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

  protected:
    bool event(QEvent* e) override;

  private:
    struct Probe;  // what the streaming threads saw during the build

    PlaybackBuild prepare(const QString& fileName, std::unique_ptr<media::GraphLog>& log);
    PlaybackBuild preroll(const QString& fileName, gint64 deadline_us,
                          std::unique_ptr<media::GraphLog>& log);
    PlaybackBuild failure(const QString& fileName) const;
    void readStreamFacts();
    void verifyLastFrame(gint64 deadline_us);
    bool waitSettled(int timeout_ms) const;
    bool seekExact(qint64 frame, int timeout_ms, double rate = 1.0);
    qint64 framesFromTime(gint64 time_ns) const;
    void onBusMessage(GstMessage* message);
    void postEvent(int code);

    static void onPadAdded(GstElement* decodebin, GstPad* pad, gpointer self);
    static void onNoMorePads(GstElement* decodebin, gpointer self);
    static GstFlowReturn onNewPreroll(GstAppSink* sink, gpointer self);
    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer self);
    void takeFrame(GstSample* sample);

    // --- only accessed from the main thread
    QObject* receiver_;
    QString logFileName_;
    media::Element pipeline_;
    media::Element appsink_;
    media::Element convert_;
    std::unique_ptr<media::BusObserver> bus_;
    QList<int> events_;
    qint64 frameCount_ = 0;
    int fpsN_ = 0;
    int fpsD_ = 1;
    gint64 frameDuration_ns_ = 0;
    double rate_ = 1.0;
    bool eos_ = false;
    bool building_ = false;
    // The frame a seek or step left prerolled while paused; -1 when unknown.
    qint64 settledFrame_ = -1;
    mutable qint64 lastPosition_ = 0;

    // --- written by streaming threads during the build, read by the main thread
    std::unique_ptr<Probe> probe_;

    // --- shared with the appsink's streaming thread
    mutable QMutex frameMutex_;
    QImage image_;
    std::atomic<bool> framePosted_{false};
};

}  // namespace kv::playback

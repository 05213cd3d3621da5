#pragma once

// The capture pipeline: the chosen camera, its chosen format, and a grabber
// that hands 24-bit bottom-up frames to TGrabberCallback on the streaming
// thread. Frames the throttle rejects are dropped before any decoding or
// colour conversion: at the camera's admission pad when it has one (a file or
// network camera decodes inside its bin), else after the capsfilter.
//
//   camera ! capsfilter ! [jpegdec] ! videoconvert ! BGR capsfilter ! appsink

#include "media/frame.h"
#include "media/gst_handle.h"
#include "media/pipeline.h"

#include <gst/app/gstappsink.h>

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

namespace kv::capture {

class TGrabberCallback;

enum class CaptureBuild {
    Running,          // the graph runs; the format may still be unknown
    NoCaptureDevice,  // no camera was bound
    GrabberMissing,   // appsink cannot be created
    RendererMissing,  // the conversion elements cannot be created
};

class CaptureGraph : public QObject {
    Q_OBJECT
  public:
    explicit CaptureGraph(TGrabberCallback& callback, QObject* parent = nullptr);
    ~CaptureGraph() override;

    // Builds and starts the graph without waiting for the camera. deviceName
    // is emptied when no camera of that name (in any letter case) is listed.
    // The callback's format is all zero until the camera's first caps arrive;
    // then it is set, the callback's buffers exist and formatReady() is
    // emitted. On failure everything built is closed again.
    CaptureBuild build(QString& deviceName, int deviceIndex, int formatIndex, bool debug);

    // Stops the graph and releases it; safe on no graph or a half-built one.
    // After it returns the streaming thread no longer calls the callback.
    void close();

    bool exists() const { return static_cast<bool>(pipeline_); }
    // The callback has the camera's frame format and buffers for it.
    bool formatKnown() const { return formatKnown_; }
    // The camera failed or ended its stream since the last build, and why.
    bool lost() const { return !lossReason_.isEmpty(); }
    const QString& lossReason() const { return lossReason_; }
    GstElement* pipeline() const { return pipeline_.get(); }
    // The camera element inside the graph.
    GstElement* camera() const { return camera_.get(); }
    // The listed name of the camera the last build bound, kept after close;
    // empty when that build bound none.
    const QString& cameraName() const { return cameraName_; }

  Q_SIGNALS:
    // The camera failed while the graph ran: unplugged, its file gone, the
    // network camera unreachable, or a live camera that ended its stream (a
    // network camera that closed the connection).
    void cameraLost(const QString& reason);
    // The camera's frame format is known and the callback's buffers exist.
    void formatReady();

  private:
    bool link(GstCaps* chosenCaps);
    void takeFormat(int width, int height);
    static GstPadProbeReturn watchCaps(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    void markLost(const QString& reason);
    static GstPadProbeReturn admit(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer self);

    TGrabberCallback& callback_;
    // --- main thread
    media::Pipeline pipeline_;
    media::Element camera_;
    media::Element format_;
    media::Element grabber_;
    bool formatKnown_ = false;
    QString lossReason_;  // empty while the camera is not lost
    QString cameraName_;
    // One per build: a format posted by a graph closed since is ignored.
    std::atomic<std::uint64_t> generation_{0};
    // The grabber has had its caps. Until then frames pass the admission
    // even when the throttle refuses them: a decoder behind the admission
    // learns the picture's format only from a frame, and the hand-off is
    // enabled only once the format is known.
    std::atomic<bool> capsSeen_{false};
};

}  // namespace kv::capture

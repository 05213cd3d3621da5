#include "capture/capture_graph.h"

#include "capture/grabber_callback.h"
#include "media/camera_controls.h"
#include "media/device_catalogue.h"
#include "media/media_sample.h"
#include "media/pipeline.h"
#include "media/redact.h"

#include <gst/video/video.h>

#include <QCoreApplication>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcCapture, "kv.capture.graph", QtInfoMsg)

namespace kv::capture {

using media::adopt;
using media::Element;
using media::makeElement;

namespace {

bool isJpeg(GstCaps* caps) {
    if (!caps || gst_caps_is_empty(caps) || gst_caps_is_any(caps)) {
        return false;
    }
    return gst_structure_has_name(gst_caps_get_structure(caps, 0), "image/jpeg");
}

// A camera that decodes and converts inside itself offers each size in
// several pixel formats of the same picture. Left free, it converts straight
// to the grabber's BGR instead of to the chosen format and then again to BGR.
void anyPixelFormat(GstElement* capsfilter) {
    media::Caps chosen;
    g_object_get(capsfilter, "caps", chosen.out(), nullptr);
    if (!chosen || gst_caps_is_any(chosen.get())) {
        return;
    }
    media::Caps free = adopt(gst_caps_copy(chosen.get()));
    for (guint i = 0; i < gst_caps_get_size(free.get()); ++i) {
        gst_structure_remove_field(gst_caps_get_structure(free.get(), i), "format");
    }
    g_object_set(capsfilter, "caps", free.get(), nullptr);
}

}  // namespace

CaptureGraph::CaptureGraph(TGrabberCallback& callback, QObject* parent)
    : QObject(parent), callback_(callback) {}

CaptureGraph::~CaptureGraph() {
    close();
}

CaptureBuild CaptureGraph::build(QString& deviceName, int deviceIndex, int formatIndex,
                                 bool debug) {
    if (pipeline_) {
        qCWarning(lcCapture) << "a capture graph is built already; closing it first";
        close();
    }
    formatKnown_ = false;
    ++generation_;
    capsSeen_ = false;
    lossReason_.clear();
    callback_.setFormat(media::BITMAPINFOHEADER{});
    pipeline_.create("capture");
    if (debug) {
        // Says itself why when there is none.
        pipeline_.openLog(QStringLiteral("CAPTURE.TXT"));
    }

    QStringList names;
    media::ListDeviceNames(media::DeviceCategory::CLSID_VideoInputDeviceCategory, names);
    if (!names.contains(deviceName, Qt::CaseInsensitive)) {
        deviceName.clear();
    }
    media::FindDeviceFilter(media::DeviceCategory::CLSID_VideoInputDeviceCategory, deviceName,
                            deviceIndex, camera_);
    if (!camera_) {
        cameraName_.clear();
        close();
        return CaptureBuild::NoCaptureDevice;
    }
    // The catalogue's rule: a position wins over the name; no name is the first camera.
    cameraName_ = deviceIndex >= 0       ? names.value(deviceIndex)
                  : deviceName.isEmpty() ? names.value(0)
                                         : deviceName;
    // The settings the user keeps for this camera, set again at every build.
    QString bound = deviceIndex >= 0 ? names.value(deviceIndex) : names.value(0);
    if (deviceIndex < 0 && !deviceName.isEmpty()) {
        for (const QString& name : names) {
            if (name.compare(deviceName, Qt::CaseInsensitive) == 0) {
                bound = name;
                break;
            }
        }
    }
    media::applyKeptControls(media::controlTarget(bound, camera_.get()));
    gst_object_set_name(GST_OBJECT(camera_.get()), "Video Capture");
    // The bin takes a reference of its own.
    gst_bin_add(GST_BIN(pipeline_.get()), camera_.get());

    format_ = makeElement("capsfilter", "Capture Format");
    media::ApplyCaptureFormat(format_.get(), camera_.get(), formatIndex);
    if (media::cameraAdmissionPad(camera_.get())) {
        anyPixelFormat(format_.get());
    }

    grabber_ = makeElement("appsink", "Grabber");
    if (!grabber_) {
        close();
        return CaptureBuild::GrabberMissing;
    }
    media::Caps bgr =
        adopt(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", nullptr));
    // No copy of samples is kept: the last sample is not held, one buffer at most.
    g_object_set(grabber_.get(), "caps", bgr.get(), "sync", FALSE, "max-buffers", 1, "drop", TRUE,
                 "enable-last-sample", FALSE, "emit-signals", FALSE, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &CaptureGraph::onNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(grabber_.get()), &callbacks, this, nullptr);

    media::Caps chosen;
    g_object_get(format_.get(), "caps", chosen.out(), nullptr);
    if (!link(chosen.get())) {
        close();
        return CaptureBuild::RendererMissing;
    }

    pipeline_.watchBus([this](GstMessage* message) {
        if (lost()) {
            return;
        }
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
            // A camera never ends by itself (a file camera loops): the
            // connection was closed, or the device went away.
            markLost(tr("the camera ended its stream"));
            return;
        }
        if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR) {
            return;
        }
        GError* raw = nullptr;
        gchar* rawDebug = nullptr;
        gst_message_parse_error(message, &raw, &rawDebug);
        media::Error error = adopt(raw);
        media::Chars details = adopt(rawDebug);
        // Longer than a loss reason: this is for whoever debugs the camera.
        qCDebug(lcCapture).noquote()
            << "camera error:"
            << media::sanitizedText(QString::fromUtf8(details ? details.get() : ""), 2000);
        markLost(error ? media::describeError(error.get()) : tr("camera error"));
    });

    const GstStateChangeReturn started = gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
    if (started == GST_STATE_CHANGE_FAILURE) {
        qCDebug(lcCapture) << "the camera does not start";
        GST_DEBUG_BIN_TO_DOT_FILE(GST_BIN(pipeline_.get()), GST_DEBUG_GRAPH_SHOW_ALL,
                                  "capture-failed");
    }
    // An error the camera posted while starting counts now, not a tick later.
    pipeline_.bus()->drain();
    if (started == GST_STATE_CHANGE_FAILURE && !lost()) {
        markLost(QStringLiteral("the camera does not start"));
    }
    pipeline_.closeLog();
    return CaptureBuild::Running;
}

bool CaptureGraph::link(GstCaps* chosenCaps) {
    Element convert = makeElement("videoconvert", "Convert");
    Element bgr = makeElement("capsfilter", "BGR Format");
    Element decoder;
    if (isJpeg(chosenCaps)) {
        decoder = makeElement("jpegdec", "Decoder");
        if (!decoder) {
            return false;
        }
    }
    if (!convert || !bgr) {
        return false;
    }
    media::Caps bgrCaps =
        adopt(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", nullptr));
    g_object_set(bgr.get(), "caps", bgrCaps.get(), nullptr);

    GstBin* bin = pipeline_.bin();
    std::vector<GstElement*> chain{camera_.get(), format_.get()};
    if (decoder) {
        chain.push_back(decoder.get());
    }
    chain.push_back(convert.get());
    chain.push_back(bgr.get());
    chain.push_back(grabber_.get());
    for (std::size_t i = 1; i < chain.size(); ++i) {
        gst_bin_add(bin, chain[i]);
    }
    for (std::size_t i = 1; i < chain.size(); ++i) {
        if (!gst_element_link(chain[i - 1], chain[i])) {
            qCWarning(lcCapture) << "cannot link" << GST_ELEMENT_NAME(chain[i - 1]) << "to"
                                 << GST_ELEMENT_NAME(chain[i]);
            // Like a failed connection: the graph runs without frames.
            break;
        }
    }
    // The format is learned from the caps that reach the grabber, on the
    // streaming thread, which only posts it on.
    media::Pad grabberSink = adopt(gst_element_get_static_pad(grabber_.get(), "sink"));
    gst_pad_add_probe(grabberSink.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
                      &CaptureGraph::watchCaps, this, nullptr);
    // The throttle decides before anything is decoded or converted: inside a
    // camera that decodes for itself, else right after the chosen format.
    media::Pad admission = media::cameraAdmissionPad(camera_.get());
    if (!admission) {
        admission = adopt(gst_element_get_static_pad(format_.get(), "src"));
    }
    gst_pad_add_probe(admission.get(), GST_PAD_PROBE_TYPE_BUFFER, &CaptureGraph::admit, this,
                      nullptr);
    return true;
}

void CaptureGraph::takeFormat(int width, int height) {
    if (formatKnown_) {
        const media::BITMAPINFOHEADER& known = callback_.format().bmiHeader;
        if (known.biWidth != width || known.biHeight != -height) {
            qCWarning(lcCapture) << "the camera changed its size to" << width << "x" << height
                                 << "; frames keep the first size";
        }
        return;
    }
    if (!media::isFrameSize(width, height)) {
        markLost(QCoreApplication::translate("kv::capture::CaptureGraph",
                                             "the camera's picture of %1 x %2 pixels is larger "
                                             "than %3 pixels a side")
                     .arg(width)
                     .arg(height)
                     .arg(media::kMaxFrameSide));
        return;
    }
    // Rows as GStreamer gives them, top-down: the hand-off's copy is a plain
    // memcpy, and the same buffer goes on to the recording without another.
    callback_.setFormat(media::makeFrameHeader(width, -height));
    if (callback_.createBuffers()) {
        formatKnown_ = true;
        Q_EMIT formatReady();
    }
}

GstPadProbeReturn CaptureGraph::watchCaps(GstPad*, GstPadProbeInfo* info, gpointer self) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS) {
        return GST_PAD_PROBE_OK;
    }
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    GstVideoInfo video;
    if (!caps || !gst_video_info_from_caps(&video, caps)) {
        return GST_PAD_PROBE_OK;
    }
    auto* graph = static_cast<CaptureGraph*>(self);
    graph->capsSeen_ = true;
    const int width = GST_VIDEO_INFO_WIDTH(&video);
    const int height = GST_VIDEO_INFO_HEIGHT(&video);
    // Read on the streaming thread while the graph runs; a build changes it
    // only after the previous graph has stopped.
    const std::uint64_t generation = graph->generation_.load();
    QMetaObject::invokeMethod(
        graph,
        [graph, generation, width, height] {
            if (generation == graph->generation_ && graph->pipeline_) {
                graph->takeFormat(width, height);
            }
        },
        Qt::QueuedConnection);
    return GST_PAD_PROBE_OK;
}

void CaptureGraph::markLost(const QString& reason) {
    // Camera texts come from a network or a file: no passwords, no terminal
    // escapes and no screenfuls in the log, the status line or a notification.
    const QString clean = media::sanitizedText(reason);
    lossReason_ = clean.isEmpty() ? QStringLiteral("camera error") : clean;
    Q_EMIT cameraLost(lossReason_);
}

void CaptureGraph::close() {
    formatKnown_ = false;
    callback_.setEnabled(false);
    callback_.resetReady();
    // Returns once the streaming threads have stopped: no callback after this.
    pipeline_.reset();
    grabber_.reset();
    format_.reset();
    camera_.reset();
    callback_.deleteBuffers();
}

GstPadProbeReturn CaptureGraph::admit(GstPad*, GstPadProbeInfo*, gpointer self) {
    auto* graph = static_cast<CaptureGraph*>(self);
    // The throttle counts every frame, also those let through for the format.
    const bool admitted = graph->callback_.admit();
    return admitted || !graph->capsSeen_ ? GST_PAD_PROBE_OK : GST_PAD_PROBE_DROP;
}

GstFlowReturn CaptureGraph::onNewSample(GstAppSink* sink, gpointer self) {
    auto* graph = static_cast<CaptureGraph*>(self);
    media::Sample sample = adopt(gst_app_sink_pull_sample(sink));
    if (sample) {
        media::MappedGstSample mapped(sample.get());
        graph->callback_.deliver(mapped);
    }
    return GST_FLOW_OK;
}

}  // namespace kv::capture

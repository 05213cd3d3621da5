#include "media/camera_probe.h"

#include "media/gst_handle.h"
#include "media/pipeline.h"
#include "media/redact.h"
#include "media/uri_camera.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

Q_LOGGING_CATEGORY(lcProbe, "kv.media.probe", QtInfoMsg)

namespace kv::media {

namespace {

// The texts of free functions, under the context of the class they serve.
struct Text {
    Q_DECLARE_TR_FUNCTIONS(kv::media::CameraProbe)
};

struct Waiter {
    std::mutex mutex;
    std::condition_variable ready;
    QSize size;
};

GstPadProbeReturn onSinkEvent(GstPad*, GstPadProbeInfo* info, gpointer data) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS) {
        return GST_PAD_PROBE_OK;
    }
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    const GstStructure* s = caps ? gst_caps_get_structure(caps, 0) : nullptr;
    int width = 0;
    int height = 0;
    if (s && gst_structure_get_int(s, "width", &width) &&
        gst_structure_get_int(s, "height", &height)) {
        auto* waiter = static_cast<Waiter*>(data);
        std::lock_guard lock(waiter->mutex);
        waiter->size = QSize(width, height);
        waiter->ready.notify_all();
    }
    return GST_PAD_PROBE_OK;
}

// Plays the camera until its first caps, an error, or the deadline.
void probe(const QString& uri, int timeout_ms, QSize* size, QString* error) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    QString reason;
    if (!isUsableCameraUri(uri, &reason)) {
        *error = Text::tr("The address cannot be used: %1.").arg(reason);
        return;
    }
    Element camera = createUriCameraSource({QStringLiteral("test"), uri});
    Element pipeline = adopt(gst_pipeline_new("camera-test"));
    Element sink = adopt(gst_element_factory_make("fakesink", nullptr));
    if (!camera || !pipeline || !sink) {
        *error = Text::tr("The camera cannot be built.");
        return;
    }
    g_object_set(sink.get(), "sync", FALSE, nullptr);
    // The bin takes references of its own.
    gst_bin_add_many(GST_BIN(pipeline.get()), camera.get(), sink.get(), nullptr);
    if (!gst_element_link(camera.get(), sink.get())) {
        *error = Text::tr("The camera gives no video.");
        return;
    }
    Waiter waiter;
    Pad sinkPad = adopt(gst_element_get_static_pad(sink.get(), "sink"));
    gst_pad_add_probe(sinkPad.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &onSinkEvent, &waiter,
                      nullptr);
    Bus bus = adopt(gst_element_get_bus(pipeline.get()));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    *error = Text::tr("The camera gave no picture within %1 s.").arg((timeout_ms + 999) / 1000);
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::unique_lock lock(waiter.mutex);
            if (waiter.ready.wait_for(lock, std::chrono::milliseconds(50),
                                      [&] { return waiter.size.isValid(); })) {
                *size = waiter.size;
                error->clear();
                break;
            }
        }
        Message message = adopt(
            gst_bus_pop_filtered(bus.get(), GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS)));
        if (message) {
            *error = Text::tr("The camera ended its stream at once.");
            if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
                GError* raw = nullptr;
                gst_message_parse_error(message.get(), &raw, nullptr);
                Error failure = adopt(raw);
                *error = sanitizedText(describeError(failure.get()));
            }
            break;
        }
    }
    stopUriCamera(camera.get());
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
}

}  // namespace

CameraProbe::CameraProbe(QObject* parent) : QObject(parent), alive_(std::make_shared<bool>(true)) {}

CameraProbe::~CameraProbe() {
    *alive_ = false;
}

void CameraProbe::start(const QString& uri, int timeout_ms) {
    const quint64 run = ++run_;
    running_ = true;
    // The thread's own deadline is the time-out; this one catches a thread
    // stuck beyond it (a source that does not give up in time).
    QTimer::singleShot(timeout_ms + 1500, this, [this, run, timeout_ms] {
        finish(run, {},
               Text::tr("The camera did not answer within %1 s.").arg((timeout_ms + 999) / 1000));
    });
    std::thread([this, alive = alive_, run, uri, timeout_ms] {
        QSize size;
        QString error;
        probe(uri, timeout_ms, &size, &error);
        // alive is read and this used on the main thread only.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this, alive, run, size, error] {
                if (*alive) {
                    finish(run, size, error);
                }
            },
            Qt::QueuedConnection);
    }).detach();
}

void CameraProbe::finish(quint64 run, QSize size, const QString& error) {
    if (run != run_ || !running_) {
        return;  // an earlier test, or told already
    }
    running_ = false;
    if (!error.isEmpty()) {
        qCInfo(lcProbe).noquote() << "camera test failed:" << redactUri(error);
    }
    Q_EMIT finished(size, redactUri(error));
}

}  // namespace kv::media

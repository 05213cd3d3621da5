#include "tests/support/avi_writer.h"

#include "media/gst_handle.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QtDebug>

#include <atomic>

namespace kv::test {

using media::adopt;

namespace {

GstPadProbeReturn dropEndOfStream(GstPad*, GstPadProbeInfo* info, gpointer ended) {
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) != GST_EVENT_EOS) {
        return GST_PAD_PROBE_OK;
    }
    // Everything before it has gone through the muxer to the file by now.
    static_cast<std::atomic<bool>*>(ended)->store(true);
    return GST_PAD_PROBE_DROP;
}

}  // namespace

bool writeTestAvi(const TestAvi& avi) {
    const QString convert = avi.encoder.isEmpty() ? QString() : QStringLiteral("videoconvert ! ");
    const QString description =
        QStringLiteral(
            "videotestsrc num-buffers=%1 pattern=ball ! "
            "video/x-raw,format=BGR,width=%2,height=%3,framerate=25/1 ! %4%5%6"
            "avimux name=mux ! filesink buffer-mode=2 location=\"%7\"")
            .arg(avi.frames)
            .arg(avi.width)
            .arg(avi.height)
            .arg(convert, avi.encoder, avi.encoder.isEmpty() ? QString() : QStringLiteral(" ! "),
                 avi.path);
    media::Error error;
    media::Element pipeline =
        adopt(gst_parse_launch(description.toUtf8().constData(), error.out()));
    if (!pipeline || error) {
        qWarning() << "cannot make" << description << (error ? error->message : "");
        return false;
    }
    std::atomic<bool> ended{false};
    if (!avi.finish) {
        media::Element mux = adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "mux"));
        GstPad* sink = mux && GST_ELEMENT(mux.get())->sinkpads
                           ? GST_PAD(GST_ELEMENT(mux.get())->sinkpads->data)
                           : nullptr;
        if (!sink) {
            return false;
        }
        gst_pad_add_probe(sink, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, dropEndOfStream, &ended,
                          nullptr);
    }
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    media::Bus bus = adopt(gst_element_get_bus(pipeline.get()));
    QElapsedTimer waited;
    waited.start();
    bool ok = false;
    while (waited.elapsed() < 120000) {
        media::Message message = adopt(gst_bus_timed_pop_filtered(
            bus.get(), 20 * GST_MSECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
            qWarning() << "writing" << avi.path << "failed";
            break;
        }
        if (message || ended.load()) {
            ok = true;
            break;
        }
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return ok;
}

}  // namespace kv::test

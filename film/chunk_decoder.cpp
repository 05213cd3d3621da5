#include "film/chunk_decoder.h"

#include <QCoreApplication>

#include <gst/app/gstappsrc.h>
#include <gst/riff/riff-media.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kv::film {

namespace {

// The texts of free functions, under the context of the class they serve.
struct Text {
    Q_DECLARE_TR_FUNCTIONS(kv::film::ChunkDecoder)
};

}  // namespace

media::Caps streamCaps(const AviFrames& avi) {
    gst_riff_strh strh{};
    gst_riff_strf_vids strf{};
    std::memcpy(&strh, avi.strh.data(), std::min(sizeof strh, avi.strh.size()));
    std::memcpy(&strf, avi.strf.data(), std::min(sizeof strf, avi.strf.size()));
    media::Buffer extra;
    if (avi.strf.size() > sizeof strf) {
        const std::size_t n = avi.strf.size() - sizeof strf;
        extra = media::adopt(gst_buffer_new_allocate(nullptr, n, nullptr));
        gst_buffer_fill(extra.get(), 0, avi.strf.data() + sizeof strf, n);
    }
    media::Caps caps = media::adopt(
        gst_riff_create_video_caps(strf.compression, &strh, &strf, extra.get(), nullptr, nullptr));
    if (caps && gst_caps_is_fixed(caps.get())) {
        caps = media::adopt(gst_caps_make_writable(caps.release()));
        gst_caps_set_simple(caps.get(), "framerate", GST_TYPE_FRACTION, 25, 1, nullptr);
    }
    return caps;
}

QString pipelineError(GstElement* pipeline) {
    const media::Bus bus = media::adopt(gst_element_get_bus(pipeline));
    const media::Message message = media::adopt(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
    return message ? media::describeError(message.get()) : QString();
}

bool ChunkDecoder::build(const media::Caps& caps, int width, int height, const char* format,
                         QString* error) {
    pipeline_.reset();
    caps_ = caps;
    if (!pipeline_.create("chunk-decoder")) {
        *error = Text::tr("GStreamer cannot make a pipeline");
        return false;
    }
    source_ = media::makeElement("appsrc", "chunks");
    media::Element decode = media::makeElement("decodebin", "chunk-decode");
    convert_ = media::makeElement("videoconvert", "chunk-convert");
    media::Element scale = media::makeElement("videoscale", "chunk-scale");
    media::Element size = media::makeElement("capsfilter", "chunk-size");
    sink_ = media::makeElement("appsink", "chunk-decoded");
    if (!source_ || !decode || !convert_ || !scale || !size || !sink_) {
        *error = Text::tr("GStreamer lacks an element to decode recordings");
        return false;
    }
    g_object_set(source_.get(), "caps", caps.get(), "format", GST_FORMAT_TIME, "block", FALSE,
                 nullptr);
    g_object_set(scale.get(), "add-borders", TRUE, nullptr);
    media::Caps out = media::adopt(gst_caps_new_simple(
        "video/x-raw", "format", G_TYPE_STRING, format, "width", G_TYPE_INT, width, "height",
        G_TYPE_INT, height, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr));
    g_object_set(size.get(), "caps", out.get(), nullptr);
    g_object_set(sink_.get(), "sync", FALSE, "max-buffers", guint(4), nullptr);
    for (const media::Element* e : {&source_, &decode, &convert_, &scale, &size, &sink_}) {
        gst_bin_add(pipeline_.bin(), e->get());
    }
    g_signal_connect(decode.get(), "pad-added", G_CALLBACK(&ChunkDecoder::padAdded),
                     convert_.get());
    if (!gst_element_link(source_.get(), decode.get()) ||
        !gst_element_link_many(convert_.get(), scale.get(), size.get(), sink_.get(), nullptr)) {
        *error = Text::tr("cannot link the decoding pipeline");
        return false;
    }
    if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        *error = Text::tr("the decoding pipeline does not start");
        return false;
    }
    seq_ = 0;
    inFlight_.clear();
    return true;
}

bool ChunkDecoder::push(int fd, const AviChunk& chunk, bool wanted, QString* error) {
    media::Buffer buffer = media::adopt(gst_buffer_new_allocate(nullptr, chunk.size, nullptr));
    GstMapInfo map;
    if (!buffer || !gst_buffer_map(buffer.get(), &map, GST_MAP_WRITE)) {
        *error = Text::tr("out of memory for a frame of %1 bytes").arg(chunk.size);
        return false;
    }
    std::size_t got = 0;
    errno = 0;
    while (got < chunk.size) {
        const ssize_t n = ::pread(fd, map.data + got, chunk.size - got, off_t(chunk.offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += std::size_t(n);
    }
    const int readError = errno;
    gst_buffer_unmap(buffer.get(), &map);
    if (got < chunk.size) {
        *error = Text::tr("a frame cannot be read: %1")
                     .arg(got == 0 && readError ? QString::fromLocal8Bit(std::strerror(readError))
                                                : Text::tr("cut short"));
        return false;
    }
    GstBuffer* b = buffer.release();
    GST_BUFFER_PTS(b) = GstClockTime(seq_) * kDecodeFrame;
    GST_BUFFER_DURATION(b) = kDecodeFrame;
    if (!chunk.key) {
        GST_BUFFER_FLAG_SET(b, GST_BUFFER_FLAG_DELTA_UNIT);
    }
    if (discont_) {
        GST_BUFFER_FLAG_SET(b, GST_BUFFER_FLAG_DISCONT);
        discont_ = false;
    }
    inFlight_.push_back({seq_++, wanted});
    if (gst_app_src_push_buffer(GST_APP_SRC(source_.get()), b) != GST_FLOW_OK) {
        *error = failure();
        return false;
    }
    return true;
}

QString ChunkDecoder::failure() const {
    const QString text = pipelineError(pipeline_.get());
    return text.isEmpty() ? Text::tr("the decoder refused a frame") : text;
}

void ChunkDecoder::padAdded(GstElement*, GstPad* pad, gpointer convert) {
    const media::Pad sink =
        media::adopt(gst_element_get_static_pad(static_cast<GstElement*>(convert), "sink"));
    if (!gst_pad_is_linked(sink.get())) {
        gst_pad_link(pad, sink.get());
    }
}

QString ChunkDecoder::timedOut() {
    return Text::tr("the decoder gave no frame for 30 s");
}

QString ChunkDecoder::unknownFormat() {
    return Text::tr("the decoder gave frames of no known format");
}

}  // namespace kv::film

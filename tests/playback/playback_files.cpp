#include "tests/playback/playback_files.h"

#include "media/gst_handle.h"

#include <QProcess>
#include <QThread>

#include <gst/app/gstappsrc.h>

#include <atomic>
#include <cstring>
#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace kv::test {

namespace {

constexpr int kBits = 16;
constexpr int kBlock = 20;  // 8 blocks a row, two rows
constexpr int kStride = ((kFrameWidth * 3) + 3) & ~3;
constexpr int kWait_ms = 20000;

QString gstError(GstMessage* message) {
    media::Error error;
    media::Chars debug;
    gst_message_parse_error(message, error.out(), debug.out());
    return QString::fromUtf8(error->message);
}

// What gets dropped once the muxer starts finishing the file.
struct Cut {
    std::atomic<bool> cutting{false};
    std::atomic<bool> ended{false};
};

GstPadProbeReturn dropFromIndexOn(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* cut = static_cast<Cut*>(data);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER) {
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        char head[4] = {};
        if (!cut->cutting && gst_buffer_extract(buffer, 0, head, 4) == 4 &&
            std::memcmp(head, "idx1", 4) == 0) {
            cut->cutting = true;
        }
        return cut->cutting ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
    }
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) == GST_EVENT_EOS) {
        cut->ended = true;
        return GST_PAD_PROBE_DROP;
    }
    // The muxer seeks back to rewrite its header: that never happens.
    return cut->cutting && GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT ? GST_PAD_PROBE_DROP
                                                                      : GST_PAD_PROBE_OK;
}

QString writeWithGst(const QString& path, bool compress, int frames, bool unfinished) {
    const QString encoder =
        compress ? u"videoconvert ! video/x-raw,format=I420 ! jpegenc quality=90 ! "_s : QString();
    // Left to itself the launcher links a raw source to the muxer's audio pad.
    const QString line =
        u"appsrc name=src format=time caps=video/x-raw,format=BGR,width=%1,height=%2,"
        "framerate=25/1 ! "_s.arg(kFrameWidth)
            .arg(kFrameHeight) +
        encoder + u"mux.video_0 avimux name=mux ! filesink name=sink location=\"%1\""_s.arg(path);
    media::Error error;
    media::Element pipeline =
        media::adopt(gst_parse_launch(line.toUtf8().constData(), error.out()));
    if (!pipeline) {
        return u"cannot build the writer: "_s + QString::fromUtf8(error ? error->message : "");
    }
    media::Element src = media::adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "src"));

    Cut cut;
    if (unfinished) {
        media::Element mux = media::adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "mux"));
        media::Pad pad = media::adopt(gst_element_get_static_pad(mux.get(), "src"));
        gst_pad_add_probe(
            pad.get(),
            GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
            &dropFromIndexOn, &cut, nullptr);
    }
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    const GstClockTime duration = GST_SECOND / 25;
    for (int n = 0; n < frames; ++n) {
        const std::vector<std::uint8_t> picture = numberedFrame(n);
        GstBuffer* buffer = gst_buffer_new_memdup(picture.data(), picture.size());
        GST_BUFFER_PTS(buffer) = GstClockTime(n) * duration;
        GST_BUFFER_DURATION(buffer) = duration;
        gst_app_src_push_buffer(GST_APP_SRC(src.get()), buffer);
    }
    gst_app_src_end_of_stream(GST_APP_SRC(src.get()));

    QString result;
    media::Bus bus = media::adopt(gst_element_get_bus(pipeline.get()));
    if (unfinished) {
        // The file stays as the dead writer left it: frames, no index.
        for (int waited = 0; !cut.ended && waited < kWait_ms; waited += 5) {
            QThread::msleep(5);
            if (media::Message m =
                    media::adopt(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR))) {
                result = gstError(m.get());
                break;
            }
        }
        if (!cut.ended && result.isEmpty()) {
            result = u"the writer did not reach its end"_s;
        }
    } else {
        media::Message m = media::adopt(
            gst_bus_timed_pop_filtered(bus.get(), GstClockTime(kWait_ms) * GST_MSECOND,
                                       GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        if (!m) {
            result = u"the writer did not finish"_s;
        } else if (GST_MESSAGE_TYPE(m.get()) == GST_MESSAGE_ERROR) {
            result = gstError(m.get());
        }
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return result;
}

QString writeWithFfmpeg(const QString& path, const QStringList& codec, int frames) {
    QProcess ffmpeg;
    QStringList args = {
        u"-loglevel"_s, u"error"_s,    u"-y"_s,
        u"-f"_s,        u"rawvideo"_s, u"-pix_fmt"_s,
        u"bgr24"_s,     u"-s"_s,       u"%1x%2"_s.arg(kFrameWidth).arg(kFrameHeight),
        u"-r"_s,        u"25"_s,       u"-i"_s,
        u"-"_s};
    args += codec;
    args += path;
    ffmpeg.start(u"ffmpeg"_s, args);
    if (!ffmpeg.waitForStarted(kWait_ms)) {
        return u"ffmpeg did not start"_s;
    }
    for (int n = 0; n < frames; ++n) {
        // ffmpeg's raw input has no row padding; 160 * 3 needs none.
        const std::vector<std::uint8_t> picture = numberedFrame(n);
        ffmpeg.write(reinterpret_cast<const char*>(picture.data()), qint64(picture.size()));
        ffmpeg.waitForBytesWritten(kWait_ms);
    }
    ffmpeg.closeWriteChannel();
    if (!ffmpeg.waitForFinished(kWait_ms) || ffmpeg.exitCode() != 0) {
        return u"ffmpeg failed: "_s + QString::fromLocal8Bit(ffmpeg.readAllStandardError());
    }
    return {};
}

int readBlocks(int width, int height, const std::function<int(int x, int y)>& green) {
    if (width != kFrameWidth || height != kFrameHeight) {
        return -1;
    }
    int n = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        const int x = (bit % 8) * kBlock + kBlock / 2;
        const int y = (bit / 8) * kBlock + kBlock / 2;
        const int g = green(x, y);
        if (g > 80 && g < 176) {
            return -1;
        }
        if (g >= 176) {
            n |= 1 << bit;
        }
    }
    return n;
}

}  // namespace

const char* writerName(Writer writer) {
    switch (writer) {
        case Writer::GstMjpeg:
            return "GstMjpeg";
        case Writer::GstRaw:
            return "GstRaw";
        case Writer::FfmpegMpeg4:
            return "FfmpegMpeg4";
        case Writer::FfmpegMsmpeg4:
            return "FfmpegMsmpeg4";
        case Writer::FfmpegRaw:
            return "FfmpegRaw";
    }
    return "?";
}

std::vector<std::uint8_t> numberedFrame(int n) {
    std::vector<std::uint8_t> picture(std::size_t(kStride) * kFrameHeight, 128);
    for (int bit = 0; bit < kBits; ++bit) {
        const std::uint8_t value = (n >> bit) & 1 ? 255 : 0;
        const int x0 = (bit % 8) * kBlock;
        const int y0 = (bit / 8) * kBlock;
        for (int y = y0; y < y0 + kBlock; ++y) {
            std::memset(picture.data() + std::size_t(y) * kStride + std::size_t(x0) * 3, value,
                        std::size_t(kBlock) * 3);
        }
    }
    return picture;
}

int frameNumber(const media::BITMAPINFOHEADER& header, const QByteArray& pixels) {
    const int stride = media::frameStride(header.biWidth);
    if (header.biBitCount != 24 || header.biHeight <= 0 ||
        pixels.size() < qsizetype(stride) * header.biHeight) {
        return -1;
    }
    const int height = header.biHeight;
    return readBlocks(header.biWidth, height, [&](int x, int y) {
        return int(uchar(pixels[qsizetype(height - 1 - y) * stride + x * 3 + 1]));
    });
}

int frameNumber(const QImage& image) {
    return readBlocks(image.width(), image.height(),
                      [&](int x, int y) { return qGreen(image.pixel(x, y)); });
}

QString writeRecording(const QString& path, Writer writer, int frames) {
    switch (writer) {
        case Writer::GstMjpeg:
            return writeWithGst(path, true, frames, false);
        case Writer::GstRaw:
            return writeWithGst(path, false, frames, false);
        case Writer::FfmpegMpeg4:
            return writeWithFfmpeg(
                path, {u"-c:v"_s, u"mpeg4"_s, u"-q:v"_s, u"2"_s, u"-g"_s, u"12"_s}, frames);
        case Writer::FfmpegMsmpeg4:
            return writeWithFfmpeg(
                path, {u"-c:v"_s, u"msmpeg4v3"_s, u"-q:v"_s, u"2"_s, u"-g"_s, u"12"_s}, frames);
        case Writer::FfmpegRaw:
            return writeWithFfmpeg(path, {u"-c:v"_s, u"rawvideo"_s, u"-pix_fmt"_s, u"bgr24"_s},
                                   frames);
    }
    return u"unknown writer"_s;
}

QString writeUnfinishedRecording(const QString& path, int frames) {
    return writeWithGst(path, true, frames, true);
}

}  // namespace kv::test

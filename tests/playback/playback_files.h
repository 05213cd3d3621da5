#pragma once

// Recordings for the playback tests, written by real writers: GStreamer's
// avimux (MJPEG, raw) and ffmpeg (MPEG-4, MS-MPEG-4, raw). Every frame shows
// its own number as 16 black or white blocks across the top of the picture,
// which survives lossy coding and tells upright from upside down.

#include "media/frame.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstdint>
#include <vector>

namespace kv::test {

constexpr int kFrameWidth = 160;
constexpr int kFrameHeight = 120;

enum class Writer {
    GstMjpeg,       // jpegenc ! avimux
    GstRaw,         // raw BGR ! avimux
    FfmpegMpeg4,    // ffmpeg -c:v mpeg4
    FfmpegMsmpeg4,  // ffmpeg -c:v msmpeg4v3
    FfmpegRaw,      // ffmpeg -c:v rawvideo
};

const char* writerName(Writer writer);

// A top-down BGR picture of frame n, rows GST_ROUND_UP_4(w * 3) apart.
std::vector<std::uint8_t> numberedFrame(int n);

// The number a picture shows, -1 when its blocks are not clearly black or
// white. Our frames are bottom-up; the image is upright.
int frameNumber(const media::BITMAPINFOHEADER& header, const QByteArray& pixels);
int frameNumber(const QImage& image);

// Writes frames 0..frames-1 at 25 frames per second. Returns an empty string
// on success, otherwise what went wrong.
QString writeRecording(const QString& path, Writer writer, int frames);

// As a writer that died before it finished: every frame is in the file, but
// no index follows and the header still counts zero frames.
QString writeUnfinishedRecording(const QString& path, int frames);

}  // namespace kv::test

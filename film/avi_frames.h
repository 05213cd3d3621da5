#pragma once

// Where each frame of a recording lies in its AVI file, read from the file's
// own index (idx1), or found by walking the movie lists when there is none (a
// recording being written, or one a crash left unfinished). Only whole frame
// chunks inside the file as it is now count, so a recording being written is
// read up to its last frame on the disk. Reads, never writes.

#include <QString>

#include <cstdint>
#include <vector>

namespace kv::film {

struct AviChunk {
    std::uint64_t offset = 0;  // of the frame's bytes, past the chunk header
    std::uint32_t size = 0;
    bool key = true;
};

struct AviFrames {
    bool ok = false;
    QString error;                   // why not, when not ok
    std::uint32_t fourcc = 0;        // the stream's compression, as stored
    std::vector<std::uint8_t> strf;  // the stream format (a BITMAPINFOHEADER and extra data)
    std::vector<std::uint8_t> strh;  // the stream header
    int width = 0;
    int height = 0;
    qint64 frameDuration_us = 40000;  // from the stream header's rate
    bool indexed = false;             // read from idx1; else walked
    bool keysKnown = true;            // false when walked: key frames are not marked
    std::vector<AviChunk> frames;
};

// The frames of the first video stream of an AVI file opened for reading.
// The file is read at its size when called.
AviFrames readAviFrames(int fd);

// The same by path: only a regular file, never through a link.
AviFrames readAviFrames(const QString& path);

// Whether a compression (a fourcc as stored) makes every frame a key frame.
bool intraOnly(std::uint32_t fourcc);

// "MJPG" for the fourcc, printable.
QString fourccText(std::uint32_t fourcc);

}  // namespace kv::film

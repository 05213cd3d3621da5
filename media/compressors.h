#pragma once

// The video compressors the program offers: a fixed table of GStreamer encoders
// that avimux accepts, each known by a friendly name, and the mapping of the
// compressor settings (quality, key-frame rate) onto each encoder's properties.

#include "media/gst_handle.h"

#include <QString>
#include <QStringList>

#include <span>

namespace kv::media {

struct CompressorEntry {
    const char* friendlyName;
    const char* factory;
    // The raw format the encoder is fed, or null to let it choose (the
    // lossless ones keep RGB). Encoders left to choose make 4:4:4 or RGB
    // streams that few players read, so the lossy ones get 4:2:0, in the range
    // their stream is read back in: JPEG (JFIF) is full range, the others are
    // limited range. The MJPEG encoder takes BGR too and makes 4:2:0 itself.
    const char* inputCaps;
};

// Every known compressor in listing order, installed or not.
std::span<const CompressorEntry> compressorTable();

// Friendly names of the installed compressors, in table order.
QStringList installedCompressorNames();

// The factory name behind a friendly name (exact match), or an empty string.
QString compressorFactory(const QString& friendlyName);

// The raw format to convert to before this encoder, from its factory; empty
// when the encoder takes what comes.
Caps compressorInputCaps(GstElement* encoder);

// A new encoder for an installed compressor, or empty.
Element createCompressor(const QString& friendlyName);

// Sets quality (0.0 worst .. 1.0 best) and key-frame distance on an encoder made
// for friendlyName (or, if the name is unknown, recognised by its factory).
// A key-frame rate of 0 or less keeps the encoder's own default; lossless and
// intra-only encoders take nothing.
void ApplyCompression(GstElement* encoder, const QString& friendlyName, double quality,
                      int keyFrameRate);

}  // namespace kv::media

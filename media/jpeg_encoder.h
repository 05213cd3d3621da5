#pragma once

// The program's MJPEG encoder: a GStreamer video encoder on libjpeg-turbo,
// known only inside this process as "kvjpegenc". It takes BGR (converted by
// libjpeg-turbo) or full-range I420 and gives a baseline JFIF picture per
// frame, every one a key frame, with Huffman codes measured on the pictures
// and luma tables that flatten as the quality rises: at the same luma PSNR
// about ffmpeg's bytes, where jpegenc's fixed codes and steep tables took up
// to 2.6 times as many.

#include <cstdint>

namespace kv::media {

inline constexpr const char* kJpegEncoderFactory = "kvjpegenc";

// Registers the encoder with GStreamer (after gst_init); later calls do
// nothing. False when GStreamer refused it.
bool registerJpegEncoder();

// The two quantisation tables (luma, chroma; natural order, 1..255) the
// encoder writes at quality 0 (worst) .. 100 (best).
struct JpegTables {
    std::uint16_t luma[64];
    std::uint16_t chroma[64];
};
JpegTables jpegTables(int quality);

}  // namespace kv::media

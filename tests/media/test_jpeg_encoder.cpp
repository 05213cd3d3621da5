#include "media/gst_handle.h"
#include "media/jpeg_encoder.h"
#include "tests/support/avi_probe.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

using namespace kv::media;

namespace {

constexpr int kWidth = 641;
constexpr int kHeight = 481;
// Top-left, top-right, bottom-left, bottom-right, in BGR.
constexpr std::uint8_t kColours[4][3] = {{0, 0, 230}, {0, 220, 0}, {230, 0, 0}, {200, 200, 200}};

int strideOf(int width) {
    return (width * 3 + 3) & ~3;
}

std::vector<std::uint8_t> quadrants() {
    std::vector<std::uint8_t> pixels(std::size_t(strideOf(kWidth)) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const std::uint8_t* c = kColours[(y < kHeight / 2 ? 0 : 2) + (x < kWidth / 2 ? 0 : 1)];
            std::copy(c, c + 3, pixels.begin() + std::ptrdiff_t(y) * strideOf(kWidth) + x * 3);
        }
    }
    return pixels;
}

struct Coded {
    bool keyFrame = false;
    std::vector<std::uint8_t> pixels;  // decoded again by jpegdec, BGR
};

// One frame through "convert ! kvjpegenc", then the picture through jpegdec.
Coded codeOnce(const char* convert) {
    const std::string launch =
        "appsrc name=in format=time caps=video/x-raw,format=BGR,width=641,height=481,"
        "framerate=25/1 ! " +
        std::string(convert) +
        " ! kvjpegenc quality=80 ! tee name=t "
        "t. ! queue ! appsink name=coded sync=false "
        "t. ! queue ! jpegdec ! videoconvert ! video/x-raw,format=BGR ! appsink name=out "
        "sync=false";
    Error error;
    Element pipeline = adopt(gst_parse_launch(launch.c_str(), error.out()));
    Coded result;
    if (!pipeline) {
        ADD_FAILURE() << "no pipeline: " << (error ? error->message : "");
        return result;
    }
    Element in = adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "in"));
    Element coded = adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "coded"));
    Element out = adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "out"));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    const std::vector<std::uint8_t> pixels = quadrants();
    GstBuffer* buffer = gst_buffer_new_memdup(pixels.data(), pixels.size());
    GST_BUFFER_PTS(buffer) = 0;
    GST_BUFFER_DURATION(buffer) = GST_SECOND / 25;
    gst_app_src_push_buffer(GST_APP_SRC(in.get()), buffer);
    gst_app_src_end_of_stream(GST_APP_SRC(in.get()));
    Sample picture =
        adopt(gst_app_sink_try_pull_sample(GST_APP_SINK(coded.get()), 10 * GST_SECOND));
    Sample decoded = adopt(gst_app_sink_try_pull_sample(GST_APP_SINK(out.get()), 10 * GST_SECOND));
    if (picture) {
        const GstBuffer* b = gst_sample_get_buffer(picture.get());
        result.keyFrame = !GST_BUFFER_FLAG_IS_SET(b, GST_BUFFER_FLAG_DELTA_UNIT);
    }
    if (decoded) {
        GstMapInfo map;
        GstBuffer* b = gst_sample_get_buffer(decoded.get());
        if (gst_buffer_map(b, &map, GST_MAP_READ)) {
            result.pixels.assign(map.data, map.data + map.size);
            gst_buffer_unmap(b, &map);
        }
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return result;
}

// A size that is no multiple of the 16x16 blocks, odd even, coded from BGR
// (libjpeg converts) and from full-range I420 (planes read as they are,
// edges repeated): every corner keeps its colour, chroma included.
TEST(JpegEncoder, AnOddSizeKeepsItsEdgesFromBgrAndFromI420) {
    for (const char* convert :
         {"identity", "videoconvert ! video/x-raw,format=I420,colorimetry=1:4:0:0"}) {
        SCOPED_TRACE(convert);
        const Coded coded = codeOnce(convert);
        EXPECT_TRUE(coded.keyFrame);
        ASSERT_EQ(coded.pixels.size(), std::size_t(strideOf(kWidth)) * kHeight);
        const kv::test::DecodedFrame frame{kWidth, kHeight, strideOf(kWidth), coded.pixels};
        frame.expectQuadrants(kColours, 12);
    }
}

// Higher quality never codes coarser: every step of both tables falls or
// stays as the quality rises, and the best quality keeps every coefficient.
TEST(JpegEncoder, TablesNeverCoarsenAsTheQualityRises) {
    JpegTables before = jpegTables(0);
    for (int quality = 1; quality <= 100; ++quality) {
        const JpegTables now = jpegTables(quality);
        for (int i = 0; i < 64; ++i) {
            EXPECT_LE(now.luma[i], before.luma[i]) << "quality " << quality << ", entry " << i;
            EXPECT_LE(now.chroma[i], before.chroma[i]) << "quality " << quality << ", entry " << i;
            EXPECT_GE(now.luma[i], 1);
        }
        before = now;
    }
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(before.luma[i], 1);
        EXPECT_EQ(before.chroma[i], 1);
    }
}

}  // namespace

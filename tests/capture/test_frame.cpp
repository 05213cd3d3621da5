#include "media/frame.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace kv::media;

namespace {

TEST(Frame, StrideIsThe24BitRowPaddedToFourBytes) {
    const std::vector<std::pair<int, int>> rows = {{1, 4},     {2, 8},      {3, 12},
                                                   {4, 12},    {81, 244},   {320, 960},
                                                   {322, 968}, {352, 1056}, {1919, 5760}};
    for (const auto& [width, stride] : rows) {
        EXPECT_EQ(frameStride(width), stride) << width;
        // GStreamer's BGR stride, GST_ROUND_UP_4(width * 3).
        EXPECT_EQ(frameStride(width), (width * 3 + 3) & ~3) << width;
    }
}

TEST(Frame, HeaderDescribesAnUncompressed24BitFrame) {
    const BITMAPINFOHEADER header = makeFrameHeader(322, 240);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 322);
    EXPECT_EQ(header.biHeight, 240);
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biCompression, BI_RGB);
    EXPECT_EQ(header.biSizeImage, 968u * 240u);
    EXPECT_EQ(header.biClrUsed, 0u);
    EXPECT_TRUE(isFrameFormat(header));
    EXPECT_EQ(makeFrameHeader(10, -3).biSizeImage, 32u * 3u);

    // The bytes are those of a BMP file's info header.
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&header);
    EXPECT_EQ(bytes[0], 40);
    EXPECT_EQ(bytes[4] | bytes[5] << 8, 322);
    EXPECT_EQ(bytes[14], 24);
}

// Sizes come from files and cameras. Over 16384 a side is no frame; one that
// would wrap 32 bits of stride * height (32768 x 43691 needs 4 GiB + 4 KiB)
// has no size at all, so nothing that reads the header allocates or copies
// for it.
TEST(Frame, SizesOverTheLimitMakeNoFrame) {
    struct Row {
        int width, height;
        bool frame;
        bool sized;  // the header keeps its size (it fits 32 bits)
    } const rows[] = {
        {16384, 16384, true, true},   {16384, -16384, true, true},
        {1, 1, true, true},           {16385, 1, false, true},
        {1, 16385, false, true},      {1, -16385, false, true},
        {32767, 32767, false, true},  {32768, 43691, false, false},
        {0, 240, false, false},       {-320, 240, false, false},
        {320, 0, false, false},       {INT32_MAX, INT32_MAX, false, false},
        {INT32_MAX, 1, false, false}, {320, INT32_MIN, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.width << " x " << row.height);
        EXPECT_EQ(isFrameSize(row.width, row.height), row.frame);
        const BITMAPINFOHEADER header = makeFrameHeader(row.width, row.height);
        EXPECT_EQ(isFrameFormat(header), row.frame);
        const std::uint8_t pixel[4] = {};
        if (row.sized) {
            EXPECT_EQ(std::uint64_t(header.biSizeImage),
                      std::uint64_t(frameStride(row.width)) * std::uint64_t(std::abs(row.height)));
        } else {
            EXPECT_EQ(header.biWidth, 0);
            EXPECT_EQ(header.biHeight, 0);
            EXPECT_EQ(header.biSizeImage, 0u);
        }
        if (!row.frame) {
            EXPECT_TRUE(frameImage(pixel, header).isNull());
        }
    }
    EXPECT_EQ(makeFrameHeader(16384, 16384).biSizeImage, 49152u * 16384u);
    EXPECT_EQ(frameStride(1 << 20), 3 << 20);  // no int overflow inside
    // A header claiming a larger frame than its image size holds is no frame.
    BITMAPINFOHEADER forged = makeFrameHeader(320, 240);
    forged.biWidth = 4096;
    forged.biHeight = 4096;
    EXPECT_FALSE(isFrameFormat(forged));
}

TEST(Frame, DrawsBottomUpRowsUpright) {
    // 2 x 2: the first stored row (bottom of the picture) red, the second blue.
    const BITMAPINFOHEADER format = makeFrameHeader(2, 2);
    std::vector<std::uint8_t> pixels(format.biSizeImage, 0);
    for (int x = 0; x < 2; ++x) {
        pixels[std::size_t(x) * 3 + 2] = 255;      // red, stored row 0
        pixels[8 + std::size_t(x) * 3 + 0] = 255;  // blue, stored row 1
    }
    const QImage view = frameImage(pixels.data(), format);
    ASSERT_FALSE(view.isNull());
    EXPECT_EQ(view.bytesPerLine(), 8);
    EXPECT_EQ(view.pixel(0, 0), qRgb(255, 0, 0));  // stored order: upside down

    QImage picture(4, 6, QImage::Format_RGB32);
    picture.fill(Qt::green);
    {
        QPainter painter(&picture);
        drawFrame(painter, QRectF(0, 2, 4, 4), pixels.data(), format);
    }
    EXPECT_EQ(picture.pixel(0, 0), qRgb(0, 255, 0));
    EXPECT_EQ(picture.pixel(3, 2), qRgb(0, 0, 255));
    EXPECT_EQ(picture.pixel(0, 3), qRgb(0, 0, 255));
    EXPECT_EQ(picture.pixel(0, 4), qRgb(255, 0, 0));
    EXPECT_EQ(picture.pixel(3, 5), qRgb(255, 0, 0));
}

}  // namespace

#include "media/frame.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

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

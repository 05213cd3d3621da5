#include "capture/frame_stamp.h"
#include "media/frame.h"

#include <QImage>
#include <QLocale>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace kv;
using namespace Qt::Literals::StringLiterals;

namespace {

TEST(FrameStamp, TimeFormatsLoseTheirTimeZoneOnly) {
    using capture::withoutTimeZone;
    EXPECT_EQ(withoutTimeZone(u"h:mm:ss AP t"_s), u"h:mm:ss AP"_s);
    EXPECT_EQ(withoutTimeZone(u"HH:mm:ss t"_s), u"HH:mm:ss"_s);
    EXPECT_EQ(withoutTimeZone(u"tttt HH:mm:ss"_s), u"HH:mm:ss"_s);
    EXPECT_EQ(withoutTimeZone(u"HH 'at' mm t"_s), u"HH 'at' mm"_s);  // quoted text stays
    EXPECT_EQ(withoutTimeZone(u"HH:mm:ss"_s), u"HH:mm:ss"_s);

    const QDateTime when(QDate(2026, 12, 8), QTime(14, 5, 9), Qt::UTC);
    for (const char* name : {"en_US", "de_DE", "ja_JP", "C"}) {
        const QLocale locale(QString::fromLatin1(name));
        const QString time = capture::stampTime(when, locale);
        SCOPED_TRACE(name);
        EXPECT_TRUE(time.contains(u"05"_s) && time.contains(u"09"_s)) << qPrintable(time);
        EXPECT_FALSE(time.contains(u"UTC"_s) || time.contains(u"GMT"_s)) << qPrintable(time);
        EXPECT_EQ(time, time.trimmed());
    }
    EXPECT_EQ(capture::stampTime(when, QLocale(u"de_DE"_s)), u"14:05:09"_s);
    EXPECT_EQ(capture::stampDate(when, QLocale(u"de_DE"_s)), u"08.12.26"_s);
}

// Brightest byte of a picture row (0 = top) of a bottom-up frame, over
// columns [from, to).
int brightest(const std::vector<std::uint8_t>& pixels, const media::BITMAPINFOHEADER& format,
              int pictureRow, int from, int to) {
    const int stride = media::frameStride(format.biWidth);
    const std::uint8_t* row =
        pixels.data() + std::ptrdiff_t(format.biHeight - 1 - pictureRow) * stride;
    int value = 0;
    for (int b = from * 3; b < to * 3; ++b) {
        value = std::max(value, int(row[b]));
    }
    return value;
}

TEST(FrameStamp, IsPaintedUprightIntoTheFramesOwnBottomCorners) {
    const media::BITMAPINFOHEADER format = media::makeFrameHeader(321, 240);
    std::vector<std::uint8_t> pixels(format.biSizeImage, 0);
    const QDateTime when(QDate(2026, 12, 8), QTime(23, 59, 58));
    ASSERT_TRUE(capture::stampFrame(pixels.data(), format, when, QLocale(u"en_US"_s)));

    // Rows that carry text, and where the text is.
    int top = 240, bottom = -1;
    for (int y = 0; y < 240; ++y) {
        if (brightest(pixels, format, y, 0, 321) > 128) {
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    ASSERT_LE(top, bottom) << "nothing was stamped";
    EXPECT_LE(bottom, 240 - 5);  // 5 pixels above the bottom edge
    EXPECT_GE(top, 240 - 30);    // a small font in the bottom band only
    EXPECT_LE(bottom - top, 16);
    EXPECT_EQ(brightest(pixels, format, bottom, 0, 5), 0);  // 5 pixels in from the left
    EXPECT_EQ(brightest(pixels, format, bottom, 316, 321), 0);
    int left = 0, right = 0;
    for (int y = top; y <= bottom; ++y) {
        left = std::max(left, brightest(pixels, format, y, 5, 80));
        right = std::max(right, brightest(pixels, format, y, 241, 316));
    }
    EXPECT_GT(left, 200);   // the date
    EXPECT_GT(right, 200);  // the time
    EXPECT_LT(brightest(pixels, format, 160, 0, 321), 1);

    // Row padding is never painted: the frame's stride holds 963 of 964 bytes.
    const int stride = media::frameStride(321);
    for (int row = 0; row < 240; ++row) {
        EXPECT_EQ(pixels[std::size_t(row) * stride + stride - 1], 0);
    }
}

// The stamp as painted over the whole frame, through a flip for bottom-up
// rows: where the text must land, pixel for pixel.
std::vector<std::uint8_t> stampedWhole(std::vector<std::uint8_t> pixels,
                                       const media::BITMAPINFOHEADER& format, const QDateTime& when,
                                       const QLocale& locale) {
    const int height = std::abs(format.biHeight);
    QImage image(pixels.data(), format.biWidth, height, media::frameStride(format.biWidth),
                 QImage::Format_BGR888);
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    QPainter painter(&image);
    if (format.biHeight > 0) {
        painter.translate(0, height);
        painter.scale(1, -1);
    }
    painter.setFont(capture::stampFont());
    capture::drawStamp(painter, format.biWidth, height, when, locale);
    painter.end();
    return pixels;
}

TEST(FrameStamp, PaintsOnlyItsBandWithTheWholeFramesPixels) {
    const QDateTime when(QDate(2026, 12, 8), QTime(23, 59, 58));
    struct Size {
        int width;
        int height;
    };
    // Bottom-up and top-down, and frames lower than the band.
    for (const Size size :
         {Size{321, 240}, Size{1920, 1080}, Size{640, -480}, Size{97, 14}, Size{64, -9}}) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        const media::BITMAPINFOHEADER format = media::makeFrameHeader(size.width, size.height);
        const capture::StampBand band = capture::stampBand(format);
        ASSERT_GT(band.rows, 0);
        EXPECT_LE(band.rows, std::abs(size.height));
        EXPECT_LT(band.rows, 60);
        EXPECT_EQ(band.bytes, std::size_t(band.rows) * std::size_t(media::frameStride(size.width)));
        EXPECT_EQ(band.offset + band.bytes <= format.biSizeImage, true);
        // A picture that is not one colour, so a shifted stamp would differ.
        std::vector<std::uint8_t> pixels(format.biSizeImage);
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = std::uint8_t((i * 7) / 5);
        }
        const std::vector<std::uint8_t> expected =
            stampedWhole(pixels, format, when, QLocale(u"en_US"_s));
        ASSERT_NE(expected, pixels) << "the reference stamped nothing";
        ASSERT_TRUE(capture::stampFrame(pixels.data(), format, when, QLocale(u"en_US"_s)));
        EXPECT_TRUE(pixels == expected);
        // Whatever changed lies in the band.
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            if (pixels[i] != std::uint8_t((i * 7) / 5)) {
                ASSERT_GE(i, band.offset);
                ASSERT_LT(i, band.offset + band.bytes);
            }
        }
    }
}

TEST(FrameStamp, RefusesWhatIsNoFrame) {
    media::BITMAPINFOHEADER format = media::makeFrameHeader(64, 48);
    std::vector<std::uint8_t> pixels(format.biSizeImage, 0);
    EXPECT_FALSE(capture::stampFrame(nullptr, format, QDateTime::currentDateTime()));
    format.biBitCount = 32;
    EXPECT_FALSE(capture::stampFrame(pixels.data(), format, QDateTime::currentDateTime()));
    EXPECT_EQ(capture::stampBand(format).rows, 0);
    EXPECT_EQ(capture::stampBand(format).bytes, 0u);
}

}  // namespace

#include "capture/frame_stamp.h"
#include "media/frame.h"

#include <QLocale>

#include <gtest/gtest.h>

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

TEST(FrameStamp, RefusesWhatIsNoFrame) {
    media::BITMAPINFOHEADER format = media::makeFrameHeader(64, 48);
    std::vector<std::uint8_t> pixels(format.biSizeImage, 0);
    EXPECT_FALSE(capture::stampFrame(nullptr, format, QDateTime::currentDateTime()));
    format.biBitCount = 32;
    EXPECT_FALSE(capture::stampFrame(pixels.data(), format, QDateTime::currentDateTime()));
}

}  // namespace

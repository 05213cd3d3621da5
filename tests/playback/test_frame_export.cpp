// Frame export: frames turned upright, saved in each format and read back by
// our own header parser, by Qt and by ImageMagick; printed into a PDF that
// poppler renders back to pixels.

#include "playback/colour_reduction.h"
#include "playback/frame_export.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLocale>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using kv::media::BITMAPINFOHEADER;
using kv::media::makeFrameHeader;

namespace kv::playback {
namespace {

// --- independent readers

quint32 le16(const QByteArray& b, qsizetype at) {
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8;
}
quint32 le32(const QByteArray& b, qsizetype at) {
    return le16(b, at) | le16(b, at + 2) << 16;
}

struct Bmp {
    QByteArray bytes;
    quint32 fileSize = 0, offBits = 0, headerSize = 0, compression = 0, sizeImage = 0, clrUsed = 0;
    qint32 width = 0, height = 0;
    quint32 planes = 0, bits = 0;
    QList<QRgb> table;

    qsizetype stride() const { return ((qsizetype(width) * bits + 31) & ~31) / 8; }
    // Colour index of (x, y), y counted from the top.
    int index(int x, int y) const {
        const qsizetype row = offBits + stride() * (height - 1 - y);
        const qsizetype bit = qsizetype(x) * bits;
        const int byte = uchar(bytes[row + bit / 8]);
        return (byte >> (8 - int(bits) - int(bit % 8))) & ((1 << bits) - 1);
    }
};

// Parses a BMP file's headers byte by byte; fails the test when the file is
// not a well-formed uncompressed bottom-up bitmap.
Bmp readBmp(const QString& path) {
    Bmp bmp;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot open " << qPrintable(path);
        return bmp;
    }
    bmp.bytes = file.readAll();
    const QByteArray& b = bmp.bytes;
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') {
        ADD_FAILURE() << qPrintable(path) << " is no BMP file";
        return bmp;
    }
    bmp.fileSize = le32(b, 2);
    bmp.offBits = le32(b, 10);
    bmp.headerSize = le32(b, 14);
    bmp.width = qint32(le32(b, 18));
    bmp.height = qint32(le32(b, 22));
    bmp.planes = le16(b, 26);
    bmp.bits = le16(b, 28);
    bmp.compression = le32(b, 30);
    bmp.sizeImage = le32(b, 34);
    bmp.clrUsed = le32(b, 46);
    EXPECT_EQ(bmp.fileSize, quint32(b.size()));
    EXPECT_EQ(bmp.headerSize, 40u);
    EXPECT_EQ(bmp.planes, 1u);
    EXPECT_EQ(bmp.compression, 0u);
    EXPECT_GT(bmp.height, 0) << "rows are stored bottom-up";
    if (bmp.bits <= 8) {
        const quint32 entries = bmp.clrUsed ? bmp.clrUsed : 1u << bmp.bits;
        EXPECT_EQ(bmp.offBits, 14 + 40 + 4 * entries);
        for (quint32 i = 0; i < entries && 54 + 4 * i + 3 < quint32(b.size()); ++i) {
            const qsizetype at = 54 + 4 * qsizetype(i);
            bmp.table.append(qRgb(uchar(b[at + 2]), uchar(b[at + 1]), uchar(b[at])));
        }
    }
    EXPECT_EQ(qsizetype(bmp.offBits) + bmp.stride() * bmp.height, b.size())
        << "rows padded to 4 bytes fill the file exactly";
    return bmp;
}

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        ADD_FAILURE() << qPrintable(program) << " failed (is it installed?): "
                      << process.readAllStandardError().constData();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// "width height depth colours" as ImageMagick sees the file.
std::string identify(const QString& path) {
    return run(u"identify"_s, {u"-format"_s, u"%w %h %z %k"_s, path}).toStdString();
}

double luma(QRgb c) {
    return 0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c);
}

double meanLuma(const QImage& image) {
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            sum += luma(image.pixel(x, y));
        }
    }
    return sum / (double(image.width()) * image.height());
}

// A busy picture of many colours, odd-sized so that rows need padding.
QImage colourField(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.setPixel(x, y,
                           qRgb(x * 255 / (w - 1), y * 255 / (h - 1), (x + y) * 127 / (w + h)));
        }
    }
    return image;
}

// Mean difference of the 8 x 8 block means, per channel: small when the error
// is diffused, large when a reduced palette leaves bands.
double blockError(const QImage& a, const QImage& b) {
    double total = 0;
    int blocks = 0;
    for (int by = 0; by + 8 <= a.height(); by += 8) {
        for (int bx = 0; bx + 8 <= a.width(); bx += 8) {
            double d[3] = {0, 0, 0};
            for (int y = by; y < by + 8; ++y) {
                for (int x = bx; x < bx + 8; ++x) {
                    d[0] += qRed(b.pixel(x, y)) - qRed(a.pixel(x, y));
                    d[1] += qGreen(b.pixel(x, y)) - qGreen(a.pixel(x, y));
                    d[2] += qBlue(b.pixel(x, y)) - qBlue(a.pixel(x, y));
                }
            }
            total += (std::abs(d[0]) + std::abs(d[1]) + std::abs(d[2])) / 64 / 3;
            ++blocks;
        }
    }
    return total / blocks;
}

QImage solid(int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

class FrameExportTest : public ::testing::Test {
  protected:
    QString path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

// --- the frame

TEST(ExportFrameImage, BottomUpRowsComeOutUprightWithBlueGreenRedBytes) {
    // 3 x 2: the first stored row is the bottom one; stride 12 with 3 bytes of padding.
    const BITMAPINFOHEADER header = makeFrameHeader(3, 2);
    ASSERT_EQ(header.biSizeImage, 24u);
    const char stored[24] = {
        0,         0,         char(255), 0, char(255), 0,
        char(255), 0,         0,         9, 9,         9,  // bottom: red green blue
        char(255), char(255), char(255), 0, 0,         0,
        10,        20,        30,        9, 9,         9,  // top: white black (30,20,10)
    };
    const QImage image = exportFrameImage(header, QByteArray(stored, 24));
    ASSERT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(1, 0), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(2, 0), qRgb(30, 20, 10));
    EXPECT_EQ(image.pixel(0, 1), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(1, 1), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(2, 1), qRgb(0, 0, 255));

    // A negative height: rows already top-down.
    BITMAPINFOHEADER topDown = header;
    topDown.biHeight = -2;
    const QImage same = exportFrameImage(topDown, QByteArray(stored, 24));
    EXPECT_EQ(same.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(same.pixel(0, 1), qRgb(255, 255, 255));
}

TEST(ExportFrameImage, ShortBufferKeepsTheRowsItHasAndBadHeadersGiveNothing) {
    const BITMAPINFOHEADER header = makeFrameHeader(2, 3);  // stride 8
    const QByteArray bottomRow("\xff\x00\x00\x00\xff\x00\x00\x00", 8);
    const QImage image = exportFrameImage(header, bottomRow);
    ASSERT_EQ(image.size(), QSize(2, 3));
    EXPECT_EQ(image.pixel(0, 2), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(1, 2), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_TRUE(exportFrameImage(header, {}).pixel(1, 1) == qRgb(0, 0, 0));

    BITMAPINFOHEADER thirtyTwo = header;
    thirtyTwo.biBitCount = 32;
    EXPECT_TRUE(exportFrameImage(thirtyTwo, QByteArray(64, '\0')).isNull());
    BITMAPINFOHEADER tooSmall = header;
    tooSmall.biSizeImage = 10;
    EXPECT_TRUE(exportFrameImage(tooSmall, QByteArray(64, '\0')).isNull());
}

// --- names and dialog

TEST(ExportFileName, AppendsAnExtensionOnlyWhenThereIsNone) {
    struct Row {
        const char* chosen;
        int filter;
        const char* expected;
    };
    const Row rows[] = {
        {"/tmp/frame", 1, "/tmp/frame.jpg"},
        {"/tmp/frame", 2, "/tmp/frame.bmp"},
        {"/tmp/frame", 3, "/tmp/frame.bmp"},
        {"/tmp/frame", 5, "/tmp/frame.bmp"},
        {"/tmp/frame.png", 1, "/tmp/frame.png"},
        {"/tmp/frame.jpg", 4, "/tmp/frame.jpg"},
        {"/tmp/frame.BMP", 1, "/tmp/frame.BMP"},
        {"/tmp/some.folder/frame", 1, "/tmp/some.folder/frame.jpg"},
        {"/tmp/frame.", 2, "/tmp/frame.bmp"},
        {"frame", 1, "frame.jpg"},
        {"", 1, ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(exportFileName(QString::fromUtf8(row.chosen), row.filter),
                  QString::fromUtf8(row.expected))
            << row.chosen << " with filter " << row.filter;
    }
}

TEST(ExportFileName, SuggestedNameTakesTheExtensionOfTheFilter) {
    struct Row {
        const char* name;
        int filter;
        const char* expected;
    };
    const Row rows[] = {
        {"2025-03-01 14-00-02", ExportJpeg, "2025-03-01 14-00-02.jpg"},
        {"2025-03-01 14-00-02", ExportBmp8, "2025-03-01 14-00-02.bmp"},
        {"2025-03-01 14-00-02.jpg", ExportBmp24, "2025-03-01 14-00-02.bmp"},
        {"frame.BMP", ExportJpeg, "frame.jpg"},
        {"frame.jpeg", ExportBmp1, "frame.bmp"},
        {"frame.bmp", ExportBmp4, "frame.bmp"},
        {"frame.", ExportBmp24, "frame.bmp"},
        {"frame.png", ExportJpeg, "frame.png"},    // the user's own kind stays
        {"v1.2 frame", ExportJpeg, "v1.2 frame"},  // no extension of ours
        {"frame.jpg", 0, "frame.jpg"},             // no filter chosen
        {"frame.jpg", 6, "frame.jpg"},
        {"", ExportJpeg, ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(suggestedExportName(QString::fromUtf8(row.name), row.filter),
                  QString::fromUtf8(row.expected))
            << row.name << " with filter " << row.filter;
    }
}

TEST(ExportFileName, NextDialogStartsInTheFolderOfTheSavedName) {
    EXPECT_EQ(exportFolder(u"/home/me/pictures/frame.jpg"_s), u"/home/me/pictures"_s);
    EXPECT_EQ(exportFolder(u"/home/me/frame"_s), u"/home/me"_s);
}

TEST(ExportFileName, FilterIndexCountsFromOneInTheDialogsOrder) {
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const QStringList filters = {u"JPEG File (*.jpg)"_s, u"24-Bit-Color Bitmap (*.bmp)"_s,
                                 u"256-Color-Bitmap (*.bmp)"_s, u"16-Color-Bitmap (*.bmp)"_s,
                                 u"Monochrom-Bitmap (*.bmp)"_s};
    dialog.setNameFilters(filters);
    for (int i = 0; i < filters.size(); ++i) {
        dialog.selectNameFilter(filters[i]);
        EXPECT_EQ(selectedFilterIndex(dialog), i + 1) << qPrintable(filters[i]);
    }
}

// --- each format written and read back

TEST_F(FrameExportTest, EveryFormatHasItsDepthSizeAndLayout) {
    struct Row {
        int filter;
        int bits;              // in the BMP header, 0 for JPEG
        const char* identify;  // ImageMagick's width, height and depth per channel
    };
    const Row rows[] = {
        {ExportJpeg, 0, "61 37 8"}, {ExportBmp24, 24, "61 37 8"}, {ExportBmp8, 8, "61 37 8"},
        {ExportBmp4, 4, "61 37 4"}, {ExportBmp1, 1, "61 37 1"},
    };
    const QImage frame = colourField(61, 37);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.filter);
        const QString file = path(u"frame%1.img"_s.arg(row.filter));
        QString error;
        ASSERT_TRUE(saveFrame(frame, file, row.filter, &error)) << qPrintable(error);
        const QString seen = QString::fromStdString(identify(file));
        EXPECT_TRUE(seen.startsWith(QString::fromUtf8(row.identify) + u' ')) << qPrintable(seen);
        const qsizetype colours = seen.section(u' ', 3).toLongLong();
        if (row.bits == 0) {
            QFile jpeg(file);
            ASSERT_TRUE(jpeg.open(QIODevice::ReadOnly));
            EXPECT_TRUE(jpeg.read(3) == QByteArray("\xff\xd8\xff", 3));
            continue;
        }
        const Bmp bmp = readBmp(file);
        EXPECT_EQ(bmp.width, 61);
        EXPECT_EQ(bmp.height, 37);
        EXPECT_EQ(int(bmp.bits), row.bits);
        if (row.bits <= 8) {
            EXPECT_EQ(bmp.clrUsed, 1u << row.bits);
            EXPECT_LE(colours, 1 << row.bits);
            EXPECT_GE(colours, row.bits == 1 ? 2 : 8) << "the palette is used";
        } else {
            EXPECT_GT(colours, 256);
        }
        EXPECT_EQ(QImage(file).size(), QSize(61, 37));
    }
}

TEST_F(FrameExportTest, JpegKeepsThePictureAtQuality75) {
    const QImage frame = colourField(160, 120);
    const QString file = path(u"frame.jpg"_s);
    ASSERT_TRUE(saveFrame(frame, file, ExportJpeg, nullptr));
    const QImage back(file);
    ASSERT_EQ(back.size(), frame.size());
    double error = 0;
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 160; ++x) {
            error += std::abs(luma(back.pixel(x, y)) - luma(frame.pixel(x, y)));
        }
    }
    EXPECT_LT(error / (160 * 120), 3.0);
    // Qt's encoder is deterministic: the bytes are those of quality 75, not 95.
    QFile exported(file);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    const QByteArray bytes = exported.readAll();
    const auto encoded = [&](int quality) {
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        EXPECT_TRUE(frame.save(&buffer, "JPG", quality));
        return out;
    };
    EXPECT_TRUE(bytes == encoded(75));
    EXPECT_FALSE(bytes == encoded(95));
}

TEST_F(FrameExportTest, SixteenPureColoursSurviveFourBitsExactly) {
    const QRgb colours[16] = {
        qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
        qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
        qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
        qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255),
    };
    QImage frame(67, 45, QImage::Format_RGB32);
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            frame.setPixel(x, y, colours[(x / 5 + y / 3 * 7) % 16]);
        }
    }
    const QString file = path(u"sixteen.bmp"_s);
    ASSERT_TRUE(saveFrame(frame, file, ExportBmp4, nullptr));
    EXPECT_EQ(identify(file), "67 45 4 16");
    const Bmp bmp = readBmp(file);
    ASSERT_EQ(bmp.bits, 4u);
    ASSERT_EQ(bmp.table.size(), 16);
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            ASSERT_EQ(bmp.table[bmp.index(x, y)], frame.pixel(x, y)) << x << "," << y;
        }
    }
    const QImage back = QImage(file).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(back, frame);
}

TEST_F(FrameExportTest, TwoHundredColoursSurviveEightBitsExactly) {
    QImage frame(80, 50, QImage::Format_RGB32);
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            const int i = (x / 4) + (y / 5) * 20;  // 200 cells
            frame.setPixel(x, y, qRgb(i, 255 - i, (i * 37) % 256));
        }
    }
    const QString file = path(u"two-hundred.bmp"_s);
    ASSERT_TRUE(saveFrame(frame, file, ExportBmp8, nullptr));
    EXPECT_EQ(identify(file), "80 50 8 200");
    EXPECT_EQ(readBmp(file).bits, 8u);
    EXPECT_EQ(QImage(file).convertToFormat(QImage::Format_RGB32), frame);
}

TEST_F(FrameExportTest, ManyColoursReducedKeepTheirLookInEightAndFourBits) {
    const QImage frame = colourField(199, 151);  // about 30,000 colours
    struct Row {
        int filter;
        double meanError;   // per channel, in steps of 0..255
        double blockError;  // of 8 x 8 block means, per channel
    };
    for (const Row& row : {Row{ExportBmp8, 6.0, 0.6}, Row{ExportBmp4, 24.0, 5.0}}) {
        SCOPED_TRACE(row.filter);
        const QString file = path(u"many%1.bmp"_s.arg(row.filter));
        ASSERT_TRUE(saveFrame(frame, file, row.filter, nullptr));
        const QImage back = QImage(file).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(back.size(), frame.size());
        double sum[3] = {0, 0, 0};
        double absolute = 0;
        for (int y = 0; y < frame.height(); ++y) {
            for (int x = 0; x < frame.width(); ++x) {
                const QRgb a = frame.pixel(x, y);
                const QRgb b = back.pixel(x, y);
                sum[0] += qRed(b) - qRed(a);
                sum[1] += qGreen(b) - qGreen(a);
                sum[2] += qBlue(b) - qBlue(a);
                absolute += std::abs(qRed(b) - qRed(a)) + std::abs(qGreen(b) - qGreen(a)) +
                            std::abs(qBlue(b) - qBlue(a));
            }
        }
        const double pixels = double(frame.width()) * frame.height();
        EXPECT_LT(absolute / pixels / 3, row.meanError);
        EXPECT_LT(blockError(frame, back), row.blockError) << "diffused, not banded";
        for (double s : sum) {
            EXPECT_LT(std::abs(s / pixels), 2.0) << "dithering keeps each channel's mean";
        }
    }
}

TEST_F(FrameExportTest, OneBitKeepsAGradientsMeanBrightness) {
    for (const QRgb tint : {qRgb(255, 255, 255), qRgb(255, 120, 0)}) {
        QImage frame(256, 64, QImage::Format_RGB32);
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 256; ++x) {
                frame.setPixel(
                    x, y,
                    qRgb(qRed(tint) * x / 255, qGreen(tint) * x / 255, qBlue(tint) * x / 255));
            }
        }
        const QString file = path(u"mono.bmp"_s);
        ASSERT_TRUE(saveFrame(frame, file, ExportBmp1, nullptr));
        EXPECT_EQ(identify(file), "256 64 1 2");
        const Bmp bmp = readBmp(file);
        ASSERT_EQ(bmp.bits, 1u);
        ASSERT_EQ(bmp.table.size(), 2);
        const QImage back = QImage(file).convertToFormat(QImage::Format_RGB32);
        EXPECT_NEAR(meanLuma(back), meanLuma(frame), 0.05 * 255);
        // Dithered, not thresholded nor noise: dark on the left, light on the right.
        EXPECT_LT(meanLuma(back.copy(0, 0, 32, 64)), 40);
        EXPECT_GT(meanLuma(back.copy(224, 0, 32, 64)), meanLuma(frame.copy(224, 0, 32, 64)) - 40);
        EXPECT_NEAR(meanLuma(back.copy(96, 0, 64, 64)), meanLuma(frame.copy(96, 0, 64, 64)),
                    0.05 * 255);
    }
}

// --- the extension rule on disk

TEST_F(FrameExportTest, NameWithoutExtensionIsCompletedAndAnyOtherKept) {
    const QImage frame = colourField(40, 30);
    const QString bmpName = exportFileName(path(u"frame"_s), ExportBmp8);
    ASSERT_TRUE(saveFrame(frame, bmpName, ExportBmp8, nullptr));
    EXPECT_EQ(readBmp(path(u"frame.bmp"_s)).bits, 8u);

    const QString jpgName = exportFileName(path(u"frame"_s), ExportJpeg);
    ASSERT_TRUE(saveFrame(frame, jpgName, ExportJpeg, nullptr));
    EXPECT_TRUE(QFile::exists(path(u"frame.jpg"_s)));

    const QString pngName = exportFileName(path(u"frame.png"_s), ExportJpeg);
    ASSERT_EQ(pngName, path(u"frame.png"_s));
    ASSERT_TRUE(saveFrame(frame, pngName, ExportJpeg, nullptr));
    QFile png(pngName);
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    EXPECT_TRUE(png.read(3) == QByteArray("\xff\xd8\xff", 3)) << "JPEG data under a .png name";
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files).size(), 3);
}

// --- failures

TEST_F(FrameExportTest, UnwritableFolderFailsAndLeavesNoFile) {
    const QImage frame = colourField(40, 30);
    QFile plain(path(u"plain-file"_s));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString targets[] = {path(u"missing/frame.bmp"_s), path(u"plain-file/frame.bmp"_s)};
    for (const QString& target : targets) {
        for (int filter = ExportJpeg; filter <= ExportBmp1; ++filter) {
            QString error;
            EXPECT_FALSE(saveFrame(frame, target, filter, &error)) << filter;
            EXPECT_TRUE(error.contains(QDir::toNativeSeparators(target))) << qPrintable(error);
            EXPECT_FALSE(QFile::exists(target));
        }
    }
    EXPECT_FALSE(QFile::exists(path(u"missing"_s)));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{u"plain-file"_s});
}

TEST_F(FrameExportTest, UnknownFilterOrEmptyFrameWritesNothing) {
    for (const int filter : {0, 6, -1}) {
        QString error;
        EXPECT_FALSE(saveFrame(colourField(8, 8), path(u"frame.bmp"_s), filter, &error));
        EXPECT_FALSE(error.isEmpty());
    }
    QString error;
    EXPECT_FALSE(saveFrame(QImage(), path(u"frame.bmp"_s), ExportBmp24, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QDir(dir_.path()).isEmpty());
}

// --- the 4-bit writer

TEST_F(FrameExportTest, FourBitWriterPacksNibblesBottomUpWithAFullTable) {
    // 5 x 3: 3 bytes of pixels per row, padded to 4.
    QImage image(5, 3, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < 16; ++i) {
        table.append(qRgb(i * 16, 255 - i * 16, i));
    }
    image.setColorTable(table);
    const int indexes[3][5] = {{1, 2, 3, 4, 5}, {15, 0, 14, 0, 13}, {7, 7, 8, 8, 9}};
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            image.setPixel(x, y, uint(indexes[y][x]));
        }
    }
    const QString file = path(u"four.bmp"_s);
    QString error;
    ASSERT_TRUE(writeBmp4(image, file, &error)) << qPrintable(error);
    const Bmp bmp = readBmp(file);
    EXPECT_EQ(bmp.bits, 4u);
    EXPECT_EQ(bmp.clrUsed, 16u);
    EXPECT_EQ(bmp.offBits, 14u + 40u + 64u);
    EXPECT_EQ(bmp.sizeImage, 12u);
    EXPECT_EQ(bmp.table, table);
    // The bottom row comes first, its leftmost pixel in the high nibble.
    EXPECT_TRUE(bmp.bytes.mid(bmp.offBits, 12) ==
                QByteArray("\x77\x88\x90\x00\xf0\xe0\xd0\x00\x12\x34\x50\x00", 12))
        << bmp.bytes.mid(bmp.offBits, 12).toHex().constData();
    EXPECT_EQ(identify(file), "5 3 4 12");
}

TEST_F(FrameExportTest, FourBitWriterPadsShortTablesAndRefusesWhatDoesNotFit) {
    QImage three(4, 2, QImage::Format_Indexed8);
    three.setColorTable({qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)});
    three.fill(2);
    const QString file = path(u"three.bmp"_s);
    ASSERT_TRUE(writeBmp4(three, file, nullptr));
    const Bmp bmp = readBmp(file);
    ASSERT_EQ(bmp.table.size(), 16);
    EXPECT_EQ(bmp.table[2], qRgb(0, 0, 255));
    EXPECT_EQ(bmp.table[15], qRgb(0, 0, 0));
    EXPECT_EQ(bmp.index(3, 1), 2);

    QImage seventeen(4, 2, QImage::Format_Indexed8);
    seventeen.setColorCount(17);
    seventeen.fill(16);
    QString error;
    EXPECT_FALSE(writeBmp4(seventeen, path(u"seventeen.bmp"_s), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(writeBmp4(colourField(4, 2), path(u"rgb.bmp"_s), &error));
    QImage noColour(4, 2, QImage::Format_Indexed8);
    noColour.setColorTable({qRgb(1, 2, 3)});
    noColour.fill(5);  // an index past the table
    EXPECT_FALSE(writeBmp4(noColour, path(u"beyond.bmp"_s), &error));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{u"three.bmp"_s});

    // Writing again replaces the old file as a whole.
    three.fill(0);
    ASSERT_TRUE(writeBmp4(three, file, nullptr));
    EXPECT_EQ(readBmp(file).index(3, 1), 0);
}

TEST(ColourReduction, ReducedImagesRespectTheirColourLimit) {
    const QImage field = colourField(50, 40);
    for (const int limit : {256, 16, 2}) {
        const QImage reduced = reduceColours(field, limit);
        ASSERT_EQ(reduced.format(), QImage::Format_Indexed8);
        EXPECT_EQ(reduced.colorCount(), limit);
    }
    const QImage mono = ditherBlackWhite(solid(7, 3, qRgb(90, 90, 90)));
    EXPECT_EQ(mono.colorTable(), (QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}));
    EXPECT_TRUE(reduceColours(QImage(), 16).isNull());
}

// --- printing

struct PrintRow {
    int width, height;
    double margin_mm;  // the printer's own margins, which must not move the frame
};

void PrintTo(const PrintRow& row, std::ostream* out) {
    *out << row.width << "x" << row.height << " frame, printer margins " << row.margin_mm << " mm";
}

class PrintFrameTest : public ::testing::TestWithParam<PrintRow> {
  protected:
    QTemporaryDir dir_;
};

TEST_P(PrintFrameTest, FrameCovers130By100MillimetresAtTenFromTheCorner) {
    const PrintRow row = GetParam();
    const QString pdf = dir_.filePath(u"frame.pdf"_s);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(row.margin_mm, row.margin_mm, row.margin_mm, row.margin_mm),
                           QPageLayout::Millimeter);
    const QDateTime when(QDate(2024, 3, 9), QTime(14, 5));
    const QString footer = printFooter(u"/video/240309_SA01.avi"_s, 117, when);
    QString error;
    ASSERT_TRUE(printFrame(solid(row.width, row.height, qRgb(230, 0, 0)), printer, footer, &error))
        << qPrintable(error);

    EXPECT_TRUE(run(u"pdfinfo"_s, {pdf}).contains(u"Kestrelvision Frame"_s));
    run(u"pdftoppm"_s,
        {u"-r"_s, u"100"_s, u"-png"_s, u"-singlefile"_s, pdf, dir_.filePath(u"page"_s)});
    const QImage page(dir_.filePath(u"page.png"_s));
    ASSERT_FALSE(page.isNull());
    const double mmPerPixel = 25.4 / 100;
    EXPECT_NEAR(page.width() * mmPerPixel, 210, 1);
    EXPECT_NEAR(page.height() * mmPerPixel, 297, 1);

    int left = page.width(), right = -1, top = page.height(), bottom = -1;
    int darkTop = page.height(), darkBottom = -1, darkLeft = page.width();
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const QRgb c = page.pixel(x, y);
            if (qRed(c) > 180 && qGreen(c) < 60 && qBlue(c) < 60) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            } else if (luma(c) < 100) {
                darkTop = std::min(darkTop, y);
                darkBottom = std::max(darkBottom, y);
                darkLeft = std::min(darkLeft, x);
            }
        }
    }
    ASSERT_GE(right, 0) << "no frame on the page";
    EXPECT_NEAR(left * mmPerPixel, 10, 1);
    EXPECT_NEAR(top * mmPerPixel, 10, 1);
    EXPECT_NEAR((right + 1) * mmPerPixel, 140, 1);
    EXPECT_NEAR((bottom + 1) * mmPerPixel, 110, 1);

    ASSERT_GE(darkBottom, 0) << "no footer on the page";
    EXPECT_GE(darkTop * mmPerPixel, 111 - 0.3);
    EXPECT_LE((darkBottom + 1) * mmPerPixel, 113 + 0.3);
    EXPECT_GT((darkBottom - darkTop + 1) * mmPerPixel, 1.0) << "a readable 2 mm line";
    EXPECT_NEAR(darkLeft * mmPerPixel, 10, 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PrintFrameTest,
                         ::testing::Values(PrintRow{640, 480, 0}, PrintRow{320, 240, 0},
                                           PrintRow{320, 240, 20}, PrintRow{120, 400, 5}),
                         [](const ::testing::TestParamInfo<PrintRow>& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height) + "_margin" +
                                    std::to_string(int(info.param.margin_mm));
                         });

TEST(PrintFrame, UnwritableOutputAndMissingFrameAreReported) {
    QTemporaryDir dir;
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(u"missing/frame.pdf"_s));
    QString error;
    EXPECT_FALSE(printFrame(solid(32, 24, qRgb(0, 0, 255)), printer, u"x"_s, &error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    printer.setOutputFileName(dir.filePath(u"frame.pdf"_s));
    EXPECT_FALSE(printFrame(QImage(), printer, u"x"_s, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath(u"frame.pdf"_s)));
}

TEST(PrintFooter, NamesTheFileTheFrameAndTheDate) {
    const QDateTime when(QDate(2024, 3, 9), QTime(14, 5));
    const QString date = QLocale().toString(when, QLocale::ShortFormat);
    EXPECT_EQ(printFooter(u"/video/240309_SA01.avi"_s, 117, when),
              u"Kestrelvision: 240309_SA01.avi, frame 117, "_s + date);
    EXPECT_EQ(printFooter(u"/video/100%1 %2.avi"_s, 0, when),
              u"Kestrelvision: 100%1 %2.avi, frame 0, "_s + date);
}

}  // namespace
}  // namespace kv::playback

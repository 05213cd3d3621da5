#include "capture/motion_mask.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>

using kv::capture::MotionMask;

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

std::uint32_t le(const QByteArray& bytes, int at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | std::uint8_t(bytes[at + i]);
    }
    return value;
}

void putLe(QByteArray& bytes, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes.append(char(value >> (8 * i) & 0xff));
    }
}

// A 1-bit BMP of our own making: bit (x, y) from the picture's top, with the
// given two palette colours (0xRRGGBB).
QByteArray oneBitBmp(int width, int height, std::uint32_t colour0, std::uint32_t colour1,
                     const std::function<bool(int, int)>& bit) {
    const int stride = ((width + 31) / 32) * 4;
    QByteArray bytes("BM");
    putLe(bytes, 62 + stride * height, 4);
    putLe(bytes, 0, 4);
    putLe(bytes, 62, 4);
    for (std::uint32_t v : {40u, std::uint32_t(width), std::uint32_t(height)}) {
        putLe(bytes, v, 4);
    }
    putLe(bytes, 1, 2);
    putLe(bytes, 1, 2);
    for (std::uint32_t v : {0u, std::uint32_t(stride * height), 2835u, 2835u, 2u, 2u}) {
        putLe(bytes, v, 4);
    }
    putLe(bytes, colour0, 4);
    putLe(bytes, colour1, 4);
    for (int row = height - 1; row >= 0; --row) {
        QByteArray line(stride, 0);
        for (int x = 0; x < width; ++x) {
            if (bit(x, row)) {
                line[x / 8] = char(line[x / 8] | (0x80 >> (x % 8)));
            }
        }
        bytes.append(line);
    }
    return bytes;
}

// The pattern of the foreign files: black cells among white, red and a dark
// blue that is not black; rich adds 40 colours so that no 4-bit palette holds it.
QRgb patternColour(int x, int y, bool rich) {
    if ((x + 2 * y) % 7 == 0) {
        return qRgb(0, 0, 0);
    }
    if (rich) {
        const int k = (x + y) % 40;
        return qRgb(20 + 5 * k, 255 - 5 * k, 3 * k);
    }
    switch (x % 3) {
        case 0:
            return qRgb(255, 255, 255);
        case 1:
            return qRgb(255, 0, 0);
        default:
            return qRgb(0, 0, 64);
    }
}

void expectPattern(const MotionMask& mask) {
    for (int y = 0; y < MotionMask::kHeight; ++y) {
        for (int x = 0; x < MotionMask::kWidth; ++x) {
            ASSERT_EQ(mask.isActive(x, y), (x + 2 * y) % 7 != 0) << x << "," << y;
        }
    }
}

MotionMask learnedMask() {
    MotionMask mask;
    mask.learn(0, 0);
    mask.learn(79, 0);
    mask.learn(9, 30);
    mask.learn(79, 59);
    return mask;
}

class MotionMaskFiles : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

    // Makes a BMP from the pattern with ImageMagick.
    QString convertPattern(const char* name, const QStringList& options, bool rich) {
        QImage png(MotionMask::kWidth, MotionMask::kHeight, QImage::Format_RGB32);
        for (int y = 0; y < png.height(); ++y) {
            for (int x = 0; x < png.width(); ++x) {
                png.setPixel(x, y, patternColour(x, y, rich));
            }
        }
        const QString source = path("pattern.png");
        EXPECT_TRUE(png.save(source));
        const QString target = path(name);
        QProcess convert;
        convert.start(QStringLiteral("convert"), QStringList{source} + options +
                                                     QStringList{QStringLiteral("BMP3:") + target});
        EXPECT_TRUE(convert.waitForFinished(30000));
        EXPECT_EQ(convert.exitCode(), 0) << convert.readAllStandardError().toStdString();
        return target;
    }

    QTemporaryDir dir;
};

TEST(MotionMask, StartsAllActiveAndClearsToAllActive) {
    MotionMask mask;
    EXPECT_EQ(mask.activeCount(), 4800);
    mask = learnedMask();
    EXPECT_EQ(mask.activeCount(), 4796);
    EXPECT_FALSE(mask.isActive(9, 30));
    EXPECT_TRUE(mask.isActive(8, 30));
    EXPECT_TRUE(mask.isActive(10, 30));
    mask.clear();
    EXPECT_EQ(mask.activeCount(), 4800);
    mask = learnedMask();
    mask.reset();
    EXPECT_EQ(mask.activeCount(), 4800);
}

TEST(MotionMask, CellsOffTheMaskStayActive) {
    MotionMask mask;
    for (const auto& [x, y] :
         std::vector<std::pair<int, int>>{{80, 0}, {0, -1}, {-1, 5}, {3, 60}}) {
        mask.learn(x, y);
        EXPECT_TRUE(mask.isActive(x, y));
    }
    EXPECT_EQ(mask.activeCount(), 4800);
}

TEST(MotionMask, ImageIsOneBitBlackAndWhite) {
    const QImage image = learnedMask().image();
    EXPECT_EQ(image.size(), QSize(80, 60));
    EXPECT_EQ(image.depth(), 1);
    EXPECT_EQ(image.colorTable(), (QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}));
    EXPECT_EQ(image.pixelIndex(9, 30), 0);
    EXPECT_EQ(image.pixelIndex(10, 30), 1);
    EXPECT_EQ(image.pixel(79, 59), qRgb(0, 0, 0));
}

// Ignored cells are tinted and hatched, visible on a black scene as on a
// bright one; watched cells keep the picture.
TEST(MotionMask, OverlayShowsIgnoredCellsOnDarkAndBrightPictures) {
    MotionMask mask;
    mask.learn(0, 0);
    mask.learn(79, 59);
    for (int x = 30; x < 50; ++x) {
        mask.learn(x, 30);
    }
    for (const QRgb scene : {qRgb(0, 0, 0), qRgb(230, 230, 230)}) {
        SCOPED_TRACE(scene);
        QImage picture(160, 120, QImage::Format_RGB32);
        picture.fill(scene);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        mask.drawOverlay(painter, QRectF(picture.rect()));
        EXPECT_EQ(painter.compositionMode(), QPainter::CompositionMode_SourceOver);
        EXPECT_TRUE(painter.testRenderHint(QPainter::SmoothPixmapTransform));
        painter.end();
        // Every ignored cell shows a red cast against the scene.
        for (const auto& [x, y] : std::vector<std::pair<int, int>>{
                 {0, 0}, {1, 1}, {159, 119}, {158, 118}, {60, 60}, {99, 61}}) {
            const QColor c = picture.pixelColor(x, y);
            EXPECT_NE(c.rgb(), scene) << x << "," << y;
            EXPECT_GT(c.red(), c.green() + 20) << x << "," << y;
        }
        for (const auto& [x, y] :
             std::vector<std::pair<int, int>>{{2, 0}, {0, 2}, {59, 60}, {100, 61}, {157, 119}}) {
            EXPECT_EQ(picture.pixel(x, y), scene) << x << "," << y;
        }
    }
}

// Strokes of the hand-painted mask: exactly the cells under the brush, no
// gap in a fast drag, watched cells back, and undo of the last 20 strokes.
TEST(MaskPainter, PaintsUnderTheBrushAndUndoes) {
    MotionMask mask;
    kv::capture::MaskPainter painter(mask);
    EXPECT_FALSE(painter.setBrush(2));
    ASSERT_TRUE(painter.setBrush(3));
    painter.begin({10.5, 10.5}, false);
    painter.moveTo({30.9, 10.2});  // a drag faster than a cell per event
    ASSERT_TRUE(painter.end());
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 80; ++x) {
            const bool under = x >= 9 && x <= 31 && y >= 9 && y <= 11;
            ASSERT_EQ(mask.isActive(x, y), !under) << x << "," << y;
        }
    }
    const MotionMask::Bits painted = mask.bits();

    painter.setBrush(1);
    painter.begin({20.2, 10.7}, true);  // watched again, one cell
    EXPECT_TRUE(painter.end());
    EXPECT_TRUE(mask.isActive(20, 10));
    EXPECT_EQ(mask.activeCount(), 4800 - 69 + 1);
    painter.begin({0, 0}, true);  // already watched: nothing to undo
    EXPECT_FALSE(painter.end());
    EXPECT_EQ(painter.undoSteps(), 2);
    ASSERT_TRUE(painter.undo());
    EXPECT_EQ(mask.bits(), painted);
    ASSERT_TRUE(painter.undo());
    EXPECT_EQ(mask.activeCount(), 4800);
    EXPECT_FALSE(painter.undo());

    // A brush at the edge paints what lies inside; 25 strokes keep 20 steps.
    painter.setBrush(5);
    for (int i = 0; i < 25; ++i) {
        painter.begin({79.5, 59.5 - i * 2}, false);
        painter.end();
    }
    EXPECT_EQ(painter.undoSteps(), kv::capture::MaskPainter::kUndoSteps);
    EXPECT_FALSE(mask.isActive(77, 59));
    EXPECT_TRUE(mask.isActive(76, 59));
}

TEST_F(MotionMaskFiles, SavesAnEightyBySixtyOneBitBmp) {
    const MotionMask mask = learnedMask();
    QString error;
    ASSERT_TRUE(mask.save(path("Mask.bmp"), &error)) << error.toStdString();
    const QByteArray bytes = readAll(path("Mask.bmp"));
    const int stride = 12;  // 80 bits padded to 4 bytes
    ASSERT_EQ(bytes.size(), 14 + 40 + 8 + stride * 60);
    EXPECT_EQ(bytes.left(2), QByteArray("BM"));
    EXPECT_EQ(le(bytes, 2, 4), std::uint32_t(bytes.size()));
    EXPECT_EQ(le(bytes, 10, 4), 62u);                   // pixels after the two colours
    EXPECT_EQ(le(bytes, 14, 4), 40u);                   // biSize
    EXPECT_EQ(le(bytes, 18, 4), 80u);                   // biWidth
    EXPECT_EQ(le(bytes, 22, 4), 60u);                   // biHeight, bottom-up
    EXPECT_EQ(le(bytes, 26, 2), 1u);                    // biPlanes
    EXPECT_EQ(le(bytes, 28, 2), 1u);                    // biBitCount
    EXPECT_EQ(le(bytes, 30, 4), 0u);                    // BI_RGB
    EXPECT_EQ(le(bytes, 54, 4), 0x000000u);             // index 0 black
    EXPECT_EQ(le(bytes, 58, 4) & 0xffffff, 0xffffffu);  // index 1 white
    auto bitAt = [&](int x, int y) {
        const int row = 59 - y;
        return (std::uint8_t(bytes[62 + row * stride + x / 8]) >> (7 - x % 8)) & 1;
    };
    EXPECT_EQ(bitAt(0, 0), 0);
    EXPECT_EQ(bitAt(1, 0), 1);
    EXPECT_EQ(bitAt(9, 30), 0);
    EXPECT_EQ(bitAt(79, 59), 0);
    EXPECT_EQ(bitAt(78, 59), 1);

    const QImage back(path("Mask.bmp"));
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.size(), QSize(80, 60));
    EXPECT_EQ(back.depth(), 1);
    EXPECT_EQ(back.pixel(9, 30), qRgb(0, 0, 0));
    EXPECT_EQ(back.pixel(10, 30), qRgb(255, 255, 255));

    MotionMask loaded;
    ASSERT_TRUE(loaded.load(path("Mask.bmp")));
    EXPECT_EQ(loaded.image(), mask.image());
}

TEST_F(MotionMaskFiles, SaveReplacesTheFileAndReportsFailure) {
    ASSERT_TRUE(learnedMask().save(path("Mask.bmp"), nullptr));
    MotionMask mask;
    QString error;
    ASSERT_TRUE(mask.save(path("Mask.bmp"), &error));
    MotionMask loaded = learnedMask();
    loaded.load(path("Mask.bmp"));
    EXPECT_EQ(loaded.activeCount(), 4800);

    const QString missing = dir.filePath(QStringLiteral("no such folder/Mask.bmp"));
    EXPECT_FALSE(mask.save(missing, &error));
    EXPECT_TRUE(error.contains(missing)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(missing));
}

TEST_F(MotionMaskFiles, RebuildBringsTheSavedMaskBack) {
    MotionMask mask = learnedMask();
    mask.resetAndLoad(path("Mask.bmp"));  // no file yet
    EXPECT_EQ(mask.activeCount(), 4800);
    ASSERT_TRUE(learnedMask().save(path("Mask.bmp"), nullptr));
    mask.clear();
    mask.resetAndLoad(path("Mask.bmp"));
    EXPECT_EQ(mask.image(), learnedMask().image());
}

TEST_F(MotionMaskFiles, ReadsForeignBitmapsOfAnyDepth) {
    struct Variant {
        const char* name;
        QStringList options;
        bool rich;
        std::uint32_t bits;
        std::uint32_t compression;
    };
    const QString type = QStringLiteral("-type");
    const QString palette = QStringLiteral("Palette");
    const QString compress = QStringLiteral("-compress");
    const std::vector<Variant> variants = {
        {"four.bmp", {type, palette, compress, QStringLiteral("None")}, false, 4, 0},
        {"eight.bmp", {type, palette, compress, QStringLiteral("None")}, true, 8, 0},
        {"rle8.bmp", {type, palette, compress, QStringLiteral("RLE")}, true, 8, 1},
        {"true.bmp", {type, QStringLiteral("TrueColor")}, true, 24, 0},
    };
    for (const Variant& variant : variants) {
        SCOPED_TRACE(variant.name);
        const QString file = convertPattern(variant.name, variant.options, variant.rich);
        const QByteArray bytes = readAll(file);
        ASSERT_GT(bytes.size(), 54);
        ASSERT_EQ(le(bytes, 28, 2), variant.bits);
        ASSERT_EQ(le(bytes, 30, 4), variant.compression);
        MotionMask mask;
        ASSERT_TRUE(mask.load(file));
        expectPattern(mask);
    }
}

TEST_F(MotionMaskFiles, TakesColourNotPaletteIndex) {
    // Index 0 white, index 1 black: the reverse of our own files.
    const QByteArray bytes =
        oneBitBmp(80, 60, 0xffffff, 0x000000, [](int x, int y) { return (x + 2 * y) % 7 == 0; });
    ASSERT_TRUE(writeAll(path("inverse.bmp"), bytes));
    MotionMask mask;
    ASSERT_TRUE(mask.load(path("inverse.bmp")));
    expectPattern(mask);
}

TEST_F(MotionMaskFiles, ScalesOtherSizesToTheCells) {
    // 40 x 30: each pixel covers 2 x 2 cells.
    ASSERT_TRUE(writeAll(path("small.bmp"), oneBitBmp(40, 30, 0, 0xffffff, [](int x, int y) {
                             return !(x == 0 && y == 0) && !(x == 39 && y == 29) && x != 20;
                         })));
    MotionMask mask;
    ASSERT_TRUE(mask.load(path("small.bmp")));
    EXPECT_EQ(mask.activeCount(), 4800 - 4 - 4 - 2 * 60);
    EXPECT_FALSE(mask.isActive(1, 1));
    EXPECT_FALSE(mask.isActive(78, 59));
    EXPECT_FALSE(mask.isActive(41, 10));
    EXPECT_TRUE(mask.isActive(42, 10));

    // 160 x 120: each cell takes the pixel at its centre.
    ASSERT_TRUE(writeAll(path("large.bmp"), oneBitBmp(160, 120, 0, 0xffffff, [](int x, int y) {
                             return !(x == 3 && y == 5);
                         })));
    ASSERT_TRUE(mask.load(path("large.bmp")));
    EXPECT_EQ(mask.activeCount(), 4799);
    EXPECT_FALSE(mask.isActive(1, 2));
}

TEST_F(MotionMaskFiles, UnreadableFilesLeaveTheMaskAllActive) {
    const QString type = QStringLiteral("-type");
    const QByteArray bytes =
        readAll(convertPattern("good.bmp", {type, QStringLiteral("TrueColor")}, true));
    ASSERT_TRUE(writeAll(path("truncated.bmp"), bytes.left(bytes.size() / 3)));
    ASSERT_TRUE(writeAll(path("truncated-by-one.bmp"), bytes.left(bytes.size() - 1)));
    ASSERT_TRUE(writeAll(path("header-only.bmp"), bytes.left(54)));
    const QByteArray rle = readAll(convertPattern(
        "good-rle.bmp",
        {type, QStringLiteral("Palette"), QStringLiteral("-compress"), QStringLiteral("RLE")},
        true));
    ASSERT_EQ(le(rle, 30, 4), 1u);
    ASSERT_TRUE(writeAll(path("truncated-rle.bmp"), rle.left(rle.size() - 2)));
    QByteArray garbage("BM");
    for (int i = 0; i < 5000; ++i) {
        garbage.append(char((i * 7919) >> 3));
    }
    ASSERT_TRUE(writeAll(path("garbage.bmp"), garbage));
    ASSERT_TRUE(writeAll(path("text.bmp"), QByteArray("not a bitmap at all\n")));
    ASSERT_TRUE(writeAll(path("empty.bmp"), QByteArray()));

    for (const char* name : {"truncated.bmp", "truncated-by-one.bmp", "truncated-rle.bmp",
                             "header-only.bmp", "garbage.bmp", "text.bmp", "empty.bmp"}) {
        SCOPED_TRACE(name);
        MotionMask mask = learnedMask();
        mask.resetAndLoad(path(name));
        EXPECT_EQ(mask.activeCount(), 4800);
        mask = learnedMask();
        EXPECT_FALSE(mask.load(path(name)));
        EXPECT_EQ(mask.image(), learnedMask().image());  // a failed load changes nothing
    }
}

TEST_F(MotionMaskFiles, AFifoNamedLikeTheMaskIsNeitherWaitedForNorTouched) {
    const QByteArray fifo = QFile::encodeName(path("Mask.bmp"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    struct Outcome {
        bool loaded = true;
        QImage afterLoad;
        int activeAfterReset = 0;
    };
    auto loading = std::async(std::launch::async, [&] {
        Outcome outcome;
        MotionMask mask = learnedMask();
        outcome.loaded = mask.load(path("Mask.bmp"));
        outcome.afterLoad = mask.image();
        mask.resetAndLoad(path("Mask.bmp"));
        outcome.activeAfterReset = mask.activeCount();
        return outcome;
    });
    if (loading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "loading waits for a writer";
        // Each writer that comes and goes lets a blocked reader see end of file.
        while (loading.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
            const int writer = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) {
                ::close(writer);
            }
        }
    }
    const Outcome outcome = loading.get();
    EXPECT_FALSE(outcome.loaded);
    EXPECT_EQ(outcome.afterLoad, learnedMask().image());
    EXPECT_EQ(outcome.activeAfterReset, 4800);
    struct stat info {};
    ASSERT_EQ(::lstat(fifo.constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST_F(MotionMaskFiles, OnlyRegularFilesAreRead) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Mask.bmp")));
    MotionMask mask = learnedMask();
    mask.resetAndLoad(path("Mask.bmp"));
    EXPECT_EQ(mask.activeCount(), 4800);
    EXPECT_TRUE(QFileInfo(path("Mask.bmp")).isDir());

    // No link is followed: not to a device, and not even to a good mask,
    // which someone else may have planted in a shared folder.
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), path("device.bmp")));
    mask = learnedMask();
    EXPECT_FALSE(mask.load(path("device.bmp")));
    mask.resetAndLoad(path("device.bmp"));
    EXPECT_EQ(mask.activeCount(), 4800);
    ASSERT_TRUE(learnedMask().save(path("saved.bmp"), nullptr));
    ASSERT_TRUE(QFile::link(path("saved.bmp"), path("linked.bmp")));
    mask.resetAndLoad(path("linked.bmp"));
    EXPECT_EQ(mask.activeCount(), 4800);
    mask.resetAndLoad(path("saved.bmp"));
    EXPECT_EQ(mask.image(), learnedMask().image());
}

// Another user's all-black mask in the recording folder would blind the
// detection: only the user's own file is taken.
TEST_F(MotionMaskFiles, AMaskOfAnotherUserIsIgnored) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "needs root to give a file to another user (uid 65534)";
    }
    MotionMask black;
    for (int y = 0; y < MotionMask::kHeight; ++y) {
        for (int x = 0; x < MotionMask::kWidth; ++x) {
            black.learn(x, y);
        }
    }
    ASSERT_TRUE(black.save(path("Mask.bmp"), nullptr));
    ASSERT_EQ(::chown(QFile::encodeName(path("Mask.bmp")).constData(), 65534, 65534), 0);
    MotionMask mask = learnedMask();
    EXPECT_FALSE(mask.load(path("Mask.bmp")));
    mask.resetAndLoad(path("Mask.bmp"));
    EXPECT_EQ(mask.activeCount(), 4800);
    // Given back, the same file is the mask.
    ASSERT_EQ(::chown(QFile::encodeName(path("Mask.bmp")).constData(), 0, 0), 0);
    mask.resetAndLoad(path("Mask.bmp"));
    EXPECT_EQ(mask.activeCount(), 0);
}

// Saving replaces a link planted at the name instead of writing through it,
// and leaves no temporary file behind.
TEST_F(MotionMaskFiles, SavingNeverWritesThroughALink) {
    const QByteArray secret("the user's private file\n");
    ASSERT_TRUE(writeAll(path("private.txt"), secret));
    ASSERT_TRUE(QFile::link(path("private.txt"), path("Mask.bmp")));
    QString error;
    ASSERT_TRUE(learnedMask().save(path("Mask.bmp"), &error)) << error.toStdString();
    EXPECT_EQ(readAll(path("private.txt")), secret);
    EXPECT_FALSE(QFileInfo(path("Mask.bmp")).isSymLink());
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(path("Mask.bmp")).constData(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    MotionMask loaded;
    ASSERT_TRUE(loaded.load(path("Mask.bmp")));
    EXPECT_EQ(loaded.image(), learnedMask().image());

    // A dangling link: the file it names is not made either.
    ASSERT_TRUE(QFile::remove(path("Mask.bmp")));
    ASSERT_TRUE(QFile::link(path("elsewhere.bmp"), path("Mask.bmp")));
    ASSERT_TRUE(learnedMask().save(path("Mask.bmp"), &error)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(path("elsewhere.bmp")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden).size(), 2)
        << QDir(dir.path()).entryList().join(u' ').toStdString();
}

// Headers whose sizes overflow 32 or 64 bits when multiplied: each one is
// refused as cut off, without undefined arithmetic (the sanitizer build
// checks that) and without reading past the file.
TEST_F(MotionMaskFiles, CraftedHeaderSizesAreRefused) {
    struct Row {
        std::int32_t width, height;
        std::uint16_t bits;
    } const rows[] = {
        {0x7fffffff, 0x7fffffff, 0xffff},
        {0x7fffffff, -0x7fffffff - 1, 0xffff},
        {0x7fffffff, 1, 24},
        {1, 0x7fffffff, 1},
        {65536, 65536, 32},
        {80, -0x7fffffff - 1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.width << " x " << row.height << " x " << row.bits);
        QByteArray bytes(14 + 40 + 8 + 64, '\0');
        auto put = [&](int at, std::uint32_t value, int size) {
            for (int i = 0; i < size; ++i) {
                bytes[at + i] = char((value >> (8 * i)) & 0xff);
            }
        };
        bytes[0] = 'B';
        bytes[1] = 'M';
        put(2, std::uint32_t(bytes.size()), 4);
        put(10, 62, 4);
        put(14, 40, 4);
        put(18, std::uint32_t(row.width), 4);
        put(22, std::uint32_t(row.height), 4);
        put(26, 1, 2);
        put(28, row.bits, 2);
        ASSERT_TRUE(writeAll(path("crafted.bmp"), bytes));
        MotionMask mask = learnedMask();
        EXPECT_FALSE(mask.load(path("crafted.bmp")));
        EXPECT_EQ(mask.image(), learnedMask().image());
    }
}

TEST_F(MotionMaskFiles, AFileOverTheSizeBoundIsNotRead) {
    QFile big(path("Mask.bmp"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(64 * 1024 * 1024 + 1));  // sparse: costs no disk
    big.close();
    MotionMask mask = learnedMask();
    mask.resetAndLoad(path("Mask.bmp"));
    EXPECT_EQ(mask.activeCount(), 4800);
    EXPECT_EQ(QFileInfo(path("Mask.bmp")).size(), 64 * 1024 * 1024 + 1);
}

}  // namespace

// Thumbnails of recorded frames: the right frame, of the right size, from
// intra-only and inter-frame recordings, and on the requester's thread.

#include "review/frame_picture.h"

#include "../film/film_recordings.h"

#include <QCoreApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

// The code in a picture's top band (film_recordings.h writes it).
int codeOf(const QImage& picture) {
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    int code = 0;
    const int y = grey.height() / 12;
    for (int bit = 0; bit < kv::film::test::kBits; ++bit) {
        const int x = (2 * bit + 1) * grey.width() / (2 * kv::film::test::kBits);
        code = code << 1 | (qGray(grey.pixel(x, y)) > 128 ? 1 : 0);
    }
    return code;
}

class FramePicture : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

TEST_F(FramePicture, TheFrameAskedForScaledIntoTheBox) {
    const QDateTime start(QDate(2026, 12, 8), QTime(10, 0));
    kv::film::test::record(path(u"261208_TU01.avi"_s), u"MJPEG Compressor"_s, kWidth, kHeight,
                           start, 12, 300);
    kv::film::test::record(path(u"261208_TU02.avi"_s), u"MPEG-4 Compressor"_s, kWidth, kHeight,
                           start, 25, 500);
    for (const auto& [name, first] :
         {std::pair{u"261208_TU01.avi"_s, 300}, std::pair{u"261208_TU02.avi"_s, 500}}) {
        // The MPEG-4 file's frame 17 needs its key frame 10 and the frames between.
        for (const qint64 frame : {qint64(0), qint64(7), qint64(11), qint64(17)}) {
            if (first == 300 && frame > 11) {
                continue;
            }
            QString error;
            const QImage picture = kv::review::framePicture(path(name), frame, {160, 160}, &error);
            ASSERT_FALSE(picture.isNull()) << name.toStdString() << " " << error.toStdString();
            EXPECT_EQ(picture.size(), QSize(160, 120)) << name.toStdString();
            EXPECT_EQ(codeOf(picture), first + frame) << name.toStdString() << " frame " << frame;
        }
    }

    // No such frame, no such file, a link: a reason, no picture.
    QString error;
    EXPECT_TRUE(
        kv::review::framePicture(path(u"261208_TU01.avi"_s), 12, {160, 120}, &error).isNull());
    EXPECT_FALSE(error.isEmpty());
    ASSERT_EQ(::symlink(QFile::encodeName(path(u"261208_TU01.avi"_s)).constData(),
                        QFile::encodeName(path(u"link.avi"_s)).constData()),
              0);
    error.clear();
    EXPECT_TRUE(kv::review::framePicture(path(u"link.avi"_s), 0, {160, 120}, &error).isNull());
    EXPECT_FALSE(error.isEmpty());
    QFile junk(path(u"261208_TU03.avi"_s));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(5000, 'x'));
    junk.close();
    error.clear();
    EXPECT_TRUE(kv::review::framePicture(junk.fileName(), 0, {160, 120}, &error).isNull());
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(FramePicture, BackgroundPicturesArriveOnTheCallersThreadAndAreKept) {
    const QDateTime start(QDate(2026, 12, 8), QTime(10, 0));
    kv::film::test::record(path(u"261208_TU01.avi"_s), u"MJPEG Compressor"_s, kWidth, kHeight,
                           start, 6, 40);
    kv::review::FramePictures pictures;
    QSignalSpy ready(&pictures, &kv::review::FramePictures::ready);
    // Requests made while one is decoded: the last one is answered.
    pictures.request(path(u"261208_TU01.avi"_s), 1, {80, 60});
    pictures.request(path(u"261208_TU01.avi"_s), 2, {80, 60});
    pictures.request(path(u"261208_TU01.avi"_s), 5, {80, 60});
    QThread* here = QThread::currentThread();
    bool elsewhere = false;
    QObject::connect(&pictures, &kv::review::FramePictures::ready, &pictures,
                     [&] { elsewhere = elsewhere || QThread::currentThread() != here; });
    for (int i = 0; i < 200 && !std::any_of(ready.begin(), ready.end(),
                                            [](const QList<QVariant>& r) {
                                                return r.at(1).toLongLong() == 5;
                                            });
         ++i) {
        ready.wait(50);
    }
    ASSERT_FALSE(ready.isEmpty());
    const QList<QVariant> last = ready.takeLast();
    EXPECT_EQ(last.at(1).toLongLong(), 5);
    EXPECT_EQ(codeOf(last.at(2).value<QImage>()), 45);
    EXPECT_FALSE(elsewhere);
    // Asked again: answered at once from what is kept.
    ready.clear();
    ASSERT_TRUE(pictures.cached(path(u"261208_TU01.avi"_s), 5, {80, 60}).has_value());
    pictures.request(path(u"261208_TU01.avi"_s), 5, {80, 60});
    EXPECT_EQ(ready.size(), 1);
}

}  // namespace

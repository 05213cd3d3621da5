#include "film/deflicker.h"
#include "film/film_maker.h"
#include "film/film_span.h"
#include "media/frame.h"
#include "record/journal.h"
#include "record/record_graph.h"
#include "tests/film/film_recordings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using kv::film::FilmFormat;
using kv::film::FilmMaker;
using kv::film::FilmRequest;
using kv::film::FilmResult;
using kv::film::Pace;
using kv::film::test::codedFrame;
using kv::film::test::kBits;
using kv::film::test::record;

void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

QDateTime at(int h, int m, int s = 0) {
    return QDateTime(QDate(2026, 12, 8), QTime(h, m, s));
}

QByteArray run(const QString& program, const QStringList& arguments, int* exitCode = nullptr) {
    QProcess p;
    p.start(program, arguments);
    EXPECT_TRUE(p.waitForFinished(120000));
    if (exitCode) {
        *exitCode = p.exitCode();
    } else {
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }
    return p.readAllStandardOutput();
}

QJsonObject probe(const QString& film) {
    const QByteArray json =
        run(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-select_streams"_s, u"v:0"_s, u"-count_frames"_s,
                           u"-show_entries"_s,
                           u"stream=codec_name,profile,pix_fmt,width,height,nb_read_frames:"
                           "format=duration"_s,
                           u"-of"_s, u"json"_s, film});
    const QJsonObject all = QJsonDocument::fromJson(json).object();
    QJsonObject stream = all[u"streams"_s].toArray().at(0).toObject();
    stream[u"duration"_s] = all[u"format"_s].toObject()[u"duration"_s];
    return stream;
}

// Every frame of a film as grey pixels, decoded by ffmpeg.
std::vector<std::vector<std::uint8_t>> greyFrames(const QString& film, int width, int height) {
    const QByteArray raw = run(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-i"_s, film, u"-f"_s,
                                             u"rawvideo"_s, u"-pix_fmt"_s, u"gray"_s, u"-"_s});
    std::vector<std::vector<std::uint8_t>> frames;
    const qsizetype size = qsizetype(width) * height;
    for (qsizetype at = 0; at + size <= raw.size(); at += size) {
        frames.emplace_back(raw.begin() + at, raw.begin() + at + size);
    }
    return frames;
}

std::vector<int> codes(const QString& film) {
    std::vector<int> out;
    for (const auto& f : greyFrames(film, kWidth, kHeight)) {
        int code = 0;
        for (int bit = 0; bit < kBits; ++bit) {
            const int x = (2 * bit + 1) * kWidth / (2 * kBits);
            code = code << 1 | (f[std::size_t(kHeight / 12 * kWidth + x)] > 128 ? 1 : 0);
        }
        out.push_back(code);
    }
    return out;
}

// The top-level boxes of an MP4 file, in order.
QStringList topBoxes(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList boxes;
    for (qint64 pos = 0; pos + 8 <= file.size();) {
        file.seek(pos);
        const QByteArray h = file.read(8);
        qint64 size = qint64(quint8(h[0])) << 24 | qint64(quint8(h[1])) << 16 |
                      qint64(quint8(h[2])) << 8 | qint64(quint8(h[3]));
        if (size == 1) {
            const QByteArray big = file.read(8);
            size = 0;
            for (char c : big) {
                size = size << 8 | quint8(c);
            }
        }
        boxes << QString::fromLatin1(h.mid(4, 4));
        if (size < 8) {
            break;
        }
        pos += size;
    }
    return boxes;
}

// Four recordings of 8 Dec with gaps between them: two MJPEG, one MPEG-4
// (key frames every 10), one of half the size without a journal; and a
// damaged one that only looks like ours.
class FilmTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir;
        folder_ = dir_->path() + u"/rec/"_s;
        QDir().mkpath(folder_);
        record(folder_ + u"261208_TU01.avi"_s, u"MJPEG Compressor"_s, kWidth, kHeight, at(10, 0),
               60, 0);
        record(folder_ + u"261208_TU02.avi"_s, u"MJPEG Compressor"_s, kWidth, kHeight, at(10, 5),
               60, 60);
        record(folder_ + u"261208_TU03.avi"_s, u"MPEG-4 Compressor"_s, kWidth, kHeight, at(10, 10),
               40, 120);
        const QString plain = folder_ + u"261208_TU04.avi"_s;
        record(plain, u"MJPEG Compressor"_s, kWidth / 2, kHeight / 2, at(10, 20), 20, 160, false);
        // Without a journal its frames count back from its last change.
        const QDateTime end = at(10, 20, 1);
        const struct timeval times[2] = {{end.toSecsSinceEpoch(), 0}, {end.toSecsSinceEpoch(), 0}};
        ASSERT_EQ(::utimes(QFile::encodeName(plain).constData(), times), 0);
        QFile damaged(folder_ + u"261208_TU05.avi"_s);
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray("RIFF\0\0\0\0AVI LIST", 16) + QByteArray(100, 'x'));
    }
    static void TearDownTestSuite() { delete dir_; }

    FilmRequest request(int lengthSeconds, Pace pace, FilmFormat format) const {
        FilmRequest r;
        r.folder = folder_;
        r.from = at(0, 0);
        r.to = at(23, 59, 59);
        r.lengthSeconds = lengthSeconds;
        r.pace = pace;
        r.format = format;
        return r;
    }

    static QTemporaryDir* dir_;
    static QString folder_;
};
QTemporaryDir* FilmTest::dir_ = nullptr;
QString FilmTest::folder_;

TEST_F(FilmTest, GathersTheSpanInCaptureOrderAndChoosesFramesByEitherPace) {
    const kv::film::Span day = kv::film::gatherSpan(folder_, at(0, 0), at(23, 59, 59));
    ASSERT_EQ(day.frames.size(), 180u);
    EXPECT_EQ(day.recordings.size(), 4u);
    ASSERT_EQ(day.warnings.size(), 1);
    EXPECT_TRUE(day.warnings[0].contains(u"261208_TU05.avi"_s)) << day.warnings[0].toStdString();
    EXPECT_TRUE(std::is_sorted(day.frames.begin(), day.frames.end(),
                               [](auto& a, auto& b) { return a.time_ms < b.time_ms; }));
    // The one without a journal: from its last change back, a frame per 40 ms.
    EXPECT_EQ(day.frames[160].time_ms, at(10, 20, 1).toMSecsSinceEpoch() - 20 * 40);
    EXPECT_EQ(day.frames[179].time_ms, at(10, 20, 1).toMSecsSinceEpoch() - 40);

    // Part of two recordings, both ends included.
    const kv::film::Span part = kv::film::gatherSpan(folder_, at(10, 0, 30), at(10, 5, 10));
    EXPECT_EQ(part.frames.size(), 30u + 11u);
    EXPECT_EQ(part.recordings.size(), 2u);
    EXPECT_TRUE(kv::film::gatherSpan(folder_, at(11, 0), at(12, 0)).frames.empty());

    // Pure choices: 12 frames, a burst, a gap of 100 s, 4 more frames.
    const std::vector<qint64> t = {0, 1, 2, 3, 4, 5, 6, 7, 100, 101, 102, 103};
    using V = std::vector<std::size_t>;
    EXPECT_EQ(kv::film::chooseFrames(t, 0, 103, 0, Pace::Frames).size(), 12u);
    EXPECT_EQ(kv::film::chooseFrames(t, 0, 103, 50, Pace::Frames).size(), 12u);
    EXPECT_EQ(kv::film::chooseFrames(t, 0, 103, 4, Pace::Frames), (V{1, 4, 7, 10}));
    // By the clock: 4 slices of 26 ms; the middle two hold the burst's last frame.
    EXPECT_EQ(kv::film::chooseFrames(t, 0, 103, 4, Pace::Clock), (V{7, 7, 7, 8}));
    EXPECT_EQ(kv::film::chooseFrames(t, -500, 600, 2, Pace::Clock), (V{7, 8}));
}

TEST_F(FilmTest, FilmsAreMp4InCaptureOrderWithTheIndexInFront) {
    FilmMaker maker;
    qint64 lastDone = -1;
    maker.setProgress([&](qint64 done, qint64) { lastDone = done; });
    const FilmResult all = maker.make(request(0, Pace::Frames, FilmFormat::Mp4));
    ASSERT_TRUE(all.ok) << all.error.toStdString();
    EXPECT_EQ(all.path, folder_ + u"Films/2026-12-08.mp4"_s);
    EXPECT_EQ(all.frames, 180);
    EXPECT_EQ(lastDone, 180);
    EXPECT_EQ(all.recordings, 4);
    EXPECT_DOUBLE_EQ(all.duration_s, 7.2);
    const QJsonObject p = probe(all.path);
    EXPECT_EQ(p[u"codec_name"_s].toString(), u"h264"_s);
    EXPECT_EQ(p[u"profile"_s].toString(), u"High"_s);
    EXPECT_EQ(p[u"pix_fmt"_s].toString().left(7), u"yuv420p"_s.left(7));
    EXPECT_EQ(p[u"nb_read_frames"_s].toString(), u"180"_s);
    EXPECT_NEAR(p[u"duration"_s].toString().toDouble(), 7.2, 0.05);
    EXPECT_EQ(p[u"width"_s].toInt(), kWidth);
    const QStringList boxes = topBoxes(all.path);
    ASSERT_TRUE(boxes.contains(u"mdat"_s)) << boxes.join(u',').toStdString();
    EXPECT_LT(boxes.indexOf(u"moov"_s), boxes.indexOf(u"mdat"_s)) << boxes.join(u',').toStdString();
    // Every frame, each recording's in turn, the small one scaled up.
    std::vector<int> expected(180);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(codes(all.path), expected);

    // Two seconds by frames: evenly through the recorded frames, none twice.
    const FilmResult frames = maker.make(request(2, Pace::Frames, FilmFormat::Mp4));
    ASSERT_TRUE(frames.ok) << frames.error.toStdString();
    EXPECT_EQ(frames.path, folder_ + u"Films/2026-12-08 (2).mp4"_s);
    const std::vector<int> byFrames = codes(frames.path);
    ASSERT_EQ(byFrames.size(), 50u);
    EXPECT_TRUE(std::adjacent_find(byFrames.begin(), byFrames.end(), std::greater_equal<int>()) ==
                byFrames.end());
    EXPECT_EQ(byFrames.front(), 1);
    // Exactly the frames chosen, the MPEG-4 ones (decoded from their key
    // frame) and the small ones alike: every 3.6th.
    for (std::size_t i = 0; i < byFrames.size(); ++i) {
        EXPECT_EQ(byFrames[i], int((double(i) + 0.5) * 3.6)) << "film frame " << i;
    }
    EXPECT_EQ(probe(frames.path)[u"nb_read_frames"_s].toString(), u"50"_s);

    // By the clock: the gaps between recordings hold a frame, so frames repeat;
    // each recording still gets its share of its 20 minutes.
    const FilmResult clock = maker.make(request(2, Pace::Clock, FilmFormat::Mp4));
    ASSERT_TRUE(clock.ok) << clock.error.toStdString();
    const std::vector<int> byClock = codes(clock.path);
    ASSERT_EQ(byClock.size(), 50u);
    EXPECT_TRUE(std::is_sorted(byClock.begin(), byClock.end()));
    EXPECT_NE(std::adjacent_find(byClock.begin(), byClock.end()), byClock.end());
    EXPECT_EQ(byClock.front(), 12);  // nearest the middle of the first 24.6 s
    EXPECT_GE(byClock.back(), 160);  // the last recording, at the clock's end
    std::printf("clock-paced film, frame by frame:");
    for (const int code : byClock) {
        std::printf(" %d", code);
    }
    std::printf("\n");
}

TEST_F(FilmTest, AviFilmsKeepTheRecordingsCompressorAndNamesFollowTheSpan) {
    FilmMaker maker;
    FilmRequest r = request(2, Pace::Clock, FilmFormat::Avi);
    r.from = at(10, 0);
    r.to = at(10, 30);
    const FilmResult film = maker.make(r);
    ASSERT_TRUE(film.ok) << film.error.toStdString();
    EXPECT_EQ(QFileInfo(film.path).fileName(), u"2026-12-08 10-00 to 10-30.avi"_s);
    const QJsonObject p = probe(film.path);
    EXPECT_EQ(p[u"codec_name"_s].toString(), u"mjpeg"_s);
    EXPECT_EQ(p[u"nb_read_frames"_s].toString(), u"50"_s);
    const std::vector<int> order = codes(film.path);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));

    EXPECT_EQ(kv::film::filmFileName(at(22, 0), at(6, 0).addDays(1), FilmFormat::Mp4),
              u"2026-12-08 22-00 to 2026-12-09 06-00.mp4"_s);
    EXPECT_EQ(kv::film::filmFileName(at(0, 0), at(0, 0).addDays(3), FilmFormat::Mp4),
              u"2026-12-08 to 2026-12-10.mp4"_s);

    // Nothing in the span: no film and no file; the recordings stay as they were.
    r.from = at(12, 0);
    r.to = at(13, 0);
    const QStringList before = QDir(folder_).entryList(QDir::Files);
    const FilmResult none = maker.make(r);
    EXPECT_FALSE(none.ok);
    EXPECT_TRUE(none.nothingRecorded);
    EXPECT_TRUE(none.path.isEmpty());
    EXPECT_EQ(QDir(folder_).entryList(QDir::Files), before);

    // A cancel removes what was begun.
    FilmMaker cancelled;
    cancelled.setProgress([&](qint64, qint64) { cancelled.cancel(); });
    const int filmsBefore = int(QDir(folder_ + u"Films"_s).entryList(QDir::Files).size());
    cancelled.cancel();
    const FilmResult gone = cancelled.make(request(0, Pace::Frames, FilmFormat::Mp4));
    EXPECT_FALSE(gone.ok);
    EXPECT_TRUE(gone.cancelled);
    EXPECT_EQ(QDir(folder_ + u"Films"_s).entryList(QDir::Files).size(), filmsBefore);
}

TEST_F(FilmTest, AFullDiskRemovesThePartialFilmAndSaysWhy) {
    QTemporaryDir small;
    const QByteArray mountPoint = QFile::encodeName(small.path());
    if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "cannot mount a small file system: " << std::strerror(errno);
    }
    // Room for the start of a film, not for all of it.
    QFile filler(small.path() + u"/filler"_s);
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    filler.write(QByteArray(248 * 1024, 'x'));
    filler.close();
    for (const FilmFormat format : {FilmFormat::Avi, FilmFormat::Mp4}) {
        FilmRequest r = request(0, Pace::Frames, format);
        r.outputPath = small.path() + u"/film"_s;
        FilmMaker maker;
        const FilmResult film = maker.make(r);
        EXPECT_FALSE(film.ok);
        EXPECT_FALSE(film.nothingRecorded);
        EXPECT_TRUE(film.error.contains(u"No space left"_s)) << film.error.toStdString();
        EXPECT_EQ(QDir(small.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{u"filler"_s});
    }
    ::umount2(mountPoint.constData(), MNT_DETACH);
}

TEST_F(FilmTest, ADamagedFrameHoldsTheOneBeforeAndIsTold) {
    QTemporaryDir dir;
    const QString copy = dir.path() + u"/261208_TU01.avi"_s;
    ASSERT_TRUE(QFile::copy(folder_ + u"261208_TU01.avi"_s, copy));
    ASSERT_TRUE(QFile::copy(folder_ + u"261208_TU01.csv"_s, dir.path() + u"/261208_TU01.csv"_s));
    const kv::film::AviFrames avi = kv::film::readAviFrames(copy);
    ASSERT_TRUE(avi.ok);
    ASSERT_EQ(avi.frames.size(), 60u);
    {
        QFile file(copy);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.seek(qint64(avi.frames[5].offset));
        file.write(QByteArray(qsizetype(avi.frames[5].size), 'x'));
    }
    FilmRequest r = request(0, Pace::Frames, FilmFormat::Mp4);
    r.folder = dir.path() + u"/"_s;
    FilmMaker maker;
    const FilmResult film = maker.make(r);
    ASSERT_TRUE(film.ok) << film.error.toStdString();
    EXPECT_EQ(film.frames, 60);
    ASSERT_EQ(film.warnings.size(), 1);
    EXPECT_TRUE(film.warnings[0].contains(u"1 frames could not be decoded"_s))
        << film.warnings[0].toStdString();
    const std::vector<int> order = codes(film.path);
    ASSERT_EQ(order.size(), 60u);
    EXPECT_EQ(order[4], 4);
    EXPECT_EQ(order[5], 4);
    EXPECT_EQ(order[6], 6);
}

TEST(FilmSizes, AnotherShapeIsLetterboxedIntoTheFirstSize) {
    QTemporaryDir dir;
    const QString folder = dir.path() + u"/"_s;
    record(folder + u"261208_TU01.avi"_s, u"MJPEG Compressor"_s, kWidth, kHeight, at(12, 0), 5, 0);
    record(folder + u"261208_TU02.avi"_s, u"MJPEG Compressor"_s, kWidth / 2, kHeight, at(12, 1), 5,
           5);
    FilmMaker maker;
    FilmRequest r;
    r.folder = folder;
    r.from = at(12, 0);
    r.to = at(12, 2);
    r.lengthSeconds = 0;
    r.deflicker = false;
    const FilmResult film = maker.make(r);
    ASSERT_TRUE(film.ok) << film.error.toStdString();
    EXPECT_EQ(QFileInfo(film.path).fileName(), u"2026-12-08 12-00 to 12-02.mp4"_s);
    const auto frames = greyFrames(film.path, kWidth, kHeight);
    ASSERT_EQ(frames.size(), 10u);
    const auto pixel = [&](std::size_t frame, int x, int y) {
        return int(frames[frame][std::size_t(y * kWidth + x)]);
    };
    // The narrow picture sits in the middle, between black bars, uncut.
    EXPECT_NEAR(pixel(2, 10, kHeight / 2), 110, 12);
    EXPECT_LT(pixel(7, 10, kHeight / 2), 30);
    EXPECT_LT(pixel(7, kWidth - 10, kHeight / 2), 30);
    EXPECT_NEAR(pixel(7, kWidth / 2, kHeight / 2), 110, 12);
    EXPECT_NEAR(pixel(7, kWidth / 4 + 4, kHeight / 2), 110, 12);
}

TEST(FilmWhileRecording, ARecordingBeingWrittenIsFilmedUpToItsLastFrameOnTheDisk) {
    QTemporaryDir dir;
    const QString folder = dir.path() + u"/"_s;
    const QString path = folder + u"261208_TU01.avi"_s;
    kv::record::RecordGraph graph;
    kv::record::RecordGraphParams p;
    p.fileName = path;
    p.compressor = u"MJPEG Compressor"_s;
    p.width = kWidth;
    p.height = kHeight;
    ASSERT_EQ(graph.build(p), kv::record::RecordBuild::Running);
    const kv::media::BITMAPINFOHEADER header = kv::media::makeFrameHeader(kWidth, kHeight);
    for (int i = 0; i < 30; ++i) {
        const std::vector<std::uint8_t> pixels = codedFrame(header, i);
        kv::record::JournalLine line;
        line.time = at(11, 0, i);
        while (!graph.push(pixels.data(), header, 400000, &line)) {
            QThread::msleep(2);
        }
    }
    // Frames reach the file as the muxer writes them; no index is written yet.
    kv::film::AviFrames avi;
    for (int waited = 0; waited < 10000 && avi.frames.size() < 10; waited += 10) {
        QThread::msleep(10);
        avi = kv::film::readAviFrames(path);
    }
    const qint64 sizeBefore = QFileInfo(path).size();
    ASSERT_TRUE(avi.ok) << avi.error.toStdString();
    EXPECT_FALSE(avi.indexed);
    EXPECT_GE(avi.frames.size(), 1u);

    FilmMaker maker;
    FilmRequest r;
    r.folder = folder;
    r.from = at(0, 0);
    r.to = at(23, 59, 59);
    r.lengthSeconds = 0;
    const FilmResult film = maker.make(r);
    ASSERT_TRUE(film.ok) << film.error.toStdString();
    EXPECT_GE(film.frames, 1);
    EXPECT_LE(film.frames, 30);
    const std::vector<int> order = codes(film.path);
    ASSERT_EQ(qint64(order.size()), film.frames);
    for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(order[i], int(i));
    }
    // The recording went on undisturbed.
    EXPECT_GE(QFileInfo(path).size(), sizeBefore);
    graph.close();
    EXPECT_GE(kv::film::readAviFrames(path).frames.size(), 30u);
}

// Mean brightness of each frame, the bottom band left out.
std::vector<double> means(const std::vector<std::vector<std::uint8_t>>& frames, int width,
                          int height) {
    std::vector<double> out;
    for (const auto& f : frames) {
        out.push_back(kv::film::lumaMean(f.data(), width, width, height, 32));
    }
    return out;
}

double meanStep(const std::vector<double>& m) {
    double sum = 0;
    for (std::size_t i = 1; i < m.size(); ++i) {
        sum += std::abs(m[i] - m[i - 1]);
    }
    return sum / double(m.size() - 1);
}

TEST(Deflicker, FlickerVanishesWhileADarkeningStays) {
    QTemporaryDir dir;
    const QString folder = dir.path() + u"/"_s;
    // A real picture whose brightness jumps by up to 12 % from frame to
    // frame, and one that darkens by 60 % over its length.
    const auto make = [&](const QString& name, const QString& gain) {
        run(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                          u"testsrc2=size=320x240:rate=25:duration=8"_s, u"-vf"_s,
                          u"format=gray,geq=lum='lum(X\\,Y)*0.7*(%1)',format=yuvj420p"_s.arg(gain),
                          u"-c:v"_s, u"mjpeg"_s, u"-q:v"_s, u"3"_s, folder + name});
    };
    make(u"261208_TU01.avi"_s, u"1+0.12*sin(N*2.3)"_s);
    make(u"261209_WE01.avi"_s, u"1-0.6*N/199"_s);
    const auto film = [&](int day, bool deflicker) {
        FilmRequest r;
        r.folder = folder;
        r.from = QDateTime(QDate(2026, 12, 7 + day), QTime(0, 0));
        r.to = r.from.addDays(1).addMSecs(-1);
        r.lengthSeconds = 0;
        r.deflicker = deflicker;
        r.outputPath = folder + u"film.mp4"_s;
        // Without a journal the files are timed from their last change.
        const QDateTime end = r.from.addSecs(12 * 3600);
        const struct timeval times[2] = {{end.toSecsSinceEpoch(), 0}, {end.toSecsSinceEpoch(), 0}};
        ::utimes(
            QFile::encodeName(folder + (day == 1 ? u"261208_TU01.avi"_s : u"261209_WE01.avi"_s))
                .constData(),
            times);
        FilmMaker maker;
        const FilmResult result = maker.make(r);
        EXPECT_TRUE(result.ok) << result.error.toStdString();
        EXPECT_EQ(result.frames, 200);
        return means(greyFrames(result.path, 320, 240), 320, 240);
    };
    const std::vector<double> flickering = film(1, false);
    const std::vector<double> steadied = film(1, true);
    ASSERT_EQ(flickering.size(), 200u);
    ASSERT_EQ(steadied.size(), 200u);
    const double before = meanStep(flickering);
    const double after = meanStep(steadied);
    EXPECT_GT(before, 5.0);  // the clip does flicker
    EXPECT_LE(after, 0.2 * before) << before << " -> " << after;
    std::printf("frame-to-frame change of mean brightness: %.2f without deflicker, %.2f with\n",
                before, after);

    const std::vector<double> input = flickering.empty() ? std::vector<double>() : film(2, false);
    const std::vector<double> kept = film(2, true);
    ASSERT_EQ(kept.size(), input.size());
    const std::vector<double> course = kv::film::smoothCourse(input);
    EXPECT_LT(kept.back(), 0.5 * kept.front());  // still dark at the end
    double worst = 0;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        EXPECT_NEAR(kept[i], course[i], 0.05 * course[i]) << "frame " << i;
        worst = std::max(worst, std::abs(kept[i] - course[i]) / course[i]);
    }
    std::printf("darkening clip: %.1f -> %.1f, furthest from the smoothed course %.2f %%\n",
                kept.front(), kept.back(), 100 * worst);
}

}  // namespace

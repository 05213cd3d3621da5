// The playback pipeline on real recordings from several writers: frame
// counts, seeks and steps that show the frame asked for (read from the
// picture itself), playing to the end, the two load errors, and the log file.

#include "media/graph_log.h"
#include "playback/playback_graph.h"
#include "tests/playback/held_load.h"
#include "tests/playback/playback_files.h"
#include "tests/support/test_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using kv::media::BITMAPINFOHEADER;

namespace kv::playback {
namespace {

using test::Writer;

constexpr int kFrames = 30;
constexpr int kWait_ms = 10000;

// Counts the WM_GRAPHNOTIFY messages the window would receive.
class Receiver : public QObject {
  public:
    int notifications = 0;
    bool event(QEvent* e) override {
        if (e->type() == QEvent::Type(playback::WM_GRAPHNOTIFY)) {
            ++notifications;
            return true;
        }
        return QObject::event(e);
    }
};

bool waitUntil(const std::function<bool()>& done, int timeout_ms = kWait_ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout_ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

int shownFrame(const PlaybackGraph& graph) {
    BITMAPINFOHEADER header{};
    QByteArray pixels;
    if (!graph.currentFrame(header, pixels)) {
        return -2;
    }
    return test::frameNumber(header, pixels);
}

// Each test runs in its own working folder, where PLAYBACK.TXT is written.
class PlaybackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        saved_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
    }
    void TearDown() override { QDir::setCurrent(saved_); }

    QString path(const QString& name) const { return dir_.filePath(name); }

    QString make(const QString& name, Writer writer, int frames = kFrames) {
        const QString file = path(name);
        const QString error = test::writeRecording(file, writer, frames);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return file;
    }

    Receiver receiver_;
    QTemporaryDir dir_;
    QString saved_;
};

class PlaybackFormatTest : public PlaybackTest, public ::testing::WithParamInterface<Writer> {};

TEST_P(PlaybackFormatTest, CountsFramesAndShowsTheFrameAskedFor) {
    const QString file = make(u"clip.avi"_s, GetParam());
    PlaybackGraph graph(&receiver_);
    ASSERT_EQ(graph.build(file), PlaybackBuild::Loaded);
    EXPECT_TRUE(graph.loaded());
    EXPECT_EQ(graph.frameCount(), kFrames);
    EXPECT_EQ(PlaybackStatusText(file, graph.frameCount()), u"clip.avi: 30 Frames"_s);

    for (const qint64 k : {17, 5, 29, 0, 12, 13, 11}) {
        graph.seekToFrame(k);
        EXPECT_EQ(graph.position(), k);
        EXPECT_EQ(shownFrame(graph), k) << "after a seek to " << k;
        EXPECT_EQ(test::frameNumber(graph.currentImage()), k) << "picture after a seek to " << k;
        EXPECT_TRUE(graph.isStopped());
    }
}

TEST_P(PlaybackFormatTest, StepsOneFrameEachWayAndStopsAtTheEnds) {
    const QString file = make(u"clip.avi"_s, GetParam());
    PlaybackGraph graph(&receiver_);
    ASSERT_EQ(graph.build(file), PlaybackBuild::Loaded);

    graph.seekToFrame(10);
    EXPECT_EQ(graph.stepForward(), 11);
    EXPECT_EQ(shownFrame(graph), 11);
    EXPECT_EQ(graph.stepForward(), 12);
    EXPECT_EQ(shownFrame(graph), 12);
    EXPECT_EQ(graph.stepBack(), 11);
    EXPECT_EQ(shownFrame(graph), 11);
    EXPECT_EQ(graph.position(), 11);

    graph.seekToFrame(0);
    EXPECT_EQ(graph.stepBack(), 0);
    EXPECT_EQ(shownFrame(graph), 0);

    graph.seekToFrame(kFrames - 1);
    EXPECT_EQ(graph.stepForward(), kFrames - 1);
    EXPECT_EQ(shownFrame(graph), kFrames - 1);
    // Past the end is the last frame.
    graph.seekToFrame(kFrames);
    EXPECT_EQ(shownFrame(graph), kFrames - 1);
    graph.seekToFrame(-1);
    EXPECT_EQ(shownFrame(graph), 0);
}

TEST_P(PlaybackFormatTest, PlayingToTheEndNotifiesAndKeepsTheEnd) {
    const QString file = make(u"clip.avi"_s, GetParam());
    PlaybackGraph graph(&receiver_);
    ASSERT_EQ(graph.build(file), PlaybackBuild::Loaded);
    graph.seekToFrame(kFrames - 6);
    graph.play();
    EXPECT_FALSE(graph.isStopped());

    ASSERT_TRUE(waitUntil([&] { return receiver_.notifications > 0; }));
    EXPECT_TRUE(graph.handleGraphNotify());
    graph.stop();
    EXPECT_TRUE(graph.isStopped());
    EXPECT_EQ(graph.position(), kFrames);
    EXPECT_EQ(shownFrame(graph), kFrames - 1);
    // Every event was taken: later messages find none.
    EXPECT_FALSE(graph.handleGraphNotify());
}

INSTANTIATE_TEST_SUITE_P(Writers, PlaybackFormatTest,
                         ::testing::Values(Writer::GstMjpeg, Writer::GstRaw, Writer::FfmpegMpeg4,
                                           Writer::FfmpegMsmpeg4, Writer::FfmpegRaw),
                         [](const auto& info) {
                             return std::string(test::writerName(info.param));
                         });

TEST_F(PlaybackTest, StartsPlayingAndHandsFramesToTheMainThread) {
    const QString file = make(u"clip.avi"_s, Writer::GstMjpeg, 60);
    PlaybackGraph graph(&receiver_);
    int ready = 0;
    bool onMainThread = true;
    QObject::connect(&graph, &PlaybackGraph::frameReady, [&] {
        ++ready;
        onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
    });
    ASSERT_EQ(graph.build(file), PlaybackBuild::Loaded);
    EXPECT_FALSE(graph.isStopped());
    ASSERT_TRUE(waitUntil([&] { return graph.position() >= 5; }));
    EXPECT_GT(ready, 0);
    EXPECT_TRUE(onMainThread);
    const QImage image = graph.currentImage();
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_EQ(image.size(), QSize(test::kFrameWidth, test::kFrameHeight));
    EXPECT_GE(test::frameNumber(image), 0);

    graph.stop();
    const qint64 stoppedAt = graph.position();
    EXPECT_TRUE(graph.isStopped());
    QThread::msleep(200);
    EXPECT_LE(graph.position() - stoppedAt, 1);
    graph.play();
    EXPECT_FALSE(graph.isStopped());
    ASSERT_TRUE(waitUntil([&] { return graph.position() > stoppedAt + 2; }));
}

// The picture shares the grabber's buffer: one the window keeps must not be
// overwritten by later frames nor freed with the pipeline.
TEST_F(PlaybackTest, PicturesKeptByTheWindowKeepTheirFrames) {
    const QString file = make(u"clip.avi"_s, Writer::GstMjpeg);
    PlaybackGraph graph(&receiver_);
    ASSERT_EQ(graph.build(file), PlaybackBuild::Loaded);
    graph.stop();
    const std::vector<qint64> frames{3, 20, 7, 29, 8};
    std::vector<QImage> kept;
    for (const qint64 k : frames) {
        graph.seekToFrame(k);
        kept.push_back(graph.currentImage());
    }
    graph.seekToFrame(0);
    graph.play();
    ASSERT_TRUE(waitUntil([&] { return graph.position() >= 15; }));
    graph.close();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(test::frameNumber(kept[i]), frames[i]) << "picture kept at frame " << frames[i];
    }
}

// Played eight times faster, a second covers far more than 25 frames; steps
// after it land on exact frames again.
TEST_F(PlaybackTest, PlaysFasterAtAHigherRateAndStepsStayExact) {
    const QString file = make(u"clip.avi"_s, Writer::GstMjpeg, 300);
    PlaybackGraph graph(&receiver_);
    ASSERT_EQ(graph.build(file), PlaybackBuild::Loaded);
    graph.stop();
    graph.seekToFrame(10);
    graph.setRate(8.0);
    graph.play();
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(waitUntil([&] { return graph.position() >= 110; }));
    // 100 frames take 4 s at 25 frames/s, half a second at eight times that.
    EXPECT_LT(timer.elapsed(), 3500);
    graph.stop();
    const qint64 at = graph.position();
    EXPECT_EQ(graph.stepForward(), at + 1);
    EXPECT_EQ(shownFrame(graph), at + 1);
    EXPECT_EQ(graph.stepBack(), at);
    EXPECT_EQ(shownFrame(graph), at);
}

TEST_F(PlaybackTest, PlayAtTheEndCompletesAtOnceAndPlayAfterASeekGoesOn) {
    const QString file = make(u"clip.avi"_s, Writer::GstMjpeg);
    PlaybackGraph graph(&receiver_);
    ASSERT_EQ(graph.build(file), PlaybackBuild::Loaded);
    graph.seekToFrame(kFrames - 2);
    graph.play();
    ASSERT_TRUE(waitUntil([&] { return receiver_.notifications > 0; }));
    ASSERT_TRUE(graph.handleGraphNotify());
    graph.stop();

    graph.play();  // from the end: nothing to play
    EXPECT_TRUE(graph.handleGraphNotify());
    graph.stop();
    EXPECT_EQ(graph.position(), kFrames);

    graph.seekToFrame(kFrames - 3);
    EXPECT_EQ(shownFrame(graph), kFrames - 3);
    graph.play();
    ASSERT_TRUE(waitUntil([&] { return receiver_.notifications > 2; }));
    EXPECT_TRUE(graph.handleGraphNotify());
    EXPECT_EQ(graph.position(), kFrames);
}

TEST_F(PlaybackTest, UnfinishedRecordingPlaysAndTornFramesAreLeftOut) {
    const QString file = path(u"unfinished.avi"_s);
    const QString error = test::writeUnfinishedRecording(file, kFrames);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        ASSERT_FALSE(f.readAll().contains("idx1"));
    }
    PlaybackGraph graph(&receiver_);
    ASSERT_EQ(graph.build(file), PlaybackBuild::Loaded);
    EXPECT_EQ(graph.frameCount(), kFrames);
    graph.seekToFrame(kFrames - 1);
    EXPECT_EQ(shownFrame(graph), kFrames - 1);
    graph.seekToFrame(7);
    EXPECT_EQ(shownFrame(graph), 7);
    graph.close();

    // A crash also loses the tail of the last frame.
    ASSERT_TRUE(QFile::resize(file, QFileInfo(file).size() - 300));
    ASSERT_EQ(graph.build(file), PlaybackBuild::Loaded);
    EXPECT_EQ(graph.frameCount(), kFrames - 1);
    graph.seekToFrame(kFrames);
    EXPECT_EQ(shownFrame(graph), kFrames - 2);
    graph.seekToFrame(3);
    EXPECT_EQ(shownFrame(graph), 3);
}

// --- load errors

QByteArray readAll(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& file, const QByteArray& bytes) {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Overwrites every video chunk's data of an avimux MJPEG file.
QByteArray garbleFrames(QByteArray avi) {
    qsizetype at = avi.indexOf("movi") + 4;
    quint32 seed = 12345;
    while (at + 8 <= avi.size() && (avi.mid(at, 4) == "00db" || avi.mid(at, 4) == "00dc")) {
        const qsizetype size = qsizetype(uchar(avi[at + 4])) | qsizetype(uchar(avi[at + 5])) << 8 |
                               qsizetype(uchar(avi[at + 6])) << 16;
        for (qsizetype i = at + 8; i < at + 8 + size && i < avi.size(); ++i) {
            seed = seed * 1103515245u + 12345u;
            avi[i] = char(seed >> 16);
        }
        at += 8 + size + (size & 1);
    }
    return avi;
}

struct BadFile {
    const char* name;
    std::function<QByteArray(const QByteArray& good)> make;  // null: no file
    PlaybackBuild expected;
};

TEST_F(PlaybackTest, FilesThatCannotBeLoadedGiveTheirError) {
    const QByteArray good = readAll(make(u"good.avi"_s, Writer::GstMjpeg));
    ASSERT_FALSE(good.isEmpty());
    const qsizetype movi = good.indexOf("movi");
    ASSERT_GT(movi, 0);
    const QList<BadFile> rows = {
        {"missing.avi", nullptr, PlaybackBuild::ErrorLoading},
        {"text.avi", [](const QByteArray&) { return QByteArray("just some notes\n"); },
         PlaybackBuild::ErrorLoading},
        {"empty.avi", [](const QByteArray&) { return QByteArray(); }, PlaybackBuild::ErrorLoading},
        {"torn12.avi", [](const QByteArray& g) { return g.left(12); }, PlaybackBuild::ErrorLoading},
        {"torn100.avi", [](const QByteArray& g) { return g.left(100); },
         PlaybackBuild::ErrorLoading},
        {"torn600.avi", [](const QByteArray& g) { return g.left(600); },
         PlaybackBuild::ErrorLoading},
        {"noframe.avi", [movi](const QByteArray& g) { return g.left(movi + 200); },
         PlaybackBuild::ErrorLoading},
        {"fourcc.avi", [](const QByteArray& g) { return QByteArray(g).replace("MJPG", "QZXQ"); },
         PlaybackBuild::CodecMissing},
        {"garbage.avi", [](const QByteArray& g) { return garbleFrames(g); },
         PlaybackBuild::CodecMissing},
    };
    PlaybackGraph graph(&receiver_);
    for (const BadFile& row : rows) {
        const QString file = path(QString::fromLatin1(row.name));
        if (row.make) {
            writeAll(file, row.make(good));
        }
        EXPECT_EQ(graph.build(file), row.expected) << row.name;
        EXPECT_FALSE(graph.loaded()) << row.name;
        EXPECT_EQ(graph.frameCount(), 0) << row.name;
        BITMAPINFOHEADER header{};
        QByteArray pixels;
        EXPECT_FALSE(graph.currentFrame(header, pixels)) << row.name;
    }
    QDir().mkpath(path(u"folder.avi"_s));
    EXPECT_EQ(graph.build(path(u"folder.avi"_s)), PlaybackBuild::ErrorLoading);

    // A good file still loads after all that.
    EXPECT_EQ(graph.build(path(u"good.avi"_s)), PlaybackBuild::Loaded);
}

TEST(PlaybackTexts, AreTheWindowsTexts) {
    EXPECT_EQ(PlaybackBuildMessage(PlaybackBuild::ErrorLoading), u"Error loading video file."_s);
    EXPECT_EQ(PlaybackBuildMessage(PlaybackBuild::CodecMissing),
              u"Error loading videofile. (codec not installed ?)"_s);
    EXPECT_TRUE(PlaybackBuildMessage(PlaybackBuild::Loaded).isEmpty());
    EXPECT_TRUE(PlaybackBuildMessage(PlaybackBuild::GrabberMissing).isEmpty());

    struct Row {
        QString path;
        qint64 frames;
        QString text;
    };
    const QList<Row> rows = {
        {u"/home/u/Videos/241203_TU02.avi"_s, 1500, u"241203_TU02.avi: 1500 Frames"_s},
        {u"/HOME/U/VIDEOS/241203_TU02.AVI"_s, 7, u"241203_TU02.AVI: 7 Frames"_s},
        {u"notes.avi"_s, 0, u"notes.avi: 0 Frames"_s},
        {u"/v/long.avi"_s, 5000000000LL, u"long.avi: 5000000000 Frames"_s},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PlaybackStatusText(row.path, row.frames), row.text);
    }
}

TEST_F(PlaybackTest, EveryLoadRecreatesTheLog) {
    const QString file = make(u"clip.avi"_s, Writer::GstMjpeg);
    const QString log = path(u"PLAYBACK.TXT"_s);
    PlaybackGraph graph(&receiver_);
    ASSERT_EQ(graph.build(file), PlaybackBuild::Loaded);
    // Written in the background: closed at the first frame, then on the disk.
    ASSERT_TRUE(test::pumpUntil([&] { return graph.loaded(); }));
    ASSERT_TRUE(media::GraphLog::waitWritten(5000));
    const QByteArray first = readAll(log);
    EXPECT_TRUE(first.contains("Playback Grabber")) << first.left(400).toStdString();
    // The pipeline's state changes, in GStreamer's layout: level and
    // category in their columns, then where, which object, and the message.
    const QRegularExpression stateChange(
        u"^INFO {4}GST_STATES {11}[^:\\n]+:\\d+:\\w+:<Playback Graph> [^\\n]*NULL to READY"_s,
        QRegularExpression::MultilineOption);
    EXPECT_TRUE(stateChange.match(QString::fromUtf8(first)).hasMatch())
        << first.left(2000).toStdString();
    // And the pads as the decoder makes them.
    EXPECT_TRUE(
        QRegularExpression(u"^INFO {4}GST_ELEMENT_PADS {5}\\S+:<Playback Decoder> adding pad"_s,
                           QRegularExpression::MultilineOption)
            .match(QString::fromUtf8(first))
            .hasMatch())
        << first.toStdString();

    writeAll(log, QByteArray("left from an earlier run\n"));
    graph.close();
    writeAll(path(u"text.avi"_s), QByteArray("not a video"));
    EXPECT_EQ(graph.build(path(u"text.avi"_s)), PlaybackBuild::ErrorLoading);
    ASSERT_TRUE(media::GraphLog::waitWritten(5000));
    EXPECT_FALSE(readAll(log).contains("earlier run"));
    EXPECT_TRUE(readAll(log).contains("Playback Source Filter"));

    // Made in the background, the log still never writes through a link
    // planted at its name, and a name it cannot take costs only the log.
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(u"notes.txt"_s);
    writeAll(target, QByteArray("the user's notes\n"));
    ASSERT_TRUE(QFile::remove(log));
    ASSERT_TRUE(QFile::link(target, log));
    ASSERT_EQ(graph.build(file), PlaybackBuild::Loaded);
    graph.close();
    ASSERT_TRUE(media::GraphLog::waitWritten(5000));
    EXPECT_EQ(readAll(target), QByteArray("the user's notes\n"));
    EXPECT_FALSE(QFileInfo(log).isSymLink());
    EXPECT_TRUE(readAll(log).contains("Playback Grabber"));
    ASSERT_TRUE(QFile::remove(log));
    ASSERT_TRUE(QDir().mkdir(log));
    EXPECT_EQ(graph.build(file), PlaybackBuild::Loaded);
    graph.close();
    ASSERT_TRUE(media::GraphLog::waitWritten(5000));
    EXPECT_TRUE(QFileInfo(log).isDir());
}

TEST_F(PlaybackTest, NothingLoadedMakesTheTransportInert) {
    PlaybackGraph graph(&receiver_);
    graph.close();
    graph.close();
    graph.play();
    graph.stop();
    graph.seekToFrame(3);
    EXPECT_EQ(graph.stepForward(), 0);
    EXPECT_EQ(graph.stepBack(), 0);
    EXPECT_FALSE(graph.loaded());
    EXPECT_TRUE(graph.isStopped());
    EXPECT_EQ(graph.position(), 0);
    EXPECT_TRUE(graph.takeEvents().isEmpty());
    EXPECT_FALSE(graph.handleGraphNotify());
    EXPECT_TRUE(graph.currentImage().isNull());
    EXPECT_FALSE(graph.lastSample());
    QCoreApplication::processEvents();
    EXPECT_EQ(receiver_.notifications, 0);

    // Closing a playing file, then again.
    ASSERT_EQ(graph.build(make(u"clip.avi"_s, Writer::GstMjpeg)), PlaybackBuild::Loaded);
    graph.close();
    graph.close();
    EXPECT_FALSE(graph.loaded());
    EXPECT_TRUE(graph.currentImage().isNull());
    EXPECT_FALSE(graph.handleGraphNotify());
}

// A load that waits past the old two-second limit (a slow or busy disk) ends
// with the file shown; the event loop runs all the while. Closed while it
// waits, it ends without a result; a file that is no video still fails.
TEST_F(PlaybackTest, ALoadHeldUpPastTwoSecondsEndsWithTheFileShown) {
    const QString file = make(u"clip.avi"_s, Writer::GstMjpeg);
    PlaybackGraph graph(&receiver_);
    test::HeldLoad held;
    graph.setBuildHook([&held](GstElement* pipeline) { held.hold(pipeline); });
    std::vector<PlaybackBuild> results;
    QObject::connect(&graph, &PlaybackGraph::loadFinished,
                     [&results](PlaybackBuild result) { results.push_back(result); });

    graph.load(file);
    EXPECT_TRUE(graph.loading());
    EXPECT_FALSE(graph.loaded());
    ASSERT_TRUE(waitUntil([&] { return held.holding(); }));
    waitUntil([] { return false; }, 2500);
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(graph.loading());
    graph.play();  // the transport waits for the load
    EXPECT_TRUE(graph.isStopped());
    held.release();
    ASSERT_TRUE(waitUntil([&] { return !results.empty(); }));
    EXPECT_EQ(results, std::vector<PlaybackBuild>{PlaybackBuild::Loaded});
    EXPECT_TRUE(graph.loaded());
    EXPECT_FALSE(graph.loading());
    EXPECT_EQ(graph.frameCount(), kFrames);
    ASSERT_TRUE(waitUntil([&] { return !graph.currentImage().isNull(); }));
    EXPECT_GE(test::frameNumber(graph.currentImage()), 0);

    // Closed while held: no result, nothing loaded, and the next load works.
    graph.load(file);
    ASSERT_TRUE(waitUntil([&] { return held.holding(); }));
    graph.close();
    EXPECT_FALSE(graph.loading());
    EXPECT_FALSE(graph.loaded());
    EXPECT_TRUE(graph.currentImage().isNull());
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(results.size(), 1u);
    graph.setBuildHook({});
    EXPECT_EQ(graph.build(file), PlaybackBuild::Loaded);
    EXPECT_EQ(results.size(), 2u);

    // A failure, too, comes from the event loop, never from inside load().
    writeAll(path(u"notes.avi"_s), QByteArray("just some notes\n"));
    for (const QString& name : {u"missing.avi"_s, u"notes.avi"_s}) {
        graph.load(path(name));
        EXPECT_TRUE(graph.loading()) << name.toStdString();
        EXPECT_EQ(results.size(), 2u);
        ASSERT_TRUE(waitUntil([&] { return results.size() == 3u; }));
        EXPECT_EQ(results.back(), PlaybackBuild::ErrorLoading) << name.toStdString();
        EXPECT_FALSE(graph.loaded());
        results.pop_back();
    }
}

}  // namespace
}  // namespace kv::playback

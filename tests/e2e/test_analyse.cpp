// `kestrelvision --analyse` on a clip with two separate movements, without a
// display: it finds both spans at their frames, and nothing elsewhere, with
// either detector, and draws a valid PNG plot.

#include "tests/e2e/program_run.h"

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

struct Span {
    int first;
    int last;
};

// The runs of frames the journal on standard output marks as movement.
std::vector<Span> movementSpans(const QByteArray& journal) {
    std::vector<Span> spans;
    const QList<QByteArray> lines = journal.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(',');
        if (fields.size() != 5 || fields[4] != "movement") {
            continue;
        }
        const int frame = fields[0].toInt();
        if (!spans.empty() && spans.back().last == frame - 1) {
            spans.back().last = frame;
        } else {
            spans.push_back({frame, frame});
        }
    }
    return spans;
}

TEST(Analyse, FindsTheTwoMovementsOfAClipWithEitherDetector) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Grey, then a black square moving during 2-3 s and 5-6 s, at 10 frames/s.
    const QString clip = dir.filePath(u"two.avi"_s);
    QProcess ffmpeg;
    ffmpeg.start(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-y"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                               u"color=c=0x808080:s=320x240:r=10:d=8"_s, u"-f"_s, u"lavfi"_s,
                               u"-i"_s, u"color=c=black:s=40x40:r=10:d=8"_s, u"-filter_complex"_s,
                               u"[0][1]overlay=x='mod(t*200\\,280)':y=100:"
                               "enable='between(t,2,2.95)+between(t,5,5.95)'"_s,
                               u"-c:v"_s, u"mjpeg"_s, u"-q:v"_s, u"3"_s, clip});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000));
    ASSERT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().toStdString();

    const QProcessEnvironment env = kv::test::noDisplayEnvironment();
    for (const QString& detector : {u"classic"_s, u"robust"_s}) {
        SCOPED_TRACE(detector.toStdString());
        const QString plot = dir.filePath(detector + u".png"_s);
        QProcess run;
        run.setProcessEnvironment(env);
        run.start(kv::test::programPath(),
                  {u"--analyse"_s, clip, u"--detector"_s, detector, u"--plot"_s, plot});
        ASSERT_TRUE(run.waitForFinished(60000));
        EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
        const QByteArray journal = run.readAllStandardOutput();
        EXPECT_TRUE(journal.startsWith("frame,time,motion,trigger,fate\n"));
        EXPECT_EQ(journal.count('\n'), 81);  // the header and 80 frames
        const std::vector<Span> spans = movementSpans(journal);
        ASSERT_EQ(spans.size(), 2u) << journal.toStdString();
        // The square is there in frames 20-29 and 50-59; the pair after each
        // span sees it leave, and Robust asks for two pairs before it reports.
        EXPECT_GE(spans[0].first, 20);
        EXPECT_LE(spans[0].first, 21);
        EXPECT_GE(spans[0].last, 29);
        EXPECT_LE(spans[0].last, 30);
        EXPECT_GE(spans[1].first, 50);
        EXPECT_LE(spans[1].first, 51);
        EXPECT_GE(spans[1].last, 59);
        EXPECT_LE(spans[1].last, 60);
        const QImage image(plot);
        EXPECT_FALSE(image.isNull());
        EXPECT_EQ(image.width(), 1200);
    }

    // A wrong option is told, not guessed.
    QProcess wrong;
    wrong.setProcessEnvironment(env);
    wrong.start(kv::test::programPath(), {u"--analyse"_s, clip, u"--detector"_s, u"magic"_s});
    ASSERT_TRUE(wrong.waitForFinished(30000));
    EXPECT_EQ(wrong.exitCode(), 2);
    EXPECT_TRUE(wrong.readAllStandardError().contains("classic or robust"));
}

}  // namespace

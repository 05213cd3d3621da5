#include "tests/e2e/program_run.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <sys/time.h>

using namespace Qt::Literals::StringLiterals;

namespace {

using FilmCommand = kv::test::RecordingHomeTest;

TEST_F(FilmCommand, FilmsADayFromTheSettingsFolderAndTellsWhatIsWrong) {
    writeSettings();
    // A recording of 8 Dec, 10 s at 25 frames/s, ending at 12:00.
    const QString recording = folder_ + u"261208_TU01.avi"_s;
    QProcess ffmpeg;
    ffmpeg.start(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                               u"testsrc2=size=320x240:rate=25:duration=10"_s, u"-c:v"_s,
                               u"mjpeg"_s, u"-q:v"_s, u"3"_s, recording});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000));
    ASSERT_EQ(ffmpeg.exitCode(), 0);
    const qint64 end = QDateTime(QDate(2026, 12, 8), QTime(12, 0)).toSecsSinceEpoch();
    const struct timeval times[2] = {{end, 0}, {end, 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(recording).constData(), times), 0);
    const QProcessEnvironment env = kv::test::noDisplayEnvironment(&home_);

    const kv::test::ProgramAnswer made = kv::test::runToEnd(
        {u"--film"_s, u"2026-12-08"_s, u"--length"_s, u"2"_s, u"--pace"_s, u"clock"_s}, env);
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const QString path = QString::fromLocal8Bit(made.out).trimmed();
    EXPECT_EQ(path, folder_ + u"Films/2026-12-08.mp4"_s);
    EXPECT_TRUE(QFileInfo(path).size() > 0);
    EXPECT_TRUE(made.err.contains("50 frames")) << made.err.toStdString();

    // A span within the day, as AVI, to a file of one's own choosing.
    const QString own = home_.path() + u"/mine.avi"_s;
    const kv::test::ProgramAnswer part =
        kv::test::runToEnd({u"--film"_s, u"2026-12-08T11:59:55"_s, u"12:00"_s, u"--all"_s,
                            u"--format"_s, u"avi"_s, u"--no-deflicker"_s, u"-o"_s, own},
                           env);
    ASSERT_EQ(part.exitCode, 0) << part.err.toStdString();
    EXPECT_EQ(QString::fromLocal8Bit(part.out).trimmed(), own);
    EXPECT_TRUE(part.err.contains("125 frames")) << part.err.toStdString();

    // Nothing recorded: 1 and one line; wrong options: 2.
    const kv::test::ProgramAnswer none = kv::test::runToEnd({u"--film"_s, u"2026-12-09"_s}, env);
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.out.isEmpty());
    EXPECT_TRUE(none.err.contains("nothing was recorded")) << none.err.toStdString();
    for (const QStringList& wrong :
         {QStringList{u"--film"_s, u"2026-13-01"_s}, QStringList{u"--film"_s},
          QStringList{u"--film"_s, u"2026-12-08"_s, u"--pace"_s, u"sometimes"_s},
          QStringList{u"--film"_s, u"2026-12-08"_s, u"--length"_s, u"5"_s, u"--all"_s}}) {
        const kv::test::ProgramAnswer answer = kv::test::runToEnd(wrong, env);
        EXPECT_EQ(answer.exitCode, 2) << wrong.join(u' ').toStdString();
        EXPECT_TRUE(answer.err.contains("usage: kestrelvision --film"));
    }
    // The recording folder holds what it held, and the films.
    EXPECT_EQ(QDir(folder_).entryList(QDir::Files), QStringList{u"261208_TU01.avi"_s});
}

}  // namespace

// The recorder as a user runs it: the real program on a test camera, files that
// rotate at the frame limit, the disk quota, and a clean end on SIGTERM.

#include "app/settings_store.h"
#include "tests/e2e/program_run.h"
#include "tests/support/avi_probe.h"
#include "tests/support/avi_writer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

using namespace kv;

namespace {

class RecorderRun : public test::RecordingHomeTest {
  protected:
    RecorderRun() {
        settings_.RecInterval = 40;
        settings_.Mode = 1;
        settings_.MaxRecordSamples = 50;
    }
};

const QStringList kCamera{QStringLiteral("--camera"),
                          QStringLiteral("Ball=test:ball?width=160&height=120&framerate=60")};

TEST_F(RecorderRun, FilesRotateAtTheFrameLimitAndSigtermFinishesTheLastOne) {
    writeSettings();
    test::ProgramRun run(home_, kCamera);
    ASSERT_TRUE(run.waitForLog(QStringLiteral("started")));
    ASSERT_TRUE(waitForFiles(3, 40000))
        << files().join(u' ').toStdString() << run.log().toStdString();
    QThread::msleep(1500);  // a few frames into the last file
    ::kill(pid_t(run.pid()), SIGTERM);
    ASSERT_TRUE(run.waitForExit(15000));
    EXPECT_EQ(run.exitCode(), 0);

    const QStringList names = files();
    ASSERT_GE(names.size(), 3);
    for (int i = 0; i < names.size(); ++i) {
        const QString path = folder_ + names[i];
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(names[i].size(), 15);
        EXPECT_TRUE(names[i].endsWith(QStringLiteral("%1.avi").arg(i, 2, 10, QLatin1Char('0'))));
        EXPECT_TRUE(test::hasIdx1(path));  // every file finished, the last one by SIGTERM
        const test::AviProbe probe = test::probeAvi(path);
        if (i + 1 < names.size()) {
            ASSERT_TRUE(probe.ok);
            EXPECT_GE(probe.frames, 51);  // closed once it held more than 50
            EXPECT_EQ(probe.frameRate, QStringLiteral("25/1"));
            EXPECT_EQ(probe.width, 160);
        }
    }
}

// Ten old recordings of about 1 MB and a 3 MB quota: the oldest go until the
// rest fit, in one start. A huge file bearing a recording's name that is no
// recording, and the user's own videos, are neither counted nor deleted.
TEST_F(RecorderRun, TheQuotaDeletesOldestFirstUntilOurRecordingsFitAndNothingElse) {
    settings_.MaxDiskspace = 3;
    settings_.MaxRecordSamples = 100000;
    // Typed by hand without the trailing separator: still the folder.
    settings_.AVIPath = folder_.chopped(1);
    writeSettings();
    QStringList old;
    for (int i = 0; i < 10; ++i) {
        old << folder_ + QStringLiteral("200101_MO%1.avi").arg(i, 2, 10, QLatin1Char('0'));
        test::TestAvi avi;
        avi.path = old.last();
        avi.frames = 18;  // raw 160x120: about 1.04 MB
        ASSERT_TRUE(test::writeTestAvi(avi));
    }
    // 20 GB that are no AVI, and the user's own videos beside and in the folder.
    const QString huge = folder_ + QStringLiteral("200102_TU00.avi");
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(qint64(20) * 1000 * 1000 * 1000));
    }
    const QStringList foreign{huge, folder_ + QStringLiteral("2019 Holiday.avi"),
                              folder_ + QStringLiteral("birds.AVI"),
                              folder_.chopped(1) + QStringLiteral(" from 2019.avi")};
    for (const QString& path : foreign.mid(1)) {
        QFile video(path);
        ASSERT_TRUE(video.open(QIODevice::WriteOnly));
        video.write(QByteArray(100000, 'v'));
    }
    test::ProgramRun run(home_, kCamera);
    const QString today =
        QDate::currentDate().toString(QStringLiteral("yyMMdd")) + QStringLiteral("_");
    QElapsedTimer timer;
    timer.start();
    while (files().filter(today).isEmpty() && timer.elapsed() < 20000) {
        QThread::msleep(50);
    }
    ASSERT_FALSE(files().filter(today).isEmpty()) << run.log().toStdString();
    QThread::msleep(1500);  // frames into today's file
    ::kill(pid_t(run.pid()), SIGTERM);
    ASSERT_TRUE(run.waitForExit(15000));
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(QFile::exists(old[i]), i >= 8) << old[i].toStdString();
    }
    for (const QString& path : foreign) {
        EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
    }
    EXPECT_EQ(run.log().count(QStringLiteral("Disk quota: deleted")), 8);
    // Told once, though the quota ran at start-up and at the recording's start.
    EXPECT_EQ(run.log().count(QStringLiteral("Disk quota: left alone")), 1)
        << run.log().toStdString();
    EXPECT_EQ(files().filter(today).size(), 1) << files().join(u' ').toStdString();
    // Today's recording went into the folder, not beside it.
    EXPECT_EQ(QDir(folder_ + QStringLiteral("..")).entryList({QStringLiteral("rec2*")}),
              QStringList());
}

}  // namespace

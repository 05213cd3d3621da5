// The recorder as a user runs it: the real program on a test camera, files that
// rotate at the frame limit, the disk quota, and a clean end on SIGTERM.

#include "app/settings_store.h"
#include "tests/e2e/program_run.h"
#include "tests/support/avi_probe.h"

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

TEST_F(RecorderRun, TheQuotaDeletesTheOldestRecordingOncePerRebuildAndNothingElse) {
    settings_.MaxDiskspace = 0;
    settings_.MaxRecordSamples = 100000;  // one rebuild only
    // Typed by hand without the trailing separator: still the folder.
    settings_.AVIPath = folder_.chopped(1);
    writeSettings();
    for (const char* name : {"200101_MO00.avi", "200101_MO01.avi", "200101_MO02.avi"}) {
        QFile old(folder_ + QLatin1String(name));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(1000, 'x'));
    }
    // The user's own videos, in the folder and beside it, sorting first.
    const QStringList foreign{folder_ + QStringLiteral("2019 Holiday.avi"),
                              folder_ + QStringLiteral("birds.AVI"),
                              folder_.chopped(1) + QStringLiteral(" from 2019.avi")};
    for (const QString& path : foreign) {
        QFile video(path);
        ASSERT_TRUE(video.open(QIODevice::WriteOnly));
        video.write(QByteArray(100000, 'v'));
    }
    test::ProgramRun run(home_, kCamera);
    ASSERT_TRUE(run.waitForLog(QStringLiteral("started")));
    // Start-up deletes one, once the start-up repair has looked at every
    // recording; the first recording start, three ticks later, one more.
    ASSERT_TRUE(run.waitForLog(QStringLiteral("Disk quota: deleted")));
    EXPECT_FALSE(QFile::exists(folder_ + QStringLiteral("200101_MO00.avi")));
    EXPECT_TRUE(QFile::exists(folder_ + QStringLiteral("200101_MO01.avi")));
    const auto todays = [this] {
        QStringList names =
            files().filter(QRegularExpression(QStringLiteral("^\\d{6}_[A-Z]{2}00\\.avi$")));
        names.removeIf(
            [](const QString& name) { return name.startsWith(QStringLiteral("200101_")); });
        return names;
    };
    QElapsedTimer timer;
    timer.start();
    // The first recording start: today's file appears beside what is left.
    while (todays().isEmpty() && timer.elapsed() < 15000) {
        QThread::msleep(50);
    }
    QThread::msleep(1000);  // a few frames into it, so that it is kept
    EXPECT_FALSE(QFile::exists(folder_ + QStringLiteral("200101_MO01.avi")))
        << files().join(u' ').toStdString();
    EXPECT_TRUE(QFile::exists(folder_ + QStringLiteral("200101_MO02.avi")));
    ::kill(pid_t(run.pid()), SIGTERM);
    ASSERT_TRUE(run.waitForExit(15000));
    for (const QString& path : foreign) {
        EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
    }
    // Today's recording went into the folder, not beside it.
    EXPECT_EQ(QDir(folder_ + QStringLiteral("..")).entryList({QStringLiteral("rec2*")}),
              QStringList());
    EXPECT_EQ(todays().size(), 1) << files().join(u' ').toStdString();
}

}  // namespace

// The recorder killed while it records: SIGKILL before the first frame, in the
// middle of a file and right after a rotation. The next start leaves every
// recording finished and indexed, and a kill loses no more than the last two
// seconds compared with a run of the same length ended by SIGTERM.

#include "app/settings_store.h"
#include "record/avi_repair.h"
#include "record/journal.h"
#include "tests/e2e/program_run.h"
#include "tests/support/avi_probe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <iostream>

using namespace kv;
using record::AviState;

namespace {

const QStringList kCamera{QStringLiteral("--camera"),
                          QStringLiteral("Ball=test:ball?width=160&height=120&framerate=30")};

class CrashRun : public test::RecordingHomeTest {
  protected:
    CrashRun() {
        settings_.Mode = 1;  // record always
    }

    // Records for run_ms after the first file appears, then ends the program
    // with the signal; the frames in the folder afterwards (nothing repaired).
    void recordFor(int run_ms, int signal) {
        test::ProgramRun run(home_, kCamera);
        ASSERT_TRUE(waitForFiles(1, 20000)) << run.log().toStdString();
        QThread::msleep(run_ms);
        ::kill(pid_t(run.pid()), signal);
        ASSERT_TRUE(run.waitForExit(15000));
    }

    // Starts the program once more and ends it normally: its start-up repair
    // has then run over everything the kill left.
    void restart() {
        test::ProgramRun run(home_, kCamera);
        ASSERT_TRUE(run.waitForLog(QStringLiteral("started")));
        QThread::msleep(1500);
        ::kill(pid_t(run.pid()), SIGTERM);
        ASSERT_TRUE(run.waitForExit(15000));
        EXPECT_EQ(run.exitCode(), 0);
        log_ = run.log();
    }

    // Every recording is finished: indexed, its header counts are the frames
    // an independent reader decodes, nothing torn follows. Returns the frames
    // of the files that existed before the restart.
    int expectAllFinished(const QStringList& before) {
        int frames = 0;
        for (const QString& name : files()) {
            const QString path = folder_ + name;
            SCOPED_TRACE(path.toStdString());
            const auto check =
                record::repairAviFile(QFile::encodeName(path).toStdString(), nullptr, true);
            EXPECT_EQ(check.state, AviState::Finished) << check.reason;
            EXPECT_TRUE(test::hasIdx1(path));
            const test::AviProbe probe = test::probeAvi(path);
            EXPECT_TRUE(probe.ok);
            EXPECT_EQ(std::uint64_t(probe.frames), check.frames);
            // Its journal, cut to match by the repair, has a line per frame.
            int bad = 0;
            EXPECT_EQ(record::readJournal(record::journalPath(path), &bad).size(), check.frames);
            EXPECT_EQ(bad, 0);
            if (before.contains(name)) {
                frames += int(check.frames);
            }
        }
        return frames;
    }

    QString log_;
};

TEST_F(CrashRun, AKillLosesAtMostTheLastTwoSecondsAndTheNextStartFinishesTheFile) {
    // One frame a second: what a kill loses is counted in whole seconds.
    settings_.RecInterval = 1000;
    writeSettings();
    constexpr int kRun_ms = 6000;
    recordFor(kRun_ms, SIGTERM);
    const QStringList ended = files();
    const int endedFrames = expectAllFinished(ended);
    for (const QString& name : ended) {
        ASSERT_TRUE(QFile::remove(folder_ + name));
    }

    recordFor(kRun_ms, SIGKILL);
    const QStringList killed = files();
    ASSERT_EQ(killed.size(), 1);
    const auto unfinished = record::repairAviFile(
        QFile::encodeName(folder_ + killed.first()).toStdString(), nullptr, true);
    EXPECT_EQ(unfinished.state, AviState::Unfinished);
    restart();
    EXPECT_TRUE(log_.contains(QStringLiteral("Unfinished recording"))) << log_.toStdString();
    const int killedFrames = expectAllFinished(killed);
    std::cout << "frames: ended by SIGTERM " << endedFrames << ", by SIGKILL " << killedFrames
              << '\n';
    EXPECT_GE(killedFrames, endedFrames - 2 - 1);  // two seconds, and a second of start-up jitter
}

TEST_F(CrashRun, KillsBeforeTheFirstFrameAndRightAfterARotationLeaveNothingUnfinished) {
    // 25 frames a second, a new file after every 25.
    settings_.RecInterval = 40;
    settings_.MaxRecordSamples = 25;
    writeSettings();
    {
        // Killed the moment its first file appears: no frame may be in it yet.
        test::ProgramRun run(home_, kCamera);
        ASSERT_TRUE(waitForFiles(1, 20000)) << run.log().toStdString();
        ::kill(pid_t(run.pid()), SIGKILL);
        ASSERT_TRUE(run.waitForExit(15000));
    }
    {
        // Killed while the first file of this run is finishing and the next begins.
        const int before = int(files().size());
        test::ProgramRun run(home_, kCamera);
        ASSERT_TRUE(waitForFiles(before + 2, 30000)) << run.log().toStdString();
        ::kill(pid_t(run.pid()), SIGKILL);
        ASSERT_TRUE(run.waitForExit(15000));
    }
    const QStringList killed = files();
    restart();
    // The first kill's file, if it got no frame, is gone; every other is whole.
    EXPECT_GE(expectAllFinished(killed), 25);
}

}  // namespace

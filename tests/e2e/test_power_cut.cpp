// The recorder through a power cut: it records onto a file system that keeps
// unsynced writes apart (tests/support/powercut_fs.cpp); the power goes at a
// random moment, dropping them or writing a random part of them, and the
// recorder dies with it. Started again on what the disk kept, it leaves every
// recording finished, its journal cut to match, and has lost no more than the
// frames of the last two seconds and the one in flight, counted against what
// the page cache held at the cut.

#include "record/avi_repair.h"
#include "record/journal.h"
#include "tests/e2e/program_run.h"
#include "tests/support/avi_probe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>
#include <iostream>
#include <map>
#include <random>

using namespace kv;
using record::AviState;

namespace {

const QStringList kHeadless{QStringLiteral("--headless"), QStringLiteral("--camera"),
                            QStringLiteral("Ball=test:ball?width=160&height=120&framerate=30")};
constexpr int kInterval_ms = 100;
constexpr int kPromised = 2000 / kInterval_ms + 1;  // two seconds and the frame in flight
constexpr int kCuts = 20;

// One mount of the power-cut file system.
class PowerCutMount {
  public:
    PowerCutMount(const QString& backing, const QString& point, const QStringList& options)
        : point_(point) {
        fs_.setProcessChannelMode(QProcess::MergedChannels);
        fs_.start(QStringLiteral(KV_POWERCUT_FS_PATH), QStringList{backing, point} + options);
        QElapsedTimer timer;
        timer.start();
        while (!mounted() && fs_.state() != QProcess::NotRunning && timer.elapsed() < 10000) {
            fs_.waitForFinished(20);
        }
    }
    ~PowerCutMount() { unmount(); }

    bool mounted() const {
        struct stat inside {};
        struct stat parent {};
        return fs_.state() == QProcess::Running &&
               ::stat(QFile::encodeName(point_).constData(), &inside) == 0 &&
               ::stat(QFile::encodeName(point_ + QStringLiteral("/..")).constData(), &parent) ==
                   0 &&
               inside.st_dev != parent.st_dev;
    }
    void cut() { ::kill(pid_t(fs_.processId()), SIGUSR1); }
    // The file system's own words (the cut's summary).
    QString unmount() {
        if (fs_.state() != QProcess::NotRunning) {
            QProcess::execute(QStringLiteral("fusermount3"),
                              {QStringLiteral("-u"), QStringLiteral("-z"), point_});
            if (!fs_.waitForFinished(10000)) {
                fs_.kill();
                fs_.waitForFinished(5000);
            }
        }
        return QString::fromUtf8(fs_.readAll());
    }

  private:
    QProcess fs_;
    QString point_;
};

// Why this machine cannot run the test, or empty.
QString whyNoFuse() {
    if (QStringLiteral(KV_POWERCUT_FS_PATH).isEmpty()) {
        return QStringLiteral("the power-cut file system was not built (no libfuse3)");
    }
    if (!QFile::exists(QStringLiteral("/dev/fuse"))) {
        return QStringLiteral("/dev/fuse is missing");
    }
    if (QStandardPaths::findExecutable(QStringLiteral("fusermount3")).isEmpty()) {
        return QStringLiteral("fusermount3 is missing");
    }
    return {};
}

// The frames of a recording's bytes once repaired, finished or not.
int framesIn(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray bytes = file.readAll();
    record::MemoryStorage storage(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    return int(record::repairAvi(storage).frames);
}

class PowerCut : public test::RecordingHomeTest {
  protected:
    PowerCut() {
        settings_.Mode = 1;  // record always
        settings_.RecInterval = kInterval_ms;
        settings_.MaxRecordSamples = 25;  // a new file every 2.5 s: cuts fall near rotations too
    }

    // Mounts a fresh file system on backing, makes the recordings' folder,
    // and points the settings at it.
    std::unique_ptr<PowerCutMount> mount(const QString& backing, const QStringList& options) {
        const QString point = backing + QStringLiteral(".mnt");
        QDir().mkpath(point);
        auto mounted = std::make_unique<PowerCutMount>(backing, point, options);
        if (!mounted->mounted()) {
            return nullptr;
        }
        QDir().mkpath(point + QStringLiteral("/rec"));
        settings_.AVIPath = point + QStringLiteral("/rec/");
        writeSettings();
        return mounted;
    }
};

TEST_F(PowerCut, EveryRecordingIsRepairedAndNoMoreThanTheLastTwoSecondsAreLost) {
    if (const QString why = whyNoFuse(); !why.isEmpty()) {
        GTEST_SKIP() << "power cut not tried: " << why.toStdString();
    }
    const std::uint64_t seed = std::random_device{}();
    std::cout << "seed " << seed << '\n';
    std::mt19937_64 random(seed);
    std::map<int, int> lossCounts;  // frames lost per cut -> cuts
    int cutsWithUnsyncedFrames = 0;
    for (int cut = 0; cut < kCuts; ++cut) {
        SCOPED_TRACE("cut " + std::to_string(cut));
        const QString root = home_.path() + QStringLiteral("/cut%1").arg(cut);
        const QString backing = root + QStringLiteral("/disk");
        const QString snapshot = root + QStringLiteral("/page-cache");
        QDir().mkpath(backing);
        const bool prefix = cut % 2 == 1;
        {
            auto disk = mount(
                backing, {prefix ? QStringLiteral("--keep=prefix") : QStringLiteral("--keep=none"),
                          QStringLiteral("--seed=%1").arg(random()),
                          QStringLiteral("--snapshot=") + snapshot});
            if (!disk) {
                GTEST_SKIP() << "power cut not tried: the file system could not be mounted";
            }
            test::ProgramRun run(home_, kHeadless, {}, test::ProgramRun::Display::None);
            QElapsedTimer waited;
            waited.start();
            while (QDir(settings_.AVIPath).entryList({QStringLiteral("*.avi")}).isEmpty() &&
                   waited.elapsed() < 20000) {
                QThread::msleep(5);
            }
            ASSERT_TRUE(run.waitForLog(QStringLiteral("recording into"), 5000))
                << run.log().toStdString();
            QThread::msleep(std::uniform_int_distribution<int>(0, 5000)(random));
            disk->cut();
            ::kill(pid_t(run.pid()), SIGKILL);
            ASSERT_TRUE(run.waitForExit(15000));
            const QString said = disk->unmount();
            ASSERT_TRUE(said.contains(QStringLiteral("power cut"))) << said.toStdString();
        }
        {
            // What survived, on the same disk mounted again.
            auto disk = mount(backing, {});
            ASSERT_TRUE(disk);
            test::ProgramRun run(home_, kHeadless, {}, test::ProgramRun::Display::None);
            ASSERT_TRUE(run.waitForLog(QStringLiteral("recording into"), 20000))
                << run.log().toStdString();
            ::kill(pid_t(run.pid()), SIGTERM);
            ASSERT_TRUE(run.waitForExit(20000));
            EXPECT_EQ(run.exitCode(), 0) << run.log().toStdString();
        }
        // Every recording finished, read alike by an independent reader, its
        // journal a line per frame; the cut's loss counted against the page
        // cache's copy of each file it held.
        const QString rec = backing + QStringLiteral("/rec/");
        int lost = 0;
        for (const QString& name : QDir(rec).entryList({QStringLiteral("*.avi")}, QDir::Files)) {
            const QString path = rec + name;
            SCOPED_TRACE(path.toStdString());
            const auto check =
                record::repairAviFile(QFile::encodeName(path).toStdString(), nullptr, true);
            EXPECT_EQ(check.state, AviState::Finished) << check.reason;
            const test::AviProbe probe = test::probeAvi(path);
            EXPECT_TRUE(probe.ok);
            EXPECT_EQ(std::uint64_t(probe.frames), check.frames);
            int bad = 0;
            EXPECT_EQ(record::readJournal(record::journalPath(path), &bad).size(), check.frames);
            EXPECT_EQ(bad, 0);
            const QString cached = snapshot + QStringLiteral("/rec/") + name;
            if (QFile::exists(cached)) {
                lost += std::max(0, framesIn(cached) - int(check.frames));
            }
        }
        if (!QDir(snapshot + QStringLiteral("/rec/"))
                 .entryList({QStringLiteral("*.avi")}, QDir::Files)
                 .isEmpty()) {
            ++cutsWithUnsyncedFrames;
        }
        // A file the cut took whole.
        for (const QString& name :
             QDir(snapshot + QStringLiteral("/rec/")).entryList({QStringLiteral("*.avi")})) {
            if (!QFile::exists(rec + name)) {
                lost += framesIn(snapshot + QStringLiteral("/rec/") + name);
            }
        }
        EXPECT_LE(lost, kPromised);
        ++lossCounts[lost];
    }
    // Cuts at random moments meet unsynced frames nearly always: otherwise
    // nothing was tried.
    EXPECT_GE(cutsWithUnsyncedFrames, kCuts / 2);
    std::cout << "frames lost per cut (" << kCuts << " cuts, promise " << kPromised << "):";
    for (const auto& [lost, cuts] : lossCounts) {
        std::cout << ' ' << lost << 'x' << cuts;
    }
    std::cout << '\n';
}

}  // namespace

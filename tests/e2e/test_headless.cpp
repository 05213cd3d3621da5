// The recorder without a window, as a service runs it: no DISPLAY and no Qt
// platform at all. It records in every mode, rotates, keeps the quota,
// finishes on SIGTERM, reloads on SIGHUP, answers --status, and never runs
// twice for one instance suffix.

#include "app/settings_store.h"
#include "record/journal.h"
#include "tests/e2e/program_run.h"
#include "tests/support/avi_probe.h"
#include "tests/support/avi_writer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

using namespace kv;

namespace {

const QStringList kCamera{QStringLiteral("--camera"),
                          QStringLiteral("Ball=test:ball?width=160&height=120&framerate=30")};

class HeadlessRun : public test::RecordingHomeTest {
  protected:
    HeadlessRun() {
        settings_.RecInterval = 40;
        settings_.Mode = 1;
        settings_.MaxRecordSamples = 30;
    }

    std::unique_ptr<test::ProgramRun> startHeadless(const QStringList& more = {}) {
        return std::make_unique<test::ProgramRun>(
            home_, QStringList{QStringLiteral("--headless")} + kCamera + more,
            QProcessEnvironment(), test::ProgramRun::Display::None);
    }

    struct Answer {
        int exitCode;
        QString out;
        QString err;
    };
    // Another start of the program in the same home, without a display, to its end.
    Answer runOnce(const QStringList& arguments) {
        const test::ProgramAnswer answer =
            test::runToEnd(arguments, test::noDisplayEnvironment(&home_));
        return {answer.exitCode, QString::fromUtf8(answer.out), QString::fromUtf8(answer.err)};
    }

    static bool terminate(test::ProgramRun& run) {
        ::kill(pid_t(run.pid()), SIGTERM);
        return run.waitForExit(20000) && run.exitCode() == 0 &&
               run.exitStatus() == QProcess::NormalExit;
    }
};

TEST_F(HeadlessRun, RecordsRotatesTellsItsStateAndFinishesOnSigterm) {
    writeSettings();
    auto run = startHeadless();
    ASSERT_TRUE(waitForFiles(3, 40000)) << run->log().toStdString();
    QThread::msleep(1500);  // a few frames into the third file

    const auto status = runOnce({QStringLiteral("--status")});
    EXPECT_EQ(status.exitCode, 0) << status.err.toStdString();
    EXPECT_TRUE(status.out.contains(QStringLiteral("headless, process %1").arg(run->pid())))
        << status.out.toStdString();
    EXPECT_TRUE(status.out.contains(QStringLiteral("Mode:           On\n")));
    EXPECT_TRUE(status.out.contains(QStringLiteral("State:          Recording\n")));
    EXPECT_TRUE(status.out.contains(QRegularExpression(
        QStringLiteral("Recording:      \\d{6}_\\w\\w\\d\\d\\.avi, \\d+ frames\n"))));
    EXPECT_TRUE(status.out.contains(QStringLiteral("MB of 500 MB in ") + folder_));

    ASSERT_TRUE(terminate(*run)) << run->log().toStdString();
    const QString log = run->log();
    // A line per event, with the journal's level prefix.
    EXPECT_TRUE(log.contains(QStringLiteral("<6>recording into ") + folder_));
    EXPECT_TRUE(log.contains(
        QRegularExpression(QStringLiteral("<6>\\d{6}_\\w\\w00\\.avi: finished with \\d+ frames"))));
    EXPECT_TRUE(log.contains(QStringLiteral("<6>stopped")));
    const QStringList names = files();
    ASSERT_GE(names.size(), 3);
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString path = folder_ + name;
        EXPECT_TRUE(test::hasIdx1(path));  // finished, the last one by SIGTERM
        const test::AviProbe probe = test::probeAvi(path);
        ASSERT_TRUE(probe.ok);
        EXPECT_EQ(probe.width, 160);
        if (name != names.last()) {
            EXPECT_GE(probe.frames, 31);
        }
    }

    const auto after = runOnce({QStringLiteral("--status")});
    EXPECT_EQ(after.exitCode, 3);
    EXPECT_TRUE(after.err.contains(QStringLiteral("no recorder of the first instance runs")));
}

// A limit of 0 or less would delete every recording: it is refused, once,
// and the default applies; the oldest of real recordings over a limit go.
TEST_F(HeadlessRun, KeepsTheQuotaAndRefusesANonPositiveLimit) {
    settings_.MaxDiskspace = -1;
    settings_.MaxRecordSamples = 30;
    writeSettings();
    for (const char* name : {"200101_MO00.avi", "200101_MO01.avi"}) {
        test::TestAvi avi;
        avi.path = folder_ + QLatin1String(name);
        ASSERT_TRUE(test::writeTestAvi(avi));
    }
    auto run = startHeadless();
    ASSERT_TRUE(waitForFiles(5, 40000)) << run->log().toStdString();
    ASSERT_TRUE(terminate(*run));
    EXPECT_EQ(run->log().count(QStringLiteral("MB is refused")), 1) << run->log().toStdString();
    EXPECT_FALSE(run->hasLogged(QStringLiteral("Disk quota: deleted")));
    EXPECT_TRUE(QFile::exists(folder_ + QStringLiteral("200101_MO00.avi")));
}

// Off records nothing; a hang-up brings the settings that record on
// movement, one frame every 100 ms instead of every second.
TEST_F(HeadlessRun, EveryModeAndAHangUpAppliesNewSettings) {
    settings_.Mode = 0;
    settings_.RecInterval = 1000;
    settings_.MaxRecordSamples = 20000;
    writeSettings();
    auto run = startHeadless();
    ASSERT_TRUE(run->waitForLog(QStringLiteral("<6>recording the first instance"), 20000));
    QThread::msleep(3000);
    const auto off = runOnce({QStringLiteral("--status")});
    EXPECT_TRUE(off.out.contains(QStringLiteral("State:          Recording off")))
        << off.out.toStdString();
    EXPECT_TRUE(off.out.contains(
        QRegularExpression(QStringLiteral("Recording:      (none|\\S+\\.avi, 0 frames)\n"))))
        << off.out.toStdString();
    for (const QString& name : files()) {
        EXPECT_EQ(test::probeAvi(folder_ + name).frames, 0) << name.toStdString();
    }

    settings_.Mode = 2;
    settings_.Trigger = 0;
    settings_.RecInterval = 100;
    writeSettings();
    ::kill(pid_t(run->pid()), SIGHUP);
    ASSERT_TRUE(run->waitForLog(QStringLiteral("settings reloaded"), 10000))
        << run->log().toStdString();
    EXPECT_TRUE(run->hasLogged(QStringLiteral("RecInterval 100 ms")));
    ASSERT_TRUE(run->waitForLog(QStringLiteral("<6>movement started"), 10000));
    QThread::msleep(3000);
    ASSERT_TRUE(terminate(*run)) << run->log().toStdString();

    const QStringList names = files();
    ASSERT_FALSE(names.isEmpty());
    const auto journal = record::readJournal(record::journalPath(folder_ + names.last()));
    ASSERT_GE(journal.size(), 10u);
    const qint64 span = journal.front().time.msecsTo(journal.back().time);
    EXPECT_LT(span / qint64(journal.size() - 1), 300);  // not once a second any more
    EXPECT_EQ(journal.back().fate, record::JournalFate::Movement);
}

// One recorder per instance suffix: a second headless start of it ends at
// once; another suffix records beside it into its own folder.
TEST_F(HeadlessRun, OneRecorderPerInstanceAndAnotherBesideIt) {
    writeSettings();
    const QString otherFolder = home_.documentsDir() + QStringLiteral("/rec2/");
    QDir().mkpath(otherFolder);
    session::Settings other = settings_;
    other.AVIPath = otherFolder;
    QString error;
    ASSERT_TRUE(app::SettingsStore(QStringLiteral("2")).save(other, &error));

    auto first = startHeadless();
    ASSERT_TRUE(first->waitForLog(QStringLiteral("<6>recording into"), 20000));
    const auto twice = runOnce(QStringList{QStringLiteral("--headless")} + kCamera);
    EXPECT_EQ(twice.exitCode, 4);
    EXPECT_TRUE(twice.err.contains(QStringLiteral("runs already; this start ends")))
        << twice.err.toStdString();

    auto beside = startHeadless({QStringLiteral("/I2")});
    ASSERT_TRUE(beside->waitForLog(QStringLiteral("<6>recording into ") + otherFolder, 20000))
        << beside->log().toStdString();
    const auto status2 = runOnce({QStringLiteral("--status"), QStringLiteral("/I2")});
    EXPECT_EQ(status2.exitCode, 0);
    EXPECT_TRUE(status2.out.contains(QStringLiteral("instance 2, headless")));
    EXPECT_TRUE(status2.out.contains(otherFolder));
    QThread::msleep(1500);  // frames in both files, so that both are kept
    ASSERT_TRUE(terminate(*beside));
    ASSERT_TRUE(terminate(*first));
    EXPECT_FALSE(QDir(otherFolder).entryList({QStringLiteral("*.avi")}).isEmpty());
    EXPECT_FALSE(files().isEmpty());
}

}  // namespace

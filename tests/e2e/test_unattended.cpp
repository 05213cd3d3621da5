// The headless recorder left alone: no camera at all until one is configured,
// and a recording folder deleted under it. Each is seen and told in the log
// and in --status, and recovered without input.

#include "app/settings_store.h"
#include "tests/e2e/program_run.h"
#include "tests/support/avi_probe.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

using namespace kv;

namespace {

class Unattended : public test::RecordingHomeTest {
  protected:
    Unattended() {
        settings_.RecInterval = 100;
        settings_.Mode = 1;
        settings_.MaxRecordSamples = 20000;
    }

    std::unique_ptr<test::ProgramRun> startHeadless(const QStringList& more = {}) {
        return std::make_unique<test::ProgramRun>(
            home_, QStringList{QStringLiteral("--headless")} + more, QProcessEnvironment(),
            test::ProgramRun::Display::None);
    }

    QString status() {
        return QString::fromUtf8(
            test::runToEnd({QStringLiteral("--status")}, test::noDisplayEnvironment(&home_)).out);
    }

    static bool terminate(test::ProgramRun& run) {
        ::kill(pid_t(run.pid()), SIGTERM);
        return run.waitForExit(20000) && run.exitCode() == 0;
    }
};

// No camera: nothing claims to record and no file is made; a camera put into
// the settings and a hang-up start the recording.
TEST_F(Unattended, WithoutACameraItWaitsForOneAndSaysSo) {
    settings_.CaptureDeviceName = QStringLiteral("Door");
    writeSettings();
    auto run = startHeadless();
    ASSERT_TRUE(run->waitForLog(QStringLiteral("<4>no camera"), 20000)) << run->log().toStdString();
    QThread::msleep(2500);  // a retry or two
    const QString none = status();
    EXPECT_TRUE(none.contains(QStringLiteral("State:          No camera\n"))) << none.toStdString();
    EXPECT_TRUE(none.contains(QStringLiteral("Recording:      none\n"))) << none.toStdString();
    EXPECT_TRUE(files().isEmpty());
    EXPECT_FALSE(run->hasLogged(QStringLiteral("recording into")));
    EXPECT_FALSE(run->hasLogged(QStringLiteral("problem")));

    {
        QSettings file(app::SettingsStore().filePath(), QSettings::IniFormat);
        file.setValue(QStringLiteral("Cameras/Door"),
                      QStringLiteral("test:ball?width=160&height=120&framerate=30"));
    }
    ::kill(pid_t(run->pid()), SIGHUP);
    ASSERT_TRUE(run->waitForLog(QStringLiteral("<6>recording into"), 20000))
        << run->log().toStdString();
    QThread::msleep(1500);
    const QString recording = status();
    EXPECT_TRUE(recording.contains(QStringLiteral("State:          Recording\n")))
        << recording.toStdString();
    EXPECT_TRUE(recording.contains(QStringLiteral("Camera:         Door\n")));
    ASSERT_TRUE(terminate(*run)) << run->log().toStdString();
    ASSERT_EQ(files().size(), 1);
    EXPECT_GT(test::probeAvi(folder_ + files().front()).frames, 5);
}

// The folder is deleted while a long file grows: seen within seconds, told,
// made again, and the recording goes on in a new file there.
TEST_F(Unattended, ADeletedRecordingFolderIsMadeAgainAndRecordingGoesOn) {
    writeSettings();
    auto run = startHeadless({QStringLiteral("--camera"),
                              QStringLiteral("Ball=test:ball?width=160&height=120&framerate=30")});
    ASSERT_TRUE(run->waitForLog(QStringLiteral("<6>recording into"), 20000))
        << run->log().toStdString();
    QThread::msleep(1500);
    ASSERT_TRUE(QDir(folder_).removeRecursively());
    ASSERT_TRUE(run->waitForLog(QStringLiteral("the recording folder is gone"), 10000))
        << run->log().toStdString();
    ASSERT_TRUE(run->waitForLog(QStringLiteral("recording resumed into"), 20000))
        << run->log().toStdString();
    ASSERT_TRUE(terminate(*run)) << run->log().toStdString();
    const QStringList names = files();
    ASSERT_FALSE(names.isEmpty());
    EXPECT_GT(test::probeAvi(folder_ + names.last()).frames, 5);
}

}  // namespace

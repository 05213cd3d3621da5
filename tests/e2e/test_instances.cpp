// The program as a user starts it: single instance, instance suffixes, the end
// of the session by signal.

#include "tests/e2e/program_run.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>

using kv::test::ProgramRun;
using kv::test::TempHome;

namespace {

const QString kStarted = QStringLiteral("started");
const QString kSettingsLoaded = QStringLiteral("settings loaded");
const QString kShownByOther = QStringLiteral("another start asked for the window");

TEST(SingleInstance, SecondStartWithoutArgumentsShowsTheFirstAndEnds) {
    TempHome home;
    ProgramRun first(home, {});
    ASSERT_TRUE(first.waitForLog(kStarted)) << first.log().toStdString();
    const QString settingsFile =
        home.configDir() + QStringLiteral("/Brannowerks/Kestrelvision.conf");
    ASSERT_TRUE(QFileInfo::exists(settingsFile));
    const QDateTime before = QFileInfo(settingsFile).lastModified();

    ProgramRun second(home, {});
    ASSERT_TRUE(second.waitForExit());
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(second.hasLogged(kSettingsLoaded)) << second.log().toStdString();
    EXPECT_TRUE(first.waitForLog(kShownByOther)) << first.log().toStdString();
    EXPECT_EQ(QFileInfo(settingsFile).lastModified(), before);
    EXPECT_EQ(first.process().state(), QProcess::Running);
}

TEST(SingleInstance, OneArgumentRunsBesideTwoArgumentsDoNot) {
    TempHome home;
    ProgramRun first(home, {});
    ASSERT_TRUE(first.waitForLog(kStarted)) << first.log().toStdString();

    ProgramRun beside(home, {QStringLiteral("/I2")});
    ASSERT_TRUE(beside.waitForLog(kStarted)) << beside.log().toStdString();
    EXPECT_TRUE(
        QFileInfo::exists(home.configDir() + QStringLiteral("/Brannowerks/Kestrelvision2.conf")));

    // Two instances run now; a start with two arguments finds them and ends.
    ProgramRun third(home, {QStringLiteral("/I3"), QStringLiteral("-q")});
    ASSERT_TRUE(third.waitForExit());
    EXPECT_EQ(third.exitCode(), 0);
    EXPECT_FALSE(third.hasLogged(kSettingsLoaded));
    EXPECT_FALSE(
        QFileInfo::exists(home.configDir() + QStringLiteral("/Brannowerks/Kestrelvision3.conf")));
    // Exactly one of the running instances was asked to show itself: the last to answer.
    const int shown =
        int(first.waitForLog(kShownByOther, 3000)) + int(beside.waitForLog(kShownByOther, 500));
    EXPECT_EQ(shown, 1);
}

TEST(SingleInstance, StaleSocketOfACrashedInstanceIsIgnoredAndRemoved) {
    TempHome home;
    {
        ProgramRun crashed(home, {});
        ASSERT_TRUE(crashed.waitForLog(kStarted));
        crashed.process().kill();
        ASSERT_TRUE(crashed.waitForExit());
    }
    const QDir sockets(home.runtimeDir() + QStringLiteral("/kestrelvision"));
    ASSERT_EQ(sockets.entryList(QDir::System | QDir::Files).size(), 1);

    ProgramRun next(home, {});
    ASSERT_TRUE(next.waitForLog(kStarted)) << next.log().toStdString();
    const QStringList left = sockets.entryList(QDir::System | QDir::Files);
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left.first(), QString::number(next.pid()) + QStringLiteral(".sock"));
}

TEST(Session, SigtermRunsTheShutdownAndExitsCleanly) {
    TempHome home;
    ProgramRun run(home, {});
    ASSERT_TRUE(run.waitForLog(kStarted));
    QElapsedTimer timer;
    timer.start();
    ::kill(pid_t(run.pid()), SIGTERM);
    ASSERT_TRUE(run.waitForExit(2000));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), 0);
    EXPECT_TRUE(run.hasLogged(QStringLiteral("shutdown"))) << run.log().toStdString();
    // Its socket went with it.
    const QDir sockets(home.runtimeDir() + QStringLiteral("/kestrelvision"));
    EXPECT_TRUE(sockets.entryList(QDir::System | QDir::Files).isEmpty());
}

TEST(Session, NoSystemBusMeansNoPowerEventsAndNoErrors) {
    TempHome home;
    QProcessEnvironment env;
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + home.path() + QStringLiteral("/no-bus"));
    ProgramRun run(home, {}, env);
    ASSERT_TRUE(run.waitForLog(kStarted));
    EXPECT_TRUE(run.hasLogged(QStringLiteral("power events not available")));
    const QString log = run.log();
    EXPECT_FALSE(log.contains(QStringLiteral("rror"))) << log.toStdString();
}

}  // namespace

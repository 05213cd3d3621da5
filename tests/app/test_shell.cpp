// The application shell without a second process: command line, the
// instance-running rule, the restart delay.

#include "app/command_line.h"
#include "app/single_instance.h"
#include "session/record_policy.h"
#include "tests/support/test_env.h"

#include <QLocalSocket>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace kv;

namespace {

struct CommandLineRow {
    QStringList arguments;
    QString suffix;
    bool hidden;
    int count;
};

class CommandLineRules : public ::testing::TestWithParam<CommandLineRow> {};

TEST_P(CommandLineRules, SecondCharacterDecides) {
    const CommandLineRow& row = GetParam();
    const app::CommandLine line = app::parseCommandLine(row.arguments);
    EXPECT_EQ(line.instanceSuffix, row.suffix);
    EXPECT_EQ(line.hidden, row.hidden);
    EXPECT_EQ(line.argumentCount, row.count);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CommandLineRules,
    ::testing::Values(
        CommandLineRow{{}, {}, false, 0},
        CommandLineRow{{QStringLiteral("/I2")}, QStringLiteral("2"), false, 1},
        CommandLineRow{{QStringLiteral("-ix")}, QStringLiteral("X"), false, 1},
        CommandLineRow{{QStringLiteral("/I")}, {}, false, 1},
        CommandLineRow{
            {QStringLiteral("/I2"), QStringLiteral("/I3")}, QStringLiteral("3"), false, 2},
        CommandLineRow{{QStringLiteral("-q")}, {}, true, 1},
        CommandLineRow{{QStringLiteral("/Quiet")}, {}, true, 1},
        CommandLineRow{{QStringLiteral("xq")}, {}, true, 1},
        CommandLineRow{{QStringLiteral("/X"), QStringLiteral("q")}, {}, false, 2},
        CommandLineRow{
            {QStringLiteral("/I7"), QStringLiteral("/Q")}, QStringLiteral("7"), true, 2}));

TEST(CommandLine, CameraOptionsAreKeptAsWrittenAndNotCounted) {
    const app::CommandLine line = app::parseCommandLine(
        {QStringLiteral("--camera"), QStringLiteral("Test camera=test:ball"),
         QStringLiteral("--camera=Door=rtsp://host/Stream1"), QStringLiteral("/i2")});
    ASSERT_EQ(line.cameras.size(), 2);
    EXPECT_EQ(line.cameras[0].first, QStringLiteral("Test camera"));
    EXPECT_EQ(line.cameras[0].second, QStringLiteral("test:ball"));
    EXPECT_EQ(line.cameras[1].first, QStringLiteral("Door"));
    EXPECT_EQ(line.cameras[1].second, QStringLiteral("rtsp://host/Stream1"));
    EXPECT_EQ(line.argumentCount, 1);
    EXPECT_EQ(line.instanceSuffix, QStringLiteral("2"));
    EXPECT_TRUE(line.problems.isEmpty());
}

TEST(CommandLine, MalformedCamerasAreReportedAndUnknownOptionsKeptApart) {
    const app::CommandLine line = app::parseCommandLine(
        {QStringLiteral("--camera"), QStringLiteral("no-uri"), QStringLiteral("--verbose"),
         QStringLiteral("/I2"), QStringLiteral("-bogus"), QStringLiteral("--camera")});
    EXPECT_TRUE(line.cameras.isEmpty());
    EXPECT_EQ(line.problems.size(), 2);
    EXPECT_EQ(line.unknownOptions, QStringList{QStringLiteral("--verbose")});
    // A single dash is a classic switch, judged by its second character.
    EXPECT_EQ(line.argumentCount, 2);
    EXPECT_EQ(line.instanceSuffix, QStringLiteral("2"));
}

TEST(InstanceRunning, OnlyAForeignMessageWithZeroWParamIsAnswered) {
    EXPECT_EQ(app::answerInstanceRunning(0, 42, 7), std::optional<qint64>(42));
    EXPECT_FALSE(app::answerInstanceRunning(1, 42, 7));
    EXPECT_FALSE(app::answerInstanceRunning(0, 7, 7));
}

// Speaks the socket protocol by hand to a listening channel.
QByteArray ask(const QString& path, const QByteArray& line) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(2000)) {
        return "no connection";
    }
    socket.write(line);
    socket.flush();
    QByteArray reply;
    while (socket.state() == QLocalSocket::ConnectedState || socket.bytesAvailable()) {
        // The channel answers from the event loop of this thread.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        reply += socket.readAll();
        if (reply.endsWith('\n')) {
            break;
        }
        socket.waitForReadyRead(20);
    }
    return reply.trimmed();
}

TEST(InstanceRunning, ChannelAnswersOverItsSocketAndShowsOnRequest) {
    test::TempHome home;
    app::InstanceChannel channel;
    ASSERT_TRUE(channel.listen());
    const QString path = app::InstanceChannel::socketFolder() + QLatin1Char('/') +
                         QString::number(channel.windowId()) + QStringLiteral(".sock");
    EXPECT_EQ(ask(path, "RUNNING 0 99999\n"),
              "OTHERINSTANCE 0 " + QByteArray::number(channel.windowId()));
    EXPECT_EQ(ask(path, "RUNNING 5 99999\n"), "");
    EXPECT_EQ(ask(path, "RUNNING 0 " + QByteArray::number(channel.windowId()) + "\n"), "");
    EXPECT_EQ(ask(path, "garbage that is not a message\n"), "");
    QSignalSpy shown(&channel, &app::InstanceChannel::showNormalRequested);
    EXPECT_EQ(ask(path, "SHOWNORMAL\n"), "OK");
    EXPECT_EQ(shown.count(), 1);
}

TEST(InstanceRunning, SocketFolderIsPrivate) {
    test::TempHome home;
    const QString folder = app::InstanceChannel::socketFolder();
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_TRUE(folder.startsWith(home.runtimeDir()));
    EXPECT_EQ(QFile::permissions(folder) & (QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteGroup | QFileDevice::WriteOther),
              QFileDevice::Permissions());
}

TEST(RestartDelay, ActsOnTheThirdTickAfterCreationAndTheThirtiethAfterAPowerEvent) {
    session::RestartDelay delay;
    EXPECT_FALSE(delay.tick());
    EXPECT_FALSE(delay.tick());
    EXPECT_TRUE(delay.tick());
    EXPECT_TRUE(delay.tick());

    delay.powerEvent();
    int quiet = 0;
    while (!delay.tick()) {
        ++quiet;
    }
    EXPECT_EQ(quiet, 29);
    EXPECT_TRUE(delay.tick());

    // A second power event while waiting starts the wait again.
    delay.powerEvent();
    for (int i = 0; i < 20; ++i) {
        EXPECT_FALSE(delay.tick());
    }
    delay.powerEvent();
    EXPECT_EQ(delay.ticks(), 30);
}

}  // namespace

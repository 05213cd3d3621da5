// The headless recorder at a real mosquitto broker: online with its --status
// facts while it runs, offline by its last will when it is killed, and by its
// own word when it stops.

#include "tests/e2e/program_run.h"
#include "tests/events/mqtt_broker.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <csignal>

using namespace kv;

namespace {

class HeadlessMqtt : public test::RecordingHomeTest {
  protected:
    HeadlessMqtt() {
        settings_.RecInterval = 100;
        settings_.Mode = 1;
        settings_.MQTTHost = QStringLiteral("127.0.0.1");
        settings_.MQTTTopic = QStringLiteral("kv-e2e/box");
        settings_.MQTTUser = QStringLiteral("recorder");
        settings_.MQTTPassword = QStringLiteral("s3cret-pass");
    }

    std::unique_ptr<test::ProgramRun> startHeadless() {
        return std::make_unique<test::ProgramRun>(
            home_,
            QStringList{QStringLiteral("--headless"), QStringLiteral("--camera"),
                        QStringLiteral("Ball=test:ball?width=160&height=120&framerate=30")},
            QProcessEnvironment(), test::ProgramRun::Display::None);
    }
};

TEST_F(HeadlessMqtt, IsOnlineWithItsStateAndOfflineWhenKilledOrStopped) {
    test::MqttBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    settings_.MQTTPort = broker.port();
    writeSettings();
    const QString availability = QStringLiteral("kv-e2e/box/availability");
    test::MqttSubscriber sub(broker.port(), {availability});

    for (const int signal : {SIGKILL, SIGTERM}) {
        SCOPED_TRACE(signal);
        const int onlineBefore = int(sub.payloads(availability).count("online"));
        auto run = startHeadless();
        ASSERT_TRUE(test::pumpUntil(
            [&] { return sub.payloads(availability).count("online") > onlineBefore; }, 30000))
            << run->log().toStdString();
        ASSERT_TRUE(waitForFiles(1, 30000)) << run->log().toStdString();
        // The state retained is this run's --status facts.
        QJsonObject state;
        ASSERT_TRUE(test::pumpUntil(
            [&] {
                state =
                    QJsonDocument::fromJson(
                        test::retainedMessage(broker.port(), QStringLiteral("kv-e2e/box/state")))
                        .object();
                return state.value(QStringLiteral("pid")).toInteger() == run->pid();
            },
            20000));
        EXPECT_TRUE(state.value(QStringLiteral("headless")).toBool());
        EXPECT_EQ(state.value(QStringLiteral("mode")).toString(), QStringLiteral("On"));

        const int offlineBefore = int(sub.payloads(availability).count("offline"));
        ::kill(pid_t(run->pid()), signal);
        ASSERT_TRUE(run->waitForExit(20000));
        ASSERT_TRUE(test::pumpUntil(
            [&] { return sub.payloads(availability).count("offline") > offlineBefore; }, 20000));
        EXPECT_EQ(test::retainedMessage(broker.port(), availability), QByteArray("offline"));
        // The password is never written to the log.
        EXPECT_FALSE(run->log().contains(QStringLiteral("s3cret-pass")));
    }
}

}  // namespace

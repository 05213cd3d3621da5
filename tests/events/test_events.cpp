// The recorder's events at a real mosquitto broker, read back by mosquitto_sub:
// a moving test camera's state, events, snapshot and Home Assistant discovery,
// commands, a broker that restarts, and the event command.

#include "events/event_command.h"
#include "events/event_publisher.h"
#include "events/mqtt_client.h"
#include "media/uri_camera.h"
#include "session/recording_session.h"
#include "tests/events/mqtt_broker.h"
#include "tests/support/http_camera.h"
#include "tests/support/test_env.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kv;
using session::RecordingSession;

namespace {

const QString kPrefix = QStringLiteral("kvtest/hall");

QJsonObject json(const QByteArray& text) {
    return QJsonDocument::fromJson(text).object();
}

QStringList eventKinds(const QList<QByteArray>& events) {
    QStringList kinds;
    for (const QByteArray& e : events) {
        kinds << json(e).value(QStringLiteral("event")).toString();
    }
    return kinds;
}

class EventsTest : public ::testing::Test {
  protected:
    EventsTest() {
        settings_.AVIPath = home_.documentsDir() + QStringLiteral("/rec/");
        settings_.RecInterval = 40;
        settings_.MQTTHost = QStringLiteral("127.0.0.1");
        settings_.MQTTTopic = kPrefix;
    }
    ~EventsTest() override {
        publisher_.reset();
        session_.reset();
        media::clearUriCameras();
    }

    RecordingSession& startSession(const QString& uri) {
        media::setCommandLineCameras({{QStringLiteral("Hall"), uri}});
        settings_.CaptureDeviceName = QStringLiteral("Hall");
        session_ = std::make_unique<RecordingSession>();
        session_->apply(settings_);
        session_->setMode(settings_.Mode);
        session_->resetRestartDelay(0);
        return *session_;
    }

    events::EventPublisher& publish(quint16 port, int commandLimit_ms = 30000) {
        settings_.MQTTPort = port;
        publisher_ = std::make_unique<events::EventPublisher>(
            *session_, QStringLiteral("hall"),
            [this](int mode) {
                modes_ << mode;
                session_->setMode(mode);
            },
            nullptr, commandLimit_ms);
        publisher_->apply(settings_);
        return *publisher_;
    }

    test::TempHome home_;
    session::Settings settings_;
    std::unique_ptr<RecordingSession> session_;
    std::unique_ptr<events::EventPublisher> publisher_;
    QList<int> modes_;
};

// A moving camera in the mode "On movement": online and state retained, the
// movement's start with a snapshot of the camera's size, discovery for Home
// Assistant, commands refused until allowed, and the movement's end once a
// command turns recording off. A slow event command runs meanwhile and the
// frames go on.
TEST_F(EventsTest, AMovingCameraIsToldToTheBrokerAndObeysOnlyAllowedCommands) {
    test::MqttBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    test::MqttSubscriber sub(broker.port(), {kPrefix + QStringLiteral("/#")},
                             {QStringLiteral("-T"), kPrefix + QStringLiteral("/snapshot")});

    QTemporaryDir scratch;
    const QString envFile = scratch.filePath(QStringLiteral("env"));
    const QString script = scratch.filePath(QStringLiteral("on-event.sh"));
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nenv | grep '^KV_' >> \"$1\"\necho done >> \"$1\"\nsleep 3\n");
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    }
    settings_.OnEventCommand = QStringLiteral("\"%1\" \"%2\"").arg(script, envFile);
    settings_.Mode = session::StatePause;  // on movement
    settings_.Trigger = 200;
    RecordingSession& session =
        startSession(QStringLiteral("test:ball?width=160&height=120&framerate=25"));
    events::EventPublisher& publisher = publish(broker.port());
    QList<QByteArray> sent;
    QObject::connect(&publisher, &events::EventPublisher::eventPublished,
                     [&sent](const QByteArray& e) { sent << e; });
    session.startUp();

    const QString event = kPrefix + QStringLiteral("/event");
    ASSERT_TRUE(sub.waitFor(kPrefix + QStringLiteral("/availability"), "online"));
    ASSERT_TRUE(test::pumpUntil(
        [&] { return eventKinds(sub.payloads(event)).contains(QStringLiteral("movement_start")); },
        20000))
        << sub.lines().join(u'\n').toStdString();
    const QJsonObject start = json(sub.payloads(event).first());
    EXPECT_EQ(start.value(QStringLiteral("instance")).toString(), QStringLiteral("hall"));
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$)"))
            .match(start.value(QStringLiteral("time")).toString())
            .hasMatch())
        << start.value(QStringLiteral("time")).toString().toStdString();

    // The slow command runs and the frames go on under it.
    ASSERT_TRUE(test::pumpUntil([&] { return QFile::exists(envFile); }, 10000));
    const int framesThen = session.recordedFrames();
    ASSERT_TRUE(
        test::pumpUntil([&] { return session.recordedFrames() >= framesThen + 10; }, 10000));
    QFile env(envFile);
    ASSERT_TRUE(env.open(QIODevice::ReadOnly));
    const QByteArray vars = env.readAll();
    EXPECT_TRUE(vars.contains("KV_EVENT=movement_start\n")) << vars.toStdString();
    EXPECT_TRUE(vars.contains("KV_INSTANCE=hall\n"));
    EXPECT_TRUE(
        vars.contains("KV_TIME=" + start.value(QStringLiteral("time")).toString().toUtf8()));
    EXPECT_TRUE(vars.contains("KV_FILE=" + session.RecordFileName().toUtf8()));

    // Retained: a fresh subscriber gets them at once.
    EXPECT_EQ(test::retainedMessage(broker.port(), kPrefix + QStringLiteral("/availability")),
              QByteArray("online"));
    const QJsonObject state =
        json(test::retainedMessage(broker.port(), kPrefix + QStringLiteral("/state")));
    EXPECT_EQ(state.value(QStringLiteral("mode")).toString(), QStringLiteral("On movement"));
    EXPECT_EQ(state.value(QStringLiteral("camera")).toString(), QStringLiteral("Hall"));
    const QImage snapshot = QImage::fromData(
        test::retainedMessage(broker.port(), kPrefix + QStringLiteral("/snapshot")), "JPEG");
    EXPECT_EQ(snapshot.size(), QSize(160, 120));

    // Home Assistant's discovery: motion, state and camera; no select without commands.
    const QString id = events::discoveryId(kPrefix);
    const QJsonObject motion = json(test::retainedMessage(
        broker.port(), QStringLiteral("homeassistant/binary_sensor/%1/motion/config").arg(id)));
    EXPECT_EQ(motion.value(QStringLiteral("state_topic")).toString(),
              kPrefix + QStringLiteral("/motion"));
    EXPECT_EQ(motion.value(QStringLiteral("device_class")).toString(), QStringLiteral("motion"));
    EXPECT_EQ(motion.value(QStringLiteral("availability_topic")).toString(),
              kPrefix + QStringLiteral("/availability"));
    const QJsonObject camera = json(test::retainedMessage(
        broker.port(), QStringLiteral("homeassistant/camera/%1/snapshot/config").arg(id)));
    EXPECT_EQ(camera.value(QStringLiteral("topic")).toString(),
              kPrefix + QStringLiteral("/snapshot"));
    const QJsonObject sensor = json(test::retainedMessage(
        broker.port(), QStringLiteral("homeassistant/sensor/%1/state/config").arg(id)));
    EXPECT_EQ(sensor.value(QStringLiteral("value_template")).toString(),
              QStringLiteral("{{ value_json.state }}"));
    EXPECT_EQ(sensor.value(QStringLiteral("device"))
                  .toObject()
                  .value(QStringLiteral("identifiers"))
                  .toArray()
                  .first()
                  .toString(),
              id);
    EXPECT_TRUE(test::retainedMessage(
                    broker.port(), QStringLiteral("homeassistant/select/%1/mode/config").arg(id), 2)
                    .isEmpty());

    // Commands are not listened to until allowed; then only 0, 1 and 2.
    ASSERT_TRUE(test::publishMessage(broker.port(), kPrefix + QStringLiteral("/set/mode"), "0"));
    settings_.MQTTAllowCommands = true;
    publisher.apply(settings_);
    ASSERT_TRUE(test::pumpUntil([&] { return publisher.connected(); }, 10000));
    const QJsonObject select = json(test::retainedMessage(
        broker.port(), QStringLiteral("homeassistant/select/%1/mode/config").arg(id)));
    EXPECT_EQ(select.value(QStringLiteral("command_topic")).toString(),
              kPrefix + QStringLiteral("/set/mode"));
    EXPECT_EQ(select.value(QStringLiteral("options")).toArray().size(), 3);
    for (const QByteArray& command : {QByteArray("7"), QByteArray("mode"), QByteArray("0")}) {
        ASSERT_TRUE(
            test::publishMessage(broker.port(), kPrefix + QStringLiteral("/set/mode"), command));
    }
    ASSERT_TRUE(test::pumpUntil([&] { return !modes_.isEmpty(); }, 10000));
    EXPECT_EQ(modes_, QList<int>{0});

    // Off ends the movement: its frames and file are told.
    ASSERT_TRUE(test::pumpUntil(
        [&] { return eventKinds(sub.payloads(event)).contains(QStringLiteral("movement_end")); },
        10000));
    QJsonObject end;
    for (const QByteArray& e : sub.payloads(event)) {
        if (json(e).value(QStringLiteral("event")).toString() == QStringLiteral("movement_end")) {
            end = json(e);
        }
    }
    EXPECT_GE(end.value(QStringLiteral("frames")).toInt(), 10);
    EXPECT_TRUE(end.value(QStringLiteral("file")).toString().endsWith(QStringLiteral(".avi")));
    EXPECT_TRUE(sub.waitFor(kPrefix + QStringLiteral("/motion"), "OFF"));
    // What was sent is what the broker passed on, in order.
    ASSERT_TRUE(test::pumpUntil([&] { return sub.payloads(event).size() >= sent.size(); }, 10000));
    EXPECT_EQ(eventKinds(sub.payloads(event)), eventKinds(sent));
    session.shutdown();
    publisher.stop();
    EXPECT_TRUE(sub.waitFor(kPrefix + QStringLiteral("/availability"), "offline"));
}

// The broker goes away and comes back: the events of the meantime arrive in
// order, and online, the state and discovery are sent again.
TEST_F(EventsTest, ABrokerThatRestartsGetsTheQueuedEventsInOrderAndTheRetainedOnesAgain) {
    test::MqttBroker broker(true);
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    const QString event = kPrefix + QStringLiteral("/event");
    const QStringList keptSession{QStringLiteral("-c"), QStringLiteral("-i"),
                                  QStringLiteral("kv-test-sub")};
    auto sub =
        std::make_unique<test::MqttSubscriber>(broker.port(), QStringList{event}, keptSession);
    // A network camera that drops and returns, told as it happens.
    test::HttpCamera camera(QSize(160, 120), 10);
    ASSERT_TRUE(camera.isListening());
    settings_.Mode = 1;
    settings_.RecInterval = 200;
    RecordingSession& session = startSession(camera.url());
    events::EventPublisher& publisher = publish(broker.port());
    ASSERT_TRUE(test::pumpUntil([&] { return publisher.connected(); }, 10000));
    session.startUp();
    ASSERT_TRUE(test::pumpUntil([&] { return session.recordedFrames() >= 3; }, 15000));
    camera.closeConnections();
    camera.setMode(test::HttpCamera::Mode::Refuse);
    ASSERT_TRUE(test::pumpUntil([&] { return session.cameraLost(); }, 10000));
    camera.setMode(test::HttpCamera::Mode::Serve);
    ASSERT_TRUE(test::pumpUntil(
        [&] { return eventKinds(sub->payloads(event)).contains(QStringLiteral("camera_back")); },
        20000));
    const QStringList kinds = eventKinds(sub->payloads(event));
    EXPECT_EQ(kinds.count(QStringLiteral("camera_lost")), 1) << kinds.join(u',').toStdString();
    EXPECT_LT(kinds.indexOf(QStringLiteral("camera_lost")),
              kinds.indexOf(QStringLiteral("camera_back")));
    const QJsonObject lost =
        json(sub->payloads(event)[kinds.indexOf(QStringLiteral("camera_lost"))]);
    EXPECT_FALSE(lost.value(QStringLiteral("reason")).toString().isEmpty());
    session.shutdown();

    // Reasons reach the broker without control characters.
    Q_EMIT session_->cameraLostChanged(true, QStringLiteral("first \x1b[31mred\x07"));
    QStringList reasons;
    ASSERT_TRUE(test::pumpUntil(
        [&] {
            reasons.clear();
            for (const QByteArray& e : sub->payloads(event)) {
                reasons << json(e).value(QStringLiteral("reason")).toString();
            }
            return reasons.contains(QStringLiteral("first red"));
        },
        10000))
        << reasons.join(u'|').toStdString();

    // Cleared by hand: only a republish can bring them back after the restart.
    const QString id = events::discoveryId(kPrefix);
    const QString discovery = QStringLiteral("homeassistant/sensor/%1/state/config").arg(id);
    for (const QString& topic : {kPrefix + QStringLiteral("/availability"),
                                 kPrefix + QStringLiteral("/state"), discovery}) {
        ASSERT_TRUE(test::publishMessage(broker.port(), topic, QByteArray(), true));
    }
    sub.reset();
    broker.stop();
    ASSERT_TRUE(test::pumpUntil([&] { return !publisher.connected(); }, 10000));
    for (int i = 0; i < 120; ++i) {
        Q_EMIT session_->cameraLostChanged(i % 2 == 1, QStringLiteral("episode %1").arg(i));
    }
    EXPECT_EQ(publisher.client()->queued(), events::MqttClient::kQueueLimit);

    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    sub = std::make_unique<test::MqttSubscriber>(broker.port(), QStringList{event}, keptSession);
    ASSERT_TRUE(test::pumpUntil([&] { return publisher.connected(); }, 20000));
    // The last 100 of the meantime, in order (files finishing late may come too).
    QList<QJsonObject> queued;
    ASSERT_TRUE(test::pumpUntil(
        [&] {
            queued.clear();
            for (const QByteArray& e : sub->payloads(event)) {
                if (json(e)
                        .value(QStringLiteral("reason"))
                        .toString()
                        .startsWith(QStringLiteral("episode "))) {
                    queued << json(e);
                }
            }
            return queued.size() >= 100;
        },
        30000))
        << sub->lines().size();
    ASSERT_EQ(queued.size(), 100);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(queued[i].value(QStringLiteral("reason")).toString(),
                  QStringLiteral("episode %1").arg(i + 20));
        EXPECT_EQ(queued[i].value(QStringLiteral("event")).toString(),
                  i % 2 == 1 ? QStringLiteral("camera_lost") : QStringLiteral("camera_back"));
    }
    EXPECT_EQ(test::retainedMessage(broker.port(), kPrefix + QStringLiteral("/availability")),
              QByteArray("online"));
    EXPECT_EQ(json(test::retainedMessage(broker.port(), kPrefix + QStringLiteral("/state")))
                  .value(QStringLiteral("mode"))
                  .toString(),
              QStringLiteral("On"));
    EXPECT_FALSE(test::retainedMessage(broker.port(), discovery).isEmpty());
}

// The command's environment for an event without a broker; one per kind at a
// time; killed at its limit.
TEST_F(EventsTest, TheEventCommandGetsTheFieldsRunsOncePerKindAndIsKilledAtItsLimit) {
    QTemporaryDir scratch;
    const QString out = scratch.filePath(QStringLiteral("out"));
    events::EventCommand command(1000);
    command.setCommand(
        QStringLiteral("/bin/sh -c \"env | grep ^KV_ | sort > '%1'; sleep 60\"").arg(out));
    QList<std::pair<QString, int>> finished;
    QObject::connect(&command, &events::EventCommand::finished, [&](const QString& e, int code) {
        finished.append({e, code});
    });
    events::EventFields fields;
    fields.event = QStringLiteral("film_ready");
    fields.time = QStringLiteral("2026-12-09T04:00:00+01:00");
    fields.instance = QStringLiteral("2");
    fields.day = QStringLiteral("2026-12-08");
    fields.file = QStringLiteral("/rec/Films/2026-12-08.mp4");
    fields.length_s = 60;
    fields.recordings = 212;
    command.run(fields);
    command.run(fields);  // still running: skipped
    EXPECT_EQ(command.running(), 1);
    ASSERT_TRUE(test::pumpUntil([&] { return !finished.isEmpty(); }, 15000));
    EXPECT_EQ(finished, (QList<std::pair<QString, int>>{{QStringLiteral("film_ready"), -1}}));
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("KV_DAY=2026-12-08\n"
                                         "KV_EVENT=film_ready\n"
                                         "KV_FILE=/rec/Films/2026-12-08.mp4\n"
                                         "KV_FRAMES=\n"
                                         "KV_INSTANCE=2\n"
                                         "KV_LENGTH=60\n"
                                         "KV_REASON=\n"
                                         "KV_RECORDINGS=212\n"
                                         "KV_TIME=2026-12-09T04:00:00+01:00\n"));

    // A quick one's exit code; a missing program is told, not waited for.
    command.setCommand(QStringLiteral("/bin/sh -c \"exit 3\""));
    command.run(fields);
    ASSERT_TRUE(test::pumpUntil([&] { return finished.size() == 2; }, 15000));
    EXPECT_EQ(finished.last().second, 3);
    command.setCommand(scratch.filePath(QStringLiteral("missing")));
    command.run(fields);
    ASSERT_TRUE(test::pumpUntil([&] { return finished.size() == 3; }, 15000));
    EXPECT_EQ(finished.last().second, -1);
}

}  // namespace

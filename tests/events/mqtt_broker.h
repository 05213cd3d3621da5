#pragma once

// A real mosquitto broker on a free loopback port, and mosquitto_sub clients
// that collect what it sends, for the tests of the MQTT events.

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace kv::test {

class MqttBroker {
  public:
    // persistent: the broker keeps retained messages and sessions across a restart.
    explicit MqttBroker(bool persistent = false);
    ~MqttBroker();

    // Starts it (on the same port after the first start); false when it never listened.
    bool start();
    // Ends it with SIGTERM, so a persistent broker saves its state.
    void stop();
    quint16 port() const { return port_; }
    QString log() const;

  private:
    QTemporaryDir dir_;
    bool persistent_;
    quint16 port_ = 0;
    std::unique_ptr<QProcess> process_;
};

// mosquitto_sub printing "topic payload" per line.
class MqttSubscriber {
  public:
    // extra: more mosquitto_sub arguments, e.g. "-c" "-i" "id" for a kept session.
    MqttSubscriber(quint16 port, const QStringList& topics, const QStringList& extra = {});
    ~MqttSubscriber();
    // The lines so far, each "topic payload".
    QStringList lines();
    // Payloads of one topic, in order.
    QList<QByteArray> payloads(const QString& topic);
    // Waits (running the event loop) until a line of that topic with that payload came.
    bool waitFor(const QString& topic, const QByteArray& payload, int timeout_ms = 15000);
    bool waitForTopic(const QString& topic, int timeout_ms = 15000);

  private:
    QProcess process_;
    QByteArray out_;
};

// The first message of a topic as a fresh subscriber gets it (a retained one), or empty.
QByteArray retainedMessage(quint16 port, const QString& topic, int timeout_s = 10);
// Publishes one message (retained when asked; an empty retained one clears the topic).
bool publishMessage(quint16 port, const QString& topic, const QByteArray& payload,
                    bool retained = false);

}  // namespace kv::test

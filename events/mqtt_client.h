#pragma once

// A connection to an MQTT broker on libmosquitto. The library's network work
// runs on a thread of its own, which connects, reconnects with back-off and
// hands what it learns to the main thread by queued calls; the main thread
// only hands messages over and never waits on the network.
//
// Retained messages are remembered by topic and sent again after every
// reconnect; other messages sent while the broker is away wait in a bounded
// queue and go out in order once it is back.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace kv::events {

struct MqttConfig {
    QString host;
    int port = 1883;
    QString user;
    QString password;  // never logged
    bool tls = false;
    QString caFile;  // empty: the system's certificates
    int keepalive_s = 30;
    // The last will, sent by the broker when the connection dies.
    QString willTopic;
    QByteArray willPayload = QByteArrayLiteral("offline");

    bool operator==(const MqttConfig&) const = default;
};

// Seconds between tries after a failure: 1, 2, 4 ... 60.
class ReconnectBackoff {
  public:
    static constexpr int kLongest_s = 60;
    int next() {
        const int wait = wait_s_;
        wait_s_ = wait_s_ >= kLongest_s / 2 ? kLongest_s : wait_s_ * 2;
        return wait;
    }
    void reset() { wait_s_ = 1; }

  private:
    int wait_s_ = 1;
};

class MqttClient : public QObject {
    Q_OBJECT
  public:
    // Messages kept while the broker is away; the oldest go first.
    static constexpr int kQueueLimit = 100;

    explicit MqttClient(QObject* parent = nullptr);
    // Stops: the will is sent as the connection closes.
    ~MqttClient() override;

    // Starts the network thread; false (with a log line) when the library
    // refuses the settings, e.g. an unreadable CA file.
    bool start(const MqttConfig& config);
    // Sends `offline` to the will's topic, closes the connection and ends the
    // thread. The thread ends within a resolver's timeout at worst.
    void stop();
    bool running() const { return thread_.joinable(); }
    bool connected() const { return connected_; }

    // Sends, or keeps for later: a retained message replaces the last one of
    // its topic and is sent again on every reconnect (an empty retained
    // message clears the topic and is forgotten once sent); others wait in
    // the queue while the broker is away.
    void publish(const QString& topic, const QByteArray& payload, bool retained);
    // Topics to subscribe on every connect.
    void setSubscriptions(const QStringList& topics);
    int queued() const { return int(queue_.size()); }

  Q_SIGNALS:
    void connectedChanged(bool connected);
    void messageReceived(const QString& topic, const QByteArray& payload);

  private:
    struct Handle {
        void operator()(mosquitto* m) const;
    };
    struct Message {
        QString topic;
        QByteArray payload;
        bool retained;
    };

    void run();
    bool send(const Message& message);
    void onConnected();
    void onDisconnected();
    static void connectCallback(mosquitto*, void* self, int rc);
    static void disconnectCallback(mosquitto*, void* self, int rc);
    static void messageCallback(mosquitto*, void* self, const mosquitto_message* message);

    MqttConfig config_;
    std::unique_ptr<mosquitto, Handle> mosq_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;  // under mutex_
    // --- the network thread only
    bool connectedOnThread_ = false;
    QByteArray refusal_;  // the broker's answer to the last refused connect

    // --- main thread only
    bool connected_ = false;
    std::vector<Message> retained_;  // in first-sent order
    std::deque<Message> queue_;
    QStringList subscriptions_;
};

}  // namespace kv::events

#include "events/mqtt_client.h"

#include <QFile>
#include <QLoggingCategory>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <chrono>

Q_LOGGING_CATEGORY(lcMqtt, "kv.events.mqtt", QtInfoMsg)

namespace kv::events {

namespace {

// A loop pass waits this long for the socket: one wake-up a second while idle.
constexpr int kLoopWait_ms = 1000;
// Passes left to a closing connection to send what it holds; one never made
// is given up at once.
constexpr int kDrainPasses = 3;

QByteArray utf8(const QString& text) {
    return text.toUtf8();
}

}  // namespace

void MqttClient::Handle::operator()(mosquitto* m) const {
    mosquitto_destroy(m);
}

MqttClient::MqttClient(QObject* parent) : QObject(parent) {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

MqttClient::~MqttClient() {
    stop();
}

bool MqttClient::start(const MqttConfig& config) {
    stop();
    config_ = config;
    mosq_.reset(mosquitto_new(nullptr, true, this));
    mosquitto* m = mosq_.get();
    if (!m) {
        qCWarning(lcMqtt, "no MQTT client: %s", mosquitto_strerror(MOSQ_ERR_NOMEM));
        return false;
    }
    mosquitto_threaded_set(m, true);
    // MQTT 3.1.1, which every broker speaks: a clean stop sends `offline` itself
    // before it disconnects, since the broker drops the will then.
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m, &MqttClient::connectCallback);
    mosquitto_disconnect_callback_set(m, &MqttClient::disconnectCallback);
    mosquitto_message_callback_set(m, &MqttClient::messageCallback);
    int rc = MOSQ_ERR_SUCCESS;
    if (!config.willTopic.isEmpty()) {
        const QByteArray topic = utf8(config.willTopic);
        rc = mosquitto_will_set(m, topic.constData(), int(config.willPayload.size()),
                                config.willPayload.constData(), 1, true);
    }
    if (rc == MOSQ_ERR_SUCCESS && !config.user.isEmpty()) {
        const QByteArray user = utf8(config.user);
        const QByteArray password = utf8(config.password);
        rc = mosquitto_username_pw_set(m, user.constData(),
                                       config.password.isEmpty() ? nullptr : password.constData());
    }
    if (rc == MOSQ_ERR_SUCCESS && config.tls) {
        const QByteArray caFile = QFile::encodeName(config.caFile);
        rc = mosquitto_tls_set(m, caFile.isEmpty() ? nullptr : caFile.constData(),
                               caFile.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr,
                               nullptr);
        if (rc == MOSQ_ERR_SUCCESS) {
            // The broker's certificate and its name are checked.
            rc = mosquitto_tls_opts_set(m, 1, nullptr, nullptr);
        }
        if (rc == MOSQ_ERR_SUCCESS) {
            rc = mosquitto_tls_insecure_set(m, false);
        }
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        qCWarning(lcMqtt, "MQTT settings refused (%s): no connection to %s", mosquitto_strerror(rc),
                  qUtf8Printable(config.host));
        mosq_.reset();
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    qCInfo(lcMqtt, "connecting to the MQTT broker %s:%d%s%s", qUtf8Printable(config.host),
           config.port, config.tls ? " with TLS" : "",
           config.user.isEmpty() ? "" : qUtf8Printable(QStringLiteral(" as ") + config.user));
    thread_ = std::thread(&MqttClient::run, this);
    return true;
}

void MqttClient::stop() {
    if (!thread_.joinable()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    if (connected_ && !config_.willTopic.isEmpty()) {
        send({config_.willTopic, config_.willPayload, true});
    }
    // Queued behind `offline`: the network thread sends both in order.
    mosquitto_disconnect(mosq_.get());
    wake_.notify_all();
    thread_.join();
    mosq_.reset();
    if (connected_) {
        connected_ = false;
        Q_EMIT connectedChanged(false);
    }
}

void MqttClient::run() {
    mosquitto* m = mosq_.get();
    const QByteArray host = utf8(config_.host);
    ReconnectBackoff backoff;
    bool warned = false;  // once per episode without a broker
    bool first = true;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                break;
            }
        }
        int rc =
            first ? mosquitto_connect_async(m, host.constData(), config_.port, config_.keepalive_s)
                  : mosquitto_reconnect_async(m);
        first = false;
        int drain = 0;
        while (rc == MOSQ_ERR_SUCCESS) {
            rc = mosquitto_loop(m, kLoopWait_ms, 1);
            std::lock_guard lock(mutex_);
            if (stopping_ && (!connectedOnThread_ || ++drain > kDrainPasses)) {
                break;
            }
        }
        std::unique_lock lock(mutex_);
        if (stopping_) {
            break;
        }
        if (connectedOnThread_) {
            // The connection stood: a new episode begins.
            connectedOnThread_ = false;
            backoff.reset();
            warned = false;
        }
        const int wait_s = backoff.next();
        if (!warned) {
            qCWarning(lcMqtt,
                      "the MQTT broker %s:%d cannot be reached (%s); trying again with back-off "
                      "up to %d s",
                      host.constData(), config_.port,
                      refusal_.isEmpty() ? mosquitto_strerror(rc) : refusal_.constData(),
                      ReconnectBackoff::kLongest_s);
            warned = true;
        }
        wake_.wait_for(lock, std::chrono::seconds(wait_s), [this] { return stopping_; });
    }
}

bool MqttClient::send(const Message& message) {
    if (!mosq_) {
        return false;
    }
    const QByteArray topic = utf8(message.topic);
    return mosquitto_publish(mosq_.get(), nullptr, topic.constData(), int(message.payload.size()),
                             message.payload.constData(), 1, message.retained) == MOSQ_ERR_SUCCESS;
}

void MqttClient::publish(const QString& topic, const QByteArray& payload, bool retained) {
    const Message message{topic, payload, retained};
    if (retained) {
        auto it = std::find_if(retained_.begin(), retained_.end(),
                               [&](const Message& m) { return m.topic == topic; });
        if (it == retained_.end()) {
            retained_.push_back(message);
            it = retained_.end() - 1;
        } else {
            it->payload = payload;
        }
        if (connected_ && send(message) && payload.isEmpty()) {
            retained_.erase(it);
        }
        return;
    }
    if (connected_ && queue_.empty() && send(message)) {
        return;
    }
    queue_.push_back(message);
    while (queue_.size() > std::size_t(kQueueLimit)) {
        queue_.pop_front();
    }
}

void MqttClient::setSubscriptions(const QStringList& topics) {
    subscriptions_ = topics;
    if (connected_) {
        for (const QString& topic : subscriptions_) {
            mosquitto_subscribe(mosq_.get(), nullptr, utf8(topic).constData(), 1);
        }
    }
}

void MqttClient::onConnected() {
    if (connected_ || !mosq_) {
        return;
    }
    connected_ = true;
    for (const QString& topic : subscriptions_) {
        mosquitto_subscribe(mosq_.get(), nullptr, utf8(topic).constData(), 1);
    }
    for (auto it = retained_.begin(); it != retained_.end();) {
        if (send(*it) && it->payload.isEmpty()) {
            it = retained_.erase(it);
        } else {
            ++it;
        }
    }
    while (!queue_.empty() && send(queue_.front())) {
        queue_.pop_front();
    }
    Q_EMIT connectedChanged(true);
}

void MqttClient::onDisconnected() {
    if (!connected_) {
        return;
    }
    connected_ = false;
    Q_EMIT connectedChanged(false);
}

// --- the network thread: nothing here touches the main thread's members.

void MqttClient::connectCallback(mosquitto*, void* self, int rc) {
    auto* client = static_cast<MqttClient*>(self);
    if (rc != 0) {
        std::lock_guard lock(client->mutex_);
        client->refusal_ = mosquitto_connack_string(rc);
        return;
    }
    {
        std::lock_guard lock(client->mutex_);
        client->refusal_.clear();
        client->connectedOnThread_ = true;
    }
    qCInfo(lcMqtt, "connected to the MQTT broker %s:%d", qUtf8Printable(client->config_.host),
           client->config_.port);
    QMetaObject::invokeMethod(
        client, [client] { client->onConnected(); }, Qt::QueuedConnection);
}

void MqttClient::disconnectCallback(mosquitto*, void* self, int) {
    auto* client = static_cast<MqttClient*>(self);
    QMetaObject::invokeMethod(
        client, [client] { client->onDisconnected(); }, Qt::QueuedConnection);
}

void MqttClient::messageCallback(mosquitto*, void* self, const mosquitto_message* message) {
    auto* client = static_cast<MqttClient*>(self);
    QString topic = QString::fromUtf8(message->topic);
    QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
    QMetaObject::invokeMethod(
        client,
        [client, topic = std::move(topic), payload = std::move(payload)] {
            Q_EMIT client->messageReceived(topic, payload);
        },
        Qt::QueuedConnection);
}

}  // namespace kv::events

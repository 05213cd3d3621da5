#include "tests/events/mqtt_broker.h"

#include "tests/support/test_env.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>

namespace kv::test {

namespace {

quint16 freePort() {
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

bool listens(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

}  // namespace

MqttBroker::MqttBroker(bool persistent) : persistent_(persistent) {}

MqttBroker::~MqttBroker() {
    stop();
}

bool MqttBroker::start() {
    if (port_ == 0) {
        port_ = freePort();
    }
    const QString config = dir_.filePath(QStringLiteral("mosquitto.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    QByteArray text =
        "listener " + QByteArray::number(port_) + " 127.0.0.1\nallow_anonymous true\n";
    if (persistent_) {
        text += "persistence true\npersistence_location " + QFile::encodeName(dir_.path()) + "/\n";
    }
    file.write(text);
    file.close();
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), config});
    if (!process_->waitForStarted(5000)) {
        return false;
    }
    return pumpUntil([this] { return listens(port_); }, 10000);
}

void MqttBroker::stop() {
    if (process_ && process_->state() != QProcess::NotRunning) {
        ::kill(pid_t(process_->processId()), SIGTERM);
        if (!process_->waitForFinished(5000)) {
            process_->kill();
            process_->waitForFinished(5000);
        }
    }
}

QString MqttBroker::log() const {
    return process_ ? QString::fromUtf8(process_->readAll()) : QString();
}

MqttSubscriber::MqttSubscriber(quint16 port, const QStringList& topics, const QStringList& extra) {
    QStringList arguments{QStringLiteral("-h"),  QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                          QString::number(port), QStringLiteral("-v"),        QStringLiteral("-q"),
                          QStringLiteral("1")};
    // A topic of its own shows when the subscription stands.
    const QString probe = QStringLiteral("kv-probe/%1").arg(quintptr(this));
    for (const QString& topic : topics + QStringList{probe}) {
        arguments << QStringLiteral("-t") << topic;
    }
    process_.start(QStringLiteral("mosquitto_sub"), arguments + extra);
    process_.waitForStarted(5000);
    for (int i = 0; i < 50 && payloads(probe).isEmpty(); ++i) {
        publishMessage(port, probe, "ready");
        pumpUntil([&] { return !payloads(probe).isEmpty(); }, 200);
    }
}

MqttSubscriber::~MqttSubscriber() {
    process_.kill();
    process_.waitForFinished(5000);
}

QStringList MqttSubscriber::lines() {
    out_ += process_.readAllStandardOutput();
    QStringList all = QString::fromUtf8(out_).split(u'\n');
    all.removeLast();  // the line still being written
    return all;
}

QList<QByteArray> MqttSubscriber::payloads(const QString& topic) {
    QList<QByteArray> found;
    const QString start = topic + u' ';
    for (const QString& line : lines()) {
        if (line.startsWith(start)) {
            found << line.mid(start.size()).toUtf8();
        } else if (line == topic) {
            found << QByteArray();
        }
    }
    return found;
}

bool MqttSubscriber::waitFor(const QString& topic, const QByteArray& payload, int timeout_ms) {
    return pumpUntil([&] { return payloads(topic).contains(payload); }, timeout_ms);
}

bool MqttSubscriber::waitForTopic(const QString& topic, int timeout_ms) {
    return pumpUntil([&] { return !payloads(topic).isEmpty(); }, timeout_ms);
}

QByteArray retainedMessage(quint16 port, const QString& topic, int timeout_s) {
    QProcess sub;
    sub.start(QStringLiteral("mosquitto_sub"),
              {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
               QString::number(port), QStringLiteral("-t"), topic, QStringLiteral("-C"),
               QStringLiteral("1"), QStringLiteral("-N"), QStringLiteral("--retained-only"),
               QStringLiteral("-W"), QString::number(timeout_s)});
    if (!sub.waitForFinished((timeout_s + 5) * 1000)) {
        sub.kill();
        sub.waitForFinished();
        return {};
    }
    return sub.readAllStandardOutput();
}

bool publishMessage(quint16 port, const QString& topic, const QByteArray& payload, bool retained) {
    QStringList arguments{QStringLiteral("-h"), QStringLiteral("127.0.0.1"),
                          QStringLiteral("-p"), QString::number(port),
                          QStringLiteral("-q"), QStringLiteral("1"),
                          QStringLiteral("-t"), topic};
    if (retained) {
        arguments << QStringLiteral("-r");
    }
    if (payload.isEmpty()) {
        arguments << QStringLiteral("-n");
    } else {
        arguments << QStringLiteral("-m") << QString::fromUtf8(payload);
    }
    QProcess pub;
    pub.start(QStringLiteral("mosquitto_pub"), arguments);
    return pub.waitForFinished(10000) && pub.exitCode() == 0;
}

}  // namespace kv::test

// The MQTT events at a local mosquitto: the time from a movement's first frame
// (the session's movementStarted) to its movement_start message at a second
// client of the broker, over 20 movements of a 640x480 test camera; and the
// processor time of the client's network thread over 10 s while connected
// and idle.
// Goals: under 50 ms; under 0.1 % of a core.
//
// kv_bench_mqtt [movements=20]

#include "bench/bench_summary.h"
#include "events/event_publisher.h"
#include "media/gst_init.h"
#include "media/uri_camera.h"
#include "session/recording_session.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <mosquitto.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <set>
#include <vector>

using namespace kv;
using Clock = std::chrono::steady_clock;

namespace {

const QString kPrefix = QStringLiteral("bench/mqtt");

bool pumpUntil(const std::function<bool()>& done, int timeout_ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeout_ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done();
}

std::set<QString> threads() {
    const QStringList names =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    return {names.begin(), names.end()};
}

// User plus system time of threads of this process, in seconds.
double cpuSeconds(const std::set<QString>& tids) {
    double total = 0;
    for (const QString& tid : tids) {
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(tid));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12) {
            total += double(fields[11].toLongLong() + fields[12].toLongLong()) /
                     double(sysconf(_SC_CLK_TCK));
        }
    }
    return total;
}

struct Listener {
    std::mutex mutex;
    std::vector<Clock::time_point> starts;
};

void onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    const auto now = Clock::now();
    const QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
    if (payload.contains("\"movement_start\"")) {
        auto* listener = static_cast<Listener*>(self);
        std::lock_guard lock(listener->mutex);
        listener->starts.push_back(now);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int movements = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    QString error;
    if (!media::initGStreamer(&error)) {
        std::fprintf(stderr, "no GStreamer: %s\n", qPrintable(error));
        return 1;
    }

    QTemporaryDir dir;
    quint16 port = 0;
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        port = server.serverPort();
    }
    QFile config(dir.filePath(QStringLiteral("mosquitto.conf")));
    config.open(QIODevice::WriteOnly);
    config.write("listener " + QByteArray::number(port) + " 127.0.0.1\nallow_anonymous true\n");
    config.close();
    QProcess broker;
    broker.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), config.fileName()});
    if (!broker.waitForStarted(5000)) {
        std::fprintf(stderr, "no mosquitto\n");
        return 1;
    }
    QThread::msleep(500);

    mosquitto_lib_init();
    Listener listener;
    mosquitto* sub = mosquitto_new(nullptr, true, &listener);
    mosquitto_message_callback_set(sub, onMessage);
    if (mosquitto_connect(sub, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "the listener cannot connect\n");
        return 1;
    }
    mosquitto_subscribe(sub, nullptr, (kPrefix + QStringLiteral("/event")).toUtf8().constData(), 1);
    mosquitto_loop_start(sub);

    session::Settings settings;
    settings.AVIPath = dir.filePath(QStringLiteral("rec/"));
    settings.RecInterval = 40;
    settings.Mode = 0;
    settings.Trigger = 200;
    settings.CaptureDeviceName = QStringLiteral("Bench");
    settings.MQTTHost = QStringLiteral("127.0.0.1");
    settings.MQTTPort = port;
    settings.MQTTTopic = kPrefix;
    media::setCommandLineCameras(
        {{QStringLiteral("Bench"), QStringLiteral("test:ball?width=640&height=480&framerate=25")}});
    session::RecordingSession session;
    session.apply(settings);
    session.setMode(0);
    session.resetRestartDelay(0);
    std::vector<Clock::time_point> firstFrames;
    QObject::connect(&session, &session::RecordingSession::movementStarted,
                     [&firstFrames] { firstFrames.push_back(Clock::now()); });

    const std::set<QString> before = threads();
    events::EventPublisher publisher(session, QString(),
                                     [&session](int mode) { session.setMode(mode); });
    publisher.apply(settings);
    if (!pumpUntil([&] { return publisher.connected(); }, 10000)) {
        std::fprintf(stderr, "the publisher cannot connect\n");
        return 1;
    }
    std::set<QString> network;
    for (const QString& tid : threads()) {
        if (!before.count(tid)) {
            network.insert(tid);
        }
    }

    // Idle: connected, no camera running.
    constexpr int kIdle_s = 10;
    const double cpu0 = cpuSeconds(network);
    pumpUntil([] { return false; }, kIdle_s * 1000);
    const double idlePercent = (cpuSeconds(network) - cpu0) / kIdle_s * 100.0;

    session.startUp();
    for (int i = 0; i < movements; ++i) {
        session.setMode(2);
        const std::size_t want = std::size_t(i + 1);
        if (!pumpUntil(
                [&] {
                    std::lock_guard lock(listener.mutex);
                    return listener.starts.size() >= want;
                },
                15000)) {
            break;
        }
        session.setMode(0);
        pumpUntil([] { return false; }, 300);
    }
    session.shutdown();
    mosquitto_disconnect(sub);
    mosquitto_loop_stop(sub, false);
    mosquitto_destroy(sub);

    std::vector<double> latencies;
    {
        std::lock_guard lock(listener.mutex);
        for (std::size_t i = 0; i < std::min(listener.starts.size(), firstFrames.size()); ++i) {
            latencies.push_back(
                std::chrono::duration<double, std::milli>(listener.starts[i] - firstFrames[i])
                    .count());
        }
    }
    std::sort(latencies.begin(), latencies.end());
    if (latencies.empty()) {
        std::fprintf(stderr, "no movement reached the broker\n");
        return 1;
    }
    const double median = latencies[latencies.size() / 2];
    const double worst = latencies.back();
    std::printf("%zu movements: first frame to movement_start median %.2f ms, worst %.2f ms\n",
                latencies.size(), median, worst);
    std::printf(
        "network thread idle (%zu new threads, clock ticks of 10 ms): %.4f %% of a core "
        "over %d s\n",
        network.size(), idlePercent, kIdle_s);
    bench::summary("MQTT: first frame to movement_start (worst)", bench::format("%.2f ms", worst),
                   "< 50 ms", worst < 50);
    bench::summary("MQTT: network thread idle", bench::format("%.3f %%", idlePercent), "< 0.1 %",
                   idlePercent < 0.1);
    publisher.stop();
    broker.terminate();
    broker.waitForFinished(5000);
    return 0;
}

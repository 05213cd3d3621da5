// The web page's figures:
// - a frame of a 720p MJPEG recording served (request to last byte, over
//   loopback, a new connection each time): goal under 5 ms;
// - processor time of the real headless recorder on a 720p camera (one frame
//   every 200 ms) with the page off, on with no viewer, and with one viewer of
//   the live picture: goal, the viewer under 5 % of a core and no viewer no
//   cost beyond the noise.
//
// kv_bench_web [seconds=15]

#include "app/settings_store.h"
#include "bench/bench_summary.h"
#include "bench/process_cpu.h"
#include "media/gst_init.h"
#include "session/record_policy.h"
#include "tests/support/avi_writer.h"
#include "tests/web/http_get.h"
#include "web/web_server.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <random>

using namespace kv;

namespace {

constexpr int kWarmUp_s = 6;

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Milliseconds per frame request: median and 95th percentile.
std::optional<std::pair<double, double>> frameServing() {
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/rec/");
    QDir().mkpath(folder);
    constexpr int kFrames = 60;
    if (!test::writeTestAvi({folder + QStringLiteral("261209_WE01.avi"),
                             QStringLiteral("jpegenc quality=80"), kFrames, 1280, 720, true})) {
        return std::nullopt;
    }
    const quint16 port = freePort();
    web::WebServer server;
    server.configure({QStringLiteral("127.0.0.1:%1").arg(port), {}, {}, {}, {}, folder});
    QElapsedTimer wait;
    wait.start();
    while (test::httpGet(port, "/api/status", {}, 500).status == 0 && wait.elapsed() < 10000) {
        QThread::msleep(20);
    }
    std::mt19937 random(7);
    std::vector<double> times;
    for (int i = 0; i < 300; ++i) {
        const QByteArray path = "/recordings/261209_WE01/frames/" +
                                QByteArray::number(int(random() % kFrames)) + ".jpg";
        QElapsedTimer timer;
        timer.start();
        const test::HttpAnswer answer = test::httpGet(port, path);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (answer.status != 200 || !answer.body.startsWith("\xff\xd8")) {
            return std::nullopt;
        }
        if (i >= 20) {  // the first ones read the index and warm the page cache
            times.push_back(ms);
        }
    }
    std::sort(times.begin(), times.end());
    return std::make_pair(times[times.size() / 2], times[times.size() * 95 / 100]);
}

struct Home {
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    explicit Home(const QString& listen) {
        env.insert(QStringLiteral("HOME"), dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path() + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path() + QStringLiteral("/run"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        QDir().mkpath(dir.path() + QStringLiteral("/run"));
        QFile::setPermissions(dir.path() + QStringLiteral("/run"), QFileDevice::ReadOwner |
                                                                       QFileDevice::WriteOwner |
                                                                       QFileDevice::ExeOwner);
        qputenv("XDG_CONFIG_HOME", (dir.path() + QStringLiteral("/.config")).toLocal8Bit());
        session::Settings settings;
        settings.Mode = session::StatePause;
        settings.Trigger = 30000;  // watching only: nothing is recorded
        settings.RecInterval = 200;
        settings.AVIPath = dir.path() + QStringLiteral("/rec/");
        settings.WebListen = listen;
        app::SettingsStore().save(settings, nullptr);
    }
};

struct CpuRun {
    std::optional<double> idle_s;     // no viewer
    std::optional<double> watched_s;  // one viewer
    int parts = 0;
};

CpuRun recorderCpu(bool web, int seconds) {
    const quint16 port = freePort();
    Home home(web ? QStringLiteral("127.0.0.1:%1").arg(port) : QString());
    QProcess program;
    program.setProcessEnvironment(home.env);
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(QProcess::nullDevice());
    program.start(QStringLiteral(KV_PROGRAM_PATH),
                  {QStringLiteral("--headless"), QStringLiteral("--camera"),
                   QStringLiteral("Bench=test:ball?width=1280&height=720&framerate=10")});
    CpuRun run;
    if (!program.waitForStarted(10000)) {
        return run;
    }
    QThread::sleep(kWarmUp_s);
    const std::optional<double> a = kv::bench::processCpuSeconds(program.processId());
    QThread::sleep(seconds);
    const std::optional<double> b = kv::bench::processCpuSeconds(program.processId());
    if (a && b) {
        run.idle_s = *b - *a;
    }
    if (web) {
        test::HttpStream live(port, "/live.mjpg", {});
        live.nextPart();
        const std::optional<double> c = kv::bench::processCpuSeconds(program.processId());
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < seconds * 1000) {
            if (!live.nextPart(2000).isEmpty()) {
                ++run.parts;
            }
        }
        const std::optional<double> d = kv::bench::processCpuSeconds(program.processId());
        if (c && d) {
            run.watched_s = *d - *c;
        }
    }
    program.terminate();
    program.waitForFinished(20000);
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 15;
    QString error;
    if (!media::initGStreamer(&error)) {
        std::fprintf(stderr, "kv_bench_web: %s\n", qPrintable(error));
        return 1;
    }

    const auto serving = frameServing();
    if (!serving) {
        std::fprintf(stderr, "kv_bench_web: frames were not served\n");
        return 1;
    }
    std::printf("720p MJPEG frame by HTTP, new connection each: median %.2f ms, 95 %% %.2f ms\n",
                serving->first, serving->second);
    bench::summary("web: 720p MJPEG frame served (95 %)", bench::format("%.2f ms", serving->second),
                   "< 5 ms", serving->second < 5.0);

    const CpuRun off = recorderCpu(false, seconds);
    const CpuRun on = recorderCpu(true, seconds);
    if (!off.idle_s || !on.idle_s || !on.watched_s) {
        std::fprintf(stderr, "kv_bench_web: the recorder did not run\n");
        return 1;
    }
    const auto percent = [seconds](double s) { return 100.0 * s / seconds; };
    std::printf("headless recorder, 720p camera at 10 frames/s, RecInterval 200, %d s each:\n",
                seconds);
    std::printf("  page off:              %5.1f %% of a core\n", percent(*off.idle_s));
    std::printf("  page on, no viewer:    %5.1f %% of a core\n", percent(*on.idle_s));
    std::printf("  page on, one viewer:   %5.1f %% of a core (%d parts, %.1f frames/s)\n",
                percent(*on.watched_s), on.parts, double(on.parts) / seconds);
    const double viewer = percent(*on.watched_s - *on.idle_s);
    const double idle = percent(*on.idle_s - *off.idle_s);
    bench::summary("web: one live viewer at 720p, 5 frames/s",
                   bench::format("%.1f %% of a core", viewer), "< 5 %", viewer < 5.0);
    bench::summary("web: page on without a viewer", bench::format("%+.1f %% of a core", idle),
                   "no cost (noise < 1 %)", idle < 1.0);
    return 0;
}

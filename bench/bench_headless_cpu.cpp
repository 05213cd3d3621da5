// Processor time of the real program recording a 1280x720 30 frames/s camera
// (mode On movement, one frame a second): headless against the desktop
// program with its window, each in a process of its own with the same
// settings, measured from /proc over the same time after a warm-up. The
// window runs on Xvfb when there is one (as a desktop would draw it), else
// on the off-screen platform.
// Goal: headless under 0.9 x the desktop program.
//
// kv_bench_headless_cpu [seconds=20]

#include "app/settings_store.h"
#include "bench/bench_summary.h"
#include "bench/process_cpu.h"
#include "session/record_policy.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

#include <cstdio>
#include <optional>

using namespace kv;

namespace {

constexpr int kWarmUp_s = 6;
const QString kCamera = QStringLiteral("Bench=test:ball?width=1280&height=720&framerate=30");

struct Home {
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    Home() {
        env.insert(QStringLiteral("HOME"), dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path() + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path() + QStringLiteral("/run"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        QDir().mkpath(dir.path() + QStringLiteral("/run"));
        QFile::setPermissions(dir.path() + QStringLiteral("/run"), QFileDevice::ReadOwner |
                                                                       QFileDevice::WriteOwner |
                                                                       QFileDevice::ExeOwner);
        // The settings file where the program will look for it.
        qputenv("XDG_CONFIG_HOME", (dir.path() + QStringLiteral("/.config")).toLocal8Bit());
        session::Settings settings;
        settings.Mode = session::StatePause;
        settings.RecInterval = 1000;
        settings.AVIPath = dir.path() + QStringLiteral("/rec/");
        app::SettingsStore().save(settings, nullptr);
    }
};

// Seconds of processor time the program took over `seconds` after the warm-up.
std::optional<double> measure(const QStringList& arguments, const QProcessEnvironment& env,
                              int seconds) {
    QProcess program;
    program.setProcessEnvironment(env);
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(QProcess::nullDevice());
    program.start(QStringLiteral(KV_PROGRAM_PATH), arguments);
    if (!program.waitForStarted(10000)) {
        return std::nullopt;
    }
    QThread::sleep(kWarmUp_s);
    const std::optional<double> before = kv::bench::processCpuSeconds(program.processId());
    QThread::sleep(seconds);
    const std::optional<double> after = kv::bench::processCpuSeconds(program.processId());
    program.terminate();
    program.waitForFinished(20000);
    if (!before || !after) {
        return std::nullopt;
    }
    return *after - *before;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 20;
    const QStringList camera{QStringLiteral("--camera"), kCamera};

    std::optional<double> headless;
    {
        Home home;
        QProcessEnvironment env = home.env;
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        headless = measure(QStringList{QStringLiteral("--headless")} + camera, env, seconds);
    }

    std::optional<double> desktop;
    QString where;
    {
        Home home;
        QProcessEnvironment env = home.env;
        QProcess xvfb;
        const QString display = QStringLiteral(":%1").arg(150 + ::getpid() % 100);
        if (!QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
            xvfb.start(QStringLiteral("Xvfb"),
                       {display, QStringLiteral("-screen"), QStringLiteral("0"),
                        QStringLiteral("1920x1080x24"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp")});
        }
        if (xvfb.waitForStarted(5000)) {
            QThread::sleep(1);
            env.insert(QStringLiteral("DISPLAY"), display);
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
            where = QStringLiteral("on Xvfb");
        } else {
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            where = QStringLiteral("off screen");
        }
        desktop = measure(camera, env, seconds);
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    }

    if (!headless || !desktop) {
        std::fprintf(stderr, "kv_bench_headless_cpu: a program did not run\n");
        return 1;
    }
    std::printf("720p30 camera, mode On movement, RecInterval 1000, %d s after a %d s warm-up\n",
                seconds, kWarmUp_s);
    std::printf("  desktop (%s): %6.2f s CPU  (%.1f %% of a core)\n", qPrintable(where), *desktop,
                100.0 * *desktop / seconds);
    std::printf("  headless:          %6.2f s CPU  (%.1f %% of a core)\n", *headless,
                100.0 * *headless / seconds);
    const double ratio = *headless / *desktop;
    std::printf("  headless / desktop: %.2f (goal under 0.90): %s\n", ratio,
                ratio < 0.9 ? "met" : "NOT met");
    kv::bench::summary("headless CPU against the window, 720p camera",
                       kv::bench::format("%.2f", ratio), "< 0.90", ratio < 0.9);
    return 0;
}

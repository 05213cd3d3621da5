// From process start to the first whole frame in the file: the headless
// recorder (mode On, 640x480 30 frames/s test camera, MJPEG) against
// gst-launch-1.0 writing the same camera to an AVI file, each started five
// times in turn, medians. The file is watched from outside, as a user (or
// systemd restarting the recorder) would see it.
// Goal: the recorder's first frame no more than 0.5 s after gst-launch's,
// whose camera starts at once.
//
// kv_bench_startup [runs=5]

#include "app/settings_store.h"
#include "bench/bench_summary.h"
#include "record/avi_repair.h"
#include "session/record_policy.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

using namespace kv;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kTimeout_ms = 20000;

// Whether the file holds at least one whole frame (read, never changed).
bool hasFrame(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = file.readAll();
    record::MemoryStorage copy(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    return record::repairAvi(copy).frames > 0;
}

// Starts the program and returns the milliseconds until an AVI file in
// folder holds a frame.
std::optional<double> timeToFirstFrame(const QString& program, const QStringList& arguments,
                                       const QProcessEnvironment& env, const QString& folder) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    std::optional<double> found;
    while (process.state() != QProcess::NotRunning && timer.elapsed() < kTimeout_ms) {
        const QStringList files = QDir(folder).entryList({QStringLiteral("*.avi")}, QDir::Files);
        if (!files.isEmpty() && hasFrame(folder + u'/' + files.first())) {
            found = double(timer.nsecsElapsed()) / 1e6;
            break;
        }
        QThread::usleep(500);
    }
    process.terminate();
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(5000);
    }
    return found;
}

std::optional<double> headlessOnce() {
    QTemporaryDir home;
    const QString config = home.path() + QStringLiteral("/.config");
    const QString folder = home.path() + QStringLiteral("/rec");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path() + QStringLiteral("/run"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QDir().mkpath(home.path() + QStringLiteral("/run"));
    QFile::setPermissions(home.path() + QStringLiteral("/run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    session::Settings settings;
    settings.Mode = session::StateRecord;
    settings.RecInterval = 40;
    settings.AVIPath = folder + u'/';
    app::SettingsStore().save(settings, nullptr);
    QDir().mkpath(folder);
    return timeToFirstFrame(QStringLiteral(KV_PROGRAM_PATH),
                            {QStringLiteral("--headless"), QStringLiteral("--camera"),
                             QStringLiteral("Bench=test:ball?width=%1&height=%2&framerate=30")
                                 .arg(kWidth)
                                 .arg(kHeight)},
                            env, folder);
}

std::optional<double> gstLaunchOnce() {
    QTemporaryDir folder;
    const QString pipeline =
        QStringLiteral(
            "videotestsrc is-live=true pattern=ball ! video/x-raw,width=%1,height=%2,"
            "framerate=30/1 ! videoconvert ! video/x-raw,format=I420 ! jpegenc ! "
            "avimux ! filesink buffer-mode=unbuffered location=%3/peer.avi")
            .arg(kWidth)
            .arg(kHeight)
            .arg(folder.path());
    return timeToFirstFrame(QStringLiteral("gst-launch-1.0"),
                            QProcess::splitCommand(QStringLiteral("-q ") + pipeline),
                            QProcessEnvironment::systemEnvironment(), folder.path());
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<double> ours;
    std::vector<double> peer;
    for (int run = 0; run < runs; ++run) {
        const std::optional<double> a = headlessOnce();
        const std::optional<double> b = gstLaunchOnce();
        if (!a || !b) {
            std::fprintf(stderr, "kv_bench_startup: %s wrote no frame in %d s\n",
                         a ? "gst-launch-1.0" : "the headless recorder", kTimeout_ms / 1000);
            return 1;
        }
        std::printf("  run %d: headless %7.1f ms, gst-launch %7.1f ms\n", run + 1, *a, *b);
        ours.push_back(*a);
        peer.push_back(*b);
    }
    const double a = median(ours);
    const double b = median(peer);
    std::printf("process start to the first frame in the file, %dx%d 30/s MJPEG, median of %d:\n",
                kWidth, kHeight, runs);
    std::printf(
        "  headless recorder %7.1f ms\n  gst-launch-1.0    %7.1f ms\n  later by %7.1f ms "
        "(goal at most 500)\n",
        a, b, a - b);
    kv::bench::summary("start-up to the first frame in the file, headless",
                       kv::bench::format("%.0f ms (gst-launch %.0f ms)", a, b),
                       "<= gst-launch + 500 ms", a - b <= 500);
    return 0;
}

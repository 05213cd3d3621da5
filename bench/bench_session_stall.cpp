// The worst stall of the main loop while the recorder meets trouble: a
// network camera that refuses, closes its stream, hangs from the start or in
// the middle, and comes back; and H.264 1080p files rotating every 2 s. A
// 5 ms timer on the main loop measures how late it fires. A plain program
// that prints its figures.
//
// kv_bench_session_stall [--no-h264]

#include "bench/bench_summary.h"
#include "media/gst_init.h"
#include "media/uri_camera.h"
#include "record/record_graph.h"
#include "session/recording_session.h"
#include "tests/support/http_camera.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

using namespace kv;

namespace {

// How late a 5 ms timer fires, worst case, since the last reset.
class StallMeter {
  public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 gap = clock_.restart();
            worst_ms_ = std::max(worst_ms_, gap - 5);
        });
        clock_.start();
        timer_.start();
    }
    void reset() {
        worst_ms_ = 0;
        clock_.restart();
    }
    qint64 worst_ms() const { return worst_ms_; }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 worst_ms_ = 0;
};

void run(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

bool runUntil(const std::function<bool()>& done, int timeout_ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeout_ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done();
}

// A session on one camera with its record timer running as the window runs it.
struct Recorder {
    Recorder(const QString& name, const QString& uri, session::Settings config) {
        media::setCommandLineCameras({{name, uri}});
        config.CaptureDeviceName = name;
        session = std::make_unique<session::RecordingSession>();
        session->apply(config);
        session->setMode(config.Mode);
        session->resetRestartDelay(0);
        QObject::connect(&tick, &QTimer::timeout, [this] { session->RecordTimerTimer(); });
        tick.start(1000);
    }
    ~Recorder() {
        tick.stop();
        session->shutdown();
        session.reset();
        media::clearUriCameras();
    }
    QTimer tick;
    std::unique_ptr<session::RecordingSession> session;
};

// The worst stall of the phases since the last summary.
long long scenarioWorst_ms = 0;

void phase(StallMeter& meter, const char* name, const std::function<void()>& action, int ms,
           const std::function<bool()>& until = {}) {
    meter.reset();
    QElapsedTimer timer;
    timer.start();
    action();
    bool reached = true;
    if (until) {
        reached = runUntil(until, ms);
    } else {
        run(ms);
    }
    scenarioWorst_ms = std::max(scenarioWorst_ms, meter.worst_ms());
    std::printf("  %-46s worst stall %4lld ms%s (%.1f s)\n", name, meter.worst_ms(),
                reached ? "" : ", not reached", timer.elapsed() / 1000.0);
}

// A stall this long is seen as a frozen window.
constexpr long long kStallGoal_ms = 100;

void summarise(const char* scenario) {
    bench::summary(std::string("worst main-loop stall, ") + scenario,
                   bench::format("%lld ms", scenarioWorst_ms),
                   bench::format("< %lld ms", kStallGoal_ms), scenarioWorst_ms < kStallGoal_ms);
    scenarioWorst_ms = 0;
}

void networkCamera(StallMeter& meter, const QString& folder) {
    std::printf("network camera, MJPEG over HTTP, RecInterval 200\n");
    test::HttpCamera camera(QSize(640, 480), 15);
    session::Settings config;
    config.AVIPath = folder;
    config.Mode = session::StateRecord;
    config.RecInterval = 200;
    Recorder recorder(QStringLiteral("Door"), camera.url(), config);
    session::RecordingSession& s = *recorder.session;
    phase(
        meter, "start and record 5 frames", [] {}, 15000, [&] { return s.recordedFrames() >= 5; });
    phase(
        meter, "closes its stream and refuses: lost",
        [&] {
            camera.closeConnections();
            camera.setMode(test::HttpCamera::Mode::Refuse);
        },
        8000, [&] { return s.cameraLost(); });
    phase(
        meter, "refusing retries for 5 s", [] {}, 5000);
    phase(
        meter, "back: recording again", [&] { camera.setMode(test::HttpCamera::Mode::Serve); },
        15000, [&] { return !s.cameraLost() && s.recordedFrames() >= 3; });
    phase(
        meter, "hangs mid-stream: lost", [&] { camera.setMode(test::HttpCamera::Mode::Hang); },
        10000, [&] { return s.cameraLost(); });
    phase(
        meter, "hung retries for 20 s", [] {}, 20000);
    phase(
        meter, "back: recording again", [&] { camera.setMode(test::HttpCamera::Mode::Serve); },
        40000, [&] { return !s.cameraLost() && s.recordedFrames() >= 3; });
}

void hungFromTheStart(StallMeter& meter, const QString& folder) {
    std::printf("network camera that hangs from the first connection\n");
    test::HttpCamera camera(QSize(320, 240), 10);
    camera.setMode(test::HttpCamera::Mode::Hang);
    session::Settings config;
    config.AVIPath = folder;
    config.Mode = session::StateRecord;
    config.RecInterval = 200;
    meter.reset();
    Recorder recorder(QStringLiteral("Gate"), camera.url(), config);
    phase(
        meter, "first 20 s", [] {}, 20000);
}

void h264Rotation(StallMeter& meter, const QString& folder) {
    std::printf("H.264 1080p at 25 frames/s, a new file every 50 frames\n");
    session::Settings config;
    config.AVIPath = folder;
    config.Mode = session::StateRecord;
    config.RecInterval = 40;
    config.Compressor = QStringLiteral("H.264 Compressor");
    config.MaxRecordSamples = 50;
    Recorder recorder(QStringLiteral("Ball"),
                      QStringLiteral("test:ball?width=1920&height=1080&framerate=25"), config);
    int rotations = 0;
    QObject::connect(recorder.session.get(), &session::RecordingSession::recordingFinished,
                     [&rotations] { ++rotations; });
    phase(
        meter, "20 s of recording with rotations", [] {}, 20000);
    std::printf("  files finished in the background: %d\n", rotations);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QString error;
    if (!media::initGStreamer(&error)) {
        std::fprintf(stderr, "GStreamer did not start: %s\n", qPrintable(error));
        return 1;
    }
    const bool h264 = !QCoreApplication::arguments().contains(QStringLiteral("--no-h264"));
    QTemporaryDir dir;
    StallMeter meter;
    networkCamera(meter, dir.filePath(QStringLiteral("net/")));
    summarise("network camera refuses, closes, hangs, returns");
    hungFromTheStart(meter, dir.filePath(QStringLiteral("hung/")));
    summarise("network camera hung from the start");
    if (h264) {
        h264Rotation(meter, dir.filePath(QStringLiteral("h264/")));
        summarise("H.264 1080p files rotating");
    }
    return 0;
}

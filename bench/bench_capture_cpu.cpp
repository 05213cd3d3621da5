// Processor time of watching a 1280x720 30 frames/s camera with a 1000 ms
// interval: the capture pipeline (CaptureGraph and its TGrabberCallback)
// against three plain pipelines on the same source, for a raw test camera, an
// MJPEG file camera and an MJPEG network camera:
//   source alone   the source in the camera's own format (YUY2 for the test
//                  camera, undecoded JPEG paced in real time for the file,
//                  demuxed JPEG parts for the network camera) into a fakesink;
//   every frame    the same, every frame decoded and converted to BGR;
//   one a second   the same, but only the first frame of each second decoded
//                  and converted: the least any pipeline could do.
// Processor time is the whole process's (every thread), three runs each;
// min / median / max. The network camera is served by a child process, so its
// drawing and encoding are not counted.
// Goals: MJPEG cameras under 2 x their source alone; the raw camera at most
// 1.1 x its source alone.
//
// kv_bench_capture_cpu [seconds=6 [camera label part: test, file, http]]

#include "bench/bench_summary.h"
#include "capture/capture_graph.h"
#include "capture/grabber_callback.h"
#include "media/gst_handle.h"
#include "media/gst_init.h"
#include "media/uri_camera.h"
#include "tests/support/http_camera.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>

using namespace Qt::Literals::StringLiterals;
using namespace kv;

namespace {

constexpr int kWarmUp_ms = 1500;
constexpr int kRuns = 3;
constexpr int kClipFrames = 900;  // 30 s: no loop within one measurement
constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kRate = 30;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the event loop, asleep between events, so that waiting costs nothing.
void runEvents(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU seconds of the whole process over `seconds`, after a warm-up.
double measure(int seconds) {
    runEvents(kWarmUp_ms);
    const double before = cpuSeconds();
    runEvents(seconds * 1000);
    return cpuSeconds() - before;
}

struct Spread {
    std::array<double, kRuns> cpu{};
    int runs = 0;
    double median() const {
        std::array<double, kRuns> sorted = cpu;
        std::sort(sorted.begin(), sorted.begin() + runs);
        return runs ? sorted[runs / 2] : 0;
    }
    double min() const { return runs ? *std::min_element(cpu.begin(), cpu.begin() + runs) : 0; }
    double max() const { return runs ? *std::max_element(cpu.begin(), cpu.begin() + runs) : 0; }
};

// Passes the first buffer of each second and drops the rest before anything
// downstream decodes it. Wall time, since network parts carry no timestamps.
GstPadProbeReturn onePerSecond(GstPad*, GstPadProbeInfo*, gpointer data) {
    auto* next = static_cast<gint64*>(data);
    const gint64 now = g_get_monotonic_time();
    if (now < *next) {
        return GST_PAD_PROBE_DROP;
    }
    *next = now + G_USEC_PER_SEC;
    return GST_PAD_PROBE_OK;
}

// A gst-launch description, run for one measurement. A "throttle" element, if
// there is one, lets one frame a second through its source pad.
bool runLaunch(const QString& description, int seconds, double& cpu) {
    GError* raw = nullptr;
    media::Element pipeline =
        media::adopt(gst_parse_launch(description.toUtf8().constData(), &raw));
    media::Error error = media::adopt(raw);
    if (!pipeline || error) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(description),
                     error ? error->message : "cannot build");
        return false;
    }
    gint64 next = 0;
    if (media::Element throttle =
            media::adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "throttle"))) {
        media::Pad pad = media::adopt(gst_element_get_static_pad(throttle.get(), "src"));
        gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, &onePerSecond, &next, nullptr);
    }
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        std::fprintf(stderr, "%s: does not play\n", qPrintable(description));
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        return false;
    }
    cpu = measure(seconds);
    media::Bus bus = media::adopt(gst_element_get_bus(pipeline.get()));
    media::Message failure = media::adopt(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    if (failure) {
        std::fprintf(stderr, "%s: failed while measured\n", qPrintable(description));
        return false;
    }
    return true;
}

// The capture pipeline as the program runs it: the camera bound by name,
// format 0, frames accepted once per 1000 ms.
bool runCapture(const QString& uri, int seconds, double& cpu, int& frames) {
    media::setCommandLineCameras({{u"Cam"_s, uri}});
    std::atomic<int> notified{0};
    capture::TGrabberCallback grabber(1125, [&notified] { ++notified; });
    capture::CaptureGraph graph(grabber);
    QString name = u"Cam"_s;
    if (graph.build(name, 0, 0, false) != capture::CaptureBuild::Running) {
        std::fprintf(stderr, "%s: the capture pipeline does not run\n", qPrintable(uri));
        media::clearUriCameras();
        return false;
    }
    grabber.setInterval(1000);
    grabber.setEnabled(true);
    runEvents(kWarmUp_ms);
    const int before = notified.load();
    const double start = cpuSeconds();
    runEvents(seconds * 1000);
    cpu = cpuSeconds() - start;
    frames = notified.load() - before;
    const bool lost = graph.lost();
    grabber.setEnabled(false);
    graph.close();
    media::clearUriCameras();
    return !lost;
}

bool makeClip(const QString& path) {
    const QString description =
        u"videotestsrc pattern=ball num-buffers=%1 ! "
        "video/x-raw,width=%2,height=%3,framerate=%4/1 ! jpegenc ! avimux ! "
        "filesink location=\"%5\""_s.arg(kClipFrames)
            .arg(kWidth)
            .arg(kHeight)
            .arg(kRate)
            .arg(path);
    GError* raw = nullptr;
    media::Element pipeline =
        media::adopt(gst_parse_launch(description.toUtf8().constData(), &raw));
    media::Error error = media::adopt(raw);
    if (!pipeline || error) {
        return false;
    }
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    media::Bus bus = media::adopt(gst_element_get_bus(pipeline.get()));
    media::Message message = media::adopt(gst_bus_timed_pop_filtered(
        bus.get(), 120 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    const bool ok = message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return ok;
}

struct Camera {
    const char* label;
    QString uri;     // for the capture pipeline
    QString source;  // the source alone, without its sink
    QString decode;  // from the source's frames to raw video ("" for raw sources)
    double goal;     // ours / source alone
};

void printRow(const char* what, const Spread& s) {
    std::printf("  %-30s %6.2f %6.2f %6.2f\n", what, s.min(), s.median(), s.max());
}

// Measures one camera: its three peers and the capture pipeline, run after
// run so that a change of load hits them all alike.
bool benchCamera(const Camera& camera, int seconds) {
    const QString toBgr = u"videoconvert ! video/x-raw,format=BGR ! fakesink"_s;
    const QString decode = camera.decode.isEmpty() ? QString() : camera.decode + u" ! "_s;
    const QString alone = camera.source + u" ! fakesink"_s;
    const QString everyFrame = camera.source + u" ! "_s + decode + toBgr;
    const QString oneASecond =
        camera.source + u" ! identity name=throttle silent=true ! "_s + decode + toBgr;
    Spread sourceAlone, every, onePerSecondPeer, ours;
    int frames = 0;
    bool ok = true;
    for (int run = 0; run < kRuns; ++run) {
        ok = runLaunch(alone, seconds, sourceAlone.cpu[run]) && ok;
        ok = runLaunch(everyFrame, seconds, every.cpu[run]) && ok;
        ok = runLaunch(oneASecond, seconds, onePerSecondPeer.cpu[run]) && ok;
        int handed = 0;
        ok = runCapture(camera.uri, seconds, ours.cpu[run], handed) && ok;
        frames = std::max(frames, handed);
        for (Spread* s : {&sourceAlone, &every, &onePerSecondPeer, &ours}) {
            s->runs = run + 1;
        }
    }
    std::printf("%s (CPU s over %d s: min median max)\n", camera.label, seconds);
    printRow("source alone", sourceAlone);
    printRow("decode + convert every frame", every);
    printRow("decode + convert one a second", onePerSecondPeer);
    printRow("capture pipeline", ours);
    std::printf("  frames handed over in %d s: %d (expected about %d)\n", seconds, frames, seconds);
    const double ratio = sourceAlone.median() > 0 ? ours.median() / sourceAlone.median() : 0;
    const double toEvery = every.median() > 0 ? ours.median() / every.median() : 0;
    const double toIdeal =
        onePerSecondPeer.median() > 0 ? ours.median() / onePerSecondPeer.median() : 0;
    std::printf("  capture / source alone %.2f x, / every frame %.2f x, / one a second %.2f x\n",
                ratio, toEvery, toIdeal);
    bench::summary(
        std::string("capture CPU, ") + camera.label + ", against its source alone",
        bench::format("%.2f x (every frame %.2f x)", ratio,
                      sourceAlone.median() > 0 ? every.median() / sourceAlone.median() : 0.0),
        bench::format("< %.1f x", camera.goal), ok && ratio < camera.goal);
    // The floor: the source plus one decode and conversion a second.
    bench::summary(std::string("capture CPU, ") + camera.label + ", against one decode a second",
                   bench::format("%.2f x", toIdeal), "< 1.3 x", ok && toIdeal < 1.3);
    return ok;
}

// The child process: an MJPEG network camera until it is killed.
int serve(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    test::HttpCamera camera(QSize(kWidth, kHeight), kRate);
    if (!camera.isListening()) {
        return 1;
    }
    std::printf("%s\n", qPrintable(camera.url()));
    std::fflush(stdout);
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--serve") {
        return serve(argc, argv);
    }
    QCoreApplication app(argc, argv);
    QString error;
    if (!media::initGStreamer(&error)) {
        std::fprintf(stderr, "GStreamer did not start: %s\n", qPrintable(error));
        return 1;
    }
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 6;
    QTemporaryDir dir;
    const QString clip = dir.path() + u"/clip.avi"_s;
    if (!dir.isValid() || !makeClip(clip)) {
        std::fprintf(stderr, "cannot make the MJPEG clip\n");
        return 1;
    }
    QProcess server;
    server.start(QCoreApplication::applicationFilePath(), {u"--serve"_s});
    if (!server.waitForReadyRead(10000)) {
        std::fprintf(stderr, "the network camera does not start\n");
        return 1;
    }
    const QString url = QString::fromUtf8(server.readLine().trimmed());

    const QString size = u"width=%1,height=%2,framerate=%3/1"_s.arg(kWidth).arg(kHeight).arg(kRate);
    const Camera cameras[] = {
        {"test: camera (raw YUY2)",
         u"test:ball?width=%1&height=%2&framerate=%3"_s.arg(kWidth).arg(kHeight).arg(kRate),
         u"videotestsrc is-live=true pattern=ball ! video/x-raw,format=YUY2,"_s + size,
         {},
         1.1},
        {"file:// MJPEG camera", QUrl::fromLocalFile(clip).toString(),
         u"filesrc location=\"%1\" ! avidemux ! clocksync sync=true sync-to-first=true"_s.arg(clip),
         u"jpegdec"_s, 2.0},
        {"http:// MJPEG camera", url,
         u"souphttpsrc is-live=true location=%1 ! multipartdemux single-stream=true"_s.arg(url),
         u"jpegdec"_s, 2.0},
    };
    std::printf("%dx%d at %d frames/s, %d s each after %d ms warm-up, 1000 ms interval, %d runs\n",
                kWidth, kHeight, kRate, seconds, kWarmUp_ms, kRuns);
    bool ok = true;
    // A second argument picks the cameras whose label contains it.
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    for (const Camera& camera : cameras) {
        if (!QString::fromUtf8(camera.label).contains(only)) {
            continue;
        }
        ok = benchCamera(camera, seconds) && ok;
    }
    server.kill();
    server.waitForFinished();
    return ok ? 0 : 1;
}

// Processor time of watching a 1280x720 30 frames/s camera with a 1000 ms
// interval: the capture pipeline (CaptureGraph and its TGrabberCallback)
// against two plain pipelines on the same source, all run in this process
// one after the other and measured with getrusage over the same time:
//   (a) the source alone:   videotestsrc is-live=true pattern=ball ! caps ! fakesink
//   (b) every frame to BGR: ... ! videoconvert ! video/x-raw,format=BGR ! fakesink
// once for a "test:" camera and once for a "file://" camera holding a short
// MJPEG AVI made first with jpegenc ! avimux. For the file camera the
// camera's own source bin alone and the undecoded file alone are measured too,
// and, since (a) and (b) leave videotestsrc to pick its own format (a 64-bit
// one for (a), BGR itself for (b), so that (b) converts nothing), the same
// two with the source in the camera's format YUY2: (a') and (b').
// Goals: at most 1.1 x (a) and at most 0.7 x (b).
//
// kv_bench_capture_cpu [seconds=20]

#include "capture/capture_graph.h"
#include "capture/grabber_callback.h"
#include "media/gst_handle.h"
#include "media/gst_init.h"
#include "media/uri_camera.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>

using namespace Qt::Literals::StringLiterals;
using namespace kv;

namespace {

constexpr int kWarmUp_ms = 2000;
constexpr int kClipFrames = 900;  // 30 s: no loop within one measurement

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

struct Figure {
    double cpu = 0;
    double wall = 0;
};

// CPU seconds of the whole process over `seconds`, after a warm-up.
Figure measure(int seconds) {
    runEvents(kWarmUp_ms);
    QElapsedTimer wall;
    const double before = cpuSeconds();
    wall.start();
    runEvents(seconds * 1000);
    return {cpuSeconds() - before, double(wall.elapsed()) / 1000.0};
}

QString capsOf(GstElement* pipeline, const char* sinkName) {
    media::Element sink = media::adopt(gst_bin_get_by_name(GST_BIN(pipeline), sinkName));
    if (!sink) {
        return {};
    }
    media::Pad pad = media::adopt(gst_element_get_static_pad(sink.get(), "sink"));
    media::Caps caps = media::adopt(gst_pad_get_current_caps(pad.get()));
    if (!caps) {
        return u"(no caps)"_s;
    }
    const GstStructure* s = gst_caps_get_structure(caps.get(), 0);
    const char* format = gst_structure_get_string(s, "format");
    return QString::fromUtf8(gst_structure_get_name(s)) + u' ' +
           QString::fromUtf8(format ? format : "");
}

// A gst-launch description, run for the measurement.
bool runLaunch(const char* label, const QString& description, int seconds, Figure& figure) {
    GError* raw = nullptr;
    media::Element pipeline =
        media::adopt(gst_parse_launch(description.toUtf8().constData(), &raw));
    media::Error error = media::adopt(raw);
    if (!pipeline || error) {
        std::fprintf(stderr, "%s: %s\n", label, error ? error->message : "cannot build");
        return false;
    }
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        std::fprintf(stderr, "%s: does not play\n", label);
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        return false;
    }
    figure = measure(seconds);
    const QString caps = capsOf(pipeline.get(), "out");
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    std::printf("  %-36s %6.2f CPU s in %5.1f s   [%s]\n", label, figure.cpu, figure.wall,
                qPrintable(caps));
    return true;
}

// The camera's own source bin into a fakesink: what the camera costs before
// the capture pipeline does anything.
bool runCameraBin(const char* label, const QString& uri, int seconds, Figure& figure) {
    media::Element pipeline = media::adopt(gst_pipeline_new(nullptr));
    media::Element source = media::createUriCameraSource({u"Cam"_s, uri});
    media::Element sink = media::adopt(gst_element_factory_make("fakesink", "out"));
    if (!source || !sink) {
        std::fprintf(stderr, "%s: cannot build\n", label);
        return false;
    }
    g_object_set(sink.get(), "sync", FALSE, nullptr);
    gst_bin_add(GST_BIN(pipeline.get()), source.get());
    gst_bin_add(GST_BIN(pipeline.get()), sink.get());
    if (!gst_element_link(source.get(), sink.get()) ||
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        std::fprintf(stderr, "%s: does not play\n", label);
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        return false;
    }
    figure = measure(seconds);
    const QString caps = capsOf(pipeline.get(), "out");
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    std::printf("  %-36s %6.2f CPU s in %5.1f s   [%s]\n", label, figure.cpu, figure.wall,
                qPrintable(caps));
    return true;
}

// The capture pipeline as the program runs it: the camera bound by name,
// format 0, frames accepted once per 1000 ms.
bool runCapture(const char* label, const QString& uri, int seconds, Figure& figure) {
    media::setCommandLineCameras({{u"Cam"_s, uri}});
    std::atomic<int> notified{0};
    capture::TGrabberCallback grabber(1125, [&notified] { ++notified; });
    capture::CaptureGraph graph(grabber);
    QString name = u"Cam"_s;
    if (graph.build(name, 0, 0, false) != capture::CaptureBuild::Running) {
        std::fprintf(stderr, "%s: the capture pipeline does not run\n", label);
        media::clearUriCameras();
        return false;
    }
    grabber.setInterval(1000);
    grabber.setEnabled(true);
    figure = measure(seconds);
    const media::BITMAPINFOHEADER& format = grabber.format().bmiHeader;
    const int frames = notified.load();
    grabber.setEnabled(false);
    graph.close();
    media::clearUriCameras();
    std::printf("  %-36s %6.2f CPU s in %5.1f s   [%dx%d, %d bit; %d frames handed over]\n", label,
                figure.cpu, figure.wall, int(format.biWidth), int(format.biHeight),
                int(format.biBitCount), frames);
    return true;
}

bool makeClip(const QString& path) {
    const QString description =
        u"videotestsrc pattern=ball num-buffers=%1 ! "
        "video/x-raw,width=1280,height=720,framerate=30/1 ! jpegenc ! avimux ! "
        "filesink location=\"%2\""_s.arg(kClipFrames)
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

void ratios(const char* label, const Figure& ours, const Figure& a, const Figure& b) {
    const double toA = a.cpu > 0 ? ours.cpu / a.cpu : 0;
    const double toB = b.cpu > 0 ? ours.cpu / b.cpu : 0;
    std::printf("  %s: %.2f x (a) [goal <= 1.10: %s], %.2f x (b) [goal <= 0.70: %s]\n", label, toA,
                toA <= 1.1 ? "met" : "NOT met", toB, toB <= 0.7 ? "met" : "NOT met");
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString error;
    if (!media::initGStreamer(&error)) {
        std::fprintf(stderr, "GStreamer did not start: %s\n", qPrintable(error));
        return 1;
    }
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    QTemporaryDir dir;
    const QString clip = dir.path() + u"/clip.avi"_s;
    if (!dir.isValid() || !makeClip(clip)) {
        std::fprintf(stderr, "cannot make the MJPEG clip\n");
        return 1;
    }
    const QString fileUri = QUrl::fromLocalFile(clip).toString();
    const QString source =
        u"videotestsrc is-live=true pattern=ball ! "
        "video/x-raw,width=1280,height=720,framerate=30/1"_s;

    std::printf("1280x720 at 30 frames/s, %d s each after %d ms warm-up, 1000 ms interval\n",
                seconds, kWarmUp_ms);
    Figure a, b, test, file, fileBin, fileRaw;
    bool ok = runLaunch("(a) source alone", source + u" ! fakesink name=out"_s, seconds, a);
    ok = runLaunch("(b) source, every frame to BGR",
                   source + u" ! videoconvert ! video/x-raw,format=BGR ! fakesink name=out"_s,
                   seconds, b) &&
         ok;
    ok = runCapture("capture, test: camera", u"test:ball?width=1280&height=720&framerate=30"_s,
                    seconds, test) &&
         ok;
    ok = runCapture("capture, file:// MJPEG camera", fileUri, seconds, file) && ok;
    // Context: the source in the camera's format 0, which the capture
    // pipeline gets from it (left alone, videotestsrc picks a 64-bit format).
    Figure yuy2;
    runLaunch("(a') source alone, YUY2", source + u",format=YUY2 ! fakesink name=out"_s, seconds,
              yuy2);
    // Left alone, (b)'s source draws BGR itself and nothing is converted.
    Figure yuy2ToBgr;
    runLaunch(
        "(b') YUY2 source, every frame to BGR",
        source + u",format=YUY2 ! videoconvert ! video/x-raw,format=BGR ! fakesink name=out"_s,
        seconds, yuy2ToBgr);
    // Context for the file camera.
    runLaunch("file alone, demuxed, not decoded",
              u"filesrc location=\"%1\" ! avidemux ! fakesink name=out sync=true"_s.arg(clip),
              seconds, fileRaw);
    runCameraBin("file camera's source bin alone", fileUri, seconds, fileBin);

    std::printf("Ratios:\n");
    ratios("test: camera", test, a, b);
    ratios("file:// camera", file, a, b);
    if (yuy2.cpu > 0) {
        std::printf("  against (a') YUY2 source alone: test: %.2f x, file:// %.2f x\n",
                    test.cpu / yuy2.cpu, file.cpu / yuy2.cpu);
    }
    if (yuy2ToBgr.cpu > 0) {
        std::printf("  against (b') YUY2 to BGR: test: %.2f x, file:// %.2f x\n",
                    test.cpu / yuy2ToBgr.cpu, file.cpu / yuy2ToBgr.cpu);
    }
    if (fileBin.cpu > 0) {
        std::printf("  file:// camera against its own source bin: %.2f x\n",
                    file.cpu / fileBin.cpu);
    }
    return ok ? 0 : 1;
}

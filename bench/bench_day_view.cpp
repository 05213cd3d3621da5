// What the day view's user waits for: a hover thumbnail of a 640x480 and a
// 1080p MJPEG recording (decoded straight from the frame's chunk, cold and
// from the index kept), through the background worker as the strip asks for
// it; and a click on the strip, from the click until the frame is shown on
// the Playback page (another recording loaded and seeked, as the page does).
// Two scenes: colour bars (small frames) and noise (the largest a camera
// gives). A plain program that prints its figures.

#include "bench/bench_summary.h"
#include "media/compressors.h"
#include "media/gst_handle.h"
#include "media/gst_init.h"
#include "playback/playback_graph.h"
#include "record/record_graph.h"
#include "review/frame_picture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kFrames = 300;
constexpr double kThumbnailGoal640_ms = 50;
constexpr double kThumbnailGoal1080_ms = 150;
constexpr double kClickGoal_ms = 100;

// A recording at the program's default MJPEG settings, from gst's test source.
bool write(const QString& path, int width, int height, const char* pattern) {
    const QByteArray description =
        QStringLiteral(
            "videotestsrc num-buffers=%1 pattern=%2 horizontal-speed=4 ! "
            "video/x-raw,width=%3,height=%4,framerate=25/1 ! videoconvert ! "
            "capsfilter name=input ! jpegenc name=encoder ! avimux ! filesink "
            "location=\"%5\"")
            .arg(kFrames)
            .arg(QLatin1String(pattern))
            .arg(width)
            .arg(height)
            .arg(path)
            .toUtf8();
    GError* error = nullptr;
    const kv::media::Element pipeline =
        kv::media::adopt(gst_parse_launch(description.constData(), &error));
    if (!pipeline || error) {
        std::fprintf(stderr, "cannot make the writer: %s\n", error ? error->message : "?");
        g_clear_error(&error);
        return false;
    }
    const kv::record::RecordGraphParams defaults;
    const kv::media::Element encoder =
        kv::media::adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "encoder"));
    const kv::media::Element input =
        kv::media::adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "input"));
    if (const kv::media::Caps caps = kv::media::compressorInputCaps(encoder.get())) {
        g_object_set(input.get(), "caps", caps.get(), nullptr);
    }
    kv::media::ApplyCompression(encoder.get(), u"MJPEG Compressor"_s, defaults.quality,
                                defaults.keyFrameRate);
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    const kv::media::Bus bus = kv::media::adopt(gst_element_get_bus(pipeline.get()));
    const kv::media::Message message = kv::media::adopt(gst_bus_timed_pop_filtered(
        bus.get(), 600 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double worst(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

// Hovering: a request to the worker until its picture arrives, each at a new
// frame (the kept pictures would answer at once).
std::vector<double> hovers(const QString& path, std::mt19937& random) {
    kv::review::FramePictures pictures;
    std::vector<double> times;
    std::uniform_int_distribution<qint64> frame(0, kFrames - 1);
    for (int i = 0; i < 40; ++i) {
        bool arrived = false;
        const QMetaObject::Connection c =
            QObject::connect(&pictures, &kv::review::FramePictures::ready, [&] { arrived = true; });
        QElapsedTimer timer;
        timer.start();
        pictures.request(path, frame(random), QSize(160, 120));
        while (!arrived && timer.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        QObject::disconnect(c);
    }
    return times;
}

// A click on the strip: another recording is loaded and the frame shown.
std::vector<double> clicks(const QStringList& files, std::mt19937& random) {
    kv::playback::PlaybackGraph graph(nullptr);
    graph.setLogFileName(QString());
    std::vector<double> times;
    std::uniform_int_distribution<qint64> frame(0, kFrames - 1);
    for (int i = 0; i < 20; ++i) {
        const QString& file = files[i % files.size()];
        const qint64 wanted = frame(random);
        QElapsedTimer timer;
        timer.start();
        graph.close();
        bool shown = false;
        const QMetaObject::Connection c =
            QObject::connect(&graph, &kv::playback::PlaybackGraph::loadFinished, [&] {
                graph.seekToFrame(wanted);
                shown = true;
            });
        graph.load(file);
        while (!shown && timer.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        QObject::disconnect(c);
        if (graph.position() != wanted) {
            std::fprintf(stderr, "click %d showed frame %lld, not %lld\n", i,
                         static_cast<long long>(graph.position()), static_cast<long long>(wanted));
        }
    }
    graph.close();
    return times;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    kv::media::initGStreamer();
    QTemporaryDir dir;
    std::mt19937 random(7);
    struct Case {
        const char* label;
        int width;
        int height;
        double goal;
    };
    const Case cases[] = {{"640x480", 640, 480, kThumbnailGoal640_ms},
                          {"1080p", 1920, 1080, kThumbnailGoal1080_ms}};
    QStringList clickFiles;
    for (const char* pattern : {"smpte", "snow"}) {
        for (const Case& c : cases) {
            const QString path =
                dir.filePath(u"%1_%2.avi"_s.arg(QLatin1String(c.label), QLatin1String(pattern)));
            if (!write(path, c.width, c.height, pattern)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
            if (c.width == 640) {
                clickFiles << path;
            }
            // Cold: the first request also reads the recording's index.
            QString error;
            QElapsedTimer cold;
            cold.start();
            const QImage first = kv::review::framePicture(path, kFrames / 2, {160, 120}, &error);
            const double cold_ms = double(cold.nsecsElapsed()) / 1e6;
            if (first.isNull()) {
                std::fprintf(stderr, "no picture: %s\n", qPrintable(error));
                return 1;
            }
            const std::vector<double> t = hovers(path, random);
            const qint64 frameBytes = QFileInfo(path).size() / kFrames;
            std::printf(
                "thumbnail %-7s %-5s  %4lld KB/frame  cold %6.2f ms  median %6.2f ms  "
                "worst %6.2f ms\n",
                c.label, pattern, static_cast<long long>(frameBytes / 1024), cold_ms, median(t),
                worst(t));
            if (std::string(pattern) == "snow") {
                kv::bench::summary(kv::bench::format("day view: hover thumbnail %s MJPEG", c.label),
                                   kv::bench::format("%.1f ms (worst %.1f)", median(t), worst(t)),
                                   kv::bench::format("<= %.0f ms", c.goal), worst(t) <= c.goal);
            }
        }
    }
    const std::vector<double> t = clicks(clickFiles, random);
    std::printf(
        "click to frame shown, 640x480 MJPEG, another file each time: median %6.2f ms  "
        "worst %6.2f ms\n",
        median(t), worst(t));
    kv::bench::summary("day view: click to frame shown 640x480",
                       kv::bench::format("%.1f ms (worst %.1f)", median(t), worst(t)),
                       kv::bench::format("<= %.0f ms", kClickGoal_ms), median(t) <= kClickGoal_ms);
    return 0;
}

// Recording 1080p frames with "MJPEG Compressor":
//  1. real time: one frame every 40 ms for 30 s, as the frame loop pushes
//     them; how many are dropped (goal 0), and what syncing the file to the
//     disk every two seconds costs (goal under 5 % of a core);
//  2. throughput: frames pushed as fast as the queue takes them, timed until
//     the file is finished; against ffmpeg's MJPEG encoder on the same frames
//     in the same run (goal: at least 1.3 times ffmpeg's rate).
//
// kv_bench_record [seconds=30] [throughput frames=250]

#include "media/frame.h"
#include "media/gst_handle.h"
#include "media/gst_init.h"
#include "record/record_graph.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gst/app/gstappsrc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using kv::media::BITMAPINFOHEADER;
using kv::record::RecordGraph;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kInterval_ms = 40;
constexpr int kDistinctFrames = 8;

// A camera-like picture: smooth gradients, a moving bright block and sensor
// noise, so that the encoder has real work. Rows bottom-up, as the frame loop
// hands them over.
std::vector<std::vector<std::uint8_t>> makeFrames(const BITMAPINFOHEADER& header) {
    std::vector<std::vector<std::uint8_t>> frames;
    const int stride = kv::media::frameStride(kWidth);
    std::uint32_t seed = 12345;
    for (int f = 0; f < kDistinctFrames; ++f) {
        std::vector<std::uint8_t> pixels(header.biSizeImage);
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* row = pixels.data() + std::ptrdiff_t(y) * stride;
            for (int x = 0; x < kWidth; ++x) {
                seed = seed * 1664525u + 1013904223u;
                const int noise = int(seed >> 28) - 8;
                const bool block = std::abs(x - 300 - f * 120) < 150 && std::abs(y - 540) < 150;
                const int base = block ? 230 : (x * 160 / kWidth + y * 60 / kHeight);
                row[x * 3 + 0] = std::uint8_t(std::clamp(base + noise, 0, 255));
                row[x * 3 + 1] = std::uint8_t(std::clamp(base / 2 + 40 + noise, 0, 255));
                row[x * 3 + 2] = std::uint8_t(std::clamp(200 - base / 2 + noise, 0, 255));
            }
        }
        frames.push_back(std::move(pixels));
    }
    return frames;
}

kv::record::RecordGraphParams mjpegParams(const QString& fileName) {
    kv::record::RecordGraphParams p;
    p.fileName = fileName;
    p.compressor = u"MJPEG Compressor"_s;
    p.quality = 0.8;
    p.keyFrameRate = 10;
    p.playInterval_ms = kInterval_ms;
    p.width = kWidth;
    p.height = kHeight;
    return p;
}

GstAppSrc* appsrcOf(const RecordGraph& graph) {
    kv::media::Element source = kv::media::adopt(
        gst_bin_get_by_name(GST_BIN(graph.pipeline()), "Sample Pusher Source Filter"));
    return source ? GST_APP_SRC(source.get()) : nullptr;  // the pipeline keeps it
}

int framesInFile(const QString& path) {
    QProcess ffprobe;
    ffprobe.start(u"ffprobe"_s,
                  {u"-v"_s, u"error"_s, u"-select_streams"_s, u"v:0"_s, u"-count_packets"_s,
                   u"-show_entries"_s, u"stream=nb_read_packets"_s, u"-of"_s, u"csv=p=0"_s, path});
    ffprobe.waitForFinished(120000);
    return ffprobe.readAllStandardOutput().trimmed().toInt();
}

void realTime(const QString& dir, const BITMAPINFOHEADER& header,
              const std::vector<std::vector<std::uint8_t>>& frames, int seconds) {
    const QString path = dir + u"/realtime.avi"_s;
    RecordGraph graph;
    bool writeFailed = false;
    QObject::connect(&graph, &RecordGraph::writeError, [&](const QString&, const QString& reason) {
        std::printf("write error: %s\n", qPrintable(reason));
        writeFailed = true;
    });
    graph.build(mjpegParams(path));
    const int total = seconds * 1000 / kInterval_ms;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < total && !writeFailed; ++i) {
        while (clock.elapsed() < qint64(i) * kInterval_ms) {
            QThread::usleep(500);
        }
        graph.push(frames[i % kDistinctFrames].data(), header, std::int64_t(kInterval_ms) * 10000);
        QCoreApplication::processEvents();
    }
    graph.close();
    const kv::record::RecordCounters c = graph.counters();
    std::printf(
        "real time, %d s at %d frames/s: %llu pushed, %llu dropped (goal 0), "
        "%llu failed; %d frames in the file\n",
        seconds, 1000 / kInterval_ms, (unsigned long long)c.pushed, (unsigned long long)c.dropped,
        (unsigned long long)c.failed, framesInFile(path));
    // Syncing the growing file to the disk every two seconds, on its own thread.
    const double syncCpu_s = double(graph.diskSync().cpuTime().count()) / 1e6;
    std::printf(
        "disk sync: %llu syncs of %.1f MB, %.3f s of processor time = %.2f %% of a core "
        "(goal under 5 %%)\n",
        (unsigned long long)graph.diskSync().syncs(), double(QFileInfo(path).size()) / 1e6,
        syncCpu_s, 100.0 * syncCpu_s / seconds);
}

double throughput(const QString& dir, const BITMAPINFOHEADER& header,
                  const std::vector<std::vector<std::uint8_t>>& frames, int count) {
    const QString path = dir + u"/throughput.avi"_s;
    RecordGraph graph;
    graph.build(mjpegParams(path));
    GstAppSrc* appsrc = appsrcOf(graph);
    const guint64 limit = gst_app_src_get_max_buffers(appsrc);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i) {
        while (gst_app_src_get_current_level_buffers(appsrc) >= limit) {
            QThread::usleep(200);
        }
        graph.push(frames[i % kDistinctFrames].data(), header, std::int64_t(kInterval_ms) * 10000);
    }
    graph.close();  // returns when the file is finished
    const double seconds = clock.nsecsElapsed() / 1e9;
    const kv::record::RecordCounters c = graph.counters();
    const int written = framesInFile(path);
    std::printf("recording graph: %d frames written in %.2f s = %.1f frames/s (%llu dropped)\n",
                written, seconds, written / seconds, (unsigned long long)c.dropped);
    return written / seconds;
}

double ffmpegRate(const QString& dir, const std::vector<std::vector<std::uint8_t>>& frames,
                  int count) {
    // ffmpeg reads top-down rows; 1920 * 3 needs no padding.
    const QString raw = dir + u"/frames.raw"_s;
    QFile file(raw);
    if (!file.open(QIODevice::WriteOnly)) {
        return 0;
    }
    const qsizetype rowBytes = kWidth * 3;
    for (int i = 0; i < count; ++i) {
        const std::vector<std::uint8_t>& f = frames[i % kDistinctFrames];
        for (int y = kHeight - 1; y >= 0; --y) {
            file.write(reinterpret_cast<const char*>(f.data()) + y * rowBytes, rowBytes);
        }
    }
    file.close();
    QProcess ffmpeg;
    QElapsedTimer clock;
    clock.start();
    // -nostdin: ffmpeg would wait for keys on the pipe QProcess gives it;
    // -y: /dev/null exists.
    ffmpeg.start(u"ffmpeg"_s,
                 {u"-nostdin"_s, u"-y"_s, u"-v"_s, u"error"_s, u"-f"_s, u"rawvideo"_s,
                  u"-pix_fmt"_s, u"bgr24"_s, u"-s"_s, u"1920x1080"_s, u"-i"_s, raw, u"-c:v"_s,
                  u"mjpeg"_s, u"-q:v"_s, u"4"_s, u"-f"_s, u"avi"_s, u"/dev/null"_s});
    ffmpeg.waitForFinished(600000);
    const double seconds = clock.nsecsElapsed() / 1e9;
    QFile::remove(raw);
    if (ffmpeg.exitCode() != 0) {
        std::printf("ffmpeg failed: %s\n", ffmpeg.readAllStandardError().constData());
        return 0;
    }
    std::printf("ffmpeg -c:v mjpeg -q:v 4: %d frames in %.2f s = %.1f frames/s\n", count, seconds,
                count / seconds);
    return count / seconds;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QCoreApplication app(argc, argv);
    QString error;
    if (!kv::media::initGStreamer(&error)) {
        std::fprintf(stderr, "GStreamer did not start: %s\n", qPrintable(error));
        return 1;
    }
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    const int count = argc > 2 ? std::atoi(argv[2]) : 250;
    QTemporaryDir dir;
    const BITMAPINFOHEADER header = kv::media::makeFrameHeader(kWidth, kHeight);
    const auto frames = makeFrames(header);

    realTime(dir.path(), header, frames, seconds);
    const double ours = throughput(dir.path(), header, frames, count);
    const double theirs = ffmpegRate(dir.path(), frames, count);
    if (theirs > 0) {
        std::printf("ratio: %.2f (goal at least 1.3)\n", ours / theirs);
    }
    return 0;
}

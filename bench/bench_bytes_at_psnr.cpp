// Bytes per frame at equal PSNR: every lossy compressor at qualities 0.5, 0.8
// and 0.95, recorded through the real recording graph, against ffmpeg's
// encoder of the same codec on the same frames:
//  - the frames: a 1080p "real scene" made by ffmpeg from a photo (panned and
//    zoomed, mild noise that changes every frame, kept lossless), and the
//    test camera (videotestsrc pattern=ball) at 1080p;
//  - ours: bytes per frame (the stream's packets), luma PSNR of the decoded
//    file against the frames that went in, without the bottom 40 rows where
//    the time stamp goes, and the processor time per frame of the whole
//    process (the best of a few runs: the machine is shared);
//  - ffmpeg: its quality knob at a few points, bytes interpolated (in log)
//    to our PSNR: ours / ffmpeg (goal at most 1.2 times), and ffmpeg's
//    processor time per frame at that PSNR beside ours.
//
// The photo: KV_BENCH_PHOTO, or the first of a few photos known to ship with
// packages on the development machines; without one only the test camera is
// measured.
//
// kv_bench_bytes_at_psnr [frames=30] [compressor name part] [runs for the processor time=3]

#include "bench/bench_start.h"
#include "bench/bench_summary.h"
#include "bench/process_cpu.h"
#include "media/compressors.h"
#include "media/frame.h"
#include "media/gst_init.h"
#include "media/jpeg_encoder.h"
#include "record/journal.h"
#include "record/record_graph.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using kv::media::BITMAPINFOHEADER;
using kv::record::RecordGraph;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kInterval_ms = 40;
constexpr int kKeyFrameRate = 10;  // the program's default
constexpr int kStampRows = 40;     // the time stamp's band, left out of the PSNR
constexpr double kQualities[] = {0.5, 0.8, 0.95};
constexpr double kBytesGoal = 1.2;

// Rows bottom-up, as the frame loop hands them over.
using Frames = std::vector<std::vector<std::uint8_t>>;

// Top-down BGR frames from a program's standard output.
Frames readFrames(const QString& program, const QStringList& args, int count) {
    QProcess process;
    process.start(program, args);
    const int stride = kv::media::frameStride(kWidth);
    const qint64 frameBytes = qint64(kWidth) * 3 * kHeight;
    QByteArray data;
    while (data.size() < frameBytes * count && process.waitForReadyRead(120000)) {
        data += process.readAllStandardOutput();
    }
    process.waitForFinished(120000);
    data += process.readAllStandardOutput();
    Frames frames;
    for (int f = 0; f < count && data.size() >= frameBytes * (f + 1); ++f) {
        std::vector<std::uint8_t> pixels(std::size_t(stride) * kHeight);
        for (int y = 0; y < kHeight; ++y) {
            std::memcpy(pixels.data() + std::size_t(kHeight - 1 - y) * stride,
                        data.constData() + f * frameBytes + qint64(y) * kWidth * 3,
                        std::size_t(kWidth) * 3);
        }
        frames.push_back(std::move(pixels));
    }
    if (int(frames.size()) < count) {
        std::printf("%s gave %d of %d frames: %s\n", qPrintable(program), int(frames.size()), count,
                    process.readAllStandardError().right(400).constData());
    }
    return frames;
}

QString findPhoto() {
    const QString chosen = qEnvironmentVariable("KV_BENCH_PHOTO");
    if (!chosen.isEmpty()) {
        return QFileInfo::exists(chosen) ? chosen : QString();
    }
    // A photograph of a circuit board in the Rust toolchain's documentation.
    for (const QString& toolchains :
         {u"/root/.rustup/toolchains"_s, u"/usr/local/rustup/toolchains"_s}) {
        for (const QString& toolchain :
             QDir(toolchains).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QString photo = toolchains + u"/"_s + toolchain +
                                  u"/share/doc/rust/html/embedded-book/assets/f3.jpg"_s;
            if (QFileInfo::exists(photo)) {
                return photo;
            }
        }
    }
    return {};
}

// The photo filling a 1080p frame, zooming in and panning, with luma and
// chroma noise new in every frame.
Frames sceneFrames(const QString& photo, int count) {
    const QString filter =
        u"scale=2880:-2:flags=lanczos,"
        "zoompan=z='1.25+0.004*in':x='iw/2-iw/zoom/2+20*in':y='ih/2-ih/zoom/2+8*in':d=1:"
        "s=1920x1080:fps=25,noise=alls=5:allf=t,format=bgr24"_s;
    return readFrames(u"ffmpeg"_s,
                      {u"-nostdin"_s, u"-v"_s, u"error"_s, u"-loop"_s, u"1"_s, u"-framerate"_s,
                       u"25"_s, u"-i"_s, photo, u"-vf"_s, filter, u"-frames:v"_s,
                       QString::number(count), u"-f"_s, u"rawvideo"_s, u"pipe:1"_s},
                      count);
}

Frames ballFrames(int count) {
    return readFrames(
        u"gst-launch-1.0"_s,
        {u"-q"_s, u"videotestsrc"_s, u"pattern=ball"_s, u"num-buffers=%1"_s.arg(count), u"!"_s,
         u"video/x-raw,format=BGR,width=1920,height=1080,framerate=25/1"_s, u"!"_s, u"fdsink"_s,
         u"fd=1"_s},
        count);
}

// Writes the frames top-down to the process's input, and closes it.
void feed(QProcess& process, const Frames& frames) {
    const int stride = kv::media::frameStride(kWidth);
    for (const auto& f : frames) {
        for (int y = kHeight - 1; y >= 0; --y) {
            process.write(reinterpret_cast<const char*>(f.data()) + std::ptrdiff_t(y) * stride,
                          qint64(kWidth) * 3);
        }
        while (process.bytesToWrite() > (64 << 20) && process.waitForBytesWritten(60000)) {
        }
    }
    while (process.bytesToWrite() > 0 && process.waitForBytesWritten(60000)) {
    }
    process.closeWriteChannel();
}

QStringList rawInput() {
    return {u"-f"_s,        u"rawvideo"_s,   u"-pix_fmt"_s, u"bgr24"_s, u"-s"_s,
            u"1920x1080"_s, u"-framerate"_s, u"25"_s,       u"-i"_s,    u"pipe:0"_s};
}

// Average luma PSNR of a file against the frames, the time stamp's band left
// out; both sides reduced to luma by ffmpeg as a player would.
std::optional<double> lumaPsnr(const QString& path, const Frames& frames) {
    const QString crop = u"crop=%1:%2:0:0,format=gray"_s.arg(kWidth).arg(kHeight - kStampRows);
    QProcess ffmpeg;
    QStringList args{u"-nostdin"_s, u"-hide_banner"_s};
    args << rawInput() << u"-i"_s << path << u"-lavfi"_s
         << u"[0:v]%1[ref];[1:v]%1[out];[out][ref]psnr=shortest=1"_s.arg(crop) << u"-f"_s
         << u"null"_s << u"-"_s;
    ffmpeg.start(u"ffmpeg"_s, args);
    feed(ffmpeg, frames);
    ffmpeg.waitForFinished(600000);
    const QString log = QString::fromUtf8(ffmpeg.readAllStandardError());
    const QRegularExpressionMatch m = QRegularExpression(u"average:(inf|[0-9.]+)"_s).match(log);
    if (!m.hasMatch()) {
        std::printf("psnr failed for %s: %s\n", qPrintable(path), qPrintable(log.right(400)));
        return std::nullopt;
    }
    return m.captured(1) == u"inf"_s ? 99.0 : m.captured(1).toDouble();
}

// Bytes per frame of the video stream's packets, without the container.
std::optional<double> streamBytesPerFrame(const QString& path, int expectedFrames) {
    QProcess ffprobe;
    ffprobe.start(u"ffprobe"_s,
                  {u"-v"_s, u"error"_s, u"-select_streams"_s, u"v:0"_s, u"-show_entries"_s,
                   u"packet=size"_s, u"-of"_s, u"csv=p=0"_s, path});
    ffprobe.waitForFinished(120000);
    const QList<QByteArray> sizes = ffprobe.readAllStandardOutput().split('\n');
    double total = 0;
    int packets = 0;
    for (const QByteArray& size : sizes) {
        if (!size.trimmed().isEmpty()) {
            total += size.trimmed().toDouble();
            ++packets;
        }
    }
    if (packets != expectedFrames) {
        std::printf("%s holds %d frames, not %d\n", qPrintable(path), packets, expectedFrames);
        return std::nullopt;
    }
    return total / packets;
}

struct Point {
    double psnr = 0;
    double bytesPerFrame = 0;
    double cpuPerFrame_ms = 0;
};

// Every frame through the recording graph at the program's settings; the
// processor time is the whole process's, from building the graph until the
// file is finished.
std::optional<Point> recordOurs(const QString& path, const QString& compressor, double quality,
                                const Frames& frames, int runs) {
    const BITMAPINFOHEADER header = kv::media::makeFrameHeader(kWidth, kHeight);
    double bestCpu = 1e9;
    for (int run = 0; run < runs; ++run) {
        // The graph makes a file and its journal anew, never over old ones.
        QFile::remove(path);
        QFile::remove(kv::record::journalPath(path));
        RecordGraph graph;
        kv::record::RecordGraphParams p;
        p.fileName = path;
        p.compressor = compressor;
        p.quality = quality;
        p.keyFrameRate = kKeyFrameRate;
        p.playInterval_ms = kInterval_ms;
        p.width = kWidth;
        p.height = kHeight;
        const double cpu0 = kv::bench::usageCpuSeconds(RUSAGE_SELF);
        graph.build(p);
        for (const auto& frame : frames) {
            // The push source's queue is bounded: a full one refuses the
            // frame (counted as dropped), which is pushed again later.
            while (!graph.push(frame.data(), header, std::int64_t(kInterval_ms) * 10000)) {
                if (graph.counters().failed > 0) {
                    std::printf("%s: the recording failed\n", qPrintable(compressor));
                    return std::nullopt;
                }
                QThread::msleep(2);
                QCoreApplication::processEvents();
            }
            QCoreApplication::processEvents();
        }
        graph.close();
        bestCpu = std::min(bestCpu, kv::bench::usageCpuSeconds(RUSAGE_SELF) - cpu0);
    }
    const int n = int(frames.size());
    const auto bytes = streamBytesPerFrame(path, n);
    const auto psnr = lumaPsnr(path, frames);
    if (!bytes || !psnr) {
        return std::nullopt;
    }
    return Point{*psnr, *bytes, 1000.0 * bestCpu / n};
}

// ffmpeg's encoder of the same codec, as a user of ffmpeg would run it, at
// the same key-frame distance; knob is its quality scale, higher is worse,
// put in place of %1 in knobArgs.
struct Peer {
    QStringList args;
    QStringList knobArgs;
    std::vector<int> knobs;
};

std::optional<Peer> peerFor(const QString& factory) {
    const QStringList gop{u"-g"_s, QString::number(kKeyFrameRate)};
    if (factory == QLatin1String(kv::media::kJpegEncoderFactory)) {
        return Peer{{u"-c:v"_s, u"mjpeg"_s, u"-pix_fmt"_s, u"yuvj420p"_s, u"-qmin"_s, u"1"_s},
                    {u"-q:v"_s, u"%1"_s},
                    {1, 2, 3, 4, 6, 9, 13, 20}};
    }
    if (factory == u"avenc_mpeg4" || factory == u"avenc_msmpeg4") {
        const QString codec = factory == u"avenc_mpeg4" ? u"mpeg4"_s : u"msmpeg4"_s;
        return Peer{
            QStringList{u"-c:v"_s, codec, u"-pix_fmt"_s, u"yuv420p"_s, u"-qmin"_s, u"1"_s} + gop,
            {u"-q:v"_s, u"%1"_s},
            {2, 3, 4, 6, 9, 13, 19, 26}};
    }
    if (factory == u"x264enc") {
        // The program's speed preset; ffmpeg keeps its B-frames and look-ahead,
        // which the program gives up so that a kill loses no more than a frame.
        return Peer{QStringList{u"-c:v"_s, u"libx264"_s, u"-preset"_s, u"superfast"_s,
                                u"-pix_fmt"_s, u"yuv420p"_s} +
                        gop,
                    {u"-crf"_s, u"%1"_s},
                    {10, 14, 18, 22, 26, 30, 34, 38}};
    }
    if (factory == u"vp8enc") {
        // The quantizer pinned: libvpx's constrained quality gives key frames
        // the finest quantizer the bit rate allows, twice the bytes at equal PSNR.
        return Peer{QStringList{u"-c:v"_s, u"libvpx"_s, u"-deadline"_s, u"realtime"_s,
                                u"-cpu-used"_s, u"16"_s, u"-threads"_s, u"2"_s, u"-b:v"_s,
                                u"200M"_s, u"-pix_fmt"_s, u"yuv420p"_s} +
                        gop,
                    {u"-qmin"_s, u"%1"_s, u"-qmax"_s, u"%1"_s},
                    {4, 6, 10, 14, 20, 28, 36, 48}};
    }
    return std::nullopt;
}

std::optional<Point> peerEncode(const QString& dir, const Peer& peer, int knob,
                                const Frames& frames) {
    // Matroska: ffmpeg's B-frames in AVI come out of order.
    const QString out = dir + u"/peer.mkv"_s;
    QStringList args{u"-nostdin"_s, u"-y"_s, u"-v"_s, u"error"_s};
    args << rawInput() << peer.args;
    for (const QString& arg : peer.knobArgs) {
        args << QString(arg).replace(u"%1"_s, QString::number(knob));
    }
    args << u"-f"_s << u"matroska"_s << out;
    QProcess ffmpeg;
    const double cpu0 = kv::bench::usageCpuSeconds(RUSAGE_CHILDREN);
    ffmpeg.start(u"ffmpeg"_s, args);
    feed(ffmpeg, frames);
    ffmpeg.waitForFinished(600000);
    const double cpu = kv::bench::usageCpuSeconds(RUSAGE_CHILDREN) - cpu0;
    if (ffmpeg.exitCode() != 0) {
        std::printf("ffmpeg %s failed: %s\n", qPrintable(args.join(u' ')),
                    ffmpeg.readAllStandardError().constData());
        return std::nullopt;
    }
    const int n = int(frames.size());
    const auto bytes = streamBytesPerFrame(out, n);
    const auto psnr = lumaPsnr(out, frames);
    if (!bytes || !psnr) {
        return std::nullopt;
    }
    return Point{*psnr, *bytes, 1000.0 * cpu / n};
}

struct Match {
    double bytesPerFrame = 0;
    double cpuPerFrame_ms = 0;
    bool bracketed = false;  // else extrapolated from the two nearest points
};

// log(bytes) and processor time linear in PSNR between the two points around
// the target, or beyond the two nearest when none lies on one side.
std::optional<Match> interpolate(std::vector<Point> points, double target) {
    if (points.size() < 2) {
        return std::nullopt;
    }
    std::sort(points.begin(), points.end(),
              [](const Point& a, const Point& b) { return a.psnr < b.psnr; });
    std::size_t upper = 1;
    while (upper + 1 < points.size() && points[upper].psnr < target) {
        ++upper;
    }
    const Point& a = points[upper - 1];
    const Point& b = points[upper];
    const double t = (target - a.psnr) / std::max(b.psnr - a.psnr, 1e-9);
    const double bytes = std::exp(std::log(a.bytesPerFrame) +
                                  t * (std::log(b.bytesPerFrame) - std::log(a.bytesPerFrame)));
    const double cpu = a.cpuPerFrame_ms + t * (b.cpuPerFrame_ms - a.cpuPerFrame_ms);
    return Match{bytes, cpu, a.psnr <= target && target <= b.psnr};
}

struct Row {
    double quality = 0;
    Point ours;
    Match peer;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!kv::bench::startGStreamer()) {
        return 1;
    }
    const int frameCount = argc > 1 ? std::max(kKeyFrameRate, std::atoi(argv[1])) : 30;
    const QString only = argc > 2 ? QString::fromUtf8(argv[2]) : QString();
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    QTemporaryDir dir;

    struct Source {
        QString name;
        Frames frames;
    };
    std::vector<Source> sources;
    const QString photo = findPhoto();
    if (photo.isEmpty()) {
        std::printf("no photo found (KV_BENCH_PHOTO): the real scene is not measured\n");
    } else {
        std::printf("scene: %s, zoomed and panned, with noise\n", qPrintable(photo));
        sources.push_back({u"scene"_s, sceneFrames(photo, frameCount)});
    }
    sources.push_back({u"ball"_s, ballFrames(frameCount)});

    const QStringList installed = kv::media::installedCompressorNames();
    bool ok = true;
    for (const Source& source : sources) {
        if (int(source.frames.size()) != frameCount) {
            ok = false;
            continue;
        }
        std::printf(
            "\n%s, %d frames 1920x1080, key frame every %d; luma PSNR without the "
            "bottom %d rows\n",
            qPrintable(source.name), frameCount, kKeyFrameRate, kStampRows);
        std::printf("%-10s %5s %10s %7s %12s %6s %9s %9s\n", "compressor", "q", "ours B/fr", "dB",
                    "ffmpeg B/fr", "ratio", "ours ms", "ffmpeg ms");
        for (const kv::media::CompressorEntry& entry : kv::media::compressorTable()) {
            const QString name = QString::fromUtf8(entry.friendlyName);
            const auto peer = peerFor(QString::fromUtf8(entry.factory));
            if (!peer || (!only.isEmpty() && !name.contains(only, Qt::CaseInsensitive))) {
                continue;
            }
            const QString shortName = name.section(u' ', 0, 0);
            if (!installed.contains(name)) {
                std::printf("%s: not installed\n", qPrintable(name));
                continue;
            }
            std::vector<Point> peerPoints;
            for (int knob : peer->knobs) {
                if (const auto point = peerEncode(dir.path(), *peer, knob, source.frames)) {
                    peerPoints.push_back(*point);
                }
            }
            std::vector<Row> rows;
            for (double quality : kQualities) {
                const QString path = dir.path() + u"/ours.avi"_s;
                const auto ours = recordOurs(path, name, quality, source.frames, runs);
                const auto match = ours ? interpolate(peerPoints, ours->psnr) : std::nullopt;
                if (!ours || !match) {
                    ok = false;
                    continue;
                }
                rows.push_back({quality, *ours, *match});
                std::printf("%-10s %5.2f %10.0f %7.2f %12.0f%s %6.2f %9.1f %9.1f\n",
                            qPrintable(shortName), quality, ours->bytesPerFrame, ours->psnr,
                            match->bytesPerFrame, match->bracketed ? " " : "~",
                            ours->bytesPerFrame / match->bytesPerFrame, ours->cpuPerFrame_ms,
                            match->cpuPerFrame_ms);
            }
            if (rows.empty()) {
                continue;
            }
            QStringList ratios;
            QStringList cpus;
            bool met = true;
            for (const Row& row : rows) {
                const double ratio = row.ours.bytesPerFrame / row.peer.bytesPerFrame;
                ratios << QString::number(ratio, 'f', 2);
                cpus << QString::number(row.ours.cpuPerFrame_ms, 'f', 1);
                met = met && ratio <= kBytesGoal;
            }
            kv::bench::summary(
                kv::bench::format("%s %s bytes vs ffmpeg at equal PSNR (q 0.5/0.8/0.95)",
                                  qPrintable(source.name), qPrintable(shortName)),
                qPrintable(ratios.join(u'/') + u" x"_s), kv::bench::format("<= %.1f x", kBytesGoal),
                met);
            kv::bench::summary(kv::bench::format("%s %s processor per frame (q 0.5/0.8/0.95)",
                                                 qPrintable(source.name), qPrintable(shortName)),
                               qPrintable(cpus.join(u'/') + u" ms"_s), "-", std::nullopt);
        }
    }
    return ok ? 0 : 1;
}

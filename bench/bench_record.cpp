// Recording 1080p at 25 frames/s with every installed compressor, at the
// program's default quality (0.8) and key-frame rate (10):
//  1. real time: one frame every 40 ms, as the frame loop pushes them; frames
//     pushed and dropped (goal 0 dropped), processor time of the whole process
//     (all threads) per frame, bytes per frame, PSNR of the decoded file
//     against the frames that went in (ffmpeg's psnr filter, in RGB);
//  2. the same frames, as many as went into our file, through ffmpeg's
//     matching encoder at the same speed settings, key-frame distance and
//     rate control (H.264: one quantiser, no B-frames, as ours), its quality
//     knob searched for the same PSNR (first on 30 frames, then on all of
//     them): our bytes against ffmpeg's at that PSNR (goal at most 1.5
//     times; no verdict where the PSNR no longer moves with the bytes), and
//     ffmpeg's processor time per frame beside ours; H.264 also at our own
//     quantiser: bytes and processor time against ffmpeg's;
//  3. the disk sync thread's processor time (goal under 5 % of a core).
//
// The frames: a still room-like scene (gradients, edges, fine stripes), a
// disc and a block moving through it, and mild sensor noise that changes
// every frame; 25 distinct frames, one second, repeated.
//
// kv_bench_record [seconds per compressor=10] [ffmpeg frames=0: as many as ours]
//                 [compressor name part]

#include "bench/bench_start.h"
#include "bench/bench_summary.h"
#include "bench/process_cpu.h"
#include "media/compressors.h"
#include "media/frame.h"
#include "media/gst_handle.h"
#include "media/gst_init.h"
#include "media/jpeg_encoder.h"
#include "record/record_graph.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using kv::media::BITMAPINFOHEADER;
using kv::record::RecordGraph;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kInterval_ms = 40;
constexpr int kDistinctFrames = 25;
// The program's defaults for a new installation.
constexpr double kQuality = 0.8;
constexpr int kKeyFrameRate = 10;
constexpr double kBytesGoal = 1.5;
// The frames the knob search tries first, before all of ours.
constexpr int kSearchFrames = 30;

using Frames = std::vector<std::vector<std::uint8_t>>;

// Rows bottom-up, as the frame loop hands them over.
Frames makeFrames(const BITMAPINFOHEADER& header) {
    const int stride = kv::media::frameStride(kWidth);
    std::vector<int> scene(std::size_t(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            int b = 60 + y * 40 / kHeight;
            int g = 70 + y * 50 / kHeight;
            int r = 80 + x * 40 / kWidth;
            if (y < 300) {  // a window: bright, bluish
                b += 120;
                g += 90;
                r += 60;
            }
            if (x > 1300 && x < 1700 && y > 500 && y < 950) {  // a shelf with fine stripes
                const int stripe = (y / 6) % 2 ? 50 : 0;
                r = 140 + stripe;
                g = 100 + stripe;
                b = 60 + stripe / 2;
            }
            if (x > 200 && x < 600 && y > 700) {  // a dark table
                r = 50 + (x - 200) / 20;
                g = 40;
                b = 30;
            }
            int* p = &scene[(std::size_t(y) * kWidth + x) * 3];
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    }
    Frames frames;
    std::uint32_t seed = 12345;
    for (int f = 0; f < kDistinctFrames; ++f) {
        std::vector<std::uint8_t> pixels(header.biSizeImage);
        const int discX = 250 + f * 1400 / kDistinctFrames;
        const int discY = 500 + int(120 * std::sin(f * 0.25));
        const int blockY = 200 + f * 30;
        for (int y = 0; y < kHeight; ++y) {
            // Bottom-up: the first stored row is the picture's last.
            std::uint8_t* row = pixels.data() + std::ptrdiff_t(kHeight - 1 - y) * stride;
            for (int x = 0; x < kWidth; ++x) {
                const int* p = &scene[(std::size_t(y) * kWidth + x) * 3];
                int b = p[0], g = p[1], r = p[2];
                const int dx = x - discX, dy = y - discY;
                if (dx * dx + dy * dy < 140 * 140) {  // a red ball, lit from above
                    r = 200 - dy / 3;
                    g = 40 - dy / 8;
                    b = 40;
                }
                if (std::abs(x - 900) < 60 && std::abs(y - blockY) < 90) {
                    r = g = b = 220;
                }
                // Mild noise, new every frame: the sum of two small uniforms.
                seed = seed * 1664525u + 1013904223u;
                const int noise = int((seed >> 24) & 3) + int((seed >> 16) & 3) - 3;
                row[x * 3 + 0] = std::uint8_t(std::clamp(b + noise, 0, 255));
                row[x * 3 + 1] = std::uint8_t(std::clamp(g + noise, 0, 255));
                row[x * 3 + 2] = std::uint8_t(std::clamp(r + noise, 0, 255));
            }
        }
        frames.push_back(std::move(pixels));
    }
    return frames;
}

QString ffprobeField(const QString& path, const QString& entry, bool count = false) {
    QProcess ffprobe;
    QStringList args{u"-v"_s, u"error"_s, u"-select_streams"_s, u"v:0"_s};
    if (count) {
        args << u"-count_packets"_s;
    }
    args << u"-show_entries"_s << u"stream="_s + entry << u"-of"_s << u"csv=p=0"_s << path;
    ffprobe.start(u"ffprobe"_s, args);
    ffprobe.waitForFinished(120000);
    return QString::fromUtf8(ffprobe.readAllStandardOutput().trimmed());
}

// Writes frames[order[i] % kDistinctFrames] to the process's input, top-down
// rows coming from a vflip on ffmpeg's side.
void feed(QProcess& process, const Frames& frames, const std::vector<int>& order) {
    for (int index : order) {
        const auto& f = frames[std::size_t(index % kDistinctFrames)];
        process.write(reinterpret_cast<const char*>(f.data()), qint64(f.size()));
        while (process.bytesToWrite() > (64 << 20)) {
            if (!process.waitForBytesWritten(60000)) {
                break;
            }
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

// Average PSNR (dB, in RGB) of a file's frames against the frames that went
// in; nullopt when ffmpeg fails.
std::optional<double> psnr(const QString& path, const Frames& frames,
                           const std::vector<int>& order) {
    QProcess ffmpeg;
    QStringList args{u"-nostdin"_s, u"-hide_banner"_s};
    args << rawInput() << u"-i"_s << path << u"-lavfi"_s
         << u"[0:v]vflip,format=gbrp[ref];[1:v]format=gbrp[out];[out][ref]psnr=shortest=1"_s
         << u"-f"_s << u"null"_s << u"-"_s;
    ffmpeg.start(u"ffmpeg"_s, args);
    feed(ffmpeg, frames, order);
    ffmpeg.waitForFinished(600000);
    const QString log = QString::fromUtf8(ffmpeg.readAllStandardError());
    const QRegularExpressionMatch m = QRegularExpression(u"average:(inf|[0-9.]+)"_s).match(log);
    if (!m.hasMatch()) {
        std::printf("psnr failed for %s: %s\n", qPrintable(path), qPrintable(log.right(400)));
        return std::nullopt;
    }
    return m.captured(1) == u"inf"_s ? 99.0 : m.captured(1).toDouble();
}

struct Ours {
    kv::record::RecordCounters counters;
    double cpu_s = 0;
    double drain_s = 0;  // from the last push until the file was finished
    std::int64_t bytes = 0;
    int framesInFile = 0;
    std::vector<int> taken;  // frame numbers that went into the file, in order
    double syncCpu_s = 0;
    std::uint64_t syncs = 0;
};

Ours realTime(const QString& path, const QString& compressor, const BITMAPINFOHEADER& header,
              const Frames& frames, int seconds) {
    Ours ours;
    RecordGraph graph;
    bool writeFailed = false;
    QObject::connect(&graph, &RecordGraph::writeError, [&](const QString&, const QString& reason) {
        std::printf("write error: %s\n", qPrintable(reason));
        writeFailed = true;
    });
    kv::record::RecordGraphParams p;
    p.fileName = path;
    p.compressor = compressor;
    p.quality = kQuality;
    p.keyFrameRate = kKeyFrameRate;
    p.playInterval_ms = kInterval_ms;
    p.width = kWidth;
    p.height = kHeight;
    const double cpu0 = kv::bench::usageCpuSeconds(RUSAGE_SELF);
    graph.build(p);
    const int total = seconds * 1000 / kInterval_ms;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < total && !writeFailed; ++i) {
        while (clock.elapsed() < qint64(i) * kInterval_ms) {
            QThread::usleep(500);
        }
        if (graph.push(frames[std::size_t(i % kDistinctFrames)].data(), header,
                       std::int64_t(kInterval_ms) * 10000)) {
            ours.taken.push_back(i);
        }
        QCoreApplication::processEvents();
    }
    QElapsedTimer drain;
    drain.start();
    graph.close();
    ours.drain_s = drain.nsecsElapsed() / 1e9;
    ours.cpu_s = kv::bench::usageCpuSeconds(RUSAGE_SELF) - cpu0;
    ours.counters = graph.counters();
    ours.bytes = QFileInfo(path).size();
    ours.framesInFile = ffprobeField(path, u"nb_read_packets"_s, true).toInt();
    ours.syncCpu_s = double(graph.diskSync().cpuTime().count()) / 1e6;
    ours.syncs = graph.diskSync().syncs();
    return ours;
}

// ffmpeg's matching encoder at the same speed settings and key-frame
// distance; knob is its quality scale, higher is worse.
// The constant quantiser the program gives x264 at the default quality.
int ourX264Quantiser() {
    const kv::media::Element encoder = kv::media::createCompressor(u"H.264 Compressor"_s);
    if (!encoder) {
        return 23;
    }
    kv::media::ApplyCompression(encoder.get(), u"H.264 Compressor"_s, kQuality, kKeyFrameRate);
    guint quantiser = 23;
    g_object_get(encoder.get(), "quantizer", &quantiser, nullptr);
    return int(quantiser);
}

struct Peer {
    QStringList args;  // before the knob
    QString knobOption;
    int knobMin = 0;
    int knobMax = 0;
    int knobStart = 0;
    int knobStep = 0;
    bool sameKnob = false;  // knobStart is our own setting: compare there too
};

std::optional<Peer> peerFor(const QString& factory, const QString& pixFmt) {
    const QStringList gop{u"-g"_s, QString::number(kKeyFrameRate)};
    const QStringList fmt{u"-pix_fmt"_s, pixFmt};
    if (factory == QLatin1String(kv::media::kJpegEncoderFactory)) {
        return Peer{QStringList{u"-c:v"_s, u"mjpeg"_s} + fmt, u"-q:v"_s, 2, 31, 4, 2};
    }
    if (factory == u"avenc_huffyuv") {
        return Peer{QStringList{u"-c:v"_s, u"huffyuv"_s} + fmt, {}, 0, 0, 0, 0};
    }
    if (factory == u"pngenc") {
        return Peer{QStringList{u"-c:v"_s, u"png"_s} + fmt, {}, 0, 0, 0, 0};
    }
    if (factory == u"avenc_mpeg4") {
        return Peer{QStringList{u"-c:v"_s, u"mpeg4"_s} + gop + fmt, u"-q:v"_s, 2, 31, 8, 2};
    }
    if (factory == u"avenc_msmpeg4") {
        return Peer{QStringList{u"-c:v"_s, u"msmpeg4"_s} + gop + fmt, u"-q:v"_s, 2, 31, 8, 2};
    }
    if (factory == u"x264enc") {
        // The program's speed preset, rate control (one quantiser for every
        // frame) and tuning (no B-frames or look-ahead, given up for
        // durability); searched from our quantiser.
        return Peer{QStringList{u"-c:v"_s, u"libx264"_s, u"-preset"_s, u"superfast"_s, u"-tune"_s,
                                u"zerolatency"_s} +
                        gop + fmt,
                    u"-qp"_s,
                    0,
                    51,
                    ourX264Quantiser(),
                    3,
                    true};
    }
    if (factory == u"vp8enc") {
        return Peer{
            QStringList{u"-c:v"_s, u"libvpx"_s, u"-deadline"_s, u"realtime"_s, u"-cpu-used"_s,
                        u"16"_s, u"-threads"_s, u"2"_s, u"-b:v"_s, u"200M"_s} +
                gop + fmt,
            u"-crf"_s,
            4,
            63,
            16,
            4};
    }
    return std::nullopt;
}

struct PeerPoint {
    int knob = 0;
    double psnr = 0;
    double bytesPerFrame = 0;
    double cpuPerFrame_ms = 0;
};

std::optional<PeerPoint> peerEncode(const QString& dir, const Peer& peer, int knob,
                                    const Frames& frames, const std::vector<int>& order) {
    // Matroska: ffmpeg's B-frames in AVI come out of order.
    const QString out = dir + u"/peer.mkv"_s;
    QStringList args{u"-nostdin"_s, u"-y"_s, u"-v"_s, u"error"_s};
    args << rawInput() << u"-vf"_s << u"vflip"_s << peer.args;
    if (!peer.knobOption.isEmpty()) {
        args << peer.knobOption << QString::number(knob);
    }
    args << u"-f"_s << u"matroska"_s << out;
    QProcess ffmpeg;
    const double cpu0 = kv::bench::usageCpuSeconds(RUSAGE_CHILDREN);
    ffmpeg.start(u"ffmpeg"_s, args);
    feed(ffmpeg, frames, order);
    ffmpeg.waitForFinished(600000);
    const double cpu = kv::bench::usageCpuSeconds(RUSAGE_CHILDREN) - cpu0;
    if (ffmpeg.exitCode() != 0) {
        std::printf("ffmpeg %s failed: %s\n", qPrintable(args.join(u' ')),
                    ffmpeg.readAllStandardError().constData());
        return std::nullopt;
    }
    const std::optional<double> quality = psnr(out, frames, order);
    if (!quality) {
        return std::nullopt;
    }
    const int n = int(order.size());
    return PeerPoint{knob, *quality, double(QFileInfo(out).size()) / n, 1000.0 * cpu / n};
}

struct Match {
    double bytesPerFrame = 0;  // ffmpeg's, at our PSNR
    double cpuPerFrame_ms = 0;
    bool bracketed = false;
    int knob = 0;                      // the finest knob tried that stayed below the target
    std::optional<PeerPoint> atStart;  // the point at the knob the search began with
    // Under 1 dB gained for each doubling of the bytes across the bracket:
    // the PSNR is at its ceiling (4:2:0 measured in RGB) and the match says
    // little.
    bool flat = false;
};

// Searches ffmpeg's knob until two encodes lie on either side of the target
// PSNR, then interpolates log(bytes) in PSNR between them.
std::optional<Match> matchPeer(const QString& dir, const Peer& peer, double target,
                               const Frames& frames, const std::vector<int>& order) {
    std::map<int, PeerPoint> points;
    auto at = [&](int knob) -> const PeerPoint* {
        if (!points.count(knob)) {
            const auto point = peerEncode(dir, peer, knob, frames, order);
            if (!point) {
                return nullptr;
            }
            std::printf("    ffmpeg %s %d, %zu frames: %.2f dB, %.0f bytes/frame, %.1f ms/frame\n",
                        qPrintable(peer.knobOption), knob, order.size(), point->psnr,
                        point->bytesPerFrame, point->cpuPerFrame_ms);
            points[knob] = *point;
        }
        return &points[knob];
    };
    if (peer.knobOption.isEmpty()) {
        const PeerPoint* p = at(0);
        return p ? std::optional<Match>(Match{p->bytesPerFrame, p->cpuPerFrame_ms, true, 0, *p})
                 : std::nullopt;
    }
    int knob = peer.knobStart;
    const PeerPoint* above = nullptr;  // PSNR >= target
    const PeerPoint* below = nullptr;
    for (int tries = 0; tries < 6 && !(above && below); ++tries) {
        const PeerPoint* p = at(knob);
        if (!p) {
            return std::nullopt;
        }
        if (p->psnr >= target) {
            above = p;
            knob = std::min(knob + peer.knobStep, peer.knobMax);
        } else {
            below = p;
            knob = std::max(knob - peer.knobStep, peer.knobMin);
        }
        if (points.count(knob) && !(above && below)) {
            break;  // at the end of the knob's range
        }
    }
    if (!above || !below) {
        const PeerPoint* only = above ? above : below;
        return only ? std::optional<Match>(Match{only->bytesPerFrame, only->cpuPerFrame_ms, false,
                                                 only->knob, points[peer.knobStart]})
                    : std::nullopt;
    }
    // The closest bracket: the best of the worse and the worst of the better.
    for (const auto& [k, p] : points) {
        if (p.psnr >= target && p.psnr < above->psnr) {
            above = &p;
        }
        if (p.psnr < target && p.psnr > below->psnr) {
            below = &p;
        }
    }
    const double t = (target - below->psnr) / std::max(above->psnr - below->psnr, 1e-9);
    const double bytes =
        std::exp(std::log(below->bytesPerFrame) +
                 t * (std::log(above->bytesPerFrame) - std::log(below->bytesPerFrame)));
    const double cpu = below->cpuPerFrame_ms + t * (above->cpuPerFrame_ms - below->cpuPerFrame_ms);
    const bool flat =
        above->psnr - below->psnr < std::log2(above->bytesPerFrame / below->bytesPerFrame);
    return Match{bytes, cpu, true, below->knob, points[peer.knobStart], flat};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!kv::bench::startGStreamer()) {
        return 1;
    }
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int peerFrames = argc > 2 ? std::max(0, std::atoi(argv[2])) : 0;
    const QString only = argc > 3 ? QString::fromUtf8(argv[3]) : QString();
    QTemporaryDir dir;
    const BITMAPINFOHEADER header = kv::media::makeFrameHeader(kWidth, kHeight);
    const Frames frames = makeFrames(header);

    const QStringList installed = kv::media::installedCompressorNames();
    const int total = seconds * 1000 / kInterval_ms;
    double syncCpu_s = 0;
    int syncSeconds = 0;
    for (const kv::media::CompressorEntry& entry : kv::media::compressorTable()) {
        const QString name = QString::fromUtf8(entry.friendlyName);
        if (!only.isEmpty() && !name.contains(only, Qt::CaseInsensitive)) {
            continue;
        }
        const QString shortName = name.section(u' ', 0, 0);
        if (!installed.contains(name)) {
            std::printf("%s: not installed\n", qPrintable(name));
            continue;
        }
        const QString path = dir.path() + u"/"_s + QString::fromUtf8(entry.factory) + u".avi"_s;
        const Ours ours = realTime(path, name, header, frames, seconds);
        syncCpu_s += ours.syncCpu_s;
        syncSeconds += seconds;
        const int n = std::max(ours.framesInFile, 1);
        const double bytesPerFrame = double(ours.bytes) / n;
        const double cpuPerFrame_ms =
            1000.0 * ours.cpu_s / double(std::max<std::uint64_t>(ours.counters.pushed, 1));
        // The push source drops frames after push() took them, so which frames
        // reached the file is known only when none was dropped.
        const bool aligned = ours.counters.dropped == 0 && ours.counters.failed == 0;
        std::optional<double> quality;
        if (aligned) {
            quality = psnr(path, frames, ours.taken);
        }
        if (!aligned) {
            std::printf("%s: PSNR not measured, frames were dropped\n", qPrintable(name));
        }
        const QString pixFmt = ffprobeField(path, u"pix_fmt"_s);
        std::printf(
            "%s: %llu pushed, %llu dropped, %llu failed of %d; %d frames in the file; "
            "%.2f s processor time = %.1f ms per frame pushed (drained in %.2f s after the last "
            "push); %.0f bytes per frame; %s; PSNR %.2f dB\n",
            qPrintable(name), (unsigned long long)ours.counters.pushed,
            (unsigned long long)ours.counters.dropped, (unsigned long long)ours.counters.failed,
            total, ours.framesInFile, ours.cpu_s, cpuPerFrame_ms, ours.drain_s, bytesPerFrame,
            qPrintable(pixFmt), quality.value_or(0));
        kv::bench::summary(
            kv::bench::format("record 1080p 25/s %s dropped", qPrintable(shortName)),
            kv::bench::format("%llu of %d", (unsigned long long)(total - ours.counters.pushed),
                              total),
            "0", ours.counters.pushed == std::uint64_t(total));
        kv::bench::summary(
            kv::bench::format("record 1080p %s processor per frame", qPrintable(shortName)),
            kv::bench::format("%.1f ms", cpuPerFrame_ms), "-", std::nullopt);

        const std::optional<Peer> peer = peerFor(QString::fromUtf8(entry.factory), pixFmt);
        if (!quality || !peer) {
            continue;
        }
        const double measured = quality.value_or(0.0);
        // The frames that went into our file, as many as asked for.
        std::vector<int> order = ours.taken;
        if (peerFrames > 0 && std::size_t(peerFrames) < order.size()) {
            order.resize(std::size_t(peerFrames));
        }
        const std::vector<int> first(
            order.begin(),
            order.begin() + std::min<std::ptrdiff_t>(kSearchFrames, std::ssize(order)));
        // A few frames find the knob near our PSNR; all of them are then
        // encoded at it and its neighbour.
        Peer near = *peer;
        if (!peer->knobOption.isEmpty() && !peer->sameKnob && first.size() < order.size()) {
            if (const auto coarse = matchPeer(dir.path(), *peer, measured, frames, first)) {
                near.knobStart = coarse->knob;
            }
        }
        const auto match = matchPeer(dir.path(), near, measured, frames, order);
        if (!match) {
            continue;
        }
        const double ratio = bytesPerFrame / match->bytesPerFrame;
        std::printf(
            "  ffmpeg at %.2f dB: %.0f bytes per frame%s, %.1f ms per frame; ours / "
            "ffmpeg bytes = %.2f\n",
            *quality, match->bytesPerFrame,
            !match->bracketed ? " (nearest, not matched)"
            : match->flat     ? " (PSNR at its ceiling: no verdict)"
                              : "",
            match->cpuPerFrame_ms, ratio);
        kv::bench::summary(
            kv::bench::format("%s bytes vs ffmpeg at same PSNR", qPrintable(shortName)),
            kv::bench::format("%.2f x (%.1f dB)%s", ratio, *quality,
                              match->flat ? ", PSNR at its ceiling" : ""),
            kv::bench::format("<= %.1f x", kBytesGoal),
            match->flat ? std::nullopt
                        : std::optional<bool>(match->bracketed && ratio <= kBytesGoal));
        if (near.sameKnob && match->atStart && match->atStart->bytesPerFrame > 0) {
            // The same rate control at the same setting: what the quantiser
            // costs in each encoder, whatever PSNR it gives.
            const PeerPoint& same = *match->atStart;
            const double sameRatio = bytesPerFrame / same.bytesPerFrame;
            std::printf(
                "  ffmpeg at our %s %d: %.0f bytes per frame, %.2f dB, %.1f ms per frame; ours "
                "(%.2f dB, %.1f ms) / ffmpeg bytes = %.2f, processor = %.2f\n",
                qPrintable(near.knobOption), near.knobStart, same.bytesPerFrame, same.psnr,
                same.cpuPerFrame_ms, *quality, cpuPerFrame_ms, sameRatio,
                cpuPerFrame_ms / same.cpuPerFrame_ms);
            kv::bench::summary(
                kv::bench::format("%s bytes vs ffmpeg %s %d", qPrintable(shortName),
                                  qPrintable(near.knobOption), near.knobStart),
                kv::bench::format("%.2f x (%.1f against %.1f dB), processor %.2f x", sameRatio,
                                  *quality, same.psnr, cpuPerFrame_ms / same.cpuPerFrame_ms),
                "-", std::nullopt);
        }
    }
    if (syncSeconds > 0) {
        kv::bench::summary("record disk sync processor",
                           kv::bench::format("%.2f %% of a core", 100.0 * syncCpu_s / syncSeconds),
                           "< 5 %", syncCpu_s / syncSeconds < 0.05);
    }
    return 0;
}

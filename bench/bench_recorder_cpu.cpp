// Processor time per recorded frame of the whole program, measured from
// outside: the headless recorder (mode On, every frame of a 25 frames/s
// file camera, MJPEG and MPEG-4 at the default quality and key-frame rate)
// with files of a fixed number of frames. Its user plus system time is read
// from /proc when the second file appears and when the third does, and
// divided by the frames ffprobe counts in the second. Beside it, in the same
// run, on the same source frames:
//  - ffmpeg decoding the same clip and encoding as many frames with the same
//    codec: MJPEG at the two quality scales whose bytes per frame lie either
//    side of ours, its time interpolated to our bytes; MPEG-4 at our
//    quantiser and key-frame distance;
//  - gst-launch-1.0 decoding the clip and encoding it with the encoder the
//    program makes, set as the program sets it.
// The peers run flat out and stay in YUV; the program plays the clip in real
// time and takes each frame through its frame loop (BGR, the stamp, the
// motion measure) as it does for any camera.
//
// The clip: the detailed scene of detailed_scene.h, made by ffmpeg as
// high-quality MJPEG at 1080p and at 640x480.
//
// kv_bench_recorder_cpu [frames per file=125] [size or codec name part]
// KV_BENCH_KEEP=folder keeps the recorder's measured files there.

#include "bench/bench_start.h"
#include "bench/bench_summary.h"
#include "bench/detailed_scene.h"
#include "bench/headless_recorder.h"
#include "bench/process_cpu.h"
#include "media/gst_init.h"
#include "session/record_policy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kRate = 25;
constexpr int kCalibrationFrames = 25;
constexpr int kTimeout_ms = 90000;

struct Size {
    const char* label;
    int width;
    int height;
};

constexpr Size kSizes[] = {{"1080p", 1920, 1080}, {"640x480", 640, 480}};

struct Codec {
    const char* label;
    const char* compressor;
};

constexpr Codec kCodecs[] = {{"MJPEG", "MJPEG Compressor"}, {"MPEG-4", "MPEG-4 Compressor"}};

bool run(const QString& program, const QStringList& arguments, double* cpu_s = nullptr) {
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    const double before = kv::bench::usageCpuSeconds(RUSAGE_CHILDREN);
    process.start(program, arguments);
    if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        std::printf("%s failed: %s\n", qPrintable(program),
                    process.readAllStandardError().right(600).constData());
        return false;
    }
    if (cpu_s) {
        *cpu_s = kv::bench::usageCpuSeconds(RUSAGE_CHILDREN) - before;
    }
    return true;
}

struct Ours {
    double cpu_s = 0;
    double wall_s = 0;
    int frames = 0;
    qint64 bytes = 0;
    kv::bench::Memory memory;
};

// The recorder until its third file starts; the second file is measured.
std::optional<Ours> recorder(const QString& clip, const Codec& codec, int framesPerFile) {
    kv::session::Settings settings;
    settings.Mode = kv::session::StateRecord;
    settings.RecInterval = 1000 / kRate;
    settings.Compressor = QString::fromUtf8(codec.compressor);
    settings.MaxRecordSamples = framesPerFile;
    kv::bench::HeadlessHome home(settings);
    QProcess program;
    program.setProcessEnvironment(home.env());
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(home.path() + u"/log.txt"_s);
    program.start(QStringLiteral(KV_PROGRAM_PATH),
                  {u"--headless"_s, u"--camera"_s, u"Bench=file://"_s + clip});
    QStringList seen;  // in the order they appeared
    std::optional<double> cpu0;
    std::optional<double> cpu1;
    QElapsedTimer timer;
    timer.start();
    double wall0 = 0;
    Ours ours;
    while (program.state() != QProcess::NotRunning && timer.elapsed() < kTimeout_ms && !cpu1) {
        for (const QString& name : kv::bench::aviFiles(home.folder())) {
            if (seen.contains(name)) {
                continue;
            }
            seen << name;
            if (seen.size() == 2) {
                cpu0 = kv::bench::processCpuSeconds(program.processId());
                wall0 = double(timer.nsecsElapsed()) / 1e9;
            } else if (seen.size() == 3) {
                cpu1 = kv::bench::processCpuSeconds(program.processId());
                ours.wall_s = double(timer.nsecsElapsed()) / 1e9 - wall0;
                if (const auto memory = kv::bench::processMemory(program.processId())) {
                    ours.memory = *memory;
                }
            }
        }
        QThread::usleep(2000);
    }
    program.terminate();
    if (!program.waitForFinished(30000)) {
        program.kill();
        program.waitForFinished(5000);
    }
    if (!cpu0 || !cpu1) {
        QFile log(home.path() + u"/log.txt"_s);
        log.open(QIODevice::ReadOnly);
        std::printf("the recorder made %lld files in %d s: %s\n", qlonglong(seen.size()),
                    kTimeout_ms / 1000, log.readAll().right(800).constData());
        return std::nullopt;
    }
    const QString second = home.folder() + u'/' + seen[1];
    ours.cpu_s = *cpu1 - *cpu0;
    ours.frames = kv::bench::aviFrames(second);
    ours.bytes = QFileInfo(second).size();
    // Kept for a look when asked.
    const QString keep = qEnvironmentVariable("KV_BENCH_KEEP");
    if (!keep.isEmpty()) {
        QFile::copy(second, keep + u"/recorder_"_s + QString::fromUtf8(codec.label) + u"_"_s +
                                QFileInfo(clip).fileName());
    }
    if (ours.frames <= 0) {
        std::printf("ffprobe cannot count the frames of %s\n", qPrintable(second));
        return std::nullopt;
    }
    return ours;
}

struct Peer {
    QString setting;
    double cpu_s = 0;
    int frames = 0;
    qint64 bytes = 0;
    double msPerFrame() const { return 1000.0 * cpu_s / frames; }
    double bytesPerFrame() const { return double(bytes) / frames; }
};

// ffmpeg decoding the clip (looped) and encoding `frames` of it.
std::optional<Peer> ffmpeg(const QString& clip, const QString& out, const QStringList& codecArgs,
                           int frames) {
    Peer peer;
    peer.setting = codecArgs.join(u' ');
    if (!run(u"ffmpeg"_s,
             QStringList{u"-nostdin"_s, u"-y"_s, u"-v"_s, u"error"_s, u"-stream_loop"_s, u"-1"_s,
                         u"-i"_s, clip, u"-frames:v"_s, QString::number(frames)} +
                 codecArgs + QStringList{u"-f"_s, u"avi"_s, out},
             &peer.cpu_s)) {
        return std::nullopt;
    }
    peer.frames = kv::bench::aviFrames(out);
    peer.bytes = QFileInfo(out).size();
    return peer.frames > 0 ? std::optional<Peer>(peer) : std::nullopt;
}

// ffmpeg's MJPEG at the two quality scales whose bytes per frame lie
// either side of ours on the clip's first frames, each encoding `frames`;
// its processor time interpolated (bytes in log) to our bytes per frame.
std::optional<Peer> ffmpegMjpeg(const QString& clip, const QString& dir, double ourBytesPerFrame,
                                int frames) {
    const auto args = [](int scale) {
        return QStringList{u"-c:v"_s, u"mjpeg"_s, u"-q:v"_s, QString::number(scale)};
    };
    int finer = 2;
    int coarser = 2;
    for (int scale = 2; scale <= 31; ++scale) {
        const auto trial = ffmpeg(clip, dir + u"/calibrate.avi"_s, args(scale), kCalibrationFrames);
        if (!trial) {
            return std::nullopt;
        }
        coarser = scale;
        if (trial->bytesPerFrame() < ourBytesPerFrame) {
            break;
        }
        finer = scale;
    }
    const auto a = ffmpeg(clip, dir + u"/ffmpeg.avi"_s, args(finer), frames);
    if (!a || finer == coarser) {
        return a;
    }
    const auto b = ffmpeg(clip, dir + u"/ffmpeg.avi"_s, args(coarser), frames);
    if (!b) {
        return std::nullopt;
    }
    const double span = std::log(b->bytesPerFrame()) - std::log(a->bytesPerFrame());
    const double t = std::clamp(
        span != 0 ? (std::log(ourBytesPerFrame) - std::log(a->bytesPerFrame())) / span : 0.0, 0.0,
        1.0);
    Peer peer;
    peer.frames = a->frames;
    peer.cpu_s = (a->msPerFrame() + t * (b->msPerFrame() - a->msPerFrame())) * peer.frames / 1000.0;
    peer.bytes = qint64(std::exp(std::log(a->bytesPerFrame()) + t * span) * peer.frames);
    peer.setting =
        u"-c:v mjpeg, -q:v %1 (%2 bytes, %3 ms) and %4 (%5 bytes, %6 ms) "
        "interpolated to our bytes"_s.arg(finer)
            .arg(a->bytesPerFrame(), 0, 'f', 0)
            .arg(a->msPerFrame(), 0, 'f', 2)
            .arg(coarser)
            .arg(b->bytesPerFrame(), 0, 'f', 0)
            .arg(b->msPerFrame(), 0, 'f', 2);
    return peer;
}

std::optional<Peer> gstLaunch(const QString& clip, const QString& out, const Codec& codec) {
    const kv::session::Settings defaults;
    const QStringList encoder =
        kv::bench::launchEncoder(QString::fromUtf8(codec.compressor), defaults.CompressorQuality,
                                 defaults.CompressorKeyframeRate);
    if (encoder.isEmpty()) {
        return std::nullopt;
    }
    Peer peer;
    peer.setting = encoder.mid(encoder.indexOf(u"!"_s) + 1).join(u' ');
    if (!run(u"gst-launch-1.0"_s,
             QStringList{u"-q"_s, u"filesrc"_s, u"location="_s + clip, u"!"_s, u"decodebin"_s,
                         u"!"_s, u"videoconvert"_s, u"!"_s} +
                 encoder +
                 QStringList{u"!"_s, u"avimux"_s, u"!"_s, u"filesink"_s, u"location="_s + out},
             &peer.cpu_s)) {
        return std::nullopt;
    }
    peer.frames = kv::bench::aviFrames(out);
    peer.bytes = QFileInfo(out).size();
    return peer.frames > 0 ? std::optional<Peer>(peer) : std::nullopt;
}

// The MPEG-4 quantiser the program sets at the default quality.
int ourMpeg4Quantiser() {
    const kv::session::Settings defaults;
    for (const QString& argument : kv::bench::launchEncoder(
             u"MPEG-4 Compressor"_s, defaults.CompressorQuality, defaults.CompressorKeyframeRate)) {
        if (argument.startsWith(u"qmin="_s)) {
            return argument.mid(5).toInt();
        }
    }
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!kv::bench::startGStreamer()) {
        return 1;
    }
    const int framesPerFile = argc > 1 ? std::max(25, std::atoi(argv[1])) : 125;
    const QString only = argc > 2 ? QString::fromUtf8(argv[2]) : QString();
    const kv::session::Settings defaults;
    QTemporaryDir dir;
    int failed = 0;
    std::printf(
        "headless recorder, mode On, RecInterval 40, %d frames a file, quality %.2f, key frame "
        "every %d; CPU of the whole process over its second file\n",
        framesPerFile, defaults.CompressorQuality, defaults.CompressorKeyframeRate);
    for (const Size& size : kSizes) {
        const QString sizeLabel = QString::fromUtf8(size.label);
        const bool sizePicked = only.isEmpty() || sizeLabel.contains(only, Qt::CaseInsensitive);
        const QString clip = dir.path() + u"/clip_%1.avi"_s.arg(sizeLabel);
        bool clipMade = false;
        for (const Codec& codec : kCodecs) {
            const QString codecLabel = QString::fromUtf8(codec.label);
            if (!sizePicked && !codecLabel.contains(only, Qt::CaseInsensitive)) {
                continue;
            }
            if (!clipMade) {
                // One frame more than a file holds: a file is one pass of the clip.
                if (!run(u"ffmpeg"_s,
                         {u"-nostdin"_s, u"-y"_s, u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                          kv::bench::detailedSceneFilter(size.width, size.height, kRate),
                          u"-frames:v"_s, QString::number(framesPerFile + 1), u"-c:v"_s, u"mjpeg"_s,
                          u"-q:v"_s, u"2"_s, u"-pix_fmt"_s, u"yuvj420p"_s, clip})) {
                    return 1;
                }
                clipMade = true;
            }
            const QString label = sizeLabel + u' ' + codecLabel;
            const std::optional<Ours> ours = recorder(clip, codec, framesPerFile);
            if (!ours) {
                ++failed;
                continue;
            }
            const double oursPerFrame = 1000.0 * ours->cpu_s / ours->frames;
            const double oursBytes = double(ours->bytes) / ours->frames;
            std::printf(
                "%-14s ours:       %6.2f ms/frame  %8.0f bytes/frame  (%.2f s CPU, %d frames in "
                "%.1f s; resident %.1f MiB, peak %.1f MiB)\n",
                qPrintable(label), oursPerFrame, oursBytes, ours->cpu_s, ours->frames, ours->wall_s,
                ours->memory.rss_MiB, ours->memory.peak_MiB);

            const auto byFfmpeg = codecLabel == u"MJPEG"_s
                                      ? ffmpegMjpeg(clip, dir.path(), oursBytes, ours->frames)
                                      : ffmpeg(clip, dir.path() + u"/ffmpeg.avi"_s,
                                               {u"-c:v"_s, u"mpeg4"_s, u"-q:v"_s,
                                                QString::number(ourMpeg4Quantiser()), u"-g"_s,
                                                QString::number(defaults.CompressorKeyframeRate)},
                                               ours->frames);
            const auto byGst = gstLaunch(clip, dir.path() + u"/gst.avi"_s, codec);
            for (const auto& [name, peer] :
                 {std::pair{"ffmpeg", byFfmpeg}, std::pair{"gst-launch", byGst}}) {
                if (peer) {
                    std::printf(
                        "%-14s %-11s %6.2f ms/frame  %8.0f bytes/frame  (%d frames; %s); ours / "
                        "%s = %.2f\n",
                        qPrintable(label), (std::string(name) + ":").c_str(), peer->msPerFrame(),
                        peer->bytesPerFrame(), peer->frames, qPrintable(peer->setting), name,
                        oursPerFrame / peer->msPerFrame());
                } else {
                    std::printf("%-14s %s: did not run\n", qPrintable(label), name);
                }
            }
            if (!byFfmpeg || !byGst) {
                ++failed;
                continue;
            }
            kv::bench::summary(
                kv::bench::format("recorder CPU per recorded frame %s", qPrintable(label)),
                kv::bench::format("%.1f ms = %.2f x ffmpeg (%.1f), %.2f x gst-launch (%.1f)",
                                  oursPerFrame, oursPerFrame / byFfmpeg->msPerFrame(),
                                  byFfmpeg->msPerFrame(), oursPerFrame / byGst->msPerFrame(),
                                  byGst->msPerFrame()),
                "-", std::nullopt);
        }
    }
    return failed == 0 ? 0 : 1;
}

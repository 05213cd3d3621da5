// Playback of recordings made at the program's default compressor settings,
// at 640x480 and 1080p: 20,000 frames of MJPEG, and MPEG-4 with a key frame
// every 10 frames (2,000 frames: a seek costs the same in a longer file), all
// of moving colour bars (about 125 KB a frame at 1080p MJPEG); and 500 frames
// of 1080p MJPEG of a detailed scene with camera noise (about 400 KB a
// frame, as real footage), whose seek is the one a user waits for.
// Measured: the time until the first frame is shown, with and without the
// pipeline log; the latency of seeks and frame steps; and the processor time
// of every thread of the program per operation.
//
// The recordings are written once through the compressor table into
// KV_BENCH_PLAYBACK_DIR (default: this program's folder) and reused; a copy
// of the 640x480 MJPEG file cut before its index stands for a recording whose
// writer died. Arguments, when given, pick recordings by part of their name.

#include "bench/bench_summary.h"
#include "bench/detailed_scene.h"
#include "media/compressors.h"
#include "media/graph_log.h"
#include "media/gst_handle.h"
#include "media/gst_init.h"
#include "playback/playback_graph.h"
#include "record/journal.h"
#include "record/record_graph.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using kv::playback::PlaybackBuild;
using kv::playback::PlaybackGraph;

namespace {

constexpr int kJournalFrames = 20000;
constexpr int kLoads = 25;
// Each, with and without the log: its cost is a few hundred microseconds,
// which a busy machine hides in fewer.
constexpr int kLogLoads = 100;
constexpr double kTransportGoal_ms = 5.0;
constexpr double kLogCostGoal = 0.05;
constexpr double kJournalGoal_ms = 200.0;

struct Recording {
    const char* label;
    int width;
    int height;
    const char* compressor;
    int frames;
    int operations;  // seeks and steps measured; steps start mid-file, so at most frames / 2
    bool goal;       // the transport goal applies (intra-only at 1080p)
    bool unfinished;
    bool detailed;  // the detailed scene instead of colour bars
};

constexpr Recording kRecordings[] = {
    {"640x480 MJPEG", 640, 480, "MJPEG Compressor", 20000, 300, false, true, false},
    {"1080p MJPEG", 1920, 1080, "MJPEG Compressor", 20000, 300, true, false, false},
    {"1080p MJPEG detailed", 1920, 1080, "MJPEG Compressor", 500, 200, true, false, true},
    {"640x480 MPEG-4", 640, 480, "MPEG-4 Compressor", 2000, 150, false, false, false},
    {"1080p MPEG-4", 1920, 1080, "MPEG-4 Compressor", 2000, 150, false, false, false},
};

QString dataDir() {
    const QString dir = qEnvironmentVariable("KV_BENCH_PLAYBACK_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir;
}

QString recordingPath(const Recording& r) {
    const QString codec = QString::fromUtf8(r.compressor).section(u' ', 0, 0).toLower();
    return QDir(dataDir()).filePath(u"kv_bench_playback_%1x%2_%3_%4%5.avi"_s.arg(r.width)
                                        .arg(r.height)
                                        .arg(codec)
                                        .arg(r.frames)
                                        .arg(r.detailed ? u"_detailed"_s : QString()));
}

QString unfinishedPath(const Recording& r) {
    return recordingPath(r) + u".unfinished.avi"_s;
}

double cpu_ms() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
            double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
}

kv::media::Element make(const char* factory) {
    return kv::media::adopt(gst_element_factory_make(factory, nullptr));
}

// A moving colour-bar picture, or ffmpeg's detailed scene read from a pipe,
// through the compressor as the recorder sets it up.
bool writeRecording(const Recording& r, const QString& path) {
    if (QFileInfo(path).size() > 0) {
        return true;
    }
    std::fprintf(stderr, "Writing %s (%d frames)...\n", qPrintable(path), r.frames);
    const QString tmp = path + u".part"_s;
    const kv::record::RecordGraphParams defaults;
    const QString compressor = QString::fromUtf8(r.compressor);
    kv::media::Element pipeline = kv::media::adopt(gst_pipeline_new(nullptr));
    // Closed (and ffmpeg waited for) when this returns.
    const std::unique_ptr<FILE, int (*)(FILE*)> scene(
        r.detailed
            ? ::popen(qPrintable(u"ffmpeg -nostdin -v error -f lavfi -i '%1' -frames:v %2 "
                                 "-pix_fmt bgr24 -f rawvideo -"_s
                                     .arg(kv::bench::detailedSceneFilter(r.width, r.height, 25))
                                     .arg(r.frames)),
                      "r")
            : nullptr,
        [](FILE* f) { return f ? ::pclose(f) : 0; });
    if (r.detailed && !scene) {
        std::fprintf(stderr, "Cannot start ffmpeg for %s\n", r.label);
        return false;
    }
    kv::media::Element source = make(r.detailed ? "fdsrc" : "videotestsrc");
    kv::media::Element size = make(r.detailed ? "rawvideoparse" : "capsfilter");
    kv::media::Element convert = make("videoconvert");
    kv::media::Element input = make("capsfilter");
    kv::media::Element encoder = kv::media::createCompressor(compressor);
    kv::media::Element mux = make("avimux");
    kv::media::Element sink = make("filesink");
    if (!pipeline || !source || !size || !convert || !input || !encoder || !mux || !sink) {
        std::fprintf(stderr, "GStreamer lacks an element for %s\n", r.label);
        return false;
    }
    if (r.detailed) {
        g_object_set(source.get(), "fd", ::fileno(scene.get()), nullptr);
        g_object_set(size.get(), "width", r.width, "height", r.height, "framerate", 25, 1, nullptr);
        gst_util_set_object_arg(G_OBJECT(size.get()), "format", "bgr");
    } else {
        g_object_set(source.get(), "num-buffers", r.frames, "horizontal-speed", 4, nullptr);
        gst_util_set_object_arg(G_OBJECT(source.get()), "pattern", "smpte");
        const kv::media::Caps sizeCaps = kv::media::adopt(
            gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, r.width, "height", G_TYPE_INT,
                                r.height, "framerate", GST_TYPE_FRACTION, 25, 1, nullptr));
        g_object_set(size.get(), "caps", sizeCaps.get(), nullptr);
    }
    if (const kv::media::Caps caps = kv::media::compressorInputCaps(encoder.get())) {
        g_object_set(input.get(), "caps", caps.get(), nullptr);
    }
    kv::media::ApplyCompression(encoder.get(), compressor, defaults.quality, defaults.keyFrameRate);
    g_object_set(sink.get(), "location", QFile::encodeName(tmp).constData(), nullptr);
    GstElement* chain[] = {source.get(),  size.get(), convert.get(), input.get(),
                           encoder.get(), mux.get(),  sink.get()};
    for (GstElement* e : chain) {
        gst_bin_add(GST_BIN(pipeline.get()), e);
    }
    for (std::size_t i = 0; i + 1 < std::size(chain); ++i) {
        if (!gst_element_link(chain[i], chain[i + 1])) {
            std::fprintf(stderr, "Cannot link the writer of %s\n", r.label);
            return false;
        }
    }
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    kv::media::Bus bus = kv::media::adopt(gst_element_get_bus(pipeline.get()));
    kv::media::Message message = kv::media::adopt(gst_bus_timed_pop_filtered(
        bus.get(), 900 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    if (!message || GST_MESSAGE_TYPE(message.get()) != GST_MESSAGE_EOS) {
        return false;
    }
    QFile::remove(path);
    return QFile::rename(tmp, path);
}

// Everything before the index, as a writer that died leaves it.
bool writeUnfinished(const QString& from, const QString& to) {
    if (QFileInfo(to).size() > 0) {
        return true;
    }
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) {
        return false;
    }
    // The index closes the file.
    const qint64 tail = std::min<qint64>(in.size(), qint64(16) << 20);
    in.seek(in.size() - tail);
    const qsizetype at = in.read(tail).lastIndexOf("idx1");
    if (at < 0) {
        return false;
    }
    const qint64 index = in.size() - tail + at;
    QFile out(to + u".part"_s);
    if (!out.open(QIODevice::WriteOnly) || !in.seek(0)) {
        return false;
    }
    for (qint64 left = index; left > 0;) {
        const QByteArray chunk = in.read(std::min<qint64>(left, qint64(8) << 20));
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            return false;
        }
        left -= chunk.size();
    }
    out.close();
    return QFile::rename(out.fileName(), to);
}

struct Figures {
    std::vector<double> wall_ms;
    double cpuPerOp_ms = 0;

    double median() const { return at(wall_ms.size() / 2); }
    double min() const { return at(0); }
    double max() const { return at(wall_ms.size() - 1); }
    double at(std::size_t i) const {
        std::vector<double> sorted = wall_ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0.0 : sorted[i];
    }
};

void printFigures(const char* label, const char* what, const Figures& f) {
    std::printf("%-20s %-26s median %8.2f ms  min %8.2f  max %8.2f  cpu %7.2f ms/op  (n=%zu)\n",
                label, what, f.median(), f.min(), f.max(), f.cpuPerOp_ms, f.wall_ms.size());
    std::fflush(stdout);
}

// Loads until the first frame is shown; logFile empty: no pipeline log.
bool load(PlaybackGraph& graph, const QString& file, double& wall_ms) {
    bool shown = false;
    const QMetaObject::Connection connection =
        QObject::connect(&graph, &PlaybackGraph::frameReady, [&] { shown = true; });
    QElapsedTimer timer;
    timer.start();
    const bool loaded = graph.build(file) == PlaybackBuild::Loaded;
    while (loaded && !shown && timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    wall_ms = double(timer.nsecsElapsed()) / 1e6;
    QObject::disconnect(connection);
    graph.close();
    QCoreApplication::processEvents();
    return loaded && shown;
}

// With and without the log, alternately so that a busy machine hits both.
bool measureLoads(const QString& file, Figures& withLog, Figures& without, qint64& logBytes) {
    QTemporaryDir dir;
    const QString logFile = dir.filePath(u"PLAYBACK.TXT"_s);
    PlaybackGraph graph(nullptr);
    double cpuWith = 0;
    double cpuWithout = 0;
    // The first load of a process finds and loads the plugins.
    for (const bool logged : {true, false}) {
        graph.setLogFileName(logged ? logFile : QString());
        double wall = 0;
        load(graph, file, wall);
    }
    for (int i = 0; i < kLogLoads; ++i) {
        for (const bool logged : {true, false}) {
            graph.setLogFileName(logged ? logFile : QString());
            double wall = 0;
            const double cpu = cpu_ms();
            if (!load(graph, file, wall)) {
                std::fprintf(stderr, "%s did not load\n", qPrintable(file));
                return false;
            }
            (logged ? cpuWith : cpuWithout) += cpu_ms() - cpu;
            (logged ? withLog : without).wall_ms.push_back(wall);
        }
    }
    withLog.cpuPerOp_ms = cpuWith / kLogLoads;
    without.cpuPerOp_ms = cpuWithout / kLogLoads;
    // The log is written in the background: its size once it is all there.
    kv::media::GraphLog::waitWritten(5000);
    logBytes = QFileInfo(logFile).size();
    return true;
}

template <typename Operation>
Figures measure(int count, Operation operation) {
    Figures f;
    f.wall_ms.reserve(std::size_t(count));
    const double cpu = cpu_ms();
    QElapsedTimer timer;
    for (int i = 0; i < count; ++i) {
        timer.start();
        operation();
        f.wall_ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    f.cpuPerOp_ms = (cpu_ms() - cpu) / count;
    QCoreApplication::processEvents();
    return f;
}

void reportTransport(const Recording& r, const char* what, const Figures& f) {
    printFigures(r.label, what, f);
    const std::string value = kv::bench::format("%.1f ms (cpu %.1f ms)", f.median(), f.cpuPerOp_ms);
    if (r.goal) {
        kv::bench::summary(kv::bench::format("playback %s %s", what, r.label), value,
                           kv::bench::format("< %.0f ms", kTransportGoal_ms),
                           f.median() < kTransportGoal_ms);
    } else {
        kv::bench::summary(kv::bench::format("playback %s %s", what, r.label), value, "-", {});
    }
}

bool benchRecording(const Recording& r, double& load_ms) {
    const QString file = recordingPath(r);
    Figures withLog;
    Figures without;
    qint64 logBytes = 0;
    if (!measureLoads(file, withLog, without, logBytes)) {
        return false;
    }
    printFigures(r.label, "first frame, no log", without);
    printFigures(r.label, "first frame, with log", withLog);
    load_ms = withLog.median();
    // The loads alternate: each with the log against the one right after it,
    // so that a machine busy for a while weighs on both alike.
    Figures extra;
    for (std::size_t i = 0; i < withLog.wall_ms.size(); ++i) {
        extra.wall_ms.push_back(withLog.wall_ms[i] - without.wall_ms[i]);
    }
    const double cost = extra.median() / without.median();
    kv::bench::summary(kv::bench::format("playback first frame %s", r.label),
                       kv::bench::format("%.0f ms", withLog.median()), "-", {});
    kv::bench::summary(kv::bench::format("playback log cost %s", r.label),
                       kv::bench::format("%+.1f %% (cpu %+.2f ms, %lld KB)", cost * 100.0,
                                         withLog.cpuPerOp_ms - without.cpuPerOp_ms,
                                         static_cast<long long>(logBytes / 1024)),
                       kv::bench::format("< %.0f %%", kLogCostGoal * 100.0), cost < kLogCostGoal);
    if (r.unfinished) {
        Figures unfinished;
        PlaybackGraph graph(nullptr);
        graph.setLogFileName(QString());
        const double cpu = cpu_ms();
        for (int i = 0; i < kLoads; ++i) {
            double wall = 0;
            if (!load(graph, unfinishedPath(r), wall)) {
                std::fprintf(stderr, "the unfinished copy did not load\n");
                return false;
            }
            unfinished.wall_ms.push_back(wall);
        }
        unfinished.cpuPerOp_ms = (cpu_ms() - cpu) / kLoads;
        printFigures(r.label, "first frame, unfinished", unfinished);
    }

    QTemporaryDir dir;
    PlaybackGraph graph(nullptr);
    graph.setLogFileName(dir.filePath(u"PLAYBACK.TXT"_s));
    if (graph.build(file) != PlaybackBuild::Loaded || graph.frameCount() != r.frames) {
        std::fprintf(stderr, "%s did not load with %d frames\n", qPrintable(file), r.frames);
        return false;
    }
    graph.stop();
    const qint64 frames = graph.frameCount();
    std::printf("%-20s %lld frames, %.0f KB a frame\n", r.label, static_cast<long long>(frames),
                double(QFileInfo(file).size()) / double(frames) / 1000.0);
    int misplaced = 0;

    std::mt19937 random(7);
    std::uniform_int_distribution<qint64> anyFrame(0, frames - 1);
    const Figures seek = measure(r.operations, [&] {
        const qint64 target = anyFrame(random);
        graph.seekToFrame(target);
        misplaced += graph.position() != target;
    });

    graph.seekToFrame(frames / 2);
    const Figures forward = measure(r.operations, [&] {
        const qint64 expected = graph.position() + 1;
        misplaced += graph.stepForward() != expected;
    });

    graph.seekToFrame(frames / 2);
    const Figures back = measure(r.operations, [&] {
        const qint64 expected = graph.position() - 1;
        misplaced += graph.stepBack() != expected;
    });

    reportTransport(r, "seek", seek);
    printFigures(r.label, "step forward", forward);
    reportTransport(r, "step back", back);
    if (misplaced > 0) {
        std::printf("%-20s %d operations ended on another frame\n", r.label, misplaced);
    }
    return misplaced == 0;
}

// The journal of a 20,000-frame recording read as playback opens it, with
// the starts of its movements found.
double journalRead_ms() {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"journal.csv"_s);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            return -1;
        }
        file.write(kv::record::kJournalHeader);
        const QDateTime start = QDateTime::currentDateTime();
        for (int i = 0; i < kJournalFrames; ++i) {
            const bool moving = (i / 50) % 3 == 0;
            file.write(kv::record::formatJournalLine(
                {i, start.addMSecs(1000LL * i), moving ? 30000 : 0, 25000,
                 moving ? kv::record::JournalFate::Movement : kv::record::JournalFate::On}));
        }
    }
    std::size_t starts = 0;
    const Figures f = measure(
        10, [&] { starts = kv::record::movementStarts(kv::record::readJournal(path)).size(); });
    printFigures("journal", "read 20,000 lines", f);
    return starts > 0 ? f.median() : -1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString error;
    if (!kv::media::initGStreamer(&error)) {
        std::fprintf(stderr, "GStreamer did not start: %s\n", qPrintable(error));
        return 1;
    }
    const QStringList picks = app.arguments().mid(1);
    const auto picked = [&](const Recording& r) {
        return picks.isEmpty() || std::any_of(picks.begin(), picks.end(), [&](const QString& pick) {
                   return QString::fromUtf8(r.label).contains(pick, Qt::CaseInsensitive);
               });
    };
    for (const Recording& r : kRecordings) {
        if (!picked(r)) {
            continue;
        }
        if (!writeRecording(r, recordingPath(r)) ||
            (r.unfinished && !writeUnfinished(recordingPath(r), unfinishedPath(r)))) {
            std::fprintf(stderr, "Cannot write the recording %s\n", qPrintable(recordingPath(r)));
            return 1;
        }
    }
    int failed = 0;
    double firstFrame_ms = -1;
    for (const Recording& r : kRecordings) {
        double load_ms = 0;
        if (!picked(r)) {
            continue;
        }
        if (!benchRecording(r, load_ms)) {
            ++failed;
        } else if (r.unfinished) {
            firstFrame_ms = load_ms;
        }
    }
    const double journal_ms = journalRead_ms();
    if (journal_ms >= 0 && firstFrame_ms >= 0) {
        const double open_ms = journal_ms + firstFrame_ms;
        kv::bench::summary("playback open 20,000-frame 640x480 file with its journal",
                           kv::bench::format("%.0f ms", open_ms),
                           kv::bench::format("< %.0f ms", kJournalGoal_ms),
                           open_ms < kJournalGoal_ms);
    }
    return failed == 0 ? 0 : 1;
}

// Playback on a 20,000-frame 320x240 MJPEG recording: time until the first
// frame is shown, and the latency of seeks and frame steps. The recording is
// made once in /tmp (or KV_BENCH_PLAYBACK_FILE); a copy cut before its index
// stands for a recording whose writer died.

#include "media/gst_handle.h"
#include "media/gst_init.h"
#include "playback/playback_graph.h"
#include "record/journal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>

using namespace Qt::Literals::StringLiterals;
using kv::playback::PlaybackBuild;
using kv::playback::PlaybackGraph;

namespace {

constexpr int kFrames = 20000;

QString recordingPath() {
    const QString path = qEnvironmentVariable("KV_BENCH_PLAYBACK_FILE");
    return path.isEmpty() ? u"/tmp/kv_bench_playback_20000.avi"_s : path;
}

QString unfinishedPath() {
    return recordingPath() + u".unfinished.avi"_s;
}

bool makeRecording(const QString& path) {
    if (QFileInfo(path).size() > 0) {
        return true;
    }
    std::fprintf(stderr, "Writing %s (%d frames)...\n", qPrintable(path), kFrames);
    const QString tmp = path + u".part"_s;
    const QString line =
        u"videotestsrc num-buffers=%1 pattern=ball ! "
        "video/x-raw,width=320,height=240,framerate=25/1 ! videoconvert ! "
        "video/x-raw,format=I420 ! jpegenc quality=30 ! avimux ! filesink location=\"%2\""_s
            .arg(kFrames)
            .arg(tmp);
    kv::media::Error error;
    kv::media::Element pipeline =
        kv::media::adopt(gst_parse_launch(line.toUtf8().constData(), error.out()));
    if (!pipeline) {
        return false;
    }
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    kv::media::Bus bus = kv::media::adopt(gst_element_get_bus(pipeline.get()));
    kv::media::Message message = kv::media::adopt(gst_bus_timed_pop_filtered(
        bus.get(), 300 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    if (!message || GST_MESSAGE_TYPE(message.get()) != GST_MESSAGE_EOS) {
        return false;
    }
    QFile::remove(path);
    return QFile::rename(tmp, path);
}

// Everything before the index, as a writer that died leaves it.
bool makeUnfinished(const QString& from, const QString& to) {
    if (QFileInfo(to).size() > 0) {
        return true;
    }
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = in.readAll();
    const qsizetype index = bytes.lastIndexOf("idx1");
    QFile out(to);
    return index > 0 && out.open(QIODevice::WriteOnly) && out.write(bytes.left(index)) == index;
}

void waitForFrame(PlaybackGraph& graph, bool& shown) {
    while (!shown) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    benchmark::DoNotOptimize(graph.currentImage());
}

void loadUntilShown(benchmark::State& state, const QString& file) {
    QTemporaryDir dir;  // for PLAYBACK.TXT
    PlaybackGraph graph(nullptr);
    graph.setLogFileName(dir.filePath(u"PLAYBACK.TXT"_s));
    bool shown = false;
    QObject::connect(&graph, &PlaybackGraph::frameReady, [&] { shown = true; });
    for (auto _ : state) {
        shown = false;
        if (graph.build(file) != PlaybackBuild::Loaded) {
            state.SkipWithError("the recording did not load");
            return;
        }
        waitForFrame(graph, shown);
        state.PauseTiming();
        graph.close();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["frames"] = double(kFrames);
}

void BM_FirstFrameShown(benchmark::State& state) {
    loadUntilShown(state, recordingPath());
}
BENCHMARK(BM_FirstFrameShown)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_FirstFrameShownUnfinished(benchmark::State& state) {
    loadUntilShown(state, unfinishedPath());
}
BENCHMARK(BM_FirstFrameShownUnfinished)->Unit(benchmark::kMillisecond)->Iterations(10);

// One loaded graph shared by the transport benchmarks.
PlaybackGraph* loadedGraph() {
    static QTemporaryDir dir;
    static PlaybackGraph graph(nullptr);
    if (!graph.loaded()) {
        graph.setLogFileName(dir.filePath(u"PLAYBACK.TXT"_s));
        if (graph.build(recordingPath()) != PlaybackBuild::Loaded) {
            return nullptr;
        }
        graph.stop();
    }
    return &graph;
}

// The journal of a 20,000-frame recording read as playback opens it, with
// the starts of its movements found (goal, with the file's first frame: under
// 200 ms).
void BM_JournalRead(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"journal.csv"_s);
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(kv::record::kJournalHeader);
        const QDateTime start = QDateTime::currentDateTime();
        for (int i = 0; i < kFrames; ++i) {
            const bool moving = (i / 50) % 3 == 0;
            file.write(kv::record::formatJournalLine(
                {i, start.addMSecs(1000LL * i), moving ? 30000 : 0, 25000,
                 moving ? kv::record::JournalFate::Movement : kv::record::JournalFate::On}));
        }
    }
    std::size_t starts = 0;
    for (auto _ : state) {
        const auto lines = kv::record::readJournal(path);
        starts = kv::record::movementStarts(lines).size();
        benchmark::DoNotOptimize(starts);
    }
    state.counters["starts"] = double(starts);
}
BENCHMARK(BM_JournalRead)->Unit(benchmark::kMillisecond);

void BM_SeekRandomFrame(benchmark::State& state) {
    PlaybackGraph* graph = loadedGraph();
    if (!graph) {
        state.SkipWithError("the recording did not load");
        return;
    }
    std::mt19937 random(7);
    std::uniform_int_distribution<qint64> frame(0, graph->frameCount() - 1);
    for (auto _ : state) {
        graph->seekToFrame(frame(random));
        benchmark::DoNotOptimize(graph->lastSample());
    }
    QCoreApplication::processEvents();
}
BENCHMARK(BM_SeekRandomFrame)->Unit(benchmark::kMillisecond);

void BM_StepForward(benchmark::State& state) {
    PlaybackGraph* graph = loadedGraph();
    if (!graph) {
        state.SkipWithError("the recording did not load");
        return;
    }
    graph->seekToFrame(1000);
    for (auto _ : state) {
        if (graph->stepForward() >= graph->frameCount() - 1) {
            graph->seekToFrame(1000);
        }
    }
    QCoreApplication::processEvents();
}
BENCHMARK(BM_StepForward)->Unit(benchmark::kMillisecond);

void BM_StepBack(benchmark::State& state) {
    PlaybackGraph* graph = loadedGraph();
    if (!graph) {
        state.SkipWithError("the recording did not load");
        return;
    }
    graph->seekToFrame(graph->frameCount() - 1);
    for (auto _ : state) {
        if (graph->stepBack() <= 0) {
            graph->seekToFrame(graph->frameCount() - 1);
        }
    }
    QCoreApplication::processEvents();
}
BENCHMARK(BM_StepBack)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString error;
    if (!kv::media::initGStreamer(&error)) {
        std::fprintf(stderr, "GStreamer did not start: %s\n", qPrintable(error));
        return 1;
    }
    if (!makeRecording(recordingPath()) || !makeUnfinished(recordingPath(), unfinishedPath())) {
        std::fprintf(stderr, "Cannot write the recording %s\n", qPrintable(recordingPath()));
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

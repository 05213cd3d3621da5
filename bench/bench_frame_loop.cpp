// The frame loop's work per frame on a real main window: the hold on the
// hand-off's newest frame, the motion measure (mode "on movement"), the two
// draws, the stamps and the push into the recording, at 640x480 and 1920x1080
// from a test camera.
//
//   FrameLoop/W/H/free      called back to back; the recording drops what its
//                           queue cannot take, and a dropped push skips its copy
//   FrameLoop/W/H/paced     one call per 40 ms slot (the wait is not timed), so
//                           every push is taken, as at 25 frames/s
//   FrameLoop/W/H/norecord  trigger above any motion: everything but the push;
//                           each frame is kept for the 25 before a movement
//
//   FrameStep/W/H/STEP      each step of the frame loop on its own, with the
//                           functions the loop calls: display_hold (a hold on
//                           the hand-off's newest buffer, the rows under its
//                           stamp saved for the motion measure), motion (the classic
//                           measure of two frames), live
//                           (the live picture's draw into a 640-pixel-wide
//                           panel), stamp, push (the held frame into an
//                           appsrc feeding a fakesink, without a copy) and
//                           prerecord_keep (a hold)
//
// Afterwards, unless --no-rss: the resident set after 10,000 and 100,000
// calls (at 640x480 unless --rss-size=1920x1080), with the heap in use beside
// it; --rss-norecord sets the trigger above any motion, leaving the recording
// out.
//
// kv_bench_frame_loop [--no-rss] [--rss-only] [--rss-norecord] [--rss-size=WxH]
//                     [benchmark flags]

#include "app/Main.h"
#include "app/settings_store.h"
#include "app/window_messages.h"
#include "bench/benchmark_summary.h"
#include "capture/frame_stamp.h"
#include "capture/grabber_callback.h"
#include "capture/motion.h"
#include "media/gst_handle.h"
#include "media/gst_init.h"
#include "media/push_source.h"
#include "media/uri_camera.h"
#include "record/record_graph.h"
#include "session/recording_session.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QProgressBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace kv;

namespace {

enum class Variant { Free, Paced, NoRecord };

QString recordingsFolder() {
    return QDir::homePath() + QStringLiteral("/Documents/rec/");
}

void pump(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
}

// One main window recording from a test camera of the given size. Only one
// lives at a time: they share the instance suffix.
class Window {
  public:
    Window(int width, int height) : width_(width), height_(height) {
        QDir().mkpath(recordingsFolder());
        session::Settings settings;
        settings.AVIPath = recordingsFolder();
        settings.RecInterval = 40;
        settings.Mode = 2;  // on movement
        settings.Trigger = 1;
        settings.MaxRecordSamples = 100000000;  // no file change while measuring
        settings.PreRecFrames = 25;             // a second before a movement, kept while quiet
        app::SettingsStore store(QStringLiteral("9"));
        if (!store.save(settings, nullptr)) {
            std::fprintf(stderr, "cannot write the settings\n");
            return;
        }
        const QString camera =
            QStringLiteral("Cam=test:ball?width=%1&height=%2&framerate=30").arg(width).arg(height);
        form_ = std::make_unique<TForm1>(
            QStringList{QStringLiteral("/I9"), QStringLiteral("--camera"), camera});
        media::MessageEvent startup(app::WM_STARTUP);
        QCoreApplication::sendEvent(form_.get(), &startup);
        for (int i = 0; i < 3; ++i) {
            form_->session().RecordTimerTimer();
        }
        QElapsedTimer timer;
        timer.start();
        while (form_->session().recordedFrames() < 5 && timer.elapsed() < 15000) {
            QCoreApplication::processEvents();
            QThread::msleep(1);
        }
        ok_ = form_->session().recordGraphExists() && form_->session().recordedFrames() >= 5;
        if (!ok_) {
            std::fprintf(stderr, "no frames recorded at %dx%d\n", width, height);
        }
    }
    ~Window() {
        if (form_) {
            form_->CloseRecordGraph();
            form_->CloseCaptureGraph();
        }
        form_.reset();
        media::clearUriCameras();
        // Each window's recording is only wanted while it runs.
        QDir(recordingsFolder()).removeRecursively();
    }

    bool ok() const { return ok_; }
    bool is(int width, int height) const { return width == width_ && height == height_; }
    TForm1& form() { return *form_; }

  private:
    int width_;
    int height_;
    bool ok_ = false;
    std::unique_ptr<TForm1> form_;
};

std::unique_ptr<Window> current;

Window* windowOf(int width, int height) {
    if (!current || !current->is(width, height)) {
        current.reset();
        current = std::make_unique<Window>(width, height);
    }
    return current->ok() ? current.get() : nullptr;
}

// How long this thread has waited for a core since it started, from the
// scheduler's own count; 0 where the kernel does not keep it.
std::int64_t runQueueDelay_ns() {
    QFile stat(QStringLiteral("/proc/thread-self/schedstat"));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> fields = stat.readAll().split(' ');
    return fields.size() >= 2 ? fields[1].toLongLong() : 0;
}

void FrameLoop(benchmark::State& state, int width, int height, Variant variant) {
    Window* window = windowOf(width, height);
    if (!window) {
        state.SkipWithError("the window does not record");
        return;
    }
    TForm1& form = window->form();
    QSlider* trigger = form.controls().MotionTriggerBar;
    trigger->setValue(variant == Variant::NoRecord ? trigger->maximum() : 1);
    pump(200);  // the trigger applies from the next frame

    const record::RecordCounters before = form.session().recordCounters();
    const int recordedBefore = form.session().recordedFrames();
    QElapsedTimer pace;
    pace.start();
    qint64 slot = 0;
    std::int64_t calls = 0;
    std::int64_t waited_ns = 0;
    for (auto _ : state) {
        std::int64_t delay_ns = 0;
        if (variant == Variant::Paced) {
            state.PauseTiming();
            slot += 40;
            // Asleep between events, as the program waits for its next frame.
            while (pace.elapsed() < slot) {
                QCoreApplication::processEvents();
                QThread::msleep(1);
            }
            delay_ns = runQueueDelay_ns();
            state.ResumeTiming();
        } else if ((++calls & 63) == 0) {
            // Frame notifications and bus messages pile up otherwise.
            state.PauseTiming();
            QCoreApplication::processEvents();
            state.ResumeTiming();
        }
        form.session().FrameLoop();
        if (variant == Variant::Paced) {
            state.PauseTiming();
            waited_ns += runQueueDelay_ns() - delay_ns;
            state.ResumeTiming();
        }
    }
    if (variant == Variant::Paced && state.iterations() > 0) {
        // Of the wall time, how long the loop was ready to run but every core
        // was busy (the encoder and the camera's thread take them at 1080p).
        state.counters["runq_ms"] = double(waited_ns) / 1e6 / double(state.iterations());
    }
    const record::RecordCounters after = form.session().recordCounters();
    state.counters["recorded"] = double(form.session().recordedFrames() - recordedBefore);
    state.counters["dropped"] = double(after.dropped - before.dropped);
    state.counters["failed"] = double(after.failed - before.failed);
    // Pushed as the hand-off's buffer, with no copy on the main thread.
    state.counters["uncopied"] = double(after.shared - before.shared);
    state.counters["motion"] = double(form.controls().MotionDisplayBar->value());
}

// The playback track bar with the activity of a 20,000-frame recording
// drawn behind it, as it is painted when the recording opens.
void ActivityStripPaint(benchmark::State& state) {
    kv::app::ActivityTrackBar bar;
    bar.resize(333, 21);
    bar.setRange(0, 20000);
    std::vector<int> motion(20000);
    std::vector<bool> moving(20000);
    for (std::size_t i = 0; i < motion.size(); ++i) {
        motion[i] = int((i * 7919) % 60000);
        moving[i] = motion[i] > 25000;
    }
    bar.setActivity(motion, moving, 25000);
    QImage image(bar.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        bar.render(&image);
    }
}

enum class Step { DisplayHold, Motion, Live, Stamp, Push, PreRecordKeep };

// Two frames of noise-free gradients that differ in a square, as a camera's.
std::vector<std::uint8_t> stepFrame(const media::BITMAPINFOHEADER& format, int shift) {
    std::vector<std::uint8_t> pixels(format.biSizeImage);
    const int stride = media::frameStride(format.biWidth);
    const int height = std::abs(format.biHeight);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < format.biWidth * 3; ++x) {
            const bool square =
                y > height / 3 && y < height / 2 && x > format.biWidth && x < format.biWidth * 2;
            pixels[std::size_t(y) * std::size_t(stride) + std::size_t(x)] =
                std::uint8_t(x / 3 + y + (square ? shift : 0));
        }
    }
    return pixels;
}

// A hand-off ready to take frames of the format, with no throttle.
std::unique_ptr<capture::TGrabberCallback> openHandOff(const media::BITMAPINFOHEADER& format) {
    auto grabber = std::make_unique<capture::TGrabberCallback>(
        capture::WM_NEWFRAME, [] {}, media::systemClock());
    grabber->setFormat(format);
    grabber->createBuffers();
    grabber->setInterval(0);
    grabber->setEnabled(true);
    return grabber;
}

void FrameStep(benchmark::State& state, int width, int height, Step step) {
    // Top-down, as the camera's frames come.
    const media::BITMAPINFOHEADER format = media::makeFrameHeader(width, -height);
    std::vector<std::uint8_t> newest = stepFrame(format, 80);
    const std::vector<std::uint8_t> previous = stepFrame(format, 0);
    std::vector<std::uint8_t> display(format.biSizeImage);
    const QDateTime when = QDateTime::currentDateTime();
    switch (step) {
        case Step::DisplayHold: {
            // The hold on the newest buffer that replaced the display copy,
            // with the rows under the stamp saved for the motion measure.
            const std::unique_ptr<capture::TGrabberCallback> hand = openHandOff(format);
            capture::TGrabberCallback& grabber = *hand;
            const std::vector<std::uint8_t> topDown = stepFrame(format, 0);
            grabber.BufferCB(0.0, topDown.data(), topDown.size());
            grabber.BufferCB(0.0, topDown.data(), topDown.size());
            const capture::StampBand band = capture::stampBand(format);
            capture::FrameHold shown;
            std::vector<std::uint8_t> unstamped;
            for (auto _ : state) {
                capture::FrameHold next = grabber.lockForRead().hold(grabber.index());
                shown = std::move(next);
                const std::uint8_t* rows = shown.pixels() + band.offset;
                unstamped.assign(rows, rows + band.bytes);
                benchmark::DoNotOptimize(unstamped.data());
            }
            break;
        }
        case Step::Motion: {
            capture::MotionMask mask;
            for (auto _ : state) {
                benchmark::DoNotOptimize(
                    capture::MotionMeasure(previous.data(), newest.data(), format, mask, false));
            }
            break;
        }
        case Step::Live: {
            QImage panel(640, 640 * height / width, QImage::Format_RGB32);
            for (auto _ : state) {
                QPainter painter(&panel);
                media::drawFrame(painter, QRectF(panel.rect()), newest.data(), format);
            }
            break;
        }
        case Step::Stamp:
            for (auto _ : state) {
                capture::stampFrame(newest.data(), format, when);
            }
            break;
        case Step::Push: {
            media::PushSource source(40);
            media::Element pipeline = media::adopt(gst_pipeline_new(nullptr));
            media::Element sink = media::adopt(gst_element_factory_make("fakesink", nullptr));
            if (!source.element() || !sink || !source.SetFrameSize(width, height)) {
                state.SkipWithError("no push pipeline");
                return;
            }
            g_object_set(sink.get(), "sync", FALSE, nullptr);
            gst_bin_add_many(GST_BIN(pipeline.get()), source.element(), sink.get(), nullptr);
            gst_element_link(source.element(), sink.get());
            gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
            gst_element_get_state(pipeline.get(), nullptr, nullptr, GST_SECOND);
            // The frame's owner keeps it as a hold would.
            const media::FrameOwner owner = std::make_shared<const int>(0);
            for (auto _ : state) {
                source.PushFrame(newest.data(), format, 400000, owner);
            }
            state.counters["dropped"] = double(source.framesDropped());
            state.counters["failed"] = double(source.pushFailures());
            gst_element_set_state(pipeline.get(), GST_STATE_NULL);
            break;
        }
        case Step::PreRecordKeep: {
            // A hold on the shown frame's buffer.
            const std::unique_ptr<capture::TGrabberCallback> hand = openHandOff(format);
            capture::TGrabberCallback& grabber = *hand;
            const std::vector<std::uint8_t> topDown = stepFrame(format, 0);
            session::PreRecordBuffer ring;
            ring.setCapacity(10);
            record::JournalLine line;
            for (auto _ : state) {
                state.PauseTiming();
                grabber.BufferCB(0.0, topDown.data(), topDown.size());  // the next frame
                capture::FrameHold shown = grabber.lockForRead().hold(grabber.index());
                state.ResumeTiming();
                ring.keep(shown.share(), format.biSizeImage, line);
            }
            break;
        }
    }
}

void registerAll() {
    benchmark::RegisterBenchmark("ActivityStripPaint/20000", ActivityStripPaint)
        ->Unit(benchmark::kMillisecond);
    const std::pair<int, int> sizes[] = {{640, 480}, {1920, 1080}};
    for (const auto& [w, h] : sizes) {
        const std::string size = std::to_string(w) + "/" + std::to_string(h);
        benchmark::RegisterBenchmark(("FrameLoop/" + size + "/free").c_str(), FrameLoop, w, h,
                                     Variant::Free)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(3.0);
        benchmark::RegisterBenchmark(("FrameLoop/" + size + "/paced").c_str(), FrameLoop, w, h,
                                     Variant::Paced)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(150);
        benchmark::RegisterBenchmark(("FrameLoop/" + size + "/norecord").c_str(), FrameLoop, w, h,
                                     Variant::NoRecord)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(3.0);
        const std::pair<const char*, Step> steps[] = {{"display_hold", Step::DisplayHold},
                                                      {"motion", Step::Motion},
                                                      {"live", Step::Live},
                                                      {"stamp", Step::Stamp},
                                                      {"push", Step::Push},
                                                      {"prerecord_keep", Step::PreRecordKeep}};
        for (const auto& [name, step] : steps) {
            benchmark::RegisterBenchmark(("FrameStep/" + size + "/" + name).c_str(), FrameStep, w,
                                         h, step)
                ->Unit(benchmark::kMillisecond)
                ->MinTime(1.0);
        }
    }
}

long rssKiB() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QList<QByteArray> fields = statm.readAll().simplified().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

// Calls FrameLoop back to back, letting the event loop run every 64 calls as
// it would between frames.
long heapKiB() {
    return long(mallinfo2().uordblks / 1024);
}

int rssCheck(int width, int height, bool record) {
    Window* window = windowOf(width, height);
    if (!window) {
        return 1;
    }
    TForm1& form = window->form();
    QSlider* trigger = form.controls().MotionTriggerBar;
    trigger->setValue(record ? 1 : trigger->maximum());
    auto run = [&](int calls) {
        for (int i = 0; i < calls; ++i) {
            form.session().FrameLoop();
            if ((i & 63) == 63) {
                QCoreApplication::processEvents();
            }
        }
    };
    std::printf("\nResident set over FrameLoop calls at %dx%d%s:\n", width, height,
                record ? "" : ", nothing recorded");
    const long start = rssKiB();
    const long heapStart = heapKiB();
    const int recordedStart = form.session().recordedFrames();
    QElapsedTimer timer;
    timer.start();
    run(10000);
    const long at10k = rssKiB();
    const long heap10k = heapKiB();
    const record::RecordCounters c10k = form.session().recordCounters();
    const int recorded10k = form.session().recordedFrames();
    run(90000);
    const long at100k = rssKiB();
    const long heap100k = heapKiB();
    const record::RecordCounters c100k = form.session().recordCounters();
    const double seconds = double(timer.elapsed()) / 1000.0;
    std::printf("  before      RSS %8ld KiB, heap in use %8ld KiB\n", start, heapStart);
    std::printf(
        "  10,000      RSS %8ld KiB, heap in use %8ld KiB  (%d frames recorded, %llu "
        "taken by the recording)\n",
        at10k, heap10k, recorded10k - recordedStart, (unsigned long long)c10k.pushed);
    std::printf(
        "  100,000     RSS %8ld KiB, heap in use %8ld KiB  (%d frames recorded, %llu "
        "taken by the recording)\n",
        at100k, heap100k, form.session().recordedFrames() - recordedStart,
        (unsigned long long)c100k.pushed);
    std::printf(
        "  growth 10,000 -> 100,000: RSS %ld KiB (%.2f MB), heap %ld KiB, over %llu "
        "frames taken, %llu dropped; %.1f s\n",
        at100k - at10k, double(at100k - at10k) / 1024.0, heap100k - heap10k,
        (unsigned long long)(c100k.pushed - c10k.pushed),
        (unsigned long long)(c100k.dropped - c10k.dropped), seconds);
    const double growth_MB = double(at100k - at10k) / 1024.0;
    const std::uint64_t taken = c100k.pushed - c10k.pushed;
    if (record && taken > 0) {
        // One long file: the muxer keeps an index entry per frame until the
        // file is finished, a few dozen bytes; a leaked frame would be 900 KB.
        const double perFrame = double(heap100k - heap10k) * 1024.0 / double(taken);
        bench::summary(
            bench::format("heap growth per frame recorded into one file at %dx%d", width, height),
            bench::format("%.0f bytes (RSS %.1f MB over %llu frames)", perFrame, growth_MB,
                          (unsigned long long)taken),
            "< 256 bytes", perFrame < 256);
    } else {
        bench::summary(
            bench::format("resident set growth over 90,000 frame loops at %dx%d", width, height),
            bench::format("%.2f MB", growth_MB), "< 1 MB", growth_MB < 1.0);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // A private home: the window reads and writes its settings and recordings there.
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    QDir root(home.path());
    root.mkpath(QStringLiteral(".config"));
    root.mkpath(QStringLiteral("run"));
    root.mkpath(QStringLiteral("Documents"));
    QFile::setPermissions(home.path() + QStringLiteral("/run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", (home.path() + QStringLiteral("/run")).toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/.cache")).toUtf8());
    qunsetenv("XDG_DOCUMENTS_DIR");

    bool rss = true;
    bool rssRecord = true;
    bool benchmarks = true;
    int rssWidth = 640;
    int rssHeight = 480;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-rss") == 0) {
            rss = false;
        } else if (std::strcmp(argv[i], "--rss-norecord") == 0) {
            rssRecord = false;
        } else if (std::strcmp(argv[i], "--rss-only") == 0) {
            benchmarks = false;
        } else if (std::sscanf(argv[i], "--rss-size=%dx%d", &rssWidth, &rssHeight) == 2) {
        } else {
            rest.push_back(argv[i]);
        }
    }
    int restCount = int(rest.size());
    rest.push_back(nullptr);

    QApplication app(restCount, rest.data());
    QString error;
    if (!media::initGStreamer(&error)) {
        std::fprintf(stderr, "GStreamer did not start: %s\n", qPrintable(error));
        return 1;
    }
    int result = 0;
    if (benchmarks) {
        registerAll();
        benchmark::Initialize(&restCount, rest.data());
        bench::KeepingReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        benchmark::Shutdown();
        // A call must fit the 40 ms slot of a 25 frames/s interval.
        reporter.summarise("frame loop 640x480, recording, paced", "FrameLoop/640/480/paced", 40);
        reporter.summarise("frame loop 1920x1080, recording, paced", "FrameLoop/1920/1080/paced",
                           40);
        reporter.summarise("activity strip paint, 20,000 frames", "ActivityStripPaint/20000", 0);
    }
    if (rss) {
        result = rssCheck(rssWidth, rssHeight, rssRecord);
    }
    current.reset();
    return result;
}

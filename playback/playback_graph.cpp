#include "playback/playback_graph.h"

#include "media/message_event.h"
#include "media/pipeline.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>

#include <gst/base/gstbasesink.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace kv::playback {

namespace {

Q_LOGGING_CATEGORY(lcPlayback, "kv.playback.graph", QtInfoMsg)

// A seek or step normally settles in a few milliseconds; this bounds a slow
// decoder so that the window stays responsive.
constexpr int kSettle_ms = 500;
constexpr int kStateQuery_ms = 10;
// A load that read its whole file and found no stream gives up after this.
constexpr int kIdleAtEnd_ms = 2000;
// A file cut short may end in torn frames; this many are tried from the end.
constexpr int kTornFramesTried = 3;

// The bytes of QImage::Format_RGB32 (0xffRRGGBB in native order). The picture
// is shown without a copy; the converter writes an opaque alpha.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr const char* kGrabberCaps = "video/x-raw,format=BGRA";
constexpr GstVideoFormat kGrabberFormat = GST_VIDEO_FORMAT_BGRA;
constexpr int kBlue = 0, kGreen = 1, kRed = 2;
#else
constexpr const char* kGrabberCaps = "video/x-raw,format=ARGB";
constexpr GstVideoFormat kGrabberFormat = GST_VIDEO_FORMAT_ARGB;
constexpr int kBlue = 3, kGreen = 2, kRed = 1;
#endif

// The grabber's frame, mapped for as long as a picture shows it.
struct MappedFrame {
    GstVideoFrame frame;
};

void unmapFrame(void* mapped) {
    auto* m = static_cast<MappedFrame*>(mapped);
    gst_video_frame_unmap(&m->frame);
    delete m;
}

// An AVI whose RIFF size does not cover the file was not finished by its
// writer (or was cut): its index is missing and its last frame may be torn.
bool looksUnfinished(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray head = file.read(12);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "AVI ") {
        return false;
    }
    const quint32 riffSize = quint32(quint8(head[4])) | quint32(quint8(head[5])) << 8 |
                             quint32(quint8(head[6])) << 16 | quint32(quint8(head[7])) << 24;
    return qint64(riffSize) + 8 != file.size();
}

// Frame threads hold frames back in the decoder, and an exact seek waits
// until they all came out; with slice threads a seek takes a fifth less
// processor time.
void onElementAdded(GstBin*, GstBin*, GstElement* element, gpointer) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (factory &&
        g_str_has_prefix(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)), "avdec_") &&
        g_object_class_find_property(G_OBJECT_GET_CLASS(element), "thread-type")) {
        gst_util_set_object_arg(G_OBJECT(element), "thread-type", "slice");
    }
}

bool isVideoPad(GstPad* pad) {
    media::Caps caps = media::adopt(gst_pad_get_current_caps(pad));
    if (!caps) {
        caps = media::adopt(gst_pad_query_caps(pad, nullptr));
    }
    if (!caps || gst_caps_is_empty(caps.get())) {
        return false;
    }
    const gchar* name = gst_structure_get_name(gst_caps_get_structure(caps.get(), 0));
    return g_str_has_prefix(name, "video/");
}

}  // namespace

// Set on streaming threads while the pipeline prerolls; the bus part is set
// by the main thread.
// One per pipeline: what its streaming threads reach, so that a pipeline
// given up may stop in the background while the next one loads.
struct PlaybackGraph::Probe {
    QMutex ownerMutex;
    PlaybackGraph* owner = nullptr;  // null once the pipeline is given up
    media::Element convert;          // where the decoded video goes
    std::atomic<bool> streamsFound{false};
    std::atomic<bool> videoLinked{false};
    // How far into the file the source has read, when it last started or
    // ended a read, and whether one is under way (a read from the end of the
    // file fails at once and is never under way).
    guint64 fileSize = 0;  // set before the streaming threads start
    std::atomic<guint64> readEnd{0};
    std::atomic<gint64> lastRead_us{0};
    std::atomic<bool> reading{false};
    bool missingPlugin = false;
    bool resourceError = false;
    QString firstError;
};

QString PlaybackBuildMessage(PlaybackBuild result) {
    switch (result) {
        case PlaybackBuild::ErrorLoading:
            return PlaybackGraph::tr("Error loading video file.");
        case PlaybackBuild::CodecMissing:
            return PlaybackGraph::tr("Error loading videofile. (codec not installed ?)");
        case PlaybackBuild::Loaded:
        case PlaybackBuild::GrabberMissing:
            break;
    }
    return {};
}

QString PlaybackStatusText(const QString& fileName, qint64 frameCount) {
    return PlaybackGraph::tr("%1: %2 Frames")
        .arg(QFileInfo(fileName).fileName(), QString::number(frameCount));
}

PlaybackGraph::PlaybackGraph(QObject* notifyReceiver, QObject* parent)
    : QObject(parent), receiver_(notifyReceiver), logFileName_(u"PLAYBACK.TXT"_s) {
    idleWatch_ = new QTimer(this);
    idleWatch_->setInterval(500);
    connect(idleWatch_, &QTimer::timeout, this, &PlaybackGraph::watchIdleLoad);
}

PlaybackGraph::~PlaybackGraph() {
    close();
}

void PlaybackGraph::load(const QString& fileName) {
    close();
    loadingFile_ = fileName;
    loadStarted_us_ = g_get_monotonic_time();
    const PlaybackBuild result = start(fileName);
    if (result != PlaybackBuild::Loaded) {
        close();
        loadingFile_ = fileName;
        failedResult_ = result;
        stage_ = Stage::Failed;
        scheduleAdvance();
    }
}

PlaybackBuild PlaybackGraph::build(const QString& fileName, int timeout_ms) {
    std::optional<PlaybackBuild> result;
    QEventLoop loop;
    const QMetaObject::Connection done =
        connect(this, &PlaybackGraph::loadFinished, &loop, [&](PlaybackBuild r) {
            result = r;
            loop.quit();
        });
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    load(fileName);
    timer.start(timeout_ms);
    if (loading()) {
        loop.exec();
    }
    disconnect(done);
    if (!result) {
        qCWarning(lcPlayback) << "Loading" << fileName << "took longer than" << timeout_ms
                              << "ms; given up";
        close();
        return PlaybackBuild::ErrorLoading;
    }
    return *result;
}

// Builds the pipeline and sets it prerolling; the bus tells the rest.
PlaybackBuild PlaybackGraph::start(const QString& fileName) {
    if (!pipeline_.create("Playback Graph")) {
        return PlaybackBuild::GrabberMissing;
    }
    // Receives the pipeline's debug log until the first frame is there or the
    // load ends. A streaming thread may still be inside the log function just
    // after it is removed, so the log goes only while those threads wait on a
    // prerolled sink, or after they are gone.
    // Errors, warnings, and at INFO the state changes, the pads as they come
    // and go, and the type found: every message formatted costs the load, so
    // not the demuxer's stream headers, and not the debug level (twice as
    // long). Written in the background: the first frame does not wait.
    if (!logFileName_.isEmpty()) {
        if (!pipeline_.openLog(
                logFileName_, GST_LEVEL_INFO, media::GraphLog::Writing::Background,
                {"GST_STATES", "GST_PADS", "GST_ELEMENT_PADS", "typefind", "decodebin"})) {
            qCWarning(lcPlayback) << "Cannot create the playback log" << logFileName_;
        }
    }
    const QFileInfo info(fileName);
    if (!info.isFile() || !info.isReadable()) {
        qCWarning(lcPlayback) << "Cannot open" << fileName << ": not a readable file";
        return PlaybackBuild::ErrorLoading;
    }

    media::Element source = media::makeElement("filesrc", "Playback Source Filter");
    media::Element decoder = media::makeElement("decodebin", "Playback Decoder");
    convert_ = media::makeElement("videoconvert", "Playback Converter");
    appsink_ = media::makeElement("appsink", "Playback Grabber");
    if (!source || !decoder || !convert_ || !appsink_) {
        qCWarning(lcPlayback) << "GStreamer lacks filesrc, decodebin, videoconvert or appsink";
        return PlaybackBuild::GrabberMissing;
    }
    g_object_set(source.get(), "location", QFile::encodeName(fileName).constData(), nullptr);

    // The grabber takes opaque 32-bit pixels laid out as QImage's RGB32, keeps
    // the last sample for export and hands every frame over through the
    // callbacks.
    const media::Caps rgb32 = media::adopt(gst_caps_from_string(kGrabberCaps));
    g_object_set(appsink_.get(), "caps", rgb32.get(), "sync", TRUE, "enable-last-sample", TRUE,
                 "max-buffers", guint(1), "emit-signals", FALSE, nullptr);
    // A seek or step waits for this conversion; one thread per core shortens it.
    g_object_set(convert_.get(), "n-threads", guint(0), nullptr);
    probe_ = std::make_shared<Probe>();
    probe_->owner = this;
    probe_->convert = convert_;
    GstAppSinkCallbacks callbacks{};
    callbacks.new_preroll = &PlaybackGraph::onNewPreroll;
    callbacks.new_sample = &PlaybackGraph::onNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(appsink_.get()), &callbacks, probe_.get(), nullptr);

    GstBin* bin = pipeline_.bin();
    for (GstElement* e : {source.get(), decoder.get(), convert_.get(), appsink_.get()}) {
        gst_bin_add(bin, e);  // the bin takes a reference of its own
    }
    if (!gst_element_link(source.get(), decoder.get()) ||
        !gst_element_link(convert_.get(), appsink_.get())) {
        qCWarning(lcPlayback) << "Cannot link the playback pipeline";
        return PlaybackBuild::GrabberMissing;
    }
    probe_->fileSize = guint64(std::max<qint64>(info.size(), 0));
    probe_->lastRead_us = g_get_monotonic_time();
    // Watched until the first frame is there. A blocking probe that passes is
    // the one called before each read.
    readPad_ = media::adopt(gst_element_get_static_pad(source.get(), "src"));
    readProbes_[0] = gst_pad_add_probe(
        readPad_.get(), GstPadProbeType(GST_PAD_PROBE_TYPE_PULL | GST_PAD_PROBE_TYPE_BLOCK),
        &PlaybackGraph::onReadStarts, probe_.get(), nullptr);
    readProbes_[1] =
        gst_pad_add_probe(readPad_.get(),
                          GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_PUSH |
                                          GST_PAD_PROBE_TYPE_PULL),
                          &PlaybackGraph::onRead, probe_.get(), nullptr);
    g_signal_connect(decoder.get(), "pad-added", G_CALLBACK(&PlaybackGraph::onPadAdded),
                     probe_.get());
    g_signal_connect(decoder.get(), "no-more-pads", G_CALLBACK(&PlaybackGraph::onNoMorePads),
                     probe_.get());

    g_signal_connect(pipeline_.get(), "deep-element-added", G_CALLBACK(&onElementAdded), nullptr);
    pipeline_.watchBus([this](GstMessage* message) { onBusMessage(message); });

    asyncDone_ = false;
    errorSeen_ = false;
    stage_ = Stage::Prerolling;
    idleWatch_->start();
    if (buildHook_) {
        buildHook_(pipeline_.get());
    }
    const GstStateChangeReturn r = gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED);
    if (r == GST_STATE_CHANGE_FAILURE) {
        errorSeen_ = true;
    } else if (r == GST_STATE_CHANGE_SUCCESS) {
        asyncDone_ = true;  // prerolled already: no message will say so
    }
    scheduleAdvance();
    return PlaybackBuild::Loaded;
}

void PlaybackGraph::scheduleAdvance() {
    if (!advanceScheduled_) {
        advanceScheduled_ = true;
        QMetaObject::invokeMethod(this, &PlaybackGraph::advanceLoad, Qt::QueuedConnection);
    }
}

// Never runs inside the bus observer's own dispatch: a finished load may
// release the observer.
void PlaybackGraph::advanceLoad() {
    advanceScheduled_ = false;
    if (stage_ == Stage::Failed) {
        stage_ = Stage::Idle;
        Q_EMIT loadFinished(failedResult_);
        return;
    }
    if (stage_ == Stage::Idle || !pipeline_.bus()) {
        return;
    }
    pipeline_.bus()->drain();  // the reasons may follow the first error
    switch (stage_) {
        case Stage::Prerolling:
            if (errorSeen_) {
                finishLoad(failure(loadingFile_));
            } else if (asyncDone_) {
                prerolled();
            }
            break;
        case Stage::CheckingTail:
            if (errorSeen_ || asyncDone_) {
                tailChecked(!errorSeen_ && lastSample());
            }
            break;
        case Stage::Rewinding:
            if (errorSeen_ || asyncDone_) {
                stage_ = Stage::Idle;
                // Playback starts at once.
                gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
                finishLoad(PlaybackBuild::Loaded);
            }
            break;
        case Stage::Idle:
        case Stage::Failed:
            break;
    }
}

void PlaybackGraph::prerolled() {
    // The streaming threads wait on the prerolled sink: the log can go.
    // avidemux logs its frame-count answer with an object that is none; the
    // log closes before that question is asked.
    pipeline_.closeLog();
    removeReadProbes();
    readStreamFacts();
    const bool unfinished = looksUnfinished(loadingFile_);
    if (!lastSample()) {
        // Prerolled on the end of the stream without a single picture.
        if (frameCount_ > 0 && !unfinished) {
            qCWarning(lcPlayback) << loadingFile_ << "has" << frameCount_
                                  << "frames, but none could be decoded";
            finishLoad(PlaybackBuild::CodecMissing);
        } else {
            qCWarning(lcPlayback) << loadingFile_ << "holds no complete frame";
            finishLoad(PlaybackBuild::ErrorLoading);
        }
        return;
    }
    indexedFrames_ = frameCount_;
    tailTries_ = 0;
    if (unfinished && frameCount_ > 1) {
        stage_ = Stage::CheckingTail;
        seekForLoad(frameCount_ - 1);
    } else {
        stage_ = Stage::Rewinding;
        asyncDone_ = true;  // already on frame 0
        scheduleAdvance();
    }
}

// The demuxer counts a torn last chunk as a frame; only frames that can be
// shown count, and a few are tried from the end.
void PlaybackGraph::tailChecked(bool whole) {
    if (!whole) {
        --frameCount_;
        if (++tailTries_ < kTornFramesTried && frameCount_ > 1) {
            seekForLoad(frameCount_ - 1);
            return;
        }
    }
    if (frameCount_ != indexedFrames_) {
        qCInfo(lcPlayback) << "The file was not finished:" << indexedFrames_ - frameCount_
                           << "torn frame(s) at its end left out";
    }
    stage_ = Stage::Rewinding;
    seekForLoad(0);
}

// A flushing seek while paused prerolls again and says so with ASYNC_DONE.
void PlaybackGraph::seekForLoad(qint64 frame) {
    asyncDone_ = false;
    errorSeen_ = false;
    const bool sent = gst_element_seek(pipeline_.get(), 1.0, GST_FORMAT_DEFAULT,
                                       GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                       GST_SEEK_TYPE_SET, frame, GST_SEEK_TYPE_SET, -1);
    if (!sent) {
        qCDebug(lcPlayback) << "Seek to frame" << frame << "refused";
        errorSeen_ = true;
        scheduleAdvance();
    }
}

void PlaybackGraph::finishLoad(PlaybackBuild result) {
    stage_ = Stage::Idle;
    idleWatch_->stop();
    if (result == PlaybackBuild::Loaded) {
        qCDebug(lcPlayback) << "Loaded" << loadingFile_ << frameCount_ << "frames in"
                            << (g_get_monotonic_time() - loadStarted_us_) / 1000 << "ms";
    } else {
        close();
    }
    Q_EMIT loadFinished(result);
}

// Decides which of the two load errors the bus messages describe: once the
// container gave up its streams, what fails is the video's decoding.
PlaybackBuild PlaybackGraph::failure(const QString& fileName) const {
    const bool decoding = probe_->missingPlugin || probe_->streamsFound || probe_->videoLinked;
    const PlaybackBuild result = decoding && !probe_->resourceError ? PlaybackBuild::CodecMissing
                                                                    : PlaybackBuild::ErrorLoading;
    qCWarning(lcPlayback).noquote()
        << "Cannot load" << fileName << ":"
        << (probe_->firstError.isEmpty() ? u"the pipeline did not start"_s : probe_->firstError);
    return result;
}

void PlaybackGraph::readStreamFacts() {
    gint64 frames = 0;
    gint64 duration_ns = 0;
    const bool haveTime =
        gst_element_query_duration(pipeline_.get(), GST_FORMAT_TIME, &duration_ns) &&
        duration_ns > 0;
    fpsN_ = 0;
    fpsD_ = 1;
    media::Pad pad = media::adopt(gst_element_get_static_pad(appsink_.get(), "sink"));
    if (media::Caps caps = media::adopt(gst_pad_get_current_caps(pad.get()))) {
        gst_structure_get_fraction(gst_caps_get_structure(caps.get(), 0), "framerate", &fpsN_,
                                   &fpsD_);
    }
    if (gst_element_query_duration(pipeline_.get(), GST_FORMAT_DEFAULT, &frames) && frames >= 0) {
        frameCount_ = frames;
    } else if (haveTime && fpsN_ > 0 && fpsD_ > 0) {
        frameCount_ = gint64(gst_util_uint64_scale_round(guint64(duration_ns), guint64(fpsN_),
                                                         guint64(fpsD_) * GST_SECOND));
    } else {
        frameCount_ = 0;
    }
    if (fpsN_ > 0 && fpsD_ > 0) {
        frameDuration_ns_ =
            gint64(gst_util_uint64_scale(GST_SECOND, guint64(fpsD_), guint64(fpsN_)));
    } else if (haveTime && frameCount_ > 0) {
        frameDuration_ns_ = duration_ns / frameCount_;
    } else {
        frameDuration_ns_ = 0;
    }
}

void PlaybackGraph::close() {
    const bool givenUp = stage_ != Stage::Idle && stage_ != Stage::Failed;
    if (givenUp) {
        qCInfo(lcPlayback) << "Loading" << loadingFile_ << "given up";
    }
    stage_ = Stage::Idle;
    asyncDone_ = false;
    errorSeen_ = false;
    idleWatch_->stop();
    removeReadProbes();
    if (probe_) {
        // From here on the streaming threads leave this object alone.
        QMutexLocker lock(&probe_->ownerMutex);
        probe_->owner = nullptr;
    }
    pipeline_.unwatchBus();
    appsink_.reset();
    convert_.reset();
    if (pipeline_ && givenUp) {
        // A load may wait on a read of a slow disk, and stopping waits for
        // that read: the pipeline stops in the background. The log goes only
        // after its streaming threads.
        std::thread([pipeline = std::move(pipeline_), probe = std::move(probe_)]() mutable {
            pipeline.reset();
            probe.reset();
        }).detach();
    }
    // Downward state changes complete before set_state returns, streaming
    // threads included, so no callback runs after this line.
    pipeline_.reset();
    probe_.reset();
    events_.clear();
    frameCount_ = 0;
    lastPosition_ = 0;
    settledFrame_ = -1;
    eos_ = false;
    QMutexLocker lock(&frameMutex_);
    image_ = QImage();
}

bool PlaybackGraph::waitSettled(int timeout_ms) const {
    GstState state = GST_STATE_VOID_PENDING;
    GstState pending = GST_STATE_VOID_PENDING;
    const GstStateChangeReturn r = gst_element_get_state(pipeline_.get(), &state, &pending,
                                                         GstClockTime(timeout_ms) * GST_MSECOND);
    return r == GST_STATE_CHANGE_SUCCESS || r == GST_STATE_CHANGE_NO_PREROLL;
}

bool PlaybackGraph::seekExact(qint64 frame, int timeout_ms, double rate) {
    const bool sent = gst_element_seek(pipeline_.get(), rate, GST_FORMAT_DEFAULT,
                                       GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                       GST_SEEK_TYPE_SET, frame, GST_SEEK_TYPE_SET, -1);
    if (!sent) {
        qCDebug(lcPlayback) << "Seek to frame" << frame << "refused";
        return false;
    }
    eos_ = false;
    return waitSettled(timeout_ms);
}

qint64 PlaybackGraph::framesFromTime(gint64 time_ns) const {
    if (time_ns < 0 || frameDuration_ns_ <= 0) {
        return 0;
    }
    // Timestamps are rounded to nanoseconds; a quarter frame absorbs that.
    const guint64 t = guint64(time_ns + frameDuration_ns_ / 4);
    const qint64 frame =
        fpsN_ > 0 ? qint64(gst_util_uint64_scale(t, guint64(fpsN_), guint64(fpsD_) * GST_SECOND))
                  : qint64(t / guint64(frameDuration_ns_));
    return std::clamp<qint64>(frame, 0, frameCount_);
}

qint64 PlaybackGraph::position() const {
    if (!loaded()) {
        return lastPosition_;
    }
    if (eos_) {
        return lastPosition_ = frameCount_;
    }
    if (settledFrame_ >= 0) {
        return lastPosition_ = settledFrame_;
    }
    gint64 time_ns = -1;
    if (gst_element_query_position(pipeline_.get(), GST_FORMAT_TIME, &time_ns) && time_ns >= 0) {
        lastPosition_ = framesFromTime(time_ns);
    }
    return lastPosition_;
}

bool PlaybackGraph::isStopped() const {
    if (!loaded()) {
        return true;
    }
    GstState state = GST_STATE_VOID_PENDING;
    GstState pending = GST_STATE_VOID_PENDING;
    gst_element_get_state(pipeline_.get(), &state, &pending, kStateQuery_ms * GST_MSECOND);
    if (pending == GST_STATE_PLAYING) {
        return false;
    }
    return !(state == GST_STATE_PLAYING && pending == GST_STATE_VOID_PENDING);
}

void PlaybackGraph::play() {
    if (!loaded()) {
        return;
    }
    const qint64 from = position();
    if (from >= frameCount_) {
        // Nothing left to play: the graph completes at once.
        postEvent(EC_COMPLETE);
        return;
    }
    // A step or seek left the rate at 1; playing faster needs it again.
    if (eos_ || rate_ != 1.0) {
        seekExact(from, kSettle_ms, rate_);
    }
    settledFrame_ = -1;
    gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
}

void PlaybackGraph::setRate(double rate) {
    if (rate <= 0.0 || rate == rate_) {
        return;
    }
    rate_ = rate;
    if (loaded() && !isStopped()) {
        // From the frame shown, without a pause.
        const qint64 from = position();
        if (from < frameCount_) {
            seekExact(from, kSettle_ms, rate_);
        }
    }
}

void PlaybackGraph::stop() {
    if (!loaded()) {
        return;
    }
    const qint64 at = position();
    gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED);
    lastPosition_ = at;
}

void PlaybackGraph::seekToFrame(qint64 frame) {
    if (!loaded() || frameCount_ <= 0) {
        return;
    }
    frame = std::clamp<qint64>(frame, 0, frameCount_ - 1);
    if (frame == settledFrame_) {
        return;  // already shown, paused
    }
    gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED);
    settledFrame_ = seekExact(frame, kSettle_ms) ? frame : -1;
    lastPosition_ = frame;
}

qint64 PlaybackGraph::stepForward() {
    if (!loaded() || frameCount_ <= 0) {
        return position();
    }
    const qint64 target = std::min(position() + 1, frameCount_ - 1);
    if (settledFrame_ >= 0 && target == settledFrame_ + 1) {
        // Paused on a known frame: one buffer step shows the next one without
        // a seek, which long key-frame intervals make costly.
        gst_element_send_event(pipeline_.get(),
                               gst_event_new_step(GST_FORMAT_BUFFERS, 1, 1.0, TRUE, FALSE));
        if (waitSettled(kSettle_ms) && lastSample()) {
            settledFrame_ = target;
            lastPosition_ = target;
            return target;
        }
        settledFrame_ = -1;
    }
    seekToFrame(target);
    return lastPosition_;
}

qint64 PlaybackGraph::stepBack() {
    if (!loaded() || frameCount_ <= 0) {
        return position();
    }
    seekToFrame(std::max<qint64>(position() - 1, 0));
    return lastPosition_;
}

QList<int> PlaybackGraph::takeEvents() {
    if (pipeline_.bus()) {
        pipeline_.bus()->drain();
    }
    return std::exchange(events_, {});
}

bool PlaybackGraph::handleGraphNotify() {
    bool ends = false;
    for (const int code : takeEvents()) {
        ends = ends || code == EC_COMPLETE || code == EC_USERABORT ||
               code == EC_STREAM_CONTROL_STOPPED;
    }
    return ends;
}

void PlaybackGraph::postEvent(int code) {
    events_.append(code);
    if (receiver_) {
        QCoreApplication::postEvent(receiver_, new media::MessageEvent(WM_GRAPHNOTIFY));
    }
}

void PlaybackGraph::onBusMessage(GstMessage* message) {
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR: {
            media::Error error;
            media::Chars debug;
            gst_message_parse_error(message, error.out(), debug.out());
            const QString text = QString::fromUtf8(GST_OBJECT_NAME(GST_MESSAGE_SRC(message))) +
                                 u": "_s + media::describeError(error.get(), debug.get());
            if (loading()) {
                errorSeen_ = true;
                scheduleAdvance();
                if (probe_->firstError.isEmpty()) {
                    probe_->firstError = text;
                }
                probe_->resourceError =
                    probe_->resourceError || (error && error->domain == GST_RESOURCE_ERROR);
                probe_->missingPlugin =
                    probe_->missingPlugin ||
                    (error && ((error->domain == GST_CORE_ERROR &&
                                error->code == GST_CORE_ERROR_MISSING_PLUGIN) ||
                               (error->domain == GST_STREAM_ERROR &&
                                (error->code == GST_STREAM_ERROR_CODEC_NOT_FOUND ||
                                 error->code == GST_STREAM_ERROR_DECODE))));
            } else {
                qCWarning(lcPlayback).noquote() << "Playback error:" << text;
                postEvent(EC_USERABORT);
            }
            break;
        }
        case GST_MESSAGE_WARNING:
            qCDebug(lcPlayback).noquote() << "Playback warning:" << media::describeError(message);
            break;
        case GST_MESSAGE_ASYNC_DONE:
            if (loading() && GST_MESSAGE_SRC(message) == GST_OBJECT_CAST(pipeline_.get())) {
                asyncDone_ = true;
                scheduleAdvance();
            }
            break;
        case GST_MESSAGE_EOS:
            if (!loading()) {
                eos_ = true;
                settledFrame_ = -1;
                postEvent(EC_COMPLETE);
            }
            break;
        case GST_MESSAGE_ELEMENT:
            if (loading() && gst_message_has_name(message, "missing-plugin")) {
                probe_->missingPlugin = true;
            }
            break;
        default:
            break;
    }
}

// A file read to its end without a stream in it has nothing more to give;
// GStreamer does not always say so, and the load would wait forever. A slow
// disk never looks like this: it is in the middle of a read.
void PlaybackGraph::watchIdleLoad() {
    if (stage_ != Stage::Prerolling || !probe_ || probe_->streamsFound || probe_->reading ||
        probe_->fileSize == 0 || probe_->readEnd < probe_->fileSize ||
        g_get_monotonic_time() - probe_->lastRead_us < gint64(kIdleAtEnd_ms) * 1000) {
        return;
    }
    qCWarning(lcPlayback) << loadingFile_ << "was read to its end without a stream found";
    finishLoad(failure(loadingFile_));
}

void PlaybackGraph::removeReadProbes() {
    for (gulong& id : readProbes_) {
        if (readPad_ && id != 0) {
            gst_pad_remove_probe(readPad_.get(), id);
        }
        id = 0;
    }
    readPad_.reset();
}

// --- streaming threads

GstPadProbeReturn PlaybackGraph::onRead(GstPad*, GstPadProbeInfo* info, gpointer self) {
    Probe& probe = *static_cast<Probe*>(self);
    if (GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info)) {
        const guint64 offset =
            GST_BUFFER_OFFSET_IS_VALID(buffer) ? GST_BUFFER_OFFSET(buffer) : info->offset;
        const guint64 end = offset + gst_buffer_get_size(buffer);
        guint64 seen = probe.readEnd;
        while (end > seen && !probe.readEnd.compare_exchange_weak(seen, end)) {
        }
        probe.lastRead_us = g_get_monotonic_time();
        probe.reading = false;
    }
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn PlaybackGraph::onReadStarts(GstPad*, GstPadProbeInfo* info, gpointer self) {
    Probe& probe = *static_cast<Probe*>(self);
    probe.lastRead_us = g_get_monotonic_time();
    probe.reading = info->offset < probe.fileSize;
    return GST_PAD_PROBE_PASS;  // never blocks
}

void PlaybackGraph::onPadAdded(GstElement*, GstPad* pad, gpointer self) {
    Probe& probe = *static_cast<Probe*>(self);
    probe.streamsFound = true;
    if (!isVideoPad(pad) || probe.videoLinked) {
        return;  // other streams stay unlinked; only the first video plays
    }
    media::Pad sink = media::adopt(gst_element_get_static_pad(probe.convert.get(), "sink"));
    if (gst_pad_is_linked(sink.get())) {
        return;
    }
    if (GST_PAD_LINK_FAILED(gst_pad_link(pad, sink.get()))) {
        qCWarning(lcPlayback) << "Cannot link the decoded video to the converter";
        return;
    }
    probe.videoLinked = true;
}

void PlaybackGraph::onNoMorePads(GstElement*, gpointer self) {
    static_cast<Probe*>(self)->streamsFound = true;
}

GstFlowReturn PlaybackGraph::onNewPreroll(GstAppSink* sink, gpointer self) {
    const media::Sample sample = media::adopt(gst_app_sink_pull_preroll(sink));
    if (sample) {
        deliver(*static_cast<Probe*>(self), sample.get());
    }
    return GST_FLOW_OK;
}

GstFlowReturn PlaybackGraph::onNewSample(GstAppSink* sink, gpointer self) {
    const media::Sample sample = media::adopt(gst_app_sink_pull_sample(sink));
    if (sample) {
        deliver(*static_cast<Probe*>(self), sample.get());
    }
    return GST_FLOW_OK;
}

void PlaybackGraph::deliver(Probe& probe, GstSample* sample) {
    QMutexLocker lock(&probe.ownerMutex);
    if (probe.owner) {
        probe.owner->takeFrame(sample);
    }
}

// Wraps the frame as the RGB32 picture the window paints, without a copy, and
// posts one event; a frame that arrives before the window took the last one
// replaces it.
void PlaybackGraph::takeFrame(GstSample* sample) {
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps) ||
        GST_VIDEO_INFO_FORMAT(&info) != kGrabberFormat) {
        return;
    }
    auto mapped = std::make_unique<MappedFrame>();
    // The map holds a reference of the buffer until the last picture goes.
    if (!gst_video_frame_map(&mapped->frame, &info, buffer, GST_MAP_READ)) {
        return;
    }
    GstVideoFrame& frame = mapped->frame;
    const auto* data = static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    QImage image(data, GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame),
                 GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), QImage::Format_RGB32, &unmapFrame,
                 mapped.get());
    if (image.isNull()) {
        gst_video_frame_unmap(&frame);
        return;
    }
    mapped.release();  // the picture's now
    {
        QMutexLocker lock(&frameMutex_);
        image_ = std::move(image);
    }
    if (!framePosted_.exchange(true)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                framePosted_ = false;
                Q_EMIT frameReady();
            },
            Qt::QueuedConnection);
    }
}

// --- main thread

media::Sample PlaybackGraph::lastSample() const {
    if (!appsink_) {
        return {};
    }
    return media::adopt(gst_base_sink_get_last_sample(GST_BASE_SINK(appsink_.get())));
}

bool PlaybackGraph::currentFrame(media::BITMAPINFOHEADER& header, QByteArray& pixels) const {
    const media::Sample sample = lastSample();
    if (!sample) {
        return false;
    }
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample.get());
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps) ||
        GST_VIDEO_INFO_FORMAT(&info) != kGrabberFormat) {
        return false;
    }
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
        return false;
    }
    const int width = GST_VIDEO_FRAME_WIDTH(&frame);
    const int height = GST_VIDEO_FRAME_HEIGHT(&frame);
    if (!media::isFrameSize(width, height)) {
        gst_video_frame_unmap(&frame);
        return false;  // a hostile file's size is never allocated
    }
    const int srcStride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    const int dstStride = media::frameStride(width);
    const auto* src = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    header = media::makeFrameHeader(width, height);
    pixels = QByteArray(qsizetype(header.biSizeImage), '\0');
    // The one copy out of the grabber turns the rows bottom-up and drops alpha.
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* s = src + qsizetype(y) * srcStride;
        auto* d =
            reinterpret_cast<std::uint8_t*>(pixels.data()) + qsizetype(height - 1 - y) * dstStride;
        for (int x = 0; x < width; ++x, s += 4, d += 3) {
            d[0] = s[kBlue];
            d[1] = s[kGreen];
            d[2] = s[kRed];
        }
    }
    gst_video_frame_unmap(&frame);
    return true;
}

QImage PlaybackGraph::currentImage() const {
    QMutexLocker lock(&frameMutex_);
    return image_;
}

}  // namespace kv::playback

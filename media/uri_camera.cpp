#include "media/uri_camera.h"

#include "media/camera_controls.h"
#include "media/device_catalogue.h"
#include "media/pipeline.h"
#include "media/redact.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QSet>
#include <QSettings>
#include <QUrlQuery>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

Q_LOGGING_CATEGORY(lcUriCamera, "kv.media.uricamera", QtInfoMsg)

namespace kv::media {

namespace {

constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 480;
constexpr int kDefaultFramerate = 30;
constexpr int kMinSize = 16;
constexpr int kMaxSize = 4096;
constexpr int kDiscoveryTimeout_ms = 5000;
// How long a build waits for a file camera's size before the camera counts as
// one that cannot start; the discovery itself goes on in its own thread.
constexpr int kFileDiscoveryDeadline_ms = 3000;

// Sizes offered below the native one, multiples of the 80x60 motion grid.
constexpr struct { int width, height; } kSmallerSizes[] = {{640, 480}, {320, 240}, {160, 120}};

// Formats every URI camera offers at each size; the bin converts.
const char* const kFormats[] = {"YUY2", "BGR"};

enum class Kind { Test, File, Network };

struct CameraUri {
    Kind kind = Kind::Test;
    QString uri;  // as GStreamer takes it (file and network)
    QString pattern;
    int width = kDefaultWidth;
    int height = kDefaultHeight;
    int framerate = kDefaultFramerate;
};

struct NativeFormat {
    int width = 0;
    int height = 0;
    int fpsNum = 0;
    int fpsDen = 1;
};

struct Discovery;

struct Registry {
    std::mutex mutex;
    QList<UriCamera> commandLine;
    QList<UriCamera> configured;
    QHash<QString, std::optional<NativeFormat>> discovered;
    QHash<QString, std::shared_ptr<Discovery>> discovering;  // under way now
    QSet<QString> unanswered;  // network cameras whose failure was logged
};

// Never destroyed: a discovery thread stuck in a file system may still reach
// it while the program exits.
Registry& registry() {
    static Registry* const r = new Registry;
    return *r;
}

bool parseNumber(const QUrlQuery& query, const QString& key, int low, int high, int& value,
                 QString* reason) {
    if (!query.hasQueryItem(key)) {
        return true;
    }
    bool ok = false;
    const int number = query.queryItemValue(key).toInt(&ok);
    if (!ok || number < low || number > high) {
        if (reason) {
            *reason =
                QStringLiteral("%1 must be a number from %2 to %3").arg(key).arg(low).arg(high);
        }
        return false;
    }
    value = number;
    return true;
}

std::optional<CameraUri> parseCameraUri(const QString& text, QString* reason) {
    CameraUri parsed;
    if (text.startsWith(u"test:", Qt::CaseInsensitive)) {
        const QString rest = text.mid(5);
        const qsizetype question = rest.indexOf(u'?');
        parsed.pattern = rest.left(question);
        if (question >= 0) {
            const QUrlQuery query(rest.mid(question + 1));
            if (!parseNumber(query, QStringLiteral("width"), kMinSize, kMaxSize, parsed.width,
                             reason) ||
                !parseNumber(query, QStringLiteral("height"), kMinSize, kMaxSize, parsed.height,
                             reason) ||
                !parseNumber(query, QStringLiteral("framerate"), 1, 120, parsed.framerate,
                             reason)) {
                return std::nullopt;
            }
        }
        return parsed;
    }
    QString uri = text;
    if (QDir::isAbsolutePath(text)) {
        Chars converted = adopt(gst_filename_to_uri(QFile::encodeName(text).constData(), nullptr));
        uri = QString::fromUtf8(converted.get());
    }
    const QByteArray utf8 = uri.toUtf8();
    if (!gst_uri_is_valid(utf8.constData())) {
        if (reason) {
            *reason = QStringLiteral("not a URI");
        }
        return std::nullopt;
    }
    Chars protocol = adopt(gst_uri_get_protocol(utf8.constData()));
    if (!gst_uri_protocol_is_supported(GST_URI_SRC, protocol.get())) {
        if (reason) {
            *reason = QStringLiteral("no GStreamer source reads %1: URIs")
                          .arg(QString::fromUtf8(protocol.get()));
        }
        return std::nullopt;
    }
    parsed.kind = qstrcmp(protocol.get(), "file") == 0 ? Kind::File : Kind::Network;
    parsed.uri = uri;
    return parsed;
}

void addCameras(const CameraPairs& pairs, QList<UriCamera>& into, const char* origin) {
    for (const auto& [name, uri] : pairs) {
        const UriCamera camera{name.trimmed(), uri.trimmed()};
        QString reason;
        if (!isUsableCameraUri(camera.uri, &reason)) {
            qCWarning(lcUriCamera).noquote()
                << "camera" << camera.name << "from the" << origin
                << "ignored:" << redactUri(camera.uri) << "-" << sanitizedText(reason);
            continue;
        }
        into.append(camera);
    }
}

Element make(const char* factory) {
    Element element = adopt(gst_element_factory_make(factory, nullptr));
    if (!element) {
        qCWarning(lcUriCamera) << "GStreamer element" << factory << "is not installed";
    }
    return element;
}

// Adds elements to bin and links them in order.
bool addAndLink(GstElement* bin, std::initializer_list<GstElement*> chain) {
    GstElement* previous = nullptr;
    for (GstElement* element : chain) {
        gst_bin_add(GST_BIN(bin), element);
        if (previous && !gst_element_link(previous, element)) {
            return false;
        }
        previous = element;
    }
    return true;
}

bool addGhostSource(GstElement* bin, GstElement* last) {
    Pad target = adopt(gst_element_get_static_pad(last, "src"));
    Pad ghost = adopt(gst_ghost_pad_new("src", target.get()));
    return ghost && gst_element_add_pad(bin, ghost.get());
}

Caps capabilityCaps(int width, int height, int fpsNum, int fpsDen) {
    Caps caps = adopt(gst_caps_new_empty());
    auto add = [&](int w, int h) {
        for (const char* format : kFormats) {
            GstStructure* s =
                gst_structure_new("video/x-raw", "format", G_TYPE_STRING, format, "width",
                                  G_TYPE_INT, w, "height", G_TYPE_INT, h, nullptr);
            if (fpsNum > 0 && fpsDen > 0) {
                gst_structure_set(s, "framerate", GST_TYPE_FRACTION, fpsNum, fpsDen, nullptr);
            }
            gst_caps_append_structure(caps.get(), s);
        }
    };
    add(width, height);
    for (const auto& size : kSmallerSizes) {
        if (size.width <= width && size.height <= height &&
            (size.width < width || size.height < height)) {
            add(size.width, size.height);
        }
    }
    return caps;
}

// --- test patterns

void setPattern(GstElement* source, const QString& pattern) {
    if (pattern.isEmpty()) {
        return;  // smpte, the element's default
    }
    GParamSpec* spec = g_object_class_find_property(G_OBJECT_GET_CLASS(source), "pattern");
    GEnumClass* patterns = G_PARAM_SPEC_ENUM(spec)->enum_class;
    const QByteArray name = pattern.toUtf8();
    bool isNumber = false;
    const int number = pattern.toInt(&isNumber);
    if (g_enum_get_value_by_nick(patterns, name.constData()) ||
        g_enum_get_value_by_name(patterns, name.constData()) ||
        (isNumber && g_enum_get_value(patterns, number))) {
        gst_util_set_object_arg(G_OBJECT(source), "pattern", name.constData());
    } else {
        qCWarning(lcUriCamera) << "unknown test pattern" << pattern << "- showing smpte";
    }
}

Element createTestSource(const CameraUri& uri) {
    Element bin = adopt(gst_bin_new(nullptr));
    Element source = make("videotestsrc");
    Element size = make("capsfilter");
    Element convert = make("videoconvert");
    Element scale = make("videoscale");
    if (!source || !size || !convert || !scale) {
        return {};
    }
    g_object_set(source.get(), "is-live", TRUE, nullptr);
    setPattern(source.get(), uri.pattern);
    Caps native = adopt(gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, uri.width, "height",
                                            G_TYPE_INT, uri.height, "framerate", GST_TYPE_FRACTION,
                                            uri.framerate, 1, nullptr));
    g_object_set(size.get(), "caps", native.get(), nullptr);
    if (!addAndLink(bin.get(), {source.get(), size.get(), convert.get(), scale.get()}) ||
        !addGhostSource(bin.get(), scale.get())) {
        qCWarning(lcUriCamera) << "cannot build the test camera";
        return {};
    }
    setCameraCaps(bin.get(), capabilityCaps(uri.width, uri.height, uri.framerate, 1));
    return bin;
}

// --- files and network streams

// Shared by a file camera's bin and the loopers of its current run. A seek
// that reaches the demuxer while it is being torn down crashes it, so closing
// waits for a seek under way and no seek starts after that.
struct LoopGate {
    std::mutex seekMutex;  // held for the whole push of a seek
    std::atomic<bool> closed = false;
};

GQuark loopGateQuark() {
    static const GQuark quark = g_quark_from_static_string("kv-uri-camera-loop-gate");
    return quark;
}

std::shared_ptr<LoopGate> loopGate(GstElement* camera) {
    auto* gate = static_cast<std::shared_ptr<LoopGate>*>(
        g_object_get_qdata(G_OBJECT(camera), loopGateQuark()));
    return gate ? *gate : nullptr;
}

// Turns the decoder's output into one endless stream: each end of the file
// becomes a seek back to its start, and timestamps keep counting on from the
// previous pass so that downstream sees a single segment.
class Looper : public std::enable_shared_from_this<Looper> {
  public:
    Looper(Pad upstreamOfChain, std::shared_ptr<LoopGate> gate)
        : chainSink_(std::move(upstreamOfChain)), gate_(std::move(gate)) {}

    static GstPadProbeReturn probe(GstPad*, GstPadProbeInfo* info, gpointer data) {
        return (*static_cast<std::shared_ptr<Looper>*>(data))->onData(info);
    }

  private:
    GstPadProbeReturn onData(GstPadProbeInfo* info) {
        std::lock_guard lock(mutex_);
        if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER) {
            return onBuffer(info);
        }
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        switch (GST_EVENT_TYPE(event)) {
            case GST_EVENT_SEGMENT: {
                const GstSegment* segment = nullptr;
                gst_event_parse_segment(event, &segment);
                if (segment->format != GST_FORMAT_TIME) {
                    looping_ = false;
                    return GST_PAD_PROBE_OK;
                }
                gst_segment_copy_into(segment, &segment_);
                seeking_ = false;
                if (sentSegment_) {
                    return GST_PAD_PROBE_DROP;
                }
                sentSegment_ = true;
                GstSegment output;
                gst_segment_init(&output, GST_FORMAT_TIME);
                GST_PAD_PROBE_INFO_DATA(info) = gst_event_new_segment(&output);
                gst_event_unref(event);
                return GST_PAD_PROBE_OK;
            }
            case GST_EVENT_FLUSH_START:
                return seeking_ ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
            case GST_EVENT_FLUSH_STOP:
                if (seeking_) {
                    return GST_PAD_PROBE_DROP;
                }
                // Someone else flushed downstream too: start counting afresh.
                sentSegment_ = false;
                offset_ = 0;
                passEnd_ = 0;
                return GST_PAD_PROBE_OK;
            case GST_EVENT_EOS:
                if (!looping_ || passEnd_ == 0 || gate_->closed) {
                    return GST_PAD_PROBE_OK;  // nothing played (do not spin), or closing
                }
                offset_ += passEnd_;
                passEnd_ = 0;
                seeking_ = true;
                restart();
                return GST_PAD_PROBE_DROP;
            default:
                return GST_PAD_PROBE_OK;
        }
    }

    GstPadProbeReturn onBuffer(GstPadProbeInfo* info) {
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (!looping_ || !GST_BUFFER_PTS_IS_VALID(buffer)) {
            return GST_PAD_PROBE_OK;
        }
        const GstClockTime running =
            gst_segment_to_running_time(&segment_, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
        if (!GST_CLOCK_TIME_IS_VALID(running)) {
            return GST_PAD_PROBE_DROP;  // outside the segment
        }
        GstClockTime duration = GST_BUFFER_DURATION(buffer);
        if (!GST_CLOCK_TIME_IS_VALID(duration)) {
            duration = GST_CLOCK_TIME_IS_VALID(lastRunning_) && running > lastRunning_
                           ? running - lastRunning_
                           : GST_SECOND / 25;
        }
        lastRunning_ = running;
        passEnd_ = std::max(passEnd_, running + duration);
        buffer = gst_buffer_make_writable(buffer);
        GST_BUFFER_PTS(buffer) = offset_ + running;
        GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
        return GST_PAD_PROBE_OK;
    }

    // Seeking from the streaming thread would deadlock; a GStreamer worker does it.
    void restart() {
        Element owner = adopt(gst_pad_get_parent_element(chainSink_.get()));
        if (!owner) {
            return;
        }
        lastRunning_ = GST_CLOCK_TIME_NONE;
        gst_element_call_async(
            owner.get(),
            [](GstElement*, gpointer data) {
                (*static_cast<std::shared_ptr<Looper>*>(data))->seekToStart();
            },
            new std::shared_ptr<Looper>(shared_from_this()),
            [](gpointer data) { delete static_cast<std::shared_ptr<Looper>*>(data); });
    }

    // Lock order: the gate's seekMutex before mutex_ (the seek's own flush
    // events pass the probe), never the other way round.
    void seekToStart() {
        {
            std::lock_guard hold(gate_->seekMutex);
            if (!gate_->closed) {
                GstEvent* seek = gst_event_new_seek(
                    1.0, GST_FORMAT_TIME,
                    GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT), GST_SEEK_TYPE_SET,
                    0, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
                if (gst_pad_push_event(chainSink_.get(), seek)) {
                    return;
                }
                Element owner = adopt(gst_pad_get_parent_element(chainSink_.get()));
                if (!owner || GST_STATE_TARGET(owner.get()) < GST_STATE_PAUSED) {
                    return;  // shutting down
                }
                qCWarning(lcUriCamera) << "file camera cannot seek back to its start; it ends here";
            }
        }
        // The end of file that started this seek was held back: pass one on.
        {
            std::lock_guard lock(mutex_);
            seeking_ = false;
            looping_ = false;
        }
        gst_pad_send_event(chainSink_.get(), gst_event_new_eos());
    }

    // --- set at construction
    const Pad chainSink_;
    const std::shared_ptr<LoopGate> gate_;

    // --- streaming threads and the seeking worker, under mutex_
    std::mutex mutex_;
    GstSegment segment_{};
    GstClockTime offset_ = 0;
    GstClockTime passEnd_ = 0;
    GstClockTime lastRunning_ = GST_CLOCK_TIME_NONE;
    bool sentSegment_ = false;
    bool seeking_ = false;
    bool looping_ = true;
};

struct DecodedPadContext {
    Pad chainSink;                // where the video stream goes
    GstElement* owner = nullptr;  // the camera bin, which outlives the decoder; null: no loop
    // The camera bin's admission point and what follows it; null for a plain
    // chain. The gate links to the JPEG decoder or, for decoded video,
    // straight to the conversion, once the stream's kind is known.
    GstElement* gate = nullptr;
    GstElement* jpegDecoder = nullptr;
    GstElement* convert = nullptr;
};

enum class StreamKind { Other, Video, Jpeg };

StreamKind streamKind(GstPad* pad) {
    Caps caps = adopt(gst_pad_get_current_caps(pad));
    if (!caps) {
        caps = adopt(gst_pad_query_caps(pad, nullptr));
    }
    if (!caps || gst_caps_is_empty(caps.get()) || gst_caps_is_any(caps.get())) {
        return StreamKind::Other;
    }
    const char* name = gst_structure_get_name(gst_caps_get_structure(caps.get(), 0));
    if (g_str_equal(name, "image/jpeg")) {
        return StreamKind::Jpeg;
    }
    return g_str_has_prefix(name, "video/") ? StreamKind::Video : StreamKind::Other;
}

// Streaming thread: caps that the chain behind cannot take are mended on
// their way. A top-down raw AVI (negative height, as ffmpeg writes them) comes
// out of avidemux with a pixel aspect ratio of -1/1, which videoscale refuses:
// any ratio that is not positive becomes square pixels.
GstPadProbeReturn mendCaps(GstPad*, GstPadProbeInfo* info, gpointer) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS) {
        return GST_PAD_PROBE_OK;
    }
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    int num = 1;
    int den = 1;
    const GstStructure* s =
        caps && gst_caps_get_size(caps) > 0 ? gst_caps_get_structure(caps, 0) : nullptr;
    if (!s || !gst_structure_get_fraction(s, "pixel-aspect-ratio", &num, &den) ||
        (num > 0 && den > 0)) {
        return GST_PAD_PROBE_OK;
    }
    GstCaps* mended = gst_caps_copy(caps);
    gst_caps_set_simple(mended, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    GST_PAD_PROBE_INFO_DATA(info) = gst_event_new_caps(mended);
    gst_caps_unref(mended);
    gst_event_unref(event);
    return GST_PAD_PROBE_OK;
}

// Streaming thread: the decoder found a stream. The first video stream is used;
// other streams stay unlinked.
void onDecodedPad(GstElement*, GstPad* pad, gpointer data) {
    auto* context = static_cast<DecodedPadContext*>(data);
    const StreamKind kind = streamKind(pad);
    if (kind == StreamKind::Other || gst_pad_is_linked(context->chainSink.get())) {
        return;
    }
    if (context->gate) {
        // A JPEG stream comes only from a camera with a JPEG decoder (see
        // keepJpegUndecoded). Linked before any frame can reach the gate; a restarted camera
        // finds its stream again and links afresh.
        if (context->jpegDecoder) {
            gst_element_unlink(context->gate, context->jpegDecoder);
            gst_element_unlink(context->jpegDecoder, context->convert);
        }
        gst_element_unlink(context->gate, context->convert);
        const bool linked = kind == StreamKind::Jpeg
                                ? gst_element_link_many(context->gate, context->jpegDecoder,
                                                        context->convert, nullptr)
                                : gst_element_link(context->gate, context->convert);
        if (!linked) {
            qCWarning(lcUriCamera) << "cannot link the decoder of a URI camera";
            return;
        }
    }
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &mendCaps, nullptr, nullptr);
    if (std::shared_ptr<LoopGate> gate = context->owner ? loopGate(context->owner) : nullptr) {
        gst_pad_add_probe(
            pad,
            GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                            GST_PAD_PROBE_TYPE_EVENT_FLUSH),
            &Looper::probe,
            new std::shared_ptr<Looper>(
                std::make_shared<Looper>(context->chainSink, std::move(gate))),
            [](gpointer p) { delete static_cast<std::shared_ptr<Looper>*>(p); });
    }
    if (GST_PAD_LINK_FAILED(gst_pad_link(pad, context->chainSink.get()))) {
        qCWarning(lcUriCamera) << "cannot link the decoded video of a URI camera";
    }
}

// A network camera is a live stream: no buffering for playback, and an MJPEG
// stream has one part type, so its pad can be exposed at the first part
// (otherwise decodebin waits for more streams that never come).
void onSourceSetup(GstElement*, GstElement* source, gpointer) {
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(source), "is-live")) {
        g_object_set(source, "is-live", TRUE, nullptr);
    }
}

// The settings the user keeps for a network camera, given to its source.
void onSourceSettings(GstElement*, GstElement* source, gpointer data) {
    const auto* kept = static_cast<const ControlValues*>(data);
    GObjectClass* type = G_OBJECT_GET_CLASS(source);
    if (kept->contains(kRtspLatencyKey) && g_object_class_find_property(type, "latency")) {
        g_object_set(source, "latency", guint(std::max(0, kept->value(kRtspLatencyKey))), nullptr);
    }
    if (kept->contains(kRtspTransportKey) && g_object_class_find_property(type, "protocols")) {
        const int transport = kept->value(kRtspTransportKey);
        // GstRTSPLowerTrans: UDP 1, UDP multicast 2, TCP 4.
        const guint protocols = transport == 1 ? 4u : transport == 2 ? 1u : 7u;
        gst_util_set_object_arg(G_OBJECT(source), "protocols",
                                QByteArray::number(protocols).constData());
    }
}

void onDeepElementAdded(GstBin*, GstBin*, GstElement* element, gpointer) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (factory &&
        qstrcmp(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)), "multipartdemux") == 0) {
        g_object_set(element, "single-stream", TRUE, nullptr);
    }
}

void prepareNetworkDecoder(GstElement* decoder) {
    g_signal_connect(decoder, "source-setup", G_CALLBACK(onSourceSetup), nullptr);
    g_signal_connect(decoder, "deep-element-added", G_CALLBACK(onDeepElementAdded), nullptr);
}

void connectDecoder(GstElement* decoder, DecodedPadContext* context) {
    g_signal_connect_data(
        decoder, "pad-added", G_CALLBACK(onDecodedPad), context,
        [](gpointer p, GClosure*) { delete static_cast<DecodedPadContext*>(p); }, GConnectFlags(0));
}

// A JPEG stream leaves the decoder undecoded, so that only the frames the
// throttle keeps are ever decoded: decoding costs far more than reading.
void keepJpegUndecoded(GstElement* decoder) {
    Caps finalCaps;
    g_object_get(decoder, "caps", finalCaps.out(), nullptr);
    Caps withJpeg = adopt(finalCaps ? gst_caps_copy(finalCaps.get()) : gst_caps_new_empty());
    gst_caps_append(withJpeg.get(), gst_caps_new_empty_simple("image/jpeg"));
    g_object_set(decoder, "caps", withJpeg.get(), nullptr);
}

// Plays the URI until its video caps are known (or it fails, or time runs out).
// Failing, it says why in failure.
std::optional<NativeFormat> discoverNativeFormat(const QString& uri, Kind kind, QString& failure) {
    struct Waiter {
        std::mutex mutex;
        std::condition_variable ready;
        Caps caps;
    } waiter;

    Element pipeline = adopt(gst_pipeline_new(nullptr));
    Element decoder = make("uridecodebin");
    Element sink = make("fakesink");
    if (!decoder || !sink) {
        return std::nullopt;
    }
    g_object_set(decoder.get(), "uri", uri.toUtf8().constData(), nullptr);
    g_object_set(sink.get(), "sync", FALSE, nullptr);
    gst_bin_add(GST_BIN(pipeline.get()), decoder.get());
    gst_bin_add(GST_BIN(pipeline.get()), sink.get());
    if (kind == Kind::Network) {
        prepareNetworkDecoder(decoder.get());
    }
    connectDecoder(decoder.get(),
                   new DecodedPadContext{adopt(gst_element_get_static_pad(sink.get(), "sink"))});
    Pad sinkPad = adopt(gst_element_get_static_pad(sink.get(), "sink"));
    gst_pad_add_probe(
        sinkPad.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
        [](GstPad*, GstPadProbeInfo* info, gpointer data) {
            GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
            if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
                auto* w = static_cast<Waiter*>(data);
                GstCaps* caps = nullptr;
                gst_event_parse_caps(event, &caps);
                std::lock_guard lock(w->mutex);
                w->caps = share(caps);
                w->ready.notify_all();
            }
            return GST_PAD_PROBE_OK;
        },
        &waiter, nullptr);

    Bus bus = adopt(gst_element_get_bus(pipeline.get()));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    Caps caps;
    failure = QStringLiteral("no video within %1 ms").arg(kDiscoveryTimeout_ms);
    for (int waited_ms = 0; waited_ms < kDiscoveryTimeout_ms; waited_ms += 50) {
        {
            std::unique_lock lock(waiter.mutex);
            if (waiter.ready.wait_for(lock, std::chrono::milliseconds(50),
                                      [&] { return bool(waiter.caps); })) {
                caps = waiter.caps;
                break;
            }
        }
        Message message = adopt(
            gst_bus_pop_filtered(bus.get(), GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS)));
        if (message) {
            failure = QStringLiteral("the stream ended");
            if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
                GError* raw = nullptr;
                gst_message_parse_error(message.get(), &raw, nullptr);
                Error error = adopt(raw);
                failure = describeError(error.get());
            }
            break;
        }
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);

    NativeFormat format;
    const GstStructure* s = caps ? gst_caps_get_structure(caps.get(), 0) : nullptr;
    if (!s || !gst_structure_get_int(s, "width", &format.width) ||
        !gst_structure_get_int(s, "height", &format.height)) {
        return std::nullopt;
    }
    if (!gst_structure_get_fraction(s, "framerate", &format.fpsNum, &format.fpsDen)) {
        format.fpsNum = 0;
    }
    return format;
}

// One discovery under way in its own thread. The thread may be stuck for good
// in a file system or a source's start (a hung network mount), so nobody ever
// joins it: whoever waits, waits with a deadline.
struct Discovery {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::optional<NativeFormat> format;
    QString failure;
};

void logUnlearnedSize(const QString& uri, const QString& failure) {
    qCWarning(lcUriCamera).noquote()
        << "cannot learn the picture size of" << redactUri(uri) << "-" << sanitizedText(failure);
}

// The discovery of uri, started now unless one is already under way.
std::shared_ptr<Discovery> startDiscovery(const CameraUri& uri) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (const auto running = r.discovering.constFind(uri.uri); running != r.discovering.cend()) {
        return *running;
    }
    auto discovery = std::make_shared<Discovery>();
    r.discovering.insert(uri.uri, discovery);
    std::thread([uri, discovery] {
        QString failure;
        std::optional<NativeFormat> format = discoverNativeFormat(uri.uri, uri.kind, failure);
        {
            Registry& registry_ = registry();
            std::lock_guard lock(registry_.mutex);
            if (registry_.discovering.value(uri.uri) == discovery) {
                registry_.discovering.remove(uri.uri);
            }
            if (format) {
                registry_.discovered.insert(uri.uri, format);
                registry_.unanswered.remove(uri.uri);
            } else if (uri.kind == Kind::Network && !registry_.unanswered.contains(uri.uri)) {
                // Once: it is asked again at every build while it is away.
                registry_.unanswered.insert(uri.uri);
                logUnlearnedSize(uri.uri, failure);
            }
        }
        std::lock_guard lock(discovery->mutex);
        discovery->finished = true;
        discovery->format = format;
        discovery->failure = failure;
        discovery->done.notify_all();
    }).detach();
    return discovery;
}

// Learned once per URI, in a thread of its own. A network camera that hangs
// must not hold up the caller: its size is learned in the background, and
// until then the camera offers whatever size it sends; one that does not
// answer is asked again at the next build. A file is waited for up to
// kFileDiscoveryDeadline_ms, so that its camera offers its sizes at once;
// past that, or failing, failure says why and the camera cannot start. A
// discovery still running when the deadline passes is waited for again, not
// started again, at the next build, and what it learns is kept.
std::optional<NativeFormat> nativeFormat(const CameraUri& uri, QString* failure) {
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        auto known = r.discovered.constFind(uri.uri);
        if (known != r.discovered.constEnd()) {
            return *known;
        }
    }
    const std::shared_ptr<Discovery> discovery = startDiscovery(uri);
    if (uri.kind == Kind::Network) {
        return std::nullopt;
    }
    std::unique_lock lock(discovery->mutex);
    if (!discovery->done.wait_for(lock, std::chrono::milliseconds(kFileDiscoveryDeadline_ms),
                                  [&] { return discovery->finished; })) {
        const QString late =
            QCoreApplication::translate("kv::media::UriCamera",
                                        "the file did not show its picture size within %1 s")
                .arg(kFileDiscoveryDeadline_ms / 1000);
        logUnlearnedSize(uri.uri, late);
        if (failure) {
            *failure = late;
        }
        return std::nullopt;
    }
    if (!discovery->format) {
        logUnlearnedSize(uri.uri, discovery->failure);
        if (failure) {
            *failure = discovery->failure;
        }
    }
    return discovery->format;
}

// Why a file camera's file cannot be played, or empty when it is a regular
// file. Only a regular file is ever handed to GStreamer: opening a FIFO or a
// device waits for a writer or has effects of its own. Checked by name, then
// on a descriptor opened without waiting, in case the name changed between.
QString notAPlayableFile(const QByteArray& path) {
    auto typeProblem = [](const struct stat& info) {
        if (S_ISREG(info.st_mode)) {
            return QString();
        }
        if (S_ISFIFO(info.st_mode)) {
            return QCoreApplication::translate("kv::media::UriCamera",
                                               "the camera file is a FIFO, not a regular file");
        }
        if (S_ISDIR(info.st_mode)) {
            return QCoreApplication::translate("kv::media::UriCamera",
                                               "the camera file is a folder, not a regular file");
        }
        return QCoreApplication::translate("kv::media::UriCamera",
                                           "the camera file is not a regular file");
    };
    auto systemProblem = [](int error) {
        return QCoreApplication::translate("kv::media::UriCamera", "the camera file: %1")
            .arg(QString::fromLocal8Bit(std::strerror(error)));
    };
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) {
        return systemProblem(errno);
    }
    if (QString problem = typeProblem(info); !problem.isEmpty()) {
        return problem;
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return systemProblem(errno);
    }
    const bool described = ::fstat(fd, &info) == 0;
    const int error = errno;
    ::close(fd);
    return described ? typeProblem(info) : systemProblem(error);
}

QByteArray localPath(const QString& fileUri) {
    Chars path = adopt(gst_uri_get_location(fileUri.toUtf8().constData()));
    return path ? QByteArray(path.get()) : QByteArray();
}

// What a file camera's bin knows before it starts: its file, and why it
// cannot start when discovery failed or ran out of time.
struct FileCameraStart {
    QByteArray path;
    QString failure;
};

GQuark fileStartQuark() {
    static const GQuark quark = g_quark_from_static_string("kv-uri-camera-file-start");
    return quark;
}

// A file camera's bin: each run opens a fresh loop gate, and the gate closes
// before the decoder leaves PAUSED, however the pipeline is stopped.
GstElementClass* fileCameraBinParent = nullptr;

GstStateChangeReturn changeFileCameraState(GstElement* bin, GstStateChange transition) {
    if (transition == GST_STATE_CHANGE_READY_TO_PAUSED) {
        // Refused before any child opens the file; the reason goes on the
        // bus as the camera's error. The file is looked at again: it may have
        // been replaced by a FIFO since the camera was made.
        if (const auto* start = static_cast<FileCameraStart*>(
                g_object_get_qdata(G_OBJECT(bin), fileStartQuark()))) {
            const QString failure =
                start->failure.isEmpty() ? notAPlayableFile(start->path) : start->failure;
            if (!failure.isEmpty()) {
                const QByteArray text = failure.toUtf8();
                GST_ELEMENT_ERROR(bin, RESOURCE, OPEN_READ, ("%s", text.constData()), (nullptr));
                return GST_STATE_CHANGE_FAILURE;
            }
        }
        // No streaming thread runs in the bin yet, so nothing reads the old gate.
        g_object_set_qdata_full(
            G_OBJECT(bin), loopGateQuark(),
            new std::shared_ptr<LoopGate>(std::make_shared<LoopGate>()),
            [](gpointer p) { delete static_cast<std::shared_ptr<LoopGate>*>(p); });
    } else if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
        stopUriCamera(bin);
    }
    return fileCameraBinParent->change_state(bin, transition);
}

GType fileCameraBinType() {
    static const GType type = g_type_register_static_simple(
        GST_TYPE_BIN, "KvFileCameraBin", sizeof(GstBinClass),
        [](gpointer klass, gpointer) {
            fileCameraBinParent = GST_ELEMENT_CLASS(g_type_class_peek_parent(klass));
            GST_ELEMENT_CLASS(klass)->change_state = changeFileCameraState;
        },
        sizeof(GstBin), nullptr, GTypeFlags(0));
    return type;
}

//   uridecodebin ! [clocksync] ! identity (admission) ! [jpegdec] ! videoconvert ! videoscale
Element createDecodingSource(const CameraUri& uri, const ControlValues& kept) {
    const bool isFile = uri.kind == Kind::File;
    Element bin = adopt(isFile ? GST_ELEMENT(g_object_new(fileCameraBinType(), nullptr))
                               : gst_bin_new(nullptr));
    Element decoder = make("uridecodebin");
    Element pace = isFile ? make("clocksync") : Element();
    Element gate = make("identity");
    Element jpegDecoder = make("jpegdec");
    Element convert = make("videoconvert");
    Element scale = make("videoscale");
    if (!decoder || (isFile && !pace) || !gate || !convert || !scale) {
        return {};
    }
    g_object_set(decoder.get(), "uri", uri.uri.toUtf8().constData(), nullptr);
    g_object_set(gate.get(), "silent", TRUE, nullptr);
    if (isFile) {
        // A file would otherwise play as fast as it decodes.
        g_object_set(pace.get(), "sync", TRUE, "sync-to-first", TRUE, nullptr);
    }
    if (jpegDecoder) {
        keepJpegUndecoded(decoder.get());
        gst_bin_add(GST_BIN(bin.get()), jpegDecoder.get());
    }
    gst_bin_add(GST_BIN(bin.get()), decoder.get());
    const bool linked = (isFile ? addAndLink(bin.get(), {pace.get(), gate.get()})
                                : addAndLink(bin.get(), {gate.get()})) &&
                        addAndLink(bin.get(), {convert.get(), scale.get()});
    if (!linked || !addGhostSource(bin.get(), scale.get())) {
        qCWarning(lcUriCamera).noquote() << "cannot build the camera for" << redactUri(uri.uri);
        return {};
    }
    if (!isFile) {
        prepareNetworkDecoder(decoder.get());
        if (!kept.isEmpty()) {
            g_signal_connect_data(
                decoder.get(), "source-setup", G_CALLBACK(onSourceSettings),
                new ControlValues(kept),
                [](gpointer p, GClosure*) { delete static_cast<ControlValues*>(p); },
                GConnectFlags(0));
        }
    }
    GstElement* head = isFile ? pace.get() : gate.get();
    connectDecoder(decoder.get(),
                   new DecodedPadContext{adopt(gst_element_get_static_pad(head, "sink")),
                                         isFile ? bin.get() : nullptr, gate.get(),
                                         jpegDecoder.get(), convert.get()});
    setCameraAdmissionPad(bin.get(), adopt(gst_element_get_static_pad(gate.get(), "src")));

    Caps caps = adopt(gst_caps_new_empty());
    QString failure;
    if (isFile) {
        const QByteArray path = localPath(uri.uri);
        failure = notAPlayableFile(path);
        if (!failure.isEmpty()) {
            qCWarning(lcUriCamera).noquote()
                << "camera file" << QFile::decodeName(path) << "not played:" << failure;
        }
        // A missing file is not discovered (nothing to learn) but still bound:
        // it may come back by the next build.
        if (failure.isEmpty()) {
            if (const std::optional<NativeFormat> native = nativeFormat(uri, &failure)) {
                caps =
                    capabilityCaps(native->width, native->height, native->fpsNum, native->fpsDen);
            }
        }
        g_object_set_qdata_full(G_OBJECT(bin.get()), fileStartQuark(),
                                new FileCameraStart{path, failure},
                                [](gpointer p) { delete static_cast<FileCameraStart*>(p); });
    } else if (const std::optional<NativeFormat> native = nativeFormat(uri, nullptr)) {
        caps = capabilityCaps(native->width, native->height, native->fpsNum, native->fpsDen);
    }
    setCameraCaps(bin.get(), std::move(caps));
    return bin;
}

}  // namespace

bool parseCameraArgument(const QString& argument, QPair<QString, QString>& camera) {
    const qsizetype equals = argument.indexOf(u'=');
    if (equals < 0) {
        return false;
    }
    camera = {argument.left(equals).trimmed(), argument.mid(equals + 1).trimmed()};
    return true;
}

bool isUsableCameraUri(const QString& uri, QString* reason) {
    return parseCameraUri(uri, reason).has_value();
}

void setCommandLineCameras(const CameraPairs& cameras) {
    QList<UriCamera> list;
    addCameras(cameras, list, "command line");
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.commandLine = std::move(list);
}

void loadConfiguredCameras(QSettings& settings) {
    settings.beginGroup(QStringLiteral("Cameras"));
    QStringList names = settings.childKeys();
    names.removeAll(QStringLiteral("Order"));
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    // The INI reader splits a value at its commas; both forms are accepted.
    auto text = [&](const QString& key) {
        const QVariant value = settings.value(key);
        return value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',')
                                                        : value.toString();
    };
    QStringList ordered;
    if (settings.contains(QStringLiteral("Order"))) {
        for (const QString& entry : text(QStringLiteral("Order")).split(u',')) {
            const QString name = entry.trimmed();
            if (name.isEmpty() || ordered.contains(name)) {
                continue;
            }
            if (!names.contains(name)) {
                qCWarning(lcUriCamera) << "camera order names" << name << "which is not configured";
                continue;
            }
            ordered.append(name);
        }
    }
    for (const QString& name : names) {
        if (!ordered.contains(name)) {
            ordered.append(name);
        }
    }
    CameraPairs pairs;
    for (const QString& name : ordered) {
        pairs.append({name, text(name)});
    }
    settings.endGroup();

    QList<UriCamera> list;
    addCameras(pairs, list, "settings");
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.configured = std::move(list);
}

void loadConfiguredCameras(const QString& settingsFile) {
    if (!QFileInfo::exists(settingsFile)) {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        r.configured.clear();
        return;
    }
    QSettings settings(settingsFile, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        qCWarning(lcUriCamera) << "cannot read the cameras of" << settingsFile;
    }
    loadConfiguredCameras(settings);
}

void clearUriCameras() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.commandLine.clear();
    r.configured.clear();
}

QList<UriCamera> configuredCameras() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.configured;
}

QList<UriCamera> uriCameras() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.commandLine + r.configured;
}

void stopUriCamera(GstElement* camera) {
    if (!camera) {
        return;
    }
    if (std::shared_ptr<LoopGate> gate = loopGate(camera)) {
        std::lock_guard hold(gate->seekMutex);
        gate->closed = true;
    }
}

Element createUriCameraSource(const UriCamera& camera) {
    QString reason;
    const std::optional<CameraUri> uri = parseCameraUri(camera.uri, &reason);
    if (!uri) {
        qCWarning(lcUriCamera).noquote() << "camera" << camera.name << "has an unusable URI"
                                         << redactUri(camera.uri) << "-" << sanitizedText(reason);
        return {};
    }
    return uri->kind == Kind::Test ? createTestSource(*uri)
                                   : createDecodingSource(*uri, keptControls(camera.name));
}

}  // namespace kv::media

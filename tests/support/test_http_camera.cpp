// The test network camera met by a real GStreamer HTTP source, built the way
// the program builds a network camera: uridecodebin with a live source and a
// single-stream multipart demuxer.

#include "tests/support/http_camera.h"

#include "media/gst_handle.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gst/app/gstappsink.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>

namespace kv::test {
namespace {

using media::adopt;
using media::Element;
using media::Message;
using media::Pad;

// How a stream ended, as the bus said it.
struct Ending {
    GstMessageType type = GST_MESSAGE_UNKNOWN;
    QString text;  // the error's message and debug text
    qint64 after_ms = 0;
};

// uridecodebin uri=URL ! videoconvert ! appsink, counting decoded frames.
class StreamProbe {
  public:
    explicit StreamProbe(const QString& url) {
        pipeline_ = adopt(gst_pipeline_new(nullptr));
        Element decoder = adopt(gst_element_factory_make("uridecodebin", nullptr));
        Element convert = adopt(gst_element_factory_make("videoconvert", nullptr));
        Element sink = adopt(gst_element_factory_make("appsink", nullptr));
        if (!decoder || !convert || !sink) {
            ADD_FAILURE() << "uridecodebin, videoconvert or appsink is missing";
            return;
        }
        g_object_set(decoder.get(), "uri", url.toUtf8().constData(), nullptr);
        g_signal_connect(decoder.get(), "source-setup", G_CALLBACK(onSourceSetup), nullptr);
        g_signal_connect(decoder.get(), "deep-element-added", G_CALLBACK(onDeepElementAdded),
                         nullptr);
        g_signal_connect(decoder.get(), "pad-added", G_CALLBACK(onPadAdded), convert.get());
        g_object_set(sink.get(), "sync", FALSE, "max-buffers", 2, "drop", TRUE, nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = &StreamProbe::onSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, this, nullptr);
        gst_bin_add_many(GST_BIN(pipeline_.get()), decoder.get(), convert.get(), sink.get(),
                         nullptr);
        gst_element_link(convert.get(), sink.get());
        sink_ = sink;
    }

    ~StreamProbe() {
        if (pipeline_) {
            gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
        }
    }

    StreamProbe(const StreamProbe&) = delete;
    StreamProbe& operator=(const StreamProbe&) = delete;

    void play() {
        clock_.start();
        ASSERT_NE(gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING),
                  GST_STATE_CHANGE_FAILURE);
    }

    // Pumps the event loop and the bus until done() holds, the stream ends
    // or timeout_ms passes. True if done() held.
    template <typename Done>
    bool runUntil(Done done, int timeout_ms) {
        QElapsedTimer waited;
        waited.start();
        while (!done() && waited.elapsed() < timeout_ms) {
            QCoreApplication::processEvents();
            Message message = adopt(gst_bus_timed_pop_filtered(
                bus(), 10 * GST_MSECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
            if (message && !ending_) {
                ending_ = describe(message.get());
            }
        }
        return done();
    }

    bool runFor(int duration_ms) {
        return !runUntil([] { return false; }, duration_ms);
    }

    bool runUntilFrames(int count, int timeout_ms) {
        return runUntil([&] { return frames() >= count || ending_.has_value(); }, timeout_ms) &&
               frames() >= count;
    }

    std::optional<Ending> runUntilEnded(int timeout_ms) {
        runUntil([&] { return ending_.has_value(); }, timeout_ms);
        return ending_;
    }

    int frames() const { return frames_; }
    const std::optional<Ending>& ending() const { return ending_; }
    qint64 elapsed_ms() const { return clock_.elapsed(); }

    QSize lastSize() const {
        std::lock_guard lock(mutex_);
        return lastSize_;
    }
    // The decoded pictures of the first frame and the latest one.
    std::pair<QByteArray, QByteArray> firstAndLast() const {
        std::lock_guard lock(mutex_);
        return {first_, last_};
    }

  private:
    GstBus* bus() {
        if (!bus_) {
            bus_ = adopt(gst_element_get_bus(pipeline_.get()));
        }
        return bus_.get();
    }

    Ending describe(GstMessage* message) const {
        Ending ending{GST_MESSAGE_TYPE(message), {}, clock_.elapsed()};
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            GError* raw = nullptr;
            gchar* debug = nullptr;
            gst_message_parse_error(message, &raw, &debug);
            media::Error error = adopt(raw);
            media::Chars details = adopt(debug);
            ending.text =
                QStringLiteral("%1 (%2)")
                    .arg(QString::fromUtf8(error->message), QString::fromUtf8(details.get()))
                    .simplified();
        }
        return ending;
    }

    static void onSourceSetup(GstElement*, GstElement* source, gpointer) {
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(source), "is-live")) {
            g_object_set(source, "is-live", TRUE, nullptr);
        }
    }

    static void onDeepElementAdded(GstBin*, GstBin*, GstElement* element, gpointer) {
        GstElementFactory* factory = gst_element_get_factory(element);
        if (factory && g_strcmp0(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)),
                                 "multipartdemux") == 0) {
            g_object_set(element, "single-stream", TRUE, nullptr);
        }
    }

    static void onPadAdded(GstElement*, GstPad* pad, gpointer convert) {
        Pad sink = adopt(gst_element_get_static_pad(GST_ELEMENT(convert), "sink"));
        if (!gst_pad_is_linked(sink.get())) {
            gst_pad_link(pad, sink.get());
        }
    }

    // Streaming thread.
    static GstFlowReturn onSample(GstAppSink* sink, gpointer data) {
        auto* self = static_cast<StreamProbe*>(data);
        media::Sample sample = adopt(gst_app_sink_pull_sample(sink));
        if (!sample) {
            return GST_FLOW_OK;
        }
        const GstStructure* s = gst_caps_get_structure(gst_sample_get_caps(sample.get()), 0);
        int width = 0;
        int height = 0;
        gst_structure_get_int(s, "width", &width);
        gst_structure_get_int(s, "height", &height);
        GstMapInfo map{};
        GstBuffer* buffer = gst_sample_get_buffer(sample.get());
        QByteArray picture;
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            picture = QByteArray(reinterpret_cast<const char*>(map.data), qsizetype(map.size));
            gst_buffer_unmap(buffer, &map);
        }
        {
            std::lock_guard lock(self->mutex_);
            self->lastSize_ = QSize(width, height);
            if (self->first_.isEmpty()) {
                self->first_ = picture;
            }
            self->last_ = picture;
        }
        ++self->frames_;
        return GST_FLOW_OK;
    }

    // --- main thread
    Element pipeline_;
    Element sink_;
    media::Bus bus_;
    std::optional<Ending> ending_;
    QElapsedTimer clock_;
    // --- written by the streaming thread
    std::atomic<int> frames_{0};
    mutable std::mutex mutex_;
    QSize lastSize_;
    QByteArray first_;
    QByteArray last_;
};

const char* typeName(GstMessageType type) {
    return gst_message_type_get_name(type);
}

void report(const char* what, const Ending& ending) {
    std::printf("[   info   ] %s: %s after %lld ms %s\n", what, typeName(ending.type),
                static_cast<long long>(ending.after_ms), qPrintable(ending.text));
}

TEST(HttpCamera, ServesMovingFramesOfItsSize) {
    HttpCamera camera(QSize(320, 240), 25);
    ASSERT_TRUE(camera.isListening());
    EXPECT_EQ(camera.url(), QStringLiteral("http://127.0.0.1:%1/video.mjpg").arg(camera.port()));

    StreamProbe probe(camera.url());
    probe.play();
    ASSERT_TRUE(probe.runUntilFrames(5, 5000))
        << (probe.ending() ? qPrintable(probe.ending()->text) : "no frame");
    EXPECT_EQ(probe.lastSize(), QSize(320, 240));
    EXPECT_FALSE(probe.ending().has_value());
    EXPECT_GE(camera.framesSent(), 5);
    EXPECT_EQ(camera.connections(), 1);
    EXPECT_EQ(camera.openConnections(), 1);
    const auto [first, last] = probe.firstAndLast();
    EXPECT_NE(first, last) << "the picture should change from frame to frame";
}

TEST(HttpCamera, HangingCameraGivesNeitherFramesNorErrorUntilItAnswers) {
    HttpCamera camera;
    ASSERT_TRUE(camera.setMode(HttpCamera::Mode::Hang));
    StreamProbe probe(camera.url());
    probe.play();
    probe.runFor(3000);
    EXPECT_EQ(probe.frames(), 0);
    EXPECT_FALSE(probe.ending().has_value()) << qPrintable(probe.ending()->text);
    EXPECT_EQ(camera.connections(), 1);
    EXPECT_EQ(camera.framesSent(), 0);

    // The request that waited is answered on the same connection.
    ASSERT_TRUE(camera.setMode(HttpCamera::Mode::Serve));
    EXPECT_TRUE(probe.runUntilFrames(3, 3000));
    EXPECT_EQ(probe.lastSize(), QSize(160, 120));
    EXPECT_EQ(camera.connections(), 1);
}

TEST(HttpCamera, HangingStallsAnOpenStreamWithoutEndingIt) {
    HttpCamera camera;
    StreamProbe probe(camera.url());
    probe.play();
    ASSERT_TRUE(probe.runUntilFrames(2, 5000));
    ASSERT_TRUE(camera.setMode(HttpCamera::Mode::Hang));
    probe.runFor(300);  // parts already on their way
    const int sent = camera.framesSent();
    const int seen = probe.frames();
    probe.runFor(1500);
    EXPECT_EQ(camera.framesSent(), sent);
    EXPECT_EQ(probe.frames(), seen);
    EXPECT_FALSE(probe.ending().has_value()) << qPrintable(probe.ending()->text);
    EXPECT_EQ(camera.openConnections(), 1);

    ASSERT_TRUE(camera.setMode(HttpCamera::Mode::Serve));
    EXPECT_TRUE(probe.runUntilFrames(seen + 3, 3000));
}

TEST(HttpCamera, RefusingCameraIsAnErrorAndComesBackOnTheSamePort) {
    HttpCamera camera;
    const QString url = camera.url();
    ASSERT_TRUE(camera.setMode(HttpCamera::Mode::Refuse));
    {
        StreamProbe probe(url);
        probe.play();
        const std::optional<Ending> ending = probe.runUntilEnded(5000);
        ASSERT_TRUE(ending.has_value()) << "nothing on the bus";
        report("refused", *ending);
        EXPECT_EQ(ending->type, GST_MESSAGE_ERROR);
        EXPECT_EQ(probe.frames(), 0);
    }
    EXPECT_EQ(camera.connections(), 0);

    ASSERT_TRUE(camera.setMode(HttpCamera::Mode::Serve));
    EXPECT_EQ(camera.url(), url);
    StreamProbe probe(url);
    probe.play();
    EXPECT_TRUE(probe.runUntilFrames(3, 5000));
    EXPECT_EQ(camera.connections(), 1);
}

TEST(HttpCamera, ClosedConnectionEndsTheStreamAndANewOneGetsFrames) {
    HttpCamera camera;
    {
        StreamProbe probe(camera.url());
        probe.play();
        ASSERT_TRUE(probe.runUntilFrames(2, 5000));
        // A camera that reboots: the stream ends and nobody answers for a while.
        const qint64 closedAt_ms = probe.elapsed_ms();
        camera.closeConnections();
        ASSERT_TRUE(camera.setMode(HttpCamera::Mode::Refuse));
        std::optional<Ending> ending = probe.runUntilEnded(5000);
        ASSERT_TRUE(ending.has_value()) << "nothing on the bus";
        ending->after_ms -= closedAt_ms;
        report("closed", *ending);
        EXPECT_EQ(ending->type, GST_MESSAGE_EOS);
    }
    EXPECT_EQ(camera.openConnections(), 0);

    ASSERT_TRUE(camera.setMode(HttpCamera::Mode::Serve));
    StreamProbe probe(camera.url());
    probe.play();
    EXPECT_TRUE(probe.runUntilFrames(3, 5000));
    EXPECT_EQ(probe.lastSize(), QSize(160, 120));
    EXPECT_EQ(camera.connections(), 2);
}

TEST(HttpCamera, ServesWhileTheMainThreadWaits) {
    HttpCamera camera;
    StreamProbe probe(camera.url());
    probe.play();
    // No event loop runs while this thread waits for a frame.
    QElapsedTimer waited;
    waited.start();
    while (probe.frames() < 2 && waited.elapsed() < 5000) {
        g_usleep(10 * 1000);
    }
    EXPECT_GE(probe.frames(), 2);
}

}  // namespace
}  // namespace kv::test

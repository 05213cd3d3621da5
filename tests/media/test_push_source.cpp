#include "media/bus_observer.h"
#include "media/clock.h"
#include "media/frame.h"
#include "media/gst_handle.h"
#include "media/push_source.h"
#include "tests/support/avi_probe.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace kv::media;

namespace {

constexpr int kWait_ms = 10000;

// A frame in our memory order (rows bottom-up) whose picture is white in its
// top half and black below: the last stored rows are the white ones.
std::vector<std::uint8_t> halfWhiteFrame(const BITMAPINFOHEADER& header) {
    const int stride = frameStride(header.biWidth);
    std::vector<std::uint8_t> pixels(header.biSizeImage, 0);
    const int height = header.biHeight;
    for (int row = height - height / 2; row < height; ++row) {
        std::fill_n(pixels.begin() + std::ptrdiff_t(row) * stride, header.biWidth * 3, 0xff);
    }
    return pixels;
}

GstMessageType endOrError() {
    return GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR);
}

QString messageText(const Message& message) {
    if (!message) {
        return u"no message"_s;
    }
    if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
        Error error;
        Chars debug;
        gst_message_parse_error(message.get(), error.out(), debug.out());
        return QString::fromUtf8(error->message);
    }
    return QString::fromUtf8(GST_MESSAGE_TYPE_NAME(message.get()));
}

// The recording pipeline in its plainest form: push source ! avimux ! filesink,
// the source linked to the muxer's video pad by hand.
class AviRecording {
  public:
    AviRecording(PushSource& source, const QString& path) {
        pipeline_ = adopt(gst_pipeline_new("record"));
        mux_ = adopt(gst_element_factory_make("avimux", nullptr));
        Element sink = adopt(gst_element_factory_make("filesink", nullptr));
        if (!source.element() || !mux_ || !sink) {
            return;
        }
        g_object_set(sink.get(), "location", path.toUtf8().constData(), nullptr);
        gst_bin_add_many(GST_BIN(pipeline_.get()), source.element(), mux_.get(), sink.get(),
                         nullptr);
        videoPad_ = adopt(gst_element_request_pad_simple(mux_.get(), "video_%u"));
        Pad sourcePad = adopt(gst_element_get_static_pad(source.element(), "src"));
        linked_ = videoPad_ && gst_pad_link(sourcePad.get(), videoPad_.get()) == GST_PAD_LINK_OK &&
                  gst_element_link(mux_.get(), sink.get());
        observer_ = std::make_unique<BusObserver>(adopt(gst_element_get_bus(pipeline_.get())));
    }
    ~AviRecording() {
        gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
        if (videoPad_) {
            gst_element_release_request_pad(mux_.get(), videoPad_.get());
        }
    }
    bool linked() const { return linked_; }
    bool play() {
        return gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) !=
               GST_STATE_CHANGE_FAILURE;
    }
    Message waitForEnd() { return observer_->waitFor(endOrError(), kWait_ms); }

  private:
    Element pipeline_;
    Element mux_;
    Pad videoPad_;
    std::unique_ptr<BusObserver> observer_;
    bool linked_ = false;
};

struct StreamInfo {
    int frames = -1;
    QString frameRate;
    QString codec;
    int width = 0;
    int height = 0;
};

// Reads the video stream back with an independent reader.
StreamInfo probe(const QString& path) {
    QProcess ffprobe;
    ffprobe.start(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-count_frames"_s, u"-select_streams"_s,
                                 u"v:0"_s, u"-show_entries"_s,
                                 u"stream=nb_read_frames,r_frame_rate,codec_name,width,height"_s,
                                 u"-of"_s, u"json"_s, path});
    StreamInfo info;
    if (!ffprobe.waitForFinished(30000) || ffprobe.exitCode() != 0) {
        ADD_FAILURE() << "ffprobe failed: " << ffprobe.readAllStandardError().constData();
        return info;
    }
    const QJsonArray streams = QJsonDocument::fromJson(ffprobe.readAllStandardOutput())
                                   .object()
                                   .value(u"streams"_s)
                                   .toArray();
    if (streams.isEmpty()) {
        ADD_FAILURE() << "no video stream in " << qPrintable(path);
        return info;
    }
    const QJsonObject stream = streams.first().toObject();
    info.frames = stream.value(u"nb_read_frames"_s).toString().toInt();
    info.frameRate = stream.value(u"r_frame_rate"_s).toString();
    info.codec = stream.value(u"codec_name"_s).toString();
    info.width = stream.value(u"width"_s).toInt();
    info.height = stream.value(u"height"_s).toInt();
    return info;
}

// The first frame of an AVI file as GStreamer decodes it: top-down BGR rows.

void waitForRoom(const PushSource& source) {
    GstAppSrc* appsrc = GST_APP_SRC(source.element());
    for (int i = 0; i < kWait_ms && gst_app_src_get_current_level_buffers(appsrc) >=
                                        guint64(source.maxQueuedFrames());
         ++i) {
        g_usleep(1000);
    }
}

// --- whole recordings ---------------------------------------------------------

struct RateRow {
    int duration_ms;
    int frames;
    const char* frameRate;
};

void PrintTo(const RateRow& row, std::ostream* os) {
    *os << row.duration_ms << " ms";
}

class PushSourceRecording : public ::testing::TestWithParam<RateRow> {};

TEST_P(PushSourceRecording, WritesEveryFrameUprightAtTheFrameRate) {
    const RateRow& row = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"record.avi"_s);
    // An odd width, so that rows carry padding.
    const int width = 62;
    const int height = 46;

    PushSource source(row.duration_ms);
    ASSERT_TRUE(source.element());
    ASSERT_TRUE(source.SetFrameSize(width, height));
    AviRecording recording(source, path);
    ASSERT_TRUE(recording.linked());
    ASSERT_TRUE(recording.play());

    const BITMAPINFOHEADER header = makeFrameHeader(width, height);
    const std::vector<std::uint8_t> pixels = halfWhiteFrame(header);
    for (int i = 0; i < row.frames; ++i) {
        // The program pushes one frame per RecInterval at most; at one frame a
        // second two frames fill the queue, so give the pipeline time to start.
        waitForRoom(source);
        EXPECT_TRUE(source.PushFrame(pixels.data(), header, std::int64_t(row.duration_ms) * 10000));
    }
    ASSERT_TRUE(source.endOfStream());
    const Message end = recording.waitForEnd();
    ASSERT_TRUE(end && GST_MESSAGE_TYPE(end.get()) == GST_MESSAGE_EOS)
        << qPrintable(messageText(end));
    EXPECT_EQ(source.framesPushed(), std::uint64_t(row.frames));
    EXPECT_EQ(source.framesDropped(), 0u);
    EXPECT_EQ(source.pushFailures(), 0u);

    const StreamInfo info = probe(path);
    EXPECT_EQ(info.frames, row.frames);
    EXPECT_EQ(info.frameRate, QString::fromUtf8(row.frameRate));
    EXPECT_EQ(info.codec, u"rawvideo"_s);
    EXPECT_EQ(info.width, width);
    EXPECT_EQ(info.height, height);

    const kv::test::DecodedFrame first = kv::test::decodeFirstFrame(path);
    ASSERT_EQ(first.width, width);
    ASSERT_EQ(first.height, height);
    ASSERT_GE(first.pixels.size(), std::size_t(first.stride * height));
    EXPECT_TRUE(first.rowNear(0, 0xff)) << "top row is not white";
    EXPECT_TRUE(first.rowNear(height / 2 - 1, 0xff)) << "last top-half row is not white";
    EXPECT_TRUE(first.rowNear(height / 2, 0x00)) << "first bottom-half row is not black";
    EXPECT_TRUE(first.rowNear(height - 1, 0x00)) << "bottom row is not black";
}

INSTANTIATE_TEST_SUITE_P(PushSource, PushSourceRecording,
                         ::testing::Values(RateRow{40, 10, "25/1"}, RateRow{1000, 3, "1/1"},
                                           RateRow{30, 4, "100/3"}),
                         [](const ::testing::TestParamInfo<RateRow>& info) {
                             return std::to_string(info.param.duration_ms) + "ms";
                         });

// A top-down frame with an owner goes in as it is, without a copy, and its
// owner is let go of once the file has it; one without is copied.
TEST(PushSource, TopDownFramesGoInAsTheyAreAndOwnedOnesWithoutACopy) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"topdown.avi"_s);
    std::weak_ptr<const void> released;
    {
        PushSource source(40);
        ASSERT_TRUE(source.SetFrameSize(32, 24));
        AviRecording recording(source, path);
        ASSERT_TRUE(recording.linked() && recording.play());

        BITMAPINFOHEADER header = makeFrameHeader(32, 24);
        const auto pixels =
            std::make_shared<const std::vector<std::uint8_t>>(halfWhiteFrame(header));
        header.biHeight = -24;  // white rows last in memory: the bottom of a top-down frame
        released = pixels;
        EXPECT_TRUE(source.PushFrame(pixels->data(), header, 400000, pixels));
        EXPECT_TRUE(source.PushFrame(pixels->data(), header, 400000));
        EXPECT_EQ(source.framesShared(), 1u);
        ASSERT_TRUE(source.endOfStream());
        ASSERT_TRUE(recording.waitForEnd());
    }
    EXPECT_TRUE(released.expired());

    const kv::test::DecodedFrame first = kv::test::decodeFirstFrame(path);
    ASSERT_EQ(first.height, 24);
    EXPECT_TRUE(first.rowNear(0, 0x00));
    EXPECT_TRUE(first.rowNear(23, 0xff));
    EXPECT_EQ(probe(path).frames, 2);
}

// --- a pipeline that falls behind ------------------------------------------

struct SinkCount {
    std::atomic<int> buffers{0};
    std::atomic<int> pooled{0};
    std::atomic<GstClockTime> lastPts{GST_CLOCK_TIME_NONE};
};

void onHandoff(GstElement*, GstBuffer* buffer, GstPad*, gpointer data) {
    auto* count = static_cast<SinkCount*>(data);
    count->buffers.fetch_add(1);
    if (buffer->pool) {  // taken from a pool, not allocated for this frame
        count->pooled.fetch_add(1);
    }
    count->lastPts.store(GST_BUFFER_PTS(buffer));
}

TEST(PushSource, DropsTheNewestFramesBeyondTwoSecondsWithoutWaiting) {
    PushSource source(40);
    ASSERT_TRUE(source.SetFrameSize(32, 24));
    const int queued = source.maxQueuedFrames();
    ASSERT_EQ(queued, 50);  // two seconds at 25 frames per second

    Element pipeline = adopt(gst_pipeline_new(nullptr));
    Element sink = adopt(gst_element_factory_make("fakesink", nullptr));
    g_object_set(sink.get(), "sync", FALSE, "signal-handoffs", TRUE, nullptr);
    SinkCount count;
    g_signal_connect(sink.get(), "handoff", G_CALLBACK(onHandoff), &count);
    gst_bin_add_many(GST_BIN(pipeline.get()), source.element(), sink.get(), nullptr);
    ASSERT_TRUE(gst_element_link(source.element(), sink.get()));
    BusObserver observer(adopt(gst_element_get_bus(pipeline.get())));

    // A paused sink holds the first frame and takes no more: the streaming
    // thread stands still, as behind a stalled encoder.
    gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
    const BITMAPINFOHEADER header = makeFrameHeader(32, 24);
    const std::vector<std::uint8_t> pixels = halfWhiteFrame(header);
    ASSERT_TRUE(source.PushFrame(pixels.data(), header, 400000));
    ASSERT_TRUE(observer.waitFor(GST_MESSAGE_ASYNC_DONE, kWait_ms));

    int accepted = 0;
    for (int i = 0; i < queued + 10; ++i) {
        accepted += source.PushFrame(pixels.data(), header, 400000) ? 1 : 0;
    }
    EXPECT_EQ(accepted, queued);
    EXPECT_EQ(source.framesDropped(), 10u);
    EXPECT_EQ(source.framesPushed(), std::uint64_t(queued + 1));
    EXPECT_EQ(source.pushFailures(), 0u);

    // Once the pipeline moves, what was queued arrives, without gaps in time.
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    ASSERT_TRUE(source.endOfStream());
    const Message end = observer.waitFor(endOrError(), kWait_ms);
    ASSERT_TRUE(end && GST_MESSAGE_TYPE(end.get()) == GST_MESSAGE_EOS)
        << qPrintable(messageText(end));
    EXPECT_EQ(count.buffers.load(), queued + 1);
    EXPECT_EQ(count.pooled.load(), queued + 1);
    EXPECT_EQ(count.lastPts.load(), GstClockTime(queued) * 40 * GST_MSECOND);
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
}

struct BoundRow {
    int duration_ms;
    int width;
    int height;
    int frames;
};

void PrintTo(const BoundRow& row, std::ostream* os) {
    *os << row.duration_ms << " ms " << row.width << "x" << row.height;
}

class PushSourceQueueBound : public ::testing::TestWithParam<BoundRow> {};

TEST_P(PushSourceQueueBound, HoldsAtMostTwoSecondsAndAQuarterGigabyte) {
    const BoundRow& row = GetParam();
    PushSource source(row.duration_ms);
    ASSERT_TRUE(source.SetFrameSize(row.width, row.height));
    EXPECT_EQ(source.maxQueuedFrames(), row.frames);
}

INSTANTIATE_TEST_SUITE_P(PushSource, PushSourceQueueBound,
                         ::testing::Values(BoundRow{40, 320, 240, 50}, BoundRow{1000, 320, 240, 2},
                                           BoundRow{30, 320, 240, 66},
                                           BoundRow{40, 1920, 1080, 43},  // 6.2 MB a frame
                                           BoundRow{40, 4096, 4096, 5}));

// --- refused frames and failed pushes ------------------------------------------

TEST(PushSource, RefusesFramesThatDoNotFitAndCountsThem) {
    PushSource source(40);
    const BITMAPINFOHEADER header = makeFrameHeader(32, 24);
    const std::vector<std::uint8_t> pixels = halfWhiteFrame(header);
    EXPECT_FALSE(source.PushFrame(pixels.data(), header, 400000));  // no frame size yet
    EXPECT_FALSE(source.SetFrameSize(0, 24));
    EXPECT_FALSE(source.SetFrameSize(32, 5000));
    ASSERT_TRUE(source.SetFrameSize(32, 24));

    BITMAPINFOHEADER wider = makeFrameHeader(33, 24);
    BITMAPINFOHEADER deeper = header;
    deeper.biBitCount = 32;
    BITMAPINFOHEADER shortImage = header;
    shortImage.biSizeImage -= 1;
    EXPECT_FALSE(source.PushFrame(nullptr, header, 400000));
    EXPECT_FALSE(source.PushFrame(pixels.data(), wider, 400000));
    EXPECT_FALSE(source.PushFrame(pixels.data(), deeper, 400000));
    EXPECT_FALSE(source.PushFrame(pixels.data(), shortImage, 400000));
    EXPECT_FALSE(source.PushFrame(pixels.data(), header, 0));
    EXPECT_EQ(source.pushFailures(), 6u);
    EXPECT_EQ(source.framesPushed(), 0u);
}

TEST(PushSource, CountsPushesThePipelineDoesNotTake) {
    PushSource source(40);
    ASSERT_TRUE(source.SetFrameSize(32, 24));
    const BITMAPINFOHEADER header = makeFrameHeader(32, 24);
    const std::vector<std::uint8_t> pixels = halfWhiteFrame(header);

    // Not running yet.
    EXPECT_FALSE(source.PushFrame(pixels.data(), header, 400000));
    EXPECT_EQ(source.lastFlowReturn(), GST_FLOW_FLUSHING);
    EXPECT_EQ(source.pushFailures(), 1u);

    Element pipeline = adopt(gst_pipeline_new(nullptr));
    Element sink = adopt(gst_element_factory_make("fakesink", nullptr));
    gst_bin_add_many(GST_BIN(pipeline.get()), source.element(), sink.get(), nullptr);
    ASSERT_TRUE(gst_element_link(source.element(), sink.get()));
    BusObserver observer(adopt(gst_element_get_bus(pipeline.get())));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    EXPECT_TRUE(source.PushFrame(pixels.data(), header, 400000));
    ASSERT_TRUE(source.endOfStream());
    ASSERT_TRUE(observer.waitFor(GST_MESSAGE_EOS, kWait_ms));

    // After the end of the stream.
    EXPECT_FALSE(source.PushFrame(pixels.data(), header, 400000));
    EXPECT_EQ(source.lastFlowReturn(), GST_FLOW_EOS);
    EXPECT_EQ(source.pushFailures(), 2u);
    EXPECT_EQ(source.framesPushed(), 1u);
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
}

GstPadProbeReturn failEveryBuffer(GstPad*, GstPadProbeInfo* info, gpointer) {
    GST_PAD_PROBE_INFO_FLOW_RETURN(info) = GST_FLOW_ERROR;
    return GST_PAD_PROBE_HANDLED;
}

TEST(PushSource, DownstreamFlowErrorEndsThePushes) {
    PushSource source(40);
    ASSERT_TRUE(source.SetFrameSize(32, 24));
    Element pipeline = adopt(gst_pipeline_new(nullptr));
    Element sink = adopt(gst_element_factory_make("fakesink", nullptr));
    g_object_set(sink.get(), "async", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), source.element(), sink.get(), nullptr);
    ASSERT_TRUE(gst_element_link(source.element(), sink.get()));
    // A sink that refuses every frame, as a writer whose disk is gone.
    Pad sinkPad = adopt(gst_element_get_static_pad(sink.get(), "sink"));
    gst_pad_add_probe(sinkPad.get(), GST_PAD_PROBE_TYPE_BUFFER, failEveryBuffer, nullptr, nullptr);
    BusObserver observer(adopt(gst_element_get_bus(pipeline.get())));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);

    const BITMAPINFOHEADER header = makeFrameHeader(32, 24);
    const std::vector<std::uint8_t> pixels = halfWhiteFrame(header);
    EXPECT_TRUE(source.PushFrame(pixels.data(), header, 400000));  // queued, then refused
    ASSERT_TRUE(observer.waitFor(GST_MESSAGE_ERROR, kWait_ms));
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(source.PushFrame(pixels.data(), header, 400000));
    }
    EXPECT_EQ(source.pushFailures(), 5u);
    EXPECT_EQ(source.framesDropped(), 0u);
    // The error, or the end of stream that the source sends after it.
    EXPECT_TRUE(source.lastFlowReturn() == GST_FLOW_ERROR ||
                source.lastFlowReturn() == GST_FLOW_EOS)
        << gst_flow_get_name(source.lastFlowReturn());
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
}

std::atomic<int> g_pushWarnings{0};
QtMessageHandler g_previousHandler = nullptr;

void countPushWarnings(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && context.category &&
        qstrcmp(context.category, "kv.media.push") == 0) {
        g_pushWarnings.fetch_add(1);
    }
    g_previousHandler(type, context, text);
}

TEST(PushSource, WarnsAboutARunOfFailuresOncePerInterval) {
    ManualClock clock;
    clock.setTick(1000);
    PushSource source(40, clock);
    ASSERT_TRUE(source.SetFrameSize(32, 24));
    const BITMAPINFOHEADER header = makeFrameHeader(32, 24);
    const std::vector<std::uint8_t> pixels = halfWhiteFrame(header);

    g_pushWarnings = 0;
    g_previousHandler = qInstallMessageHandler(countPushWarnings);
    for (int i = 0; i < 200; ++i) {
        source.PushFrame(pixels.data(), header, 400000);  // not running: each one fails
        clock.advance(40);
    }
    const int afterRun = g_pushWarnings.load();
    clock.advance(10000);
    source.PushFrame(pixels.data(), header, 400000);
    const int afterPause = g_pushWarnings.load();
    qInstallMessageHandler(g_previousHandler);

    EXPECT_EQ(source.pushFailures(), 201u);
    EXPECT_EQ(afterRun, 1);  // 8 s of failures, one warning
    EXPECT_EQ(afterPause, 2);
}

}  // namespace

#include "media/compressors.h"
#include "media/device_catalogue.h"
#include "media/uri_camera.h"

#include <gst/app/gstappsink.h>

#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <future>

#include <gtest/gtest.h>

using namespace kv::media;
using namespace Qt::StringLiterals;

namespace {

constexpr auto kCameras = DeviceCategory::CLSID_VideoInputDeviceCategory;
constexpr auto kCompressors = DeviceCategory::CLSID_VideoCompressorCategory;

QStringList names(DeviceCategory category) {
    QStringList list;
    ListDeviceNames(category, list);
    return list;
}

Element bind(DeviceCategory category, const QString& name, int index) {
    Element filter;
    FindDeviceFilter(category, name, index, filter);
    return filter;
}

QStringList formatLines(GstElement* camera) {
    QStringList lines;
    for (const VideoInfoCapability& capability : CaptureCapabilities(camera)) {
        lines.append(FormatLine(capability));
    }
    return lines;
}

// Real cameras, if this machine has any, come before the URI cameras.
int realCameraCount() {
    clearUriCameras();
    return int(names(kCameras).size());
}

class UriCameras : public ::testing::Test {
  protected:
    void SetUp() override { real_ = realCameraCount(); }
    void TearDown() override { clearUriCameras(); }
    int real_ = 0;
};

// --- selection

class CameraSelection : public UriCameras {
  protected:
    void SetUp() override {
        UriCameras::SetUp();
        setCommandLineCameras({{u"Cam"_s, u"test:ball?width=320&height=240"_s},
                               {u"Cam"_s, u"test:smpte"_s},
                               {u"Other"_s, u"test:snow?width=160&height=120"_s}});
    }
    // The native width tells the three cameras apart; 0 = nothing bound.
    int boundWidth(const QString& name, int index) {
        Element camera = bind(kCameras, name, index);
        if (!camera) {
            return 0;
        }
        const auto capabilities = CaptureCapabilities(camera.get());
        return capabilities.isEmpty() ? -1 : capabilities.first().width;
    }
};

TEST_F(CameraSelection, ChoosesByPositionOrExactNameAsTheRulesSay) {
    struct Row {
        const char* name;
        int index;  // positions count from the first URI camera
        int width;
    } const rows[] = {
        {"Cam", -1, 320},   {"whatever", 1, 640}, {"Cam", 1, 640}, {"", 2, 160},
        {"Other", -1, 160}, {"Other", 0, 320},    {"Cam", 3, 0},   {"Cam", 5, 0},
        {"Cam", -2, 0},     {"", -2, 0},          {"cam", -1, 0},  {"OTHER", -1, 0},
        {"Nobody", -1, 0},  {"Cam ", -1, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << '"' << row.name << "\" index " << row.index);
        const int index = row.index >= 0 ? row.index + real_ : row.index;
        EXPECT_EQ(boundWidth(QString::fromUtf8(row.name), index), row.width);
    }
}

TEST_F(CameraSelection, EmptyNameWithoutIndexBindsTheFirstCamera) {
    Element camera = bind(kCameras, QString(), -1);
    ASSERT_TRUE(camera);
    if (real_ == 0) {
        EXPECT_EQ(CaptureCapabilities(camera.get()).first().width, 320);
    }
}

TEST_F(CameraSelection, ListHoldsOneEntryPerCameraHoweverOftenItIsFilled) {
    QStringList list{u"left over"_s};
    ListDeviceNames(kCameras, list);
    ListDeviceNames(kCameras, list);
    ASSERT_EQ(list.size(), real_ + 3);
    EXPECT_EQ(list.mid(real_), (QStringList{u"Cam"_s, u"Cam"_s, u"Other"_s}));
}

TEST_F(UriCameras, NamelessCameraIsListedAndFoundByItsPlaceholder) {
    setCommandLineCameras({{u"First"_s, u"test:ball"_s}, {QString(), u"test:snow"_s}});
    const QStringList list = names(kCameras);
    ASSERT_EQ(list.size(), real_ + 2);
    const QString placeholder = QStringLiteral("Camera %1").arg(real_ + 2);
    EXPECT_EQ(list.last(), placeholder);
    EXPECT_TRUE(bind(kCameras, placeholder, -1));
    EXPECT_FALSE(bind(kCameras, placeholder.toLower(), -1));
}

TEST_F(UriCameras, NothingIsBoundWithoutCameras) {
    if (real_ > 0) {
        GTEST_SKIP() << "this machine has a camera";
    }
    EXPECT_TRUE(names(kCameras).isEmpty());
    for (int index : {-2, -1, 0, 1}) {
        EXPECT_FALSE(bind(kCameras, QString(), index));
        EXPECT_FALSE(bind(kCameras, u"Cam"_s, index));
    }
}

// --- registry

TEST(CameraArgument, SplitsAtTheFirstEqualsSign) {
    struct Row {
        const char* argument;
        bool ok;
        const char* name;
        const char* uri;
    } const rows[] = {
        {"Desk=test:ball", true, "Desk", "test:ball"},
        {"Door = rtsp://cam/live?user=a&x=1", true, "Door", "rtsp://cam/live?user=a&x=1"},
        {"=test:snow", true, "", "test:snow"},
        {"no equals sign", false, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.argument);
        QPair<QString, QString> camera;
        ASSERT_EQ(parseCameraArgument(QString::fromUtf8(row.argument), camera), row.ok);
        if (row.ok) {
            EXPECT_EQ(camera.first, QString::fromUtf8(row.name));
            EXPECT_EQ(camera.second, QString::fromUtf8(row.uri));
        }
    }
}

class CameraSettings : public UriCameras {
  protected:
    QString writeSettings(const char* text) {
        const QString path = dir_.filePath(u"Kestrelvision.conf"_s);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        return path;
    }
    QStringList uriNames() {
        QStringList list;
        for (const UriCamera& camera : uriCameras()) {
            list.append(camera.name + u'=' + camera.uri);
        }
        return list;
    }
    QTemporaryDir dir_;
};

TEST_F(CameraSettings, CommandLineFirstThenConfiguredInTheirOrder) {
    setCommandLineCameras({{u"Zed"_s, u"test:ball"_s}, {u"Broken"_s, u"no uri"_s}});
    loadConfiguredCameras(
        writeSettings("[General]\nRecInterval=40\n"
                      "[Cameras]\n"
                      "Order=Beta, Alpha, Ghost\n"
                      "Alpha=test:smpte\n"
                      "Beta=test:snow\n"
                      "Clip=file:///tmp/a,b.avi\n"
                      "Gopher=gopher://example.org/\n"
                      "Bad=test:ball?width=2\n"));
    EXPECT_EQ(uriNames(), (QStringList{u"Zed=test:ball"_s, u"Beta=test:snow"_s,
                                       u"Alpha=test:smpte"_s, u"Clip=file:///tmp/a,b.avi"_s}));
    const QStringList list = names(kCameras);
    EXPECT_EQ(list.mid(real_), (QStringList{u"Zed"_s, u"Beta"_s, u"Alpha"_s, u"Clip"_s}));
}

TEST_F(CameraSettings, WithoutOrderConfiguredCamerasGoByName) {
    loadConfiguredCameras(
        writeSettings("[Cameras]\n"
                      "garden=test:ball\n"
                      "Door=test:snow\n"
                      "attic=test:smpte\n"));
    EXPECT_EQ(uriNames(),
              (QStringList{u"attic=test:smpte"_s, u"Door=test:snow"_s, u"garden=test:ball"_s}));
    // Loading again replaces the configured cameras; a missing file leaves none.
    loadConfiguredCameras(dir_.filePath(u"missing.conf"_s));
    EXPECT_TRUE(uriCameras().isEmpty());
}

// --- capabilities

TEST(CaptureCapabilities, OnePerFixedSizeAndFormatInCapsOrder) {
    Caps caps = adopt(
        gst_caps_from_string("video/x-raw, format=YUY2, width=640, height=480, framerate=30/1; "
                             "video/x-raw, format=YUY2, width=640, height=480, framerate=15/1; "
                             "image/jpeg, width=1280, height=720, framerate={30/1, 15/1}; "
                             "video/x-raw, format=BGR, width=[16, 4096], height=[16, 4096]; "
                             "video/x-raw, format=BGRx, width=320, height=240; "
                             "video/x-raw, format=BGR, width=320, height=240; "
                             "video/x-raw, format=I420, width=320, height=240; "
                             "video/x-raw(memory:DMABuf), format=NV12, width=800, height=600; "
                             "video/x-h264, width=1920, height=1080; "
                             "video/x-raw, format=NV12, width=160, height=120; "
                             "video/x-raw, format={UYVY, YUY2}, width=176, height=144; "
                             "video/x-raw, format=YUY2, width=640, height=480"));
    ASSERT_TRUE(caps);
    QStringList lines;
    for (const VideoInfoCapability& capability : CaptureCapabilities(caps.get())) {
        lines.append(FormatLine(capability));
        EXPECT_EQ(gst_caps_get_size(capability.caps.get()), 1u);
    }
    EXPECT_EQ(lines, (QStringList{u"640 x 480  YUY2/16 Bit"_s, u"1280 x 720  MJPG/24 Bit"_s,
                                  u"320 x 240  RGB/32 Bit"_s, u"320 x 240  RGB/24 Bit"_s,
                                  u"320 x 240  I420/12 Bit"_s, u"160 x 120  NV12/12 Bit"_s,
                                  u"176 x 144  UYVY/16 Bit"_s}));
    const auto capabilities = CaptureCapabilities(caps.get());
    EXPECT_EQ(capabilities[0].compression, makeFourCC('Y', 'U', 'Y', '2'));
    EXPECT_EQ(capabilities[2].compression, 0u);
    EXPECT_STREQ(
        gst_structure_get_string(gst_caps_get_structure(capabilities[6].caps.get(), 0), "format"),
        "UYVY");
}

TEST(CaptureCapabilities, NoneForEmptyOrUnsizedCaps) {
    Caps any = adopt(gst_caps_new_any());
    Caps ranges = adopt(gst_caps_from_string("video/x-raw, width=[1, 100], height=480"));
    EXPECT_TRUE(CaptureCapabilities(any.get()).isEmpty());
    EXPECT_TRUE(CaptureCapabilities(ranges.get()).isEmpty());
    EXPECT_TRUE(CaptureCapabilities(static_cast<GstCaps*>(nullptr)).isEmpty());
}

TEST(FormatLine, SizeCodeAndBitCount) {
    struct Row {
        int width, height;
        quint32 compression;
        int bitCount;
        const char* line;
    } const rows[] = {
        {640, 480, 0, 24, "640 x 480  RGB/24 Bit"},
        {320, 240, makeFourCC('Y', 'U', 'Y', '2'), 16, "320 x 240  YUY2/16 Bit"},
        {160, -120, makeFourCC('M', 'J', 'P', 'G'), 24, "160 x -120  MJPG/24 Bit"},
        {8, 8, 3, 16, "8 x 8  \x03/16 Bit"},
        {8, 8, makeFourCC('A', 'B', 0, 'D'), 12, "8 x 8  AB/12 Bit"},
    };
    for (const Row& row : rows) {
        VideoInfoCapability capability{row.width, row.height, row.compression, row.bitCount, {}};
        EXPECT_EQ(FormatLine(capability), QString::fromUtf8(row.line));
    }
}

TEST_F(UriCameras, TestCamerasOfferTheirSizeAndSmallerOnes) {
    struct Row {
        const char* uri;
        QStringList lines;
    } const rows[] = {
        {"test:ball",
         {u"640 x 480  YUY2/16 Bit"_s, u"640 x 480  RGB/24 Bit"_s, u"320 x 240  YUY2/16 Bit"_s,
          u"320 x 240  RGB/24 Bit"_s, u"160 x 120  YUY2/16 Bit"_s, u"160 x 120  RGB/24 Bit"_s}},
        {"test:smpte?width=800&height=600",
         {u"800 x 600  YUY2/16 Bit"_s, u"800 x 600  RGB/24 Bit"_s, u"640 x 480  YUY2/16 Bit"_s,
          u"640 x 480  RGB/24 Bit"_s, u"320 x 240  YUY2/16 Bit"_s, u"320 x 240  RGB/24 Bit"_s,
          u"160 x 120  YUY2/16 Bit"_s, u"160 x 120  RGB/24 Bit"_s}},
        {"test:snow?width=160&height=120",
         {u"160 x 120  YUY2/16 Bit"_s, u"160 x 120  RGB/24 Bit"_s}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.uri);
        setCommandLineCameras({{u"T"_s, QString::fromUtf8(row.uri)}});
        Element camera = bind(kCameras, u"T"_s, -1);
        ASSERT_TRUE(camera);
        EXPECT_EQ(formatLines(camera.get()), row.lines);
    }
}

TEST_F(UriCameras, CaptureFormatIsFixedAndOnlyWithinTheCapabilities) {
    setCommandLineCameras({{u"T"_s, u"test:ball"_s}});
    Element camera = bind(kCameras, u"T"_s, -1);
    ASSERT_TRUE(camera);
    Caps first = CaptureFormatCaps(camera.get(), -3);
    ASSERT_TRUE(first);
    EXPECT_TRUE(gst_caps_is_fixed(first.get()));
    Caps expected = adopt(
        gst_caps_from_string("video/x-raw, format=YUY2, width=640, height=480, framerate=30/1"));
    EXPECT_TRUE(gst_caps_is_equal(first.get(), expected.get()));
    EXPECT_TRUE(CaptureFormatCaps(camera.get(), 5));
    EXPECT_FALSE(CaptureFormatCaps(camera.get(), 6));

    Element capsfilter = adopt(gst_element_factory_make("capsfilter", nullptr));
    Caps kept = adopt(gst_caps_from_string("video/x-raw, width=8, height=8"));
    g_object_set(capsfilter.get(), "caps", kept.get(), nullptr);
    EXPECT_FALSE(ApplyCaptureFormat(capsfilter.get(), camera.get(), 6));
    GstCaps* raw = nullptr;
    g_object_get(capsfilter.get(), "caps", &raw, nullptr);
    Caps now = adopt(raw);
    EXPECT_TRUE(gst_caps_is_equal(now.get(), kept.get()));
}

// --- cameras in a pipeline

struct Pulled {
    int width = 0;
    int height = 0;
    QList<GstClockTime> pts;
};

// camera ! capsfilter(capability) ! videoconvert ! appsink, pulling count frames.
Pulled pullFrames(Element camera, int position, int count) {
    Pulled pulled;
    Element pipeline = adopt(gst_pipeline_new(nullptr));
    Element capsfilter = adopt(gst_element_factory_make("capsfilter", nullptr));
    Element convert = adopt(gst_element_factory_make("videoconvert", nullptr));
    Element sink = adopt(gst_element_factory_make("appsink", nullptr));
    EXPECT_TRUE(ApplyCaptureFormat(capsfilter.get(), camera.get(), position));
    Caps bgr = adopt(gst_caps_from_string("video/x-raw, format=BGR"));
    g_object_set(sink.get(), "caps", bgr.get(), "sync", FALSE, nullptr);
    for (GstElement* e : {camera.get(), capsfilter.get(), convert.get(), sink.get()}) {
        gst_bin_add(GST_BIN(pipeline.get()), e);
    }
    EXPECT_TRUE(
        gst_element_link_many(camera.get(), capsfilter.get(), convert.get(), sink.get(), nullptr));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    for (int i = 0; i < count; ++i) {
        Sample sample =
            adopt(gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), 10 * GST_SECOND));
        if (!sample) {
            Bus bus = adopt(gst_element_get_bus(pipeline.get()));
            Message error = adopt(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
            GError* raw = nullptr;
            if (error) {
                gst_message_parse_error(error.get(), &raw, nullptr);
            }
            Error e = adopt(raw);
            ADD_FAILURE() << "no frame " << i << ": " << (e ? e->message : "time-out");
            break;
        }
        const GstStructure* s = gst_caps_get_structure(gst_sample_get_caps(sample.get()), 0);
        gst_structure_get_int(s, "width", &pulled.width);
        gst_structure_get_int(s, "height", &pulled.height);
        pulled.pts.append(GST_BUFFER_PTS(gst_sample_get_buffer(sample.get())));
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return pulled;
}

TEST_F(UriCameras, TestCameraDeliversTheChosenSize) {
    setCommandLineCameras({{u"T"_s, u"test:ball"_s}, {u"Odd"_s, u"test:no-such-pattern"_s}});
    Pulled small = pullFrames(bind(kCameras, u"T"_s, -1), 2, 3);
    EXPECT_EQ(small.width, 320);
    EXPECT_EQ(small.height, 240);
    Pulled native = pullFrames(bind(kCameras, u"T"_s, -1), 1, 1);
    EXPECT_EQ(native.width, 640);
    EXPECT_EQ(native.height, 480);
    // An unknown pattern still gives a picture (the default one).
    Pulled odd = pullFrames(bind(kCameras, u"Odd"_s, -1), 0, 1);
    EXPECT_EQ(odd.width, 640);
}

class FileCamera : public UriCameras {
  protected:
    void SetUp() override {
        UriCameras::SetUp();
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath(u"clip.avi"_s);
        soundPath_ = dir_.filePath(u"sound.avi"_s);
        const char* video =
            "videotestsrc num-buffers=8 pattern=ball ! "
            "video/x-raw,width=320,height=240,framerate=25/1 ! jpegenc ! mux. ";
        makeClip(QString::fromUtf8(video), path_);
        makeClip(QString::fromUtf8(video) +
                     u"audiotestsrc num-buffers=4 samplesperbuffer=800 ! audio/x-raw,rate=8000 ! "
                     "mux. "_s,
                 soundPath_);
    }
    void makeClip(const QString& streams, const QString& path) {
        const QString launch =
            streams + QStringLiteral("avimux name=mux ! filesink location=\"%1\"").arg(path);
        Element pipeline = adopt(gst_parse_launch(launch.toUtf8().constData(), nullptr));
        ASSERT_TRUE(pipeline);
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
        Bus bus = adopt(gst_element_get_bus(pipeline.get()));
        Message end = adopt(gst_bus_timed_pop_filtered(
            bus.get(), 10 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        ASSERT_TRUE(end && GST_MESSAGE_TYPE(end.get()) == GST_MESSAGE_EOS);
    }
    static void expectLoops(const Pulled& pulled, int count) {
        ASSERT_EQ(pulled.pts.size(), count);
        for (int i = 1; i < count; ++i) {
            EXPECT_GT(pulled.pts[i], pulled.pts[i - 1]) << "frame " << i;
        }
        // Timestamps run on across the passes instead of starting again.
        EXPECT_GE(pulled.pts.last() - pulled.pts.first(), (count - 1) * GST_SECOND / 25);
    }
    static constexpr int kFrames = 8;
    static constexpr int kCloseRounds = 40;
    QTemporaryDir dir_;
    QString path_;
    QString soundPath_;
};

TEST_F(FileCamera, OffersItsSizeAndSmallerByUriOrPath) {
    const QStringList expected{u"320 x 240  YUY2/16 Bit"_s, u"320 x 240  RGB/24 Bit"_s,
                               u"160 x 120  YUY2/16 Bit"_s, u"160 x 120  RGB/24 Bit"_s};
    setCommandLineCameras({{u"Clip"_s, QUrl::fromLocalFile(path_).toString()}, {u"Path"_s, path_}});
    Element byUri = bind(kCameras, u"Clip"_s, -1);
    Element byPath = bind(kCameras, u"Path"_s, -1);
    ASSERT_TRUE(byUri && byPath);
    EXPECT_EQ(formatLines(byUri.get()), expected);
    EXPECT_EQ(formatLines(byPath.get()), expected);
    Caps chosen = CaptureFormatCaps(byUri.get(), 0);
    Caps rate = adopt(gst_caps_from_string("video/x-raw, framerate=25/1"));
    EXPECT_TRUE(gst_caps_is_subset(chosen.get(), rate.get()));
}

TEST_F(FileCamera, PlaysInALoopAtTheChosenSize) {
    setCommandLineCameras({{u"Clip"_s, QUrl::fromLocalFile(path_).toString()}});
    const int count = 3 * kFrames;
    Pulled pulled = pullFrames(bind(kCameras, u"Clip"_s, -1), 2, count);
    EXPECT_EQ(pulled.width, 160);
    EXPECT_EQ(pulled.height, 120);
    expectLoops(pulled, count);
}

TEST_F(FileCamera, FileWithSoundLoopsItsPicture) {
    setCommandLineCameras({{u"Sound"_s, soundPath_}});
    Element camera = bind(kCameras, u"Sound"_s, -1);
    ASSERT_EQ(CaptureCapabilities(camera.get()).size(), 4);
    const int count = 2 * kFrames + 2;
    Pulled pulled = pullFrames(std::move(camera), 1, count);
    EXPECT_EQ(pulled.width, 320);
    expectLoops(pulled, count);
}

// camera ! fakesink, counting the frames that arrive.
class CountingPipeline {
  public:
    explicit CountingPipeline(GstElement* camera) {
        gst_bin_add_many(GST_BIN(pipeline_.get()), camera, sink_.get(), nullptr);
        g_object_set(sink_.get(), "sync", FALSE, nullptr);
        linked_ = gst_element_link(camera, sink_.get());
        Pad pad = adopt(gst_element_get_static_pad(sink_.get(), "sink"));
        gst_pad_add_probe(
            pad.get(), GST_PAD_PROBE_TYPE_BUFFER,
            [](GstPad*, GstPadProbeInfo*, gpointer count) {
                ++*static_cast<std::atomic<int>*>(count);
                return GST_PAD_PROBE_OK;
            },
            &frames_, nullptr);
    }
    ~CountingPipeline() { gst_element_set_state(pipeline_.get(), GST_STATE_NULL); }
    bool linked() const { return linked_; }
    void play() {
        frames_ = 0;
        gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
    }
    void stop() { gst_element_set_state(pipeline_.get(), GST_STATE_NULL); }
    int frames() const { return frames_; }
    bool waitForFrames(int count) {
        for (int waited_ms = 0; waited_ms < 10000 && frames_ < count; waited_ms += 10) {
            QThread::msleep(10);
        }
        return frames_ >= count;
    }
    bool waitForEnd() {
        Bus bus = adopt(gst_element_get_bus(pipeline_.get()));
        Message end = adopt(gst_bus_timed_pop_filtered(
            bus.get(), 10 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        return end && GST_MESSAGE_TYPE(end.get()) == GST_MESSAGE_EOS;
    }

  private:
    Element pipeline_ = adopt(gst_pipeline_new(nullptr));
    Element sink_ = adopt(gst_element_factory_make("fakesink", nullptr));
    std::atomic<int> frames_ = 0;
    bool linked_ = false;
};

// A clip of two frames ends every 40 ms, so closing the camera often meets its
// seek back to the start: that must neither crash nor hang.
TEST_F(FileCamera, ClosingAShortLoopAtAnyMomentIsSafe) {
    const QString shortPath = dir_.filePath(u"short.avi"_s);
    makeClip(
        u"videotestsrc num-buffers=2 pattern=ball ! "
        "video/x-raw,width=160,height=120,framerate=50/1 ! jpegenc ! mux. "_s,
        shortPath);
    setCommandLineCameras({{u"Short"_s, shortPath}});
    int mostFrames = 0;
    for (int round = 0; round < kCloseRounds; ++round) {
        Element camera = bind(kCameras, u"Short"_s, -1);
        ASSERT_TRUE(camera);
        CountingPipeline pipeline(camera.get());
        ASSERT_TRUE(pipeline.linked());
        pipeline.play();
        // Moments spread over several passes and off the frame grid.
        QThread::msleep(round * 37 % 300);
        pipeline.stop();
        mostFrames = std::max(mostFrames, pipeline.frames());
    }
    EXPECT_GT(mostFrames, 2) << "the clip never looped";
}

TEST_F(FileCamera, StoppedLoopEndsAndARestartLoopsAgain) {
    setCommandLineCameras({{u"Clip"_s, path_}});
    Element camera = bind(kCameras, u"Clip"_s, -1);
    ASSERT_TRUE(camera);
    CountingPipeline pipeline(camera.get());
    ASSERT_TRUE(pipeline.linked());
    pipeline.play();
    ASSERT_TRUE(pipeline.waitForFrames(kFrames + 1));
    stopUriCamera(camera.get());
    const int atStop = pipeline.frames();
    EXPECT_TRUE(pipeline.waitForEnd());
    EXPECT_LE(pipeline.frames(), atStop + kFrames);  // no further pass
    pipeline.stop();
    pipeline.play();
    EXPECT_TRUE(pipeline.waitForFrames(2 * kFrames + 1));
}

TEST_F(UriCameras, StoppingAnythingButAFileCameraDoesNothing) {
    setCommandLineCameras({{u"T"_s, u"test:ball"_s}});
    stopUriCamera(nullptr);
    Element source = adopt(gst_element_factory_make("videotestsrc", nullptr));
    stopUriCamera(source.get());
    Element camera = bind(kCameras, u"T"_s, -1);
    ASSERT_TRUE(camera);
    stopUriCamera(camera.get());
    EXPECT_EQ(pullFrames(std::move(camera), 0, 3).pts.size(), 3);
}

TEST_F(FileCamera, MissingFileIsBoundWithoutCapabilities) {
    setCommandLineCameras({{u"Gone"_s, QUrl::fromLocalFile(path_ + u".old"_s).toString()}});
    Element camera = bind(kCameras, u"Gone"_s, -1);
    ASSERT_TRUE(camera);
    EXPECT_TRUE(CaptureCapabilities(camera.get()).isEmpty());
    Element capsfilter = adopt(gst_element_factory_make("capsfilter", nullptr));
    EXPECT_FALSE(ApplyCaptureFormat(capsfilter.get(), camera.get(), 0));
}

// A network camera as many are: MJPEG over HTTP, one JPEG part every 40 ms.
class MjpegServer : public QThread {
  public:
    explicit MjpegServer(QByteArray jpeg) : jpeg_(std::move(jpeg)) { start(); }
    ~MjpegServer() override {
        quit();
        wait();
    }
    QString url() { return QStringLiteral("http://127.0.0.1:%1/video.mjpg").arg(port_.get()); }

  protected:
    void run() override {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        port_promise_.set_value(server.serverPort());
        QList<QTcpSocket*> clients;
        QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
            while (QTcpSocket* client = server.nextPendingConnection()) {
                QObject::connect(client, &QTcpSocket::readyRead, client, [client, &clients] {
                    client->readAll();
                    if (!clients.contains(client)) {
                        client->write(
                            "HTTP/1.0 200 OK\r\nContent-Type: "
                            "multipart/x-mixed-replace; boundary=frame\r\n\r\n");
                        clients.append(client);
                    }
                });
            }
        });
        const QByteArray part = "--frame\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                QByteArray::number(jpeg_.size()) + "\r\n\r\n" + jpeg_ + "\r\n";
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, &server, [&] {
            for (QTcpSocket* client : clients) {
                client->write(part);
            }
        });
        timer.start(40);
        exec();
    }

  private:
    QByteArray jpeg_;
    std::promise<quint16> port_promise_;
    std::shared_future<quint16> port_ = port_promise_.get_future().share();
};

QByteArray jpegPicture(int width, int height) {
    const QString launch = QStringLiteral(
                               "videotestsrc num-buffers=1 ! video/x-raw,width=%1,height=%2 ! "
                               "jpegenc ! appsink name=out")
                               .arg(width)
                               .arg(height);
    Element pipeline = adopt(gst_parse_launch(launch.toUtf8().constData(), nullptr));
    Element sink = adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "out"));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    Sample sample = adopt(gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), 5 * GST_SECOND));
    QByteArray bytes;
    if (sample) {
        GstMapInfo map;
        GstBuffer* buffer = gst_sample_get_buffer(sample.get());
        gst_buffer_map(buffer, &map, GST_MAP_READ);
        bytes = QByteArray(reinterpret_cast<const char*>(map.data), qsizetype(map.size));
        gst_buffer_unmap(buffer, &map);
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return bytes;
}

TEST_F(UriCameras, HttpMjpegCameraDeliversTheChosenSize) {
    const QByteArray jpeg = jpegPicture(320, 240);
    ASSERT_FALSE(jpeg.isEmpty());
    MjpegServer server(jpeg);
    setCommandLineCameras({{u"Door"_s, server.url()}});
    // The first binding offers only what the camera sends: its size is
    // learned in the background, never waited for.
    Element camera = bind(kCameras, u"Door"_s, -1);
    ASSERT_TRUE(camera);
    QElapsedTimer waited;
    waited.start();
    while (formatLines(camera.get()).isEmpty() && waited.elapsed() < 5000) {
        QThread::msleep(50);
        camera = bind(kCameras, u"Door"_s, -1);
        ASSERT_TRUE(camera);
    }
    EXPECT_EQ(formatLines(camera.get()),
              (QStringList{u"320 x 240  YUY2/16 Bit"_s, u"320 x 240  RGB/24 Bit"_s,
                           u"160 x 120  YUY2/16 Bit"_s, u"160 x 120  RGB/24 Bit"_s}));
    Pulled pulled = pullFrames(std::move(camera), 2, 3);
    EXPECT_EQ(pulled.width, 160);
    EXPECT_EQ(pulled.height, 120);
}

// --- compressors

QString factoryOf(GstElement* element) {
    return QString::fromUtf8(gst_plugin_feature_get_name(gst_element_get_factory(element)));
}

TEST(Compressors, ListsInstalledEncodersInTableOrder) {
    const char* const table[][2] = {{"MJPEG Compressor", "kvjpegenc"},
                                    {"Huffyuv Lossless Compressor", "avenc_huffyuv"},
                                    {"PNG Lossless Compressor", "pngenc"},
                                    {"MPEG-4 Compressor", "avenc_mpeg4"},
                                    {"MS-MPEG-4 V3 Compressor", "avenc_msmpeg4"},
                                    {"H.264 Compressor", "x264enc"},
                                    {"VP8 Compressor", "vp8enc"},
                                    {"Not an encoder", "no_such_encoder"}};
    QStringList expected;
    QStringList factories;
    for (const auto& [name, factory] : table) {
        if (Handle<GstElementFactory> f = adopt(gst_element_factory_find(factory))) {
            expected.append(QString::fromUtf8(name));
            factories.append(QString::fromUtf8(factory));
        }
    }
    ASSERT_FALSE(expected.isEmpty());
    QStringList list{u"stale"_s};
    ListDeviceNames(kCompressors, list);
    EXPECT_EQ(list, expected);
    for (int i = 0; i < expected.size(); ++i) {
        Element encoder = bind(kCompressors, u"ignored"_s, i);
        ASSERT_TRUE(encoder);
        EXPECT_EQ(factoryOf(encoder.get()), factories[i]);
    }
    EXPECT_FALSE(bind(kCompressors, QString(), int(expected.size())));
    EXPECT_FALSE(bind(kCompressors, u"mjpeg compressor"_s, -1));
    Element first = bind(kCompressors, QString(), -1);
    ASSERT_TRUE(first);
    EXPECT_EQ(factoryOf(first.get()), factories.first());
    Element named = bind(kCompressors, expected.last(), -1);
    ASSERT_TRUE(named);
    EXPECT_EQ(factoryOf(named.get()), factories.last());
}

double numberProperty(GstElement* element, const char* name) {
    GValue value = G_VALUE_INIT;
    g_object_get_property(G_OBJECT(element), name, &value);
    GValue asDouble = G_VALUE_INIT;
    g_value_init(&asDouble, G_TYPE_DOUBLE);
    const bool ok = g_value_transform(&value, &asDouble);
    const double result = ok ? g_value_get_double(&asDouble) : -1;
    g_value_unset(&value);
    g_value_unset(&asDouble);
    return result;
}

QString enumNick(GstElement* element, const char* name) {
    GValue value = G_VALUE_INIT;
    g_object_get_property(G_OBJECT(element), name, &value);
    GEnumValue* entry = g_enum_get_value(G_ENUM_CLASS(g_type_class_peek(G_VALUE_TYPE(&value))),
                                         g_value_get_enum(&value));
    g_value_unset(&value);
    return entry ? QString::fromUtf8(entry->value_nick) : QString();
}

TEST(Compressors, QualityAndKeyFrameRateReachTheEncoder) {
    struct Row {
        const char* compressor;
        double quality;
        int keyFrameRate;
        const char* property;
        double value;
    } const rows[] = {
        {"MJPEG Compressor", 0.29, 10, "quality", 29},
        {"MJPEG Compressor", 1.0, 10, "quality", 100},
        {"MJPEG Compressor", -0.5, 10, "quality", 0},
        // One quantizer for every frame, and the Lagrange factor held to it.
        {"MPEG-4 Compressor", 1.0, 10, "qmin", 2},
        {"MPEG-4 Compressor", 1.0, 10, "qmax", 2},
        {"MPEG-4 Compressor", 1.0, 10, "lmin", 2 * 118},
        {"MPEG-4 Compressor", 1.0, 10, "lmax", 2 * 118},
        {"MPEG-4 Compressor", 0.95, 10, "qmax", 3},
        {"MPEG-4 Compressor", 0.8, 10, "qmin", 6},
        {"MPEG-4 Compressor", 0.8, 10, "qmax", 6},
        {"MPEG-4 Compressor", 0.8, 10, "lmin", 6 * 118},
        {"MPEG-4 Compressor", 0.8, 10, "lmax", 6 * 118},
        {"MPEG-4 Compressor", 0.5, 10, "qmax", 10},
        {"MPEG-4 Compressor", 0.5, 10, "lmax", 10 * 118},
        {"MPEG-4 Compressor", 0.0, 10, "qmin", 31},
        {"MPEG-4 Compressor", 0.0, 10, "lmax", 31 * 118},
        // Predicted frames at the same quantizer as key frames.
        {"MS-MPEG-4 V3 Compressor", 0.8, 10, "qmin", 8},
        {"MS-MPEG-4 V3 Compressor", 0.8, 10, "qmax", 8},
        {"MPEG-4 Compressor", 0.8, 15, "gop-size", 15},
        {"MPEG-4 Compressor", 0.8, 0, "gop-size", 12},  // encoder default kept
        {"MS-MPEG-4 V3 Compressor", 0.8, 10, "quantizer", 8},
        {"MS-MPEG-4 V3 Compressor", 0.8, 25, "gop-size", 25},
        {"H.264 Compressor", 1.0, 10, "quantizer", 16},
        {"H.264 Compressor", 0.5, 10, "quantizer", 34},
        {"H.264 Compressor", 0.0, 10, "quantizer", 50},  // the encoder's limit
        {"H.264 Compressor", 0.8, 25, "key-int-max", 25},
        {"VP8 Compressor", 1.0, 10, "cq-level", 4},
        {"VP8 Compressor", 0.0, 10, "cq-level", 63},
        // Key frames at the same quantizer as predicted ones.
        {"VP8 Compressor", 0.8, 10, "min-quantizer", 12},
        {"VP8 Compressor", 0.8, 10, "max-quantizer", 12},
        {"VP8 Compressor", 0.8, 10, "cq-level", 12},
        {"VP8 Compressor", 0.5, 10, "max-quantizer", 30},
        {"VP8 Compressor", 0.8, 30, "keyframe-max-dist", 30},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << row.compressor << " q=" << row.quality << " " << row.property);
        Element encoder = createCompressor(QString::fromUtf8(row.compressor));
        if (!encoder) {
            continue;  // not installed here
        }
        ApplyCompression(encoder.get(), QString::fromUtf8(row.compressor), row.quality,
                         row.keyFrameRate);
        EXPECT_DOUBLE_EQ(numberProperty(encoder.get(), row.property), row.value);
    }
    struct Mode {
        const char* compressor;
        const char* property;
        const char* nick;
    } const modes[] = {{"MPEG-4 Compressor", "pass", "cbr"},
                       {"MS-MPEG-4 V3 Compressor", "pass", "quant"},
                       {"H.264 Compressor", "pass", "quant"},
                       {"VP8 Compressor", "end-usage", "cq"}};
    for (const Mode& mode : modes) {
        Element encoder = createCompressor(QString::fromUtf8(mode.compressor));
        if (!encoder) {
            continue;
        }
        ApplyCompression(encoder.get(), QString::fromUtf8(mode.compressor), 0.8, 10);
        EXPECT_EQ(enumNick(encoder.get(), mode.property), QString::fromUtf8(mode.nick))
            << mode.compressor;
    }
}

}  // namespace

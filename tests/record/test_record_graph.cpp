#include "media/clock.h"
#include "media/compressors.h"
#include "media/frame.h"
#include "media/gst_handle.h"
#include "record/journal.h"
#include "record/record_files.h"
#include "record/record_graph.h"
#include "tests/support/avi_probe.h"
#include "tests/support/test_env.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace kv::media;
using kv::record::RecordBuild;
using kv::record::RecordGraph;
using kv::record::RecordGraphParams;

// Readable failure messages.
void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

constexpr int kWait_ms = 10000;

// White in the top half of the picture, black below; rows are stored
// bottom-up, so the white ones come last in memory.
std::vector<std::uint8_t> halfWhiteFrame(const BITMAPINFOHEADER& header) {
    const int stride = frameStride(header.biWidth);
    std::vector<std::uint8_t> pixels(header.biSizeImage, 0);
    for (int row = header.biHeight - header.biHeight / 2; row < header.biHeight; ++row) {
        std::fill_n(pixels.begin() + std::ptrdiff_t(row) * stride, header.biWidth * 3, 0xff);
    }
    return pixels;
}

RecordGraphParams params(const QString& fileName, const QString& compressor, int width = 64,
                         int height = 48, int playInterval_ms = 40) {
    RecordGraphParams p;
    p.fileName = fileName;
    p.compressor = compressor;
    p.width = width;
    p.height = height;
    p.playInterval_ms = playInterval_ms;
    return p;
}

GstAppSrc* appsrcOf(const RecordGraph& graph) {
    if (!graph.pipeline()) {
        return nullptr;
    }
    Element source =
        adopt(gst_bin_get_by_name(GST_BIN(graph.pipeline()), "Sample Pusher Source Filter"));
    return source ? GST_APP_SRC(source.get()) : nullptr;  // the pipeline keeps it
}

// The program pushes at most one frame per RecInterval; tests push faster, so
// they wait until the queue has room instead of having frames dropped.
void waitForRoom(const RecordGraph& graph) {
    GstAppSrc* appsrc = appsrcOf(graph);
    if (!appsrc) {
        return;
    }
    const guint64 limit = gst_app_src_get_max_buffers(appsrc);
    QElapsedTimer waited;
    waited.start();
    while (gst_app_src_get_current_level_buffers(appsrc) >= limit && waited.elapsed() < kWait_ms) {
        g_usleep(1000);
    }
}

int pushFrames(RecordGraph& graph, int width, int height, int count, int playInterval_ms = 40) {
    const BITMAPINFOHEADER header = makeFrameHeader(width, height);
    const std::vector<std::uint8_t> pixels = halfWhiteFrame(header);
    int pushed = 0;
    for (int i = 0; i < count; ++i) {
        waitForRoom(graph);
        pushed += graph.push(pixels.data(), header, std::int64_t(playInterval_ms) * 10000) ? 1 : 0;
    }
    return pushed;
}

struct StreamInfo {
    int frames = -1;
    QString frameRate;
    QString codec;
    QString tag;
    int width = 0;
    int height = 0;
};

// The video stream as an independent reader sees it.
StreamInfo probe(const QString& path) {
    QProcess ffprobe;
    ffprobe.start(u"ffprobe"_s,
                  {u"-v"_s, u"error"_s, u"-count_frames"_s, u"-select_streams"_s, u"v:0"_s,
                   u"-show_entries"_s,
                   u"stream=nb_read_frames,r_frame_rate,codec_name,codec_tag_string,width,height"_s,
                   u"-of"_s, u"json"_s, path});
    StreamInfo info;
    if (!ffprobe.waitForFinished(30000) || ffprobe.exitCode() != 0) {
        ADD_FAILURE() << "ffprobe failed on " << qPrintable(path) << ": "
                      << ffprobe.readAllStandardError().constData();
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
    info.tag = stream.value(u"codec_tag_string"_s).toString();
    info.width = stream.value(u"width"_s).toInt();
    info.height = stream.value(u"height"_s).toInt();
    return info;
}

void countBuffer(GstElement*, GstBuffer*, GstPad*, gpointer count) {
    ++*static_cast<int*>(count);
}

// How many frames GStreamer's own demuxer finds in the file; -1 when it fails.
int demuxedFrames(const QString& path) {
    Error error;
    Element pipeline = adopt(gst_parse_launch(
        "filesrc name=src ! avidemux name=demux demux.video_0 ! fakesink name=sink "
        "signal-handoffs=true sync=false",
        error.out()));
    if (!pipeline) {
        ADD_FAILURE() << "no demuxing pipeline";
        return -1;
    }
    Element src = adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "src"));
    Element sink = adopt(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));
    g_object_set(src.get(), "location", QFile::encodeName(path).constData(), nullptr);
    int count = 0;
    g_signal_connect(sink.get(), "handoff", G_CALLBACK(countBuffer), &count);
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    Bus bus = adopt(gst_element_get_bus(pipeline.get()));
    Message end = adopt(gst_bus_timed_pop_filtered(
        bus.get(), kWait_ms * GST_MSECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    if (!end || GST_MESSAGE_TYPE(end.get()) != GST_MESSAGE_EOS) {
        ADD_FAILURE() << "avidemux did not read " << qPrintable(path) << " to its end";
        return -1;
    }
    return count;
}

// The first frame as GStreamer decodes it: top-down BGR rows.

// The first frame as ffmpeg decodes it, for codecs GStreamer may lack a
// parser for here (H.264 from AVI needs h264parse).
kv::test::DecodedFrame ffmpegFirstFrame(const QString& path, int width, int height) {
    kv::test::DecodedFrame frame;
    QProcess ffmpeg;
    ffmpeg.start(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-i"_s, path, u"-frames:v"_s, u"1"_s, u"-f"_s,
                               u"rawvideo"_s, u"-pix_fmt"_s, u"bgr24"_s, u"-"_s});
    if (!ffmpeg.waitForFinished(30000) || ffmpeg.exitCode() != 0) {
        ADD_FAILURE() << "ffmpeg failed on " << qPrintable(path) << ": "
                      << ffmpeg.readAllStandardError().constData();
        return frame;
    }
    const QByteArray bytes = ffmpeg.readAllStandardOutput();
    if (bytes.size() == qsizetype(width) * height * 3) {
        frame.width = width;
        frame.height = height;
        frame.stride = width * 3;
        frame.pixels.assign(bytes.begin(), bytes.end());
    }
    return frame;
}

void expectUpright(const kv::test::DecodedFrame& first, int width, int height, int tolerance) {
    ASSERT_EQ(first.width, width);
    ASSERT_EQ(first.height, height);
    ASSERT_GE(first.pixels.size(), std::size_t(first.stride) * std::size_t(height));
    EXPECT_TRUE(first.rowNear(0, 0xff, tolerance)) << "top row is not white";
    EXPECT_TRUE(first.rowNear(height - 1, 0x00, tolerance)) << "bottom row is not black";
}

void expectUpright(const QString& path, int width, int height, int tolerance) {
    expectUpright(kv::test::decodeFirstFrame(path), width, height, tolerance);
}

// A muxer that finishes a file writes its index chunk.
bool hasIndex(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll().contains("idx1");
}

// Switches the working folder for one test.
class WorkingFolder {
  public:
    explicit WorkingFolder(const QString& path) : saved_(QDir::currentPath()) {
        QDir::setCurrent(path);
    }
    ~WorkingFolder() { QDir::setCurrent(saved_); }

  private:
    QString saved_;
};

// --- recordings read back ---------------------------------------------------

struct RecordingRow {
    const char* name;
    const char* compressor;
    int playInterval_ms;
    int frames;
    const char* frameRate;
    const char* codec;
    int tolerance;  // of the decoded picture
};

void PrintTo(const RecordingRow& row, std::ostream* os) {
    *os << row.name;
}

class RecordGraphRecording : public ::testing::TestWithParam<RecordingRow> {};

TEST_P(RecordGraphRecording, WritesEveryFrameUprightAtTheFrameRateWithAnIndex) {
    const RecordingRow& row = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"260314_SA01.avi"_s);
    constexpr int width = 320;
    constexpr int height = 240;

    RecordGraph graph;
    ASSERT_EQ(graph.build(params(path, QString::fromUtf8(row.compressor), width, height,
                                 row.playInterval_ms)),
              RecordBuild::Running);
    EXPECT_TRUE(graph.exists());
    EXPECT_TRUE(graph.writing());
    EXPECT_FALSE(graph.compressorFailure());
    EXPECT_EQ(pushFrames(graph, width, height, row.frames, row.playInterval_ms), row.frames);
    graph.close();
    EXPECT_FALSE(graph.exists());
    EXPECT_EQ(graph.counters().pushed, std::uint64_t(row.frames));
    EXPECT_EQ(graph.counters().dropped, 0u);
    EXPECT_EQ(graph.counters().failed, 0u);

    EXPECT_TRUE(hasIndex(path));
    const StreamInfo info = probe(path);
    EXPECT_EQ(info.frames, row.frames);
    EXPECT_EQ(info.frameRate, QString::fromUtf8(row.frameRate));
    EXPECT_EQ(info.codec, QString::fromUtf8(row.codec));
    EXPECT_EQ(info.width, width);
    EXPECT_EQ(info.height, height);
    EXPECT_EQ(demuxedFrames(path), row.frames);
    expectUpright(path, width, height, row.tolerance);
}

INSTANTIATE_TEST_SUITE_P(
    RecordGraph, RecordGraphRecording,
    ::testing::Values(
        RecordingRow{"Mjpeg40ms", "MJPEG Compressor", 40, 12, "25/1", "mjpeg", 24},
        RecordingRow{"Mjpeg1000ms", "MJPEG Compressor", 1000, 3, "1/1", "mjpeg", 24},
        RecordingRow{"NoCodec", "Do not use any Codec", 40, 5, "25/1", "rawvideo", 0},
        RecordingRow{"UnknownName", "Cinepak Codec by Radius", 40, 4, "25/1", "rawvideo", 0},
        // Names match exactly, letter case included.
        RecordingRow{"NameInOtherCase", "mjpeg compressor", 40, 2, "25/1", "rawvideo", 0}),
    [](const ::testing::TestParamInfo<RecordingRow>& info) {
        return std::string(info.param.name);
    });

// --- every compressor of the table ----------------------------------------------

struct CompressorRow {
    const char* friendlyName;
    const char* codec;
    const char* tag;
};

void PrintTo(const CompressorRow& row, std::ostream* os) {
    *os << row.friendlyName;
}

// Each compressor installed here, with a folder for its recording.
class RecordGraphCompressor : public ::testing::TestWithParam<CompressorRow> {
  protected:
    void SetUp() override {
        if (!installedCompressorNames().contains(name)) {
            GTEST_SKIP() << GetParam().friendlyName << " is not installed";
        }
        ASSERT_TRUE(dir.isValid());
    }
    const QString name = QString::fromUtf8(GetParam().friendlyName);
    QTemporaryDir dir;
};

TEST_P(RecordGraphCompressor, WritesAStreamOfItsCodecThatPlaysBack) {
    const CompressorRow& row = GetParam();
    const QString path = dir.filePath(u"compressed.avi"_s);
    constexpr int frames = 10;

    RecordGraph graph;
    RecordGraphParams p = params(path, name, 64, 48);
    p.quality = 0.9;
    p.keyFrameRate = 5;
    ASSERT_EQ(graph.build(p), RecordBuild::Running);
    ASSERT_FALSE(graph.compressorFailure());
    ASSERT_TRUE(graph.compressor());
    EXPECT_STREQ(GST_ELEMENT_NAME(graph.compressor()), "Video Compressor");
    EXPECT_EQ(GST_OBJECT_PARENT(graph.compressor()), GST_OBJECT(graph.pipeline()));
    EXPECT_EQ(pushFrames(graph, 64, 48, frames), frames);
    graph.close();
    EXPECT_FALSE(graph.compressor());

    EXPECT_TRUE(hasIndex(path));
    const StreamInfo info = probe(path);
    EXPECT_EQ(info.codec, QString::fromUtf8(row.codec));
    EXPECT_EQ(info.tag, QString::fromUtf8(row.tag));
    EXPECT_EQ(info.frames, frames);
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.height, 48);
    EXPECT_EQ(demuxedFrames(path), frames);
    // True levels: white decodes to 251..255 and black to 0..4, not to the
    // 16..235 of limited-range video read as full range.
    expectUpright(ffmpegFirstFrame(path, 64, 48), 64, 48, 4);
}

// An HD picture of strong colours plays back in those colours in an
// independent player: a lossy stream that does not say its colour matrix is
// read as BT.601, so it must be coded in it, whatever the frame size.
TEST_P(RecordGraphCompressor, HdColoursPlayBackAsRecorded) {
    const QString path = dir.filePath(u"colours.avi"_s);
    constexpr int width = 1280;
    constexpr int height = 720;
    // Bands from the top: red, green, blue, grey, in BGR as our frames hold them.
    constexpr std::uint8_t bands[][3] = {{0, 0, 230}, {0, 220, 0}, {230, 0, 0}, {128, 128, 128}};
    const BITMAPINFOHEADER header = makeFrameHeader(width, height);
    std::vector<std::uint8_t> pixels(header.biSizeImage);
    const int stride = kv::media::frameStride(width);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* colour = bands[(height - 1 - y) * 4 / height];  // rows bottom-up
        for (int x = 0; x < width; ++x) {
            std::copy(colour, colour + 3, pixels.begin() + std::ptrdiff_t(y) * stride + x * 3);
        }
    }
    RecordGraph graph;
    RecordGraphParams p = params(path, name, width, height);
    p.quality = 0.9;
    ASSERT_EQ(graph.build(p), RecordBuild::Running);
    for (int i = 0; i < 3; ++i) {
        waitForRoom(graph);
        ASSERT_TRUE(graph.push(pixels.data(), header, 400000));
    }
    graph.close();

    const kv::test::DecodedFrame frame = ffmpegFirstFrame(path, width, height);
    ASSERT_EQ(frame.width, width);
    for (int band = 0; band < 4; ++band) {
        const int y = band * height / 4 + height / 8;
        const std::uint8_t* decoded =
            frame.pixels.data() + std::ptrdiff_t(y) * frame.stride + (width / 2) * 3;
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(int(decoded[c]), int(bands[band][c]), 10)
                << "band " << band << ", channel " << c;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    RecordGraph, RecordGraphCompressor,
    ::testing::Values(CompressorRow{"MJPEG Compressor", "mjpeg", "MJPG"},
                      CompressorRow{"Huffyuv Lossless Compressor", "huffyuv", "HFYU"},
                      CompressorRow{"PNG Lossless Compressor", "png", "png "},
                      CompressorRow{"MPEG-4 Compressor", "mpeg4", "DIVX"},
                      CompressorRow{"MS-MPEG-4 V3 Compressor", "msmpeg4v3", "MP43"},
                      CompressorRow{"H.264 Compressor", "h264", "H264"},
                      CompressorRow{"VP8 Compressor", "vp8", "VP80"}),
    [](const ::testing::TestParamInfo<CompressorRow>& info) {
        std::string name = info.param.friendlyName;
        name.erase(
            std::remove_if(name.begin(), name.end(),
                           [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }),
            name.end());
        return name;
    });

// --- MPEG-4 predicted frames ------------------------------------------------------

// Packet sizes of a file's video stream, in stream order.
std::vector<int> packetSizes(const QString& path) {
    QProcess ffprobe;
    ffprobe.start(u"ffprobe"_s,
                  {u"-v"_s, u"error"_s, u"-select_streams"_s, u"v:0"_s, u"-show_entries"_s,
                   u"packet=size"_s, u"-of"_s, u"csv=p=0"_s, path});
    std::vector<int> sizes;
    if (!ffprobe.waitForFinished(30000) || ffprobe.exitCode() != 0) {
        ADD_FAILURE() << "ffprobe failed on " << qPrintable(path);
        return sizes;
    }
    for (const QByteArray& line : ffprobe.readAllStandardOutput().split('\n')) {
        if (!line.trimmed().isEmpty()) {
            sizes.push_back(line.trimmed().toInt());
        }
    }
    return sizes;
}

// A camera panning over a detailed scene with sensor noise, rows bottom-up.
std::vector<std::vector<std::uint8_t>> panningScene(const BITMAPINFOHEADER& header, int frames) {
    const int width = header.biWidth;
    const int height = header.biHeight;
    const int stride = frameStride(width);
    std::vector<std::vector<std::uint8_t>> pictures;
    std::uint32_t seed = 7;
    for (int f = 0; f < frames; ++f) {
        std::vector<std::uint8_t> pixels(header.biSizeImage);
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = pixels.data() + std::ptrdiff_t(height - 1 - y) * stride;
            for (int x = 0; x < width; ++x) {
                const int sx = x + 3 * f;  // the scene moves left 3 pixels a frame
                const double v = 120 + 50 * std::sin(sx * 0.21) * std::cos(y * 0.17) +
                                 30 * std::sin((sx + 2 * y) * 0.05) + ((sx / 16 + y / 16) % 2) * 25;
                seed = seed * 1664525u + 1013904223u;
                const int noise = int((seed >> 24) & 7) - 3;
                for (int c = 0; c < 3; ++c) {
                    row[x * 3 + c] = std::uint8_t(std::clamp(int(v) + noise + c * 12, 0, 255));
                }
            }
        }
        pictures.push_back(std::move(pixels));
    }
    return pictures;
}

// Records the pictures with a compressor; returns the encoder's value of an
// integer property (its quantizer) read after the graph was built.
int recordPictures(const QString& path, const QString& compressor, double quality,
                   const BITMAPINFOHEADER& header,
                   const std::vector<std::vector<std::uint8_t>>& pictures,
                   const char* quantizerProperty) {
    RecordGraph graph;
    RecordGraphParams p = params(path, compressor, header.biWidth, header.biHeight);
    p.quality = quality;
    p.keyFrameRate = int(pictures.size());
    EXPECT_EQ(graph.build(p), RecordBuild::Running);
    if (!graph.compressor()) {
        ADD_FAILURE() << "no compressor";
        return 0;
    }
    int quantizer = 0;
    g_object_get(graph.compressor(), quantizerProperty, &quantizer, nullptr);
    for (const auto& pixels : pictures) {
        waitForRoom(graph);
        EXPECT_TRUE(graph.push(pixels.data(), header, 400000));
    }
    graph.close();
    return quantizer;
}

// The same pictures through ffmpeg with the given encoder options.
void ffmpegEncode(const QString& path, const BITMAPINFOHEADER& header,
                  const std::vector<std::vector<std::uint8_t>>& pictures,
                  const QStringList& encoder) {
    QProcess ffmpeg;
    ffmpeg.start(u"ffmpeg"_s, QStringList{u"-nostdin"_s, u"-v"_s, u"error"_s, u"-f"_s,
                                          u"rawvideo"_s, u"-pix_fmt"_s, u"bgr24"_s, u"-s"_s,
                                          u"%1x%2"_s.arg(header.biWidth).arg(header.biHeight),
                                          u"-i"_s, u"pipe:0"_s, u"-vf"_s, u"vflip"_s, u"-g"_s,
                                          QString::number(pictures.size())} +
                                  encoder + QStringList{path});
    for (const auto& pixels : pictures) {
        ffmpeg.write(reinterpret_cast<const char*>(pixels.data()), qint64(pixels.size()));
    }
    ffmpeg.closeWriteChannel();
    ASSERT_TRUE(ffmpeg.waitForFinished(60000));
    ASSERT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().constData();
}

// The motion search and the weighing of vector bits against error decide the
// size of every predicted frame. At the quantizer our encoder was given,
// those frames must cost no more than ffmpeg's encoder makes them.
TEST(RecordGraph, Mpeg4PredictedFramesCostWhatFfmpegsDoAtTheSameQuantizer) {
    if (!installedCompressorNames().contains(u"MPEG-4 Compressor"_s)) {
        GTEST_SKIP() << "MPEG-4 is not installed";
    }
    constexpr int frames = 12;
    const BITMAPINFOHEADER header = makeFrameHeader(320, 240);
    const auto pictures = panningScene(header, frames);
    QTemporaryDir dir;
    const QString ours = dir.filePath(u"ours.avi"_s);
    const int quantizer =
        recordPictures(ours, u"MPEG-4 Compressor"_s, 0.8, header, pictures, "qmax");
    ASSERT_GE(quantizer, 2);
    const QString theirs = dir.filePath(u"ffmpeg.avi"_s);
    ffmpegEncode(theirs, header, pictures,
                 {u"-c:v"_s, u"mpeg4"_s, u"-q:v"_s, QString::number(quantizer)});

    const std::vector<int> ourSizes = packetSizes(ours);
    const std::vector<int> theirSizes = packetSizes(theirs);
    ASSERT_EQ(int(ourSizes.size()), frames);
    ASSERT_EQ(int(theirSizes.size()), frames);
    // The key frames match; the predicted ones are what is tested.
    EXPECT_NEAR(ourSizes[0], theirSizes[0], theirSizes[0] * 0.1);
    const double ourPredicted = std::accumulate(ourSizes.begin() + 1, ourSizes.end(), 0.0);
    const double theirPredicted = std::accumulate(theirSizes.begin() + 1, theirSizes.end(), 0.0);
    EXPECT_LE(ourPredicted, theirPredicted * 1.1)
        << "predicted frames: ours " << ourPredicted << " bytes, ffmpeg's " << theirPredicted
        << " at quantizer " << quantizer;
}

// A VP8 key frame is coded at the quality asked for, as ffmpeg's libvpx
// codes it at that quantizer, not at the finest the bit rate allows.
TEST(RecordGraph, Vp8KeyFramesCostWhatFfmpegsDoAtTheSameQuantizer) {
    if (!installedCompressorNames().contains(u"VP8 Compressor"_s)) {
        GTEST_SKIP() << "VP8 is not installed";
    }
    constexpr int frames = 4;
    const BITMAPINFOHEADER header = makeFrameHeader(320, 240);
    const auto pictures = panningScene(header, frames);
    QTemporaryDir dir;
    const QString ours = dir.filePath(u"ours.avi"_s);
    const int quantizer =
        recordPictures(ours, u"VP8 Compressor"_s, 0.5, header, pictures, "max-quantizer");
    const QString theirs = dir.filePath(u"ffmpeg.avi"_s);
    ffmpegEncode(theirs, header, pictures,
                 {u"-c:v"_s, u"libvpx"_s, u"-deadline"_s, u"realtime"_s, u"-cpu-used"_s, u"16"_s,
                  u"-b:v"_s, u"200M"_s, u"-qmin"_s, QString::number(quantizer), u"-qmax"_s,
                  QString::number(quantizer)});
    const std::vector<int> ourSizes = packetSizes(ours);
    const std::vector<int> theirSizes = packetSizes(theirs);
    ASSERT_EQ(int(ourSizes.size()), frames);
    ASSERT_EQ(int(theirSizes.size()), frames);
    EXPECT_LE(ourSizes[0], theirSizes[0] * 1.1)
        << "key frame: ours " << ourSizes[0] << " bytes, ffmpeg's " << theirSizes[0]
        << " at quantizer " << quantizer;
}

// Black with a still white block, as the test camera's background: at some
// quantizers the key frame's black comes back a level off, and libav codes
// that area again, intra, in every predicted frame. The qualities the bench
// measures, the default among them, stay clear of those.
TEST(RecordGraph, Mpeg4StillFlatPictureGivesSmallPredictedFrames) {
    if (!installedCompressorNames().contains(u"MPEG-4 Compressor"_s)) {
        GTEST_SKIP() << "MPEG-4 is not installed";
    }
    constexpr int width = 320;
    constexpr int height = 240;
    constexpr int frames = 4;
    const BITMAPINFOHEADER header = makeFrameHeader(width, height);
    std::vector<std::uint8_t> pixels(header.biSizeImage, 0);
    for (int y = 100; y < 140; ++y) {
        std::fill_n(pixels.begin() + std::ptrdiff_t(y) * frameStride(width) + 150 * 3, 40 * 3,
                    0xff);
    }
    QTemporaryDir dir;
    for (const double quality : {0.5, 0.8, 0.95}) {
        const int step = int(quality * 100);
        SCOPED_TRACE(testing::Message() << "quality " << quality);
        const QString path = dir.filePath(u"flat%1.avi"_s.arg(step));
        RecordGraph graph;
        RecordGraphParams p = params(path, u"MPEG-4 Compressor"_s, width, height);
        p.quality = quality;
        p.keyFrameRate = 10;
        ASSERT_EQ(graph.build(p), RecordBuild::Running);
        for (int i = 0; i < frames; ++i) {
            waitForRoom(graph);
            ASSERT_TRUE(graph.push(pixels.data(), header, 400000));
        }
        graph.close();
        const std::vector<int> sizes = packetSizes(path);
        ASSERT_EQ(int(sizes.size()), frames);
        for (int i = 1; i < frames; ++i) {
            EXPECT_LT(sizes[std::size_t(i)], sizes[0] / 4) << "frame " << i;
        }
    }
}

// --- MJPEG ---------------------------------------------------------------------

// A BGR frame (rows bottom-up) of four coloured quadrants, given top-left,
// top-right, bottom-left, bottom-right.
std::vector<std::uint8_t> quadrantFrame(const BITMAPINFOHEADER& header,
                                        const std::uint8_t (&colours)[4][3]) {
    const int width = header.biWidth;
    const int height = header.biHeight;
    const int stride = frameStride(width);
    std::vector<std::uint8_t> pixels(header.biSizeImage);
    for (int y = 0; y < height; ++y) {
        const bool top = y < height / 2;
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* colour = colours[(top ? 0 : 2) + (x < width / 2 ? 0 : 1)];
            std::copy(colour, colour + 3,
                      pixels.begin() + std::ptrdiff_t(height - 1 - y) * stride + x * 3);
        }
    }
    return pixels;
}

// Flat areas are most of what a still camera sees: a picture made of four
// flat quadrants costs about two bits per 8x8 block (Huffman codes made for
// the pictures). jpegenc's fixed codes spent six bits on every luma block,
// more than 15 KB for this frame. Every picture decodes in ffmpeg without a
// complaint, those coded with codes measured on an earlier one too.
TEST(RecordGraph, MjpegCodesFlatAreasInAboutTwoBitsABlock) {
    if (!installedCompressorNames().contains(u"MJPEG Compressor"_s)) {
        GTEST_SKIP() << "the MJPEG compressor is not installed";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"flat.avi"_s);
    constexpr int width = 1280;
    constexpr int height = 720;
    constexpr std::uint8_t colours[4][3] = {{0, 0, 230}, {0, 220, 0}, {230, 0, 0}, {128, 128, 128}};
    const BITMAPINFOHEADER header = makeFrameHeader(width, height);
    std::vector<std::uint8_t> pixels = quadrantFrame(header, colours);
    RecordGraph graph;
    RecordGraphParams p = params(path, u"MJPEG Compressor"_s, width, height);
    p.quality = 0.8;
    ASSERT_EQ(graph.build(p), RecordBuild::Running);
    constexpr int frames = 12;
    for (int i = 0; i < frames; ++i) {
        // A white dot more in the green quadrant every picture: symbols the
        // first picture did not have.
        std::fill_n(pixels.begin() + std::ptrdiff_t(height - 100) * frameStride(width) +
                        (width / 2 + 40 * i) * 3,
                    3 * 7, 0xff);
        waitForRoom(graph);
        ASSERT_TRUE(graph.push(pixels.data(), header, 400000));
    }
    graph.close();

    // 14,400 blocks at two bits, the blocks along the quadrants' edges and
    // the headers: 3.6 KB, 2 KB and 1 KB.
    const std::vector<int> sizes = packetSizes(path);
    ASSERT_EQ(int(sizes.size()), frames);
    for (int size : sizes) {
        EXPECT_LE(size, 8000);
    }
    QProcess ffmpeg;
    ffmpeg.start(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-i"_s, path, u"-f"_s, u"rawvideo"_s,
                               u"-pix_fmt"_s, u"bgr24"_s, u"-"_s});
    ASSERT_TRUE(ffmpeg.waitForFinished(30000));
    EXPECT_EQ(ffmpeg.exitCode(), 0);
    const QByteArray complaints = ffmpeg.readAllStandardError();
    EXPECT_TRUE(complaints.isEmpty()) << complaints.constData();
    const QByteArray decoded = ffmpeg.readAllStandardOutput();
    ASSERT_EQ(decoded.size(), qsizetype(frames) * width * height * 3);
    for (int f = 0; f < frames; ++f) {
        for (int quadrant = 0; quadrant < 4; ++quadrant) {
            const int x = quadrant % 2 == 0 ? width / 4 : width * 3 / 4;
            const int y = quadrant < 2 ? height / 4 : height * 3 / 4;
            const auto* pixel = reinterpret_cast<const std::uint8_t*>(decoded.constData()) +
                                (qsizetype(f) * height + y) * width * 3 + x * 3;
            for (int c = 0; c < 3; ++c) {
                EXPECT_NEAR(int(pixel[c]), int(colours[quadrant][c]), 10)
                    << "frame " << f << ", quadrant " << quadrant << ", channel " << c;
            }
        }
    }
}

// A frame size that is no multiple of the 16x16 blocks, odd even, records
// with its edges intact: the last column and row keep their colours in an
// independent player and in GStreamer's decoder, chroma included.
TEST(RecordGraph, MjpegKeepsTheEdgesOfAnOddFrameSize) {
    if (!installedCompressorNames().contains(u"MJPEG Compressor"_s)) {
        GTEST_SKIP() << "the MJPEG compressor is not installed";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"odd.avi"_s);
    constexpr int width = 641;
    constexpr int height = 481;
    constexpr std::uint8_t colours[4][3] = {{0, 0, 230}, {0, 220, 0}, {230, 0, 0}, {200, 200, 200}};
    const BITMAPINFOHEADER header = makeFrameHeader(width, height);
    const std::vector<std::uint8_t> pixels = quadrantFrame(header, colours);
    RecordGraph graph;
    ASSERT_EQ(graph.build(params(path, u"MJPEG Compressor"_s, width, height)),
              RecordBuild::Running);
    for (int i = 0; i < 2; ++i) {
        waitForRoom(graph);
        ASSERT_TRUE(graph.push(pixels.data(), header, 400000));
    }
    graph.close();

    const StreamInfo info = probe(path);
    EXPECT_EQ(info.codec, u"mjpeg"_s);
    EXPECT_EQ(info.frames, 2);
    const kv::test::DecodedFrame decoded[] = {ffmpegFirstFrame(path, width, height),
                                              kv::test::decodeFirstFrame(path)};
    for (const kv::test::DecodedFrame& frame : decoded) {
        ASSERT_EQ(frame.width, width);
        ASSERT_EQ(frame.height, height);
        frame.expectQuadrants(colours, 12);
    }
}

// --- a compressor whose stream the muxer does not take --------------------------

struct OddEncoder {
    GstElement parent;
};
struct OddEncoderClass {
    GstElementClass parentClass;
};

GType oddEncoderType();

GstStaticPadTemplate gOddSink =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS("video/x-raw"));
GstStaticPadTemplate gOddSrc = GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                                                       GST_STATIC_CAPS("video/x-kestrel-odd"));

void oddEncoderClassInit(gpointer klass, gpointer) {
    auto* elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(elementClass, &gOddSink);
    gst_element_class_add_static_pad_template(elementClass, &gOddSrc);
    gst_element_class_set_static_metadata(elementClass, "Odd encoder", "Codec/Encoder/Video",
                                          "Makes a stream no muxer takes", "Kestrelvision tests");
}

void oddEncoderInit(GTypeInstance* instance, gpointer) {
    GstElement* element = GST_ELEMENT(instance);
    gst_element_add_pad(element, gst_pad_new_from_static_template(&gOddSink, "sink"));
    gst_element_add_pad(element, gst_pad_new_from_static_template(&gOddSrc, "src"));
}

GType oddEncoderType() {
    static const GType type = g_type_register_static_simple(
        GST_TYPE_ELEMENT, "KvOddEncoder", sizeof(OddEncoderClass), oddEncoderClassInit,
        sizeof(OddEncoder), oddEncoderInit, GTypeFlags(0));
    return type;
}

// Puts the odd encoder in the place of one factory, and the real one back.
class FactoryStandIn {
  public:
    explicit FactoryStandIn(const char* factory)
        : original_(adopt(GST_PLUGIN_FEATURE(gst_element_factory_find(factory)))) {
        registered_ = gst_element_register(nullptr, factory, GST_RANK_NONE, oddEncoderType());
    }
    ~FactoryStandIn() {
        if (original_) {
            gst_registry_add_feature(gst_registry_get(), original_.get());
        }
    }
    bool registered() const { return registered_; }

  private:
    Handle<GstPluginFeature> original_;
    bool registered_ = false;
};

TEST(RecordGraph, CompressorThatDoesNotLinkIsReportedAndTheFileIsUncompressed) {
    if (!installedCompressorNames().contains(u"PNG Lossless Compressor"_s)) {
        GTEST_SKIP() << "pngenc is not installed";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"odd.avi"_s);
    RecordGraph graph;
    {
        FactoryStandIn standIn("pngenc");
        ASSERT_TRUE(standIn.registered());
        ASSERT_EQ(graph.build(params(path, u"PNG Lossless Compressor"_s)), RecordBuild::Running);
    }
    ASSERT_TRUE(graph.compressorFailure());
    EXPECT_EQ(*graph.compressorFailure(), int(GST_PAD_LINK_NOFORMAT));
    EXPECT_EQ(RecordGraph::compressorFailureText(*graph.compressorFailure()),
              u"Video compressor not available. (0xfffffffc)."_s);
    EXPECT_FALSE(graph.compressor());
    EXPECT_EQ(pushFrames(graph, 64, 48, 3), 3);
    graph.close();

    const StreamInfo info = probe(path);
    EXPECT_EQ(info.codec, u"rawvideo"_s);
    EXPECT_EQ(info.frames, 3);
    expectUpright(path, 64, 48, 0);
    // The real encoder is back for the next build.
    RecordGraph again;
    ASSERT_EQ(again.build(params(dir.filePath(u"png.avi"_s), u"PNG Lossless Compressor"_s)),
              RecordBuild::Running);
    EXPECT_TRUE(again.compressor());
    EXPECT_FALSE(again.compressorFailure());
}

// --- graphs without frames ---------------------------------------------------

TEST(RecordGraph, AFileThatGotNoFrameIsRemovedAndOneWithAFrameStays) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    RecordGraph graph;
    for (const QString& compressor : {u"Do not use any Codec"_s, u"MJPEG Compressor"_s}) {
        SCOPED_TRACE(compressor.toStdString());
        const QString empty = dir.filePath(u"empty.avi"_s);
        ASSERT_EQ(graph.build(params(empty, compressor)), RecordBuild::Running);
        QElapsedTimer waited;
        waited.start();
        while (!QFileInfo::exists(empty) && waited.elapsed() < kWait_ms) {
            g_usleep(1000);
        }
        ASSERT_TRUE(QFileInfo::exists(empty));  // the writer made it
        graph.close();
        EXPECT_FALSE(QFileInfo::exists(empty));
        EXPECT_EQ(graph.counters().pushed, 0u);

        const QString one = dir.filePath(u"one.avi"_s);
        ASSERT_EQ(graph.build(params(one, compressor)), RecordBuild::Running);
        EXPECT_EQ(pushFrames(graph, 64, 48, 1), 1);
        graph.close();
        EXPECT_EQ(probe(one).frames, 1);
        QFile::remove(one);
    }
}

TEST(RecordGraph, UnknownFrameSizeMakesNoFileAndRefusesFrames) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"nosize.avi"_s);
    RecordGraph graph;
    ASSERT_EQ(graph.build(params(path, u"MJPEG Compressor"_s, 0, 0)), RecordBuild::Running);
    EXPECT_TRUE(graph.exists());
    EXPECT_FALSE(graph.writing());
    EXPECT_FALSE(graph.compressor());
    const BITMAPINFOHEADER header = makeFrameHeader(64, 48);
    const std::vector<std::uint8_t> pixels = halfWhiteFrame(header);
    EXPECT_FALSE(graph.push(pixels.data(), header, 400000));
    EXPECT_EQ(graph.counters().failed, 1u);
    graph.close();
    EXPECT_FALSE(graph.exists());
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST(RecordGraph, CloseIsSafeWhenNothingIsBuiltAndTwice) {
    RecordGraph graph;
    graph.close();
    EXPECT_FALSE(graph.exists());
    const BITMAPINFOHEADER header = makeFrameHeader(64, 48);
    const std::vector<std::uint8_t> pixels = halfWhiteFrame(header);
    EXPECT_FALSE(graph.push(pixels.data(), header, 400000));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_EQ(graph.build(params(dir.filePath(u"a.avi"_s), u"MJPEG Compressor"_s)),
              RecordBuild::Running);
    EXPECT_EQ(pushFrames(graph, 64, 48, 2), 2);
    graph.close();
    graph.close();
    EXPECT_EQ(graph.counters().pushed, 2u);
    EXPECT_EQ(probe(dir.filePath(u"a.avi"_s)).frames, 2);
}

// --- the graph log ---------------------------------------------------------

TEST(RecordGraph, DebugRecreatesLogOfTheBuildOnly) {
    kv::test::TempHome home;
    const WorkingFolder folder(home.path());
    QFile stale(u"LOG.TXT"_s);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("left over from an earlier run\n");
    stale.close();

    RecordGraph graph;
    RecordGraphParams p = params(QDir(home.path()).filePath(u"log.avi"_s), u"MJPEG Compressor"_s);
    p.debug = true;
    ASSERT_EQ(graph.build(p), RecordBuild::Running);
    QFile log(u"LOG.TXT"_s);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray built = log.readAll();
    log.close();
    EXPECT_FALSE(built.contains("left over"));
    EXPECT_TRUE(built.contains("Video Compressor")) << built.left(400).constData();
    EXPECT_TRUE(built.contains("Sample Pusher Source Filter"));

    // Detached once running: frames and the close add nothing.
    EXPECT_EQ(pushFrames(graph, 64, 48, 5), 5);
    graph.close();
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll(), built);
}

TEST(RecordGraph, WithoutDebugNoLogIsCreatedOrTouched) {
    kv::test::TempHome home;
    const WorkingFolder folder(home.path());
    RecordGraph graph;
    ASSERT_EQ(graph.build(params(QDir(home.path()).filePath(u"a.avi"_s), u"MJPEG Compressor"_s)),
              RecordBuild::Running);
    graph.close();
    EXPECT_FALSE(QFileInfo::exists(u"LOG.TXT"_s));

    QFile old(u"LOG.TXT"_s);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an earlier log\n");
    old.close();
    const QDateTime modified = QFileInfo(old).lastModified();
    ASSERT_EQ(graph.build(params(QDir(home.path()).filePath(u"b.avi"_s), u"MJPEG Compressor"_s)),
              RecordBuild::Running);
    graph.close();
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("an earlier log\n"));
    EXPECT_EQ(QFileInfo(old).lastModified(), modified);
}

// --- files that cannot be written ---------------------------------------------

// Pushes until writeError arrives, handling events in between as the program does.
int pushUntilError(RecordGraph& graph, QSignalSpy& spy, int width, int height, int limit) {
    const BITMAPINFOHEADER header = makeFrameHeader(width, height);
    const std::vector<std::uint8_t> pixels = halfWhiteFrame(header);
    int pushed = 0;
    for (int i = 0; i < limit && spy.isEmpty(); ++i) {
        waitForRoom(graph);
        kv::record::JournalLine line;
        line.time = QDateTime::currentDateTime();
        pushed += graph.push(pixels.data(), header, 400000, &line) ? 1 : 0;
        QCoreApplication::processEvents();
    }
    if (spy.isEmpty()) {
        spy.wait(kWait_ms);
    }
    return pushed;
}

class RecordGraphFullDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        mountPoint_ = QFile::encodeName(dir_.path());
        if (::mount("tmpfs", mountPoint_.constData(), "tmpfs", 0, "size=2m") != 0) {
            GTEST_SKIP() << "cannot mount a small file system: " << std::strerror(errno);
        }
        mounted_ = true;
    }
    void TearDown() override {
        if (mounted_) {
            ::umount2(mountPoint_.constData(), MNT_DETACH);
        }
    }
    QString path(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
    QByteArray mountPoint_;
    bool mounted_ = false;
};

TEST_F(RecordGraphFullDisk, StopsCleanlyAndLeavesAReadableFile) {
    const QString file = path(u"full.avi"_s);
    RecordGraph graph;
    QSignalSpy spy(&graph, &RecordGraph::writeError);
    // Uncompressed 320 x 240 frames: 230 kB each, so the disk fills after 8 or 9.
    ASSERT_EQ(graph.build(params(file, u"Do not use any Codec"_s, 320, 240)), RecordBuild::Running);
    const int pushed = pushUntilError(graph, spy, 320, 240, 60);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.first().at(0).toString(), file);
    EXPECT_FALSE(spy.first().at(1).toString().isEmpty());

    // Once per file, and frames are no longer taken.
    const BITMAPINFOHEADER header = makeFrameHeader(320, 240);
    const std::vector<std::uint8_t> pixels = halfWhiteFrame(header);
    EXPECT_FALSE(graph.push(pixels.data(), header, 400000));
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.count(), 1);

    graph.close();
    EXPECT_FALSE(graph.exists());
    ASSERT_TRUE(QFileInfo::exists(file));
    const StreamInfo info = probe(file);
    EXPECT_GT(info.frames, 0);
    EXPECT_LT(info.frames, pushed);
    EXPECT_EQ(info.codec, u"rawvideo"_s);
    EXPECT_EQ(demuxedFrames(file), info.frames);
    expectUpright(file, 320, 240, 0);
    // The journal had a line for every frame taken; it keeps none of a frame
    // the full disk lost.
    EXPECT_EQ(int(kv::record::readJournal(kv::record::journalPath(file)).size()), info.frames);

    // The program goes on: the next file, elsewhere, records normally.
    QTemporaryDir elsewhere;
    const QString next = elsewhere.filePath(u"next.avi"_s);
    ASSERT_EQ(graph.build(params(next, u"MJPEG Compressor"_s)), RecordBuild::Running);
    EXPECT_EQ(pushFrames(graph, 64, 48, 3), 3);
    graph.close();
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(probe(next).frames, 3);
}

// Each retry on a full disk made a file of 0 bytes that no player opens and
// that used up a sequence number: now none is left, nor its journal.
TEST_F(RecordGraphFullDisk, ARetryThatCannotWriteLeavesNoFile) {
    {
        QFile filler(path(u"filler"_s));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
        while (filler.write("x", 1) == 1) {
        }
    }
    const QString folder = dir_.path() + u'/';
    kv::media::ManualClock clock;
    clock.setNow(QDateTime(QDate(2025, 12, 1), QTime(8, 0)));
    RecordGraph graph;
    for (int retry = 0; retry < 3; ++retry) {
        const QString file = kv::record::NewRecordFileName(folder, clock);
        EXPECT_EQ(file, folder + u"251201_MO00.avi"_s);  // no number used up
        QSignalSpy spy(&graph, &RecordGraph::writeError);
        ASSERT_EQ(graph.build(params(file, u"MJPEG Compressor"_s)), RecordBuild::Running);
        pushUntilError(graph, spy, 64, 48, 20);
        ASSERT_EQ(spy.count(), 1);
        graph.close();
        EXPECT_FALSE(QFileInfo::exists(file));
        EXPECT_FALSE(QFileInfo::exists(kv::record::journalPath(file)));
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{u"filler"_s});
}

// Frames written into a deleted file are lost: the loss is told as a write
// error within a few seconds, naming what went.
TEST(RecordGraph, AFolderOrFileDeletedWhileRecordingIsAWriteError) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const BITMAPINFOHEADER header = makeFrameHeader(64, 48);
    const std::vector<std::uint8_t> pixels = halfWhiteFrame(header);
    for (const bool wholeFolder : {true, false}) {
        const QString folder = dir.filePath(u"recordings/"_s);
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString file = folder + u"251201_MO00.avi"_s;
        RecordGraph graph;
        QSignalSpy spy(&graph, &RecordGraph::writeError);
        ASSERT_EQ(graph.build(params(file, u"MJPEG Compressor"_s)), RecordBuild::Running);
        EXPECT_EQ(pushFrames(graph, 64, 48, 3), 3);
        if (wholeFolder) {
            ASSERT_TRUE(QDir(folder).removeRecursively());
        } else {
            ASSERT_TRUE(QFile::remove(file));
        }
        // The recorder goes on pushing until it is told.
        kv::test::pumpUntil(
            [&] {
                waitForRoom(graph);
                graph.push(pixels.data(), header, 400000);
                return !spy.isEmpty();
            },
            kWait_ms);
        ASSERT_EQ(spy.count(), 1) << (wholeFolder ? "folder" : "file");
        EXPECT_EQ(spy.first().at(0).toString(), file);
        EXPECT_EQ(spy.first().at(1).toString(), wholeFolder ? u"the recording folder is gone"_s
                                                            : u"the recording file was deleted"_s);
        EXPECT_FALSE(graph.push(pixels.data(), header, 400000));
        graph.close();
        EXPECT_FALSE(QFileInfo::exists(file));
    }
}

// A link planted at a recording's journal name is never followed: the
// recording goes on without a journal and the file it points at stays as it
// was; the next name chosen passes such a name by.
TEST(RecordGraph, APlantedJournalLinkIsNeverWrittenThrough) {
    QTemporaryDir dir;
    QTemporaryDir outside;
    ASSERT_TRUE(dir.isValid() && outside.isValid());
    const QString privateFile = outside.filePath(u"private.txt"_s);
    {
        QFile file(privateFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("the user's own words\n");
    }
    const QString folder = dir.path() + u'/';
    ASSERT_TRUE(QFile::link(privateFile, folder + u"251201_MO00.csv"_s));
    kv::media::ManualClock clock;
    clock.setNow(QDateTime(QDate(2025, 12, 1), QTime(8, 0)));
    EXPECT_EQ(kv::record::NewRecordFileName(folder, clock), folder + u"251201_MO01.avi"_s);

    const QString file = folder + u"251201_MO00.avi"_s;  // taken all the same
    RecordGraph graph;
    ASSERT_EQ(graph.build(params(file, u"MJPEG Compressor"_s)), RecordBuild::Running);
    const BITMAPINFOHEADER header = makeFrameHeader(64, 48);
    const std::vector<std::uint8_t> pixels = halfWhiteFrame(header);
    kv::record::JournalLine line;
    line.time = QDateTime::currentDateTime();
    for (int i = 0; i < 3; ++i) {
        waitForRoom(graph);
        EXPECT_TRUE(graph.push(pixels.data(), header, 400000, &line));
    }
    graph.close();
    EXPECT_EQ(probe(file).frames, 3);
    QFile target(privateFile);
    ASSERT_TRUE(target.open(QIODevice::ReadOnly));
    EXPECT_EQ(target.readAll(), QByteArray("the user's own words\n"));
    EXPECT_TRUE(QFileInfo(folder + u"251201_MO00.csv"_s).isSymLink());
}

TEST(RecordGraph, FolderThatDoesNotExistIsAWriteError) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(u"gone/260314_SA01.avi"_s);
    RecordGraph graph;
    QSignalSpy spy(&graph, &RecordGraph::writeError);
    ASSERT_EQ(graph.build(params(file, u"MJPEG Compressor"_s)), RecordBuild::Running);
    // Reported from the event loop, not from inside build().
    EXPECT_EQ(spy.count(), 0);
    ASSERT_TRUE(spy.wait(kWait_ms));
    EXPECT_EQ(spy.first().at(0).toString(), file);
    const BITMAPINFOHEADER header = makeFrameHeader(64, 48);
    const std::vector<std::uint8_t> pixels = halfWhiteFrame(header);
    EXPECT_FALSE(graph.push(pixels.data(), header, 400000));
    graph.close();
    EXPECT_FALSE(QFileInfo::exists(file));
}

TEST(RecordGraph, ErrorReportedAfterCloseIsDropped) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    RecordGraph graph;
    QSignalSpy spy(&graph, &RecordGraph::writeError);
    ASSERT_EQ(graph.build(params(dir.filePath(u"gone/a.avi"_s), u"MJPEG Compressor"_s)),
              RecordBuild::Running);
    // Closed before the event loop ran: the caller already let the file go.
    graph.close();
    ASSERT_EQ(graph.build(params(dir.filePath(u"b.avi"_s), u"MJPEG Compressor"_s)),
              RecordBuild::Running);
    QCoreApplication::processEvents();
    EXPECT_FALSE(spy.wait(300));
    graph.close();
}

}  // namespace

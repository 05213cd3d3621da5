// The capture pipeline with URI cameras: frames of the chosen format reach the
// hand-off upright in our bottom-up order, and every way of closing is safe.

#include "capture/capture_graph.h"
#include "capture/grabber_callback.h"
#include "media/uri_camera.h"
#include "tests/support/http_camera.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QUrl>

#include <gst/gst.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

using namespace kv;

namespace {

class CaptureGraphTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = QDir::currentPath();
        QDir::setCurrent(home_.path());
    }
    void TearDown() override {
        graph_.close();
        media::clearUriCameras();
        QDir::setCurrent(previous_);
    }

    void cameras(const media::CameraPairs& pairs) { media::setCommandLineCameras(pairs); }

    // Lets frames through the hand-off until count notifications arrived.
    bool waitForFrames(int count, int timeout_ms = 10000) {
        grabber_.setInterval(0);
        grabber_.setEnabled(true);
        QElapsedTimer timer;
        timer.start();
        while (notified_ < count && timer.elapsed() < timeout_ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return notified_ >= count;
    }

    test::TempHome home_;
    QString previous_;
    std::atomic<int> notified_{0};
    capture::TGrabberCallback grabber_{1125, [this] { ++notified_; }};
    capture::CaptureGraph graph_{grabber_};
};

TEST_F(CaptureGraphTest, DeliversTheChosenFormatUprightInBottomUpRows) {
    cameras({{QStringLiteral("Bars"), QStringLiteral("test:smpte")}});
    QString name = QStringLiteral("Bars");
    // Formats of a test camera: native 640x480 first, then smaller ones; take 320x240.
    QSignalSpy formatReady(&graph_, &capture::CaptureGraph::formatReady);
    ASSERT_EQ(graph_.build(name, -1, 2, false), capture::CaptureBuild::Running);
    EXPECT_FALSE(graph_.formatKnown());  // the camera is not waited for
    ASSERT_TRUE(waitForFrames(2));
    EXPECT_EQ(formatReady.count(), 1);
    const media::BITMAPINFOHEADER format = grabber_.format().bmiHeader;
    EXPECT_EQ(format.biWidth, 320);
    EXPECT_EQ(format.biHeight, 240);
    EXPECT_EQ(format.biBitCount, 24);
    EXPECT_EQ(format.biSizeImage, 320u * 3 * 240);

    const auto frames = grabber_.lockForRead();
    ASSERT_TRUE(frames.hasBuffers());
    const std::uint8_t* newest = frames.newest();
    const std::size_t stride = 320 * 3;
    // The bars start white at the top-left; the last stored row is the top of the picture.
    const std::uint8_t* top = newest + 239 * stride;
    EXPECT_GT(top[0], 240);
    EXPECT_GT(top[1], 240);
    EXPECT_GT(top[2], 240);
    // The bottom row of the bars starts with a dark blue, nothing like the top.
    const std::uint8_t* bottom = newest;
    EXPECT_LT(bottom[1], 100);
}

// A camera at 30 frames a second, throttled to RecInterval 200 and 40 at once:
// the rates are the intervals', not the interval plus up to a camera frame.
TEST_F(CaptureGraphTest, TheThrottleKeepsTheIntervalsRateOnALiveCamera) {
    struct Throttled {
        explicit Throttled(std::uint32_t interval_ms) : interval(interval_ms) {}
        std::uint32_t interval;
        std::mutex mutex;
        std::vector<qint64> times_ms;
        QElapsedTimer clock;
        capture::TGrabberCallback grabber{1125, [this] {
                                              std::lock_guard lock(mutex);
                                              times_ms.push_back(clock.elapsed());
                                          }};
        capture::CaptureGraph graph{grabber};
    };
    cameras({{QStringLiteral("A"), QStringLiteral("test:ball?width=160&height=120&framerate=30")},
             {QStringLiteral("B"), QStringLiteral("test:ball?width=160&height=120&framerate=30")}});
    Throttled slow(200);
    Throttled fast(40);
    for (Throttled* t : {&slow, &fast}) {
        t->clock.start();
        QString name = t == &slow ? QStringLiteral("A") : QStringLiteral("B");
        ASSERT_EQ(t->graph.build(name, -1, 0, false), capture::CaptureBuild::Running);
        t->grabber.setInterval(t->interval);
        t->grabber.setEnabled(true);
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 23000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    for (Throttled* t : {&slow, &fast}) {
        t->graph.close();
        std::lock_guard lock(t->mutex);
        ASSERT_FALSE(t->times_ms.empty());
        // Frames within 20 s from the first one that was notified.
        const qint64 first = t->times_ms.front();
        const auto within = std::count_if(t->times_ms.begin(), t->times_ms.end(),
                                          [first](qint64 ms) { return ms - first < 20000; });
        const double expected = 20000.0 / t->interval;
        EXPECT_NEAR(double(within), expected, expected / 50) << "at RecInterval " << t->interval;
    }
}

TEST_F(CaptureGraphTest, DisabledFramesAreNeverCopied) {
    cameras({{QStringLiteral("Ball"), QStringLiteral("test:ball?width=160&height=120")}});
    QString name;
    ASSERT_EQ(graph_.build(name, 0, 0, false), capture::CaptureBuild::Running);
    grabber_.setInterval(0);
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 500) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_EQ(notified_, 0);
    EXPECT_GT(grabber_.lastSlot(), 0u);  // frames still passed the throttle
}

TEST_F(CaptureGraphTest, GraphLogOnlyWithDebug) {
    cameras({{QStringLiteral("Ball"), QStringLiteral("test:ball?width=160&height=120")}});
    QString name;
    ASSERT_EQ(graph_.build(name, 0, 0, false), capture::CaptureBuild::Running);
    graph_.close();
    EXPECT_FALSE(QFile::exists(QStringLiteral("CAPTURE.TXT")));

    ASSERT_EQ(graph_.build(name, 0, 0, true), capture::CaptureBuild::Running);
    ASSERT_TRUE(QFile::exists(QStringLiteral("CAPTURE.TXT")));
    const qint64 first = QFileInfo(QStringLiteral("CAPTURE.TXT")).size();
    EXPECT_GT(first, 0);
    ASSERT_TRUE(waitForFrames(3));
    // Closed once the graph runs: frames add nothing to it.
    EXPECT_EQ(QFileInfo(QStringLiteral("CAPTURE.TXT")).size(), first);
    graph_.close();

    QFile::resize(QStringLiteral("CAPTURE.TXT"), 0);
    ASSERT_EQ(graph_.build(name, 0, 0, true), capture::CaptureBuild::Running);
    EXPECT_GT(QFileInfo(QStringLiteral("CAPTURE.TXT")).size(), 0);  // recreated
}

TEST_F(CaptureGraphTest, NoCameraAndRepeatedClosesAreSafe) {
    cameras({});
    QString name = QStringLiteral("Gone");
    EXPECT_EQ(graph_.build(name, -1, 0, false), capture::CaptureBuild::NoCaptureDevice);
    EXPECT_TRUE(name.isEmpty());  // a name no camera bears is forgotten
    EXPECT_FALSE(graph_.exists());
    graph_.close();
    graph_.close();

    cameras({{QStringLiteral("Ball"), QStringLiteral("test:ball?width=160&height=120")}});
    EXPECT_EQ(graph_.build(name, 5, 0, false), capture::CaptureBuild::NoCaptureDevice);
    EXPECT_EQ(graph_.build(name, -2, 0, false), capture::CaptureBuild::NoCaptureDevice);
    ASSERT_EQ(graph_.build(name, 0, 0, false), capture::CaptureBuild::Running);
    graph_.close();
    graph_.close();
    EXPECT_FALSE(grabber_.hasBuffers());
    EXPECT_FALSE(grabber_.enabled());
}

TEST_F(CaptureGraphTest, ANameInAnotherLetterCaseSurvivesButMatchesNoCamera) {
    cameras({{QStringLiteral("Ball"), QStringLiteral("test:ball?width=160&height=120")}});
    QString name = QStringLiteral("ball");
    EXPECT_EQ(graph_.build(name, -1, 0, false), capture::CaptureBuild::NoCaptureDevice);
    EXPECT_EQ(name, QStringLiteral("ball"));
}

TEST_F(CaptureGraphTest, ABrokenFileCameraIsReportedLost) {
    // A camera file that is not a video: the camera fails once it starts.
    const QString path = home_.path() + QStringLiteral("/camera.avi");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is not a video at all");
    file.close();
    cameras({{QStringLiteral("File"), QStringLiteral("file://") + path}});
    QSignalSpy lost(&graph_, &capture::CaptureGraph::cameraLost);
    QString name;
    ASSERT_EQ(graph_.build(name, 0, 0, false), capture::CaptureBuild::Running);
    QElapsedTimer timer;
    timer.start();
    while (!graph_.lost() && timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_TRUE(graph_.lost());
    EXPECT_GE(lost.count(), 1);
}

// Every frame a JPEG file or network camera sends is read, but only the
// frames the throttle admits are decoded. The hand-off rules hold as for any
// camera: the first admitted frame primes the second buffer without an event,
// then one event per admitted frame, each into the other buffer.
TEST_F(CaptureGraphTest, JpegCamerasDecodeOnlyTheFramesTheThrottleAdmits) {
    const QString clip = home_.path() + QStringLiteral("/clip.avi");
    const QString launch = QStringLiteral(
                               "videotestsrc num-buffers=50 pattern=ball ! "
                               "video/x-raw,width=320,height=240,framerate=25/1 ! jpegenc ! "
                               "avimux ! filesink location=\"%1\"")
                               .arg(clip);
    ASSERT_EQ(QProcess::execute(QStringLiteral("gst-launch-1.0"),
                                QProcess::splitCommand(QStringLiteral("-q ") + launch)),
              0);
    test::HttpCamera network(QSize(320, 240), 25);
    ASSERT_TRUE(network.isListening());

    for (const QString& uri : {QUrl::fromLocalFile(clip).toString(), network.url()}) {
        SCOPED_TRACE(uri.toStdString());
        std::mutex mutex;
        std::vector<int> indexes;  // the buffer that received each announced frame
        std::atomic<int> decoded{0};
        capture::TGrabberCallback* announcing = nullptr;
        capture::TGrabberCallback grabber{1125, [&] {
                                              std::lock_guard lock(mutex);
                                              indexes.push_back(announcing->index());
                                          }};
        announcing = &grabber;
        capture::CaptureGraph graph{grabber};
        cameras({{QStringLiteral("Jpeg"), uri}});
        QString name = QStringLiteral("Jpeg");
        ASSERT_EQ(graph.build(name, -1, 0, false), capture::CaptureBuild::Running);
        // Count what leaves the camera's JPEG decoder.
        media::Element decoder;
        GstIterator* it = gst_bin_iterate_recurse(GST_BIN(graph.camera()));
        GValue item = G_VALUE_INIT;
        while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
            auto* element = GST_ELEMENT(g_value_get_object(&item));
            GstElementFactory* factory = gst_element_get_factory(element);
            if (factory && g_str_equal(GST_OBJECT_NAME(factory), "jpegdec")) {
                decoder = media::share(element);
            }
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(it);
        ASSERT_TRUE(decoder) << "the camera does not decode JPEG itself";
        media::Pad decoderOutput = media::adopt(gst_element_get_static_pad(decoder.get(), "src"));
        gst_pad_add_probe(
            decoderOutput.get(), GST_PAD_PROBE_TYPE_BUFFER,
            [](GstPad*, GstPadProbeInfo*, gpointer count) {
                ++*static_cast<std::atomic<int>*>(count);
                return GST_PAD_PROBE_OK;
            },
            &decoded, nullptr);

        // As the program does: the hand-off is enabled once the format is known,
        // which a decoder behind the throttle learns only from a frame.
        QObject::connect(&graph, &capture::CaptureGraph::formatReady,
                         [&grabber] { grabber.setEnabled(true); });
        grabber.setInterval(250);
        QElapsedTimer timer;
        timer.start();
        while (!grabber.enabled() && timer.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        ASSERT_TRUE(grabber.enabled()) << "the format never became known";
        const int decodedBefore = decoded.load();
        timer.restart();
        while (timer.elapsed() < 3000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        grabber.setEnabled(false);
        const int decodedWhileEnabled = decoded.load() - decodedBefore;
        std::vector<int> announced;
        {
            std::lock_guard lock(mutex);
            announced = indexes;
        }
        {
            // The newest frame is a picture, not an empty buffer.
            const auto frames = grabber.lockForRead();
            ASSERT_TRUE(frames.hasBuffers());
            const std::uint8_t* newest = frames.newest();
            EXPECT_GT(*std::max_element(newest, newest + 320 * 3 * 240), 100);
        }
        graph.close();
        const int events = int(announced.size());
        // About 12 slots of 250 ms in 3 s: the priming frame, then 11 events.
        EXPECT_GE(events, 8);
        EXPECT_LE(events, 13);
        for (std::size_t i = 1; i < announced.size(); ++i) {
            EXPECT_NE(announced[i], announced[i - 1]) << "event " << i;
        }
        // One decode per admitted frame, never the 75 the camera sent: the
        // events, the priming frame and at most one in flight.
        EXPECT_GE(decodedWhileEnabled, events);
        EXPECT_LE(decodedWhileEnabled, events + 2);
        media::clearUriCameras();
    }
}

}  // namespace

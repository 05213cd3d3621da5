#include "capture/grabber_callback.h"
#include "media/clock.h"
#include "media/gst_handle.h"
#include "media/media_sample.h"
#include "media/window_messages.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

using kv::capture::TGrabberCallback;
using namespace kv::media;

namespace {

constexpr std::uint32_t kTop = 0xffffffffu;  // the last tick before the count wraps

// A delivered frame held in plain memory.
class MemorySample final : public MediaSample {
  public:
    explicit MemorySample(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    const std::uint8_t* pointer() const override { return bytes_.data(); }
    std::size_t size() const override { return bytes_.size(); }

  private:
    std::vector<std::uint8_t> bytes_;
};

// A clock that moves on by a fixed step every time it is read, to tell the
// throttle's two readings apart.
class SteppingClock final : public Clock {
  public:
    SteppingClock(std::uint32_t start, std::uint32_t step) : tick_(start), step_(step) {}
    std::uint32_t tickCount() const override {
        const std::uint32_t tick = tick_;
        tick_ += step_;
        return tick;
    }
    QDateTime now() const override { return {}; }

  private:
    mutable std::uint32_t tick_;
    std::uint32_t step_;
};

constexpr int kWidth = 4;
constexpr int kHeight = 3;
constexpr int kStride = 12;

// A top-down frame whose byte at (row, column) is fill + row * 16 + column.
std::vector<std::uint8_t> topDownFrame(std::uint8_t fill, std::size_t bytes = kStride * kHeight) {
    std::vector<std::uint8_t> frame(bytes);
    for (std::size_t i = 0; i < bytes; ++i) {
        frame[i] = std::uint8_t(fill + (i / kStride) * 16 + i % kStride);
    }
    return frame;
}

class GrabberCallbackTest : public ::testing::Test {
  protected:
    GrabberCallbackTest()
        : grabber(
              WM_NEWFRAME, [this] { ++posts; }, clock) {
        grabber.setFormat(makeFrameHeader(kWidth, kHeight));
        EXPECT_TRUE(grabber.createBuffers());
        grabber.setEnabled(true);
    }

    // One frame at the given tick; true when it was taken (the index moved).
    bool frameAt(std::uint32_t tick, std::uint8_t fill = 0) {
        clock.setTick(tick);
        const int before = grabber.index();
        const std::uint32_t lastBefore = grabber.lastTick();
        grabber.SampleCB(0.0, MemorySample(topDownFrame(fill)));
        const bool passed = grabber.lastTick() != lastBefore;
        EXPECT_EQ(passed && grabber.enabled(), grabber.index() != before);
        return passed;
    }

    std::vector<std::uint8_t> bufferBytes(int i) {
        auto lock = grabber.lockForRead();
        const std::uint8_t* p = lock.buffer(i);
        return std::vector<std::uint8_t>(p, p + lock.format().biSizeImage);
    }

    ManualClock clock;
    int posts = 0;
    TGrabberCallback grabber;
};

TEST_F(GrabberCallbackTest, StartsAsTheOwnerLeavesIt) {
    TGrabberCallback fresh(WM_NEWFRAME, TGrabberCallback::Notifier{}, clock);
    EXPECT_FALSE(fresh.enabled());
    EXPECT_EQ(fresh.interval(), 1000u);
    EXPECT_EQ(fresh.lastTick(), 0u);
    EXPECT_EQ(fresh.index(), 0);
    EXPECT_FALSE(fresh.ready());
    EXPECT_FALSE(fresh.hasBuffers());
    EXPECT_EQ(fresh.notifyMessage(), 1125);
    const auto& format = fresh.format();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&format);
    EXPECT_EQ(std::count(bytes, bytes + sizeof(BITMAPINFO), 0), 44);
}

TEST_F(GrabberCallbackTest, FirstFrameIsTakenAtOnce) {
    EXPECT_TRUE(frameAt(1001));
    EXPECT_EQ(grabber.lastTick(), 1001u);
    EXPECT_EQ(grabber.index(), 1);
}

TEST(GrabberCallbackClock, LastTickIsTheSecondReading) {
    SteppingClock clock(5000, 7);
    TGrabberCallback grabber(WM_NEWFRAME, TGrabberCallback::Notifier{}, clock);
    grabber.BufferCB(0.0, nullptr, 0);
    EXPECT_EQ(grabber.lastTick(), 5007u);
}

struct ThrottleRow {
    const char* name;
    std::uint32_t last;
    std::uint32_t interval;
    std::uint32_t next;
    bool taken;
};

class Throttle : public GrabberCallbackTest, public ::testing::WithParamInterface<ThrottleRow> {};

TEST_P(Throttle, TakesAFrameOnlyWhenMoreThanTheIntervalHasPassed) {
    const ThrottleRow& row = GetParam();
    grabber.setInterval(row.interval);
    ASSERT_TRUE(frameAt(row.last));
    EXPECT_EQ(frameAt(row.next), row.taken);
    EXPECT_EQ(grabber.lastTick(), row.taken ? row.next : row.last);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Throttle,
    ::testing::Values(ThrottleRow{"SameTick", 5000, 1000, 5000, false},
                      ThrottleRow{"ExactlyTheInterval", 5000, 1000, 6000, false},
                      ThrottleRow{"OneMillisecondMore", 5000, 1000, 6001, true},
                      ThrottleRow{"FortyMilliseconds", 5000, 40, 5041, true},
                      ThrottleRow{"ZeroIntervalNextTick", 5000, 0, 5001, true},
                      ThrottleRow{"ZeroIntervalSameTick", 5000, 0, 5000, false},
                      // Across the wrap at 2^32 the elapsed time is what counts.
                      ThrottleRow{"BeforeWrapTooSoon", kTop - 99, 1000, kTop - 49, false},
                      ThrottleRow{"AfterWrapTooSoon", kTop - 99, 1000, 900, false},
                      ThrottleRow{"AfterWrapJustLongEnough", kTop - 99, 1000, 901, true},
                      ThrottleRow{"AfterWrapLongAfter", kTop - 1009, 1000, 20, true},
                      ThrottleRow{"LastTickIsTheTop", kTop, 200, 200, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GrabberCallbackTest, DisabledFramesStillSpendTheInterval) {
    grabber.setEnabled(false);
    EXPECT_TRUE(frameAt(5000));
    EXPECT_EQ(grabber.index(), 0);
    grabber.setEnabled(true);
    EXPECT_FALSE(frameAt(5900));
    EXPECT_FALSE(frameAt(6000));
    EXPECT_TRUE(frameAt(6001));
    EXPECT_EQ(grabber.index(), 1);
    EXPECT_EQ(posts, 0);
}

TEST_F(GrabberCallbackTest, PrimesThenPostsOncePerFrame) {
    EXPECT_TRUE(frameAt(2000, 1));
    EXPECT_EQ(grabber.index(), 1);
    EXPECT_FALSE(grabber.ready());
    EXPECT_EQ(posts, 0);

    EXPECT_TRUE(frameAt(3500, 2));
    EXPECT_EQ(grabber.index(), 0);
    EXPECT_TRUE(grabber.ready());
    EXPECT_EQ(posts, 1);
    {
        auto lock = grabber.lockForRead();
        EXPECT_EQ(lock.index(), 0);
        EXPECT_EQ(lock.newest(), lock.buffer(0));
        EXPECT_EQ(lock.previous(), lock.buffer(1));
        // Bottom stored row is the top row of the picture that arrived: fill + 2 * 16.
        EXPECT_EQ(lock.newest()[0], 2 + 2 * 16);
        EXPECT_EQ(lock.previous()[0], 1 + 2 * 16);
    }
    EXPECT_FALSE(frameAt(4000, 3));
    EXPECT_EQ(posts, 1);
    EXPECT_TRUE(frameAt(5000, 3));
    EXPECT_EQ(grabber.index(), 1);
    EXPECT_EQ(posts, 2);
    EXPECT_TRUE(frameAt(6001, 4));
    EXPECT_EQ(posts, 3);
}

TEST_F(GrabberCallbackTest, RecordingStopStartsPrimingAgain) {
    EXPECT_TRUE(frameAt(2000));
    EXPECT_TRUE(frameAt(3001));
    EXPECT_TRUE(frameAt(4002));
    EXPECT_EQ(posts, 2);
    grabber.setEnabled(false);
    grabber.resetReady();
    grabber.resetIndex();
    grabber.setInterval(200);
    grabber.setEnabled(true);
    EXPECT_TRUE(frameAt(5000));
    EXPECT_EQ(grabber.index(), 1);
    EXPECT_EQ(posts, 2);
    EXPECT_TRUE(frameAt(5201));
    EXPECT_EQ(posts, 3);
}

TEST_F(GrabberCallbackTest, TeardownWithoutStopPrimesFromTheCurrentBuffer) {
    EXPECT_TRUE(frameAt(2000));
    EXPECT_EQ(grabber.index(), 1);
    grabber.setEnabled(false);
    grabber.resetReady();
    grabber.setEnabled(true);
    // Index 1 sets ready at once: this frame completes a pair with the old one.
    EXPECT_TRUE(frameAt(3001));
    EXPECT_EQ(grabber.index(), 0);
    EXPECT_EQ(posts, 1);
}

TEST_F(GrabberCallbackTest, WithoutBuffersFramesAreDroppedButTheIndexMoves) {
    grabber.deleteBuffers();
    EXPECT_FALSE(grabber.hasBuffers());
    EXPECT_TRUE(frameAt(2000));
    EXPECT_EQ(grabber.index(), 1);
    EXPECT_TRUE(frameAt(3001));
    EXPECT_EQ(grabber.index(), 0);
    EXPECT_TRUE(frameAt(4002));
    EXPECT_EQ(grabber.index(), 1);
    EXPECT_EQ(posts, 0);
    auto lock = grabber.lockForRead();
    EXPECT_FALSE(lock.hasBuffers());
    EXPECT_EQ(lock.newest(), nullptr);
}

TEST_F(GrabberCallbackTest, RefusesBuffersForAFormatThatIsNoFrame) {
    BITMAPINFOHEADER header = makeFrameHeader(kWidth, kHeight);
    header.biBitCount = 32;
    grabber.setFormat(header);
    EXPECT_FALSE(grabber.createBuffers());
    EXPECT_FALSE(grabber.hasBuffers());
    grabber.setFormat(makeFrameHeader(0, 240));
    EXPECT_FALSE(grabber.createBuffers());
    header = makeFrameHeader(kWidth, kHeight);
    header.biSizeImage -= 1;
    grabber.setFormat(header);
    EXPECT_FALSE(grabber.createBuffers());
}

TEST_F(GrabberCallbackTest, SetFormatClearsTheWholeFormatFirst) {
    BITMAPINFOHEADER header = makeFrameHeader(8, 2);
    grabber.setFormat(header);
    EXPECT_EQ(std::memcmp(&grabber.format().bmiHeader, &header, sizeof header), 0);
    const RGBQUAD& colour = grabber.format().bmiColors[0];
    EXPECT_EQ(colour.rgbBlue | colour.rgbGreen | colour.rgbRed | colour.rgbReserved, 0);
    EXPECT_TRUE(grabber.createBuffers());
    EXPECT_EQ(grabber.lockForRead().format().biSizeImage, 48u);
}

TEST_F(GrabberCallbackTest, CopiesRowsBottomUp) {
    ASSERT_TRUE(frameAt(2000, 100));
    const std::vector<std::uint8_t> source = topDownFrame(100);
    const std::vector<std::uint8_t> stored = bufferBytes(1);
    ASSERT_EQ(stored.size(), source.size());
    for (int row = 0; row < kHeight; ++row) {
        EXPECT_EQ(std::memcmp(stored.data() + (kHeight - 1 - row) * kStride,
                              source.data() + row * kStride, kStride),
                  0)
            << "source row " << row;
    }
}

TEST_F(GrabberCallbackTest, CutsASampleLargerThanTheImage) {
    std::vector<std::uint8_t> source = topDownFrame(10, kStride * kHeight + 100);
    clock.setTick(2000);
    grabber.SampleCB(0.0, MemorySample(source));
    ASSERT_EQ(grabber.index(), 1);
    source.resize(kStride * kHeight);
    const std::vector<std::uint8_t> stored = bufferBytes(1);
    EXPECT_EQ(std::memcmp(stored.data(), source.data() + 2 * kStride, kStride), 0);
    EXPECT_EQ(std::memcmp(stored.data() + 2 * kStride, source.data(), kStride), 0);
}

TEST_F(GrabberCallbackTest, CopiesOnlyTheWholeRowsOfAShortSample) {
    const std::vector<std::uint8_t> source = topDownFrame(10, kStride + kStride / 2);
    clock.setTick(2000);
    grabber.BufferCB(0.0, source.data(), source.size());
    ASSERT_EQ(grabber.index(), 1);
    const std::vector<std::uint8_t> stored = bufferBytes(1);
    // The picture's top row lands in the last stored row; the rest is untouched.
    EXPECT_EQ(std::memcmp(stored.data() + 2 * kStride, source.data(), kStride), 0);
    EXPECT_EQ(std::count(stored.begin(), stored.begin() + 2 * kStride, 0), 2 * kStride);
}

TEST_F(GrabberCallbackTest, BuffersKeepTheirFormatWhenTheFormatChanges) {
    grabber.setFormat(makeFrameHeader(64, 48));  // no new buffers yet
    const std::vector<std::uint8_t> big(frameStride(64) * 48, 0x5a);
    clock.setTick(2000);
    grabber.BufferCB(0.0, big.data(), big.size());
    auto lock = grabber.lockForRead();
    EXPECT_EQ(lock.format().biWidth, kWidth);
    EXPECT_EQ(lock.format().biSizeImage, std::uint32_t(kStride * kHeight));
    EXPECT_EQ(lock.buffer(1)[0], 0x5a);
}

TEST_F(GrabberCallbackTest, TakesAMappedGStreamerBuffer) {
    const std::vector<std::uint8_t> source = topDownFrame(7);
    Buffer buffer = adopt(gst_buffer_new_allocate(nullptr, source.size(), nullptr));
    ASSERT_TRUE(buffer);
    gst_buffer_fill(buffer.get(), 0, source.data(), source.size());
    Caps caps = adopt(gst_caps_from_string("video/x-raw,format=BGR,width=4,height=3"));
    Sample sample = adopt(gst_sample_new(buffer.get(), caps.get(), nullptr, nullptr));
    {
        MappedGstSample mapped(sample.get());
        ASSERT_TRUE(mapped.isMapped());
        EXPECT_EQ(mapped.size(), source.size());
        clock.setTick(2000);
        grabber.SampleCB(0.0, mapped);
    }
    const std::vector<std::uint8_t> stored = bufferBytes(1);
    EXPECT_EQ(std::memcmp(stored.data(), source.data() + 2 * kStride, kStride), 0);

    MappedGstSample empty(static_cast<GstSample*>(nullptr));
    EXPECT_EQ(empty.pointer(), nullptr);
    EXPECT_EQ(empty.size(), 0u);
}

TEST_F(GrabberCallbackTest, AdmitsBeforeConversionAndDeliversAfter) {
    clock.setTick(2000);
    EXPECT_TRUE(grabber.admit());
    EXPECT_EQ(grabber.index(), 0);  // nothing stored until delivered
    grabber.deliver(MemorySample(topDownFrame(1)));
    EXPECT_EQ(grabber.index(), 1);
    EXPECT_EQ(bufferBytes(1)[0], 1 + 2 * 16);

    clock.setTick(3000);
    EXPECT_FALSE(grabber.admit());  // exactly the interval
    clock.setTick(3001);
    EXPECT_TRUE(grabber.admit());
    grabber.deliver(MemorySample(topDownFrame(2)));
    EXPECT_EQ(grabber.index(), 0);
    EXPECT_EQ(posts, 1);

    grabber.setEnabled(false);
    clock.setTick(4002);
    EXPECT_FALSE(grabber.admit());
    EXPECT_EQ(grabber.lastTick(), 4002u);  // the throttle is spent all the same
    // A frame admitted before the stop and delivered after it is not stored.
    grabber.deliver(MemorySample(topDownFrame(3)));
    EXPECT_EQ(grabber.index(), 0);
    EXPECT_EQ(posts, 1);
}

class FrameReceiver : public QObject {
  public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::Type(WM_NEWFRAME)) {
            const auto* message = static_cast<MessageEvent*>(event);
            EXPECT_EQ(message->wParam(), 0);
            EXPECT_EQ(message->lParam(), 0);
            ++frames;
            return true;
        }
        return QObject::event(event);
    }
    int frames = 0;
};

TEST(GrabberCallbackEvents, PostsTheNotifyMessageToTheReceiver) {
    ManualClock clock;
    FrameReceiver receiver;
    TGrabberCallback grabber(WM_NEWFRAME, &receiver, clock);
    grabber.setFormat(makeFrameHeader(kWidth, kHeight));
    ASSERT_TRUE(grabber.createBuffers());
    grabber.setEnabled(true);
    const std::vector<std::uint8_t> frame = topDownFrame(0);
    for (std::uint32_t tick : {2000u, 3001u, 4002u}) {
        clock.setTick(tick);
        grabber.BufferCB(0.0, frame.data(), frame.size());
    }
    EXPECT_EQ(receiver.frames, 0);  // posted, not sent
    QCoreApplication::sendPostedEvents(&receiver);
    EXPECT_EQ(receiver.frames, 2);
}

}  // namespace

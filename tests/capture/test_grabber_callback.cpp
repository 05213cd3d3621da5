#include "capture/grabber_callback.h"
#include "media/clock.h"
#include "media/gst_handle.h"
#include "media/media_sample.h"
#include "media/message_event.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
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
              kv::capture::WM_NEWFRAME, [this] { ++posts; }, clock) {
        grabber.setFormat(makeFrameHeader(kWidth, kHeight));
        EXPECT_TRUE(grabber.createBuffers());
        grabber.setEnabled(true);
    }

    // One frame at the given tick; true when it was taken (the index moved).
    bool frameAt(std::uint32_t tick, std::uint8_t fill = 0) {
        clock.setTick(tick);
        const int before = grabber.index();
        const std::uint32_t slotBefore = grabber.lastSlot();
        grabber.SampleCB(0.0, MemorySample(topDownFrame(fill)));
        const bool passed = grabber.lastSlot() != slotBefore;
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
    TGrabberCallback fresh(kv::capture::WM_NEWFRAME, TGrabberCallback::Notifier{}, clock);
    EXPECT_FALSE(fresh.enabled());
    EXPECT_EQ(fresh.interval(), 1000u);
    EXPECT_EQ(fresh.lastSlot(), 0u);
    EXPECT_EQ(fresh.index(), 0);
    EXPECT_FALSE(fresh.ready());
    EXPECT_FALSE(fresh.hasBuffers());
    EXPECT_EQ(fresh.notifyMessage(), 1125);
    const auto& format = fresh.format();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&format);
    EXPECT_EQ(std::count(bytes, bytes + sizeof(BITMAPINFO), 0), 44);
}

TEST_F(GrabberCallbackTest, FirstFrameIsTakenAtOnceAndStartsTheGrid) {
    EXPECT_TRUE(frameAt(500));  // even sooner than one interval after tick 0
    EXPECT_EQ(grabber.lastSlot(), 500u);
    EXPECT_EQ(grabber.index(), 1);
    EXPECT_FALSE(frameAt(1499));
    EXPECT_TRUE(frameAt(1500));  // the due slot itself
    EXPECT_TRUE(frameAt(2533));  // late by a camera frame: the grid stays
    EXPECT_EQ(grabber.lastSlot(), 2500u);
    EXPECT_FALSE(frameAt(3499));
    EXPECT_TRUE(frameAt(3500));
}

// The ticks of the frames a camera of the given period delivers from start
// for duration_ms, and the ticks of those the throttle takes.
struct Cadence {
    std::vector<std::uint32_t> taken;
    std::size_t delivered = 0;
};

Cadence runCamera(TGrabberCallback& grabber, ManualClock& clock, std::uint32_t start,
                  double period_ms, double duration_ms) {
    Cadence cadence;
    for (double t = 0; t < duration_ms; t += period_ms) {
        const std::uint32_t tick = start + std::uint32_t(t);
        clock.setTick(tick);
        if (grabber.admit()) {
            cadence.taken.push_back(tick);
        }
        ++cadence.delivered;
    }
    return cadence;
}

struct CadenceRow {
    const char* name;
    std::uint32_t interval;
    double period_ms;  // the camera's
    std::uint32_t start;
    std::size_t expected;  // frames taken in 20 s
};

class ThrottleCadence : public GrabberCallbackTest,
                        public ::testing::WithParamInterface<CadenceRow> {};

TEST_P(ThrottleCadence, KeepsTheIntervalsRate) {
    const CadenceRow& row = GetParam();
    grabber.setInterval(row.interval);
    const Cadence cadence = runCamera(grabber, clock, row.start, row.period_ms, 20000);
    EXPECT_NEAR(double(cadence.taken.size()), double(row.expected), 1.0);
    // No two frames closer than the interval less one camera frame.
    for (std::size_t i = 1; i < cadence.taken.size(); ++i) {
        const std::uint32_t gap = cadence.taken[i] - cadence.taken[i - 1];
        EXPECT_GT(double(gap) + row.period_ms, double(row.interval));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ThrottleCadence,
    ::testing::Values(CadenceRow{"Camera30Interval200", 200, 1000.0 / 30, 7, 100},
                      CadenceRow{"Camera30Interval40", 40, 1000.0 / 30, 7, 500},
                      CadenceRow{"Camera30Interval1000", 1000, 1000.0 / 30, 7, 20},
                      CadenceRow{"Camera25Interval40", 40, 40, 7, 500},
                      // Across the wrap at 2^32 the grid goes on unbroken.
                      CadenceRow{"AcrossTheWrap", 200, 1000.0 / 30, kTop - 9999, 100},
                      // A camera slower than the interval: each of its frames
                      // is taken, none twice, and no burst follows.
                      CadenceRow{"CameraSlowerThanTheInterval", 40, 100, 7, 200},
                      CadenceRow{"CameraAsSlowAsTheInterval", 200, 200, 7, 100}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GrabberCallbackTest, ACameraThatStallsIsFollowedWithoutABurst) {
    grabber.setInterval(200);
    Cadence before = runCamera(grabber, clock, 1000, 1000.0 / 30, 2000);
    ASSERT_EQ(before.taken.size(), 10u);
    // Five seconds without a frame, then the camera resumes.
    Cadence after = runCamera(grabber, clock, 8000, 1000.0 / 30, 2000);
    ASSERT_FALSE(after.taken.empty());
    EXPECT_EQ(after.taken.front(), 8000u);  // taken at once, on a new grid
    EXPECT_EQ(after.taken.size(), 10u);
    for (std::size_t i = 0; i < after.taken.size(); ++i) {
        // The first camera frame at or after each slot of the new grid.
        EXPECT_GE(after.taken[i], 8000u + 200u * i);
        EXPECT_LT(after.taken[i], 8000u + 200u * i + 34u);
    }
}

TEST_F(GrabberCallbackTest, ALongerIntervalWaitsFromTheLastSlotAndAShorterOneResyncs) {
    grabber.setInterval(200);
    EXPECT_TRUE(frameAt(1000));
    grabber.setInterval(1000);
    EXPECT_FALSE(frameAt(1900));
    EXPECT_TRUE(frameAt(2000));
    grabber.setInterval(40);
    // Far past the next 40 ms slot: one frame now, then every 40 ms.
    EXPECT_TRUE(frameAt(2500));
    EXPECT_FALSE(frameAt(2530));
    EXPECT_TRUE(frameAt(2540));
}

TEST_F(GrabberCallbackTest, DisabledFramesStillSpendTheInterval) {
    grabber.setEnabled(false);
    EXPECT_TRUE(frameAt(5000));
    EXPECT_EQ(grabber.index(), 0);
    grabber.setEnabled(true);
    EXPECT_FALSE(frameAt(5900));
    EXPECT_FALSE(frameAt(5999));
    EXPECT_TRUE(frameAt(6000));
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
    EXPECT_FALSE(frameAt(3999, 3));  // the slot after 3000's
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

    clock.setTick(2999);
    EXPECT_FALSE(grabber.admit());  // before the next slot
    clock.setTick(3000);
    EXPECT_TRUE(grabber.admit());
    grabber.deliver(MemorySample(topDownFrame(2)));
    EXPECT_EQ(grabber.index(), 0);
    EXPECT_EQ(posts, 1);

    grabber.setEnabled(false);
    clock.setTick(4002);
    EXPECT_FALSE(grabber.admit());
    EXPECT_EQ(grabber.lastSlot(), 4000u);  // the slot is spent all the same
    // A frame admitted before the stop and delivered after it is not stored.
    grabber.deliver(MemorySample(topDownFrame(3)));
    EXPECT_EQ(grabber.index(), 0);
    EXPECT_EQ(posts, 1);
}

// What the frame loop does with the newest frame: it keeps the buffer, and
// later frames go elsewhere while the pair alternates as before.
TEST_F(GrabberCallbackTest, AHeldFrameIsNotOverwrittenByLaterFrames) {
    ASSERT_TRUE(frameAt(2000, 1));
    ASSERT_TRUE(frameAt(3000, 2));
    kv::capture::FrameHold held;
    {
        auto lock = grabber.lockForRead();
        held = lock.hold(lock.index());
        EXPECT_EQ(held.pixels(), lock.newest());
    }
    ASSERT_TRUE(held);
    const std::vector<std::uint8_t> frame2(held.pixels(), held.pixels() + kStride * kHeight);
    EXPECT_EQ(frame2[0], 2 + 2 * 16);
    EXPECT_EQ(held.takenTick(), 3000u);  // when the camera's frame came
    // A copy for a frame handled twice: the camera's rows, in a buffer of its own.
    kv::capture::FrameHold copy = grabber.copyOf(held);
    ASSERT_TRUE(copy);
    EXPECT_NE(copy.pixels(), held.pixels());
    EXPECT_EQ(copy.takenTick(), 3000u);
    held.pixels()[kStride] = 0xee;  // the holder may write into it (the stamp)
    kv::capture::FrameHold second = held.share();
    for (std::uint32_t n = 3; n <= 8; ++n) {
        const int before = grabber.index();
        ASSERT_TRUE(frameAt(1000 * (n + 1), std::uint8_t(n)));
        EXPECT_EQ(grabber.index(), 1 - before);  // the pair still alternates
        EXPECT_EQ(posts, int(n) - 1);            // one notification per frame
        auto lock = grabber.lockForRead();
        EXPECT_EQ(lock.newest()[0], n + 2 * 16);
        EXPECT_EQ(lock.previous()[0], n - 1 + 2 * 16);
        EXPECT_NE(lock.newest(), held.pixels());
        // Frame 2 stays the previous one of the pair until frame 4 comes.
        EXPECT_EQ(lock.previous() == held.pixels(), n == 3);
    }
    held.reset();
    EXPECT_FALSE(held);
    // The other hold still keeps it.
    EXPECT_TRUE(frameAt(10000, 9));
    EXPECT_TRUE(frameAt(11000, 10));
    EXPECT_EQ(second.pixels()[0], frame2[0]);
    EXPECT_EQ(second.pixels()[kStride], 0xee);
    EXPECT_EQ(std::memcmp(second.pixels() + 2 * kStride, frame2.data() + 2 * kStride, kStride), 0);
    EXPECT_EQ(std::memcmp(copy.pixels(), frame2.data(), frame2.size()), 0);
}

TEST_F(GrabberCallbackTest, AHoldOutlivesTheBuffersAndTheHandoff) {
    ASSERT_TRUE(frameAt(2000, 5));
    ASSERT_TRUE(frameAt(3000, 6));
    auto other = std::make_unique<TGrabberCallback>(kv::capture::WM_NEWFRAME,
                                                    TGrabberCallback::Notifier{}, clock);
    other->setFormat(makeFrameHeader(kWidth, kHeight));
    ASSERT_TRUE(other->createBuffers());
    other->setEnabled(true);
    clock.setTick(2000);
    other->SampleCB(0.0, MemorySample(topDownFrame(7)));
    kv::capture::FrameHold fromOther = other->lockForRead().hold(1);
    kv::capture::FrameHold held = grabber.lockForRead().hold(grabber.index());
    ASSERT_TRUE(held && fromOther);
    grabber.setFormat(makeFrameHeader(8, 2));
    ASSERT_TRUE(grabber.createBuffers());  // new buffers of another size
    ASSERT_TRUE(frameAt(4000, 8));
    EXPECT_EQ(held.pixels()[0], 6 + 2 * 16);
    grabber.deleteBuffers();
    EXPECT_EQ(held.pixels()[0], 6 + 2 * 16);
    other.reset();
    EXPECT_EQ(fromOther.pixels()[0], 7 + 2 * 16);
    held.reset();
    fromOther.reset();
    // Without buffers nothing can be held.
    EXPECT_FALSE(grabber.lockForRead().hold(0));
}

class FrameReceiver : public QObject {
  public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::Type(kv::capture::WM_NEWFRAME)) {
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
    TGrabberCallback grabber(kv::capture::WM_NEWFRAME, &receiver, clock);
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

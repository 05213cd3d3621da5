#include "capture/grabber_callback.h"
#include "media/clock.h"
#include "media/frame.h"
#include "session/pre_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using kv::capture::FrameHold;
using kv::capture::TGrabberCallback;
using kv::session::PreRecordBuffer;
using namespace kv::media;

namespace {

constexpr int kWidth = 8;
constexpr int kHeight = 4;
constexpr std::size_t kStride = 24;
constexpr std::size_t kBytes = kStride * kHeight;

// A hand-off whose frames are filled with one value each, frame n with n.
class PreRecordTest : public ::testing::Test {
  protected:
    PreRecordTest()
        : grabber(
              kv::capture::WM_NEWFRAME, [] {}, clock) {
        grabber.setFormat(makeFrameHeader(kWidth, kHeight));
        EXPECT_TRUE(grabber.createBuffers());
        grabber.setInterval(0);
        grabber.setEnabled(true);
    }

    // Delivers frame n and holds it, as the frame loop holds the newest.
    FrameHold frame(std::uint8_t n) {
        const std::vector<std::uint8_t> pixels(kBytes, n);
        clock.advance(1);
        grabber.BufferCB(0.0, pixels.data(), pixels.size());
        auto lock = grabber.lockForRead();
        EXPECT_EQ(lock.newest()[0], n);
        return lock.hold(lock.index());
    }

    // Keeps the held frame with its first stored row stamped (every byte
    // 200 + n), then puts the camera's row back, as the frame loop does
    // once the next frame comes.
    void keepStamped(PreRecordBuffer& ring, FrameHold& held, std::uint8_t n) {
        std::uint8_t* pixels = held.pixels();
        std::vector<std::uint8_t> own(pixels, pixels + kStride);
        std::memset(pixels, 200 + n, kStride);
        kv::record::JournalLine line;
        line.motion = n;
        ring.keep(held.share(), kBytes, pixels, 0, kStride, line);
        std::memcpy(pixels, own.data(), kStride);
    }

    ManualClock clock;
    TGrabberCallback grabber;
};

TEST_F(PreRecordTest, KeptFramesAreNotOverwrittenByLaterFramesAndComeOutStamped) {
    PreRecordBuffer ring;
    ring.setCapacity(3);
    for (std::uint8_t n = 1; n <= 5; ++n) {
        FrameHold held = frame(n);
        keepStamped(ring, held, n);
    }
    EXPECT_EQ(ring.count(), 3);
    // Many frames later the pair has gone round many times.
    for (std::uint8_t n = 6; n <= 20; ++n) {
        frame(n);
    }
    std::vector<int> order;
    ring.drain([&](const std::uint8_t* pixels, const kv::record::JournalLine& line) {
        order.push_back(line.motion);
        const std::uint8_t n = std::uint8_t(line.motion);
        for (std::size_t i = 0; i < kBytes; ++i) {
            ASSERT_EQ(pixels[i], i < kStride ? 200 + n : n) << "frame " << int(n) << " byte " << i;
        }
    });
    EXPECT_EQ(order, (std::vector<int>{3, 4, 5}));  // the last three, oldest first
    EXPECT_EQ(ring.count(), 0);
    int pushed = 0;
    ring.drain([&](const std::uint8_t*, const kv::record::JournalLine&) { ++pushed; });
    EXPECT_EQ(pushed, 0);
}

TEST_F(PreRecordTest, APushedFramesBufferGetsItsOwnRowsBack) {
    PreRecordBuffer ring;
    ring.setCapacity(4);
    FrameHold held = frame(7);
    keepStamped(ring, held, 7);
    // The buffer is still the newest of the pair and shown with a later stamp.
    std::memset(held.pixels(), 99, kStride);
    int pushed = 0;
    ring.drain([&](const std::uint8_t* pixels, const kv::record::JournalLine&) {
        EXPECT_EQ(pixels, held.pixels());
        EXPECT_EQ(pixels[0], 207);
        ++pushed;
    });
    EXPECT_EQ(pushed, 1);
    EXPECT_EQ(held.pixels()[0], 99);
    EXPECT_EQ(held.pixels()[kStride - 1], 99);
    EXPECT_EQ(held.pixels()[kStride], 7);
}

TEST_F(PreRecordTest, AFrameOfAnotherSizeEmptiesItFirst) {
    PreRecordBuffer ring;
    ring.setCapacity(4);
    FrameHold a = frame(1);
    keepStamped(ring, a, 1);
    FrameHold b = frame(2);
    keepStamped(ring, b, 2);
    ASSERT_EQ(ring.count(), 2);
    FrameHold c = frame(3);
    kv::record::JournalLine line;
    line.motion = 3;
    ring.keep(c.share(), kBytes - kStride, c.pixels(), 0, kStride, line);
    EXPECT_EQ(ring.count(), 1);
    // A band outside the frame is refused.
    ring.keep(c.share(), kBytes, c.pixels(), kBytes - 1, kStride, line);
    EXPECT_EQ(ring.count(), 1);
    ring.setCapacity(0);
    ring.keep(c.share(), kBytes, c.pixels(), 0, kStride, line);
    EXPECT_EQ(ring.count(), 0);
}

}  // namespace

#include "capture/grabber_callback.h"
#include "media/clock.h"
#include "media/frame.h"
#include "session/pre_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
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

    // Stamps the held frame's first stored row (every byte 200 + n) and keeps
    // it, as the frame loop does; the buffer is not written again.
    void keepStamped(PreRecordBuffer& ring, FrameHold& held, std::uint8_t n) {
        std::memset(held.pixels(), 200 + n, kStride);
        kv::record::JournalLine line;
        line.motion = n;
        ring.keep(held.share(), kBytes, line);
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
    std::vector<FrameHold> pushedHolds;
    ring.drain([&](FrameHold hold, const kv::record::JournalLine& line) {
        const std::uint8_t* pixels = hold.pixels();
        pushedHolds.push_back(std::move(hold));  // the recording keeps them
        order.push_back(line.motion);
        const std::uint8_t n = std::uint8_t(line.motion);
        for (std::size_t i = 0; i < kBytes; ++i) {
            ASSERT_EQ(pixels[i], i < kStride ? 200 + n : n) << "frame " << int(n) << " byte " << i;
        }
    });
    EXPECT_EQ(order, (std::vector<int>{3, 4, 5}));  // the last three, oldest first
    EXPECT_EQ(ring.count(), 0);
    int pushed = 0;
    ring.drain([&](FrameHold, const kv::record::JournalLine&) { ++pushed; });
    EXPECT_EQ(pushed, 0);
    // Frames the recording still holds are not written by later frames.
    for (std::uint8_t n = 21; n <= 30; ++n) {
        frame(n);
    }
    for (std::size_t i = 0; i < pushedHolds.size(); ++i) {
        EXPECT_EQ(pushedHolds[i].pixels()[kStride], order[i]);
    }
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
    ring.keep(c.share(), kBytes - kStride, line);
    EXPECT_EQ(ring.count(), 1);
    ring.setCapacity(0);
    ring.keep(c.share(), kBytes, line);
    EXPECT_EQ(ring.count(), 0);
}

}  // namespace

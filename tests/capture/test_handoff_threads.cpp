// The hand-off under a real producer thread: the main thread must never see a
// buffer that is half overwritten. Runs without Qt's event loop so that it can
// run under ThreadSanitizer.

#include "capture/grabber_callback.h"
#include "media/clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

using kv::capture::TGrabberCallback;
using namespace kv::media;

namespace {

TEST(HandoffThreads, ReaderNeverSeesATornFrame) {
    constexpr int kFrames = 20000;
    ManualClock clock;
    std::atomic<int> posts{0};
    TGrabberCallback grabber(
        kv::capture::WM_NEWFRAME, [&posts] { posts.fetch_add(1); }, clock);
    grabber.setFormat(makeFrameHeader(64, 48));
    ASSERT_TRUE(grabber.createBuffers());
    grabber.setInterval(0);
    grabber.setEnabled(true);
    const std::size_t bytes = grabber.format().bmiHeader.biSizeImage;

    std::atomic<bool> done{false};
    std::thread producer([&] {
        std::vector<std::uint8_t> frame(bytes);
        for (int n = 1; n <= kFrames; ++n) {
            // Every byte of frame n holds n mod 256: a torn copy mixes values.
            std::fill(frame.begin(), frame.end(), std::uint8_t(n));
            clock.advance(1);  // interval 0: every frame is taken
            grabber.BufferCB(0.0, frame.data(), frame.size());
        }
        done.store(true);
    });

    int reads = 0;
    int torn = 0;
    int overwritten = 0;
    // The newest frame of the last read, kept as the frame loop keeps it.
    kv::capture::FrameHold kept;
    std::uint8_t keptValue = 0;
    int outOfOrder = 0;
    int seen = 0;
    while (!done.load() || reads == 0) {
        // Like the frame loop, read once per notification that arrived.
        const int now = posts.load();
        if (now == seen) {
            std::this_thread::yield();
            continue;
        }
        seen = now;
        kv::capture::FrameHold next;
        std::uint8_t a = 0;
        {
            auto lock = grabber.lockForRead();
            const std::uint8_t* newest = lock.newest();
            const std::uint8_t* previous = lock.previous();
            a = newest[0];
            const std::uint8_t b = previous[0];
            if (std::any_of(newest, newest + bytes, [a](std::uint8_t v) { return v != a; }) ||
                std::any_of(previous, previous + bytes, [b](std::uint8_t v) { return v != b; })) {
                ++torn;
            }
            // The newest frame directly follows the previous one.
            if (std::uint8_t(b + 1) != a) {
                ++outOfOrder;
            }
            next = lock.hold(lock.index());
        }
        // Frames went on arriving: none was written into the kept buffer,
        // which its holder may write into (as the stamp does).
        if (kept) {
            const std::uint8_t* pixels = kept.pixels();
            if (std::any_of(pixels, pixels + bytes,
                            [keptValue](std::uint8_t v) { return v != keptValue; })) {
                ++overwritten;
            }
            kept.pixels()[0] = keptValue;
        }
        kept = std::move(next);  // released outside the lock
        keptValue = a;
        ++reads;
    }
    kept.reset();
    producer.join();

    EXPECT_EQ(torn, 0);
    EXPECT_EQ(overwritten, 0);
    EXPECT_EQ(outOfOrder, 0);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(posts.load(), kFrames - 1);
    auto lock = grabber.lockForRead();
    EXPECT_EQ(lock.newest()[0], std::uint8_t(kFrames));
    EXPECT_EQ(lock.previous()[bytes - 1], std::uint8_t(kFrames - 1));
}

}  // namespace

#include "capture/robust_motion.h"
#include "media/frame.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

using namespace kv;
using capture::MotionMask;
using capture::RobustMotion;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// A 640 x 480 frame whose 8 x 8 blocks each have one grey level, given by cell.
std::vector<std::uint8_t> frame(const std::function<int(int x, int y)>& level,
                                float noiseSigma = 0.0f, unsigned seed = 1) {
    const media::BITMAPINFOHEADER format = media::makeFrameHeader(kWidth, kHeight);
    const int stride = media::frameStride(kWidth);
    std::vector<std::uint8_t> pixels(format.biSizeImage);
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.0f, noiseSigma);
    for (int p = 0; p < kHeight; ++p) {
        std::uint8_t* row = pixels.data() + std::ptrdiff_t(kHeight - 1 - p) * stride;
        for (int c = 0; c < kWidth * 3; ++c) {
            const float v = float(level(c / 3 / 8, p / 8)) + (noiseSigma > 0 ? noise(random) : 0);
            row[c] = std::uint8_t(std::clamp(std::lround(v), 0l, 255l));
        }
    }
    return pixels;
}

// A textured scene: every cell a different level between 40 and 200.
int scene(int x, int y) {
    return 40 + (x * 7 + y * 13) % 160;
}

const media::BITMAPINFOHEADER kFormat = media::makeFrameHeader(kWidth, kHeight);

// The light fit finds gain and offset with moving cells among the watched
// ones, and falls back to an offset alone when the picture has no spread.
TEST(RobustMotion, TheLightFitFindsGainAndOffsetPastMovingCells) {
    capture::CellMeans before{};
    capture::CellMeans after{};
    ASSERT_TRUE(capture::cellMeans(frame(scene).data(), kFormat, before));
    // A lamp: x 1.25 + 10, and an object over 300 cells (6 %).
    const auto lit = frame([](int x, int y) {
        return x >= 20 && x < 40 && y >= 10 && y < 25 ? 250 : int(scene(x, y) * 1.25 + 10);
    });
    ASSERT_TRUE(capture::cellMeans(lit.data(), kFormat, after));
    MotionMask mask;
    std::vector<float> scratch;
    const capture::LightFit fit = capture::fitLight(before, after, mask, scratch);
    EXPECT_NEAR(fit.gain, 1.25f, 0.01f);
    EXPECT_NEAR(fit.offset, 10.0f, 0.7f);
    EXPECT_LT(fit.noise, 1.0f);

    // A flat grey picture a little darker: no gain can be told, the offset can.
    ASSERT_TRUE(capture::cellMeans(frame([](int, int) { return 100; }).data(), kFormat, before));
    ASSERT_TRUE(capture::cellMeans(frame([](int, int) { return 90; }).data(), kFormat, after));
    const capture::LightFit flat = capture::fitLight(before, after, mask, scratch);
    EXPECT_FLOAT_EQ(flat.gain, 1.0f);
    EXPECT_NEAR(flat.offset, -10.0f, 0.01f);

    // Only the watched cells count: the lit half is masked out.
    const auto halfLit = frame([](int x, int y) { return x < 40 ? scene(x, y) * 2 : scene(x, y); });
    ASSERT_TRUE(capture::cellMeans(frame(scene).data(), kFormat, before));
    ASSERT_TRUE(capture::cellMeans(halfLit.data(), kFormat, after));
    for (int y = 0; y < MotionMask::kHeight; ++y) {
        for (int x = 0; x < 40; ++x) {
            mask.learn(x, y);
        }
    }
    const capture::LightFit right = capture::fitLight(before, after, mask, scratch);
    EXPECT_NEAR(right.gain, 1.0f, 0.01f);
    EXPECT_NEAR(right.offset, 0.0f, 0.5f);
}

// Feeds frames; the values measured for each.
std::vector<int> measureAll(RobustMotion& robust, MotionMask& mask,
                            const std::vector<std::vector<std::uint8_t>>& frames) {
    std::vector<int> values;
    for (const auto& f : frames) {
        values.push_back(robust.measure(f.data(), kFormat, mask, false));
    }
    return values;
}

// An object of n cells at column x0.
std::function<int(int, int)> withObject(int x0, int n) {
    return [x0, n](int x, int y) { return y == 30 && x >= x0 && x < x0 + n ? 255 : scene(x, y); };
}

// Movement counts from the second pair in a row that shows it; eight cells
// fully changed are worth more than the default trigger of 25,000.
TEST(RobustMotion, MovementIsReportedFromTheSecondPairInARow) {
    MotionMask mask;
    RobustMotion robust;
    const auto values = measureAll(
        robust, mask,
        {frame(scene, 2, 1), frame(withObject(10, 4), 2, 2), frame(withObject(14, 4), 2, 3),
         frame(withObject(18, 4), 2, 4), frame(withObject(18, 4), 2, 5)});
    EXPECT_EQ(values[0], 0);  // the first frame is only the reference
    EXPECT_EQ(values[1], 0);  // one pair is not enough
    EXPECT_GT(values[2], 25000);
    EXPECT_LT(values[2], 8 * RobustMotion::kCellValue + 1);
    EXPECT_GT(values[3], 25000);
    EXPECT_EQ(values[4], 0);  // still again

    // Noise alone, however strong, moves nothing.
    RobustMotion quiet;
    std::vector<std::vector<std::uint8_t>> noisy;
    for (unsigned i = 0; i < 6; ++i) {
        noisy.push_back(frame(scene, 24, 10 + i));
    }
    for (const int v : measureAll(quiet, mask, noisy)) {
        EXPECT_EQ(v, 0);
    }
}

// When the watched cells change at once beyond the fit (the camera's night
// switch, half the room lit), the detector pauses and takes the new picture as
// its reference; a change just below that share is movement.
TEST(RobustMotion, ALightSwitchPausesAndReReferencesAtItsShare) {
    // 100 watched cells: a 10 x 10 square.
    MotionMask mask;
    for (int y = 0; y < MotionMask::kHeight; ++y) {
        for (int x = 0; x < MotionMask::kWidth; ++x) {
            if (x >= 10 || y >= 10) {
                mask.learn(x, y);
            }
        }
    }
    // Cells 0..n-1 of the square jump between two levels far from the fit.
    const auto switched = [](int n, bool on) {
        return [n, on](int x, int y) { return on && y * 10 + x < n && x < 10 ? 250 : scene(x, y); };
    };
    for (const int n : {39, 40}) {
        SCOPED_TRACE(n);
        RobustMotion robust;
        const auto values = measureAll(
            robust, mask,
            {frame(switched(n, false)), frame(switched(n, true)), frame(switched(n, false)),
             frame(switched(n, true)), frame(switched(n, true)), frame(switched(n, true))});
        if (n < 40) {
            EXPECT_FALSE(robust.paused());
            EXPECT_GT(values[2], 25000);  // movement, from the second pair
        } else {
            // Paused at the first pair for three frames; the picture held since
            // is the reference, so nothing moves after.
            for (const int v : values) {
                EXPECT_EQ(v, 0);
            }
        }
    }
}

// Autoset learns from the cells the detector finds changed, not from a light
// change that the fit explains.
TEST(RobustMotion, AutosetSwitchesOffOnlyTheChangedCells) {
    MotionMask mask;
    RobustMotion robust;
    robust.measure(frame(scene).data(), kFormat, mask, true);
    const auto brighter = frame(
        [](int x, int y) { return y == 5 && (x == 3 || x == 4) ? 255 : int(scene(x, y) * 1.1); });
    robust.measure(brighter.data(), kFormat, mask, true);
    EXPECT_EQ(mask.activeCount(), MotionMask::kCells - 2);
    EXPECT_FALSE(mask.isActive(3, 5));
    EXPECT_FALSE(mask.isActive(4, 5));
}

}  // namespace

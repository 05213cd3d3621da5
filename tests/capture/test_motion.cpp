#include "capture/motion.h"
#include "capture/motion_mask.h"
#include "media/frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <utility>
#include <vector>

using kv::capture::MotionMask;
using kv::capture::MotionMeasure;
using namespace kv::media;

namespace {

// Two frames of one size, each exactly biSizeImage bytes, so that a read past
// the image is a read past the allocation.
struct FramePair {
    FramePair(int width, int height, std::uint8_t fill = 128)
        : format(makeFrameHeader(width, height)),
          a(format.biSizeImage, fill),
          b(format.biSizeImage, fill) {}

    std::size_t stride() const { return std::size_t(frameStride(format.biWidth)); }
    // Byte offset of grid point (column, stored row r) for a grid of the full frame.
    std::size_t point(int column, int row) const {
        const int columnStep = std::max(1, format.biWidth / 80);
        const int rowStep = std::max(1, format.biHeight / 60);
        return std::size_t(row * rowStep) * stride() + std::size_t(column * columnStep) * 3;
    }
    // Changes every pixel byte of b by delta, leaving the fill bytes alone.
    void shiftPixels(int delta) {
        for (int row = 0; row < format.biHeight; ++row) {
            for (int i = 0; i < format.biWidth * 3; ++i) {
                std::uint8_t& v = b[std::size_t(row) * stride() + std::size_t(i)];
                v = std::uint8_t(v + delta);
            }
        }
    }
    std::int32_t measure(MotionMask& mask, bool autoSet = false) {
        return MotionMeasure(a.data(), b.data(), format, mask, autoSet);
    }

    BITMAPINFOHEADER format;
    std::vector<std::uint8_t> a;
    std::vector<std::uint8_t> b;
};

struct PointRow {
    const char* name;
    int blue, green, red;  // changes of the three channels at one point
    bool masked;
    bool autoSet;
    std::int32_t value;
    bool activeAfter;
};

class MeasureOnePoint : public ::testing::TestWithParam<PointRow> {};

TEST_P(MeasureOnePoint, CountsChannelsFromFortyAndLearnsAboveForty) {
    const PointRow& row = GetParam();
    FramePair frames(320, 240, 100);
    const std::size_t at = frames.point(30, 20);  // mask cell (30, 59 - 20)
    frames.b[at] = std::uint8_t(100 + row.blue);
    frames.b[at + 1] = std::uint8_t(100 + row.green);
    frames.b[at + 2] = std::uint8_t(100 + row.red);
    MotionMask mask;
    if (row.masked) {
        mask.learn(30, 39);
    }
    EXPECT_EQ(frames.measure(mask, row.autoSet), row.value);
    EXPECT_EQ(mask.isActive(30, 39), row.activeAfter);
    EXPECT_EQ(mask.activeCount(), MotionMask::kCells - (row.activeAfter ? 0 : 1));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MeasureOnePoint,
    ::testing::Values(PointRow{"Identical", 0, 0, 0, false, true, 0, true},
                      PointRow{"ThirtyNine", 0, 39, 0, false, false, 0, true},
                      PointRow{"Forty", 0, 0, 40, false, false, 40, true},
                      PointRow{"Darker", -40, 0, 0, false, false, 40, true},
                      PointRow{"AllThreeFull", 155, 155, 155, false, false, 3 * 155, true},
                      PointRow{"MaskedPoint", 100, 100, 100, true, false, 0, false},
                      PointRow{"MaskedPointAutoSet", 100, 100, 100, true, true, 0, false},
                      PointRow{"AutoSetKeepsForty", 40, 40, 40, false, true, 120, true},
                      PointRow{"AutoSetClearsFortyOne", 0, 41, 0, false, true, 41, false},
                      // Cleared by its blue channel, it still counts green and red.
                      PointRow{"ClearedCellStillCounts", 41, 39, 100, false, true, 141, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Measure, FullChannelSwingGives765) {
    FramePair frames(160, 120, 0);
    const std::size_t at = frames.point(0, 0);
    frames.b[at] = frames.b[at + 1] = frames.b[at + 2] = 255;
    MotionMask mask;
    EXPECT_EQ(frames.measure(mask), 765);
}

TEST(Measure, SamplesExactlyTheGridOfFrameMultiples) {
    for (const auto& [w, h] :
         std::vector<std::pair<int, int>>{{160, 120}, {320, 240}, {640, 480}}) {
        FramePair frames(w, h);
        frames.shiftPixels(50);
        MotionMask mask;
        EXPECT_EQ(frames.measure(mask), 4800 * 150) << w << "x" << h;
        // A change between grid points is not seen.
        FramePair between(w, h);
        between.b[between.point(5, 5) + 3] = 0;
        between.b[between.point(5, 5) + between.stride()] = 0;
        EXPECT_EQ(between.measure(mask), 0);
    }
}

TEST(Measure, FirstStoredRowIsTheBottomMaskRow) {
    FramePair frames(320, 240);
    frames.b[frames.point(10, 0)] = 0;   // bottom of the picture
    frames.b[frames.point(20, 59)] = 0;  // top of the picture
    MotionMask mask;
    mask.learn(10, 59);
    EXPECT_EQ(frames.measure(mask), 128);
    mask.clear();
    mask.learn(20, 0);
    EXPECT_EQ(frames.measure(mask), 128);
    mask.clear();
    EXPECT_EQ(frames.measure(mask, true), 256);
    EXPECT_FALSE(mask.isActive(10, 59));
    EXPECT_FALSE(mask.isActive(20, 0));
    EXPECT_EQ(mask.activeCount(), MotionMask::kCells - 2);
}

TEST(Measure, PointsBeyondTheMaskAlwaysCount) {
    // 352 x 288: 88 x 72 points, of which 8 columns and 12 rows lie off the mask.
    FramePair frames(352, 288);
    frames.shiftPixels(50);
    MotionMask mask;
    for (int y = 0; y < MotionMask::kHeight; ++y) {
        for (int x = 0; x < MotionMask::kWidth; ++x) {
            mask.learn(x, y);
        }
    }
    const std::int32_t outside = (88 * 72 - 80 * 60) * 150;
    EXPECT_EQ(frames.measure(mask), outside);
    EXPECT_EQ(frames.measure(mask, true), outside);
    mask.clear();
    EXPECT_EQ(frames.measure(mask, true), 88 * 72 * 150);
    EXPECT_EQ(mask.activeCount(), 0);  // every cell of the mask learned, the rest cannot be
    EXPECT_EQ(frames.measure(mask), outside);

    // One point of the rightmost columns and one of the top rows.
    FramePair corner(352, 288);
    corner.b[corner.point(87, 0)] = 0;
    corner.b[corner.point(0, 71)] = 0;
    EXPECT_EQ(corner.measure(mask), 256);
}

TEST(Measure, IgnoresFillBytesAndReadsNothingPastTheFrame) {
    // 322 and 81 pixel rows end in fill bytes; at 81 the last grid step lands
    // on them, and on the last row would reach past the frame.
    for (const auto& [w, h, columns] :
         std::vector<std::tuple<int, int, int>>{{322, 240, 81}, {81, 60, 81}, {83, 61, 83}}) {
        FramePair frames(w, h);
        for (int row = 0; row < h; ++row) {
            for (std::size_t i = std::size_t(w) * 3; i < frames.stride(); ++i) {
                frames.a[std::size_t(row) * frames.stride() + i] = 0;
                frames.b[std::size_t(row) * frames.stride() + i] = 255;
            }
        }
        MotionMask mask;
        EXPECT_EQ(frames.measure(mask, true), 0) << w << "x" << h;
        EXPECT_EQ(mask.activeCount(), MotionMask::kCells);
        frames.shiftPixels(50);
        const int rows = h / std::max(1, h / 60) + (h % std::max(1, h / 60) ? 1 : 0);
        EXPECT_EQ(frames.measure(mask), columns * rows * 150) << w << "x" << h;
    }
}

TEST(Measure, TinyFramesSampleEveryPixel) {
    for (const auto& [w, h] :
         std::vector<std::pair<int, int>>{{10, 10}, {1, 1}, {79, 59}, {100, 30}}) {
        FramePair frames(w, h);
        frames.shiftPixels(50);
        MotionMask mask;
        const int columns = w < 80 ? w : w / (w / 80) + (w % (w / 80) ? 1 : 0);
        const int rows = h < 60 ? h : h / (h / 60) + (h % (h / 60) ? 1 : 0);
        EXPECT_EQ(frames.measure(mask), columns * rows * 150) << w << "x" << h;
    }
    FramePair frames(10, 10);
    frames.shiftPixels(50);
    MotionMask mask;
    mask.learn(9, 50);  // last pixel of the top row
    mask.learn(0, 59);  // first pixel of the bottom row
    EXPECT_EQ(frames.measure(mask), 98 * 150);
}

TEST(Measure, OtherFormatsMeasureNothing) {
    FramePair frames(320, 240);
    frames.shiftPixels(50);
    MotionMask mask;
    BITMAPINFOHEADER format = frames.format;
    format.biBitCount = 32;
    EXPECT_EQ(MotionMeasure(frames.a.data(), frames.b.data(), format, mask, false), 0);
    format = frames.format;
    format.biSizeImage -= 1;  // would not hold the last row
    EXPECT_EQ(MotionMeasure(frames.a.data(), frames.b.data(), format, mask, false), 0);
    EXPECT_EQ(MotionMeasure(nullptr, frames.b.data(), frames.format, mask, false), 0);
}

// The camera's rows come top-down: the same picture measures the same in
// either order, on the same mask cells; and a frame that carries its stamp
// measures as the camera's picture when the rows under the stamp are given.
TEST(Measure, TopDownAndStampedFramesMeasureAsTheCamerasPicture) {
    FramePair up(320, 240, 100);
    // Changes near the top and the bottom of the picture, none alike.
    for (std::size_t i = 0; i < up.b.size(); i += 5) {
        const std::size_t fromBottom = i / up.stride();
        if (fromBottom < 30 || fromBottom > 200) {
            up.b[i] = std::uint8_t(i * 13 + fromBottom);
        }
    }
    const auto flipped = [&](const std::vector<std::uint8_t>& rows) {
        std::vector<std::uint8_t> out(rows.size());
        for (std::size_t r = 0; r < 240; ++r) {
            std::copy_n(rows.begin() + std::ptrdiff_t(r * up.stride()), up.stride(),
                        out.begin() + std::ptrdiff_t((239 - r) * up.stride()));
        }
        return out;
    };
    BITMAPINFOHEADER topDown = up.format;
    topDown.biHeight = -240;
    const std::vector<std::uint8_t> a = flipped(up.a);
    const std::vector<std::uint8_t> b = flipped(up.b);
    MotionMask upMask;
    MotionMask downMask;
    for (int x = 0; x < 40; ++x) {  // the top rows' left half is not watched
        upMask.learn(x, 2);
        downMask.learn(x, 2);
    }
    const std::int32_t camera = up.measure(upMask, true);
    ASSERT_GT(camera, 0);
    EXPECT_EQ(MotionMeasure(a.data(), b.data(), topDown, downMask, true), camera);
    EXPECT_EQ(downMask.activeCount(), upMask.activeCount());

    // A stamp over the bottom 20 rows: the last stored rows of a top-down frame.
    std::vector<std::uint8_t> stamped = b;
    const std::size_t offset = 220 * up.stride();
    std::fill(stamped.begin() + std::ptrdiff_t(offset), stamped.end(), 255);
    MotionMask mask;
    EXPECT_NE(MotionMeasure(a.data(), stamped.data(), topDown, mask, false),
              MotionMeasure(a.data(), b.data(), topDown, mask, false));
    const kv::capture::UnstampedRows under{stamped.data(), offset, b.data() + offset,
                                           b.size() - offset};
    EXPECT_EQ(MotionMeasure(a.data(), stamped.data(), topDown, mask, false, under),
              MotionMeasure(a.data(), b.data(), topDown, mask, false));
    EXPECT_EQ(MotionMeasure(stamped.data(), a.data(), topDown, mask, false, under),
              MotionMeasure(b.data(), a.data(), topDown, mask, false));
}

}  // namespace

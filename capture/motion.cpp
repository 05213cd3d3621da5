#include "capture/motion.h"

#include <algorithm>
#include <cstdlib>

namespace kv::capture {

namespace {
constexpr int kCountFrom = 40;   // a channel difference counts from here
constexpr int kLearnAbove = 40;  // auto-set switches a cell off above this
}  // namespace

std::int32_t MotionMeasure(const std::uint8_t* buffer0, const std::uint8_t* buffer1,
                           const media::BITMAPINFOHEADER& format, MotionMask& mask, bool autoSet,
                           const UnstampedRows& under) {
    if (!buffer0 || !buffer1 || !media::isFrameFormat(format)) {
        return 0;
    }
    const std::size_t width = std::size_t(format.biWidth);
    const std::size_t stride = std::size_t(media::frameStride(format.biWidth));
    const std::size_t height = std::size_t(std::abs(format.biHeight));
    const bool bottomUp = format.biHeight > 0;
    // Frames narrower than 80 or lower than 60 pixels have a grid step below
    // one pixel: they are sampled at every pixel (or row) instead.
    const std::size_t columnStep = std::max<std::size_t>(1, width / MotionMask::kWidth) * 3;
    const std::size_t rowStep = std::max<std::size_t>(1, height / MotionMask::kHeight);
    // A point is sampled only when its three bytes are pixels of its row: at
    // the end of a row the column step can land on the row's fill bytes, or
    // run into the next row or past the buffer. Such points are skipped.
    const std::size_t rowPixels = width * 3;
    const bool patched = under.pixels && (under.frame == buffer0 || under.frame == buffer1) &&
                         under.offset + under.bytes <= format.biSizeImage;
    const auto row = [&](const std::uint8_t* frame, std::size_t offset) {
        if (patched && frame == under.frame && offset >= under.offset &&
            offset - under.offset < under.bytes) {
            return under.pixels + (offset - under.offset);
        }
        return frame + offset;
    };

    std::int32_t sum = 0;
    // Rows are sampled from the bottom of the picture up, whatever their order
    // in memory, so the grid and its mask cells sit on the same pixels.
    int y = MotionMask::kHeight - 1;
    for (std::size_t fromBottom = 0; fromBottom < height; fromBottom += rowStep, --y) {
        const std::size_t rowOffset = (bottomUp ? fromBottom : height - 1 - fromBottom) * stride;
        const std::uint8_t* row0 = row(buffer0, rowOffset);
        const std::uint8_t* row1 = row(buffer1, rowOffset);
        int x = 0;
        for (std::size_t column = 0; column + 3 <= rowPixels; column += columnStep, ++x) {
            // The mask is read once per point, before its channels.
            if (!mask.isActive(x, y)) {
                continue;
            }
            const std::uint8_t* p0 = row0 + column;
            const std::uint8_t* p1 = row1 + column;
            const int blue = std::abs(int(p0[0]) - int(p1[0]));
            const int green = std::abs(int(p0[1]) - int(p1[1]));
            const int red = std::abs(int(p0[2]) - int(p1[2]));
            // Written without branches: on a changing picture they would not be
            // predictable.
            sum += (blue >= kCountFrom ? blue : 0) + (green >= kCountFrom ? green : 0) +
                   (red >= kCountFrom ? red : 0);
            // A cleared cell still counts all three channels of this frame.
            if (autoSet && std::max({blue, green, red}) > kLearnAbove) {
                mask.learn(x, y);
            }
        }
    }
    return sum;
}

}  // namespace kv::capture

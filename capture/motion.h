#pragma once

// The motion measure: how much two frames differ on a coarse grid of sample
// points, counting only points whose mask cell is active.

#include "capture/motion_mask.h"
#include "media/frame.h"

#include <cstddef>
#include <cstdint>

namespace kv::capture {

// Sum over the sample points with an active mask cell of every channel
// difference of 40 or more between the two frames. With autoSet, a cell whose
// point changes by more than 40 in a channel is switched off (it still counts
// in this frame). Both buffers hold format.biSizeImage bytes of a 24-bit
// frame, bottom-up or top-down; other formats measure 0. The same picture
// measures the same in either row order. Never allocates.
//
// A frame that carries its stamp is measured with the camera's own pixels
// under it: `under` names that frame and where its unstamped rows are.
struct UnstampedRows {
    const std::uint8_t* frame = nullptr;   // the stamped frame's pixels
    std::size_t offset = 0;                // of the stamped rows in the frame
    const std::uint8_t* pixels = nullptr;  // the camera's rows there
    std::size_t bytes = 0;
};
std::int32_t MotionMeasure(const std::uint8_t* buffer0, const std::uint8_t* buffer1,
                           const media::BITMAPINFOHEADER& format, MotionMask& mask, bool autoSet,
                           const UnstampedRows& under = {});

}  // namespace kv::capture

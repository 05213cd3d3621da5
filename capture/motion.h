#pragma once

// The motion measure: how much two frames differ on a coarse grid of sample
// points, counting only points whose mask cell is active.

#include "capture/motion_mask.h"
#include "media/frame.h"

#include <cstdint>

namespace kv::capture {

// Sum over the sample points with an active mask cell of every channel
// difference of 40 or more between the two frames. With autoSet, a cell whose
// point changes by more than 40 in a channel is switched off (it still counts
// in this frame). Both buffers hold format.biSizeImage bytes of a bottom-up
// 24-bit frame; other formats measure 0. Never allocates.
std::int32_t MotionMeasure(const std::uint8_t* buffer0, const std::uint8_t* buffer1,
                           const media::BITMAPINFOHEADER& format, MotionMask& mask, bool autoSet);

}  // namespace kv::capture

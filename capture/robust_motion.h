#pragma once

// The "Robust" movement detector, beside the classic measure: it ignores what
// the classic one takes for movement, sensor noise at night, a lamp switched
// on, clouds, the camera's night switch. It works on the same 80 x 60 cells
// and mask, but on each cell's mean brightness over its whole block, so that
// noise averages out; it fits the global light change between two frames
// (gain and offset, robustly, over the watched cells) and counts only cells
// that differ from that fit by more than the noise explains; when most watched
// cells change at once it pauses a few frames and starts afresh from the new
// picture; and it reports movement only when two frame pairs in a row show it.

#include "capture/motion_mask.h"
#include "media/frame.h"

#include <array>
#include <cstdint>
#include <vector>

namespace kv::capture {

enum class Detector { Classic = 0, Robust = 1 };

// The brightness of every cell: mean of the three channels over its block,
// 0..255. Cells of frames smaller than the grid stay 0.
using CellMeans = std::array<float, MotionMask::kCells>;
bool cellMeans(const std::uint8_t* pixels, const media::BITMAPINFOHEADER& format, CellMeans& means);

// cur ~ gain * prev + offset over the watched cells, fitted by least squares
// with outliers (moving things) left out, and the noise of what fits.
struct LightFit {
    float gain = 1.0f;
    float offset = 0.0f;
    float noise = 0.0f;  // robust standard deviation of the residuals
};
LightFit fitLight(const CellMeans& previous, const CellMeans& current, const MotionMask& mask,
                  std::vector<float>& scratch);

class RobustMotion {
  public:
    // A cell counts as changed beyond the fit by this many levels at least,
    // and by 4.5 times the noise.
    static constexpr float kMinChange = 6.0f;
    static constexpr float kNoiseFactor = 4.5f;
    // A change of this many levels counts fully; smaller ones in proportion.
    static constexpr float kFullChange = 24.0f;
    // What one fully changed cell adds to the value.
    static constexpr int kCellValue = 4000;
    // When this share of the watched cells changes at once, the light (or the
    // camera's mode) changed: no movement for kPauseFrames frames, then the
    // new picture is the reference.
    static constexpr float kSwitchShare = 0.4f;
    static constexpr int kPauseFrames = 3;

    // The value for the newest frame against the one measured before it: 0
    // until two pairs in a row show changed cells. With autoSet, changed
    // cells are switched off in the mask. Never allocates after the first call.
    std::int32_t measure(const std::uint8_t* newest, const media::BITMAPINFOHEADER& format,
                         MotionMask& mask, bool autoSet);
    // Forgets the reference frame (a new camera, frames not measured).
    void reset();

    // Waiting out a light switch.
    bool paused() const { return pause_ > 0; }

  private:
    CellMeans previous_{};
    CellMeans current_{};
    std::vector<float> scratch_;
    bool haveReference_ = false;
    bool movedBefore_ = false;  // the pair before showed movement
    int pause_ = 0;
};

}  // namespace kv::capture

#pragma once

// Deflicker: each frame's mean brightness is brought to a smoothed course of
// the brightness over its neighbours, so that jumps from frame to frame
// (exposure hunting, clouds, a lamp) vanish while slow changes (dawn, dusk)
// stay. The stamp band at the bottom is neither measured nor changed.

#include <cstdint>
#include <vector>

namespace kv::film {

// Neighbours on each side that the smoothed course averages over.
inline constexpr int kDeflickerRadius = 8;

// The mean of a luma plane (8 bits per sample), leaving out the bottom
// `excludeRows` rows.
double lumaMean(const std::uint8_t* plane, int stride, int width, int height, int excludeRows);

// The smoothed course at `at`: the mean of means[at - r .. at + r], with r
// the radius, shortened near either end so that the window stays centred
// (a straight course stays exactly as it is, at the ends too).
double smoothedAt(const std::vector<double>& means, std::size_t at, int radius = kDeflickerRadius);

// The whole smoothed course of a series of means.
std::vector<double> smoothCourse(const std::vector<double>& means, int radius = kDeflickerRadius);

// Multiplies the luma of the rows above the bottom `excludeRows` by the gain
// that brings `mean` to `target`, kept within 1/2 .. 2.
void applyGain(std::uint8_t* plane, int stride, int width, int height, int excludeRows, double mean,
               double target);

// Height in pixels of the band the frame stamp occupies at the bottom of a
// recorded frame of `frameHeight` rows, scaled to `height` rows.
int stampBandRows(int frameHeight, int height);

}  // namespace kv::film

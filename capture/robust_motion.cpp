#include "capture/robust_motion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace kv::capture {

namespace {

constexpr int kW = MotionMask::kWidth;
constexpr int kH = MotionMask::kHeight;
// Cells changed in a pair before it counts as showing movement.
constexpr int kMinCells = 2;
// Iterations of the outlier-dropping fit.
constexpr int kFitRounds = 3;
// Median absolute deviation to standard deviation, for normal noise.
constexpr float kMadToSigma = 1.4826f;

// The median of values in [lo, hi), from a histogram of quarter levels: a
// sort or selection of 4,800 cells would cost more than the rest of the
// measure. Values outside the range count at its ends.
float median(const float* values, int n, float lo, float hi) {
    constexpr int kBins = 2048;
    std::array<std::uint16_t, kBins> counts{};
    const float perBin = float(kBins) / (hi - lo);
    for (int i = 0; i < n; ++i) {
        const int bin = int((values[i] - lo) * perBin);
        ++counts[std::size_t(std::clamp(bin, 0, kBins - 1))];
    }
    const int half = n / 2;
    int below = 0;
    for (int bin = 0; bin < kBins; ++bin) {
        const int count = counts[std::size_t(bin)];
        if (below + count > half) {
            // Spread evenly within the bin.
            const float within = (float(half - below) + 0.5f) / float(count);
            return lo + (float(bin) + within) / perBin;
        }
        below += count;
    }
    return hi;
}

struct Line {
    float gain = 1.0f;
    float offset = 0.0f;
};

// Least squares over the pairs whose keep flag is set; a flat picture (or
// too few cells) gets gain 1 and the mean difference as its offset.
Line leastSquares(const float* x, const float* y, const float* keep, int n) {
    double sx = 0, sy = 0, sxx = 0, sxy = 0, m = 0;
    for (int i = 0; i < n; ++i) {
        if (keep[i] != 0.0f) {
            sx += x[i];
            sy += y[i];
            sxx += double(x[i]) * x[i];
            sxy += double(x[i]) * y[i];
            m += 1;
        }
    }
    if (m < 1) {
        return {};
    }
    const double var = m * sxx - sx * sx;
    // Below a spread of 4 levels the gain cannot be told from the offset.
    if (m < 8 || var < 16.0 * m * m) {
        return {1.0f, float((sy - sx) / m)};
    }
    const double gain = std::clamp((m * sxy - sx * sy) / var, 0.2, 5.0);
    return {float(gain), float((sy - gain * sx) / m)};
}

}  // namespace

bool cellMeans(const std::uint8_t* pixels, const media::BITMAPINFOHEADER& format,
               CellMeans& means) {
    const int w = format.biWidth;
    const int h = std::abs(format.biHeight);
    const bool bottomUp = format.biHeight > 0;
    if (!pixels || format.biBitCount != 24 || w < kW || h < kH ||
        std::uint64_t(media::frameStride(w)) * std::uint64_t(h) > format.biSizeImage) {
        return false;
    }
    const int bw = w / kW;
    const int bh = h / kH;
    // Every other row of a tall block: the mean is as steady, the cost halves.
    const int rowStep = bh >= 8 ? 2 : 1;
    const int cellBytes = bw * 3;
    const int stride = media::frameStride(w);
    const float scale = 1.0f / float(bw * ((bh + rowStep - 1) / rowStep) * 3);
    std::array<std::uint32_t, kW> sums{};
    for (int y = 0; y < kH; ++y) {
        sums.fill(0);
        for (int p = y * bh; p < (y + 1) * bh; p += rowStep) {
            // Bottom-up, picture row p is stored row h - 1 - p.
            const std::uint8_t* row = pixels + std::ptrdiff_t(bottomUp ? h - 1 - p : p) * stride;
            for (int x = 0; x < kW; ++x) {
                const std::uint8_t* cell = row + x * cellBytes;
                std::uint32_t s = 0;
                for (int i = 0; i < cellBytes; ++i) {
                    s += cell[i];
                }
                sums[std::size_t(x)] += s;
            }
        }
        for (int x = 0; x < kW; ++x) {
            means[std::size_t(y * kW + x)] = float(sums[std::size_t(x)]) * scale;
        }
    }
    return true;
}

LightFit fitLight(const CellMeans& previous, const CellMeans& current, const MotionMask& mask,
                  std::vector<float>& scratch) {
    scratch.resize(std::size_t(5 * MotionMask::kCells));
    float* x = scratch.data();
    float* y = x + MotionMask::kCells;
    float* keep = y + MotionMask::kCells;
    float* residual = keep + MotionMask::kCells;
    float* work = residual + MotionMask::kCells;
    int n = 0;
    for (int cy = 0; cy < kH; ++cy) {
        for (int cx = 0; cx < kW; ++cx) {
            if (mask.isActive(cx, cy)) {
                const std::size_t i = std::size_t(cy * kW + cx);
                x[n] = previous[i];
                y[n] = current[i];
                keep[n] = 1.0f;
                ++n;
            }
        }
    }
    LightFit fit;
    if (n == 0) {
        return fit;
    }
    // From no gain and the typical difference: a plain least-squares start
    // would be pulled away by the moving cells it is meant to leave out.
    for (int i = 0; i < n; ++i) {
        work[i] = y[i] - x[i];
    }
    Line line{1.0f, median(work, n, -256.0f, 256.0f)};
    float sigma = 0.0f;
    for (int round = 0; round <= kFitRounds; ++round) {
        for (int i = 0; i < n; ++i) {
            residual[i] = y[i] - (line.gain * x[i] + line.offset);
        }
        const float centre = median(residual, n, -256.0f, 256.0f);
        for (int i = 0; i < n; ++i) {
            work[i] = std::fabs(residual[i] - centre);
        }
        sigma = kMadToSigma * median(work, n, 0.0f, 128.0f);
        if (round == kFitRounds) {
            break;
        }
        // Cells beyond three deviations are moving things: fit without them.
        const float limit = std::max(3.0f * sigma, 1.0f);
        for (int i = 0; i < n; ++i) {
            keep[i] = std::fabs(residual[i] - centre) <= limit ? 1.0f : 0.0f;
        }
        line = leastSquares(x, y, keep, n);
    }
    fit.gain = line.gain;
    fit.offset = line.offset;
    fit.noise = sigma;
    return fit;
}

void RobustMotion::reset() {
    haveReference_ = false;
    movedBefore_ = false;
    pause_ = 0;
}

std::int32_t RobustMotion::measure(const std::uint8_t* newest,
                                   const media::BITMAPINFOHEADER& format, MotionMask& mask,
                                   bool autoSet) {
    if (!cellMeans(newest, format, current_)) {
        return 0;
    }
    if (!haveReference_) {
        haveReference_ = true;
        movedBefore_ = false;
        previous_ = current_;
        return 0;
    }
    if (pause_ > 0) {
        // The light has just switched: each picture is only the reference for
        // the next. These are no pairs: movement before the switch still
        // counts as the first of two.
        --pause_;
        previous_ = current_;
        return 0;
    }
    const LightFit fit = fitLight(previous_, current_, mask, scratch_);
    const float threshold = std::max(kMinChange, kNoiseFactor * fit.noise);
    int watched = 0;
    int changed = 0;
    float value = 0.0f;
    for (int cy = 0; cy < kH; ++cy) {
        for (int cx = 0; cx < kW; ++cx) {
            if (!mask.isActive(cx, cy)) {
                continue;
            }
            ++watched;
            const std::size_t i = std::size_t(cy * kW + cx);
            const float change = std::fabs(current_[i] - (fit.gain * previous_[i] + fit.offset));
            if (change > threshold) {
                ++changed;
                value += std::min(change / kFullChange, 1.0f);
            }
        }
    }
    if (watched > 0 && float(changed) >= kSwitchShare * float(watched)) {
        pause_ = kPauseFrames;
        previous_ = current_;
        return 0;
    }
    if (autoSet && changed > 0) {
        for (int cy = 0; cy < kH; ++cy) {
            for (int cx = 0; cx < kW; ++cx) {
                const std::size_t i = std::size_t(cy * kW + cx);
                if (mask.isActive(cx, cy) &&
                    std::fabs(current_[i] - (fit.gain * previous_[i] + fit.offset)) > threshold) {
                    mask.learn(cx, cy);
                }
            }
        }
    }
    previous_ = current_;
    const bool moved = changed >= kMinCells;
    const bool confirmed = moved && movedBefore_;
    movedBefore_ = moved;
    return confirmed ? std::int32_t(std::lround(value * float(kCellValue))) : 0;
}

}  // namespace kv::capture

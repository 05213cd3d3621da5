#include "film/deflicker.h"

#include "capture/frame_stamp.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <array>
#include <cmath>

namespace kv::film {

double lumaMean(const std::uint8_t* plane, int stride, int width, int height, int excludeRows) {
    const int rows = std::max(height - std::max(excludeRows, 0), 0);
    if (rows == 0 || width <= 0) {
        return 0;
    }
    std::uint64_t sum = 0;
    for (int y = 0; y < rows; ++y) {
        const std::uint8_t* row = plane + std::ptrdiff_t(y) * stride;
        std::uint32_t rowSum = 0;
        for (int x = 0; x < width; ++x) {
            rowSum += row[x];
        }
        sum += rowSum;
    }
    return double(sum) / (double(rows) * double(width));
}

double smoothedAt(const std::vector<double>& means, std::size_t at, int radius) {
    if (at >= means.size()) {
        return 0;
    }
    const std::size_t r = std::min({std::size_t(std::max(radius, 0)), at, means.size() - 1 - at});
    double sum = 0;
    for (std::size_t i = at - r; i <= at + r; ++i) {
        sum += means[i];
    }
    return sum / double(2 * r + 1);
}

std::vector<double> smoothCourse(const std::vector<double>& means, int radius) {
    std::vector<double> course(means.size());
    for (std::size_t i = 0; i < means.size(); ++i) {
        course[i] = smoothedAt(means, i, radius);
    }
    return course;
}

void applyGain(std::uint8_t* plane, int stride, int width, int height, int excludeRows, double mean,
               double target) {
    if (mean < 1.0 || target <= 0) {
        return;  // black: nothing to scale
    }
    const double gain = std::clamp(target / mean, 0.5, 2.0);
    if (std::abs(gain - 1.0) < 1e-4) {
        return;
    }
    std::array<std::uint8_t, 256> map{};
    for (int v = 0; v < 256; ++v) {
        map[std::size_t(v)] = std::uint8_t(std::clamp(std::lround(v * gain), 0L, 255L));
    }
    const int rows = std::max(height - std::max(excludeRows, 0), 0);
    for (int y = 0; y < rows; ++y) {
        std::uint8_t* row = plane + std::ptrdiff_t(y) * stride;
        for (int x = 0; x < width; ++x) {
            row[x] = map[row[x]];
        }
    }
}

int stampBandRows(int frameHeight, int height) {
    // The stamp's text line and its margin, at the 96 dots per inch it is
    // painted at; without fonts (no GUI application) a line of 8 points.
    int band = 11 + 5;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QImage probe(1, 1, QImage::Format_RGB32);
        probe.setDotsPerMeterX(3780);
        probe.setDotsPerMeterY(3780);
        band = QFontMetrics(capture::stampFont(), &probe).height() + 5;
    }
    band += 2;  // the antialiased edge
    if (frameHeight <= 0) {
        return 0;
    }
    return std::min(height, int(std::ceil(double(band) * height / frameHeight)));
}

}  // namespace kv::film

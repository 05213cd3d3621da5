#include "playback/colour_reduction.h"

#include <QHash>
#include <QList>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kv::playback {
namespace {

constexpr QRgb kColourBits = 0x00ffffff;

int channel(QRgb colour, int axis) {
    return axis == 0 ? qRed(colour) : axis == 1 ? qGreen(colour) : qBlue(colour);
}

struct ColourCount {
    QRgb colour;
    quint64 count;
};

// A box of the median cut: a run of the colour list and its extent.
struct Box {
    size_t begin = 0;
    size_t end = 0;
    quint64 pixels = 0;
    int axis = 0;   // the channel with the widest range
    int range = 0;  // that range
};

Box makeBox(const std::vector<ColourCount>& colours, size_t begin, size_t end) {
    Box box{begin, end, 0, 0, 0};
    int lo[3] = {255, 255, 255};
    int hi[3] = {0, 0, 0};
    for (size_t i = begin; i < end; ++i) {
        for (int axis = 0; axis < 3; ++axis) {
            const int v = channel(colours[i].colour, axis);
            lo[axis] = std::min(lo[axis], v);
            hi[axis] = std::max(hi[axis], v);
        }
        box.pixels += colours[i].count;
    }
    for (int axis = 0; axis < 3; ++axis) {
        if (hi[axis] - lo[axis] > box.range) {
            box.range = hi[axis] - lo[axis];
            box.axis = axis;
        }
    }
    return box;
}

// Splits the colour space into at most maxColours boxes, each cut at the
// pixel-weighted median of its widest channel, and returns the mean colour of
// each box. The box split next is the one with the most pixels times range, so
// large flat areas and wide spreads both get their share of the palette.
QList<QRgb> medianCutPalette(const QImage& rgb32, int maxColours) {
    std::vector<QRgb> all;
    all.reserve(size_t(rgb32.width()) * size_t(rgb32.height()));
    for (int y = 0; y < rgb32.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb32.constScanLine(y));
        for (int x = 0; x < rgb32.width(); ++x) {
            all.push_back(line[x] & kColourBits);
        }
    }
    std::sort(all.begin(), all.end());
    std::vector<ColourCount> colours;
    for (const QRgb c : all) {
        if (colours.empty() || colours.back().colour != c) {
            colours.push_back({c, 0});
        }
        ++colours.back().count;
    }
    all = {};

    std::vector<Box> boxes{makeBox(colours, 0, colours.size())};
    while (int(boxes.size()) < maxColours) {
        size_t best = boxes.size();
        quint64 bestScore = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            const quint64 score = boxes[i].pixels * quint64(boxes[i].range);
            if (boxes[i].end - boxes[i].begin > 1 && score > bestScore) {
                best = i;
                bestScore = score;
            }
        }
        if (best == boxes.size()) {
            break;  // every box holds one colour
        }
        const Box box = boxes[best];
        std::sort(colours.begin() + qsizetype(box.begin), colours.begin() + qsizetype(box.end),
                  [axis = box.axis](const ColourCount& a, const ColourCount& b) {
                      return channel(a.colour, axis) < channel(b.colour, axis);
                  });
        size_t cut = box.begin + 1;
        quint64 below = 0;
        for (size_t i = box.begin; i < box.end; ++i) {
            below += colours[i].count;
            if (below * 2 >= box.pixels) {
                cut = i + 1;
                break;
            }
        }
        cut = std::clamp(cut, box.begin + 1, box.end - 1);
        boxes[best] = makeBox(colours, box.begin, cut);
        boxes.push_back(makeBox(colours, cut, box.end));
    }

    QList<QRgb> palette;
    for (const Box& box : boxes) {
        quint64 sum[3] = {0, 0, 0};
        for (size_t i = box.begin; i < box.end; ++i) {
            for (int axis = 0; axis < 3; ++axis) {
                sum[axis] += quint64(channel(colours[i].colour, axis)) * colours[i].count;
            }
        }
        const auto mean = [&](int axis) { return int((sum[axis] + box.pixels / 2) / box.pixels); };
        palette.append(qRgb(mean(0), mean(1), mean(2)));
    }
    return palette;
}

// Nearest palette entry by squared distance, remembered per 6-bit cell of the
// colour cube: the dithered values vary too much for an exact memo. The search
// walks outwards from the entry of nearest green and stops once green alone is
// farther than the best match.
class NearestColour {
  public:
    explicit NearestColour(const QList<QRgb>& palette) : cache_(size_t(1) << 18, -1) {
        for (int i = 0; i < palette.size(); ++i) {
            byGreen_.push_back({qRed(palette[i]), qGreen(palette[i]), qBlue(palette[i]), i});
        }
        std::sort(byGreen_.begin(), byGreen_.end(),
                  [](const Entry& a, const Entry& b) { return a.g < b.g; });
    }

    int find(int r, int g, int b) {
        const size_t key = size_t(r >> 2) << 12 | size_t(g >> 2) << 6 | size_t(b >> 2);
        if (cache_[key] < 0) {
            cache_[key] = std::int16_t(search((r & ~3) + 2, (g & ~3) + 2, (b & ~3) + 2));
        }
        return cache_[key];
    }

  private:
    struct Entry {
        int r, g, b, index;
    };

    int search(int r, int g, int b) const {
        const auto start = std::lower_bound(byGreen_.begin(), byGreen_.end(), g,
                                            [](const Entry& e, int v) { return e.g < v; });
        const qsizetype first = start - byGreen_.begin();
        const qsizetype count = qsizetype(byGreen_.size());
        int best = byGreen_.front().index;
        int bestDistance = 1 << 30;
        const auto consider = [&](const Entry& e) {
            const int dr = r - e.r;
            const int dg = g - e.g;
            const int db = b - e.b;
            const int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance || (distance == bestDistance && e.index < best)) {
                best = e.index;
                bestDistance = distance;
            }
        };
        for (qsizetype up = first, down = first - 1; up < count || down >= 0;) {
            const bool upOpen =
                up < count &&
                (byGreen_[size_t(up)].g - g) * (byGreen_[size_t(up)].g - g) <= bestDistance;
            const bool downOpen =
                down >= 0 &&
                (g - byGreen_[size_t(down)].g) * (g - byGreen_[size_t(down)].g) <= bestDistance;
            if (!upOpen && !downOpen) {
                break;
            }
            if (upOpen) {
                consider(byGreen_[size_t(up++)]);
            } else {
                up = count;
            }
            if (downOpen) {
                consider(byGreen_[size_t(down--)]);
            } else {
                down = -1;
            }
        }
        return best;
    }

    std::vector<Entry> byGreen_;
    std::vector<std::int16_t> cache_;
};

// Error in sixteenths, rounded half away from zero.
int sixteenths(int error) {
    return (error >= 0 ? error + 8 : error - 8) / 16;
}

// Floyd-Steinberg: 7/16 of each pixel's error goes right, 3/16, 5/16 and 1/16
// to the row below. The error rows carry one spare cell on each side.
QImage diffuseOntoPalette(const QImage& rgb32, const QList<QRgb>& palette) {
    const int w = rgb32.width();
    QImage out(w, rgb32.height(), QImage::Format_Indexed8);
    out.setColorTable(palette);
    NearestColour nearest(palette);
    std::vector<int> current(size_t(w + 2) * 3, 0);
    std::vector<int> next(size_t(w + 2) * 3, 0);
    for (int y = 0; y < rgb32.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(rgb32.constScanLine(y));
        uchar* indexes = out.scanLine(y);
        std::fill(next.begin(), next.end(), 0);
        for (int x = 0; x < w; ++x) {
            int value[3];
            for (int c = 0; c < 3; ++c) {
                const int carried = sixteenths(current[size_t(x + 1) * 3 + size_t(c)]);
                value[c] = std::clamp(channel(in[x], c) + carried, 0, 255);
            }
            const int index = nearest.find(value[0], value[1], value[2]);
            indexes[x] = uchar(index);
            for (int c = 0; c < 3; ++c) {
                const int error = value[c] - channel(palette[index], c);
                current[size_t(x + 2) * 3 + size_t(c)] += error * 7;
                next[size_t(x) * 3 + size_t(c)] += error * 3;
                next[size_t(x + 1) * 3 + size_t(c)] += error * 5;
                next[size_t(x + 2) * 3 + size_t(c)] += error;
            }
        }
        std::swap(current, next);
    }
    return out;
}

// The image's own colours when there are no more than maxColours of them.
bool exactPalette(const QImage& rgb32, int maxColours, QList<QRgb>* palette,
                  QHash<QRgb, int>* indexes) {
    for (int y = 0; y < rgb32.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb32.constScanLine(y));
        for (int x = 0; x < rgb32.width(); ++x) {
            const QRgb c = line[x] & kColourBits;
            if (indexes->contains(c)) {
                continue;
            }
            if (palette->size() == maxColours) {
                return false;
            }
            indexes->insert(c, int(palette->size()));
            palette->append(c | 0xff000000u);
        }
    }
    return true;
}

}  // namespace

QImage reduceColours(const QImage& image, int maxColours) {
    if (image.isNull()) {
        return {};
    }
    maxColours = std::clamp(maxColours, 1, 256);
    const QImage rgb32 = image.convertToFormat(QImage::Format_RGB32);

    QList<QRgb> palette;
    QHash<QRgb, int> indexes;
    if (exactPalette(rgb32, maxColours, &palette, &indexes)) {
        QImage out(rgb32.width(), rgb32.height(), QImage::Format_Indexed8);
        out.setColorTable(palette);
        for (int y = 0; y < rgb32.height(); ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(rgb32.constScanLine(y));
            uchar* line = out.scanLine(y);
            for (int x = 0; x < rgb32.width(); ++x) {
                line[x] = uchar(indexes.value(in[x] & kColourBits));
            }
        }
        return out;
    }
    return diffuseOntoPalette(rgb32, medianCutPalette(rgb32, maxColours));
}

QImage ditherBlackWhite(const QImage& image) {
    if (image.isNull()) {
        return {};
    }
    const QImage rgb32 = image.convertToFormat(QImage::Format_RGB32);
    const int w = rgb32.width();
    QImage out(w, rgb32.height(), QImage::Format_Indexed8);
    out.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    std::vector<int> current(size_t(w + 2), 0);
    std::vector<int> next(size_t(w + 2), 0);
    for (int y = 0; y < rgb32.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(rgb32.constScanLine(y));
        uchar* indexes = out.scanLine(y);
        std::fill(next.begin(), next.end(), 0);
        for (int x = 0; x < w; ++x) {
            // Rec. 601 luma in whole steps of 0..255.
            const int luma =
                (299 * qRed(in[x]) + 587 * qGreen(in[x]) + 114 * qBlue(in[x]) + 500) / 1000;
            const int value = std::clamp(luma + sixteenths(current[size_t(x + 1)]), 0, 255);
            const bool white = value >= 128;
            indexes[x] = white ? 1 : 0;
            const int error = value - (white ? 255 : 0);
            current[size_t(x + 2)] += error * 7;
            next[size_t(x)] += error * 3;
            next[size_t(x + 1)] += error * 5;
            next[size_t(x + 2)] += error;
        }
        std::swap(current, next);
    }
    return out;
}

}  // namespace kv::playback

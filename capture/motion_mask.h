#pragma once

// The motion mask: 80 x 60 cells over the live picture, one bit each. A white
// cell (bit 1) is watched by the motion measure, a black cell (bit 0) is
// ignored. Cell (x, y) counts x from the left and y from the top.

#include <QImage>

#include <array>
#include <cstdint>

class QPainter;
class QRectF;
class QString;

namespace kv::capture {

class MotionMask {
  public:
    static constexpr int kWidth = 80;
    static constexpr int kHeight = 60;
    static constexpr int kCells = kWidth * kHeight;

    MotionMask() { reset(); }

    // A fresh mask: every cell active.
    void reset();
    // "Clear Mask": every cell active again.
    void clear() { reset(); }

    // Cells outside the mask are active: the measure samples them on frames
    // whose grid is larger than the mask.
    bool isActive(int x, int y) const {
        if (x < 0 || x >= kWidth || y < 0 || y >= kHeight) {
            return true;
        }
        return (bits_[std::size_t(y * kBytesPerRow + (x >> 3))] >> (7 - (x & 7))) & 1;
    }
    // Auto-set: switches a cell off. Cells outside the mask stay active.
    void learn(int x, int y) {
        if (x >= 0 && x < kWidth && y >= 0 && y < kHeight) {
            bits_[std::size_t(y * kBytesPerRow + (x >> 3))] &= std::uint8_t(~(0x80u >> (x & 7)));
        }
    }
    int activeCount() const;

    // The mask as an 80 x 60 one-bit image: index 0 black, index 1 white.
    QImage image() const;

    // Stretches the mask over target with source AND destination, so ignored
    // cells show black and watched cells leave the picture as it is. The
    // painter's state is restored afterwards.
    void drawOverlay(QPainter& painter, const QRectF& target) const;

    // Writes an 80 x 60 one-bit BMP, replacing the file only once it is
    // complete. On failure returns false and sets error to a text for the user.
    bool save(const QString& path, QString* error) const;

    // Takes any bitmap the file holds as the mask: a cell is active when its
    // colour is not black. False, with a warning and the mask unchanged, when
    // the file cannot be read, or is not a regular file of at most 64 MiB (a
    // FIFO, device or directory is never read, and never waited for).
    bool load(const QString& path);
    // The mask as a rebuild of the capture pipeline makes it: all active, then
    // the saved file, when there is one.
    void resetAndLoad(const QString& path);

  private:
    static constexpr int kBytesPerRow = kWidth / 8;
    // Rows top first, the leftmost cell in the highest bit, as in a 1-bit BMP.
    std::array<std::uint8_t, kBytesPerRow * kHeight> bits_{};
};

}  // namespace kv::capture

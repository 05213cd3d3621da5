#pragma once

// The motion mask: 80 x 60 cells over the live picture, one bit each. A white
// cell (bit 1) is watched by the motion measure, a black cell (bit 0) is
// ignored. Cell (x, y) counts x from the left and y from the top.

#include <QImage>

#include <QPointF>

#include <array>
#include <cstdint>
#include <deque>

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
    // Painting by hand: a cell ignored or watched. Cells outside the mask stay active.
    void setActive(int x, int y, bool active) {
        if (x >= 0 && x < kWidth && y >= 0 && y < kHeight) {
            std::uint8_t& byte = bits_[std::size_t(y * kBytesPerRow + (x >> 3))];
            const auto bit = std::uint8_t(0x80u >> (x & 7));
            byte = active ? std::uint8_t(byte | bit) : std::uint8_t(byte & ~bit);
        }
    }
    int activeCount() const;

    // Every cell at once, for undoing a stroke.
    static constexpr int kBytesPerRow = kWidth / 8;
    using Bits = std::array<std::uint8_t, kBytesPerRow * kHeight>;
    const Bits& bits() const { return bits_; }
    void setBits(const Bits& bits) { bits_ = bits; }

    // The mask as an 80 x 60 one-bit image: index 0 black, index 1 white.
    QImage image() const;

    // Shows the mask over a picture drawn in target: ignored cells tinted red
    // and hatched, so that they show on a dark scene as on a bright one;
    // watched cells leave the picture as it is. The painter's state is
    // restored afterwards.
    void drawOverlay(QPainter& painter, const QRectF& target) const;

    // Writes an 80 x 60 one-bit BMP (mode 0600) beside path and renames it over
    // path once complete, so a link at path is replaced, never written
    // through. On failure returns false and sets error to a text for the user.
    bool save(const QString& path, QString* error) const;

    // Takes any bitmap the file holds as the mask: a cell is active when its
    // colour is not black. False, with one warning and the mask unchanged, when
    // the file cannot be read, or is not a regular file of the user's own of
    // at most 64 MiB (a symbolic link, FIFO, device or directory is never
    // read, and never waited for).
    bool load(const QString& path);
    // The mask as a rebuild of the capture pipeline makes it: all active, then
    // the saved file, when there is one.
    void resetAndLoad(const QString& path);

  private:
    // Rows top first, the leftmost cell in the highest bit, as in a 1-bit BMP.
    Bits bits_{};
};

// Painting the mask by hand: strokes of a square brush of 1, 3 or 5 cells that
// mark the cells under it ignored or watched. The last 20 strokes that changed
// something can be undone.
class MaskPainter {
  public:
    static constexpr int kUndoSteps = 20;

    explicit MaskPainter(MotionMask& mask) : mask_(mask) {}

    // 1, 3 or 5 cells across; other sizes are refused.
    bool setBrush(int cells);
    int brush() const { return brush_; }

    // A stroke at a point in cell units (x 0..80, y 0..60), on to further
    // points (every cell on the way is painted), and its end, which tells
    // whether the mask changed.
    void begin(QPointF cell, bool watched);
    void moveTo(QPointF cell);
    bool end();
    bool painting() const { return painting_; }

    // Takes the last stroke back; false when there is none.
    bool undo();
    int undoSteps() const { return int(undo_.size()); }

  private:
    void dab(QPointF cell);

    MotionMask& mask_;
    int brush_ = 1;
    bool painting_ = false;
    bool watched_ = false;
    QPointF last_;
    MotionMask::Bits before_{};
    std::deque<MotionMask::Bits> undo_;
};

}  // namespace kv::capture

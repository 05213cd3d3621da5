#pragma once

// The date and time stamp that every handled frame carries: the date at the
// bottom left and the time at the bottom right, white on the picture. It is
// painted into the frame itself, so recordings, saved and printed frames show
// it; the live picture gets its own.

#include "media/frame.h"

#include <QDateTime>
#include <QFont>
#include <QLocale>
#include <QString>

#include <cstddef>
#include <cstdint>

class QPainter;

namespace kv::capture {

// The date in the locale's short format.
QString stampDate(const QDateTime& when, const QLocale& locale = QLocale());
// The time in the locale's long format without its time-zone part, which
// would only repeat the same zone on every frame.
QString stampTime(const QDateTime& when, const QLocale& locale = QLocale());
// A time format with every unquoted time-zone field and the blanks around it
// removed: "h:mm:ss AP t" becomes "h:mm:ss AP".
QString withoutTimeZone(const QString& format);

// The font of the stamp on frames: the desktop's sans-serif face at 8 points.
QFont stampFont();

// Draws both texts, 5 pixels in from the bottom corners of a width x height
// surface, in the painter's current font.
void drawStamp(QPainter& painter, int width, int height, const QDateTime& when,
               const QLocale& locale = QLocale());

// The stored rows that stampFrame() may change: the bottom band of the
// picture, the first rows of a bottom-up frame and the last of a top-down one,
// as a byte range of the frame. Empty when the format is no frame.
struct StampBand {
    std::size_t offset = 0;
    std::size_t bytes = 0;
    int rows = 0;
};
// Like stampFrame(), it needs a GUI application for the font.
StampBand stampBand(const media::BITMAPINFOHEADER& format);

// Paints the stamp into a frame's own pixels (upright, whatever the row
// order), in stampFont() at 96 dots per inch so that its size in pixels does
// not depend on the screen. Only the rows of stampBand() are touched. False
// when the pixels are no frame.
bool stampFrame(std::uint8_t* pixels, const media::BITMAPINFOHEADER& format, const QDateTime& when,
                const QLocale& locale = QLocale());

}  // namespace kv::capture

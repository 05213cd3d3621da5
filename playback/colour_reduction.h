#pragma once

// Colour reduction for the indexed bitmap exports: an optimised palette by
// median cut, then Floyd-Steinberg error diffusion onto it.

#include <QImage>

namespace kv::playback {

// An Format_Indexed8 image of at most maxColours colours (1..256). An image
// that has no more colours than that keeps every colour exactly and is not
// dithered; otherwise the palette comes from a median cut of the image's
// colours and the error is diffused. Alpha is ignored. Null for a null image.
QImage reduceColours(const QImage& image, int maxColours);

// A Format_Indexed8 image with the two colours black (index 0) and white
// (index 1), dithered on luminance so that the mean brightness is kept.
QImage ditherBlackWhite(const QImage& image);

}  // namespace kv::playback

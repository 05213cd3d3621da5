#pragma once

// The program's frame: 24 bits per pixel in blue, green, red byte order, rows
// stored bottom-up, each row padded to a multiple of 4 bytes. Its header has
// the layout of the Windows bitmap header, so the same struct also describes
// the pixel part of BMP files.

#include <bit>
#include <cstddef>
#include <cstdint>

class QImage;
class QPainter;
class QRectF;

namespace kv::media {

constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint32_t BI_RLE8 = 1;
constexpr std::uint32_t BI_RLE4 = 2;

// Every field sits at its natural alignment, so the struct has no padding and
// its bytes on a little-endian machine are the bytes of the file format.
struct BITMAPINFOHEADER {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;  // positive: rows stored bottom-up
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;  // bytes of one frame copy
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};

struct RGBQUAD {
    std::uint8_t rgbBlue;
    std::uint8_t rgbGreen;
    std::uint8_t rgbRed;
    std::uint8_t rgbReserved;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

static_assert(std::endian::native == std::endian::little,
              "frame headers are stored in their file byte order");
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(offsetof(BITMAPINFOHEADER, biPlanes) == 12);
static_assert(offsetof(BITMAPINFOHEADER, biCompression) == 16);
static_assert(offsetof(BITMAPINFOHEADER, biSizeImage) == 20);
static_assert(offsetof(BITMAPINFOHEADER, biClrImportant) == 36);
static_assert(sizeof(RGBQUAD) == 4);
static_assert(sizeof(BITMAPINFO) == 44);

// The largest frame side in pixels. Sizes come from files and cameras; at
// this limit a frame is 768 MiB, far inside 32 bits of biSizeImage.
constexpr int kMaxFrameSide = 16384;

// Whether a picture of this size can be a frame: 1 to kMaxFrameSide pixels
// wide and high (a negative height, for top-down rows, counts by its size).
constexpr bool isFrameSize(std::int64_t width, std::int64_t height) {
    return width >= 1 && width <= kMaxFrameSide && height != 0 && height >= -kMaxFrameSide &&
           height <= kMaxFrameSide;
}

// Bytes of one stored row of a 24-bit frame. Equals GStreamer's BGR stride,
// GST_ROUND_UP_4(width * 3). Meant for widths that pass isFrameSize().
constexpr int frameStride(int width) {
    return int(((std::int64_t(width) * 24 + 31) & ~std::int64_t(31)) / 8);
}

// Header of a 24-bit uncompressed frame of the given size, its image size
// computed in 64 bits. A size that fails isFrameSize() gives a header that
// isFrameFormat() refuses; callers check before they use it. When the image
// would not even fit the 32 bits of biSizeImage (or the size is not positive),
// width, height and image size are all 0, so that no loop over its rows runs
// and nothing is allocated from a wrapped product.
BITMAPINFOHEADER makeFrameHeader(int width, int height);

// True when the header describes a frame this program handles: 24 bits,
// uncompressed, a size that passes isFrameSize(), and an image size that
// holds every row.
bool isFrameFormat(const BITMAPINFOHEADER& format);

// The frame's pixels as a QImage, without a copy. Rows come in stored order,
// so the picture is upside down; drawFrame() shows it upright. The image is
// valid as long as the pixels are.
QImage frameImage(const std::uint8_t* pixels, const BITMAPINFOHEADER& format);
// The same over writable pixels: a painter on it paints into the frame.
QImage frameImage(std::uint8_t* pixels, const BITMAPINFOHEADER& format);

// Draws a bottom-up frame upright, stretched over target.
void drawFrame(QPainter& painter, const QRectF& target, const std::uint8_t* pixels,
               const BITMAPINFOHEADER& format);

}  // namespace kv::media

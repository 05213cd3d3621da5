#include "media/frame.h"

#include <QImage>
#include <QPainter>
#include <QRectF>

#include <cstdint>
#include <cstdlib>

namespace kv::media {

BITMAPINFOHEADER makeFrameHeader(int width, int height) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const std::int64_t rows = std::int64_t(height) < 0 ? -std::int64_t(height) : height;
    const std::int64_t stride = (std::int64_t(width) * 24 + 31) / 32 * 4;
    // Divided, not multiplied: both may be near 2^31 and their product past 2^63.
    if (width <= 0 || rows == 0 || rows > std::int64_t(UINT32_MAX) / stride) {
        return header;  // no size: nothing is allocated or copied for it
    }
    const std::int64_t bytes = stride * rows;
    header.biWidth = width;
    header.biHeight = height;
    header.biSizeImage = std::uint32_t(bytes);
    return header;
}

bool isFrameFormat(const BITMAPINFOHEADER& format) {
    if (format.biBitCount != 24 || format.biCompression != BI_RGB) {
        return false;
    }
    if (!isFrameSize(format.biWidth, format.biHeight)) {
        return false;
    }
    const std::uint64_t needed =
        std::uint64_t(frameStride(format.biWidth)) * std::uint64_t(std::abs(format.biHeight));
    return format.biSizeImage >= needed;
}

QImage frameImage(const std::uint8_t* pixels, const BITMAPINFOHEADER& format) {
    if (!pixels || !isFrameFormat(format)) {
        return {};
    }
    return QImage(pixels, format.biWidth, std::abs(format.biHeight), frameStride(format.biWidth),
                  QImage::Format_BGR888);
}

QImage frameImage(std::uint8_t* pixels, const BITMAPINFOHEADER& format) {
    if (!pixels || !isFrameFormat(format)) {
        return {};
    }
    return QImage(pixels, format.biWidth, std::abs(format.biHeight), frameStride(format.biWidth),
                  QImage::Format_BGR888);
}

void drawFrame(QPainter& painter, const QRectF& target, const std::uint8_t* pixels,
               const BITMAPINFOHEADER& format) {
    const QImage image = frameImage(pixels, format);
    if (image.isNull()) {
        return;
    }
    if (format.biHeight < 0) {  // already top-down
        painter.drawImage(target, image);
        return;
    }
    painter.save();
    // Mirror around the target's horizontal centre line.
    painter.translate(0, target.top() + target.bottom());
    painter.scale(1, -1);
    painter.drawImage(target, image);
    painter.restore();
}

}  // namespace kv::media

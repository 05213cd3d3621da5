#include "capture/frame_stamp.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

namespace kv::capture {

namespace {
// 96 dots per inch, in dots per metre.
constexpr int kStampDotsPerMeter = 3780;
constexpr int kMargin = 5;
}  // namespace

QString stampDate(const QDateTime& when, const QLocale& locale) {
    return locale.toString(when.date(), QLocale::ShortFormat);
}

QString stampTime(const QDateTime& when, const QLocale& locale) {
    return locale.toString(when.time(), withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
}

QString withoutTimeZone(const QString& format) {
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'\'') {
            quoted = !quoted;
            result += c;
        } else if (!quoted && c == u't') {
            // Drop the field with the blanks before it, or after it when it
            // leads the format.
            while (!result.isEmpty() && result.back().isSpace()) {
                result.chop(1);
            }
            while (i + 1 < format.size() && format[i + 1] == u't') {
                ++i;
            }
            if (result.isEmpty()) {
                while (i + 1 < format.size() && format[i + 1].isSpace()) {
                    ++i;
                }
            }
        } else {
            result += c;
        }
    }
    return result;
}

QFont stampFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

void drawStamp(QPainter& painter, int width, int height, const QDateTime& when,
               const QLocale& locale) {
    painter.save();
    painter.setPen(Qt::white);
    painter.setBackgroundMode(Qt::TransparentMode);
    const QRect area(kMargin, 0, width - 2 * kMargin, height - kMargin);
    painter.drawText(area, Qt::AlignLeft | Qt::AlignBottom, stampDate(when, locale));
    painter.drawText(area, Qt::AlignRight | Qt::AlignBottom, stampTime(when, locale));
    painter.restore();
}

StampBand stampBand(const media::BITMAPINFOHEADER& format) {
    if (!media::isFrameFormat(format)) {
        return {};
    }
    // Two lines of the stamp's font above the margin: room for any glyph's
    // ascent and its anti-aliased edge, so painting only these rows gives the
    // same pixels as painting the whole frame.
    QImage device(1, 1, QImage::Format_BGR888);
    device.setDotsPerMeterX(kStampDotsPerMeter);
    device.setDotsPerMeterY(kStampDotsPerMeter);
    const QFontMetrics metrics(stampFont(), &device);
    const int height = std::abs(format.biHeight);
    StampBand band;
    band.rows = std::min(height, kMargin + 2 * metrics.height() + 2);
    const std::size_t stride = std::size_t(media::frameStride(format.biWidth));
    band.bytes = std::size_t(band.rows) * stride;
    band.offset = format.biHeight > 0 ? 0 : std::size_t(height - band.rows) * stride;
    return band;
}

bool stampFrame(std::uint8_t* pixels, const media::BITMAPINFOHEADER& format, const QDateTime& when,
                const QLocale& locale) {
    const StampBand band = stampBand(format);
    if (!pixels || band.rows == 0) {
        return false;
    }
    // Painted over the band's own pixels: an image built over read-only
    // pixels would be detached into a copy by the painter. The band is the
    // bottom of the picture, so text placed against its bottom edge sits
    // where it would on the whole frame.
    QImage image(pixels + band.offset, format.biWidth, band.rows,
                 media::frameStride(format.biWidth), QImage::Format_BGR888);
    image.setDotsPerMeterX(kStampDotsPerMeter);
    image.setDotsPerMeterY(kStampDotsPerMeter);
    QPainter painter(&image);
    if (format.biHeight > 0) {  // bottom-up rows: draw through a flip
        painter.translate(0, band.rows);
        painter.scale(1, -1);
    }
    painter.setFont(stampFont());
    drawStamp(painter, format.biWidth, band.rows, when, locale);
    return painter.end();
}

}  // namespace kv::capture

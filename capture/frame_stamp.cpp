#include "capture/frame_stamp.h"

#include <QFontDatabase>
#include <QImage>
#include <QPainter>

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

bool stampFrame(std::uint8_t* pixels, const media::BITMAPINFOHEADER& format, const QDateTime& when,
                const QLocale& locale) {
    // Painted over the pixels themselves: an image built over read-only
    // pixels would be detached into a copy by the painter.
    QImage image = media::frameImage(pixels, format);
    if (image.isNull()) {
        return false;
    }
    image.setDotsPerMeterX(kStampDotsPerMeter);
    image.setDotsPerMeterY(kStampDotsPerMeter);
    const int height = std::abs(format.biHeight);
    QPainter painter(&image);
    if (format.biHeight > 0) {  // bottom-up rows: draw through a flip
        painter.translate(0, height);
        painter.scale(1, -1);
    }
    painter.setFont(stampFont());
    drawStamp(painter, format.biWidth, height, when, locale);
    return painter.end();
}

}  // namespace kv::capture

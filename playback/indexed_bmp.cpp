#include "playback/indexed_bmp.h"

#include "media/frame.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QSaveFile>

#include <cstring>

using namespace Qt::Literals::StringLiterals;

namespace kv::playback {

Q_LOGGING_CATEGORY(lcExport, "kv.playback.export", QtInfoMsg)

namespace {

constexpr int kFileHeaderBytes = 14;

void putU16(QByteArray& out, quint16 v) {
    out.append(char(v & 0xff));
    out.append(char(v >> 8));
}

void putU32(QByteArray& out, quint32 v) {
    putU16(out, quint16(v & 0xffff));
    putU16(out, quint16(v >> 16));
}

bool fail(QString* error, const QString& why) {
    qCWarning(lcExport).noquote() << why;
    if (error) {
        *error = why;
    }
    return false;
}

// One stored row: the leftmost pixel in the highest bits of its byte.
void packRow(const uchar* indexes, int width, int bits, QByteArray& row) {
    row.fill(0);
    auto* out = reinterpret_cast<uchar*>(row.data());
    for (int x = 0; x < width; ++x) {
        const int bit = x * bits;
        out[bit / 8] |= uchar(indexes[x] << (8 - bits - bit % 8));
    }
}

}  // namespace

bool writeIndexedBmp(const QImage& image, int bits, const QString& path, QString* error) {
    const QString name = QDir::toNativeSeparators(path);
    if (bits != 1 && bits != 4 && bits != 8) {
        return fail(error, QCoreApplication::translate(
                               "kv::playback::FrameExport",
                               "Cannot write %1: %2 bits per pixel is not an indexed depth.")
                               .arg(name, QString::number(bits)));
    }
    if (image.isNull()) {
        return fail(error, QCoreApplication::translate("kv::playback::FrameExport",
                                                       "Cannot write %1: there is no image.")
                               .arg(name));
    }
    QImage indexed = image;
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB) {
        indexed = image.convertToFormat(QImage::Format_Indexed8);
    }
    if (indexed.format() != QImage::Format_Indexed8) {
        return fail(error,
                    QCoreApplication::translate("kv::playback::FrameExport",
                                                "Cannot write %1: the image has no colour table.")
                        .arg(name));
    }
    const int entries = 1 << bits;
    const int colours = int(indexed.colorCount());
    if (colours > entries) {
        return fail(error, QCoreApplication::translate(
                               "kv::playback::FrameExport",
                               "Cannot write %1: %2 colours do not fit in %3 bits per pixel.")
                               .arg(name, QString::number(colours), QString::number(bits)));
    }
    const int width = indexed.width();
    const int height = indexed.height();
    for (int y = 0; y < height; ++y) {
        const uchar* line = indexed.constScanLine(y);
        for (int x = 0; x < width; ++x) {
            if (line[x] >= colours) {
                return fail(error, QCoreApplication::translate(
                                       "kv::playback::FrameExport",
                                       "Cannot write %1: pixel (%2, %3) has no colour.")
                                       .arg(name, QString::number(x), QString::number(y)));
            }
        }
    }

    const qint64 stride = ((qint64(width) * bits + 31) & ~qint64(31)) / 8;
    const qint64 offBits = kFileHeaderBytes + qint64(sizeof(media::BITMAPINFOHEADER)) + 4 * entries;
    const qint64 fileBytes = offBits + stride * height;
    if (fileBytes > 0x7fffffff) {
        return fail(error, QCoreApplication::translate(
                               "kv::playback::FrameExport",
                               "Cannot write %1: the image is too large for a bitmap file.")
                               .arg(name));
    }

    media::BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;  // bottom-up
    info.biPlanes = 1;
    info.biBitCount = std::uint16_t(bits);
    info.biCompression = media::BI_RGB;
    info.biSizeImage = std::uint32_t(stride * height);
    info.biXPelsPerMeter = indexed.dotsPerMeterX();
    info.biYPelsPerMeter = indexed.dotsPerMeterY();
    info.biClrUsed = std::uint32_t(entries);
    info.biClrImportant = 0;

    QByteArray head;
    head.reserve(offBits);
    head.append("BM", 2);
    putU32(head, quint32(fileBytes));
    putU32(head, 0);  // two reserved words
    putU32(head, quint32(offBits));
    head.append(reinterpret_cast<const char*>(&info), sizeof(info));
    for (int i = 0; i < entries; ++i) {
        const QRgb c = i < colours ? indexed.color(i) : qRgb(0, 0, 0);
        head.append(char(qBlue(c)));
        head.append(char(qGreen(c)));
        head.append(char(qRed(c)));
        head.append('\0');
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return fail(error,
                    QCoreApplication::translate("kv::playback::FrameExport", "Cannot write %1: %2")
                        .arg(name, file.errorString()));
    }
    file.write(head);
    QByteArray row(stride, '\0');
    for (int y = height - 1; y >= 0; --y) {
        packRow(indexed.constScanLine(y), width, bits, row);
        file.write(row);
    }
    // A failed write marks the file; commit then discards it and keeps any old one.
    if (!file.commit()) {
        return fail(error,
                    QCoreApplication::translate("kv::playback::FrameExport", "Cannot write %1: %2")
                        .arg(name, file.errorString()));
    }
    return true;
}

bool writeBmp4(const QImage& indexed16, const QString& path, QString* error) {
    return writeIndexedBmp(indexed16, 4, path, error);
}

}  // namespace kv::playback

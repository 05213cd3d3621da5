#include "playback/frame_export.h"

#include "playback/colour_reduction.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QImageWriter>
#include <QLocale>
#include <QLoggingCategory>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>

#include <cstdlib>
#include <cstring>

using namespace Qt::Literals::StringLiterals;

namespace kv::playback {
namespace {

bool fail(QString* error, const QString& why) {
    qCWarning(lcExport).noquote() << why;
    if (error) {
        *error = why;
    }
    return false;
}

// JPEG and 24-bit BMP: Qt's own writers, into a temporary file that replaces
// the named one only once it is complete.
bool writeWithQt(const QImage& frame, const QString& path, const char* format, int quality,
                 QString* error) {
    const QString name = QDir::toNativeSeparators(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return fail(error,
                    QCoreApplication::translate("kv::playback::FrameExport", "Cannot write %1: %2")
                        .arg(name, file.errorString()));
    }
    QImageWriter writer(&file, format);
    if (quality >= 0) {
        writer.setQuality(quality);
    }
    // Without alpha: an image with alpha would become a 32-bit bitmap.
    if (!writer.write(frame.convertToFormat(QImage::Format_RGB32))) {
        file.cancelWriting();
        return fail(error,
                    QCoreApplication::translate("kv::playback::FrameExport", "Cannot write %1: %2")
                        .arg(name, writer.errorString()));
    }
    if (!file.commit()) {
        return fail(error,
                    QCoreApplication::translate("kv::playback::FrameExport", "Cannot write %1: %2")
                        .arg(name, file.errorString()));
    }
    return true;
}

}  // namespace

QImage exportFrameImage(const media::BITMAPINFOHEADER& format, const QByteArray& pixels) {
    if (!media::isFrameFormat(format)) {
        qCWarning(lcExport) << "not a 24-bit frame:" << format.biWidth << "x" << format.biHeight
                            << "at" << format.biBitCount << "bits, compression"
                            << format.biCompression;
        return {};
    }
    const qsizetype needed =
        qsizetype(media::frameStride(format.biWidth)) * qsizetype(std::abs(format.biHeight));
    QByteArray bytes = pixels.left(needed);
    if (bytes.size() < needed) {
        qCWarning(lcExport) << "frame has" << pixels.size() << "of" << needed
                            << "bytes; the rest is black";
        bytes.append(needed - bytes.size(), '\0');
    }
    const QImage stored =
        media::frameImage(reinterpret_cast<const std::uint8_t*>(bytes.constData()), format);
    const QImage upright = format.biHeight > 0 ? stored.mirrored(false, true) : stored.copy();
    return upright.convertToFormat(QImage::Format_RGB32);
}

int selectedFilterIndex(const QFileDialog& dialog) {
    return int(dialog.nameFilters().indexOf(dialog.selectedNameFilter())) + 1;
}

QString exportFileName(const QString& chosen, int filterIndex) {
    if (chosen.isEmpty() || !QFileInfo(chosen).suffix().isEmpty()) {
        return chosen;
    }
    QString name = chosen;
    if (name.endsWith(u'.')) {
        name.chop(1);  // "frame." has no extension either; avoid "frame..bmp"
    }
    return name + (filterIndex == ExportJpeg ? u".jpg"_s : u".bmp"_s);
}

QString suggestedExportName(const QString& name, int filterIndex) {
    if (name.isEmpty() || filterIndex < ExportJpeg || filterIndex > ExportBmp1) {
        return name;
    }
    const QString extension = filterIndex == ExportJpeg ? u"jpg"_s : u"bmp"_s;
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0) {
        return name + u'.' + extension;
    }
    const QString suffix = name.mid(dot + 1).toLower();
    if (suffix.isEmpty() || suffix == u"jpg"_s || suffix == u"jpeg"_s || suffix == u"bmp"_s) {
        return name.left(dot + 1) + extension;
    }
    return name;
}

QString exportFolder(const QString& fileName) {
    return QFileInfo(fileName).absolutePath();
}

bool saveFrame(const QImage& frame, const QString& fileName, int filterIndex, QString* error) {
    const QString name = QDir::toNativeSeparators(fileName);
    if (filterIndex < ExportJpeg || filterIndex > ExportBmp1) {
        return fail(error,
                    QCoreApplication::translate("kv::playback::FrameExport",
                                                "Cannot write %1: filter %2 is no image format.")
                        .arg(name, QString::number(filterIndex)));
    }
    if (fileName.isEmpty()) {
        return fail(error,
                    QCoreApplication::translate("kv::playback::FrameExport",
                                                "Cannot save the frame: no file name was given."));
    }
    if (frame.isNull()) {
        return fail(error,
                    QCoreApplication::translate("kv::playback::FrameExport",
                                                "Cannot write %1: there is no frame to save.")
                        .arg(name));
    }
    switch (filterIndex) {
        case ExportJpeg:
            return writeWithQt(frame, fileName, "jpg", 75, error);
        case ExportBmp24:
            return writeWithQt(frame, fileName, "bmp", -1, error);
        case ExportBmp8:
            return writeIndexedBmp(reduceColours(frame, 256), 8, fileName, error);
        case ExportBmp4:
            return writeBmp4(reduceColours(frame, 16), fileName, error);
        default:
            return writeIndexedBmp(ditherBlackWhite(frame), 1, fileName, error);
    }
}

QString printFooter(const QString& fileName, qint64 frame, const QDateTime& when) {
    // One multi-argument arg(): a "%1" inside the file name stays as it is.
    return QCoreApplication::translate("kv::playback::FrameExport",
                                       "Kestrelvision: %1, frame %2, %3")
        .arg(QFileInfo(fileName).fileName(), QString::number(frame),
             QLocale().toString(when, QLocale::ShortFormat));
}

bool printFrame(const QImage& frame, QPrinter& printer, const QString& footer, QString* error) {
    if (frame.isNull()) {
        return fail(error,
                    QCoreApplication::translate("kv::playback::FrameExport",
                                                "Cannot print: there is no frame to print."));
    }
    printer.setDocName(
        QCoreApplication::translate("kv::playback::FrameExport", "Kestrelvision Frame"));
    // The painter's origin is then the paper's corner, not the printable area's.
    printer.setFullPage(true);
    const QString target = printer.outputFileName().isEmpty()
                               ? printer.printerName()
                               : QDir::toNativeSeparators(printer.outputFileName());
    QPainter painter;
    if (!painter.begin(&printer)) {
        return fail(
            error,
            QCoreApplication::translate("kv::playback::FrameExport",
                                        "Cannot print on %1: the print job could not be started.")
                .arg(target.isEmpty() ? QCoreApplication::translate("kv::playback::FrameExport",
                                                                    "the default printer")
                                      : target));
    }
    // One logical unit is 0.1 mm.
    const QRectF paperMm = printer.paperRect(QPrinter::Millimeter);
    const QRectF paperPx = printer.paperRect(QPrinter::DevicePixel);
    painter.scale(paperPx.width() / (paperMm.width() * 10.0),
                  paperPx.height() / (paperMm.height() * 10.0));

    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(100, 100, 1300, 1000), frame);

    QFont font(u"Arial"_s);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(20);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(100, 1110, paperMm.width() * 10.0 - 200, 100),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, footer);

    const bool aborted = printer.printerState() == QPrinter::Aborted;
    const bool ended = painter.end();
    if (aborted) {
        return fail(error, QCoreApplication::translate("kv::playback::FrameExport",
                                                       "Printing on %1 was aborted.")
                               .arg(target));
    }
    if (!ended || printer.printerState() == QPrinter::Error) {
        return fail(error, QCoreApplication::translate("kv::playback::FrameExport",
                                                       "Printing on %1 failed.")
                               .arg(target));
    }
    return true;
}

bool defaultPrinterAvailable() {
    return !QPrinterInfo::defaultPrinter().isNull();
}

QString noPrinterMessage() {
    return QPrinterInfo::availablePrinters().isEmpty()
               ? QCoreApplication::translate("kv::playback::FrameExport",
                                             "No printer is installed.")
               : QCoreApplication::translate("kv::playback::FrameExport",
                                             "No default printer is set.");
}

}  // namespace kv::playback

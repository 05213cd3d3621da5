#pragma once

// Frame export: the frame that playback shows, saved as an image file (JPEG,
// or a bitmap of 24, 8, 4 or 1 bits per pixel) or printed on one page.

#include "media/frame.h"
#include "playback/indexed_bmp.h"

#include <QByteArray>
#include <QImage>
#include <QString>

class QDateTime;
class QFileDialog;
class QPrinter;

namespace kv::playback {

// The save dialog's filter entries, numbered from 1 in the dialog's order.
enum ExportFilter : int {
    ExportJpeg = 1,
    ExportBmp24 = 2,
    ExportBmp8 = 3,
    ExportBmp4 = 4,
    ExportBmp1 = 5,
};

// An upright copy of a frame: 24-bit BGR rows, bottom-up for a positive
// biHeight (top-down for a negative one), padded to 4 bytes. When pixels holds
// fewer bytes than the frame needs, the rows it lacks stay black (with a
// warning); a header that is no 24-bit frame gives a null image.
QImage exportFrameImage(const media::BITMAPINFOHEADER& format, const QByteArray& pixels);

// The chosen filter entry of a file dialog, from 1; 0 when none is chosen.
int selectedFilterIndex(const QFileDialog& dialog);

// The name to write: a name without any extension gets ".jpg" for
// ExportJpeg and ".bmp" for every other index; a name with an extension keeps
// it, whatever the format written into it.
QString exportFileName(const QString& chosen, int filterIndex);

// The name the save dialog suggests for a filter entry: a name ending in
// ".jpg", ".jpeg" or ".bmp" (any case) takes the entry's extension instead
// (".jpg" for ExportJpeg, ".bmp" for the bitmaps), a name without an extension
// gets it, and any other name, or an index that is no entry, stays as it is.
QString suggestedExportName(const QString& name, int filterIndex);

// The folder the save dialog starts in after a save under fileName.
QString exportFolder(const QString& fileName);

// Writes frame to fileName in the format of filterIndex: JPEG at quality 75
// (whatever the extension), or a BMP of 24 bits, 8 bits (optimised palette of
// up to 256 colours), 4 bits (16 colours) or 1 bit (black and white), the
// reduced depths dithered. The file is replaced only once it is written
// completely. An unknown index writes nothing. On failure returns false and
// says why in *error.
bool saveFrame(const QImage& frame, const QString& fileName, int filterIndex, QString* error);

// The one line printed under the frame.
QString printFooter(const QString& fileName, qint64 frame, const QDateTime& when);

// Prints frame on one page of printer, without a dialog: job title
// "Kestrelvision Frame", positions measured from the paper's edge (the printer
// is switched to full-page mode), the frame stretched to 130 x 100 mm at 10 mm
// from the left and top, the footer in a 2 mm sans-serif line at 111 mm from
// the top. On failure returns false and says why in *error.
bool printFrame(const QImage& frame, QPrinter& printer, const QString& footer, QString* error);

// True when the system has a default printer to print on.
bool defaultPrinterAvailable();

// The message to show instead of printing when there is no default printer.
QString noPrinterMessage();

}  // namespace kv::playback

#pragma once

// Indexed Windows bitmaps of 1, 4 or 8 bits per pixel. Qt's BMP writer picks
// the depth from the colour table (an 8-bit image of up to 16 colours comes
// out at 4 bits), so these depths are written here, at exactly the depth asked.

#include <QImage>
#include <QLoggingCategory>
#include <QString>

namespace kv::playback {

// Exported pictures and their files, whoever writes them.
Q_DECLARE_LOGGING_CATEGORY(lcExport)

// Writes an indexed image (Format_Indexed8, or Format_Mono/MonoLSB for one bit)
// as an uncompressed bottom-up BMP of bitsPerPixel (1, 4 or 8) bits: file
// header, 40-byte info header, a colour table of all 2^bits entries (unused
// ones black) and rows padded to 4 bytes. The file is replaced only when it
// was written completely. On failure returns false and says why in *error.
bool writeIndexedBmp(const QImage& indexed, int bitsPerPixel, const QString& path, QString* error);

// writeIndexedBmp at 4 bits: the image has at most 16 colours.
bool writeBmp4(const QImage& indexed16, const QString& path, QString* error);

}  // namespace kv::playback

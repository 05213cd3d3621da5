#include "capture/motion_mask.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QLoggingCategory>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace kv::capture {

namespace {
Q_LOGGING_CATEGORY(lcMask, "kv.capture.mask", QtInfoMsg)

// Our own mask is 662 bytes, but the user may draw one in any editor at any
// size; 64 MiB still takes a 24-bit picture of 4000 x 4000 and keeps a stray
// huge file from being read into memory at start-up.
constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

// Only a regular file of the user's own is read, never through a symbolic
// link: opening a FIFO waits for a writer forever, a device or a directory
// holds no picture, and a mask someone else put in a shared folder could
// blind the detection. Empty when the file may be read.
QString notAPictureFile(const struct stat& info) {
    if (S_ISLNK(info.st_mode)) {
        return QStringLiteral("it is a symbolic link");
    }
    if (S_ISDIR(info.st_mode)) {
        return QStringLiteral("it is a directory");
    }
    if (S_ISFIFO(info.st_mode)) {
        return QStringLiteral("it is a FIFO");
    }
    if (!S_ISREG(info.st_mode)) {
        return QStringLiteral("it is not a regular file");
    }
    if (info.st_uid != ::getuid()) {
        return QStringLiteral("it belongs to another user (uid %1)").arg(info.st_uid);
    }
    if (info.st_size > kMaxFileBytes) {
        return QStringLiteral("larger than %1 MiB").arg(kMaxFileBytes / (1024 * 1024));
    }
    return QString();
}

// Opens path for reading if it is a file we may read; closed again otherwise.
// The name is checked before opening, so that nothing else is even opened, and
// the descriptor again, in case the name was replaced in between.
bool openPictureFile(const QString& path, QFile& file, qint64& size) {
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0) {
        const int error = errno;
        qCWarning(lcMask) << "mask file" << path << "not used:" << std::strerror(error);
        return false;
    }
    if (const QString reason = notAPictureFile(info); !reason.isEmpty()) {
        qCWarning(lcMask) << "mask file" << path << "not used:" << reason;
        return false;
    }
    const int fd =
        ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        qCWarning(lcMask) << "mask file" << path << "not used:" << std::strerror(error);
        return false;
    }
    QString reason;
    if (::fstat(fd, &info) != 0) {
        reason = QString::fromLocal8Bit(std::strerror(errno));
    } else {
        reason = notAPictureFile(info);
    }
    if (!reason.isEmpty() || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        qCWarning(lcMask) << "mask file" << path
                          << "not used:" << (reason.isEmpty() ? file.errorString() : reason);
        return false;
    }
    size = info.st_size;
    return true;
}

std::uint32_t readLe(const QByteArray& bytes, qsizetype at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | std::uint8_t(bytes[at + i]);
    }
    return value;
}

// Walks an RLE8 or RLE4 pixel stream to its end-of-bitmap mark.
bool rleComplete(const QByteArray& bytes, qsizetype at, bool fourBit) {
    const qsizetype size = bytes.size();
    while (at + 2 <= size) {
        const std::uint8_t count = std::uint8_t(bytes[at]);
        const std::uint8_t code = std::uint8_t(bytes[at + 1]);
        at += 2;
        if (count != 0 || code == 0) {
            continue;  // a run, or the end of a line
        }
        if (code == 1) {
            return true;  // end of bitmap
        }
        if (code == 2) {
            at += 2;  // move by (dx, dy)
            continue;
        }
        const qsizetype literal = fourBit ? (code + 1) / 2 : code;
        at += (literal + 1) & ~qsizetype(1);  // literal runs are padded to 16 bits
    }
    return false;
}

// Qt's BMP reader turns a cut-off file into a picture whose missing rows are
// undefined. Such a file must not become the mask, so BMP files are checked
// for all of their pixel data first. Returns an empty text when complete.
QString bmpShortfall(const QByteArray& bytes) {
    if (bytes.size() < 26) {
        return QStringLiteral("file too short");
    }
    const std::uint32_t offset = readLe(bytes, 10, 4);
    const std::uint32_t infoSize = readLe(bytes, 14, 4);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bits = 0;
    std::uint32_t compression = 0;
    if (infoSize == 12) {  // OS/2 core header
        width = readLe(bytes, 18, 2);
        height = readLe(bytes, 20, 2);
        bits = readLe(bytes, 24, 2);
    } else if (infoSize >= 40 && bytes.size() >= 34) {
        width = std::int32_t(readLe(bytes, 18, 4));
        height = std::int32_t(readLe(bytes, 22, 4));
        bits = readLe(bytes, 28, 2);
        compression = readLe(bytes, 30, 4);
    } else {
        return QStringLiteral("unknown bitmap header");
    }
    if (width <= 0 || height == 0 || offset >= std::uint64_t(bytes.size())) {
        return QStringLiteral("no pixel data");
    }
    switch (compression) {
        case 1:  // RLE8
        case 2:  // RLE4
            return rleComplete(bytes, offset, compression == 2)
                       ? QString()
                       : QStringLiteral("pixel data cut off");
        case 0:  // uncompressed
        case 3:  // bit fields
        case 6: {
            // width < 2^31 and bits < 2^16 keep the stride inside 64 bits; a
            // row longer than the file ends the check before the product,
            // which could overflow with a height up to 2^31.
            const std::int64_t stride = (width * std::int64_t(bits) + 31) / 32 * 4;
            const std::int64_t available = std::int64_t(bytes.size()) - std::int64_t(offset);
            if (stride > available) {
                return QStringLiteral("pixel data cut off");
            }
            const std::int64_t rows = height < 0 ? -height : height;
            const bool complete = stride == 0 || rows <= available / stride;
            return complete ? QString() : QStringLiteral("pixel data cut off");
        }
        default:
            return QString();  // left to the image reader
    }
}
}  // namespace

void MotionMask::reset() {
    bits_.fill(0xff);
}

int MotionMask::activeCount() const {
    int count = 0;
    for (std::uint8_t byte : bits_) {
        count += std::popcount(byte);
    }
    return count;
}

QImage MotionMask::image() const {
    QImage image(kWidth, kHeight, QImage::Format_Mono);
    image.fill(0);  // also the row padding, which the BMP writer copies out
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < kHeight; ++y) {
        std::memcpy(image.scanLine(y), bits_.data() + y * kBytesPerRow, kBytesPerRow);
    }
    return image;
}

void MotionMask::drawOverlay(QPainter& painter, const QRectF& target) const {
    // The ignored cells as one path of rows of cells: a row's neighbours join.
    QPainterPath ignored;
    const double w = target.width() / kWidth;
    const double h = target.height() / kHeight;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth;) {
            if (isActive(x, y)) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < kWidth && !isActive(x, y)) {
                ++x;
            }
            ignored.addRect(QRectF(target.x() + start * w, target.y() + y * h, (x - start) * w, h));
        }
    }
    if (ignored.isEmpty()) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setPen(Qt::NoPen);
    // A red tint shows on a bright picture, the light hatching on a dark one.
    painter.fillPath(ignored, QColor(220, 30, 30, 110));
    QBrush hatch(QColor(255, 200, 200, 170), Qt::BDiagPattern);
    hatch.setTransform(QTransform::fromTranslate(target.x(), target.y()));
    painter.fillPath(ignored, hatch);
    painter.restore();
}

// --- MaskPainter

bool MaskPainter::setBrush(int cells) {
    if (cells != 1 && cells != 3 && cells != 5) {
        return false;
    }
    brush_ = cells;
    return true;
}

void MaskPainter::begin(QPointF cell, bool watched) {
    painting_ = true;
    watched_ = watched;
    before_ = mask_.bits();
    last_ = cell;
    dab(cell);
}

void MaskPainter::moveTo(QPointF cell) {
    if (!painting_) {
        return;
    }
    // Half a cell at a time, so that a fast drag leaves no gap.
    const QPointF step = cell - last_;
    const int steps = int(std::ceil(std::max(std::abs(step.x()), std::abs(step.y())) * 2));
    for (int i = 1; i <= steps; ++i) {
        dab(last_ + step * (double(i) / steps));
    }
    last_ = cell;
}

bool MaskPainter::end() {
    if (!painting_) {
        return false;
    }
    painting_ = false;
    if (mask_.bits() == before_) {
        return false;
    }
    undo_.push_back(before_);
    if (int(undo_.size()) > kUndoSteps) {
        undo_.pop_front();
    }
    return true;
}

bool MaskPainter::undo() {
    if (painting_ || undo_.empty()) {
        return false;
    }
    mask_.setBits(undo_.back());
    undo_.pop_back();
    return true;
}

void MaskPainter::dab(QPointF cell) {
    const int cx = int(std::floor(cell.x()));
    const int cy = int(std::floor(cell.y()));
    const int reach = brush_ / 2;
    for (int y = cy - reach; y <= cy + reach; ++y) {
        for (int x = cx - reach; x <= cx + reach; ++x) {
            mask_.setActive(x, y, watched_);
        }
    }
}

bool MotionMask::save(const QString& path, QString* error) const {
    auto fail = [&](const QString& why) {
        if (error) {
            *error = QStringLiteral("Cannot write %1: %2").arg(path, why);
        }
        return false;
    };
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "bmp");
        if (!writer.write(image())) {
            return fail(writer.errorString());
        }
    }
    // A new file beside the name, made by us alone (O_EXCL), then renamed over
    // the name: a symbolic link planted there is replaced, never written
    // through, and a reader never sees half a mask.
    QByteArray temporary = QFile::encodeName(path) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    }
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        written += n;
    }
    const int writeError = written == bytes.size() ? 0 : (errno ? errno : EIO);
    const bool synced = writeError == 0 && ::fsync(fd) == 0;
    const int syncError = synced ? 0 : errno;
    ::close(fd);
    if (!synced || ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        const int cause = writeError ? writeError : (syncError ? syncError : errno);
        ::unlink(temporary.constData());
        return fail(QString::fromLocal8Bit(std::strerror(cause)));
    }
    return true;
}

bool MotionMask::load(const QString& path) {
    QFile file;
    qint64 size = 0;
    if (!openPictureFile(path, file, size)) {
        return false;
    }
    // No more than the size checked, should the file grow meanwhile.
    QByteArray bytes = file.read(size);
    if (bytes.startsWith("BM")) {
        if (const QString shortfall = bmpShortfall(bytes); !shortfall.isEmpty()) {
            qCWarning(lcMask) << "mask file" << path << "not used:" << shortfall;
            return false;
        }
    }
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    const QImage image = reader.read();
    if (image.isNull()) {
        qCWarning(lcMask) << "mask file" << path << "not used:" << reader.errorString();
        return false;
    }
    // A file of another size is sampled at each cell's centre (nearest pixel),
    // which is what the overlay shows when it stretches the image over the
    // picture.
    const qint64 width = image.width();
    const qint64 height = image.height();
    for (int y = 0; y < kHeight; ++y) {
        const int sy = int((2 * y + 1) * height / (2 * kHeight));
        std::uint8_t* row = bits_.data() + y * kBytesPerRow;
        std::memset(row, 0, kBytesPerRow);
        for (int x = 0; x < kWidth; ++x) {
            const int sx = int((2 * x + 1) * width / (2 * kWidth));
            const QRgb colour = image.pixel(sx, sy);
            if (qRed(colour) != 0 || qGreen(colour) != 0 || qBlue(colour) != 0) {
                row[x >> 3] |= std::uint8_t(0x80u >> (x & 7));
            }
        }
    }
    return true;
}

void MotionMask::resetAndLoad(const QString& path) {
    reset();
    if (QFileInfo::exists(path)) {
        load(path);
    }
}

}  // namespace kv::capture

#include "web/web_content.h"

#include "film/film_maker.h"
#include "record/journal.h"
#include "record/record_files.h"
#include "review/frame_picture.h"
#include "web/web_access.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::web {

namespace {

constexpr std::size_t kIndexesKept = 8;
constexpr QSize kThumbnailBox(320, 240);

int openRegular(const QString& path, struct stat* st) {
    // Never through a link, never waiting on a FIFO.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return -1;
    }
    if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

QByteArray jpegOf(const QImage& image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

Reply jpegReply(QByteArray bytes) {
    Reply reply;
    reply.contentType = "image/jpeg";
    reply.body = std::move(bytes);
    reply.headers.emplace_back("Cache-Control", "private, max-age=60");
    return reply;
}

QByteArray filmType(const QString& name) {
    const QString lower = name.toLower();
    if (lower.endsWith(QStringLiteral(".mp4"))) {
        return "video/mp4";
    }
    if (lower.endsWith(QStringLiteral(".webm"))) {
        return "video/webm";
    }
    if (lower.endsWith(QStringLiteral(".mkv"))) {
        return "video/x-matroska";
    }
    return lower.endsWith(QStringLiteral(".avi")) ? QByteArray("video/x-msvideo") : QByteArray();
}

}  // namespace

Reply jsonReply(const QByteArray& json, int status) {
    Reply reply;
    reply.status = status;
    reply.contentType = "application/json";
    reply.body = json;
    reply.headers.emplace_back("Cache-Control", "no-store");
    return reply;
}

Reply errorReply(int status, const QString& message) {
    return jsonReply(QJsonDocument(QJsonObject{{QStringLiteral("error"), message}})
                         .toJson(QJsonDocument::Compact),
                     status);
}

FolderContent::FolderContent(QString aviPath) : aviPath_(std::move(aviPath)) {}

Reply FolderContent::recordings() const {
    QList<record::RecordFileEntry> files;
    record::ListRecordFiles(aviPath_, files);
    QJsonArray list;
    for (auto it = files.crbegin(); it != files.crend(); ++it) {
        QString name = QFileInfo(it->path).fileName();
        name.chop(4);
        list.append(
            QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("size"), it->size_bytes}});
    }
    return jsonReply(QJsonDocument(QJsonObject{{QStringLiteral("recordings"), list}})
                         .toJson(QJsonDocument::Compact));
}

int FolderContent::openRecording(const QString& segment, QString* path) const {
    const std::optional<QString> name = recordingFileName(segment);
    if (!name || aviPath_.isEmpty()) {
        return -1;
    }
    *path = aviPath_ + *name;
    struct stat st {};
    return openRegular(*path, &st);
}

const film::AviFrames& FolderContent::indexOf(int fd, const QString& path) {
    struct stat st {};
    ::fstat(fd, &st);
    const qint64 mtime = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    auto found = indexes_.find(path);
    if (found != indexes_.end() && found->second.size == st.st_size &&
        found->second.mtime_ns == mtime) {
        return found->second.frames;
    }
    if (found == indexes_.end() && indexes_.size() >= kIndexesKept) {
        indexes_.erase(indexes_.begin());
    }
    Indexed& kept = indexes_[path];
    kept.size = st.st_size;
    kept.mtime_ns = mtime;
    kept.frames = film::readAviFrames(fd);
    return kept.frames;
}

Reply FolderContent::recording(const QString& segment) {
    QString path;
    const int fd = openRecording(segment, &path);
    if (fd < 0) {
        return errorReply(404, QStringLiteral("no such recording"));
    }
    const FdCloser closer{fd};
    const film::AviFrames& avi = indexOf(fd, path);
    if (!avi.ok) {
        return errorReply(422, QStringLiteral("the recording cannot be read: ") + avi.error);
    }
    const qint64 frames = qint64(avi.frames.size());
    int badLines = 0;
    const std::vector<record::JournalLine> journal =
        record::readJournal(record::journalPath(path), &badLines, frames);
    QJsonArray times;
    QJsonArray motion;
    for (const record::JournalLine& line : journal) {
        if (line.frame != times.size() || line.frame >= frames) {
            break;  // a journal out of step with its file says no more
        }
        times.append(line.time.toMSecsSinceEpoch());
        motion.append(line.motion);
    }
    QJsonArray starts;
    for (const qint64 start : record::movementStarts(journal)) {
        starts.append(start);
    }
    struct stat st {};
    ::fstat(fd, &st);
    const QJsonObject object{
        {QStringLiteral("name"), segment},
        {QStringLiteral("frames"), frames},
        {QStringLiteral("size"), qint64(st.st_size)},
        {QStringLiteral("codec"), film::fourccText(avi.fourcc)},
        {QStringLiteral("width"), avi.width},
        {QStringLiteral("height"), avi.height},
        {QStringLiteral("frameDuration_us"), avi.frameDuration_us},
        {QStringLiteral("journal"), !journal.empty()},
        {QStringLiteral("times"), times},
        {QStringLiteral("motion"), motion},
        {QStringLiteral("movementStarts"), starts},
    };
    return jsonReply(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

Reply FolderContent::frame(const QString& segment, const QString& frameName, bool thumbnail) {
    bool ok = false;
    const qint64 n =
        frameName.endsWith(QStringLiteral(".jpg")) ? frameName.chopped(4).toLongLong(&ok) : -1;
    if (!ok || n < 0) {
        return errorReply(404, QStringLiteral("no such frame"));
    }
    QString path;
    const int fd = openRecording(segment, &path);
    if (fd < 0) {
        return errorReply(404, QStringLiteral("no such recording"));
    }
    const FdCloser closer{fd};
    const film::AviFrames& avi = indexOf(fd, path);
    if (!avi.ok) {
        return errorReply(422, QStringLiteral("the recording cannot be read: ") + avi.error);
    }
    if (n >= qint64(avi.frames.size())) {
        return errorReply(404, QStringLiteral("no such frame"));
    }
    const film::AviChunk& chunk = avi.frames[std::size_t(n)];
    if (!thumbnail &&
        film::fourccText(avi.fourcc).compare(QStringLiteral("MJPG"), Qt::CaseInsensitive) == 0) {
        // The frame is a JPEG already: its bytes as they lie in the file.
        QByteArray bytes(qsizetype(chunk.size), Qt::Uninitialized);
        const ssize_t got = ::pread(fd, bytes.data(), chunk.size, off_t(chunk.offset));
        if (got == ssize_t(chunk.size) && bytes.startsWith("\xff\xd8")) {
            return jpegReply(std::move(bytes));
        }
    }
    QString error;
    const QSize box = thumbnail ? kThumbnailBox : QSize(avi.width, avi.height);
    const QImage picture = review::framePicture(fd, avi, n, box, &error);
    if (picture.isNull()) {
        return errorReply(422, QStringLiteral("the frame cannot be decoded: ") + error);
    }
    return jpegReply(jpegOf(picture, thumbnail ? 75 : 90));
}

QStringList FolderContent::filmNames() const {
    if (aviPath_.isEmpty()) {
        return {};
    }
    const QDir folder(film::filmsFolder(aviPath_));
    QStringList names;
    for (const QFileInfo& info :
         folder.entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::Name | QDir::Reversed)) {
        if (!filmType(info.fileName()).isEmpty()) {
            names.append(info.fileName());
        }
    }
    return names;
}

Reply FolderContent::films() const {
    const QDir folder(film::filmsFolder(aviPath_));
    QJsonArray list;
    for (const QString& name : filmNames()) {
        const QFileInfo info(folder.filePath(name));
        list.append(
            QJsonObject{{QStringLiteral("name"), name},
                        {QStringLiteral("size"), info.size()},
                        {QStringLiteral("modified"), info.lastModified().toMSecsSinceEpoch()}});
    }
    return jsonReply(
        QJsonDocument(QJsonObject{{QStringLiteral("films"), list}}).toJson(QJsonDocument::Compact));
}

OpenFile FolderContent::openFilm(const QString& name, QString* why) const {
    OpenFile file;
    if (!filmNames().contains(name)) {
        *why = QStringLiteral("no such film");
        return file;
    }
    struct stat st {};
    file.fd = openRegular(QDir(film::filmsFolder(aviPath_)).filePath(name), &st);
    if (file.fd < 0) {
        *why = QStringLiteral("the film cannot be opened");
        return file;
    }
    file.size = st.st_size;
    file.contentType = filmType(name);
    return file;
}

}  // namespace kv::web

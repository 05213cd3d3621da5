#pragma once

// What the page shows of the folder: the recordings and their frames, the
// films. Only names that the folder's own listing could give are opened, by
// name inside the folder and never through a link. Used on the server's
// thread only.

#include "film/avi_frames.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

#include <map>
#include <utility>
#include <vector>

namespace kv::web {

struct Reply {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    std::vector<std::pair<QByteArray, QByteArray>> headers;
};

Reply jsonReply(const QByteArray& json, int status = 200);
Reply errorReply(int status, const QString& message);

// A file opened for sending: its descriptor belongs to the caller.
struct OpenFile {
    int fd = -1;
    qint64 size = 0;
    QByteArray contentType;
};

class FolderContent {
  public:
    explicit FolderContent(QString aviPath);
    FolderContent(const FolderContent&) = delete;
    FolderContent& operator=(const FolderContent&) = delete;

    const QString& aviPath() const { return aviPath_; }
    // Every recording, newest first.
    Reply recordings() const;
    // Its frames, size, compression and the capture time of each frame.
    Reply recording(const QString& segment);
    // Frame N as a JPEG: an MJPEG frame is its own chunk's bytes; any other
    // is decoded, at full size or as a thumbnail.
    Reply frame(const QString& segment, const QString& frameName, bool thumbnail);
    // The films folder's films, by name.
    Reply films() const;
    OpenFile openFilm(const QString& name, QString* why) const;

  private:
    struct Indexed {
        qint64 size = 0;
        qint64 mtime_ns = 0;
        film::AviFrames frames;
    };
    // The recording's descriptor, or -1 when it is none of ours.
    int openRecording(const QString& segment, QString* path) const;
    const film::AviFrames& indexOf(int fd, const QString& path);
    QStringList filmNames() const;

    QString aviPath_;
    std::map<QString, Indexed> indexes_;  // a few recent ones
};

}  // namespace kv::web

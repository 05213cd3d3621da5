#pragma once

// One frame of a recording as a small picture: the day view's hover
// thumbnails and movement list, and later the web page's. MJPEG and PNG
// frames are decoded straight from their chunk (a JPEG scaled while it
// decodes, so 1080p costs little); other compressions are decoded by
// GStreamer from the key frame before. Reads, never writes.

#include "film/avi_frames.h"

#include <QCache>
#include <QImage>
#include <QMutex>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace kv::review {

// Frame `frame` of the recording open on fd, whose index is avi, scaled to
// fit box with its aspect kept. Null, with the reason, when it cannot be had.
QImage framePicture(int fd, const film::AviFrames& avi, qint64 frame, QSize box, QString* error);

// The same by path (a regular file, never through a link).
QImage framePicture(const QString& path, qint64 frame, QSize box, QString* error);

// Decodes frames on a thread of its own, newest request first: a request
// made while another waits replaces it (the mouse has moved on). Pictures
// and the recordings' indexes are kept for the next time.
class FramePictures : public QObject {
    Q_OBJECT
  public:
    explicit FramePictures(QObject* parent = nullptr);
    ~FramePictures() override;

    void request(const QString& path, qint64 frame, QSize box);
    // A picture already made, without waiting.
    std::optional<QImage> cached(const QString& path, qint64 frame, QSize box) const;

  Q_SIGNALS:
    // On the thread this object lives in; error is empty when picture is not null.
    void ready(const QString& path, qint64 frame, const QImage& picture, const QString& error);

  private:
    struct Request {
        QString path;
        qint64 frame = 0;
        QSize box;
    };
    void run();
    static QString key(const QString& path, qint64 frame, QSize box);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Request> next_;
    bool stopping_ = false;
    mutable QMutex cacheMutex_;
    QCache<QString, QImage> pictures_;
    QThread* worker_ = nullptr;
};

}  // namespace kv::review

#include "review/frame_picture.h"

#include "film/chunk_decoder.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImageReader>
#include <QLoggingCategory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>

Q_LOGGING_CATEGORY(lcPicture, "kv.review.picture", QtInfoMsg)

namespace kv::review {

namespace {

// The texts of free functions, under the context of the class they serve.
struct Text {
    Q_DECLARE_TR_FUNCTIONS(kv::review::FramePictures)
};

// A file descriptor closed when it goes.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

int openRecording(const QString& path) {
    return ::open(QFile::encodeName(path).constData(),
                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

// Frames that are whole pictures in a format Qt reads on its own.
const char* imageFormat(std::uint32_t fourcc) {
    const QString f = film::fourccText(fourcc).toUpper();
    if (f == u"MJPG" || f == u"JPEG") {
        return "jpeg";
    }
    if (f == u"MPNG" || f == u"PNG1" || f == u"PNG ") {
        return "png";
    }
    return nullptr;
}

QImage fromChunk(int fd, const film::AviChunk& chunk, const char* format, QSize size,
                 QString* error) {
    QByteArray bytes(qsizetype(chunk.size), Qt::Uninitialized);
    std::size_t got = 0;
    while (got < chunk.size) {
        const ssize_t n =
            ::pread(fd, bytes.data() + got, chunk.size - got, off_t(chunk.offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            *error = n < 0 ? QString::fromLocal8Bit(std::strerror(errno))
                           : Text::tr("the frame is cut short");
            return {};
        }
        got += std::size_t(n);
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setScaledSize(size);
    QImage picture = reader.read();
    if (picture.isNull()) {
        *error = Text::tr("the frame cannot be decoded: %1").arg(reader.errorString());
    }
    return picture;
}

QImage decoded(int fd, const film::AviFrames& avi, qint64 frame, QSize size, QString* error) {
    const media::Caps caps = film::streamCaps(avi);
    if (!caps) {
        *error = Text::tr("no decoder knows %1").arg(film::fourccText(avi.fourcc));
        return {};
    }
    // From the key frame before; a walked index marks none, so a few seconds
    // of frames before it have to do.
    qint64 from = frame;
    if (!film::intraOnly(avi.fourcc)) {
        if (avi.keysKnown) {
            while (from > 0 && !avi.frames[std::size_t(from)].key) {
                --from;
            }
        } else {
            from = std::max<qint64>(0, frame - 250);
        }
    }
    film::ChunkDecoder decoder;
    // Even sizes, as the raw format wants.
    const int width = std::max(2, size.width() & ~1);
    const int height = std::max(2, size.height() & ~1);
    if (!decoder.build(caps, width, height, "BGRx", error)) {
        return {};
    }
    QImage picture;
    const std::atomic<bool> never{false};
    const auto emit = [&](media::Buffer buffer, const GstVideoInfo& info) {
        GstVideoFrame video;
        if (!gst_video_frame_map(&video, &info, buffer.get(), GST_MAP_READ)) {
            return;
        }
        const QImage view(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&video, 0)),
                          GST_VIDEO_FRAME_WIDTH(&video), GST_VIDEO_FRAME_HEIGHT(&video),
                          GST_VIDEO_FRAME_PLANE_STRIDE(&video, 0), QImage::Format_RGB32);
        picture = view.copy();
        gst_video_frame_unmap(&video);
    };
    const auto lost = [] {};
    for (qint64 i = from; i <= frame; ++i) {
        if (!decoder.push(fd, avi.frames[std::size_t(i)], i == frame, error) ||
            !decoder.drain(8, never, emit, lost, error)) {
            decoder.finish(never, emit, lost, error);
            return {};
        }
    }
    if (!decoder.finish(never, emit, lost, error)) {
        return {};
    }
    if (picture.isNull() && error->isEmpty()) {
        *error = Text::tr("the decoder gave no picture for frame %1").arg(frame + 1);
    }
    return picture;
}

}  // namespace

QImage framePicture(int fd, const film::AviFrames& avi, qint64 frame, QSize box, QString* error) {
    error->clear();
    if (!avi.ok) {
        *error = avi.error;
        return {};
    }
    if (frame < 0 || frame >= qint64(avi.frames.size())) {
        *error = Text::tr("the recording has no frame %1").arg(frame + 1);
        return {};
    }
    const QSize size = QSize(std::max(avi.width, 1), std::max(avi.height, 1))
                           .scaled(box.expandedTo(QSize(2, 2)), Qt::KeepAspectRatio)
                           .expandedTo(QSize(1, 1));
    if (const char* format = imageFormat(avi.fourcc)) {
        return fromChunk(fd, avi.frames[std::size_t(frame)], format, size, error);
    }
    return decoded(fd, avi, frame, size, error);
}

QImage framePicture(const QString& path, qint64 frame, QSize box, QString* error) {
    const Fd in(openRecording(path));
    if (in.fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return {};
    }
    return framePicture(in.fd, film::readAviFrames(in.fd), frame, box, error);
}

FramePictures::FramePictures(QObject* parent) : QObject(parent), pictures_(64) {
    worker_ = QThread::create([this] { run(); });
    worker_->setObjectName(QStringLiteral("frame pictures"));
    worker_->start(QThread::LowPriority);
}

FramePictures::~FramePictures() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        next_.reset();
    }
    wake_.notify_all();
    // A decode is bounded by the decoder's step time-out and one file read.
    worker_->wait();
    delete worker_;
}

QString FramePictures::key(const QString& path, qint64 frame, QSize box) {
    return QStringLiteral("%1|%2|%3x%4").arg(path).arg(frame).arg(box.width()).arg(box.height());
}

std::optional<QImage> FramePictures::cached(const QString& path, qint64 frame, QSize box) const {
    const QMutexLocker lock(&cacheMutex_);
    if (const QImage* picture = pictures_.object(key(path, frame, box))) {
        return *picture;
    }
    return std::nullopt;
}

void FramePictures::request(const QString& path, qint64 frame, QSize box) {
    if (const std::optional<QImage> picture = cached(path, frame, box)) {
        Q_EMIT ready(path, frame, *picture, QString());
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        next_ = Request{path, frame, box};
    }
    wake_.notify_one();
}

void FramePictures::run() {
    // The indexes of the last few recordings, while their files stay as they were.
    struct Index {
        QString path;
        qint64 size = 0;
        qint64 modified_ns = 0;
        film::AviFrames avi;
    };
    std::deque<Index> indexes;
    for (;;) {
        Request r;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || next_.has_value(); });
            if (stopping_) {
                return;
            }
            r = std::move(*next_);
            next_.reset();
        }
        QString error;
        QImage picture;
        const Fd in(openRecording(r.path));
        struct stat st {};
        if (in.fd < 0 || ::fstat(in.fd, &st) != 0) {
            error = QString::fromLocal8Bit(std::strerror(errno));
        } else {
            const qint64 modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
            auto it = std::find_if(indexes.begin(), indexes.end(), [&](const Index& i) {
                return i.path == r.path && i.size == st.st_size && i.modified_ns == modified;
            });
            if (it == indexes.end()) {
                indexes.push_front({r.path, st.st_size, modified, film::readAviFrames(in.fd)});
                if (indexes.size() > 8) {
                    indexes.pop_back();
                }
                it = indexes.begin();
            }
            picture = framePicture(in.fd, it->avi, r.frame, r.box, &error);
        }
        if (!error.isEmpty()) {
            qCInfo(lcPicture).noquote()
                << "no picture of frame" << r.frame << "of" << r.path << ":" << error;
        } else {
            const QMutexLocker lock(&cacheMutex_);
            pictures_.insert(key(r.path, r.frame, r.box), new QImage(picture),
                             int(std::max<qsizetype>(1, picture.sizeInBytes() >> 16)));
        }
        QMetaObject::invokeMethod(
            this, [this, r, picture, error] { Q_EMIT ready(r.path, r.frame, picture, error); },
            Qt::QueuedConnection);
    }
}

}  // namespace kv::review

#include "film/film_maker.h"

#include "film/chunk_decoder.h"
#include "film/deflicker.h"
#include "media/compressors.h"
#include "media/jpeg_encoder.h"
#include "media/pipeline.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/riff/riff-media.h>
#include <gst/video/video.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <thread>

Q_LOGGING_CATEGORY(lcFilm, "kv.film.maker", QtInfoMsg)

namespace kv::film {

namespace {

// The texts of free functions, under the context of the class they serve.
struct Text {
    Q_DECLARE_TR_FUNCTIONS(kv::film::FilmMaker)
};

constexpr GstClockTime kFilmFrame = GST_SECOND / kFilmFramesPerSecond;
// No step of a pipeline may take longer than this without a frame coming out.
constexpr GstClockTime kStepTimeout = 30 * GST_SECOND;
// Frames handed to a decoder before one must have come out.
constexpr std::size_t kInFlight = 24;

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The factory that decoded the recording's compression, and so makes it again.
const char* factoryForFourcc(std::uint32_t fourcc) {
    const QString f = fourccText(fourcc).toUpper();
    if (f == u"MJPG") {
        return media::kJpegEncoderFactory;
    }
    if (f == u"HFYU") {
        return "avenc_huffyuv";
    }
    if (f == u"MPNG" || f == u"PNG1" || f == u"PNG ") {
        return "pngenc";
    }
    if (f == u"FMP4" || f == u"XVID" || f == u"DIVX" || f == u"MP4V" || f == u"DX50") {
        return "avenc_mpeg4";
    }
    if (f == u"MP43" || f == u"DIV3") {
        return "avenc_msmpeg4";
    }
    if (f == u"H264" || f == u"X264" || f == u"AVC1") {
        return "x264enc";
    }
    if (f == u"VP80") {
        return "vp8enc";
    }
    return nullptr;
}

QString compressorFor(std::uint32_t fourcc) {
    const char* factory = factoryForFourcc(fourcc);
    for (const media::CompressorEntry& entry : media::compressorTable()) {
        if (factory && std::strcmp(entry.factory, factory) == 0) {
            return QString::fromLatin1(entry.friendlyName);
        }
    }
    return QStringLiteral("MJPEG Compressor");
}

// A new file that did not exist, never through a link: the wanted name, or
// with " (2)", " (3)" ... before its extension.
int createNew(const QString& wanted, QString* path, QString* error) {
    const QFileInfo info(wanted);
    const QString stem = info.path() + u'/' + info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    for (int n = 1; n < 1000; ++n) {
        const QString name =
            n == 1 ? wanted : QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(suffix);
        const int fd = ::open(QFile::encodeName(name).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            *path = name;
            return fd;
        }
        if (errno != EEXIST) {
            *error = Text::tr("cannot create %1: %2").arg(name, errorText(errno));
            return -1;
        }
    }
    *error = Text::tr("no free name for %1").arg(wanted);
    return -1;
}

// The folder a film goes to, made when missing; never a link.
bool ensureFolder(const QString& folder, QString* error) {
    const QByteArray name = QFile::encodeName(folder);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) {
        if (errno != ENOENT || !QDir().mkpath(folder) || ::lstat(name.constData(), &st) != 0) {
            *error = Text::tr("cannot make the folder %1: %2").arg(folder, errorText(errno));
            return false;
        }
    }
    if (!S_ISDIR(st.st_mode)) {
        *error = Text::tr("%1 is not a folder").arg(folder);
        return false;
    }
    return true;
}

// One decoded frame on its way into the film.
struct Pending {
    media::Buffer buffer;
    double mean = 0;
};

// appsrc ! encoder ... ! fdsink on the film's descriptor.
class Encoder {
  public:
    bool build(FilmFormat format, std::uint32_t fourcc, int width, int height, int fd,
               QString* error) {
        if (!pipeline_.create("film-encoder")) {
            *error = Text::tr("GStreamer cannot make a pipeline");
            return false;
        }
        source_ = media::makeElement("appsrc", "film-frames");
        media::Element sink = media::makeElement("fdsink", "film-file");
        media::Element mux;
        std::vector<media::Element> chain;
        if (format == FilmFormat::Mp4) {
            media::Element encoder = media::makeElement("x264enc", "film-h264");
            media::Element profile = media::makeElement("capsfilter", "film-profile");
            mux = media::makeElement("mp4mux", "film-mp4");
            if (!encoder || !profile || !mux) {
                *error = Text::tr(
                    "MP4 films need x264enc and mp4mux (gstreamer1.0-plugins-ugly and -good)");
                return false;
            }
            gst_util_set_object_arg(G_OBJECT(encoder.get()), "pass", "qual");
            g_object_set(encoder.get(), "quantizer", 23u, "key-int-max", 250u, nullptr);
            gst_util_set_object_arg(G_OBJECT(encoder.get()), "speed-preset", "veryfast");
            media::Caps high = media::adopt(gst_caps_from_string("video/x-h264,profile=high"));
            g_object_set(profile.get(), "caps", high.get(), nullptr);
            // The index goes in front, so that a browser plays while it loads.
            g_object_set(mux.get(), "faststart", TRUE, nullptr);
            chain = {std::move(encoder), std::move(profile)};
        } else {
            const QString compressor = compressorFor(fourcc);
            media::Element encoder = media::createCompressor(compressor);
            media::Element convert = media::makeElement("videoconvert", "film-convert");
            media::Element input = media::makeElement("capsfilter", "film-input");
            mux = media::makeElement("avimux", "film-avi");
            if (!encoder || !convert || !input || !mux) {
                *error = Text::tr("the compressor %1 is not installed").arg(compressor);
                return false;
            }
            media::ApplyCompression(encoder.get(), compressor, 0.85, kFilmFramesPerSecond);
            if (media::Caps caps = media::compressorInputCaps(encoder.get())) {
                g_object_set(input.get(), "caps", caps.get(), nullptr);
            }
            chain = {std::move(convert), std::move(input), std::move(encoder)};
        }
        if (!source_ || !sink) {
            *error = Text::tr("GStreamer lacks appsrc or fdsink");
            return false;
        }
        media::Caps caps = media::adopt(gst_caps_new_simple(
            "video/x-raw", "format", G_TYPE_STRING, "I420", "width", G_TYPE_INT, width, "height",
            G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION, kFilmFramesPerSecond, 1,
            "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr));
        g_object_set(source_.get(), "caps", caps.get(), "format", GST_FORMAT_TIME, "block", FALSE,
                     "max-bytes", guint64(width) * guint64(height) * 6, nullptr);
        g_object_set(sink.get(), "fd", fd, "sync", FALSE, nullptr);
        gst_bin_add(pipeline_.bin(), source_.get());
        GstElement* previous = source_.get();
        chain.push_back(mux);
        chain.push_back(sink);
        for (const media::Element& e : chain) {
            gst_bin_add(pipeline_.bin(), e.get());
            if (!gst_element_link(previous, e.get())) {
                *error = Text::tr("cannot link %1 in the film's pipeline")
                             .arg(QString::fromUtf8(GST_ELEMENT_NAME(e.get())));
                return false;
            }
            previous = e.get();
        }
        if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            *error = pipelineError(pipeline_.get());
            if (error->isEmpty()) {
                *error = Text::tr("the film's pipeline does not start");
            }
            return false;
        }
        return true;
    }

    // Hands over one frame; waits (bounded) while the encoder is behind.
    bool push(media::Buffer buffer, qint64 index, const std::atomic<bool>& cancelled,
              QString* error) {
        GstAppSrc* src = GST_APP_SRC(source_.get());
        const guint64 limit = gst_app_src_get_max_bytes(src);
        QElapsedTimer waited;
        waited.start();
        while (gst_app_src_get_current_level_bytes(src) >= limit) {
            if (checkFailed(error) || cancelled.load()) {
                return false;
            }
            if (waited.nsecsElapsed() > qint64(kStepTimeout)) {
                *error = Text::tr("the encoder took no frame for 30 s");
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        GstBuffer* b = gst_buffer_make_writable(buffer.release());
        GST_BUFFER_PTS(b) = GstClockTime(index) * kFilmFrame;
        GST_BUFFER_DTS(b) = GST_CLOCK_TIME_NONE;
        GST_BUFFER_DURATION(b) = kFilmFrame;
        if (gst_app_src_push_buffer(src, b) != GST_FLOW_OK) {
            if (!checkFailed(error)) {
                *error = Text::tr("the encoder refused a frame");
            }
            return false;
        }
        return !checkFailed(error);
    }

    // Ends the stream and waits (bounded) until the muxer has written it all.
    bool finish(QString* error) {
        gst_app_src_end_of_stream(GST_APP_SRC(source_.get()));
        const media::Bus bus = media::adopt(gst_element_get_bus(pipeline_.get()));
        const media::Message message = media::adopt(gst_bus_timed_pop_filtered(
            bus.get(), 120 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        if (!message) {
            *error = Text::tr("the film was not finished within 120 s");
            return false;
        }
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
            *error = media::describeError(message.get());
            return false;
        }
        return true;
    }

    void stop() { pipeline_.reset(); }

  private:
    bool checkFailed(QString* error) {
        const QString text = pipelineError(pipeline_.get());
        if (text.isEmpty()) {
            return false;
        }
        *error = text;
        return true;
    }

    media::Pipeline pipeline_;
    media::Element source_;
};

// A file descriptor closed when it goes.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

}  // namespace

QString filmsFolder(const QString& aviPath) {
    // AVIPath is a folder with its separator, or a folder and a name prefix.
    return QFileInfo(aviPath + u'x').absolutePath() + QStringLiteral("/Films");
}

QString filmFileName(const QDateTime& from, const QDateTime& to, FilmFormat format) {
    const QString extension =
        format == FilmFormat::Mp4 ? QStringLiteral(".mp4") : QStringLiteral(".avi");
    const QString day = QStringLiteral("yyyy-MM-dd");
    const QString dayTime = QStringLiteral("yyyy-MM-dd HH-mm");
    // An end at 00:00 belongs to the day before; one at 23:59 or later ends its day.
    QDate lastDay = to.date();
    bool endsDay = to.time() >= QTime(23, 59);
    if (to.time() == QTime(0, 0) && to > from) {
        lastDay = lastDay.addDays(-1);
        endsDay = true;
    }
    const bool startsDay = from.time() == QTime(0, 0);
    if (startsDay && endsDay) {
        return lastDay == from.date() ? from.toString(day) + extension
                                      : from.toString(day) + QStringLiteral(" to ") +
                                            lastDay.toString(day) + extension;
    }
    const QString end =
        to.date() == from.date() ? to.toString(QStringLiteral("HH-mm")) : to.toString(dayTime);
    return from.toString(dayTime) + QStringLiteral(" to ") + end + extension;
}

FilmResult FilmMaker::make(const FilmRequest& request) {
    FilmResult result;
    QElapsedTimer clock;
    clock.start();
    if (!request.from.isValid() || !request.to.isValid() || request.to < request.from) {
        result.error = Text::tr("the span's end lies before its start");
        return result;
    }
    Span span = gatherSpan(request.folder, request.from, request.to);
    result.warnings = span.warnings;
    qCInfo(lcFilm).noquote() << "read the indexes and journals of" << span.recordings.size()
                             << "recordings in" << clock.elapsed() << "ms";
    if (span.frames.empty()) {
        result.nothingRecorded = true;
        result.error = Text::tr("nothing was recorded from %1 to %2")
                           .arg(request.from.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                request.to.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        return result;
    }
    std::vector<qint64> times;
    times.reserve(span.frames.size());
    for (const SpanFrame& f : span.frames) {
        times.push_back(f.time_ms);
    }
    const int count = request.lengthSeconds > 0 ? request.lengthSeconds * kFilmFramesPerSecond : 0;
    const std::vector<std::size_t> chosen =
        chooseFrames(times, request.from.toMSecsSinceEpoch(), request.to.toMSecsSinceEpoch(), count,
                     request.pace);
    std::vector<qint64>().swap(times);
    const qint64 total = qint64(chosen.size());

    // The film's size: the first recording's, even for 4:2:0.
    const AviFrames& first =
        span.recordings[std::size_t(span.frames[chosen.front()].recording)].avi;
    const int width = std::max(16, first.width & ~1);
    const int height = std::max(16, first.height & ~1);

    QString error;
    QString wanted = request.outputPath;
    if (wanted.isEmpty()) {
        const QString folder = filmsFolder(request.folder);
        if (!ensureFolder(folder, &error)) {
            result.error = error;
            return result;
        }
        wanted = folder + u'/' + filmFileName(request.from, request.to, request.format);
    }
    Fd out;
    out.fd = createNew(wanted, &result.path, &error);
    if (out.fd < 0) {
        result.error = error;
        return result;
    }
    struct stat made {};
    ::fstat(out.fd, &made);
    qCInfo(lcFilm).noquote() << "filming" << span.frames.size() << "frames of"
                             << span.recordings.size() << "recordings into" << total
                             << "frames:" << result.path;

    Encoder encoder;
    ChunkDecoder decoder;
    qint64 emitted = 0;
    qint64 lostFrames = 0;
    const int band = stampBandRows(first.height, height);
    std::deque<Pending> pending;
    std::vector<double> means;  // of every frame so far, for the smoothed course
    QElapsedTimer told;
    told.start();

    // The deflicker holds frames until their neighbours ahead are measured.
    const auto release = [&](bool all) -> bool {
        while (!pending.empty()) {
            const std::size_t at = std::size_t(emitted);
            const std::size_t need = at + std::size_t(kDeflickerRadius);
            if (!all && request.deflicker && means.size() <= need &&
                means.size() < std::size_t(total)) {
                return true;
            }
            Pending p = std::move(pending.front());
            pending.pop_front();
            if (request.deflicker) {
                GstBuffer* b = gst_buffer_make_writable(p.buffer.release());
                p.buffer = media::adopt(b);
                GstMapInfo map;
                if (gst_buffer_map(b, &map, GST_MAP_READWRITE)) {
                    // I420 from our own caps: the luma plane comes first.
                    const int stride = GST_ROUND_UP_4(width);
                    applyGain(map.data, stride, width, height, band, p.mean, smoothedAt(means, at));
                    gst_buffer_unmap(b, &map);
                }
            }
            if (!encoder.push(std::move(p.buffer), emitted, cancelled_, &error)) {
                return false;
            }
            ++emitted;
            if (progress_ && told.elapsed() >= 100) {
                told.restart();
                progress_(emitted, total);
            }
        }
        return true;
    };

    // Each chosen frame, once per time the film shows it.
    std::size_t next = 0;  // into chosen: the next frame the film needs
    media::Buffer last;
    bool failed = false;
    const auto show = [&](media::Buffer buffer, const GstVideoInfo* info) {
        if (failed || next >= chosen.size()) {
            return;
        }
        std::size_t times = 1;
        const std::size_t source = chosen[next];
        while (next + times < chosen.size() && chosen[next + times] == source) {
            ++times;
        }
        next += times;
        double mean = 0;
        if (buffer && info) {
            // Repack when the decoder's strides differ from plain I420.
            if (GST_VIDEO_INFO_PLANE_STRIDE(info, 0) != GST_ROUND_UP_4(width) ||
                gst_buffer_get_size(buffer.get()) != GST_VIDEO_INFO_SIZE(info)) {
                GstVideoInfo plain;
                gst_video_info_set_format(&plain, GST_VIDEO_FORMAT_I420, guint(width),
                                          guint(height));
                GstVideoFrame in;
                GstVideoFrame copy;
                media::Buffer packed = media::adopt(
                    gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&plain), nullptr));
                if (gst_video_frame_map(&in, const_cast<GstVideoInfo*>(info), buffer.get(),
                                        GST_MAP_READ)) {
                    if (gst_video_frame_map(&copy, &plain, packed.get(), GST_MAP_WRITE)) {
                        gst_video_frame_copy(&copy, &in);
                        gst_video_frame_unmap(&copy);
                    }
                    gst_video_frame_unmap(&in);
                }
                buffer = std::move(packed);
            }
            last = buffer;
        } else {
            buffer = last;  // lost: the film holds the frame before
        }
        if (!buffer) {
            return;
        }
        if (request.deflicker) {
            GstMapInfo map;
            if (gst_buffer_map(buffer.get(), &map, GST_MAP_READ)) {
                mean = lumaMean(map.data, GST_ROUND_UP_4(width), width, height, band);
                gst_buffer_unmap(buffer.get(), &map);
            }
        }
        for (std::size_t i = 0; i < times; ++i) {
            means.push_back(mean);
            pending.push_back({buffer, mean});
        }
        failed = !release(false);
    };
    const auto emit = [&](media::Buffer buffer, const GstVideoInfo& info) {
        show(std::move(buffer), &info);
    };
    const auto lost = [&] {
        ++lostFrames;
        show({}, nullptr);
    };

    bool ok = encoder.build(request.format, first.fourcc, width, height, out.fd, &error);
    std::vector<bool> used(span.recordings.size(), false);
    // Through the chosen frames recording by recording, in capture order.
    for (std::size_t c = 0; ok && c < chosen.size() && !failed;) {
        const int r = span.frames[chosen[c]].recording;
        SpanRecording& recording = span.recordings[std::size_t(r)];
        // The frames of this recording the film needs, until another's come.
        std::vector<qint64> frames;
        std::size_t end = c;
        while (end < chosen.size() && span.frames[chosen[end]].recording == r) {
            const qint64 f = span.frames[chosen[end]].frame;
            if (frames.empty() || frames.back() != f) {
                frames.push_back(f);
            }
            ++end;
        }
        c = end;
        used[std::size_t(r)] = true;
        Fd in;
        in.fd = ::open(QFile::encodeName(recording.path).constData(),
                       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        const media::Caps caps = in.fd >= 0 ? streamCaps(recording.avi) : media::Caps();
        const bool intra = intraOnly(recording.avi.fourcc);
        QString problem;
        if (!caps) {
            problem = in.fd < 0
                          ? errorText(errno)
                          : Text::tr("no decoder knows %1").arg(fourccText(recording.avi.fourcc));
        } else if (!decoder.built() || !intra || !decoder.sameCaps(caps)) {
            if (!decoder.finish(cancelled_, emit, lost, &error)) {
                ok = false;
                break;
            }
            if (!decoder.build(caps, width, height, "I420", &problem)) {
                decoder.finish(cancelled_, emit, lost, &error);
            }
        }
        const std::vector<AviChunk>& chunks = recording.avi.frames;
        qint64 pushedUpTo = -1;  // the last frame handed to the decoder
        for (const qint64 f : frames) {
            if (!problem.isEmpty() || failed || cancelled_.load()) {
                break;
            }
            qint64 from = f;
            if (!intra) {
                // From the key frame before, or on from what was handed over.
                if (recording.avi.keysKnown) {
                    while (from > 0 && !chunks[std::size_t(from)].key) {
                        --from;
                    }
                } else {
                    from = 0;
                }
                if (from <= pushedUpTo) {
                    from = pushedUpTo + 1;
                } else if (pushedUpTo >= 0) {
                    decoder.jumped();
                }
            }
            for (qint64 i = from; i <= f && problem.isEmpty(); ++i) {
                if (!decoder.push(in.fd, chunks[std::size_t(i)], i == f, &problem)) {
                    break;
                }
                pushedUpTo = i;
                if (!decoder.drain(kInFlight, cancelled_, emit, lost, &problem)) {
                    break;
                }
            }
        }
        if (!problem.isEmpty() && !cancelled_.load()) {
            // A damaged recording: what it still owes the film holds the frame before.
            const QString warning =
                Text::tr("%1 could not be read to the end: %2").arg(recording.path, problem);
            result.warnings << warning;
            qCWarning(lcFilm).noquote() << warning;
            QString ignored;
            decoder.finish(cancelled_, emit, lost, &ignored);
            while (!failed && next < chosen.size() && next < end) {
                lost();
            }
        }
    }
    if (ok && !failed && !cancelled_.load()) {
        ok = decoder.finish(cancelled_, emit, lost, &error);
    }
    decoder.finish(cancelled_, emit, lost, &error);
    ok = ok && !failed && !cancelled_.load() && release(true) && encoder.finish(&error);
    encoder.stop();
    if (ok && ::fsync(out.fd) != 0) {
        error = errorText(errno);
        ok = false;
    }
    if (ok && ::close(std::exchange(out.fd, -1)) != 0) {
        error = errorText(errno);
        ok = false;
    }
    if (!ok) {
        result.cancelled = cancelled_.load();
        if (result.cancelled) {
            error = Text::tr("cancelled");
        }
        // Only the file this made goes, never one put in its place meanwhile.
        struct stat now {};
        const QByteArray name = QFile::encodeName(result.path);
        if (::lstat(name.constData(), &now) == 0 && now.st_dev == made.st_dev &&
            now.st_ino == made.st_ino) {
            ::unlink(name.constData());
        }
        result.error = Text::tr("%1 not made: %2").arg(result.path, error);
        qCWarning(lcFilm).noquote() << result.error;
        result.path.clear();
        return result;
    }
    if (lostFrames > 0) {
        result.warnings
            << Text::tr("%1 frames could not be decoded; the film holds the frame before each")
                   .arg(lostFrames);
    }
    result.ok = true;
    result.frames = emitted;
    result.duration_s = double(emitted) / kFilmFramesPerSecond;
    result.recordings = int(std::count(used.begin(), used.end(), true));
    if (progress_) {
        progress_(emitted, total);
    }
    qCInfo(lcFilm).noquote() << result.path << "made:" << emitted << "frames from"
                             << result.recordings << "recordings in" << clock.elapsed() << "ms";
    return result;
}

}  // namespace kv::film

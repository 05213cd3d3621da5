#include "session/footage_analysis.h"

#include "capture/motion.h"
#include "capture/motion_mask.h"
#include "media/frame.h"
#include "media/gst_handle.h"
#include "record/journal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLoggingCategory>
#include <QPainter>
#include <QTemporaryFile>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

Q_LOGGING_CATEGORY(lcAnalysis, "kv.session.analysis", QtInfoMsg)
#include <functional>

namespace kv::session {

using media::adopt;

namespace {

// What --analyse tells a person.
struct Text {
    Q_DECLARE_TR_FUNCTIONS(kv::session::FootageAnalysis)
};

// Writes a new file beside the target and renames it over the target: a link
// planted at the name is replaced, never followed, and a failed write leaves
// the old file as it was.
bool replaceFile(const QString& path, QString* why, const std::function<bool(QIODevice&)>& write) {
    const QFileInfo target(path);
    QTemporaryFile temp(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                        QStringLiteral(".XXXXXX"));
    if (!temp.open()) {
        *why = temp.errorString();
        return false;
    }
    struct stat st {};
    const bool existed = ::lstat(QFile::encodeName(path).constData(), &st) == 0;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(temp.handle(), existed && S_ISREG(st.st_mode) ? (st.st_mode & 0777) : (0666 & ~mask));
    if (!write(temp) || !temp.flush()) {
        *why = QStringLiteral("the image could not be written");
        return false;
    }
    if (::rename(QFile::encodeName(temp.fileName()).constData(),
                 QFile::encodeName(path).constData()) != 0) {
        *why = qt_error_string(errno);
        return false;
    }
    temp.setAutoRemove(false);
    return true;
}

}  // namespace

std::optional<AnalysisOptions> parseAnalysisArguments(const QStringList& arguments,
                                                      QString* error) {
    AnalysisOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (a == u"--mask" && hasValue) {
            options.mask = arguments[++i];
        } else if (a == u"--plot" && hasValue) {
            options.plot = arguments[++i];
        } else if (a == u"--trigger" && hasValue) {
            bool ok = false;
            options.trigger = arguments[++i].toInt(&ok);
            if (!ok || options.trigger < 0) {
                *error = QStringLiteral("--trigger needs a number of 0 or more");
                return std::nullopt;
            }
        } else if (a == u"--detector" && hasValue) {
            const QString name = arguments[++i].toLower();
            if (name == u"classic") {
                options.detector = capture::Detector::Classic;
            } else if (name == u"robust") {
                options.detector = capture::Detector::Robust;
            } else {
                *error = QStringLiteral("--detector is classic or robust, not %1").arg(name);
                return std::nullopt;
            }
        } else if (!a.startsWith(u"--") && options.file.isEmpty()) {
            options.file = a;
        } else {
            *error = QStringLiteral("unknown or incomplete option %1").arg(a);
            return std::nullopt;
        }
    }
    if (options.file.isEmpty()) {
        *error = QStringLiteral("no file to analyse");
        return std::nullopt;
    }
    return options;
}

namespace {

// Decodes any video to top-down 24-bit frames, one at a time.
class FrameReader {
  public:
    bool open(const QString& file, QString* error) {
        const QString description = QStringLiteral(
            "uridecodebin name=decode ! videoconvert ! video/x-raw,format=BGR ! "
            "appsink name=sink sync=false max-buffers=8");
        media::Error parseError;
        pipeline_ = adopt(gst_parse_launch(description.toUtf8().constData(), parseError.out()));
        if (!pipeline_) {
            *error = QStringLiteral("GStreamer cannot decode video here");
            return false;
        }
        media::Element decode = adopt(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "decode"));
        const QByteArray uri = QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()).toEncoded();
        g_object_set(decode.get(), "uri", uri.constData(), nullptr);
        sink_ = adopt(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "sink"));
        if (gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE ||
            gst_element_get_state(pipeline_.get(), nullptr, nullptr, 10 * GST_SECOND) !=
                GST_STATE_CHANGE_SUCCESS) {
            *error = QStringLiteral("%1 is not a video GStreamer can read").arg(file);
            return false;
        }
        gint64 frames = 0;
        if (gst_element_query_duration(pipeline_.get(), GST_FORMAT_DEFAULT, &frames)) {
            frameCount_ = frames;
        }
        gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
        return true;
    }
    ~FrameReader() {
        if (pipeline_) {
            gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
        }
    }

    // The next frame, top-down as GStreamer gives it; false at the end.
    bool next(std::vector<std::uint8_t>& pixels, media::BITMAPINFOHEADER& format, qint64* pts_ms) {
        media::Sample sample = adopt(gst_app_sink_pull_sample(GST_APP_SINK(sink_.get())));
        if (!sample) {
            return false;
        }
        GstVideoInfo info;
        if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get()))) {
            return false;
        }
        format = media::makeFrameHeader(GST_VIDEO_INFO_WIDTH(&info), -GST_VIDEO_INFO_HEIGHT(&info));
        if (!media::isFrameFormat(format)) {
            qCWarning(lcAnalysis) << "frames of" << GST_VIDEO_INFO_WIDTH(&info) << "x"
                                  << GST_VIDEO_INFO_HEIGHT(&info) << "are too large to analyse";
            return false;
        }
        GstBuffer* buffer = gst_sample_get_buffer(sample.get());
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            return false;
        }
        const int stride = media::frameStride(format.biWidth);
        const int sourceStride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
        pixels.resize(format.biSizeImage);
        for (int y = 0; y < GST_VIDEO_INFO_HEIGHT(&info); ++y) {
            std::memcpy(pixels.data() + std::ptrdiff_t(y) * stride,
                        map.data + std::ptrdiff_t(y) * sourceStride,
                        std::size_t(format.biWidth) * 3);
        }
        gst_buffer_unmap(buffer, &map);
        *pts_ms =
            GST_BUFFER_PTS_IS_VALID(buffer) ? qint64(GST_BUFFER_PTS(buffer) / GST_MSECOND) : -1;
        return true;
    }

    qint64 frameCount() const { return frameCount_; }

  private:
    media::Element pipeline_;
    media::Element sink_;
    qint64 frameCount_ = 0;
};

}  // namespace

int analyseFootage(const AnalysisOptions& options, std::FILE* out, std::FILE* err) {
    QString error;
    // Told before a long analysis, not after it.
    if (!options.plot.isEmpty() && !plotTargetUsable(options.plot, &error)) {
        std::fputs(
            qPrintable(Text::tr("kestrelvision: cannot write %1: %2\n").arg(options.plot, error)),
            err);
        return 2;
    }
    FrameReader reader;
    if (!reader.open(options.file, &error)) {
        std::fprintf(err, "kestrelvision: %s\n", qPrintable(error));
        return 1;
    }
    capture::MotionMask mask;
    if (!options.mask.isEmpty() && !mask.load(options.mask)) {
        std::fputs(
            qPrintable(Text::tr("kestrelvision: cannot read the mask %1\n").arg(options.mask)),
            err);
        return 1;
    }
    // Capture times from the recording's own journal; for other files,
    // counted on from the file's last change.
    const std::vector<record::JournalLine> journal =
        record::readJournal(record::journalPath(options.file));
    const QDateTime fallbackStart = QFileInfo(options.file).lastModified();

    std::fputs(record::kJournalHeader, out);
    std::vector<std::uint8_t> previous;
    std::vector<std::uint8_t> current;
    media::BITMAPINFOHEADER format{};
    capture::RobustMotion robust;
    std::vector<int> motion;
    QElapsedTimer progress;
    progress.start();
    qint64 pts_ms = 0;
    while (reader.next(current, format, &pts_ms)) {
        const qint64 frame = qint64(motion.size());
        int value = 0;
        if (options.detector == capture::Detector::Robust) {
            value = robust.measure(current.data(), format, mask, false);
        } else if (previous.size() == current.size()) {
            value = capture::MotionMeasure(current.data(), previous.data(), format, mask, false);
        }
        motion.push_back(value);
        record::JournalLine line;
        line.frame = frame;
        line.time = record::frameTakenAt(journal, frame, fallbackStart, pts_ms);
        line.motion = value;
        line.trigger = options.trigger;
        line.fate =
            value > options.trigger ? record::JournalFate::Movement : record::JournalFate::Still;
        std::fputs(record::formatJournalLine(line).constData(), out);
        std::swap(previous, current);
        if (progress.elapsed() >= 2000) {
            progress.restart();
            if (reader.frameCount() > 0) {
                std::fputs(qPrintable(Text::tr("%1 of %2 frames (%3 %)\n")
                                          .arg(frame + 1)
                                          .arg(reader.frameCount())
                                          .arg(100 * (frame + 1) / reader.frameCount())),
                           err);
            } else {
                std::fputs(qPrintable(Text::tr("%1 frames\n").arg(frame + 1)), err);
            }
        }
    }
    std::fflush(out);
    if (motion.empty()) {
        std::fputs(
            qPrintable(
                Text::tr("kestrelvision: no frame could be read from %1\n").arg(options.file)),
            err);
        return 1;
    }
    QString why;
    if (!options.plot.isEmpty() &&
        !plotMotion(motion, options.trigger, QFileInfo(options.file).fileName(), options.plot,
                    &why)) {
        std::fputs(
            qPrintable(Text::tr("kestrelvision: cannot write %1: %2\n").arg(options.plot, why)),
            err);
        return 2;
    }
    return 0;
}

bool plotMotion(const std::vector<int>& motion, int trigger, const QString& title,
                const QString& png, QString* why) {
    QString problem;
    if (!why) {
        why = &problem;
    }
    if (!plotTargetUsable(png, why)) {
        return false;
    }
    constexpr int kWidth = 1200;
    constexpr int kHeight = 320;
    constexpr int kLeft = 70;
    constexpr int kRight = 20;
    constexpr int kTop = 30;
    constexpr int kBottom = 30;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const int plotW = kWidth - kLeft - kRight;
    const int plotH = kHeight - kTop - kBottom;
    // Up to twice the trigger, or the largest value if that is larger.
    const int top = std::max({2 * trigger, *std::max_element(motion.begin(), motion.end()), 1});
    const auto x = [&](std::size_t i) {
        return kLeft + double(i) * plotW / double(std::max<std::size_t>(motion.size() - 1, 1));
    };
    const auto y = [&](int v) { return kTop + plotH - double(v) * plotH / double(top); };

    // Frames above the trigger, shaded.
    for (std::size_t i = 0; i < motion.size(); ++i) {
        if (motion[i] > trigger) {
            p.fillRect(QRectF(x(i) - 0.5, kTop, std::max(1.0, x(i + 1) - x(i)), plotH),
                       QColor(255, 220, 170));
        }
    }
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(kLeft, kTop, plotW, plotH);
    QPolygonF graph;
    for (std::size_t i = 0; i < motion.size(); ++i) {
        graph << QPointF(x(i), y(motion[i]));
    }
    p.setPen(QPen(QColor(30, 80, 200), 1.5));
    p.drawPolyline(graph);
    p.setPen(QPen(Qt::red, 1.5, Qt::DashLine));
    p.drawLine(QPointF(kLeft, y(trigger)), QPointF(kLeft + plotW, y(trigger)));

    p.setPen(Qt::black);
    p.drawText(
        QRect(0, 4, kWidth, 22), Qt::AlignCenter,
        Text::tr("%1: motion of %2 frames, trigger %3").arg(title).arg(motion.size()).arg(trigger));
    p.drawText(QRect(0, int(y(trigger)) - 8, kLeft - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
               QString::number(trigger));
    p.drawText(QRect(0, kTop - 8, kLeft - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
               QString::number(top));
    p.drawText(QRect(kLeft, kHeight - kBottom + 4, plotW, 20), Qt::AlignLeft, QStringLiteral("0"));
    p.drawText(QRect(kLeft, kHeight - kBottom + 4, plotW, 20), Qt::AlignRight,
               QString::number(motion.size() - 1));
    p.end();
    return replaceFile(png, why, [&image](QIODevice& file) { return image.save(&file, "PNG"); });
}

bool plotTargetUsable(const QString& png, QString* why) {
    struct stat st {};
    if (::lstat(QFile::encodeName(png).constData(), &st) != 0) {
        return true;  // a new file
    }
    if (S_ISLNK(st.st_mode)) {
        *why = QStringLiteral("it is a symbolic link, which is not replaced");
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *why = QStringLiteral("it exists and is not a regular file");
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        *why = QStringLiteral("it belongs to another user");
        return false;
    }
    return true;
}

}  // namespace kv::session

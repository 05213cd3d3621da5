#include "film/daily_film.h"

#include "film/film_maker.h"
#include "record/record_files.h"
#include "session/daily_window.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

Q_LOGGING_CATEGORY(lcDailyFilm, "kv.film.daily", QtInfoMsg)

namespace kv::film {

namespace {

const QString kDay = QStringLiteral("yyyy-MM-dd");

QString extension(FilmFormat format) {
    return format == FilmFormat::Mp4 ? QStringLiteral(".mp4") : QStringLiteral(".avi");
}

// The partial film under its final name, never over a file: "2026-12-08.mp4",
// else "2026-12-08 (2).mp4" ...
QString finalName(const QString& part, const QString& wanted, QString* error) {
    const QString stem = wanted.left(wanted.size() - 4);
    const QString ext = wanted.right(4);
    for (int n = 1; n < 100; ++n) {
        const QString name =
            n == 1 ? wanted : QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(ext);
        if (::renameat2(AT_FDCWD, QFile::encodeName(part).constData(), AT_FDCWD,
                        QFile::encodeName(name).constData(), RENAME_NOREPLACE) == 0) {
            return name;
        }
        if (errno != EEXIST) {
            *error = DailyFilm::tr("cannot rename %1: %2")
                         .arg(part, QString::fromLocal8Bit(std::strerror(errno)));
            return {};
        }
    }
    *error = DailyFilm::tr("no free name for %1").arg(wanted);
    return {};
}

}  // namespace

DailyFilm::DailyFilm(const media::Clock& clock, QObject* parent) : QObject(parent), clock_(clock) {
    timer_.setInterval(kCheckInterval_ms);
    connect(&timer_, &QTimer::timeout, this, &DailyFilm::check);
    connect(&run_, &FilmRun::progress, this, &DailyFilm::progress);
    connect(&run_, &FilmRun::finished, this, &DailyFilm::done);
}

DailyFilm::~DailyFilm() {
    stop();
}

void DailyFilm::setSettings(const session::Settings& settings) {
    settings_ = settings;
}

void DailyFilm::start() {
    timer_.start();
    check();
}

void DailyFilm::removePartialFilms() {
    const QString folder = filmsFolder(record::recordingFolder(settings_.AVIPath));
    static const QRegularExpression partial(
        QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})\\.(mp4|avi)( \\(\\d+\\))?\\.part$"));
    const QStringList names =
        QDir(folder).entryList({QStringLiteral("*.part")}, QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        const QRegularExpressionMatch m = partial.match(name);
        const QString path = folder + u'/' + name;
        struct stat st {};
        // Only our own partial films, and never through a link.
        if (!m.hasMatch() || ::lstat(QFile::encodeName(path).constData(), &st) != 0 ||
            !S_ISREG(st.st_mode)) {
            continue;
        }
        if (::unlink(QFile::encodeName(path).constData()) == 0) {
            const QDate day = QDate::fromString(m.captured(1), kDay);
            qCInfo(lcDailyFilm).noquote() << "removed the film cut off by a quit or crash:" << path;
            if (day.isValid() && !recover_.contains(day)) {
                recover_ << day;
            }
        }
    }
}

QList<QDate> DailyFilm::dueDays(const session::Settings& s, const QDateTime& now) {
    if (!s.DailyFilm) {
        return {};
    }
    const QDateTime settled = now.addSecs(-kGrace_s);
    QList<QDate> days{settled.date().addDays(-1)};
    if (s.RecUseTimer) {
        session::WindowSettings w;
        w.recStartTime = s.RecStartTime;
        w.recStopTime = s.RecStopTime;
        w.recStartAt = s.RecStartAt;
        w.recStopAt = s.RecStopAt;
        w.recStartOffset_min = s.RecStartOffset;
        w.recStopOffset_min = s.RecStopOffset;
        w.latitude = session::coordinateFromText(s.Latitude);
        w.longitude = session::coordinateFromText(s.Longitude);
        const QDate today = settled.date();
        const session::DailyWindow window = session::dailyWindow(w, today, QTimeZone());
        // A window within the day: its day is over when it closes.
        if (window.state == session::WindowState::Normal && window.start < window.stop) {
            const QDateTime close =
                QDateTime(today, QTime(0, 0)).addMSecs(qint64(window.stop * 86400000.0));
            if (settled >= close) {
                days << today;
            }
        }
    }
    return days;
}

QString DailyFilm::existingFilm(const QString& folder, QDate day) {
    for (FilmFormat format : {FilmFormat::Mp4, FilmFormat::Avi}) {
        const QString path = folder + u'/' + day.toString(kDay) + extension(format);
        if (QFileInfo::exists(path)) {
            return path;
        }
    }
    return {};
}

void DailyFilm::check() {
    if (source_) {
        settings_ = *source_;
    }
    if (run_.running() || !settings_.DailyFilm || settings_.AVIPath.isEmpty()) {
        return;
    }
    const QString folder = filmsFolder(record::recordingFolder(settings_.AVIPath));
    if (folder != cleared_) {
        cleared_ = folder;
        removePartialFilms();
    }
    QList<QDate> days = recover_;
    days << dueDays(settings_, clock_.now());
    for (QDate day : std::as_const(days)) {
        if (!tried_.contains(day) && existingFilm(folder, day).isEmpty()) {
            begin(day);
            return;
        }
    }
}

void DailyFilm::begin(QDate day) {
    tried_ << day;
    recover_.removeAll(day);
    FilmRequest request;
    request.folder = record::recordingFolder(settings_.AVIPath);
    request.from = QDateTime(day, QTime(0, 0));
    request.to = QDateTime(day, QTime(23, 59, 59, 999));
    request.lengthSeconds = settings_.FilmLength;
    request.pace = settings_.FilmPace == 1 ? Pace::Clock : Pace::Frames;
    request.deflicker = settings_.FilmDeflicker;
    request.format = settings_.FilmFormat == 1 ? FilmFormat::Avi : FilmFormat::Mp4;
    const QString folder = filmsFolder(request.folder);
    const QString wanted = folder + u'/' + day.toString(kDay) + extension(request.format);
    request.outputPath = wanted + QStringLiteral(".part");
    if (!QDir().mkpath(folder)) {
        Q_EMIT failed(day, tr("cannot make the folder %1").arg(folder));
        return;
    }

    filming_ = day;
    qCDebug(lcDailyFilm).noquote() << "filming" << day.toString(kDay) << "into" << wanted;
    run_.start(request, true, [wanted](FilmResult& result) {
        if (!result.ok) {
            return;
        }
        QString error;
        const QString path = finalName(result.path, wanted, &error);
        if (path.isEmpty()) {
            ::unlink(QFile::encodeName(result.path).constData());
            result.ok = false;
            result.error = error;
        }
        result.path = path;
    });
    Q_EMIT started(day);
}

void DailyFilm::done(const FilmResult& r) {
    for (const QString& warning : r.warnings) {
        qCWarning(lcDailyFilm).noquote() << warning;
    }
    const QString day = filming_.toString(kDay);
    if (r.ok) {
        qCDebug(lcDailyFilm).noquote() << "film of" << day << "made:" << r.path;
        Q_EMIT finished(filming_, r.path, r.duration_s, r.recordings);
    } else if (r.nothingRecorded) {
        qCInfo(lcDailyFilm).noquote() << "no film of" << day << "-" << r.error;
    } else {
        Q_EMIT failed(filming_, r.error);
    }
    check();
}

void DailyFilm::stop(int wait_ms) {
    timer_.stop();
    run_.stop(wait_ms);
}

}  // namespace kv::film

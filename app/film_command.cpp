#include "app/film_command.h"

#include "app/settings_store.h"
#include "app/single_instance.h"
#include "record/record_files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>

#include <csignal>

namespace kv::app {

namespace {

film::FilmMaker* running = nullptr;

extern "C" void cancelFilm(int) {
    if (running) {
        running->cancel();
    }
}

// A date alone is its whole day: from its start, or (end) to its last moment.
std::optional<QDateTime> parseMoment(const QString& text, bool end, const QDate& day) {
    const QDate date = text.size() == 10 ? QDate::fromString(text, Qt::ISODate) : QDate();
    if (date.isValid()) {
        return end ? QDateTime(date.addDays(1), QTime(0, 0)).addMSecs(-1)
                   : QDateTime(date, QTime(0, 0));
    }
    QString iso = text;
    if (iso.size() > 10 && iso[10] == u' ') {
        iso[10] = u'T';
    }
    QDateTime moment = QDateTime::fromString(iso, Qt::ISODate);
    if (!moment.isValid() && day.isValid()) {
        const QTime time = QTime::fromString(text, Qt::ISODate);
        if (time.isValid()) {
            moment = QDateTime(day, time);
        }
    }
    if (!moment.isValid()) {
        return std::nullopt;
    }
    // A time to the minute takes in that whole minute at the end.
    if (end && moment.time().second() == 0 && moment.time().msec() == 0 && text.count(u':') == 1) {
        moment = moment.addMSecs(59999);
    }
    return moment;
}

}  // namespace

std::optional<FilmCommand> parseFilmArguments(const QStringList& arguments, QString* error) {
    FilmCommand command;
    film::FilmRequest& r = command.request;
    QStringList moments;
    bool lengthGiven = false;
    bool allGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const auto value = [&](QString* into) {
            if (i + 1 >= arguments.size()) {
                *error =
                    QCoreApplication::translate("kv::app::FilmCommand", "%1 needs a value").arg(a);
                return false;
            }
            *into = arguments[++i];
            return true;
        };
        QString v;
        if (a == u"--length") {
            if (!value(&v)) {
                return std::nullopt;
            }
            bool ok = false;
            r.lengthSeconds = v.toInt(&ok);
            if (!ok || r.lengthSeconds < 1 || r.lengthSeconds > 24 * 3600) {
                *error = QCoreApplication::translate("kv::app::FilmCommand",
                                                     "--length takes seconds, 1 to 86400, not %1")
                             .arg(v);
                return std::nullopt;
            }
            lengthGiven = true;
        } else if (a == u"--all") {
            allGiven = true;
            r.lengthSeconds = 0;
        } else if (a == u"--pace") {
            if (!value(&v)) {
                return std::nullopt;
            }
            if (v == u"frames") {
                r.pace = film::Pace::Frames;
            } else if (v == u"clock") {
                r.pace = film::Pace::Clock;
            } else {
                *error = QCoreApplication::translate("kv::app::FilmCommand",
                                                     "--pace is frames or clock, not %1")
                             .arg(v);
                return std::nullopt;
            }
        } else if (a == u"--no-deflicker") {
            r.deflicker = false;
        } else if (a == u"--format") {
            if (!value(&v)) {
                return std::nullopt;
            }
            if (v == u"mp4") {
                r.format = film::FilmFormat::Mp4;
            } else if (v == u"avi") {
                r.format = film::FilmFormat::Avi;
            } else {
                *error = QCoreApplication::translate("kv::app::FilmCommand",
                                                     "--format is mp4 or avi, not %1")
                             .arg(v);
                return std::nullopt;
            }
        } else if (a == u"-o") {
            if (!value(&r.outputPath)) {
                return std::nullopt;
            }
        } else if (a.size() >= 2 && (a[0] == u'/' || a[0] == u'-') && a[1].toUpper() == u'I' &&
                   !a.startsWith(u"--")) {
            command.instanceSuffix = a.mid(2);
        } else if (a.startsWith(u'-') && a.size() > 1 && !a[1].isDigit()) {
            *error =
                QCoreApplication::translate("kv::app::FilmCommand", "unknown option %1").arg(a);
            return std::nullopt;
        } else {
            moments << a;
        }
    }
    if (lengthGiven && allGiven) {
        *error = QCoreApplication::translate("kv::app::FilmCommand",
                                             "--length and --all exclude each other");
        return std::nullopt;
    }
    if (moments.isEmpty() || moments.size() > 2) {
        *error = moments.isEmpty() ? QCoreApplication::translate("kv::app::FilmCommand",
                                                                 "the span to film is missing")
                                   : QCoreApplication::translate("kv::app::FilmCommand",
                                                                 "one span: FROM and TO, not %1")
                                         .arg(moments.join(u' '));
        return std::nullopt;
    }
    const std::optional<QDateTime> from = parseMoment(moments[0], false, {});
    const std::optional<QDateTime> to = parseMoment(moments.size() > 1 ? moments[1] : moments[0],
                                                    true, from ? from->date() : QDate());
    if (!from || !to) {
        *error = QCoreApplication::translate(
                     "kv::app::FilmCommand",
                     "%1 is no date (2026-12-08) or date and time (2026-12-08T06:00)")
                     .arg(!from ? moments[0] : moments[1]);
        return std::nullopt;
    }
    if (*to < *from) {
        *error =
            QCoreApplication::translate("kv::app::FilmCommand", "the span ends before it begins");
        return std::nullopt;
    }
    r.from = *from;
    r.to = *to;
    return command;
}

int runFilmCommand(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    QString error;
    std::optional<FilmCommand> command = parseFilmArguments(arguments, &error);
    if (command && !isUsableInstanceSuffix(command->instanceSuffix, &error)) {
        command.reset();
    }
    if (!command) {
        std::fprintf(err, "kestrelvision: %s\n%s", qPrintable(error),
                     qPrintable(QCoreApplication::translate("kv::app::FilmCommand", kFilmUsage)));
        return 2;
    }
    SettingsStore store(command->instanceSuffix);
    const session::Settings settings = store.load(0, 0);
    command->request.folder = record::recordingFolder(settings.AVIPath);

    // The film's own log lines would repeat what is told below, line for line.
    QLoggingCategory::setFilterRules(QStringLiteral("kv.film.*=false"));
    film::FilmMaker maker;
    QElapsedTimer since;
    since.start();
    maker.setProgress([&](qint64 done, qint64 total) {
        if (since.elapsed() >= 2000 && total > 0) {
            since.restart();
            std::fprintf(err, "%s\n",
                         qPrintable(QCoreApplication::translate("kv::app::FilmCommand",
                                                                "%1 of %2 frames (%3 %)")
                                        .arg(done)
                                        .arg(total)
                                        .arg(int(100 * done / total))));
        }
    });
    // Ctrl-C or a stop ends the film without leaving half of it behind.
    running = &maker;
    struct sigaction action {};
    action.sa_handler = cancelFilm;
    sigemptyset(&action.sa_mask);
    struct sigaction oldInt {};
    struct sigaction oldTerm {};
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);
    const film::FilmResult result = maker.make(command->request);
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    running = nullptr;

    for (const QString& warning : result.warnings) {
        std::fprintf(err, "kestrelvision: %s\n", qPrintable(warning));
    }
    if (!result.ok) {
        std::fprintf(err, "kestrelvision: %s\n", qPrintable(result.error));
        return 1;
    }
    std::fprintf(err, "%s\n",
                 qPrintable(QCoreApplication::translate("kv::app::FilmCommand",
                                                        "%1 frames, %2 s, from %3 recordings")
                                .arg(result.frames)
                                .arg(result.duration_s, 0, 'f', 1)
                                .arg(result.recordings)));
    std::fprintf(out, "%s\n", qPrintable(result.path));
    std::fflush(out);
    return 0;
}

}  // namespace kv::app

#include "film/film_span.h"

#include "record/journal.h"
#include "record/record_files.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <algorithm>

Q_LOGGING_CATEGORY(lcFilmSpan, "kv.film.span", QtInfoMsg)

namespace kv::film {

Span gatherSpan(const QString& aviPath, const QDateTime& from, const QDateTime& to) {
    Span span;
    const qint64 from_ms = from.toMSecsSinceEpoch();
    const qint64 to_ms = to.toMSecsSinceEpoch();
    QList<record::RecordFileEntry> list;
    record::ListRecordFiles(aviPath, list);
    // A recording named after the day before may run past midnight.
    const QDate first = from.date().addDays(-1);
    const QDate last = to.date();
    for (const record::RecordFileEntry& entry : list) {
        const QDate date = record::recordingDate(entry.path);
        if (date.isValid() && (date < first || date > last)) {
            continue;
        }
        AviFrames avi = readAviFrames(entry.path);
        if (!avi.ok || avi.frames.empty()) {
            const QString why =
                avi.ok ? QCoreApplication::translate("kv::film::Span", "no whole frame")
                       : avi.error;
            span.warnings << QCoreApplication::translate("kv::film::Span", "%1 skipped: %2")
                                 .arg(entry.path, why);
            qCWarning(lcFilmSpan).noquote() << span.warnings.back();
            continue;
        }
        int bad = 0;
        const std::vector<record::JournalLine> journal =
            record::readJournal(record::journalPath(entry.path), &bad, qint64(avi.frames.size()));
        qint64 count = qint64(avi.frames.size());
        if (!avi.indexed && !journal.empty()) {
            // Being written: the journal's last line is the last frame known whole.
            count = std::min(count, journal.back().frame + 1);
        }
        record::FileClock clock;
        if (!record::fileClock(entry.path, count, avi.frameDuration_us, &clock)) {
            span.warnings << QCoreApplication::translate("kv::film::Span", "%1 skipped: %2")
                                 .arg(entry.path, QCoreApplication::translate("kv::film::Span",
                                                                              "gone meanwhile"));
            continue;
        }
        const QDateTime start = QDateTime::fromMSecsSinceEpoch(clock.start_ms);
        const int index = int(span.recordings.size());
        bool used = false;
        for (qint64 f = 0; f < count; ++f) {
            const qint64 t = record::frameTakenAt(journal, f, start, clock.at(f) - clock.start_ms)
                                 .toMSecsSinceEpoch();
            if (t >= from_ms && t <= to_ms) {
                span.frames.push_back({t, index, f});
                used = true;
            }
        }
        if (used) {
            avi.frames.resize(std::size_t(count));
            span.recordings.push_back({entry.path, std::move(avi)});
        }
    }
    std::stable_sort(span.frames.begin(), span.frames.end(),
                     [](const SpanFrame& a, const SpanFrame& b) { return a.time_ms < b.time_ms; });
    return span;
}

std::vector<std::size_t> chooseFrames(const std::vector<qint64>& times_ms, qint64 from_ms,
                                      qint64 to_ms, int count, Pace pace) {
    const std::size_t n = times_ms.size();
    std::vector<std::size_t> chosen;
    if (n == 0) {
        return chosen;
    }
    if (count <= 0 || (pace == Pace::Frames && std::size_t(count) >= n)) {
        chosen.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            chosen[i] = i;
        }
        return chosen;
    }
    chosen.reserve(std::size_t(count));
    if (pace == Pace::Frames) {
        for (int i = 0; i < count; ++i) {
            chosen.push_back(std::size_t((double(i) + 0.5) * double(n) / double(count)));
        }
        return chosen;
    }
    // The clock runs over what was recorded within the span: hours before the
    // first frame or after the last would only hold one picture.
    const double begin = double(std::max(from_ms, times_ms.front()));
    const double end = double(std::min(to_ms, times_ms.back())) + 1.0;
    const double slice = (end - begin) / double(count);
    std::size_t at = 0;  // the first frame not before the current slice
    std::size_t held = 0;
    for (int i = 0; i < count; ++i) {
        const double lo = begin + slice * i;
        const double hi = lo + slice;
        const double middle = lo + slice / 2;
        while (at < n && double(times_ms[at]) < lo) {
            ++at;
        }
        std::size_t best = held;
        double bestDistance = -1;
        for (std::size_t j = at; j < n && double(times_ms[j]) < hi; ++j) {
            const double d = std::abs(double(times_ms[j]) - middle);
            if (bestDistance < 0 || d < bestDistance) {
                best = j;
                bestDistance = d;
            } else {
                break;  // ascending times: only further away from here on
            }
        }
        chosen.push_back(best);
        held = best;
    }
    return chosen;
}

}  // namespace kv::film

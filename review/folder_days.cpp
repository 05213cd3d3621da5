#include "review/folder_days.h"

#include "record/record_files.h"

#include <QDateTime>

#include <algorithm>

namespace kv::review {

QDate FolderDays::previousDay(QDate d) const {
    auto it = days.lower_bound(d);
    return it == days.begin() ? QDate() : std::prev(it)->first;
}

QDate FolderDays::nextDay(QDate d) const {
    const auto it = days.upper_bound(d);
    return it == days.end() ? QDate() : it->first;
}

FolderDays listDays(const QString& aviPath) {
    FolderDays out;
    QList<record::RecordFileEntry> list;
    record::ListRecordFiles(aviPath, list);
    std::vector<DayFile> files;
    files.reserve(std::size_t(list.size()));
    for (record::RecordFileEntry& entry : list) {
        const QString name = entry.path.mid(aviPath.size());
        if (!record::isRecordingName(name)) {
            continue;
        }
        const QDate named = record::recordingDate(name);
        if (named.isValid()) {
            files.push_back({std::move(entry.path), entry.size_bytes, entry.modified_ms, named});
        }
    }
    std::vector<QDate> dates;
    dates.reserve(files.size());
    for (const DayFile& f : files) {
        dates.push_back(f.named);
    }
    std::sort(dates.begin(), dates.end());
    dates.erase(std::unique(dates.begin(), dates.end()), dates.end());
    // Local midnight after a day, worked out once per day: most files end on
    // their named day, and none needs a date of its own (a time zone lookup
    // per file costs more than the listing).
    std::map<QDate, qint64> dayEnd_ms;
    const auto dayEnd = [&dayEnd_ms](QDate d) {
        const auto [it, added] = dayEnd_ms.try_emplace(d, 0);
        if (added) {
            it->second = d.addDays(1).startOfDay().toMSecsSinceEpoch();
        }
        return it->second;
    };
    for (DayFile& f : files) {
        const auto later = std::upper_bound(dates.begin(), dates.end(), f.named);
        const QDate bound = later != dates.end() ? *later : QDate();
        QDate last = f.named;
        while ((bound.isNull() || last < bound) && f.modified_ms >= dayEnd(last)) {
            out.days[last].push_back(f);
            last = last.addDays(1);
        }
        out.days[last].push_back(std::move(f));
    }
    return out;
}

}  // namespace kv::review

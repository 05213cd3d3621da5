#pragma once

// The days of the recording folder that have recordings, from the directory
// listing alone: the date in each recording's name and its last change. No
// journal or AVI is opened, so a year of recordings lists in well under a
// second.

#include <QDate>
#include <QString>

#include <map>
#include <vector>

namespace kv::review {

// One recording file of ours listed for the day view.
struct DayFile {
    QString path;  // AVIPath + the file's real name
    qint64 size_bytes = 0;
    qint64 modified_ms = 0;  // last change, ms since the epoch
    QDate named;             // the date in its name (YYMMDD_...)
};

struct FolderDays {
    // Each day's files, oldest first. A recording counts on each day from its
    // named day to the day of its last change, but no later than the next
    // date a recording is named after: the recorder starts a file only when
    // the one before has ended, and a copy's last change says nothing.
    std::map<QDate, std::vector<DayFile>> days;

    // The nearest earlier (later) day with recordings; null when none.
    QDate previousDay(QDate d) const;
    QDate nextDay(QDate d) const;
};

// The days of the folder (AVIPath as the recorder uses it).
FolderDays listDays(const QString& aviPath);

}  // namespace kv::review

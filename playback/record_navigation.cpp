#include "playback/record_navigation.h"

#include <QDir>

namespace kv::playback {

namespace {

qsizetype indexOf(const QList<record::RecordFileEntry>& list, const QString& fileName) {
    if (fileName.isEmpty()) {
        return -1;
    }
    // A path chosen in a file dialog is clean; AVIPath + name may carry a
    // doubled separator. Both name the same file.
    const QString wanted = QDir::cleanPath(fileName);
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (list[i].path.compare(fileName, Qt::CaseInsensitive) == 0 ||
            QDir::cleanPath(list[i].path).compare(wanted, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

}  // namespace

QString StepRecordFile(const QList<record::RecordFileEntry>& list, const QString& playbackFileName,
                       bool forward) {
    const qsizetype target = indexOf(list, playbackFileName) + (forward ? 1 : -1);
    if (target < 0 || target >= list.size()) {
        return {};
    }
    return list[target].path;
}

}  // namespace kv::playback

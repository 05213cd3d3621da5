#pragma once

// Recording files: the dated name of the next recording and the listing of the
// recording folder, which the disk quota and playback navigation share.
//
// The folder is the text of AVIPath, used by plain concatenation: AVIPath + name.
// AVIPath normally ends with a separator; when it does not, its last part is a
// prefix of every recording's file name ("/video/cam" + name = "/video/camNAME").

#include "media/clock.h"

#include <QList>
#include <QString>

namespace kv::record {

// Returns AVIPath + the name of the next recording: "YYMMDD_WDNN.avi", the date
// of clock.now(), a weekday code (SU..SA) and the next sequence number of the
// day. Never names a file that exists already. Empty when the clock has no date.
QString NewRecordFileName(const QString& aviPath, const media::Clock& clock);

struct RecordFileEntry {
    QString path;  // AVIPath + the file's real name
    qint64 size_bytes = 0;
};

// Empties the list and fills it with every recording file (a regular "*.avi"
// file of our own, not hidden, not a symbolic link), oldest first: ascending by
// path, locale-aware and ignoring letter case.
void ListRecordFiles(const QString& aviPath, QList<RecordFileEntry>& list);

// When the recordings take more than maxDiskspace_mb decimal megabytes, deletes
// the first listed file that is not the one loaded in playback. Deletes at most
// one file; returns whether it did.
bool EnforceDiskQuota(const QString& aviPath, int maxDiskspace_mb, const QString& playbackFileName);

}  // namespace kv::record

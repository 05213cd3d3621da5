#pragma once

// Recording files: the dated name of the next recording and the listing of the
// recording folder, which the disk quota and playback navigation share.
//
// The folder is the text of AVIPath, used by plain concatenation: AVIPath + name.
// AVIPath ends with a separator once recordingFolder() has made it a folder;
// only when it names an existing non-folder is its last part a prefix of every
// recording's file name ("/video/cam" + name = "/video/camNAME").

#include "media/clock.h"

#include <QList>
#include <QString>

namespace kv::record {

// Returns AVIPath + the name of the next recording: "YYMMDD_WDNN.avi", the date
// of clock.now(), a weekday code (SU..SA) and the next sequence number of the
// day. Never names a file that exists already. Empty when the clock has no date.
QString NewRecordFileName(const QString& aviPath, const media::Clock& clock);

// AVIPath as the folder the user meant: a path that names an existing folder,
// or nothing yet, gets a trailing separator. Empty stays empty.
QString recordingFolder(const QString& aviPath);

// Creates the folder part of AVIPath with every missing parent. False, with
// the reason, when it cannot be made.
bool ensureRecordingFolder(const QString& aviPath, QString* error = nullptr);

// Whether a file name (without folder) is one the program gives a recording:
// "YYMMDD_WDNN.avi", or past sequence 99 "YYMMDD_WD99_N.avi"; letter case
// aside, since a copy through another disk may change it.
bool isRecordingName(const QString& fileName);

struct RecordFileEntry {
    QString path;  // AVIPath + the file's real name
    qint64 size_bytes = 0;
};

// Empties the list and fills it with every recording file (a regular "*.avi"
// file of our own, not hidden, not a symbolic link), oldest first: ascending by
// path, locale-aware and ignoring letter case.
void ListRecordFiles(const QString& aviPath, QList<RecordFileEntry>& list);

// When the recordings take more than maxDiskspace_mb decimal megabytes, deletes
// the first listed file that is not the one loaded in playback. Only files that
// bear a recording's name are counted and deleted: a user's own videos in the
// folder are left alone. Deletes at most one file; returns whether it did.
bool EnforceDiskQuota(const QString& aviPath, int maxDiskspace_mb, const QString& playbackFileName);

struct RepairSummary {
    int repaired = 0;   // unfinished recordings now finished
    int removed = 0;    // recordings without a frame
    int leftAlone = 0;  // damaged in a way no kill explains
};

// Finishes every recording in the folder that a kill, a crash or a power cut
// left unfinished, and removes those that got no frame. Files being written
// (locked by a recorder) and a user's own videos are not touched; a file that
// is not understood is left as it is. Logs each. Reads every recording's
// header: run it off the main thread.
RepairSummary repairRecordings(const QString& aviPath);

// Before playback opens a recording of ours: finished in place if it was not.
void repairBeforePlayback(const QString& path);

}  // namespace kv::record

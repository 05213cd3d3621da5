#pragma once

// Recording files: the dated name of the next recording and the listing of the
// recording folder, which the disk quota and playback navigation share.
//
// The folder is the text of AVIPath, used by plain concatenation: AVIPath + name.
// AVIPath ends with a separator once recordingFolder() has made it a folder;
// only when it names an existing non-folder is its last part a prefix of every
// recording's file name ("/video/cam" + name = "/video/camNAME").

#include "media/clock.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <sys/types.h>

#include <optional>

namespace kv::record {

// Returns AVIPath + the name of the next recording: "YYMMDD_WDNN.avi", the date
// of clock.now(), a weekday code (SU..SA) and the next sequence number of the
// day. Only a name whose recording and journal ("NAME.avi", "NAME.csv") are
// both free is given. Empty when the clock has no date.
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

// The date a recording's name begins with ("YYMMDD_..."; the folder, if any, is
// skipped): the day it was started. Invalid for other names.
QDate recordingDate(const QString& name);

struct RecordFileEntry {
    QString path;  // AVIPath + the file's real name
    qint64 size_bytes = 0;
    qint64 modified_ms = 0;  // last change, ms since the epoch
};

// Empties the list and fills it with every recording file (a regular "*.avi"
// file of our own, not hidden, not a symbolic link), oldest first: ascending by
// path, locale-aware and ignoring letter case.
void ListRecordFiles(const QString& aviPath, QList<RecordFileEntry>& list);

// When the frames of a recording were taken, as far as the file itself tells,
// for frames without a journal line: frame f at start_ms + f * step_ms.
struct FileClock {
    qint64 start_ms = 0;
    double step_ms = 0;
    qint64 at(qint64 frame) const { return start_ms + qint64(double(frame) * step_ms + 1e-6); }
};

// The clock of a recording of `frames` frames of frameDuration_us each (from
// its AVI header), read from the file's times. False when the file cannot be
// looked at.
bool fileClock(const QString& path, qint64 frames, qint64 frameDuration_us, FileClock* clock);

struct QuotaResult {
    int deleted = 0;
    bool overLimit = false;  // still over the limit: what is left is protected
    qint64 total_bytes = 0;  // the recordings counted, after the deletions
    qint64 limit_bytes = 0;  // the limit applied
};

// Keeps the recordings in the folder under Max Diskspace. One object lives as
// long as the recorder: it remembers what it has checked and told.
class DiskQuota {
  public:
    static constexpr int kDefault_mb = 500;

    // Deletes oldest first until the recordings fit. Counted and deleted are
    // only real recordings of ours: a recording's name, a regular file (not a
    // link) of this user with no other name, that begins as an AVI file;
    // anything else bearing such a name is left alone and logged once. Never
    // deleted: the playback file, the file being written, the newest finished
    // recording (the last modified), a file locked by a writer. A limit of 0
    // or less is refused and the default applies. Each deletion is logged;
    // being unable to get under the limit is logged once, as a warning, until
    // the recordings fit again.
    QuotaResult EnforceDiskQuota(const QString& aviPath, int maxDiskspace_mb,
                                 const QString& playbackFileName, const QString& writingFileName);

  private:
    struct Recording {
        QString path;
        qint64 size_bytes = 0;
        qint64 mtime_ns = 0;
        dev_t dev = 0;
        ino_t ino = 0;
    };
    // A header once read, valid while the file's identity, size and time stay.
    struct HeaderCheck {
        qint64 size_bytes = 0;
        qint64 mtime_ns = 0;
        dev_t dev = 0;
        ino_t ino = 0;
        bool avi = false;
    };

    QList<Recording> findOwnRecordings(const QString& aviPath);
    bool isAvi(const QString& path, const Recording& file);
    bool remove(const Recording& file);
    void leaveAlone(const QString& path, const QString& why);

    QHash<QString, HeaderCheck> headers_;
    QSet<QString> leftAlone_;  // "path: why", each logged once
    std::optional<int> refusedLimit_;
    bool overLimitTold_ = false;
};

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

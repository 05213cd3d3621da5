#pragma once

// The journal beside a recording: for "241203_TU02.avi" the file
// "241203_TU02.csv", a header line and one line per frame in the recording:
// its position in the file, when it was taken (local time, ISO 8601 with
// milliseconds and the UTC offset), the motion value and trigger it was
// judged by, and why it was recorded. A spreadsheet opens it as it is.

#include <QDateTime>
#include <QString>

#include <vector>

namespace kv::record {

// Why a frame was recorded; PreRecord for a frame taken just before a movement
// and recorded when it began; Still only in an analysis of footage, for a
// frame that would not have been; Heartbeat for the one frame recorded in mode
// On movement after a quiet while, so the day shows passing.
enum class JournalFate { On, Movement, PostRecord, Still, PreRecord, Heartbeat };

struct JournalLine {
    qint64 frame = 0;  // position in the recording, from 0
    QDateTime time;
    int motion = 0;
    int trigger = 0;
    JournalFate fate = JournalFate::On;
};

inline constexpr char kJournalHeader[] = "frame,time,motion,trigger,fate\n";

// The journal of a recording: the same name with ".csv".
QString journalPath(const QString& recording);

QByteArray formatJournalLine(const JournalLine& line);

// The longest line the recorder writes (a 19-digit frame number, the time
// with its offset, two 11-character numbers, the longest fate), with room to
// spare: a journal holds no more than this per frame of its recording.
inline constexpr qint64 kJournalLineMax = 128;
// How much of a journal is read when its recording's frame count is not
// known: about a million frames.
inline constexpr qint64 kJournalReadMax_bytes = qint64(64) << 20;

// Every well-formed line of a journal's text, in order; lines that do not
// parse (a torn last line, an edit by hand) are left out and counted in
// badLines.
std::vector<JournalLine> parseJournal(QByteArrayView text, int* badLines = nullptr);

// parseJournal() of the file. Only a regular file is read (a link, FIFO or
// device is refused with a log line, never waited for), and no more of it
// than `frames` lines can fill, or kJournalReadMax_bytes when the frame count
// is unknown (negative). A missing journal reads as empty.
std::vector<JournalLine> readJournal(const QString& path, int* badLines = nullptr,
                                     qint64 frames = -1);

// When frame `frame` of a recording was taken: its journal line, or for a
// frame the journal does not list (no journal, a file from elsewhere) the
// time counted from the file's start: start plus the frame's offset in it.
QDateTime frameTakenAt(const std::vector<JournalLine>& journal, qint64 frame,
                       const QDateTime& start, qint64 offset_ms);

// The frames where a movement begins: a frame recorded by movement after one
// that was not, or after a pause in time (in mode On movement the file holds
// only what moved, so two episodes may follow each other directly).
std::vector<qint64> movementStarts(const std::vector<JournalLine>& lines);

// Makes a journal a line per frame of its `frames`-frame recording, after a
// kill or a power cut left it ahead of the recording or behind it (the disk
// kept frames whose lines it lost). Only a regular file of this user with no
// other name is changed, never through a link. False when it is left as it
// was; a missing journal is fine.
bool matchJournal(const QString& path, qint64 frames);

// Keeps the header and the lines of the first `frames` frames; a torn last
// line goes too. The file is cut where line frames + 1 begins, in place: that
// needs no room on the disk, so a full disk cannot empty it. Name is for the
// log.
bool trimJournalFile(int fd, qint64 frames, const QString& name);

// Adds the lines of frames past the journal's last line, up to `frames`:
// each like the last, with its time one usual gap later. What the frames
// show is in the frames; their times are estimates. A journal without a
// line, or one that lacks more than kJournalCompleteMax, is left as it is.
bool completeJournalFile(int fd, qint64 frames, const QString& name);
// About half a minute of frames at 25/s: what a disk may hold back from one
// file and not the other. Past that, estimated times would mislead.
inline constexpr qint64 kJournalCompleteMax = 1000;

}  // namespace kv::record

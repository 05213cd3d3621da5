#pragma once

// One day of the recording folder as the day view draws it: every recorded
// frame of that calendar day with its capture time and motion from the
// journals, the recordings' spans, and the movements. Qt Core only, so the
// Playback page and a web page can both use it.

#include "record/journal.h"
#include "record/record_files.h"
#include "review/folder_days.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace kv::review {

struct DayFrame {
    qint64 time_ms = 0;  // when taken, ms since the epoch
    int motion = 0;      // -1 when not known (no journal)
    int trigger = 0;
    record::JournalFate fate = record::JournalFate::On;
    int recording = 0;  // index into DayActivity::recordings
    qint64 frame = 0;   // position in that recording
};

struct DayRecording {
    QString path;
    qint64 from_ms = 0;  // the span it covers, clipped to the day
    qint64 to_ms = 0;
    qint64 frames = 0;     // frames in the file
    bool journal = false;  // false: span from its name and file times, no motion graph
    // Its frames on this day are [firstInDay, endInDay); without a journal
    // they are timed by `clock`.
    qint64 firstInDay = 0;
    qint64 endInDay = 0;
    record::FileClock clock;
};

struct MovementSpan {
    qint64 from_ms = 0;
    qint64 to_ms = 0;
    std::size_t firstFrame = 0;  // index into DayActivity::frames
    bool continued = false;      // began before this day (or file): not a movement start
};

struct DayActivity {
    QDate day;
    qint64 dayStart_ms = 0;  // local midnight
    qint64 dayEnd_ms = 0;    // the next local midnight (23 or 25 hours later on a DST day)
    std::vector<DayRecording> recordings;  // by start time
    std::vector<DayFrame> frames;          // every frame of the day with a journal line, by time
    std::vector<MovementSpan> movements;   // recorded by movement, pre-record, post-record; by time
    int trigger = 0;                       // the last trigger seen, for the line
    QStringList warnings;                  // recordings or journals skipped, and why

    // The recorded frame nearest t: over the frames with journal lines and,
    // for recordings without a journal, their frames timed by the file's
    // clock. nullopt when the day has none.
    std::optional<DayFrame> nearest(qint64 t_ms) const;
    // The first movement start after (forward) or before t on this day.
    std::optional<MovementSpan> nextMovement(qint64 t_ms, bool forward) const;
};

// Per column of [from_ms, to_ms) cut into `columns` equal parts, the largest
// motion of the frames (sorted by time) in it; -1 where no frame with a known
// motion falls. The day strip's and the web page's activity graph.
std::vector<int> columnPeaks(const std::vector<DayFrame>& frames, qint64 from_ms, qint64 to_ms,
                             int columns);

namespace detail {
struct RecordingData;
}

// What readDay() read of each recording, kept while the recording's and its
// journal's size and last change stay the same. Thread-safe; holds about
// maxFrames journal lines (a day at one frame a second is 86,400), the least
// recently used recordings going first.
class DayCache {
  public:
    explicit DayCache(qint64 maxFrames = 1000000);
    ~DayCache();
    DayCache(const DayCache&) = delete;
    DayCache& operator=(const DayCache&) = delete;

    void clear();
    qint64 frames() const;  // journal lines held
    qint64 reads() const;   // recordings read from the disk so far (not from the cache)

    struct Key {
        qint64 size_bytes = -1;
        qint64 modified_ns = 0;
        qint64 journalSize_bytes = -1;
        qint64 journalModified_ns = 0;
        bool operator==(const Key&) const = default;
    };
    std::shared_ptr<const detail::RecordingData> find(const QString& path, const Key& key) const;
    void insert(const QString& path, std::shared_ptr<const detail::RecordingData> data);
    void countRead();

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// Reads the journal of each recording of `day` in the folder (limited by the
// frame count from its AVI index) and keeps the frames of that day. A
// recording whose AVI is damaged is skipped with a warning; a damaged
// journal costs its bad lines (all of them: the recording shows from its
// file times), with a warning. The rest of the day still shows. A day the
// folder has no recordings for comes back empty. `cancel`, when it turns
// true, stops the reading between recordings (what is read so far returns).
DayActivity readDay(const FolderDays& folder, QDate day, DayCache* cache = nullptr,
                    const std::atomic<bool>* cancel = nullptr);

}  // namespace kv::review

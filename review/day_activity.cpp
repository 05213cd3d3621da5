#include "review/day_activity.h"

#include "film/avi_frames.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <mutex>
#include <thread>
#include <unordered_map>

Q_LOGGING_CATEGORY(lcDay, "kv.review.day", QtInfoMsg)

namespace kv::review {

namespace detail {

// One journal line, as small as it can be: a day holds tens of thousands.
struct Line {
    qint64 time_ms = 0;
    qint64 frame = 0;
    int motion = 0;
    int trigger = 0;
    record::JournalFate fate = record::JournalFate::On;
    bool movementStart = false;
};

// One recording as read from the disk, whatever day is asked for.
struct RecordingData {
    DayCache::Key key;
    bool ok = false;
    QStringList warnings;
    qint64 frames = 0;  // whole frames in the file (known to the journal, if unfinished)
    record::FileClock clock;
    std::vector<Line> lines;  // the journal's, in the file's order
};

}  // namespace detail

using detail::Line;
using detail::RecordingData;

namespace {

// The texts of free functions, under the context of the class they serve.
struct Text {
    Q_DECLARE_TR_FUNCTIONS(kv::review::DayActivity)
};

bool moving(record::JournalFate fate) {
    return fate == record::JournalFate::Movement || fate == record::JournalFate::PreRecord ||
           fate == record::JournalFate::PostRecord;
}

// Size and last change of a file, not through a link; false when missing.
bool lookAt(const QString& path, qint64* size, qint64* modified_ns) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return false;
    }
    *size = qint64(st.st_size);
    *modified_ns = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

std::shared_ptr<const RecordingData> readRecording(const QString& path, const DayCache::Key& key) {
    auto data = std::make_shared<RecordingData>();
    data->key = key;
    const film::AviFrames avi = film::readAviFrames(path);
    if (!avi.ok || avi.frames.empty()) {
        // An empty file, or one with its headers only, is a recording just begun.
        if (key.size_bytes > 0 && !(avi.ok && !avi.indexed)) {
            data->warnings << Text::tr("%1 skipped: %2")
                                  .arg(path, avi.ok ? Text::tr("no whole frame") : avi.error);
        }
        return data;
    }
    int bad = 0;
    const std::vector<record::JournalLine> journal =
        record::readJournal(record::journalPath(path), &bad, qint64(avi.frames.size()));
    data->frames = qint64(avi.frames.size());
    if (!avi.indexed && !journal.empty()) {
        // Being written or cut off: the journal's last line is the last frame known whole.
        data->frames = std::min(data->frames, journal.back().frame + 1);
    }
    if (!record::fileClock(path, data->frames, avi.frameDuration_us, &data->clock)) {
        data->warnings << Text::tr("%1 skipped: %2").arg(path, Text::tr("gone meanwhile"));
        return data;
    }
    data->lines.reserve(journal.size());
    for (const record::JournalLine& line : journal) {
        if (line.frame >= 0 && line.frame < data->frames) {
            data->lines.push_back({line.time.toMSecsSinceEpoch(), line.frame, line.motion,
                                   line.trigger, line.fate, false});
        }
    }
    const std::vector<qint64> starts = record::movementStarts(journal);
    std::size_t s = 0;
    for (Line& line : data->lines) {
        while (s < starts.size() && starts[s] < line.frame) {
            ++s;
        }
        line.movementStart = s < starts.size() && starts[s] == line.frame;
    }
    // A torn last line is how a recording being written (or killed) ends.
    const int expectedBad = avi.indexed ? 0 : 1;
    const qint64 header = qint64(std::strlen(record::kJournalHeader));
    if (data->lines.empty() && key.journalSize_bytes > header) {
        data->warnings << Text::tr("%1: its journal cannot be read; shown from its file times")
                              .arg(record::journalPath(path));
    } else if (bad > expectedBad) {
        data->warnings << Text::tr("%1: %2 damaged journal lines skipped")
                              .arg(record::journalPath(path))
                              .arg(bad);
    }
    data->ok = true;
    return data;
}

// The first frame of [0, frames) that the clock times at or after t.
qint64 firstAtOrAfter(const record::FileClock& clock, qint64 frames, qint64 t_ms) {
    qint64 lo = 0;
    qint64 hi = frames;
    while (lo < hi) {
        const qint64 mid = lo + (hi - lo) / 2;
        if (clock.at(mid) < t_ms) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

// A recording's part of the day, before the recordings are put in order.
struct Part {
    std::shared_ptr<const RecordingData> data;
    DayRecording recording;
    std::vector<std::size_t> lines;  // into data->lines, those of the day
};

}  // namespace

// --- DayCache

struct DayCache::Impl {
    struct Entry {
        std::shared_ptr<const RecordingData> data;
        std::list<QString>::iterator used;
    };
    mutable std::mutex mutex;
    qint64 maxFrames = 0;
    qint64 frames = 0;
    qint64 reads = 0;
    std::unordered_map<QString, Entry> entries;
    mutable std::list<QString> recency;  // most recently used first

    static qint64 weight(const RecordingData& d) { return qint64(d.lines.size()) + 1; }
};

DayCache::DayCache(qint64 maxFrames) : d_(std::make_unique<Impl>()) {
    d_->maxFrames = maxFrames;
}

DayCache::~DayCache() = default;

void DayCache::clear() {
    const std::lock_guard lock(d_->mutex);
    d_->entries.clear();
    d_->recency.clear();
    d_->frames = 0;
}

qint64 DayCache::frames() const {
    const std::lock_guard lock(d_->mutex);
    return d_->frames;
}

qint64 DayCache::reads() const {
    const std::lock_guard lock(d_->mutex);
    return d_->reads;
}

void DayCache::countRead() {
    const std::lock_guard lock(d_->mutex);
    ++d_->reads;
}

std::shared_ptr<const RecordingData> DayCache::find(const QString& path, const Key& key) const {
    const std::lock_guard lock(d_->mutex);
    const auto it = d_->entries.find(path);
    if (it == d_->entries.end() || !(it->second.data->key == key)) {
        return nullptr;
    }
    d_->recency.splice(d_->recency.begin(), d_->recency, it->second.used);
    return it->second.data;
}

void DayCache::insert(const QString& path, std::shared_ptr<const RecordingData> data) {
    const std::lock_guard lock(d_->mutex);
    const auto it = d_->entries.find(path);
    if (it != d_->entries.end()) {
        d_->frames -= Impl::weight(*it->second.data);
        d_->recency.erase(it->second.used);
        d_->entries.erase(it);
    }
    d_->frames += Impl::weight(*data);
    d_->recency.push_front(path);
    d_->entries.emplace(path, Impl::Entry{std::move(data), d_->recency.begin()});
    // The one just read stays, however large.
    while (d_->frames > d_->maxFrames && d_->recency.size() > 1) {
        const auto old = d_->entries.find(d_->recency.back());
        d_->frames -= Impl::weight(*old->second.data);
        d_->entries.erase(old);
        d_->recency.pop_back();
    }
}

// --- DayActivity

std::optional<DayFrame> DayActivity::nearest(qint64 t_ms) const {
    std::optional<DayFrame> best;
    qint64 bestDistance = 0;
    const auto consider = [&](const DayFrame& f) {
        const qint64 distance = std::abs(f.time_ms - t_ms);
        if (!best || distance < bestDistance) {
            best = f;
            bestDistance = distance;
        }
    };
    const auto at = std::lower_bound(frames.begin(), frames.end(), t_ms,
                                     [](const DayFrame& f, qint64 t) { return f.time_ms < t; });
    if (at != frames.begin()) {
        consider(*std::prev(at));
    }
    if (at != frames.end()) {
        consider(*at);
    }
    for (std::size_t r = 0; r < recordings.size(); ++r) {
        const DayRecording& rec = recordings[r];
        if (rec.journal || rec.endInDay <= rec.firstInDay) {
            continue;
        }
        const qint64 f = std::clamp(firstAtOrAfter(rec.clock, rec.endInDay, t_ms), rec.firstInDay,
                                    rec.endInDay - 1);
        for (const qint64 g : {f - 1, f}) {
            if (g >= rec.firstInDay) {
                consider({rec.clock.at(g), -1, 0, record::JournalFate::On, int(r), g});
            }
        }
    }
    return best;
}

std::optional<MovementSpan> DayActivity::nextMovement(qint64 t_ms, bool forward) const {
    if (forward) {
        for (const MovementSpan& m : movements) {
            if (!m.continued && m.from_ms > t_ms) {
                return m;
            }
        }
    } else {
        for (auto m = movements.rbegin(); m != movements.rend(); ++m) {
            if (!m->continued && m->from_ms < t_ms) {
                return *m;
            }
        }
    }
    return std::nullopt;
}

// --- readDay

DayActivity readDay(const FolderDays& folder, QDate day, DayCache* cache,
                    const std::atomic<bool>* cancel) {
    DayActivity out;
    out.day = day;
    out.dayStart_ms = day.startOfDay().toMSecsSinceEpoch();
    out.dayEnd_ms = day.addDays(1).startOfDay().toMSecsSinceEpoch();
    const auto listed = folder.days.find(day);
    if (listed == folder.days.end()) {
        return out;
    }
    // What the cache holds first; the rest is read on two threads, so that
    // one waits on the disk while the other parses.
    const std::vector<DayFile>& files = listed->second;
    std::vector<std::shared_ptr<const RecordingData>> read(files.size());
    std::vector<DayCache::Key> keys(files.size());
    std::vector<bool> gone(files.size(), false);
    std::vector<std::size_t> missing;
    for (std::size_t i = 0; i < files.size(); ++i) {
        DayCache::Key& key = keys[i];
        if (!lookAt(files[i].path, &key.size_bytes, &key.modified_ns)) {
            gone[i] = true;
            continue;
        }
        lookAt(record::journalPath(files[i].path), &key.journalSize_bytes, &key.journalModified_ns);
        read[i] = cache ? cache->find(files[i].path, key) : nullptr;
        if (!read[i]) {
            missing.push_back(i);
        }
    }
    const auto readSome = [&](std::size_t from, std::size_t step) {
        for (std::size_t m = from; m < missing.size() && !(cancel && cancel->load()); m += step) {
            const std::size_t i = missing[m];
            read[i] = readRecording(files[i].path, keys[i]);
            if (cache) {
                cache->countRead();
                cache->insert(files[i].path, read[i]);
            }
        }
    };
    if (missing.size() >= 8) {
        std::thread helper(readSome, 1, 2);
        readSome(0, 2);
        helper.join();
    } else {
        readSome(0, 1);
    }

    std::vector<Part> parts;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const DayFile& file = files[i];
        if (gone[i]) {
            out.warnings << Text::tr("%1 skipped: %2").arg(file.path, Text::tr("gone meanwhile"));
            continue;
        }
        const std::shared_ptr<const RecordingData>& data = read[i];
        if (!data) {
            continue;  // cancelled
        }
        out.warnings << data->warnings;
        if (!data->ok) {
            continue;
        }
        Part part;
        part.data = data;
        DayRecording& rec = part.recording;
        rec.path = file.path;
        rec.frames = data->frames;
        rec.clock = data->clock;
        rec.journal = !data->lines.empty();
        if (rec.journal) {
            for (std::size_t i = 0; i < data->lines.size(); ++i) {
                const qint64 t = data->lines[i].time_ms;
                if (t >= out.dayStart_ms && t < out.dayEnd_ms) {
                    part.lines.push_back(i);
                }
            }
            if (part.lines.empty()) {
                continue;  // listed by its times, but nothing of it on this day
            }
            rec.from_ms = rec.to_ms = data->lines[part.lines.front()].time_ms;
            for (const std::size_t i : part.lines) {
                rec.from_ms = std::min(rec.from_ms, data->lines[i].time_ms);
                rec.to_ms = std::max(rec.to_ms, data->lines[i].time_ms);
            }
            rec.firstInDay = data->lines[part.lines.front()].frame;
            rec.endInDay = data->lines[part.lines.back()].frame + 1;
        } else {
            rec.firstInDay = firstAtOrAfter(data->clock, data->frames, out.dayStart_ms);
            rec.endInDay = firstAtOrAfter(data->clock, data->frames, out.dayEnd_ms);
            if (rec.firstInDay >= rec.endInDay) {
                continue;
            }
            rec.from_ms = data->clock.at(rec.firstInDay);
            rec.to_ms = data->clock.at(rec.endInDay - 1);
        }
        parts.push_back(std::move(part));
    }
    std::stable_sort(parts.begin(), parts.end(), [](const Part& a, const Part& b) {
        return a.recording.from_ms < b.recording.from_ms;
    });

    std::vector<bool> starts;
    for (std::size_t r = 0; r < parts.size(); ++r) {
        out.recordings.push_back(parts[r].recording);
        for (const std::size_t i : parts[r].lines) {
            const Line& line = parts[r].data->lines[i];
            out.frames.push_back(
                {line.time_ms, line.motion, line.trigger, line.fate, int(r), line.frame});
            starts.push_back(line.movementStart);
        }
    }
    const auto byTime = [](const DayFrame& a, const DayFrame& b) { return a.time_ms < b.time_ms; };
    if (!std::is_sorted(out.frames.begin(), out.frames.end(), byTime)) {
        // A clock set back, or recordings that overlap: order by time, the
        // start marks going along.
        std::vector<std::size_t> order(out.frames.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = i;
        }
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return out.frames[a].time_ms < out.frames[b].time_ms;
        });
        std::vector<DayFrame> frames;
        std::vector<bool> marks;
        frames.reserve(order.size());
        for (const std::size_t i : order) {
            frames.push_back(out.frames[i]);
            marks.push_back(starts[i]);
        }
        out.frames = std::move(frames);
        starts = std::move(marks);
    }

    // Movements: runs of frames recorded by movement within one recording,
    // each begun by a movement start (or carried over from before).
    bool open = false;
    for (std::size_t i = 0; i < out.frames.size(); ++i) {
        const DayFrame& f = out.frames[i];
        if (!moving(f.fate)) {
            open = false;
            continue;
        }
        if (open && !starts[i] && out.frames[i - 1].recording == f.recording) {
            out.movements.back().to_ms = f.time_ms;
            continue;
        }
        out.movements.push_back({f.time_ms, f.time_ms, i, !starts[i]});
        open = true;
    }
    if (!out.frames.empty()) {
        out.trigger = out.frames.back().trigger;
    }
    for (const QString& w : out.warnings) {
        qCWarning(lcDay).noquote() << w;
    }
    return out;
}

std::vector<int> columnPeaks(const std::vector<DayFrame>& frames, qint64 from_ms, qint64 to_ms,
                             int columns) {
    std::vector<int> peak(std::size_t(std::max(columns, 0)), -1);
    if (columns <= 0 || to_ms <= from_ms) {
        return peak;
    }
    const auto first = std::lower_bound(frames.begin(), frames.end(), from_ms,
                                        [](const DayFrame& f, qint64 t) { return f.time_ms < t; });
    const double perColumn = double(to_ms - from_ms) / columns;
    for (auto f = first; f != frames.end() && f->time_ms < to_ms; ++f) {
        const auto c =
            std::size_t(std::clamp(int(double(f->time_ms - from_ms) / perColumn), 0, columns - 1));
        peak[c] = std::max(peak[c], f->motion);
    }
    return peak;
}

}  // namespace kv::review

#include "record/record_files.h"

#include "record/avi_repair.h"
#include "record/disk_sync.h"
#include "record/journal.h"

#include <QCollator>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace kv::record {

namespace {

Q_LOGGING_CATEGORY(lcFiles, "kv.record.files", QtInfoMsg)

// Indexed by the day of the week, Sunday = 0.
constexpr std::array<const char*, 7> kWeekdayCodes = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

constexpr int kLastSequence = 99;

// AVIPath + name lands in the folder up to AVIPath's last separator; what
// follows that separator begins every file name.
struct Location {
    QString folder;  // empty when AVIPath names no folder
    QString prefix;
};

Location locate(const QString& aviPath) {
    const qsizetype sep = aviPath.lastIndexOf(u'/');
    if (sep < 0) {
        return {};
    }
    return {aviPath.left(sep + 1), aviPath.mid(sep + 1)};
}

struct FoundFile {
    QString name;  // the part after AVIPath, in its real letter case
    qint64 size_bytes = 0;
    qint64 modified_ms = 0;
};

// Runs work(begin, end) over [0, n), split over a few threads when n is
// large: a year of recordings is 100,000 files, and one lstat each is most of
// listing them.
void inParallel(std::size_t n, const std::function<void(std::size_t, std::size_t)>& work) {
    const std::size_t threads =
        n < 8192 ? 1 : std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
    std::vector<std::thread> helpers;
    const std::size_t chunk = (n + threads - 1) / threads;
    for (std::size_t t = 1; t < threads; ++t) {
        helpers.emplace_back(work, std::min(n, t * chunk), std::min(n, (t + 1) * chunk));
    }
    work(0, std::min(n, chunk));
    for (std::thread& h : helpers) {
        h.join();
    }
}

// Every "*.avi" in the folder that the program may number, count and delete:
// regular files of this user only. Directories, hidden files, symbolic links
// (which may lead out of the folder) and special files are skipped. Read with
// readdir and one lstat per matching name: QFileInfo costs several times that.
QList<FoundFile> findRecordings(const QString& aviPath) {
    QList<FoundFile> found;
    const Location where = locate(aviPath);
    if (where.folder.isEmpty()) {
        qCWarning(lcFiles) << "The recording folder" << aviPath << "names no folder";
        return found;
    }
    DIR* dir = ::opendir(QFile::encodeName(where.folder).constData());
    if (!dir) {
        return found;
    }
    struct Candidate {
        QByteArray raw;
        bool ok = false;
        qint64 size_bytes = 0;
        qint64 modified_ms = 0;
    };
    std::vector<Candidate> candidates;
    const QByteArray prefix = QFile::encodeName(where.prefix);
    while (const struct dirent* entry = ::readdir(dir)) {
        const char* raw = entry->d_name;
        const std::size_t length = std::strlen(raw);
        // Cheap tests first: most names in a recording folder are journals.
        if (raw[0] == '.' || length < std::size_t(prefix.size()) + 4 ||
            ::strcasecmp(raw + length - 4, ".avi") != 0 ||
            std::memcmp(raw, prefix.constData(), std::size_t(prefix.size())) != 0 ||
            (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN)) {
            continue;
        }
        candidates.push_back({QByteArray(raw, qsizetype(length))});
    }
    const int dirFd = ::dirfd(dir);
    const uint me = ::geteuid();
    inParallel(candidates.size(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            Candidate& c = candidates[i];
            struct stat st {};
            c.ok = ::fstatat(dirFd, c.raw.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                   S_ISREG(st.st_mode) && st.st_uid == me;
            c.size_bytes = qint64(st.st_size);
            c.modified_ms = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
        }
    });
    ::closedir(dir);
    found.reserve(qsizetype(candidates.size()));
    for (const Candidate& c : candidates) {
        const QString fileName = QFile::decodeName(c.raw);
        if (c.ok && fileName.startsWith(where.prefix) &&
            fileName.size() >= where.prefix.size() + 4) {
            found.append({fileName.mid(where.prefix.size()), c.size_bytes, c.modified_ms});
        }
    }
    return found;
}

// Ascending, locale-aware, ignoring letter case; names equal but for case keep
// a fixed order between them.
class NameOrder {
  public:
    NameOrder() { collator_.setCaseSensitivity(Qt::CaseInsensitive); }
    bool operator()(const QString& a, const QString& b) const {
        const int c = collator_.compare(a, b);
        return c != 0 ? c < 0 : a < b;
    }

  private:
    QCollator collator_;
};

// A piece of a name as a number: decimal digits only, so a sign or blank
// cannot make a negative or odd sequence.
bool parseDigits(const QString& piece, int* value) {
    if (piece.isEmpty()) {
        return false;
    }
    int v = 0;
    for (const QChar c : piece) {
        if (c < u'0' || c > u'9') {
            return false;
        }
        v = v * 10 + (c.unicode() - u'0');
    }
    *value = v;
    return true;
}

QString sequenceName(const QString& stem, int sequence) {
    return stem + QString::asprintf("%.2d", sequence) + u".avi"_s;
}

// "NAME.avi" to "NAME.csv": the journal that would be made beside it.
QString journalName(const QString& name) {
    return name.left(name.size() - 4) + u".csv"_s;
}

// Whether a new recording would meet something already there: any entry of the
// folder, compared ignoring case since the folder may lie on a disk that
// ignores case, or a dangling link that would lead the writer elsewhere.
class TakenNames {
  public:
    explicit TakenNames(const QString& aviPath) : aviPath_(aviPath) {
        const Location where = locate(aviPath);
        const QDir dir(where.folder.isEmpty() ? u"."_s : where.folder);
        const QStringList names =
            dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& n : names) {
            names_.insert(n.toCaseFolded());
        }
        prefix_ = where.folder.isEmpty() ? aviPath : where.prefix;
    }
    // The recording's name, or its journal's, is taken.
    bool contains(const QString& name) const { return has(name) || has(journalName(name)); }

  private:
    bool has(const QString& name) const {
        if (names_.contains((prefix_ + name).toCaseFolded())) {
            return true;
        }
        const QFileInfo info(aviPath_ + name);
        return info.exists() || info.isSymLink();
    }

  private:
    QString aviPath_;
    QString prefix_;
    QSet<QString> names_;
};

// The computed name, or when that exists the next free sequence number of the
// day, or past 99 the last one with a suffix: never an existing recording.
QString freeName(const QString& aviPath, const QString& stem, int sequence) {
    const TakenNames taken(aviPath);
    for (int s = sequence; s <= kLastSequence; ++s) {
        const QString name = sequenceName(stem, s);
        if (!taken.contains(name)) {
            if (s != sequence) {
                qCWarning(lcFiles) << "Recording" << sequenceName(stem, sequence)
                                   << "exists already; the new one is" << name;
            }
            return name;
        }
    }
    const QString base = stem + QString::number(kLastSequence);
    for (int n = 2;; ++n) {
        const QString name = base + u'_' + QString::number(n) + u".avi"_s;
        if (!taken.contains(name)) {
            qCWarning(lcFiles) << "No sequence number of the day is left after"
                               << QString::asprintf("%.2d", std::min(sequence, kLastSequence))
                               << "; the new recording is" << name;
            return name;
        }
    }
}

}  // namespace

QString recordingFolder(const QString& aviPath) {
    if (aviPath.isEmpty() || aviPath.endsWith(u'/')) {
        return aviPath;
    }
    const QFileInfo info(aviPath);
    if (info.isDir() || (!info.exists() && !info.isSymLink())) {
        return aviPath + u'/';
    }
    return aviPath;
}

bool ensureRecordingFolder(const QString& aviPath, QString* error) {
    const Location where = locate(aviPath);
    const auto fail = [&](const QString& why) {
        if (error) {
            *error = why;
        }
        return false;
    };
    if (where.folder.isEmpty()) {
        return fail(u"\"%1\" names no folder"_s.arg(aviPath));
    }
    if (QFileInfo(where.folder).isDir()) {
        return true;
    }
    if (!QDir().mkpath(where.folder)) {
        return fail(u"the folder \"%1\" cannot be created"_s.arg(where.folder));
    }
    qCInfo(lcFiles).noquote() << "Created the recording folder" << where.folder;
    return true;
}

bool isRecordingName(const QString& fileName) {
    static const QRegularExpression pattern(
        u"^[0-9]{6}_(SU|MO|TU|WE|TH|FR|SA)[0-9]{2}(_[0-9]+)?\\.avi$"_s,
        QRegularExpression::CaseInsensitiveOption);
    return pattern.match(fileName).hasMatch();
}

QString NewRecordFileName(const QString& aviPath, const media::Clock& clock) {
    const QDate today = clock.now().date();
    if (!today.isValid()) {
        qCWarning(lcFiles) << "The clock gives no date to name a recording by";
        return {};
    }
    if (today.year() < 2000 || today.year() > 2099) {
        qCWarning(lcFiles) << "The date" << today.toString(Qt::ISODate)
                           << "lies outside 2000-2099: recording names no longer sort by date";
    }
    const int yy = (today.year() % 100 + 100) % 100;
    const QString datePrefix = QString::asprintf("%.2d%.2d%.2d", yy, today.month(), today.day());
    const int weekday = today.dayOfWeek() % 7;  // Qt counts Monday 1 .. Sunday 7
    const QString stem = datePrefix + u'_' + QLatin1String(kWeekdayCodes[weekday]);

    QStringList work;
    int unused = 0;
    for (const FoundFile& f : findRecordings(aviPath)) {
        if (parseDigits(f.name.left(6), &unused) && parseDigits(f.name.mid(9, 2), &unused)) {
            work.append(f.name);
        }
    }
    std::sort(work.begin(), work.end(), NameOrder());

    int sequence = 0;
    if (!work.isEmpty() && work.last().left(6) == datePrefix) {
        int last = 0;
        parseDigits(work.last().mid(9, 2), &last);
        sequence = last + 1;
    }
    return aviPath + freeName(aviPath, stem, sequence);
}

void ListRecordFiles(const QString& aviPath, QList<RecordFileEntry>& list) {
    list.clear();
    const QList<FoundFile> found = findRecordings(aviPath);
    // The order of NameOrder, by sort keys made once per name: comparing with
    // the collator costs a quarter of a second on 100,000 names.
    std::vector<RecordFileEntry> entries;
    entries.reserve(std::size_t(found.size()));
    for (const FoundFile& f : found) {
        entries.push_back({aviPath + f.name, f.size_bytes, f.modified_ms});
    }
    // By the name alone, AVIPath being common to all; folded first: in the C
    // locale a sort key keeps letter case even when the collator's comparison
    // ignores it. A collator per thread: one is not to be shared.
    std::vector<std::optional<QCollatorSortKey>> keys(entries.size());
    inParallel(keys.size(), [&](std::size_t begin, std::size_t end) {
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        for (std::size_t i = begin; i < end; ++i) {
            keys[i] = collator.sortKey(found[qsizetype(i)].name.toCaseFolded());
        }
    });
    std::vector<std::size_t> order(entries.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const int c = keys[a]->compare(*keys[b]);
        return c != 0 ? c < 0 : entries[a].path < entries[b].path;
    });
    list.reserve(qsizetype(entries.size()));
    for (const std::size_t i : order) {
        list.append(std::move(entries[i]));
    }
}

QDate recordingDate(const QString& name) {
    const QString fileName = name.mid(name.lastIndexOf(u'/') + 1);
    int digits = 0;
    if (fileName.size() < 6 || !parseDigits(fileName.left(6), &digits)) {
        return {};
    }
    return QDate(2000 + digits / 10000, digits / 100 % 100, digits % 100);
}

bool fileClock(const QString& path, qint64 frames, qint64 frameDuration_us, FileClock* clock) {
    struct statx st {};
    if (::statx(AT_FDCWD, QFile::encodeName(path).constData(), AT_SYMLINK_NOFOLLOW,
                STATX_MTIME | STATX_BTIME, &st) != 0) {
        return false;
    }
    const auto ms = [](const struct statx_timestamp& t) {
        return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
    };
    const qint64 end_ms = ms(st.stx_mtime);
    const double spread = double(std::max<qint64>(frames - 1, 1));
    const QDate named = recordingDate(path);
    // The recorder creates the file as the recording starts, so its birth
    // time is the first frame's, however sparsely frames came after (time
    // lapse, movement): the AVI's own rate is the playback rate and says
    // nothing of that. Only when the birth time fits the name (a copy is born
    // later) and the last change; otherwise the frames count back from the
    // last change at the playback rate, as far as the named day allows.
    if (st.stx_mask & STATX_BTIME) {
        const qint64 birth_ms = ms(st.stx_btime);
        if (birth_ms <= end_ms &&
            (!named.isValid() || QDateTime::fromMSecsSinceEpoch(birth_ms).date() == named)) {
            *clock = {birth_ms, double(end_ms - birth_ms) / spread};
            return true;
        }
    }
    *clock = {end_ms - frames * frameDuration_us / 1000, double(frameDuration_us) / 1000.0};
    if (named.isValid()) {
        const qint64 namedStart_ms = named.startOfDay().toMSecsSinceEpoch();
        if (clock->start_ms < namedStart_ms && namedStart_ms <= end_ms) {
            *clock = {namedStart_ms, double(end_ms - namedStart_ms) / spread};
        }
    }
    return true;
}

namespace {

qint64 mtimeOf(const struct stat& st) {
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

}  // namespace

QuotaResult DiskQuota::EnforceDiskQuota(const QString& aviPath, int maxDiskspace_mb,
                                        const QString& playbackFileName,
                                        const QString& writingFileName) {
    QuotaResult result;
    int limit_mb = maxDiskspace_mb;
    if (limit_mb <= 0) {
        // 0 or less would delete every recording as soon as it is finished.
        if (refusedLimit_ != maxDiskspace_mb) {
            refusedLimit_ = maxDiskspace_mb;
            qCWarning(lcFiles) << "Disk quota: a limit of" << maxDiskspace_mb
                               << "MB is refused; the default of" << kDefault_mb << "MB applies";
        }
        limit_mb = kDefault_mb;
    }
    result.limit_bytes = qint64(limit_mb) * 1000000;

    QList<Recording> list = findOwnRecordings(aviPath);
    // Oldest first by when they were written, not by name: a name dated by a
    // wrong clock (in the future) must not outlive the recordings after it.
    const NameOrder order;
    std::sort(list.begin(), list.end(), [&order](const Recording& a, const Recording& b) {
        return a.mtime_ns != b.mtime_ns ? a.mtime_ns < b.mtime_ns : order(a.path, b.path);
    });
    for (const Recording& r : list) {
        result.total_bytes += r.size_bytes;
    }
    const qint64 before_bytes = result.total_bytes;

    const auto same = [](const QString& a, const QString& b) {
        return !b.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
    };
    // The newest finished recording is the one last written, whatever its
    // name says: a clock set wrong makes names lie, not times.
    qsizetype newest = -1;
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (!same(list[i].path, writingFileName) &&
            (newest < 0 || list[i].mtime_ns >= list[newest].mtime_ns)) {
            newest = i;
        }
    }
    for (qsizetype i = 0; i < list.size() && result.total_bytes > result.limit_bytes; ++i) {
        const Recording& r = list[i];
        if (i == newest || same(r.path, playbackFileName) || same(r.path, writingFileName)) {
            continue;
        }
        if (!remove(r)) {
            continue;
        }
        result.total_bytes -= r.size_bytes;
        ++result.deleted;
        qCInfo(lcFiles).noquote() << "Disk quota: deleted" << r.path << "; the recordings took"
                                  << before_bytes << "bytes, the limit is" << result.limit_bytes;
    }
    result.overLimit = result.total_bytes > result.limit_bytes;
    if (result.overLimit && !overLimitTold_) {
        qCWarning(lcFiles).noquote()
            << "Disk quota: the recordings take" << result.total_bytes << "bytes, over the limit of"
            << result.limit_bytes
            << "; what is left is the newest recording, the one being written or the one in "
               "playback, and is kept";
    } else if (!result.overLimit && overLimitTold_) {
        qCInfo(lcFiles) << "Disk quota: the recordings fit again";
    }
    overLimitTold_ = result.overLimit;
    return result;
}

QList<DiskQuota::Recording> DiskQuota::findOwnRecordings(const QString& aviPath) {
    QList<Recording> found;
    const Location where = locate(aviPath);
    if (where.folder.isEmpty()) {
        return found;
    }
    const QDir dir(where.folder);
    const uint me = ::geteuid();
    QSet<QString> seen;
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& fileName : names) {
        if (!fileName.startsWith(where.prefix) ||
            !isRecordingName(fileName.mid(where.prefix.size()))) {
            continue;  // a user's own file: not ours to count, nor to tell about
        }
        const QString path = where.folder + fileName;
        seen.insert(path);
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
            continue;  // gone meanwhile
        }
        if (S_ISLNK(st.st_mode)) {
            leaveAlone(path, u"a symbolic link"_s);
        } else if (!S_ISREG(st.st_mode)) {
            leaveAlone(path, u"not a regular file"_s);
        } else if (st.st_uid != me) {
            leaveAlone(path, u"owned by another user"_s);
        } else if (st.st_nlink != 1) {
            leaveAlone(path, u"a file with %1 names (hard links)"_s.arg(st.st_nlink));
        } else {
            Recording r{aviPath + fileName.mid(where.prefix.size()), qint64(st.st_size),
                        mtimeOf(st), st.st_dev, st.st_ino};
            if (isAvi(path, r)) {
                found.append(r);
            } else {
                leaveAlone(path, u"not an AVI file"_s);
            }
        }
    }
    // What is gone is forgotten, so the cache stays the size of the folder.
    headers_.removeIf([&seen](const auto& it) { return !seen.contains(it.key()); });
    return found;
}

bool DiskQuota::isAvi(const QString& path, const Recording& file) {
    const auto cached = headers_.constFind(path);
    if (cached != headers_.cend() && cached->size_bytes == file.size_bytes &&
        cached->mtime_ns == file.mtime_ns && cached->dev == file.dev && cached->ino == file.ino) {
        return cached->avi;
    }
    bool avi = false;
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == file.dev &&
            st.st_ino == file.ino) {
            FdStorage storage(fd);
            avi = hasAviHeader(storage);
        }
        ::close(fd);
    }
    headers_.insert(path, {file.size_bytes, file.mtime_ns, file.dev, file.ino, avi});
    return avi;
}

// Deletes a recording found by findOwnRecordings(), provided the name still
// leads to that very file and no writer holds it; its journal goes with it
// under the same checks.
bool DiskQuota::remove(const Recording& file) {
    const QByteArray name = QFile::encodeName(file.path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    const bool same =
        ::fstat(fd, &st) == 0 && st.st_dev == file.dev && st.st_ino == file.ino && st.st_nlink == 1;
    // A recorder holds a lock on the file it writes or is still finishing.
    const bool idle = same && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    const bool removed = idle && ::unlink(name.constData()) == 0;
    const int error = errno;
    ::close(fd);
    if (!removed) {
        if (same && idle) {
            qCWarning(lcFiles).noquote()
                << "Disk quota: could not delete" << file.path << ":" << std::strerror(error);
        }
        return false;
    }
    headers_.remove(file.path);
    const QString journal = journalPath(file.path);
    QString why;
    if (!removeOwnFile(journal, &why)) {
        leaveAlone(journal, why);
    }
    return true;
}

void DiskQuota::leaveAlone(const QString& path, const QString& why) {
    const QString key = path + u": "_s + why;
    if (!leftAlone_.contains(key)) {
        leftAlone_.insert(key);
        qCWarning(lcFiles).noquote()
            << "Disk quota: left alone, neither counted nor deleted:" << path << "-" << why;
    }
}

namespace {

// One recording, with what happened to it logged; true when it was repaired.
AviRepairResult repairLogged(const QString& path) {
    bool busy = false;
    const AviRepairResult result = repairAviFile(QFile::encodeName(path).toStdString(), &busy);
    if (busy) {
        qCDebug(lcFiles).noquote() << path << "is being written; not checked";
        return result;
    }
    if (result.state == AviState::Repaired || result.state == AviState::RepairedWithoutIndex) {
        qCInfo(lcFiles).noquote() << "Unfinished recording" << path << aviStateName(result.state)
                                  << ":" << result.frames << "frames kept," << result.cutBytes
                                  << "torn bytes cut";
    }
    // A kill can leave the journal a line or two ahead of its recording, a
    // power cut a few behind. A file the muxer finished got its last line
    // before its end: its journal is not read, so a start over a full folder
    // stays quick.
    if (result.state == AviState::Repaired || result.state == AviState::RepairedWithoutIndex) {
        matchJournal(journalPath(path), qint64(result.frames));
    } else if (result.state == AviState::NotUnderstood || result.state == AviState::Failed) {
        qCWarning(lcFiles).noquote()
            << "Recording" << path << "left as it is:" << aviStateName(result.state) << "-"
            << QString::fromStdString(result.reason);
    }
    return result;
}

}  // namespace

RepairSummary repairRecordings(const QString& aviPath) {
    RepairSummary summary;
    QList<RecordFileEntry> list;
    ListRecordFiles(aviPath, list);
    for (const RecordFileEntry& entry : list) {
        if (!isRecordingName(entry.path.mid(aviPath.size()))) {
            continue;  // a user's own video is never changed
        }
        const AviRepairResult result = repairLogged(entry.path);
        switch (result.state) {
            case AviState::Repaired:
            case AviState::RepairedWithoutIndex:
                ++summary.repaired;
                break;
            case AviState::NoFrames:
                // Killed before its first frame: no player opens it. The
                // repair checked it is a file of ours; the journal is checked
                // the same way.
                if (removeOwnFile(entry.path)) {
                    QString why;
                    if (!removeOwnFile(journalPath(entry.path), &why)) {
                        qCWarning(lcFiles).noquote()
                            << "journal" << journalPath(entry.path) << "left as it is:" << why;
                    }
                    qCInfo(lcFiles).noquote() << entry.path << "had no frame and is removed";
                    ++summary.removed;
                }
                break;
            case AviState::NotUnderstood:
            case AviState::Failed:
                ++summary.leftAlone;
                break;
            default:
                break;
        }
    }
    return summary;
}

void repairBeforePlayback(const QString& path) {
    if (isRecordingName(QFileInfo(path).fileName())) {
        repairLogged(path);
    }
}

}  // namespace kv::record

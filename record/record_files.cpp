#include "record/record_files.h"

#include "record/avi_repair.h"
#include "record/journal.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <unistd.h>

#include <algorithm>
#include <array>

using namespace Qt::Literals::StringLiterals;

namespace kv::record {

namespace {

Q_LOGGING_CATEGORY(lcFiles, "kv.record")

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
};

// Every "*.avi" in the folder that the program may number, count and delete:
// regular files of this user only. Directories, hidden files, symbolic links
// (which may lead out of the folder) and special files are skipped.
QList<FoundFile> findRecordings(const QString& aviPath) {
    QList<FoundFile> found;
    const Location where = locate(aviPath);
    if (where.folder.isEmpty()) {
        qCWarning(lcFiles) << "The recording folder" << aviPath << "names no folder";
        return found;
    }
    const QDir dir(where.folder);
    const uint me = ::geteuid();
    const QFileInfoList infos = dir.entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::NoSort);
    for (const QFileInfo& info : infos) {
        const QString fileName = info.fileName();
        if (!fileName.startsWith(where.prefix) ||
            !fileName.endsWith(u".avi"_s, Qt::CaseInsensitive) ||
            fileName.size() < where.prefix.size() + 4) {
            continue;
        }
        if (fileName.startsWith(u'.') || info.isSymLink() || !info.isFile() ||
            info.ownerId() != me) {
            continue;
        }
        found.append({fileName.mid(where.prefix.size()), info.size()});
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
    bool contains(const QString& name) const {
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
    for (const FoundFile& f : findRecordings(aviPath)) {
        list.append({aviPath + f.name, f.size_bytes});
    }
    const NameOrder order;
    std::sort(list.begin(), list.end(),
              [&order](const RecordFileEntry& a, const RecordFileEntry& b) {
                  return order(a.path, b.path);
              });
}

bool EnforceDiskQuota(const QString& aviPath, int maxDiskspace_mb,
                      const QString& playbackFileName) {
    QList<RecordFileEntry> list;
    ListRecordFiles(aviPath, list);
    list.removeIf([&aviPath](const RecordFileEntry& e) {
        return !isRecordingName(e.path.mid(aviPath.size()));
    });
    double total_bytes = 0.0;
    for (const RecordFileEntry& e : list) {
        total_bytes += double(e.size_bytes);
    }
    const double limit_bytes = double(maxDiskspace_mb) * 1000000.0;
    if (total_bytes <= limit_bytes) {
        return false;
    }
    qsizetype i = 0;
    while (i < list.size() && list[i].path.compare(playbackFileName, Qt::CaseInsensitive) == 0) {
        ++i;
    }
    if (i == list.size()) {
        return false;
    }
    const QString& oldest = list[i].path;
    if (!QFile::remove(oldest)) {
        qCWarning(lcFiles) << "Disk quota: could not delete" << oldest;
        return false;
    }
    QFile::remove(journalPath(oldest));  // it goes with its recording
    qCInfo(lcFiles).noquote() << "Disk quota: deleted" << oldest << "; the recordings took"
                              << qint64(total_bytes) << "bytes, the limit is"
                              << qint64(limit_bytes);
    return true;
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
    // A kill can leave the journal a line or two ahead of its recording. A file
    // the muxer finished got its last line before its end: its journal is
    // not read, so a start over a full folder stays quick.
    if (result.state == AviState::Repaired || result.state == AviState::RepairedWithoutIndex) {
        trimJournal(journalPath(path), qint64(result.frames));
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
                // Killed before its first frame: no player opens it.
                if (QFile::remove(entry.path)) {
                    QFile::remove(journalPath(entry.path));
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

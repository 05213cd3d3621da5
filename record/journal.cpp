#include "record/journal.h"

#include <QFile>
#include <QLoggingCategory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

Q_LOGGING_CATEGORY(lcJournal, "kv.record.journal", QtInfoMsg)

namespace kv::record {

namespace {

const char* fateName(JournalFate fate) {
    switch (fate) {
        case JournalFate::On:
            return "on";
        case JournalFate::Movement:
            return "movement";
        case JournalFate::PostRecord:
            return "post-record";
        case JournalFate::Still:
            return "still";
        case JournalFate::PreRecord:
            return "pre-record";
        case JournalFate::Heartbeat:
            return "heartbeat";
    }
    return "on";
}

bool parseFate(QByteArrayView text, JournalFate* fate) {
    for (const JournalFate f :
         {JournalFate::On, JournalFate::Movement, JournalFate::PostRecord, JournalFate::Still,
          JournalFate::PreRecord, JournalFate::Heartbeat}) {
        if (text == QByteArrayView(fateName(f))) {
            *fate = f;
            return true;
        }
    }
    return false;
}

// One line in any form Qt's readers take (blanks, signs, other time forms).
bool parseLine(QByteArrayView text, JournalLine* line) {
    const QList<QByteArray> fields = text.toByteArray().split(',');
    if (fields.size() != 5) {
        return false;
    }
    bool frameOk = false;
    bool motionOk = false;
    bool triggerOk = false;
    line->frame = fields[0].toLongLong(&frameOk);
    line->time = QDateTime::fromString(QString::fromLatin1(fields[1]), Qt::ISODateWithMs);
    line->motion = fields[2].toInt(&motionOk);
    line->trigger = fields[3].toInt(&triggerOk);
    return frameOk && motionOk && triggerOk && line->time.isValid() &&
           parseFate(fields[4], &line->fate);
}

// Plain decimal digits, an optional minus for signed fields; nothing else.
template <typename T>
bool plainNumber(QByteArrayView text, T* value) {
    if (text.isEmpty() || text.front() == '+') {
        return false;
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool digits(QByteArrayView text, qsizetype from, qsizetype count, int* value) {
    int v = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
qint64 daysFromCivil(int y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The time exactly as isoTime() writes it, "yyyy-MM-ddTHH:mm:ss.zzz+hh:mm",
// without QDateTime's general parser: a day's journals hold tens of
// thousands of lines. Anything else goes to that parser.
bool parseTimeFast(QByteArrayView t, QDateTime* time) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0, oh = 0, om = 0;
    if (t.size() != 29 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' ||
        t[16] != ':' || t[19] != '.' || (t[23] != '+' && t[23] != '-') || t[26] != ':' ||
        !digits(t, 0, 4, &y) || !digits(t, 5, 2, &mo) || !digits(t, 8, 2, &d) ||
        !digits(t, 11, 2, &h) || !digits(t, 14, 2, &mi) || !digits(t, 17, 2, &s) ||
        !digits(t, 20, 3, &ms) || !digits(t, 24, 2, &oh) || !digits(t, 27, 2, &om)) {
        return false;
    }
    if (!QDate::isValid(y, mo, d) || h > 23 || mi > 59 || s > 59 || oh > 14 || om > 59) {
        return false;
    }
    const int offset_s = (t[23] == '-' ? -1 : 1) * (oh * 3600 + om * 60);
    const qint64 local_ms =
        ((daysFromCivil(y, mo, d) * 24 + h) * 60 + mi) * 60000 + qint64(s) * 1000 + ms;
    // As the general parser makes it: an offset of zero reads as UTC.
    *time = QDateTime::fromMSecsSinceEpoch(local_ms - qint64(offset_s) * 1000,
                                           offset_s == 0 ? Qt::UTC : Qt::OffsetFromUTC, offset_s);
    return true;
}

// A line as the recorder writes it; false leaves it to parseLine().
bool parseLineFast(QByteArrayView text, JournalLine* line) {
    qsizetype cut[4];
    qsizetype from = 0;
    for (qsizetype& c : cut) {
        c = text.indexOf(',', from);
        if (c < 0) {
            return false;
        }
        from = c + 1;
    }
    if (text.indexOf(',', from) >= 0) {
        return false;
    }
    return plainNumber(text.first(cut[0]), &line->frame) &&
           parseTimeFast(text.sliced(cut[0] + 1, cut[1] - cut[0] - 1), &line->time) &&
           plainNumber(text.sliced(cut[1] + 1, cut[2] - cut[1] - 1), &line->motion) &&
           plainNumber(text.sliced(cut[2] + 1, cut[3] - cut[2] - 1), &line->trigger) &&
           parseFate(text.sliced(cut[3] + 1), &line->fate);
}

// Opens a journal only when it is a regular file: a link is never followed,
// and a FIFO or device is never opened at all (opening one may wait, or do
// something). False, with a log line unless the journal is missing (then fd
// is kMissing).
constexpr int kMissing = -2;
bool openRegular(const QString& path, int access, int* fd) {
    const QByteArray name = QFile::encodeName(path);
    const char* refused = nullptr;
    struct stat before {};
    struct stat st {};
    if (::lstat(name.constData(), &before) != 0) {
        if (errno == ENOENT) {
            *fd = kMissing;
            return false;
        }
        refused = std::strerror(errno);
    } else if (S_ISLNK(before.st_mode)) {
        refused = "a symbolic link";
    } else if (!S_ISREG(before.st_mode)) {
        refused = "not a regular file";
    } else if ((*fd = ::open(name.constData(), access | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)) < 0) {
        refused = std::strerror(errno);
    } else if (::fstat(*fd, &st) != 0 || st.st_dev != before.st_dev || st.st_ino != before.st_ino) {
        ::close(*fd);
        *fd = -1;
        refused = "replaced while it was opened";
    }
    if (refused) {
        qCWarning(lcJournal).noquote() << "journal" << path << "left alone:" << refused;
        return false;
    }
    return true;
}

}  // namespace

QString journalPath(const QString& recording) {
    const qsizetype dot = recording.lastIndexOf(u'.');
    const qsizetype slash = recording.lastIndexOf(u'/');
    const QString base = dot > slash ? recording.left(dot) : recording;
    return base + QStringLiteral(".csv");
}

// Local time with its offset written out, "+00:00" too (never "Z"), so that
// every line reads the same way.
QByteArray isoTime(const QDateTime& time) {
    const int offset_s = time.offsetFromUtc();
    const int minutes = std::abs(offset_s) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1() +
           (offset_s < 0 ? '-' : '+') + QByteArray::number(minutes / 60).rightJustified(2, '0') +
           ':' + QByteArray::number(minutes % 60).rightJustified(2, '0');
}

QByteArray formatJournalLine(const JournalLine& line) {
    return QByteArray::number(line.frame) + ',' + isoTime(line.time) + ',' +
           QByteArray::number(line.motion) + ',' + QByteArray::number(line.trigger) + ',' +
           fateName(line.fate) + '\n';
}

std::vector<JournalLine> parseJournal(QByteArrayView all, int* badLines) {
    std::vector<JournalLine> lines;
    int bad = 0;
    qsizetype at = all.indexOf('\n');  // past the header
    while (at >= 0 && at + 1 < all.size()) {
        const qsizetype end = all.indexOf('\n', at + 1);
        if (end < 0) {
            ++bad;  // torn: no end of line
            break;
        }
        const QByteArrayView text = all.sliced(at + 1, end - at - 1);
        at = end;
        JournalLine line;
        if (parseLineFast(text, &line) || parseLine(text, &line)) {
            lines.push_back(line);
        } else {
            ++bad;
        }
    }
    if (badLines) {
        *badLines = bad;
    }
    return lines;
}

std::vector<JournalLine> readJournal(const QString& path, int* badLines, qint64 frames) {
    if (badLines) {
        *badLines = 0;
    }
    int fd = -1;
    if (!openRegular(path, O_RDONLY, &fd)) {
        return {};
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return {};
    }
    const qint64 limit = frames >= 0 ? (frames + 1) * kJournalLineMax : kJournalReadMax_bytes;
    if (st.st_size > limit) {
        qCWarning(lcJournal).noquote()
            << "journal" << path << "holds" << qint64(st.st_size)
            << "bytes, more than its recording can have; only the first" << limit << "are read";
    }
    QByteArray all(qsizetype(std::min<qint64>(st.st_size, limit)), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < all.size()) {
        const ssize_t n = ::read(fd, all.data() + got, size_t(all.size() - got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;  // shrunk meanwhile, or unreadable: what was read counts
        }
        got += n;
    }
    ::close(fd);
    all.truncate(got);
    return parseJournal(all, badLines);
}

QDateTime frameTakenAt(const std::vector<JournalLine>& journal, qint64 frame,
                       const QDateTime& start, qint64 offset_ms) {
    if (frame >= 0 && frame < qint64(journal.size()) &&
        journal[std::size_t(frame)].frame == frame) {
        return journal[std::size_t(frame)].time;
    }
    return start.addMSecs(std::max<qint64>(offset_ms, 0));
}

namespace {
// The usual time between two frames: the median of the gaps forward in
// time (a clock stepped back makes no gap); 0 without one.
qint64 usualGap_ms(const std::vector<JournalLine>& lines) {
    std::vector<qint64> gaps;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (const qint64 gap = lines[i - 1].time.msecsTo(lines[i].time); gap > 0) {
            gaps.push_back(gap);
        }
    }
    if (gaps.empty()) {
        return 0;
    }
    std::nth_element(gaps.begin(), gaps.begin() + std::ptrdiff_t(gaps.size() / 2), gaps.end());
    return gaps[gaps.size() / 2];
}
}  // namespace

std::vector<qint64> movementStarts(const std::vector<JournalLine>& lines) {
    const qint64 usual = usualGap_ms(lines);
    std::vector<qint64> starts;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const JournalFate fate = lines[i].fate;
        const JournalFate before = i > 0 ? lines[i - 1].fate : JournalFate::On;
        // Frames kept from before a movement open it: it starts at the first of them.
        if (fate == JournalFate::PreRecord) {
            if (before != JournalFate::PreRecord) {
                starts.push_back(lines[i].frame);
            }
            continue;
        }
        if (fate != JournalFate::Movement) {
            continue;
        }
        const bool after =
            i > 0 && (before == JournalFate::Movement || before == JournalFate::PostRecord ||
                      before == JournalFate::PreRecord);
        const bool pause = i > 0 && lines[i - 1].time.msecsTo(lines[i].time) > 3 * usual + 1000;
        if (!after || pause) {
            starts.push_back(lines[i].frame);
        }
    }
    return starts;
}

bool trimJournalFile(int fd, qint64 frames, const QString& name) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        qCWarning(lcJournal).noquote() << "journal" << name << "not cut: not a regular file";
        return false;
    }
    // The end of the header and of each whole line after it, up to `frames`
    // lines, found reading block by block: nothing is held but one block,
    // and no more is read than that many lines can fill.
    const qint64 wanted = std::max<qint64>(frames, 0) + 1;
    const qint64 limit = std::min<qint64>(qint64(st.st_size), wanted * kJournalLineMax);
    qint64 keep = -1;  // one past the last newline kept
    qint64 found = 0;
    std::vector<char> block(64 * 1024);
    for (qint64 pos = 0; pos < limit && found < wanted;) {
        const ssize_t n =
            ::pread(fd, block.data(), size_t(std::min<qint64>(qint64(block.size()), limit - pos)),
                    off_t(pos));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        for (ssize_t i = 0; i < n && found < wanted; ++i) {
            if (block[std::size_t(i)] == '\n') {
                ++found;
                keep = pos + i + 1;
            }
        }
        pos += n;
    }
    if (keep < 0 || keep >= qint64(st.st_size)) {
        return true;  // not even a header, or nothing beyond the frames
    }
    if (found < wanted && limit < qint64(st.st_size)) {
        // Longer lines than the recorder writes (an edit by hand): what is
        // past the bound may be frames, so nothing is cut.
        qCWarning(lcJournal).noquote()
            << "journal" << name << "not cut: its lines are longer than the recorder writes";
        return true;
    }
    if (::ftruncate(fd, off_t(keep)) != 0) {
        qCWarning(lcJournal).noquote()
            << "cannot cut the journal" << name << ":" << std::strerror(errno);
        return false;
    }
    qCInfo(lcJournal).noquote() << "journal" << name << "cut to" << frames << "frames";
    return true;
}

bool completeJournalFile(int fd, qint64 frames, const QString& name) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    // The last lines tell where the journal stopped and how its frames were spaced.
    constexpr qint64 kTailLines = 16;
    const qint64 from = std::max<qint64>(0, qint64(st.st_size) - kTailLines * kJournalLineMax);
    QByteArray tail(qsizetype(qint64(st.st_size) - from), Qt::Uninitialized);
    if (::pread(fd, tail.data(), size_t(tail.size()), off_t(from)) != tail.size()) {
        return false;
    }
    if (!tail.endsWith('\n')) {
        return true;  // a torn line the cut left alone: nothing is added after it
    }
    // parseJournal() passes over the first line: the header, or a piece of a line.
    const std::vector<JournalLine> last = parseJournal(tail);
    if (last.empty()) {
        return true;  // no line to go on
    }
    const JournalLine& end = last.back();
    if (end.frame < 0 || end.frame >= frames - 1) {
        return true;  // none missing, or numbered by someone else
    }
    const qint64 missing = frames - 1 - end.frame;
    if (missing > kJournalCompleteMax) {
        qCWarning(lcJournal).noquote() << "journal" << name << "lacks" << missing
                                       << "lines, too many to estimate; left as it is";
        return true;
    }
    qint64 gap = usualGap_ms(last);
    if (gap <= 0) {
        gap = 1000;  // the default interval, when the lines do not show one
    }
    QByteArray text;
    JournalLine line = end;
    for (qint64 i = 0; i < missing; ++i) {
        ++line.frame;
        line.time = line.time.addMSecs(gap);
        if (!line.time.isValid() || line.time.date().year() > 9999) {
            return true;  // past any date a journal can say: nothing is added
        }
        text += formatJournalLine(line);
    }
    qsizetype written = 0;
    while (written < text.size()) {
        const ssize_t n = ::pwrite(fd, text.constData() + written, size_t(text.size() - written),
                                   off_t(st.st_size + written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // A full disk: no half line stays behind.
            qCWarning(lcJournal).noquote()
                << "cannot complete the journal" << name << ":" << std::strerror(errno);
            if (::ftruncate(fd, st.st_size) != 0) {
                qCWarning(lcJournal).noquote() << "journal" << name << "keeps a torn line";
            }
            return false;
        }
        written += n;
    }
    qCInfo(lcJournal).noquote() << "journal" << name << "lacked the last" << missing
                                << "of its recording's frames; lines with times estimated" << gap
                                << "ms apart were added";
    return true;
}

bool matchJournal(const QString& path, qint64 frames) {
    int fd = -1;
    if (!openRegular(path, O_RDWR, &fd)) {
        return fd == kMissing;
    }
    struct stat st {};
    bool ok = false;
    if (::fstat(fd, &st) != 0) {
        qCWarning(lcJournal).noquote() << "journal" << path << "not cut:" << std::strerror(errno);
    } else if (st.st_uid != ::geteuid()) {
        qCWarning(lcJournal).noquote() << "journal" << path << "not cut: owned by another user";
    } else if (st.st_nlink != 1) {
        qCWarning(lcJournal).noquote()
            << "journal" << path << "not cut: it has" << qint64(st.st_nlink) << "names";
    } else {
        ok = trimJournalFile(fd, frames, path) && completeJournalFile(fd, frames, path);
    }
    ::close(fd);
    return ok;
}

}  // namespace kv::record

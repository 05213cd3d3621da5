#include "record/journal.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>

#include <algorithm>
#include <cstdlib>

Q_LOGGING_CATEGORY(lcJournal, "kv.record.journal")

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
    }
    return "on";
}

bool parseFate(QByteArrayView text, JournalFate* fate) {
    for (const JournalFate f : {JournalFate::On, JournalFate::Movement, JournalFate::PostRecord,
                                JournalFate::Still, JournalFate::PreRecord}) {
        if (text == QByteArrayView(fateName(f))) {
            *fate = f;
            return true;
        }
    }
    return false;
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

std::vector<JournalLine> readJournal(const QString& path, int* badLines) {
    std::vector<JournalLine> lines;
    int bad = 0;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray all = file.readAll();
        qsizetype at = all.indexOf('\n');  // past the header
        while (at >= 0 && at + 1 < all.size()) {
            const qsizetype end = all.indexOf('\n', at + 1);
            if (end < 0) {
                ++bad;  // torn: no end of line
                break;
            }
            const QList<QByteArray> fields = all.mid(at + 1, end - at - 1).split(',');
            at = end;
            JournalLine line;
            bool frameOk = false;
            bool motionOk = false;
            bool triggerOk = false;
            if (fields.size() == 5) {
                line.frame = fields[0].toLongLong(&frameOk);
                line.time =
                    QDateTime::fromString(QString::fromLatin1(fields[1]), Qt::ISODateWithMs);
                line.motion = fields[2].toInt(&motionOk);
                line.trigger = fields[3].toInt(&triggerOk);
            }
            if (frameOk && motionOk && triggerOk && line.time.isValid() &&
                parseFate(fields[4], &line.fate)) {
                lines.push_back(line);
            } else {
                ++bad;
            }
        }
    }
    if (badLines) {
        *badLines = bad;
    }
    return lines;
}

std::vector<qint64> movementStarts(const std::vector<JournalLine>& lines) {
    // The usual time between two frames: the median gap.
    std::vector<qint64> gaps;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        gaps.push_back(lines[i - 1].time.msecsTo(lines[i].time));
    }
    qint64 usual = 0;
    if (!gaps.empty()) {
        std::nth_element(gaps.begin(), gaps.begin() + std::ptrdiff_t(gaps.size() / 2), gaps.end());
        usual = gaps[gaps.size() / 2];
    }
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

bool trimJournal(const QString& path, qint64 frames) {
    QFile file(path);
    if (!file.exists()) {
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray all = file.readAll();
    file.close();
    // The end of the header and of each whole line after it, up to `frames` lines.
    qsizetype keep = all.indexOf('\n');
    if (keep < 0) {
        return true;  // not even a header: nothing to cut
    }
    for (qint64 i = 0; i < frames; ++i) {
        const qsizetype next = all.indexOf('\n', keep + 1);
        if (next < 0) {
            break;
        }
        keep = next;
    }
    if (keep + 1 >= all.size()) {
        return true;  // nothing beyond the frames
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(all.left(keep + 1)) != keep + 1 ||
        !out.commit()) {
        qCWarning(lcJournal).noquote() << "cannot cut the journal" << path;
        return false;
    }
    qCInfo(lcJournal).noquote() << "journal" << path << "cut to" << frames << "frames";
    return true;
}

}  // namespace kv::record

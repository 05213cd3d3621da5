#include "fuzz/journal_check.h"

#include "record/journal.h"

#include <QString>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace kv::fuzz {

namespace {

bool sameLine(const record::JournalLine& a, const record::JournalLine& b) {
    return a.frame == b.frame && a.time == b.time && a.motion == b.motion &&
           a.trigger == b.trigger && a.fate == b.fate;
}

// The bytes in a file of their own, changed by change and read back; false
// when no such file can be made (then nothing is checked).
bool inFile(const QByteArray& text, const std::function<void(int fd)>& change, QByteArray* after) {
    const int fd = ::memfd_create("journal", MFD_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = ::write(fd, text.constData(), std::size_t(text.size())) == text.size();
    if (ok) {
        change(fd);
        after->resize(qsizetype(::lseek(fd, 0, SEEK_END)));
        ok = ::pread(fd, after->data(), std::size_t(after->size()), 0) == after->size();
    }
    ::close(fd);
    return ok;
}

}  // namespace

bool checkJournal(const std::uint8_t* data, std::size_t size, std::string* broken) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    int bad = 0;
    const std::vector<record::JournalLine> lines = record::parseJournal(text, &bad);
    const qsizetype ends = text.count('\n');
    if (qsizetype(lines.size()) + bad > std::max<qsizetype>(ends, 1)) {
        *broken = "more lines than line ends";
        return false;
    }
    for (const record::JournalLine& line : lines) {
        QByteArray again(record::kJournalHeader);
        again += record::formatJournalLine(line);
        int badAgain = 0;
        const std::vector<record::JournalLine> reread = record::parseJournal(again, &badAgain);
        if (reread.size() != 1 || badAgain != 0 || !sameLine(reread.front(), line)) {
            *broken = "a line read does not read the same once written: " +
                      again.mid(qsizetype(sizeof record::kJournalHeader) - 1).toStdString();
            return false;
        }
    }

    // Cut to a number of frames the input chooses.
    const qint64 frames = size > 0 ? qint64(data[0] % 16) : 0;
    QByteArray after;
    bool cut = false;
    if (!inFile(
            text, [&](int fd) { cut = record::trimJournalFile(fd, frames, u"fuzz"_s); }, &after)) {
        return true;
    }
    if (!cut || !text.startsWith(after)) {
        *broken = "the cut is not a prefix of the journal";
        return false;
    }
    if (after.size() < text.size() &&
        (after.isEmpty() || !after.endsWith('\n') || after.count('\n') > frames + 1)) {
        *broken = "the cut kept a torn line or more lines than frames";
        return false;
    }
    if (after.size() < text.size() && !text.contains('\n')) {
        *broken = "a journal without a header was cut";
        return false;
    }

    // Completed to more frames than it has lines: only whole, well-formed
    // lines are added after what was there, numbered on from its last.
    const qint64 more = frames + (size > 1 ? qint64(data[1] % 32) : 0);
    QByteArray completed;
    if (!inFile(
            after, [&](int fd) { record::completeJournalFile(fd, more, u"fuzz"_s); }, &completed)) {
        return true;
    }
    if (!completed.startsWith(after)) {
        *broken = "completing changed what was there";
        return false;
    }
    if (completed.size() > after.size()) {
        const QByteArray added = completed.mid(after.size());
        int badAdded = 0;
        const auto lines = record::parseJournal(record::kJournalHeader + added, &badAdded);
        const auto before = record::parseJournal(after);
        if (badAdded != 0 || qsizetype(lines.size()) != added.count('\n') || before.empty() ||
            lines.front().frame != before.back().frame + 1 || lines.back().frame != more - 1) {
            *broken = "completing added a line that is not the next frame's";
            return false;
        }
    }
    return true;
}

}  // namespace kv::fuzz

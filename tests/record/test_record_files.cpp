#include "fuzz/journal_check.h"
#include "media/clock.h"
#include "record/journal.h"
#include "record/record_files.h"
#include "tests/support/avi_writer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
#include <random>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using kv::record::DiskQuota;
using kv::record::ListRecordFiles;
using kv::record::NewRecordFileName;
using kv::record::RecordFileEntry;

namespace {

QDateTime at(int year, int month, int day) {
    return QDateTime(QDate(year, month, day), QTime(12, 0));
}

void writeFile(const QString& path, qint64 size_bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << qPrintable(path);
    ASSERT_TRUE(file.resize(size_bytes));
}

// A real recording (two raw frames through the recorder's muxer) of the
// given size: cut, or grown with zeros as a long recording would be, so that
// sizes are exact; the header stays an AVI's.
void writeRecording(const QString& path, qint64 size_bytes) {
    static const QByteArray recording = [] {
        QTemporaryDir dir;
        const QString made = dir.filePath(u"made.avi"_s);
        EXPECT_TRUE(kv::test::writeTestAvi({made, QString(), 2, 32, 24, true}));
        QFile file(made);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    ASSERT_GT(recording.size(), 12);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) << qPrintable(path);
    file.write(recording.left(size_bytes));
    ASSERT_TRUE(file.resize(size_bytes));
}

// Sets when a file was last written, seconds before now.
void setAge(const QString& path, int seconds) {
    const timespec when[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), when, AT_SYMLINK_NOFOLLOW),
              0);
}

// Every message logged while it lives, kept to count what was told.
class LogCapture {
  public:
    LogCapture() {
        messages().clear();
        previous_ = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString& text) {
                messages().append({type, text});
            });
    }
    ~LogCapture() { qInstallMessageHandler(previous_); }
    // How many messages of at least that level contain text.
    int count(const QString& text, QtMsgType level = QtInfoMsg) const {
        int n = 0;
        for (const auto& [type, message] : messages()) {
            const bool atLeast = level == QtInfoMsg || type == level || type == QtCriticalMsg;
            n += atLeast && message.contains(text) ? 1 : 0;
        }
        return n;
    }

  private:
    static QList<std::pair<QtMsgType, QString>>& messages() {
        static QList<std::pair<QtMsgType, QString>> all;
        return all;
    }
    QtMessageHandler previous_ = nullptr;
};

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One temporary recording folder; path() ends with a separator like AVIPath.
class RecordFolder {
  public:
    RecordFolder() { EXPECT_TRUE(dir_.isValid()); }
    QString path() const { return dir_.path() + u'/'; }
    QString file(const QString& name, qint64 size_bytes = 1) const {
        writeFile(path() + name, size_bytes);
        return path() + name;
    }
    // A real recording written `age` seconds ago.
    QString recording(const QString& name, qint64 size_bytes, int age = 0) const {
        writeRecording(path() + name, size_bytes);
        setAge(path() + name, age);
        return path() + name;
    }
    bool has(const QString& name) const { return QFileInfo::exists(path() + name); }
    QStringList list() const {
        QList<RecordFileEntry> entries;
        ListRecordFiles(path(), entries);
        QStringList names;
        for (const RecordFileEntry& e : entries) {
            names.append(e.path.mid(path().size()));
        }
        return names;
    }

  private:
    QTemporaryDir dir_;
};

// --- the name of the next recording --------------------------------------------

struct NameRow {
    const char* label;
    QDate today;
    std::vector<const char*> existing;
    const char* expected;
};

void PrintTo(const NameRow& row, std::ostream* os) {
    *os << row.label;
}

class NewRecordFileNameRows : public ::testing::TestWithParam<NameRow> {};

TEST_P(NewRecordFileNameRows, NamesTheNextRecording) {
    const NameRow& row = GetParam();
    RecordFolder folder;
    for (const char* name : row.existing) {
        folder.file(QString::fromUtf8(name));
    }
    kv::media::ManualClock clock;
    clock.setNow(QDateTime(row.today, QTime(23, 59, 30)));
    EXPECT_EQ(NewRecordFileName(folder.path(), clock),
              folder.path() + QString::fromUtf8(row.expected));
}

INSTANTIATE_TEST_SUITE_P(
    RecordFiles, NewRecordFileNameRows,
    ::testing::Values(
        NameRow{"EmptyFolderOnSaturday", QDate(2025, 3, 1), {}, "250301_SA00.avi"},
        NameRow{"SundayIsSU", QDate(2025, 3, 2), {}, "250302_SU00.avi"},
        NameRow{"FollowsTheHighestNumberWithoutFillingGaps",
                QDate(2025, 3, 1),
                {"250301_SA00.avi", "250301_SA07.avi"},
                "250301_SA08.avi"},
        NameRow{"NewestOfYesterdayRestartsAtZero",
                QDate(2025, 3, 1),
                {"250227_TH04.avi", "250228_FR03.avi"},
                "250301_SA00.avi"},
        NameRow{"OtherNamesAreNotNumbered", QDate(2025, 3, 1), {"notes.avi"}, "250301_SA00.avi"},
        NameRow{"NameWhosePiecesDoNotParseIsLeftOut",
                QDate(2025, 3, 1),
                {"250301_SA03.avi", "250301_SAxx.avi", "250301_SA-9.avi"},
                "250301_SA04.avi"},
        NameRow{"LetterCaseDoesNotChangeTheOrder",
                QDate(2024, 12, 3),
                {"241203_tu00.avi", "241203_TU01.avi"},
                "241203_TU02.avi"},
        NameRow{"UpperCaseExtensionIsNumbered",
                QDate(2025, 3, 1),
                {"250301_SA05.AVI"},
                "250301_SA06.avi"},
        // The clock was set back: the last name is of a later day, so the
        // numbering starts at 00, which is taken.
        NameRow{"ClockSetBackTakesTheNextFreeNumber",
                QDate(2025, 3, 1),
                {"250301_SA00.avi", "250301_SA01.avi", "250305_WE00.avi"},
                "250301_SA02.avi"},
        NameRow{"ExistingNameInOtherLetterCaseIsNotReused",
                QDate(2025, 3, 1),
                {"250301_sa00.avi", "250305_WE00.avi"},
                "250301_SA01.avi"},
        NameRow{"AJournalAloneTakesItsName",
                QDate(2025, 3, 1),
                {"250301_SA00.csv", "250301_sa01.CSV"},
                "250301_SA02.avi"},
        NameRow{
            "AfterNinetyNineASuffix", QDate(2025, 3, 1), {"250301_SA99.avi"}, "250301_SA99_2.avi"},
        NameRow{"SuffixesCountOn",
                QDate(2025, 3, 1),
                {"250301_SA98.avi", "250301_SA99.avi", "250301_SA99_2.avi"},
                "250301_SA99_3.avi"},
        NameRow{"YearAfter2099KeepsTwoDigits", QDate(2100, 1, 1), {}, "000101_FR00.avi"},
        NameRow{"YearBefore2000KeepsTwoDigits", QDate(1999, 12, 31), {}, "991231_FR00.avi"}),
    [](const ::testing::TestParamInfo<NameRow>& info) { return std::string(info.param.label); });

TEST(RecordFiles, EveryNumberOfTheDayTakenGetsASuffixAndOverwritesNothing) {
    RecordFolder folder;
    for (int s = 0; s <= 99; ++s) {
        folder.file(QString::asprintf("250301_SA%.2d.avi", s), 7);
    }
    folder.file(u"250306_TH00.avi"_s);  // clock set back: numbering restarts at 00
    kv::media::ManualClock clock;
    clock.setNow(at(2025, 3, 1));
    EXPECT_EQ(NewRecordFileName(folder.path(), clock), folder.path() + u"250301_SA99_2.avi"_s);
}

TEST(RecordFiles, FolderWithoutTrailingSeparatorPrefixesTheNames) {
    RecordFolder folder;
    folder.recording(u"cam250301_SA04.avi"_s, 600000, 60);
    folder.recording(u"250301_SA09.avi"_s, 600000);  // not one of "cam"'s recordings
    folder.recording(u"other.avi"_s, 600000);
    const QString aviPath = folder.path() + u"cam"_s;
    kv::media::ManualClock clock;
    clock.setNow(at(2025, 3, 1));
    EXPECT_EQ(NewRecordFileName(aviPath, clock), aviPath + u"250301_SA05.avi"_s);

    QList<RecordFileEntry> list;
    ListRecordFiles(aviPath, list);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].path, aviPath + u"250301_SA04.avi"_s);
    folder.recording(u"cam250301_SA05.avi"_s, 600000);
    EXPECT_EQ(DiskQuota().EnforceDiskQuota(aviPath, 1, QString(), QString()).deleted, 1);
    EXPECT_FALSE(folder.has(u"cam250301_SA04.avi"_s));
    EXPECT_TRUE(folder.has(u"cam250301_SA05.avi"_s));
    EXPECT_TRUE(folder.has(u"250301_SA09.avi"_s));
    EXPECT_TRUE(folder.has(u"other.avi"_s));
}

TEST(RecordFiles, LongPathsAreNotCut) {
    RecordFolder folder;
    const QString deep = folder.path() + QString(140, u'd') + u'/';
    ASSERT_TRUE(QDir().mkpath(deep));
    kv::media::ManualClock clock;
    clock.setNow(at(2025, 3, 1));
    const QString name = NewRecordFileName(deep, clock);
    EXPECT_GT(name.size(), 127);
    EXPECT_EQ(name, deep + u"250301_SA00.avi"_s);
}

TEST(RecordFiles, ClockWithoutDateGivesNoName) {
    RecordFolder folder;
    kv::media::ManualClock clock;  // never set
    EXPECT_TRUE(NewRecordFileName(folder.path(), clock).isEmpty());
}

// --- which files take part ---------------------------------------------------

TEST(RecordFiles, DirectoriesHiddenFilesAndLinksTakeNoPart) {
    RecordFolder folder;
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    const QString outsideFile = outside.path() + u"/250301_SA40.avi"_s;
    writeFile(outsideFile, 5000);
    const QString insideTarget = folder.file(u"target.bin"_s, 5000);

    ASSERT_TRUE(QDir().mkdir(folder.path() + u"x.avi"_s));
    ASSERT_TRUE(QDir().mkdir(folder.path() + u"250301_SA20.avi"_s));
    folder.file(u".y.avi"_s, 5000);
    folder.file(u".250301_SA21.avi"_s, 5000);
    ASSERT_TRUE(QFile::link(insideTarget, folder.path() + u"z.avi"_s));
    ASSERT_TRUE(QFile::link(insideTarget, folder.path() + u"250301_SA30.avi"_s));
    ASSERT_TRUE(QFile::link(outsideFile, folder.path() + u"250301_SA31.avi"_s));
    ASSERT_TRUE(QFile::link(outsideFile, folder.path() + u"w.avi"_s));

    kv::media::ManualClock clock;
    clock.setNow(at(2025, 3, 1));
    EXPECT_EQ(NewRecordFileName(folder.path(), clock), folder.path() + u"250301_SA00.avi"_s);
    EXPECT_TRUE(folder.list().isEmpty());
    EXPECT_EQ(DiskQuota().EnforceDiskQuota(folder.path(), 1, QString(), QString()).deleted, 0);

    for (const QString& name :
         {u"x.avi"_s, u"250301_SA20.avi"_s, u".y.avi"_s, u".250301_SA21.avi"_s, u"z.avi"_s,
          u"250301_SA30.avi"_s, u"250301_SA31.avi"_s, u"w.avi"_s, u"target.bin"_s}) {
        EXPECT_TRUE(QFileInfo(folder.path() + name).isSymLink() || folder.has(name))
            << qPrintable(name);
    }
    EXPECT_TRUE(QFileInfo::exists(outsideFile));
}

TEST(RecordFiles, OtherUsersFilesTakeNoPart) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving a file to another user needs root";
    }
    RecordFolder folder;
    const QString foreign = folder.file(u"250301_SA10.avi"_s, 5000);
    ASSERT_EQ(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
    kv::media::ManualClock clock;
    clock.setNow(at(2025, 3, 1));
    EXPECT_EQ(NewRecordFileName(folder.path(), clock), folder.path() + u"250301_SA00.avi"_s);
    EXPECT_TRUE(folder.list().isEmpty());
    EXPECT_EQ(DiskQuota().EnforceDiskQuota(folder.path(), 1, QString(), QString()).deleted, 0);
    EXPECT_TRUE(folder.has(u"250301_SA10.avi"_s));
}

TEST(RecordFiles, ListKeepsRealNamesInCaseInsensitiveOrder) {
    RecordFolder folder;
    folder.file(u"Notes.AVI"_s, 3);
    folder.file(u"241203_TU01.avi"_s, 2);
    folder.file(u"241203_tu00.avi"_s, 1);
    folder.file(u"241202_MO00.avi"_s, 4);
    folder.file(u"241202_MO01.avi.part"_s, 4);
    folder.file(u"241202_MO02.av"_s, 4);

    const QLocale saved;
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany),
                                  QLocale(QLocale::English, QLocale::UnitedStates)}) {
        QLocale::setDefault(locale);
        QList<RecordFileEntry> list{{u"stale"_s, 1}};
        ListRecordFiles(folder.path(), list);
        ASSERT_EQ(list.size(), 4) << qPrintable(locale.name());
        const QStringList expected{u"241202_MO00.avi"_s, u"241203_tu00.avi"_s, u"241203_TU01.avi"_s,
                                   u"Notes.AVI"_s};
        const std::vector<qint64> sizes{4, 1, 2, 3};
        for (qsizetype i = 0; i < list.size(); ++i) {
            EXPECT_EQ(list[i].path, folder.path() + expected[i]) << qPrintable(locale.name());
            EXPECT_EQ(list[i].size_bytes, sizes[std::size_t(i)]);
            EXPECT_TRUE(QFileInfo::exists(list[i].path));
        }
    }
    QLocale::setDefault(saved);
}

TEST(RecordFiles, MissingFolderFindsNothing) {
    RecordFolder folder;
    const QString missing = folder.path() + u"gone/"_s;
    kv::media::ManualClock clock;
    clock.setNow(at(2025, 3, 1));
    EXPECT_EQ(NewRecordFileName(missing, clock), missing + u"250301_SA00.avi"_s);
    QList<RecordFileEntry> list;
    ListRecordFiles(missing, list);
    EXPECT_TRUE(list.isEmpty());
    EXPECT_EQ(DiskQuota().EnforceDiskQuota(missing, 1, QString(), QString()).total_bytes, 0);
}

// --- the disk quota ----------------------------------------------------------

// A folder far over its limit gets under it in one call, oldest first, and
// only real recordings of ours count or go: a huge file bearing a
// recording's name that is no AVI, links of either kind and another user's
// recording stay, each logged once, and a journal that is a link is left
// with its target unchanged.
TEST(DiskQuota, DeletesOldestRecordingsOfOursUntilTheyFitAndNothingElse) {
    RecordFolder folder;
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    for (int i = 0; i < 10; ++i) {
        const QString name = QString::asprintf("251201_MO%.2d", i);
        folder.recording(name + u".avi"_s, 1000000, 1000 - 10 * i);
        folder.file(name + u".csv"_s, 100);
    }
    // Written before all of them by a clock set years ahead: it goes first,
    // though its name sorts last.
    folder.recording(u"991231_FR00.avi"_s, 1000000, 2000);
    // The first journal is a link to a private file of the user's.
    const QString privateFile = outside.filePath(u"private.txt"_s);
    writeFile(privateFile, 0);
    {
        QFile file(privateFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("the user's own words\n");
    }
    QFile::remove(folder.path() + u"251201_MO00.csv"_s);
    ASSERT_TRUE(QFile::link(privateFile, folder.path() + u"251201_MO00.csv"_s));

    // Named like recordings, sorting before every one of them.
    const QString huge = folder.path() + u"251130_SU00.avi"_s;
    writeFile(huge, 20000000000);  // 20 GB, sparse: not an AVI
    const QString linkedAway = outside.filePath(u"kept.avi"_s);
    writeRecording(linkedAway, 2000000);
    ASSERT_TRUE(QFile::link(linkedAway, folder.path() + u"251130_SU01.avi"_s));
    const QString hardLinked = outside.filePath(u"hard.avi"_s);
    writeRecording(hardLinked, 2000000);
    ASSERT_EQ(::link(QFile::encodeName(hardLinked).constData(),
                     QFile::encodeName(folder.path() + u"251130_SU02.avi"_s).constData()),
              0);
    const bool root = ::geteuid() == 0;
    if (root) {
        for (const QString& name : {u"251130_SU03.avi"_s, u"251130_SU03.csv"_s}) {
            const QString path = name.endsWith(u".avi"_s) ? folder.recording(name, 2000000, 2000)
                                                          : folder.file(name, 100);
            ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        }
    } else {
        std::cout << "[ SKIPPED  ] another user's recording: giving a file away needs root\n";
    }

    LogCapture log;
    DiskQuota quota;
    const kv::record::QuotaResult result =
        quota.EnforceDiskQuota(folder.path(), 3, QString(), QString());
    EXPECT_EQ(result.deleted, 8);
    EXPECT_FALSE(folder.has(u"991231_FR00.avi"_s));
    EXPECT_FALSE(result.overLimit);
    EXPECT_EQ(result.total_bytes, 3000000);
    EXPECT_EQ(result.limit_bytes, 3000000);
    for (int i = 0; i < 10; ++i) {
        const QString name = QString::asprintf("251201_MO%.2d", i);
        EXPECT_EQ(folder.has(name + u".avi"_s), i >= 7) << qPrintable(name);
        EXPECT_EQ(folder.has(name + u".csv"_s), i >= 7 || i == 0) << qPrintable(name);
    }
    EXPECT_EQ(log.count(u"Disk quota: deleted"_s), 8);
    EXPECT_TRUE(QFileInfo(folder.path() + u"251201_MO00.csv"_s).isSymLink());
    EXPECT_EQ(contents(privateFile), QByteArray("the user's own words\n"));

    EXPECT_EQ(QFileInfo(huge).size(), 20000000000);
    EXPECT_TRUE(QFileInfo(folder.path() + u"251130_SU01.avi"_s).isSymLink());
    EXPECT_EQ(QFileInfo(linkedAway).size(), 2000000);
    EXPECT_TRUE(folder.has(u"251130_SU02.avi"_s));
    EXPECT_EQ(QFileInfo(hardLinked).size(), 2000000);
    if (root) {
        EXPECT_TRUE(folder.has(u"251130_SU03.avi"_s));
        EXPECT_TRUE(folder.has(u"251130_SU03.csv"_s));
    }
    const int leftAlone = log.count(u"left alone"_s, QtWarningMsg);
    EXPECT_EQ(leftAlone, root ? 5 : 4);  // four names, and the linked journal
    for (const QString& name :
         {u"251130_SU00.avi"_s, u"251130_SU01.avi"_s, u"251130_SU02.avi"_s, u"251201_MO00.csv"_s}) {
        EXPECT_EQ(log.count(name), 1) << qPrintable(name);
    }

    // The next minute: nothing more to do, and nothing told again.
    const kv::record::QuotaResult again =
        quota.EnforceDiskQuota(folder.path(), 3, QString(), QString());
    EXPECT_EQ(again.deleted, 0);
    EXPECT_EQ(again.total_bytes, 3000000);
    EXPECT_EQ(log.count(u"left alone"_s, QtWarningMsg), leftAlone);

    // A name that was no AVI is looked at again once it changes.
    QFile::remove(huge);
    writeRecording(huge, 1000000);
    setAge(huge, 5000);
    const kv::record::QuotaResult changed =
        quota.EnforceDiskQuota(folder.path(), 3, QString(), QString());
    EXPECT_EQ(changed.deleted, 1);
    EXPECT_FALSE(QFileInfo::exists(huge));
}

// The limit is Max Diskspace decimal megabytes: a total equal to it is kept,
// one byte more deletes the oldest. 0 or less is refused, once told, and the
// default applies.
TEST(DiskQuota, ExactLimitSparesOneByteMoreDeletesAndNoLimitIsRefused) {
    RecordFolder folder;
    folder.recording(u"250301_SA01.avi"_s, 400000, 10);
    folder.recording(u"250301_SA00.avi"_s, 350000, 20);
    folder.recording(u"250228_FR99_2.avi"_s, 250000, 30);  // past sequence 99 on its day
    DiskQuota quota;
    EXPECT_EQ(quota.EnforceDiskQuota(folder.path(), 1, QString(), QString()).deleted, 0);
    EXPECT_EQ(folder.list().size(), 3);
    ASSERT_TRUE(QFile(folder.path() + u"250301_SA00.avi"_s).resize(350001));
    setAge(folder.path() + u"250301_SA00.avi"_s, 20);
    EXPECT_EQ(quota.EnforceDiskQuota(folder.path(), 1, QString(), QString()).deleted, 1);
    EXPECT_EQ(folder.list(), (QStringList{u"250301_SA00.avi"_s, u"250301_SA01.avi"_s}));

    LogCapture log;
    for (const int refused : {0, 0, -1, -1}) {
        const kv::record::QuotaResult result =
            quota.EnforceDiskQuota(folder.path(), refused, QString(), QString());
        EXPECT_EQ(result.deleted, 0);
        EXPECT_EQ(result.limit_bytes, 500000000);
    }
    EXPECT_EQ(folder.list().size(), 2);
    EXPECT_EQ(log.count(u"is refused"_s, QtWarningMsg), 2);  // once for 0, once for -1
}

// What is played back, what is being written and the newest finished
// recording (by when it was written, not by a name a wrong clock made) are
// never deleted; when only they are left over the limit, that is told once
// as a warning, until the recordings fit again.
TEST(DiskQuota, NeverDeletesWhatIsPlayedWrittenOrNewestAndSaysSoOnce) {
    RecordFolder folder;
    folder.recording(u"251201_MO00.avi"_s, 2000000, 300);
    folder.recording(u"251201_MO01.avi"_s, 1000000, 200);
    folder.recording(u"251201_MO05.avi"_s, 1000000, 10);   // finished last
    folder.recording(u"251201_MO06.avi"_s, 1000000, 0);    // being written
    folder.recording(u"991231_FR00.avi"_s, 1000000, 100);  // a clock set wrong
    const QString playback = folder.path() + u"251201_mo00.AVI"_s;
    const QString writing = folder.path() + u"251201_MO06.avi"_s;

    LogCapture log;
    DiskQuota quota;
    kv::record::QuotaResult result = quota.EnforceDiskQuota(folder.path(), 1, playback, writing);
    EXPECT_EQ(result.deleted, 2);
    EXPECT_TRUE(result.overLimit);
    EXPECT_EQ(result.total_bytes, 4000000);
    EXPECT_EQ(folder.list(),
              (QStringList{u"251201_MO00.avi"_s, u"251201_MO05.avi"_s, u"251201_MO06.avi"_s}));
    result = quota.EnforceDiskQuota(folder.path(), 1, playback, writing);
    EXPECT_EQ(result.deleted, 0);
    EXPECT_TRUE(result.overLimit);

    // Playback moves on: its file may go; the rest is still protected.
    result = quota.EnforceDiskQuota(folder.path(), 1, QString(), writing);
    EXPECT_EQ(result.deleted, 1);
    EXPECT_TRUE(result.overLimit);
    EXPECT_EQ(log.count(u"over the limit"_s, QtWarningMsg), 1);

    // The file being written is finished, and is now the newest.
    setAge(writing, 1);
    result = quota.EnforceDiskQuota(folder.path(), 1, QString(), QString());
    EXPECT_EQ(result.deleted, 1);
    EXPECT_FALSE(result.overLimit);
    EXPECT_EQ(folder.list(), QStringList{u"251201_MO06.avi"_s});
    EXPECT_EQ(log.count(u"fit again"_s), 1);
    EXPECT_EQ(log.count(u"over the limit"_s, QtWarningMsg), 1);
}

TEST(RecordFiles, RecordingNames) {
    using kv::record::isRecordingName;
    for (const QString& name : {u"250301_SA00.avi"_s, u"991231_FR99.avi"_s, u"250301_SA99_12.avi"_s,
                                u"250301_sa07.AVI"_s}) {
        EXPECT_TRUE(isRecordingName(name)) << qPrintable(name);
    }
    for (const QString& name :
         {u"notes.avi"_s, u"250301_SA0.avi"_s, u"250301_XY00.avi"_s, u"250301_SA00.avi.part"_s,
          u"x250301_SA00.avi"_s, u"250301_SA00_.avi"_s, u"2503011_SA00.avi"_s}) {
        EXPECT_FALSE(isRecordingName(name)) << qPrintable(name);
    }
}

TEST(RecordFiles, AFolderPathWithoutSeparatorNamesTheFolder) {
    using kv::record::ensureRecordingFolder;
    using kv::record::recordingFolder;
    RecordFolder folder;
    const QString videos = folder.path() + u"Videos"_s;
    ASSERT_TRUE(QDir().mkpath(videos));
    EXPECT_EQ(recordingFolder(videos), videos + u'/');
    EXPECT_EQ(recordingFolder(videos + u'/'), videos + u'/');
    EXPECT_EQ(recordingFolder(QString()), QString());
    // A folder yet to be made is a folder too, and is created on demand.
    const QString fresh = folder.path() + u"new/deeper"_s;
    EXPECT_EQ(recordingFolder(fresh), fresh + u'/');
    EXPECT_TRUE(ensureRecordingFolder(recordingFolder(fresh)));
    EXPECT_TRUE(QFileInfo(fresh).isDir());
    // An existing file stays a prefix of the names, as before.
    const QString prefix = folder.file(u"cam"_s);
    EXPECT_EQ(recordingFolder(prefix), prefix);
    QString why;
    EXPECT_FALSE(ensureRecordingFolder(prefix + u"/sub/"_s, &why));
    EXPECT_FALSE(why.isEmpty());

    // With the separator, a neighbour that shares the folder's name is safe.
    folder.recording(u"Videos from 2019.avi"_s, 5000000);
    folder.recording(u"Videos250301_SA00.avi"_s, 5000000);
    writeRecording(videos + u"/250301_SA00.avi"_s, 100);
    kv::media::ManualClock clock;
    clock.setNow(at(2025, 3, 1));
    EXPECT_EQ(NewRecordFileName(recordingFolder(videos), clock), videos + u"/250301_SA01.avi"_s);
    writeRecording(videos + u"/250301_SA01.avi"_s, 1000000);
    EXPECT_EQ(
        DiskQuota().EnforceDiskQuota(recordingFolder(videos), 1, QString(), QString()).deleted, 1);
    EXPECT_FALSE(QFileInfo::exists(videos + u"/250301_SA00.avi"_s));
    EXPECT_TRUE(folder.has(u"Videos from 2019.avi"_s));
    EXPECT_TRUE(folder.has(u"Videos250301_SA00.avi"_s));
}

// The journal: lines written read back the same; matching it to a repaired
// recording keeps the header and the first lines, a torn last line is never
// read as a frame, and lines the disk lost are estimated.
TEST(Journal, ReadsWhatWasWrittenAndIsCutToItsRecording) {
    RecordFolder folder;
    const QString path = kv::record::journalPath(folder.path() + u"241203_TU02.avi"_s);
    EXPECT_TRUE(path.endsWith(u"/241203_TU02.csv"_s));
    const QDateTime start(QDate(2024, 12, 3), QTime(14, 5, 9, 120), Qt::OffsetFromUTC, 3600);
    QByteArray text(kv::record::kJournalHeader);
    for (int i = 0; i < 5; ++i) {
        kv::record::JournalLine line;
        line.frame = i;
        line.time = start.addMSecs(1000 * i);
        line.motion = 30000 + i;
        line.trigger = 25000;
        line.fate = i < 3 ? kv::record::JournalFate::Movement : kv::record::JournalFate::PostRecord;
        text += kv::record::formatJournalLine(line);
    }
    EXPECT_TRUE(text.contains("\n1,2024-12-03T14:05:10.120+01:00,30001,25000,movement\n"))
        << text.constData();
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text + "5,2024-12-03T14:0");  // torn by a kill
    }
    int bad = 0;
    auto lines = kv::record::readJournal(path, &bad);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(bad, 1);
    EXPECT_EQ(lines[4].time, start.addMSecs(4000));
    EXPECT_EQ(lines[4].fate, kv::record::JournalFate::PostRecord);

    ASSERT_TRUE(kv::record::matchJournal(path, 3));
    lines = kv::record::readJournal(path, &bad);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(lines[2].motion, 30002);
    EXPECT_TRUE(kv::record::matchJournal(folder.path() + u"missing.csv"_s, 3));

    // Behind its recording (a power cut kept frames whose lines it lost),
    // after a torn line: the lines come back one usual gap apart.
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("3,2024-12-03T14:05:12.120+01:00,3");
    }
    ASSERT_TRUE(kv::record::matchJournal(path, 6));
    lines = kv::record::readJournal(path, &bad);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(bad, 0);
    for (int i = 3; i < 6; ++i) {
        EXPECT_EQ(lines[std::size_t(i)].frame, i);
        EXPECT_EQ(lines[std::size_t(i)].time, start.addMSecs(1000 * i));
        EXPECT_EQ(lines[std::size_t(i)].fate, kv::record::JournalFate::Movement);
    }
    // So far behind that estimated times would mislead: left as it is.
    ASSERT_TRUE(kv::record::matchJournal(path, 6 + kv::record::kJournalCompleteMax + 1));
    EXPECT_EQ(kv::record::readJournal(path).size(), 6u);
    // Lines centuries apart (an edit by hand) would run past the year 9999,
    // which no line can say: nothing is added.
    const QString edited = kv::record::journalPath(folder.path() + u"241203_TU03.avi"_s);
    {
        QFile file(edited);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(kv::record::kJournalHeader) +
                   "0,0216-10-26T02:59:58.920+01:00,1,2500,still\n"
                   "1,2025-10-26T02:59:59.120+01:00,1,2500,still\n");
    }
    ASSERT_TRUE(kv::record::matchJournal(edited, 8));
    lines = kv::record::readJournal(edited, &bad);
    EXPECT_EQ(lines.size(), 2u);
    EXPECT_EQ(bad, 0);
}

// A frame recorded by the heartbeat reads back as such, apart from movement:
// it opens no movement and a movement after it starts one. Journals written
// before there were heartbeats read as they always did.
TEST(Journal, HeartbeatFramesReadBackApartAndOldJournalsReadAsBefore) {
    using kv::record::JournalFate;
    RecordFolder folder;
    const QString path = kv::record::journalPath(folder.path() + u"261221_MO00.avi"_s);
    const QDateTime start(QDate(2026, 12, 21), QTime(8, 15), Qt::OffsetFromUTC, 3600);
    const std::vector<std::pair<int, JournalFate>> frames{
        {0, JournalFate::Heartbeat},    {600, JournalFate::Heartbeat},
        {640, JournalFate::Movement},   {641, JournalFate::PostRecord},
        {1241, JournalFate::Heartbeat}, {1250, JournalFate::Movement},
    };
    QByteArray text(kv::record::kJournalHeader);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        kv::record::JournalLine line;
        line.frame = qint64(i);
        line.time = start.addSecs(frames[i].first);
        line.motion = frames[i].second == JournalFate::Movement ? 31000 : 120;
        line.trigger = 25000;
        line.fate = frames[i].second;
        text += kv::record::formatJournalLine(line);
    }
    EXPECT_TRUE(text.contains("\n1,2026-12-21T08:25:00.000+01:00,120,25000,heartbeat\n"))
        << text.constData();
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text + "6,2026-12-21T08:45:00.000+01:00,120,25000,heart-beat\n");
    }
    int bad = 0;
    const auto lines = kv::record::readJournal(path, &bad);
    ASSERT_EQ(lines.size(), frames.size());
    EXPECT_EQ(bad, 1) << "a fate the recorder never writes";
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(lines[i].fate, frames[i].second) << i;
        EXPECT_EQ(lines[i].time, start.addSecs(frames[i].first)) << i;
    }
    EXPECT_EQ(kv::record::movementStarts(lines), (std::vector<qint64>{2, 5}));

    // An older recorder's journal, byte for byte.
    const QByteArray old =
        "frame,time,motion,trigger,fate\n"
        "0,2024-12-03T14:05:09.120+01:00,0,25000,on\n"
        "1,2024-12-03T14:05:10.120+01:00,25001,25000,pre-record\n"
        "2,2024-12-03T14:05:11.120+01:00,30001,25000,movement\n"
        "3,2024-12-03T14:05:12.120+01:00,100,25000,post-record\n"
        "4,2024-12-03T14:05:13.120+01:00,90,25000,still\n";
    const auto before = kv::record::parseJournal(old, &bad);
    EXPECT_EQ(bad, 0);
    ASSERT_EQ(before.size(), 5u);
    const JournalFate fates[] = {JournalFate::On, JournalFate::PreRecord, JournalFate::Movement,
                                 JournalFate::PostRecord, JournalFate::Still};
    QByteArray again(kv::record::kJournalHeader);
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(before[i].fate, fates[i]) << i;
        again += kv::record::formatJournalLine(before[i]);
    }
    EXPECT_EQ(again, old);
    EXPECT_EQ(kv::record::movementStarts(before), (std::vector<qint64>{1}));
}

// A journal is cut in place: on a full disk it keeps the header and its
// first lines (rewriting it through a copy emptied it there).
TEST(Journal, CutOnAFullDiskKeepsItsFirstLines) {
    RecordFolder folder;
    const QByteArray mountPoint = QFile::encodeName(folder.path());
    if (::geteuid() != 0 ||
        ::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "filling a disk needs a small tmpfs, which only root can mount";
    }
    struct Unmount {
        QByteArray at;
        ~Unmount() { ::umount2(at.constData(), MNT_DETACH); }
    } unmount{mountPoint};
    const QString path = folder.path() + u"251201_MO00.csv"_s;
    QByteArray text(kv::record::kJournalHeader);
    kv::record::JournalLine line;
    line.time = QDateTime(QDate(2025, 12, 1), QTime(8, 0), Qt::OffsetFromUTC, 3600);
    for (int i = 0; i < 211; ++i) {
        line.frame = i;
        line.time = line.time.addMSecs(200);
        text += kv::record::formatJournalLine(line);
    }
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(text + "211,2025-12-01T08:0"), text.size() + 19);
    }
    // Fill the disk to its last byte.
    {
        QFile filler(folder.path() + u"filler"_s);
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
        while (filler.write("x", 1) == 1) {
        }
    }
    ASSERT_TRUE(kv::record::matchJournal(path, 103));
    int bad = 0;
    const auto lines = kv::record::readJournal(path, &bad);
    ASSERT_EQ(lines.size(), 103u);
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(lines.back().frame, 102);
    const qsizetype end = [&] {
        qsizetype at = 0;
        for (int i = 0; i < 104; ++i) {
            at = text.indexOf('\n', at) + 1;
        }
        return at;
    }();
    EXPECT_EQ(contents(path), text.left(end));
}

// Journals are read and cut only as regular files of the user's: a link to
// /dev/zero, a FIFO, a link to a private file, another name of one, are
// refused at once and left as they are; a huge one is read no further than
// its recording's frames can fill.
TEST(Journal, OnlyRegularFilesOfOursAreReadOrCutAndNoMoreThanTheyCanHold) {
    RecordFolder folder;
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    const QString zero = folder.path() + u"zero.csv"_s;
    ASSERT_TRUE(QFile::link(u"/dev/zero"_s, zero));
    const QString fifo = folder.path() + u"fifo.csv"_s;
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    int bad = -1;
    EXPECT_TRUE(kv::record::readJournal(zero, &bad).empty());
    EXPECT_EQ(bad, 0);
    EXPECT_TRUE(kv::record::readJournal(fifo).empty());  // returns: nobody writes it
    EXPECT_FALSE(kv::record::matchJournal(fifo, 1));

    QByteArray text(kv::record::kJournalHeader);
    kv::record::JournalLine line;
    line.time = QDateTime(QDate(2025, 12, 1), QTime(8, 0), Qt::UTC);
    for (int i = 0; i < 5; ++i) {
        line.frame = i;
        text += kv::record::formatJournalLine(line);
    }
    const QString privateFile = outside.filePath(u"private.csv"_s);
    for (const QString& target : {privateFile}) {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    const QString symlink = folder.path() + u"link.csv"_s;
    ASSERT_TRUE(QFile::link(privateFile, symlink));
    const QString hardLink = folder.path() + u"hard.csv"_s;
    ASSERT_EQ(
        ::link(QFile::encodeName(privateFile).constData(), QFile::encodeName(hardLink).constData()),
        0);
    EXPECT_FALSE(kv::record::matchJournal(symlink, 1));
    EXPECT_FALSE(kv::record::matchJournal(hardLink, 1));
    EXPECT_TRUE(kv::record::readJournal(symlink).empty());
    EXPECT_EQ(kv::record::readJournal(hardLink).size(), 5u);  // reading harms nothing
    EXPECT_EQ(contents(privateFile), text);

    // 4 GB without one line end: the recording of 10 frames bounds it, an
    // unknown one the general cap.
    const QString huge = folder.path() + u"huge.csv"_s;
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        ASSERT_TRUE(file.resize(qint64(4) << 30));
    }
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    EXPECT_EQ(kv::record::readJournal(huge, &bad, 10).size(), 5u);
    EXPECT_EQ(kv::record::readJournal(huge, &bad).size(), 5u);
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 512 * 1024) << "kB more at the peak";
}

// The journal fuzz target's promises over mutations of a journal as the
// recorder writes it (the sanitizer builds of the tests run this too):
// flipped bytes, cut ends, lines doubled or run together.
TEST(Journal, KeepsItsPromisesOnMutatedJournals) {
    QByteArray text(kv::record::kJournalHeader);
    kv::record::JournalLine line;
    line.time = QDateTime(QDate(2025, 10, 26), QTime(2, 59, 58, 120), Qt::OffsetFromUTC, 7200);
    for (int i = 0; i < 30; ++i) {
        line.frame = i;
        line.time = line.time.addMSecs(200);
        line.motion = (i * 7919) % 30001;
        line.fate = kv::record::JournalFate(i % 6);
        text += kv::record::formatJournalLine(line);
    }
    std::mt19937 random(26);
    std::string broken;
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes = text;
        for (int n = 1 + int(random() % 4); n > 0; --n) {
            const qsizetype at = qsizetype(random() % std::uint32_t(bytes.size()));
            switch (random() % 4) {
                case 0:
                    bytes[at] = char(bytes[at] ^ (1 << (random() % 8)));
                    break;
                case 1:
                    bytes.truncate(at);
                    break;
                case 2:
                    bytes.insert(at, bytes.mid(at, qsizetype(random() % 80)));
                    break;
                default:
                    bytes.remove(at, 1 + qsizetype(random() % 3));
                    break;
            }
            if (bytes.isEmpty()) {
                bytes = text;
            }
        }
        ASSERT_TRUE(kv::fuzz::checkJournal(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                           std::size_t(bytes.size()), &broken))
            << broken << " on:\n"
            << bytes.toStdString();
    }
}

// Where movements start: at the first frame kept from before one, else at
// its first moving frame after frames that were not, or after a pause.
TEST(Journal, MovementsStartAtTheirFirstKeptFrame) {
    using kv::record::JournalFate;
    const QDateTime start(QDate(2024, 12, 3), QTime(14, 0), Qt::UTC);
    const std::vector<std::pair<int, JournalFate>> frames{
        {0, JournalFate::PreRecord},   {1, JournalFate::PreRecord},  {2, JournalFate::Movement},
        {3, JournalFate::Movement},    {4, JournalFate::PostRecord}, {5, JournalFate::PreRecord},
        {6, JournalFate::Movement},    {60, JournalFate::Movement},  // a minute later
        {61, JournalFate::PostRecord}, {62, JournalFate::Movement},
    };
    std::vector<kv::record::JournalLine> lines;
    for (const auto& [second, fate] : frames) {
        kv::record::JournalLine line;
        line.frame = qint64(lines.size());
        line.time = start.addSecs(second);
        line.fate = fate;
        lines.push_back(line);
    }
    EXPECT_EQ(kv::record::movementStarts(lines), (std::vector<qint64>{0, 5, 7}));
}

}  // namespace

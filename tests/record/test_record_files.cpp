#include "media/clock.h"
#include "record/journal.h"
#include "record/record_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include <vector>

using namespace Qt::Literals::StringLiterals;
using kv::record::EnforceDiskQuota;
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

// One temporary recording folder; path() ends with a separator like AVIPath.
class RecordFolder {
  public:
    RecordFolder() { EXPECT_TRUE(dir_.isValid()); }
    QString path() const { return dir_.path() + u'/'; }
    QString file(const QString& name, qint64 size_bytes = 1) const {
        writeFile(path() + name, size_bytes);
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
    folder.file(u"cam250301_SA04.avi"_s, 10);
    folder.file(u"250301_SA09.avi"_s, 10);  // not one of "cam"'s recordings
    folder.file(u"other.avi"_s, 10);
    const QString aviPath = folder.path() + u"cam"_s;
    kv::media::ManualClock clock;
    clock.setNow(at(2025, 3, 1));
    EXPECT_EQ(NewRecordFileName(aviPath, clock), aviPath + u"250301_SA05.avi"_s);

    QList<RecordFileEntry> list;
    ListRecordFiles(aviPath, list);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].path, aviPath + u"250301_SA04.avi"_s);
    EXPECT_TRUE(EnforceDiskQuota(aviPath, 0, QString()));
    EXPECT_FALSE(folder.has(u"cam250301_SA04.avi"_s));
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
    EXPECT_FALSE(EnforceDiskQuota(folder.path(), 0, QString()));

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
    EXPECT_FALSE(EnforceDiskQuota(folder.path(), 0, QString()));
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
    EXPECT_FALSE(EnforceDiskQuota(missing, 0, QString()));
}

// --- the disk quota ----------------------------------------------------------

TEST(DiskQuota, ExactLimitSparesAndOneByteMoreDeletesTheFirstListed) {
    RecordFolder folder;
    folder.file(u"250301_SA01.avi"_s, 400000);
    folder.file(u"250301_SA00.avi"_s, 350000);
    folder.file(u"250228_FR99_2.avi"_s, 250000);  // past sequence 99 on its day
    EXPECT_FALSE(EnforceDiskQuota(folder.path(), 1, QString()));
    EXPECT_EQ(folder.list().size(), 3);

    writeFile(folder.path() + u"250301_SA01.avi"_s, 400001);
    EXPECT_TRUE(EnforceDiskQuota(folder.path(), 1, QString()));
    EXPECT_EQ(folder.list(), (QStringList{u"250301_SA00.avi"_s, u"250301_SA01.avi"_s}));
}

TEST(DiskQuota, TheUsersOwnVideosAreNeitherCountedNorDeleted) {
    RecordFolder folder;
    // Foreign files that sort before every recording and dwarf the limit.
    folder.file(u"2019 Holiday.avi"_s, 5000000);
    folder.file(u"birds.AVI"_s, 5000000);
    folder.file(u"241203_TU00 copy.avi"_s, 5000000);
    folder.file(u"241203_XX00.avi"_s, 5000000);
    EXPECT_FALSE(EnforceDiskQuota(folder.path(), 1, QString()));  // not counted

    folder.file(u"241203_TU00.avi"_s, 600000);
    folder.file(u"241203_tu01.AVI"_s, 600000);  // letter case changed by a copy
    folder.file(u"241204_WE00.avi"_s, 600000);
    // Journals go with their recordings; other tables stay.
    folder.file(u"241203_TU00.csv"_s);
    folder.file(u"241204_WE00.csv"_s);
    folder.file(u"birds.csv"_s);
    EXPECT_TRUE(EnforceDiskQuota(folder.path(), 1, QString()));
    EXPECT_FALSE(folder.has(u"241203_TU00.csv"_s));
    EXPECT_TRUE(EnforceDiskQuota(folder.path(), 1, QString()));
    EXPECT_FALSE(EnforceDiskQuota(folder.path(), 1, QString()));
    EXPECT_TRUE(folder.has(u"241204_WE00.csv"_s));
    EXPECT_TRUE(folder.has(u"birds.csv"_s));
    EXPECT_EQ(folder.list(),
              (QStringList{u"2019 Holiday.avi"_s, u"241203_TU00 copy.avi"_s, u"241203_XX00.avi"_s,
                           u"241204_WE00.avi"_s, u"birds.AVI"_s}));
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
    folder.file(u"Videos from 2019.avi"_s, 5000000);
    folder.file(u"Videos250301_SA00.avi"_s, 5000000);
    writeFile(videos + u"/250301_SA00.avi"_s, 10);
    kv::media::ManualClock clock;
    clock.setNow(at(2025, 3, 1));
    EXPECT_EQ(NewRecordFileName(recordingFolder(videos), clock), videos + u"/250301_SA01.avi"_s);
    EXPECT_TRUE(EnforceDiskQuota(recordingFolder(videos), 0, QString()));
    EXPECT_FALSE(QFileInfo::exists(videos + u"/250301_SA00.avi"_s));
    EXPECT_TRUE(folder.has(u"Videos from 2019.avi"_s));
    EXPECT_TRUE(folder.has(u"Videos250301_SA00.avi"_s));
}

TEST(DiskQuota, ZeroMegabytesDeletesOneFilePerCallOldestFirst) {
    RecordFolder folder;
    folder.file(u"250302_SU00.avi"_s);
    folder.file(u"250301_SA00.avi"_s);
    EXPECT_TRUE(EnforceDiskQuota(folder.path(), 0, QString()));
    EXPECT_EQ(folder.list(), QStringList{u"250302_SU00.avi"_s});
    EXPECT_TRUE(EnforceDiskQuota(folder.path(), 0, QString()));
    EXPECT_TRUE(folder.list().isEmpty());
    EXPECT_FALSE(EnforceDiskQuota(folder.path(), 0, QString()));
}

TEST(DiskQuota, SparesThePlaybackFileGivenInOtherLetterCase) {
    RecordFolder folder;
    folder.file(u"250301_SA00.avi"_s);
    folder.file(u"250301_SA01.avi"_s);
    folder.file(u"250301_SA02.avi"_s);
    const QString playback = folder.path() + u"250301_sa00.AVI"_s;
    EXPECT_TRUE(EnforceDiskQuota(folder.path(), 0, playback));
    EXPECT_EQ(folder.list(), (QStringList{u"250301_SA00.avi"_s, u"250301_SA02.avi"_s}));
    EXPECT_TRUE(EnforceDiskQuota(folder.path(), 0, playback));
    EXPECT_EQ(folder.list(), QStringList{u"250301_SA00.avi"_s});
    EXPECT_FALSE(EnforceDiskQuota(folder.path(), 0, playback));
    EXPECT_TRUE(folder.has(u"250301_SA00.avi"_s));
}

// The journal: lines written read back the same; cutting it to a repaired
// recording keeps the header and the first lines, and a torn last line is
// never read as a frame.
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

    ASSERT_TRUE(kv::record::trimJournal(path, 3));
    lines = kv::record::readJournal(path, &bad);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(lines[2].motion, 30002);
    EXPECT_TRUE(kv::record::trimJournal(folder.path() + u"missing.csv"_s, 3));
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

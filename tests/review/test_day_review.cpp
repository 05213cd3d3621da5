// The day view's data from real recordings and journals over several days:
// the day list from names and last changes, spans, movements and the
// nearest frame from the journals, damaged files skipped, the cache, and the
// loader's thread and order.

#include "film/film_span.h"
#include "record/journal.h"
#include "review/day_activity.h"
#include "review/day_loader.h"
#include "review/folder_days.h"
#include "tests/support/avi_writer.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <vector>

using namespace Qt::Literals::StringLiterals;
using kv::record::JournalFate;
using kv::review::DayActivity;

namespace {

const QDate kMonday(2026, 11, 2);
const QDate kTuesday(2026, 11, 3);
const QDate kThursday(2026, 11, 5);

QDateTime at(QDate day, int h, int m, int s, int ms = 0) {
    return QDateTime(day, QTime(h, m, s, ms));
}

void setModified(const QString& path, const QDateTime& time) {
    const qint64 ms = time.toMSecsSinceEpoch();
    const struct timespec times[2] = {{ms / 1000, (ms % 1000) * 1000000},
                                      {ms / 1000, (ms % 1000) * 1000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

struct Line {
    int seconds;  // after the first
    JournalFate fate;
    int motion;
};

// A journal of one line per frame, a second apart from `first`.
void writeJournal(const QString& avi, const QDateTime& first, const std::vector<Line>& lines) {
    QFile file(kv::record::journalPath(avi));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray text = kv::record::kJournalHeader;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        kv::record::JournalLine line;
        line.frame = qint64(i);
        line.time = first.addSecs(lines[i].seconds);
        line.motion = lines[i].motion;
        line.trigger = 40 + int(i % 3);
        line.fate = lines[i].fate;
        text += kv::record::formatJournalLine(line);
    }
    file.write(text);
}

// n lines a second apart; fates by the frame's position.
std::vector<Line> lines(int n, const std::function<JournalFate(int)>& fate) {
    std::vector<Line> out;
    for (int i = 0; i < n; ++i) {
        const JournalFate f = fate(i);
        out.push_back({i, f, f == JournalFate::Movement ? 80 + i : 5 + i % 4});
    }
    return out;
}

void writeAvi(const QString& path, int frames) {
    kv::test::TestAvi avi;
    avi.path = path;
    avi.encoder = u"jpegenc"_s;
    avi.frames = frames;
    ASSERT_TRUE(kv::test::writeTestAvi(avi)) << path.toStdString();
}

// Monday: A at 10:00 (a movement of frames 5 to 12 with its pre- and
// post-record) and B from 23:59:45 across midnight (movement from frame 10
// to 20). Tuesday: B's end; C without a journal; D a damaged AVI; E with a
// damaged journal. Thursday: F. And a user's own video.
class DayReview : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir;
        folder_ = dir_->path() + u"/rec/"_s;
        QDir().mkpath(folder_);
        writeAvi(a(), 20);
        writeJournal(a(), at(kMonday, 10, 0, 0), lines(20, [](int i) {
                         return i < 5    ? JournalFate::On
                                : i < 7  ? JournalFate::PreRecord
                                : i < 11 ? JournalFate::Movement
                                : i < 13 ? JournalFate::PostRecord
                                         : JournalFate::On;
                     }));
        setModified(a(), at(kMonday, 10, 0, 20));
        writeAvi(b(), 30);
        writeJournal(b(), at(kMonday, 23, 59, 45), lines(30, [](int i) {
                         return i >= 10 && i <= 20 ? JournalFate::Movement : JournalFate::On;
                     }));
        setModified(b(), at(kTuesday, 0, 0, 15));
        writeAvi(c(), 25);
        setModified(c(), at(kTuesday, 12, 0, 0));
        QFile d(folder_ + u"261103_TU01.avi"_s);
        ASSERT_TRUE(d.open(QIODevice::WriteOnly));
        d.write(QByteArray("RIFF\0\0\0\0AVI LIST", 16) + QByteArray(100, 'x'));
        d.close();
        writeJournal(d.fileName(), at(kTuesday, 12, 30, 0),
                     lines(5, [](int) { return JournalFate::Movement; }));
        setModified(d.fileName(), at(kTuesday, 12, 30, 5));
        writeAvi(e(), 10);
        QFile journal(kv::record::journalPath(e()));
        ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
        journal.write(QByteArray(kv::record::kJournalHeader) + "0,yesterday,1,2,on\nrubbish\n");
        journal.close();
        setModified(e(), at(kTuesday, 13, 0, 0));
        writeAvi(f(), 10);
        writeJournal(f(), at(kThursday, 8, 0, 0), lines(10, [](int) { return JournalFate::On; }));
        setModified(f(), at(kThursday, 8, 0, 10));
        QFile::copy(a(), folder_ + u"holiday.avi"_s);
    }
    static void TearDownTestSuite() { delete dir_; }

    static QString a() { return folder_ + u"261102_MO00.avi"_s; }
    static QString b() { return folder_ + u"261102_MO01.avi"_s; }
    static QString c() { return folder_ + u"261103_TU00.avi"_s; }
    static QString e() { return folder_ + u"261103_TU02.avi"_s; }
    static QString f() { return folder_ + u"261105_TH00.avi"_s; }

    static QTemporaryDir* dir_;
    static QString folder_;
};
QTemporaryDir* DayReview::dir_ = nullptr;
QString DayReview::folder_;

QStringList names(const std::vector<kv::review::DayFile>& files) {
    QStringList out;
    for (const auto& f : files) {
        out << f.path.mid(f.path.lastIndexOf(u'/') + 1);
    }
    return out;
}

qint64 ms(const QDateTime& t) {
    return t.toMSecsSinceEpoch();
}

TEST_F(DayReview, ListsDaysFromNamesAndReadsSpansAndMovementsFromJournals) {
    const kv::review::FolderDays folder = kv::review::listDays(folder_);
    ASSERT_EQ(folder.days.size(), 3u);
    EXPECT_EQ(names(folder.days.at(kMonday)),
              (QStringList{u"261102_MO00.avi"_s, u"261102_MO01.avi"_s}));
    // B ran past midnight: it counts on Tuesday too, before Tuesday's own.
    EXPECT_EQ(names(folder.days.at(kTuesday)),
              (QStringList{u"261102_MO01.avi"_s, u"261103_TU00.avi"_s, u"261103_TU01.avi"_s,
                           u"261103_TU02.avi"_s}));
    EXPECT_EQ(folder.days.at(kTuesday).front().named, kMonday);
    EXPECT_EQ(folder.days.at(kTuesday).front().modified_ms, ms(at(kTuesday, 0, 0, 15)));
    EXPECT_EQ(folder.previousDay(kThursday), kTuesday);
    EXPECT_EQ(folder.nextDay(kTuesday), kThursday);
    EXPECT_EQ(folder.nextDay(kTuesday.addDays(1)), kThursday);
    EXPECT_TRUE(folder.previousDay(kMonday).isNull());
    EXPECT_TRUE(folder.nextDay(kThursday).isNull());

    const DayActivity monday = kv::review::readDay(folder, kMonday);
    EXPECT_TRUE(monday.warnings.isEmpty()) << monday.warnings.join(u'\n').toStdString();
    EXPECT_EQ(monday.dayStart_ms, ms(at(kMonday, 0, 0, 0)));
    EXPECT_EQ(monday.dayEnd_ms, ms(at(kTuesday, 0, 0, 0)));
    ASSERT_EQ(monday.recordings.size(), 2u);
    EXPECT_EQ(monday.recordings[0].path, a());
    EXPECT_TRUE(monday.recordings[0].journal);
    EXPECT_EQ(monday.recordings[0].frames, 20);
    EXPECT_EQ(monday.recordings[0].from_ms, ms(at(kMonday, 10, 0, 0)));
    EXPECT_EQ(monday.recordings[0].to_ms, ms(at(kMonday, 10, 0, 19)));
    EXPECT_EQ(monday.recordings[1].from_ms, ms(at(kMonday, 23, 59, 45)));
    EXPECT_EQ(monday.recordings[1].to_ms, ms(at(kMonday, 23, 59, 59)));
    ASSERT_EQ(monday.frames.size(), 35u);
    EXPECT_EQ(monday.frames[8].motion, 88);
    EXPECT_EQ(monday.frames[8].fate, JournalFate::Movement);
    EXPECT_EQ(monday.frames[34].recording, 1);
    EXPECT_EQ(monday.frames[34].frame, 14);
    EXPECT_EQ(monday.trigger, 40 + 14 % 3);
    // The movement with its pre- and post-record, and B's up to midnight.
    ASSERT_EQ(monday.movements.size(), 2u);
    EXPECT_EQ(monday.movements[0].from_ms, ms(at(kMonday, 10, 0, 5)));
    EXPECT_EQ(monday.movements[0].to_ms, ms(at(kMonday, 10, 0, 12)));
    EXPECT_EQ(monday.movements[0].firstFrame, 5u);
    EXPECT_FALSE(monday.movements[0].continued);
    EXPECT_EQ(monday.movements[1].from_ms, ms(at(kMonday, 23, 59, 55)));
    EXPECT_EQ(monday.movements[1].to_ms, ms(at(kMonday, 23, 59, 59)));

    // Tuesday: B's rest, whose movement goes on from Monday; C and E from
    // their file times; D and E's journal told about.
    const DayActivity tuesday = kv::review::readDay(folder, kTuesday);
    ASSERT_EQ(tuesday.recordings.size(), 3u);
    EXPECT_EQ(tuesday.recordings[0].path, b());
    EXPECT_EQ(tuesday.recordings[0].from_ms, ms(at(kTuesday, 0, 0, 0)));
    EXPECT_EQ(tuesday.recordings[0].to_ms, ms(at(kTuesday, 0, 0, 14)));
    EXPECT_EQ(tuesday.recordings[1].path, c());
    EXPECT_FALSE(tuesday.recordings[1].journal);
    EXPECT_EQ(tuesday.recordings[1].from_ms, ms(at(kTuesday, 11, 59, 59)));  // 25 frames of 40 ms
    EXPECT_EQ(tuesday.recordings[1].to_ms, ms(at(kTuesday, 11, 59, 59, 960)));
    EXPECT_EQ(tuesday.recordings[2].path, e());
    EXPECT_FALSE(tuesday.recordings[2].journal);
    EXPECT_EQ(tuesday.recordings[2].to_ms, ms(at(kTuesday, 12, 59, 59, 960)));
    EXPECT_EQ(tuesday.frames.size(), 15u);
    ASSERT_EQ(tuesday.movements.size(), 1u);
    EXPECT_TRUE(tuesday.movements[0].continued);
    EXPECT_EQ(tuesday.movements[0].to_ms, ms(at(kTuesday, 0, 0, 5)));
    EXPECT_FALSE(tuesday.nextMovement(tuesday.dayStart_ms - 1, true));
    ASSERT_EQ(tuesday.warnings.size(), 2) << tuesday.warnings.join(u'\n').toStdString();
    EXPECT_TRUE(tuesday.warnings[0].contains(u"261103_TU01.avi"_s));
    EXPECT_TRUE(tuesday.warnings[1].contains(u"261103_TU02.csv"_s));

    // The film times frames without a journal line the same way.
    const kv::film::Span span =
        kv::film::gatherSpan(folder_, at(kTuesday, 11, 0, 0), at(kTuesday, 13, 30, 0));
    std::vector<qint64> film;
    for (const auto& frame : span.frames) {
        film.push_back(frame.time_ms);
    }
    std::vector<qint64> ours;
    for (const auto& rec : {tuesday.recordings[1], tuesday.recordings[2]}) {
        for (qint64 i = rec.firstInDay; i < rec.endInDay; ++i) {
            ours.push_back(rec.clock.at(i));
        }
    }
    EXPECT_EQ(film, ours);

    const DayActivity nothing = kv::review::readDay(folder, kTuesday.addDays(1));
    EXPECT_TRUE(nothing.recordings.empty());
    EXPECT_FALSE(nothing.nearest(ms(at(kTuesday, 12, 0, 0))));
}

TEST_F(DayReview, NearestFrameAndMovementStepsLandWhereTheJournalsSay) {
    const kv::review::FolderDays folder = kv::review::listDays(folder_);
    const DayActivity monday = kv::review::readDay(folder, kMonday);
    const auto journalTime = [](const QString& avi, qint64 frame) {
        return ms(
            kv::record::readJournal(kv::record::journalPath(avi)).at(std::size_t(frame)).time);
    };
    struct Case {
        QDateTime t;
        QString recording;
        qint64 frame;
    };
    for (const Case& c :
         {Case{at(kMonday, 10, 0, 7, 400), a(), 7}, Case{at(kMonday, 9, 0, 0), a(), 0},
          Case{at(kMonday, 17, 1, 0), b(), 0},  // nearer 23:59:45 than 10:00:19
          Case{at(kMonday, 23, 59, 50, 600), b(), 6}}) {
        const auto n = monday.nearest(ms(c.t));
        ASSERT_TRUE(n) << c.t.toString().toStdString();
        EXPECT_EQ(monday.recordings[std::size_t(n->recording)].path, c.recording);
        EXPECT_EQ(n->frame, c.frame) << c.t.toString().toStdString();
        EXPECT_EQ(n->time_ms, journalTime(c.recording, c.frame));
    }
    const auto movement = monday.nextMovement(monday.dayStart_ms, true);
    ASSERT_TRUE(movement);
    EXPECT_EQ(monday.frames[movement->firstFrame].frame, 5);
    EXPECT_EQ(movement->from_ms, journalTime(a(), 5));
    const auto second = monday.nextMovement(movement->from_ms, true);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->from_ms, journalTime(b(), 10));
    EXPECT_FALSE(monday.nextMovement(second->from_ms, true));
    EXPECT_EQ(monday.nextMovement(second->from_ms, false)->from_ms, movement->from_ms);
    EXPECT_FALSE(monday.nextMovement(movement->from_ms, false));

    // Tuesday: C's frames are 40 ms apart from 11:59:59; in the morning B's
    // last frame is nearer than C's first.
    const DayActivity tuesday = kv::review::readDay(folder, kTuesday);
    const auto inC = tuesday.nearest(ms(at(kTuesday, 11, 59, 59, 490)));
    ASSERT_TRUE(inC);
    EXPECT_EQ(tuesday.recordings[std::size_t(inC->recording)].path, c());
    EXPECT_EQ(inC->frame, 12);
    EXPECT_EQ(inC->time_ms, ms(at(kTuesday, 11, 59, 59, 480)));
    EXPECT_EQ(inC->motion, -1);
    const auto morning = tuesday.nearest(ms(at(kTuesday, 6, 0, 0)));
    ASSERT_TRUE(morning);
    EXPECT_EQ(tuesday.recordings[std::size_t(morning->recording)].path, b());
    EXPECT_EQ(morning->frame, 29);
    EXPECT_EQ(morning->time_ms, journalTime(b(), 29));
}

TEST_F(DayReview, CacheGivesTheSameDayAndRereadsWhatChanged) {
    QTemporaryDir dir;
    const QString folderPath = dir.path() + u"/"_s;
    const QString copy = folderPath + u"261102_MO00.avi"_s;
    ASSERT_TRUE(QFile::copy(a(), copy));
    ASSERT_TRUE(QFile::copy(kv::record::journalPath(a()), kv::record::journalPath(copy)));
    ASSERT_TRUE(QFile::copy(b(), folderPath + u"261102_MO01.avi"_s));
    ASSERT_TRUE(QFile::copy(kv::record::journalPath(b()), folderPath + u"261102_MO01.csv"_s));
    setModified(folderPath + u"261102_MO01.avi"_s, at(kTuesday, 0, 0, 15));

    kv::review::DayCache cache;
    const kv::review::FolderDays folder = kv::review::listDays(folderPath);
    const DayActivity first = kv::review::readDay(folder, kMonday, &cache);
    EXPECT_EQ(cache.reads(), 2);
    EXPECT_EQ(cache.frames(), 20 + 30 + 2);
    const DayActivity again = kv::review::readDay(folder, kMonday, &cache);
    EXPECT_EQ(cache.reads(), 2);
    ASSERT_EQ(again.frames.size(), first.frames.size());
    for (std::size_t i = 0; i < first.frames.size(); ++i) {
        EXPECT_EQ(again.frames[i].time_ms, first.frames[i].time_ms);
        EXPECT_EQ(again.frames[i].motion, first.frames[i].motion);
        EXPECT_EQ(again.frames[i].frame, first.frames[i].frame);
    }
    EXPECT_EQ(again.movements.size(), first.movements.size());
    // B's other day comes from the same read.
    EXPECT_EQ(kv::review::readDay(folder, kTuesday, &cache).frames.size(), 15u);
    EXPECT_EQ(cache.reads(), 2);

    // A's journal rewritten: only A is read again, and its new motion shows.
    writeJournal(copy, at(kMonday, 10, 0, 0), lines(20, [](int) { return JournalFate::Movement; }));
    const DayActivity changed = kv::review::readDay(folder, kMonday, &cache);
    EXPECT_EQ(cache.reads(), 3);
    EXPECT_EQ(changed.frames[0].motion, 80);
    EXPECT_EQ(changed.movements.front().to_ms, ms(at(kMonday, 10, 0, 19)));

    // A bound of one recording keeps only the last read.
    kv::review::DayCache small(25);
    kv::review::readDay(folder, kMonday, &small);
    EXPECT_EQ(small.frames(), 31);
}

TEST_F(DayReview, LoaderDeliversOnItsThreadAndTheNewestDayWins) {
    kv::review::DayLoader loader;
    std::vector<QDate> loaded;
    std::vector<std::size_t> listed;
    QObject::connect(&loader, &kv::review::DayLoader::dayLoaded, &loader,
                     [&](std::shared_ptr<const DayActivity> day) {
                         EXPECT_EQ(QThread::currentThread(), loader.thread());
                         loaded.push_back(day->day);
                     });
    QObject::connect(&loader, &kv::review::DayLoader::daysListed, &loader,
                     [&](std::shared_ptr<const kv::review::FolderDays> days) {
                         EXPECT_EQ(QThread::currentThread(), loader.thread());
                         listed.push_back(days->days.size());
                     });
    loader.loadDay(folder_, kMonday);
    loader.loadDay(folder_, kTuesday);
    loader.loadDay(folder_, kThursday);
    ASSERT_TRUE(kv::test::pumpUntil([&] { return !loaded.empty(); }));
    // Requests are served in order: once a later listing is in, nothing of
    // the older days can follow.
    loader.listFolder(folder_);
    ASSERT_TRUE(kv::test::pumpUntil([&] { return !listed.empty(); }));
    EXPECT_EQ(loaded, std::vector<QDate>{kThursday});
    EXPECT_EQ(listed, std::vector<std::size_t>{3u});

    loader.loadDay(folder_, kMonday);
    ASSERT_TRUE(kv::test::pumpUntil([&] { return loaded.size() == 2; }));
    EXPECT_EQ(loaded.back(), kMonday);
}

}  // namespace

#include "film/daily_film.h"
#include "film/film_maker.h"
#include "media/clock.h"
#include "tests/film/film_recordings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using kv::film::DailyFilm;

namespace {

QDateTime on(int day, int h, int m) {
    return QDateTime(QDate(2026, 12, day), QTime(h, m));
}

int filmFrames(const QString& film) {
    QProcess p;
    p.start(u"ffprobe"_s,
            {u"-v"_s, u"error"_s, u"-count_frames"_s, u"-select_streams"_s, u"v:0"_s,
             u"-show_entries"_s, u"stream=nb_read_frames"_s, u"-of"_s, u"csv=p=0"_s, film});
    EXPECT_TRUE(p.waitForFinished(60000));
    return p.readAllStandardOutput().trimmed().toInt();
}

// Recordings on 7 and 8 Dec (two on the 8th), 20 small frames each.
class DailyFilmTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        folder_ = dir_.path() + u"/rec/"_s;
        films_ = folder_ + u"Films"_s;
        QDir().mkpath(folder_);
        using kv::film::test::record;
        record(folder_ + u"261207_MO01.avi"_s, u"MJPEG Compressor"_s, 160, 120, on(7, 9, 0), 20, 0);
        record(folder_ + u"261208_TU01.avi"_s, u"MJPEG Compressor"_s, 160, 120, on(8, 9, 0), 20, 0);
        record(folder_ + u"261208_TU02.avi"_s, u"MJPEG Compressor"_s, 160, 120, on(8, 10, 0), 20,
               20);
        settings_.AVIPath = folder_;
        settings_.DailyFilm = true;
        settings_.FilmLength = 1;  // 25 frames
    }

    // Waits for the films the daily film is making, one after the other.
    static void waitUntilIdle(DailyFilm& daily) {
        for (int i = 0; i < 2400 && daily.busy(); ++i) {
            QTest::qWait(50);
        }
        ASSERT_FALSE(daily.busy());
    }

    QTemporaryDir dir_;
    QString folder_;
    QString films_;
    kv::session::Settings settings_;
    kv::media::ManualClock clock_;
};

TEST_F(DailyFilmTest, FilmsYesterdayAfterMidnightOnceAndRemakesAFilmCutOffByACrash) {
    // A crash on the 8th left the film of the 7th half made.
    QDir().mkpath(films_);
    QFile cut(films_ + u"/2026-12-07.mp4.part"_s);
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write("half a film");
    cut.close();
    // Not ours: never touched.
    QFile other(films_ + u"/notes.part"_s);
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();

    // Off: nothing happens at all.
    {
        DailyFilm daily(clock_);
        kv::session::Settings off = settings_;
        off.DailyFilm = false;
        daily.setSettings(off);
        clock_.setNow(on(9, 0, 5));
        daily.check();
        EXPECT_FALSE(daily.busy());
    }

    DailyFilm daily(clock_);
    daily.setSettings(settings_);
    QSignalSpy started(&daily, &DailyFilm::started);
    QSignalSpy finished(&daily, &DailyFilm::finished);
    QSignalSpy failed(&daily, &DailyFilm::failed);
    QSignalSpy progress(&daily, &DailyFilm::progress);

    // The evening of the 8th: the half film goes and the 7th is made again.
    clock_.setNow(on(8, 23, 58));
    daily.start();
    // The new film of the 7th may already be writing under the same name:
    // what must be gone is the half film's content.
    if (cut.open(QIODevice::ReadOnly)) {
        EXPECT_NE(cut.read(11), QByteArray("half a film"));
        cut.close();
    }
    EXPECT_TRUE(QFile::exists(other.fileName()));
    waitUntilIdle(daily);
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started[0][0].toDate(), QDate(2026, 12, 7));
    ASSERT_EQ(finished.size(), 1) << failed.value(0).value(1).toString().toStdString();
    EXPECT_EQ(finished[0][1].toString(), films_ + u"/2026-12-07.mp4"_s);
    EXPECT_EQ(finished[0][3].toInt(), 1);
    EXPECT_EQ(filmFrames(films_ + u"/2026-12-07.mp4"_s), 20);
    EXPECT_FALSE(progress.isEmpty());

    // Still the 8th, and just after midnight within the grace: nothing new.
    daily.check();
    clock_.setNow(on(9, 0, 1));
    daily.check();
    EXPECT_FALSE(daily.busy());

    // After the grace the 8th is filmed: 25 of its 40 frames, from both recordings.
    clock_.setNow(on(9, 0, 3));
    daily.check();
    ASSERT_TRUE(daily.busy());
    daily.check();  // one film at a time
    waitUntilIdle(daily);
    ASSERT_EQ(finished.size(), 2);
    EXPECT_EQ(finished[1][0].toDate(), QDate(2026, 12, 8));
    EXPECT_EQ(finished[1][1].toString(), films_ + u"/2026-12-08.mp4"_s);
    EXPECT_DOUBLE_EQ(finished[1][2].toDouble(), 1.0);
    EXPECT_EQ(finished[1][3].toInt(), 2);
    EXPECT_EQ(filmFrames(films_ + u"/2026-12-08.mp4"_s), 25);
    EXPECT_TRUE(failed.isEmpty());

    // Checked again, and after a restart: each day stays filmed once.
    daily.check();
    EXPECT_FALSE(daily.busy());
    DailyFilm restarted(clock_);
    restarted.setSettings(settings_);
    restarted.start();
    EXPECT_FALSE(restarted.busy());
    EXPECT_EQ(QDir(films_).entryList(QDir::Files).size(), 3);  // two films and notes.part
}

TEST_F(DailyFilmTest, FilmsTheDayWhenItsWindowClosesAndAQuitLeavesNoHalfFilm) {
    settings_.RecUseTimer = true;
    settings_.RecStartTime = 6.0 / 24;
    settings_.RecStopTime = 12.0 / 24;
    settings_.FilmFormat = 1;  // AVI
    settings_.FilmLength = 0;  // every frame
    const QString film = films_ + u"/2026-12-08.avi"_s;
    // The 7th was filmed by hand: that counts, whatever the format.
    QDir().mkpath(films_);
    QFile byHand(films_ + u"/2026-12-07.mp4"_s);
    ASSERT_TRUE(byHand.open(QIODevice::WriteOnly));
    byHand.close();

    // Quit while the film of the 8th is being made: it is cancelled and nothing is left.
    {
        DailyFilm daily(clock_);
        daily.setSettings(settings_);
        clock_.setNow(on(8, 11, 59));
        daily.start();
        EXPECT_FALSE(daily.busy());  // the window is still open
        clock_.setNow(on(8, 12, 3));
        daily.check();
        ASSERT_TRUE(daily.busy());
        daily.stop();
        EXPECT_FALSE(daily.busy());
    }
    EXPECT_FALSE(QFile::exists(film));
    EXPECT_TRUE(QDir(films_).entryList({u"*.part"_s}, QDir::Files).isEmpty());

    // The next start makes it, from every frame.
    DailyFilm daily(clock_);
    daily.setSettings(settings_);
    QSignalSpy finished(&daily, &DailyFilm::finished);
    daily.start();
    waitUntilIdle(daily);
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished[0][1].toString(), film);
    EXPECT_EQ(filmFrames(film), 40);
}

}  // namespace

// The Playback page's day view on real recordings and journals over three
// days: what the strip shows, where a click, the day keys, Ctrl+Left/Right
// and "Go to time" land, checked by the journal time of the frame shown.

#include "app/day_strip.h"
#include "app/day_view.h"
#include "app/form_controls.h"
#include "app/playback_page.h"
#include "app/window_layout.h"
#include "media/clock.h"
#include "playback/playback_graph.h"
#include "record/journal.h"
#include "session/recording_session.h"
#include "tests/film/film_recordings.h"
#include "tests/support/test_env.h"

#include <QDateTimeEdit>
#include <QDialog>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sys/time.h>

#include <gtest/gtest.h>

using namespace kv;
using namespace Qt::Literals::StringLiterals;

namespace {

QDateTime at(int day, int hour, int minute, int second) {
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute, second));
}

// A recording of `count` frames a second apart from start, its journal
// rewritten with the given motion and movement; its last change at its last frame.
void recording(const QString& path, const QDateTime& start, int count,
               const std::function<bool(int)>& moving, int peak) {
    film::test::record(path, u"MJPEG Compressor"_s, 160, 120, start, count, 0);
    QFile journal(record::journalPath(path));
    ASSERT_TRUE(journal.open(QIODevice::WriteOnly | QIODevice::Truncate));
    journal.write(record::kJournalHeader);
    for (int i = 0; i < count; ++i) {
        record::JournalLine line;
        line.frame = i;
        line.time = start.addSecs(i);
        line.motion = moving(i) ? (moving(i - 2) && moving(i + 2) ? peak : peak / 2) : 3;
        line.trigger = 20;
        line.fate = moving(i) ? record::JournalFate::Movement : record::JournalFate::On;
        journal.write(record::formatJournalLine(line));
    }
    journal.close();
    const qint64 end = start.addSecs(count - 1).toSecsSinceEpoch();
    const struct timeval times[2] = {{end, 0}, {end, 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(path).constData(), times), 0);
}

class DayViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        folder_ = dir_.path() + u"/rec/"_s;
        QDir().mkpath(folder_);
        // 6 Dec: a movement at 10:00:03-05. 7 Dec: quiet across midnight.
        // 8 Dec: a movement at 12:00:10-14, and a damaged recording.
        recording(
            folder_ + u"261206_SU01.avi"_s, at(6, 10, 0, 0), 10,
            [](int i) { return i >= 3 && i <= 5; }, 50);
        recording(
            folder_ + u"261207_MO01.avi"_s, at(7, 23, 59, 50), 20, [](int) { return false; }, 0);
        recording(
            folder_ + u"261208_TU01.avi"_s, at(8, 12, 0, 0), 30,
            [](int i) { return i >= 10 && i <= 14; }, 80);
        QFile damaged(folder_ + u"261208_TU02.avi"_s);
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray(4096, 'x'));
        damaged.close();
        const qint64 noon = at(8, 12, 30, 0).toSecsSinceEpoch();
        const struct timeval times[2] = {{noon, 0}, {noon, 0}};
        ASSERT_EQ(::utimes(QFile::encodeName(damaged.fileName()).constData(), times), 0);
        QFile::copy(record::journalPath(folder_ + u"261208_TU01.avi"_s),
                    record::journalPath(damaged.fileName()));

        c_ = app::buildForm1Controls(&window_);
        settings_.AVIPath = folder_;
        page_ = std::make_unique<app::PlaybackPage>(c_, &window_, settings_, session_,
                                                    media::systemClock(), terminating_);
        window_.resize(700, 620);
        app::applyClientLayout(c_, app::windowLayoutFor(640, 480));
        window_.show();
        c_.tBtnDayView->setChecked(true);
        c_.PageControl->setCurrentWidget(c_.tsPlayback);
    }

    // The day view shows `day`, read.
    bool dayShown(QDate day) {
        return test::pumpUntil(
            [&] { return c_.DayPanel->activity() && c_.DayPanel->activity()->day == day; }, 20000);
    }
    // The page shows frame `frame` of `name`, taken at `taken`.
    void expectShown(const QString& name, qint64 frame, const QDateTime& taken) {
        ASSERT_TRUE(test::pumpUntil(
            [&] {
                return page_->PlaybackFileName() == folder_ + name &&
                       page_->playbackGraph().loaded() && page_->shownFrame() == frame;
            },
            20000))
            << name.toStdString() << " frame " << frame << ", shown "
            << page_->PlaybackFileName().toStdString() << " " << page_->shownFrame();
        ASSERT_TRUE(page_->shownFrameTime().has_value());
        EXPECT_EQ(*page_->shownFrameTime(), taken);
    }

    QTemporaryDir dir_;
    QString folder_;
    QWidget window_;
    app::Form1Controls c_;
    session::Settings settings_;
    session::RecordingSession session_;
    const bool terminating_ = false;
    std::unique_ptr<app::PlaybackPage> page_;
};

TEST_F(DayViewTest, TheStripShowsTheDayAndAClickGoesToTheFrameNearestTheMoment) {
    ASSERT_TRUE(dayShown(QDate(2026, 12, 8)));  // the latest day with recordings
    const auto day = c_.DayPanel->activity();
    // The recording across midnight and the noon one; the damaged one is told and left out.
    ASSERT_EQ(day->recordings.size(), 2u);
    EXPECT_EQ(day->recordings[0].path, folder_ + u"261207_MO01.avi"_s);
    EXPECT_EQ(day->recordings[0].from_ms, at(8, 0, 0, 0).toMSecsSinceEpoch());
    EXPECT_EQ(day->recordings[1].path, folder_ + u"261208_TU01.avi"_s);
    ASSERT_FALSE(day->warnings.isEmpty());
    EXPECT_TRUE(day->warnings.front().contains(u"261208_TU02"_s))
        << day->warnings.front().toStdString();
    ASSERT_EQ(day->movements.size(), 1u);
    EXPECT_EQ(day->movements[0].from_ms, at(8, 12, 0, 10).toMSecsSinceEpoch());
    EXPECT_EQ(day->movements[0].to_ms, at(8, 12, 0, 14).toMSecsSinceEpoch());
    // The graph's peak is the journal's largest motion, in the column of its frame.
    app::DayStrip* strip = c_.DayPanel->strip();
    ASSERT_GT(strip->width(), 200);
    const std::vector<int> peaks =
        review::columnPeaks(day->frames, strip->viewFrom(), strip->viewTo(), strip->width());
    const int noon = strip->xAt(at(8, 12, 0, 12).toMSecsSinceEpoch());
    EXPECT_EQ(peaks[std::size_t(noon)], 80);
    EXPECT_EQ(*std::max_element(peaks.begin(), peaks.end()), 80);

    // Zoomed in to minutes around noon, a click lands on the frame nearest the moment.
    strip->zoom(8, at(8, 12, 0, 0).toMSecsSinceEpoch());
    EXPECT_LE(strip->viewTo() - strip->viewFrom(), 10 * 60 * 1000);
    const int x = strip->xAt(at(8, 12, 0, 21).toMSecsSinceEpoch() + 200);
    const qint64 clicked = strip->timeAt(x);
    EXPECT_LE(std::abs(clicked - at(8, 12, 0, 21).toMSecsSinceEpoch()), 1500);
    const qint64 nearest = (clicked - at(8, 12, 0, 0).toMSecsSinceEpoch() + 500) / 1000;
    QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(x, 10));
    expectShown(u"261208_TU01.avi"_s, nearest, at(8, 12, 0, int(nearest)));
    // Ctrl+Left: this recording's movement, then back over a quiet day to the 6th's.
    page_->keyPressed(Qt::Key_Left, Qt::ControlModifier);
    expectShown(u"261208_TU01.avi"_s, 10, at(8, 12, 0, 10));
    page_->keyPressed(Qt::Key_Left, Qt::ControlModifier);
    expectShown(u"261206_SU01.avi"_s, 3, at(6, 10, 0, 3));
    EXPECT_TRUE(dayShown(QDate(2026, 12, 6)));
    page_->keyPressed(Qt::Key_Right, Qt::ControlModifier);
    expectShown(u"261208_TU01.avi"_s, 10, at(8, 12, 0, 10));
}

TEST_F(DayViewTest, DayKeysAndGoToTimeLandOnRecordedDays) {
    ASSERT_TRUE(dayShown(QDate(2026, 12, 8)));
    // Page Up: the recording made across midnight shows on its first day too.
    page_->keyPressed(Qt::Key_PageUp, {});
    ASSERT_TRUE(dayShown(QDate(2026, 12, 7)));
    ASSERT_EQ(c_.DayPanel->activity()->recordings.size(), 1u);
    EXPECT_GE(c_.DayPanel->activity()->recordings[0].to_ms, at(7, 23, 59, 59).toMSecsSinceEpoch());
    page_->keyPressed(Qt::Key_PageUp, {});
    ASSERT_TRUE(dayShown(QDate(2026, 12, 6)));
    page_->keyPressed(Qt::Key_PageUp, {});  // nothing before: stays
    EXPECT_EQ(c_.DayPanel->shownDay(), QDate(2026, 12, 6));
    page_->keyPressed(Qt::Key_PageDown, {});
    ASSERT_TRUE(dayShown(QDate(2026, 12, 7)));

    c_.DayPanel->goToTime(at(7, 23, 59, 55).addMSecs(300));
    expectShown(u"261207_MO01.avi"_s, 5, at(7, 23, 59, 55));
    // A day without recordings: the nearest recorded frame, the last of the 8th.
    c_.DayPanel->goToTime(at(9, 8, 0, 0));
    expectShown(u"261208_TU01.avi"_s, 29, at(8, 12, 0, 29));
    // Ctrl+G asks for the moment.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QDateTimeEdit*>(u"edGoToTime"_s)->setDateTime(at(6, 10, 0, 7));
        dialog->accept();
    });
    page_->keyPressed(Qt::Key_G, Qt::ControlModifier);
    expectShown(u"261206_SU01.avi"_s, 7, at(6, 10, 0, 7));
}

}  // namespace

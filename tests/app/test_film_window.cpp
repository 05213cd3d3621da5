// The film dialog and the daily film's status as the user sees them: real
// recordings, a real film, played back in the Playback page.

#include "app/daily_film_status.h"
#include "app/form_controls.h"
#include "app/playback_page.h"
#include "dialogs/film_dialog.h"
#include "media/clock.h"
#include "playback/playback_graph.h"
#include "session/recording_session.h"
#include "tests/support/avi_writer.h"
#include "tests/support/test_env.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDBusConnection>
#include <QDateTimeEdit>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>

#include <sys/time.h>

#include <gtest/gtest.h>

using namespace kv;
using namespace Qt::Literals::StringLiterals;

namespace {

// Two recordings of 1 Mar 2025 without journals, timed back from their last change.
QString recordingsOfFirstMarch(const QTemporaryDir& dir) {
    const QString folder = dir.path() + u"/rec/"_s;
    QDir().mkpath(folder);
    int n = 0;
    for (const int hour : {9, 10}) {
        const QString path = folder + u"250301_SA0%1.avi"_s.arg(n++);
        EXPECT_TRUE(test::writeTestAvi({path, u"jpegenc"_s, 30, 160, 120, true}));
        const qint64 end = QDateTime(QDate(2025, 3, 1), QTime(hour, 0)).toSecsSinceEpoch();
        const struct timeval times[2] = {{end, 0}, {end, 0}};
        EXPECT_EQ(::utimes(QFile::encodeName(path).constData(), times), 0);
    }
    return folder;
}

TEST(FilmDialog, NamesTheFilmAsItIsChosenMakesItAndPlaysItInThePlaybackPage) {
    QTemporaryDir dir;
    const QString folder = recordingsOfFirstMarch(dir);
    QWidget window;
    app::Form1Controls c = app::buildForm1Controls(&window);
    session::Settings settings;
    settings.AVIPath = folder;
    settings.FilmLength = 2;
    session::RecordingSession session;
    const bool terminating = false;
    app::PlaybackPage page(c, &window, settings, session, media::systemClock(), terminating);
    c.PageControl->setCurrentWidget(c.tsPlayback);
    EXPECT_TRUE(c.tBtnFilm->isVisibleTo(&window));
    // The dialog's day: today with nothing loaded, else the recording's.
    EXPECT_EQ(page.filmDay(), QDate::currentDate());
    page.openFile(folder + u"250301_SA01.avi"_s);
    ASSERT_TRUE(test::pumpUntil([&] { return page.playbackGraph().loaded(); }, 20000));
    EXPECT_EQ(page.filmDay(), QDate(2025, 3, 1));

    dialogs::FilmDialog dialog(folder, QDate(2025, 3, 1), settings, &window);
    auto* name = dialog.findChild<QLabel*>(u"FilmName"_s);
    auto* to = dialog.findChild<QDateTimeEdit*>(u"FilmTo"_s);
    auto* format = dialog.findChild<QComboBox*>(u"FilmFormat"_s);
    auto* start = dialog.findChild<QPushButton*>(u"FilmStart"_s);
    auto* play = dialog.findChild<QPushButton*>(u"FilmPlay"_s);
    auto* bar = dialog.findChild<QProgressBar*>(u"FilmProgress"_s);
    ASSERT_TRUE(name && to && format && start && play && bar);
    EXPECT_EQ(name->text(), u"Films/2025-03-01.mp4"_s);
    format->setCurrentIndex(1);
    EXPECT_EQ(name->text(), u"Films/2025-03-01.avi"_s);
    to->setTime(QTime(9, 30));
    EXPECT_EQ(name->text(), u"Films/2025-03-01 00-00 to 09-30.avi"_s);
    to->setDateTime(QDateTime(QDate(2025, 2, 28), QTime(12, 0)));
    EXPECT_FALSE(start->isEnabled());  // the end before the start
    to->setDateTime(QDateTime(QDate(2025, 3, 1), QTime(23, 59)));
    format->setCurrentIndex(0);
    EXPECT_EQ(dialog.request().lengthSeconds, 2);
    EXPECT_EQ(dialog.request().to, QDateTime(QDate(2025, 3, 1), QTime(23, 59, 59, 999)));

    // Made on its own thread: the event loop runs while it is made.
    QSignalSpy played(&dialog, &dialogs::FilmDialog::playFilm);
    QObject::connect(&dialog, &dialogs::FilmDialog::playFilm, &page, &app::PlaybackPage::openFile);
    start->click();
    EXPECT_FALSE(start->isVisibleTo(&dialog));
    EXPECT_TRUE(dialog.findChild<QPushButton*>(u"FilmCancel"_s)->isVisibleTo(&dialog));
    EXPECT_FALSE(format->isEnabled());
    ASSERT_TRUE(test::pumpUntil([&] { return !dialog.filmPath().isEmpty(); }, 60000));
    EXPECT_EQ(dialog.filmPath(), folder + u"Films/2025-03-01.mp4"_s);
    EXPECT_EQ(bar->value(), 100);
    EXPECT_TRUE(play->isVisibleTo(&dialog));
    // The next film of the same span would not replace this one.
    EXPECT_EQ(name->text(), u"Films/2025-03-01 (2).mp4"_s);

    // The Playback page plays the MP4 film frame by frame: 2 s at 25 frames/s.
    play->click();
    ASSERT_EQ(played.size(), 1);
    ASSERT_TRUE(test::pumpUntil([&] { return page.playbackGraph().loaded(); }, 20000));
    EXPECT_EQ(page.PlaybackFileName(), dialog.filmPath());
    EXPECT_EQ(c.TBPlayback->maximum(), 50);
    page.BtnForwardClick();
    EXPECT_TRUE(c.StatusBarPlayback->panelText(1).startsWith(u"Frame 2 of 50"_s))
        << c.StatusBarPlayback->panelText(1).toStdString();
    page.ClosePlaybackGraph();
}

TEST(DailyFilmStatus, TellsTheFilmInBothStatusBarsOnceTheDayIsOver) {
    QTemporaryDir dir;
    const QString folder = recordingsOfFirstMarch(dir);
    QWidget window;
    app::Form1Controls c = app::buildForm1Controls(&window);
    window.show();
    session::Settings settings;  // the window's, loaded later
    media::ManualClock clock;
    clock.setNow(QDateTime(QDate(2025, 3, 2), QTime(0, 10)));
    app::DesktopNotifications notifications(QDBusConnection(u"none"_s));
    app::DailyFilmStatus status(c, notifications, settings, clock, &window);
    QSignalSpy finished(&status.daily(), &film::DailyFilm::finished);

    test::pumpUntil([] { return false; }, 200);  // its first check: the film is off
    EXPECT_FALSE(status.daily().busy());
    EXPECT_TRUE(status.text().isEmpty());

    settings.AVIPath = folder;
    settings.DailyFilm = true;
    status.daily().check();
    EXPECT_EQ(status.text(), u"Filming 1 Mar"_s);
    auto* onRecord = c.StatusBarRecord->findChild<QLabel*>(u"lbDailyFilm"_s);
    auto* onPlayback = c.StatusBarPlayback->findChild<QLabel*>(u"lbDailyFilm"_s);
    ASSERT_TRUE(onRecord && onPlayback);
    EXPECT_TRUE(onRecord->isVisibleTo(c.StatusBarRecord));
    EXPECT_TRUE(onPlayback->isVisibleTo(c.StatusBarPlayback));

    ASSERT_TRUE(test::pumpUntil([&] { return !finished.isEmpty(); }, 60000));
    EXPECT_EQ(status.text(), u"Film of 1 Mar ready"_s);
    EXPECT_EQ(onRecord->toolTip(), folder + u"Films/2025-03-01.mp4"_s);
    // Ready: told on the Record page, with room for the text; the Playback
    // page keeps its room for the file shown.
    EXPECT_TRUE(onRecord->isVisible());
    EXPECT_GE(onRecord->width(), onRecord->fontMetrics().horizontalAdvance(onRecord->text()));
    EXPECT_LE(onRecord->geometry().right(), c.StatusBarRecord->width());
    EXPECT_FALSE(onPlayback->isVisibleTo(c.StatusBarPlayback));
    EXPECT_TRUE(QFileInfo::exists(folder + u"Films/2025-03-01.mp4"_s));
}

}  // namespace

// The Playback page and the live panel work on the window's controls alone,
// without the window around them.

#include "app/form_controls.h"
#include "app/live_panel.h"
#include "app/playback_page.h"
#include "app/tray_state.h"
#include "playback/playback_graph.h"
#include "session/recording_session.h"
#include "session/settings.h"
#include "tests/support/avi_writer.h"
#include "tests/support/test_env.h"

#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWidget>

#include <gtest/gtest.h>

using namespace kv;
using namespace Qt::StringLiterals;

namespace {

TEST(PlaybackPage, LoadsStepsAndMovesToTheNextRecordingOnItsControls) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString first = folder.filePath(QStringLiteral("250301_SA00.avi"));
    const QString second = folder.filePath(QStringLiteral("250301_SA01.avi"));
    ASSERT_TRUE(test::writeTestAvi({first, QStringLiteral("jpegenc"), 8, 160, 120, true}));
    ASSERT_TRUE(test::writeTestAvi({second, QStringLiteral("jpegenc"), 5, 160, 120, true}));

    QWidget window;
    app::Form1Controls c = app::buildForm1Controls(&window);
    session::Settings settings;
    settings.AVIPath = folder.path() + QLatin1Char('/');
    session::RecordingSession session;
    const bool terminating = false;
    app::PlaybackPage page(c, &window, settings, session, media::systemClock(), terminating);

    EXPECT_FALSE(page.keyPressed(Qt::Key_Space, Qt::NoModifier));  // not its page yet
    c.PageControl->setCurrentWidget(c.tsPlayback);
    EXPECT_FALSE(page.keyPressed(Qt::Key_Space, Qt::NoModifier));  // nothing loaded

    page.setPlaybackFileName(first);
    page.BuildPlaybackGraph();
    ASSERT_TRUE(test::pumpUntil([&] { return page.playbackGraph().loaded(); }));
    EXPECT_EQ(c.TBPlayback->maximum(), 8);
    EXPECT_TRUE(c.tBtnSave->isEnabled());
    page.BtnForwardClick();
    page.BtnForwardClick();
    EXPECT_EQ(c.TBPlayback->value(), 2);
    EXPECT_TRUE(c.StatusBarPlayback->panelText(1).startsWith(QStringLiteral("Frame 3 of 8")));
    EXPECT_TRUE(page.keyPressed(Qt::Key_Plus, Qt::NoModifier));
    EXPECT_EQ(c.tBtnSpeed->text(), QStringLiteral("2x"));

    page.BtnNextFileClick();
    EXPECT_EQ(page.PlaybackFileName(), second);
    ASSERT_TRUE(test::pumpUntil([&] { return page.playbackGraph().loaded(); }));
    EXPECT_EQ(c.TBPlayback->maximum(), 5);
    page.ClosePlaybackGraph();
    EXPECT_FALSE(page.playbackGraph().loaded());
    EXPECT_TRUE(c.StatusBarPlayback->panelText(1).isEmpty());
}

TEST(LivePanel, KeepsTheCamerasAspectInTheRecordPanel) {
    QWidget window;
    app::Form1Controls c = app::buildForm1Controls(&window);
    session::RecordingSession session;
    app::LivePanel live(c, &window, session, media::systemClock());
    live.setFrameSize(QSize(0, 0));
    EXPECT_EQ(live.frameSize(), QSize(320, 240));  // no format yet
    live.resetPicture(QSize(320, 240));
    EXPECT_EQ(live.picture().size(), QSize(320, 240));

    c.PanelRecord->resize(400, 400);
    live.setFrameSize(QSize(640, 360));
    live.fit();
    EXPECT_EQ(live.picture().width(), c.PanelRecord->contentsRect().width());
    EXPECT_EQ(live.picture().height(), c.PanelRecord->contentsRect().width() * 9 / 16);
    live.stampFrame(0);  // draws on the picture, never outside it
    EXPECT_EQ(live.picture().format(), QImage::Format_RGB32);
}

struct TipRow {
    app::TrayFacts facts;
    const char* tip;
};

// The mode, file and frames while a file is open; otherwise what the session says.
TEST(TrayState, TheTipSaysTheModeAndTheFileOrTheState) {
    const TipRow rows[] = {
        {{session::StatePause, u"Waiting for movement"_s, u"/rec/261208_TU03.avi"_s, 412},
         "Recording on movement, 261208_TU03.avi, 412 frames"},
        {{session::StateRecord, u"Recording"_s, u"/rec/a.avi"_s, 1}, "Recording, a.avi, 1 frame"},
        {{session::StateOff, u"Recording off"_s, u"/rec/a.avi"_s, 0},
         "Recording off, a.avi, 0 frames"},
        {{session::StatePause, u"No camera"_s, {}, 0}, "No camera"},
        {{session::StateRecord, u"Camera lost: Door (no picture for 6 s)"_s, {}, 0},
         "Camera lost: Door (no picture for 6 s)"},
    };
    for (const TipRow& row : rows) {
        EXPECT_EQ(app::trayStateText(row.facts), QString::fromUtf8(row.tip));
    }
}

}  // namespace

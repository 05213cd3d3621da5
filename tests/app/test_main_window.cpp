// The main window in-process: its handlers drive real pipelines with URI
// cameras, real settings files and real recordings in a temporary home.

#include "app/Main.h"
#include "app/form_controls.h"
#include "app/live_panel.h"
#include "app/playback_page.h"
#include "app/settings_store.h"
#include "app/window_messages.h"
#include "capture/grabber_callback.h"
#include "dialogs/Dlgeinstellung.h"
#include "dialogs/Dlgselectcapturesrc.h"
#include "dialogs/Dlgselectcompressor.h"
#include "dialogs/add_camera_dialog.h"
#include "dialogs/shortcuts_dialog.h"
#include "media/uri_camera.h"
#include "playback/playback_graph.h"
#include "record/journal.h"
#include "record/record_graph.h"
#include "session/recording_session.h"
#include "tests/playback/held_load.h"
#include "tests/support/avi_probe.h"
#include "tests/support/avi_writer.h"
#include "tests/support/test_env.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <cmath>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>

#include <algorithm>

using namespace kv;

namespace {

const QString kBall = QStringLiteral("Ball=test:ball?width=160&height=120");
const QString kBars = QStringLiteral("Bars=test:smpte75?width=320&height=240");

class MainWindowTest : public ::testing::Test {
  protected:
    MainWindowTest() {
        recordings_ = home_.documentsDir() + QStringLiteral("/rec/");
        QDir().mkpath(recordings_);
        settings_.AVIPath = recordings_;
        settings_.RecInterval = 40;
        settings_.Mode = 1;
    }
    ~MainWindowTest() override {
        form_.reset();
        media::clearUriCameras();
    }

    // Writes the settings, then creates the window and runs its start-up.
    TForm1& start(const QStringList& cameras = {kBall}) {
        app::SettingsStore store(QStringLiteral("9"));
        EXPECT_TRUE(store.save(settings_, nullptr));
        QStringList arguments{QStringLiteral("/I9")};
        for (const QString& camera : cameras) {
            arguments << QStringLiteral("--camera") << camera;
        }
        form_ = std::make_unique<TForm1>(arguments);
        media::MessageEvent startup(app::WM_STARTUP);
        QCoreApplication::sendEvent(form_.get(), &startup);
        // The tests tick the record timer themselves.
        form_->session().setRecordTimerInterval(3600 * 1000);
        // Recording starts once the start-up repair has looked at the folder.
        EXPECT_TRUE(pumpUntil([this] { return !form_->session().repairing(); }));
        return *form_;
    }

    // The record timer's ticks, as many as it takes past the restart delay. A
    // recording that waits for the camera's format is let start.
    void ticks(int n) {
        for (int i = 0; i < n; ++i) {
            form_->session().RecordTimerTimer();
            pumpUntil([this] { return !form_->session().recordPending(); });
        }
    }

    void pump(int ms) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    }

    // The record timer ticking in real time (faster than once a second).
    bool tickUntil(const std::function<bool()>& done, int timeout_ms) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < timeout_ms) {
            form_->session().RecordTimerTimer();
            pump(250);
        }
        return done();
    }

    static bool pumpUntil(const std::function<bool()>& done, int timeout_ms = 10000) {
        return test::pumpUntil(done, timeout_ms);
    }

    QStringList recordingFiles() const {
        return QDir(recordings_).entryList({QStringLiteral("*.avi")}, QDir::Files, QDir::Name);
    }

    test::TempHome home_;
    QString recordings_;
    session::Settings settings_;
    std::unique_ptr<TForm1> form_;
};

TEST_F(MainWindowTest, RecordsEveryFrameInModeOnIntoADatedFile) {
    TForm1& form = start();
    ticks(3);
    ASSERT_TRUE(form.session().captureGraphExists());
    ASSERT_TRUE(form.session().recordGraphExists());
    const auto& c = form.controls();
    EXPECT_TRUE(c.tBtnRecOn->isChecked());
    EXPECT_TRUE(c.tBtnRecOn->isEnabled());
    EXPECT_TRUE(c.tBtnSelectCompressor->isEnabled());
    ASSERT_TRUE(pumpUntil([&] { return form.session().recordedFrames() >= 10; }));
    EXPECT_EQ(c.MotionDisplayBar->value(), 0);  // mode On measures nothing
    EXPECT_TRUE(c.tBtnOpenActual->isEnabled());
    const QString name = QFileInfo(form.session().RecordFileName()).fileName();
    EXPECT_TRUE(c.StatusBarRecord->panelText(0).startsWith(name + QStringLiteral(": ")));
    EXPECT_TRUE(c.StatusBarRecord->panelText(0).endsWith(QStringLiteral(" Frames.")));
    // The live picture shows the red record sign.
    EXPECT_EQ(form.live().picture().pixelColor(10, 10), QColor(255, 0, 0));

    form.CloseRecordGraph();
    const int frames = form.session().recordedFrames();
    EXPECT_EQ(c.StatusBarRecord->panelText(0), QStringLiteral("AUS"));
    EXPECT_FALSE(c.tBtnRecOn->isEnabled());
    const test::AviProbe probe = test::probeAvi(form.session().RecordFileName());
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.frames, frames);
    EXPECT_EQ(probe.frameRate, QStringLiteral("25/1"));
    EXPECT_EQ(probe.codec, QStringLiteral("mjpeg"));
    EXPECT_EQ(probe.width, 160);
    EXPECT_TRUE(test::hasIdx1(form.session().RecordFileName()));
    EXPECT_EQ(name.size(), 15);
    EXPECT_TRUE(name.endsWith(QStringLiteral("00.avi")));
}

TEST_F(MainWindowTest, OnMovementAStillPictureRecordsNothingAndAMovingOneDoes) {
    settings_.Mode = 2;
    settings_.Trigger = 2000;
    TForm1& form = start({kBars});
    ticks(3);
    ASSERT_TRUE(form.session().recordGraphExists());
    pump(1500);
    EXPECT_EQ(form.session().recordedFrames(), 0);
    EXPECT_EQ(form.live().picture().pixelColor(6, 10), QColor(Qt::white));  // pause sign
    EXPECT_EQ(form.controls().StatusBarRecord->panelText(1),
              QStringLiteral("Waiting for movement"));
    form.CloseRecordGraph();
    form.CloseCaptureGraph();
    EXPECT_TRUE(recordingFiles().isEmpty()) << "a file without frames was left";
    media::clearUriCameras();
    form_.reset();

    TForm1& moving = start({kBall});
    ticks(3);
    ASSERT_TRUE(pumpUntil([&] { return moving.session().recordedFrames() >= 3; }));
    EXPECT_GT(moving.controls().MotionDisplayBar->value(), 2000);
    EXPECT_EQ(moving.controls().StatusBarRecord->panelText(1), QStringLiteral("Recording"));

    // Outside the daily recording window nothing starts, and the bar says until when.
    form_.reset();
    settings_.RecUseTimer = true;
    const double now = session::timeOfDay(QDateTime::currentDateTime());
    settings_.RecStartTime = std::fmod(now + 0.25, 1.0);  // six hours from now
    settings_.RecStopTime = std::fmod(now + 0.5, 1.0);
    TForm1& waiting = start({kBall});
    ticks(3);
    EXPECT_FALSE(waiting.session().recordGraphExists());
    EXPECT_TRUE(waiting.controls().StatusBarRecord->panelText(1).startsWith(
        QStringLiteral("Outside the recording window until ")));
}

TEST_F(MainWindowTest, ModeOffAndAQuitBeforeTheFirstFrameLeaveNoFile) {
    settings_.Mode = 0;
    TForm1& form = start();
    ticks(3);
    ASSERT_TRUE(form.session().recordGraphExists());
    ASSERT_TRUE(pumpUntil([&] {
        return form.controls().tBtnRecOff->isChecked() && !form.live().picture().isNull() &&
               form.live().picture().pixelColor(10, 10) == QColor(Qt::white);
    }));
    form.CloseRecordGraph();
    form.CloseCaptureGraph();
    EXPECT_TRUE(recordingFiles().isEmpty());
    // A recording closed before its first frame, as a rotation or quit does.
    form.tBtnRecClick(1);
    ticks(1);
    ASSERT_TRUE(form.session().recordGraphExists());
    form.CloseRecordGraph();
    form.CloseCaptureGraph();
    EXPECT_TRUE(recordingFiles().isEmpty());
}

// The frame as recorded, decoded by ffmpeg: RGB rows, top first.
QImage ffmpegFrame(const QString& path, int width, int height) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                  QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-f"),
                  QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"), QStringLiteral("rgb24"),
                  QStringLiteral("-")});
    if (!ffmpeg.waitForFinished(30000) || ffmpeg.exitCode() != 0) {
        return {};
    }
    const QByteArray bytes = ffmpeg.readAllStandardOutput();
    if (bytes.size() != qsizetype(width) * height * 3) {
        return {};
    }
    return QImage(reinterpret_cast<const uchar*>(bytes.constData()), width, height, width * 3,
                  QImage::Format_RGB888)
        .copy();
}

int brightestIn(const QImage& image, const QRect& area) {
    int brightest = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            brightest = std::max({brightest, c.red(), c.green(), c.blue()});
        }
    }
    return brightest;
}

TEST_F(MainWindowTest, RecordedFramesCarryTheStampOnTrueBlack) {
    TForm1& form = start({QStringLiteral("Black=test:black?width=320&height=240")});
    ticks(3);
    ASSERT_TRUE(pumpUntil([&] { return form.session().recordedFrames() >= 2; }));
    form.CloseRecordGraph();
    const QImage frame = ffmpegFrame(form.session().RecordFileName(), 320, 240);
    ASSERT_FALSE(frame.isNull());
    // Date at the bottom left, time at the bottom right, white on black.
    const int band = 24;
    EXPECT_GE(brightestIn(frame, QRect(0, 240 - band, 120, band)), 200);
    EXPECT_GE(brightestIn(frame, QRect(200, 240 - band, 120, band)), 200);
    // Above the stamp the picture is black as the camera's, not 16.
    EXPECT_LE(brightestIn(frame, QRect(0, 0, 320, 240 - band - 8)), 4);
    // No record sign or indicator text in the recording.
    EXPECT_LE(brightestIn(frame, QRect(0, 0, 160, 24)), 4);
}

TEST_F(MainWindowTest, APowerEventHoldsTheRecordTimerForThirtyTicks) {
    TForm1& form = start();
    form.PowerBroadcast();
    EXPECT_EQ(form.session().restartDelay(), 30);
    ticks(29);
    EXPECT_FALSE(form.session().captureGraphExists());
    EXPECT_FALSE(form.session().recordGraphExists());
    ticks(1);
    EXPECT_TRUE(form.session().recordGraphExists());
}

TEST_F(MainWindowTest, FilesRotateOverTheFrameLimitWhileTheCameraRunsOn) {
    settings_.MaxRecordSamples = 5;
    TForm1& form = start();
    ticks(3);
    ASSERT_TRUE(pumpUntil([&] { return form.session().recordedFrames() > 0; }));
    const QString first = form.session().RecordFileName();
    ASSERT_TRUE(pumpUntil([&] { return form.session().RecordFileName() != first; }));
    EXPECT_TRUE(form.session().captureGraphExists());
    EXPECT_TRUE(form.session().recordGraphExists());
    EXPECT_TRUE(form.session().RecordFileName().endsWith(QStringLiteral("01.avi")));
    ASSERT_TRUE(pumpUntil([&] { return form.session().recordingsFinishing() == 0; }));
    EXPECT_EQ(test::probeAvi(first).frames, 6);
}

TEST_F(MainWindowTest, RecordModeButtonsSetTheModeAndTheInterval) {
    settings_.RecInterval = 700;
    TForm1& form = start();
    ticks(3);
    form.controls().tBtnRecOff->click();
    EXPECT_EQ(form.settings().Mode, 0);
    EXPECT_EQ(form.session().frameInterval(), 200u);
    EXPECT_FALSE(form.controls().tBtnRecOn->isChecked());
    form.controls().tBtnRecMove->click();
    EXPECT_EQ(form.settings().Mode, 2);
    EXPECT_EQ(form.session().frameInterval(), 700u);
}

// A window saved where no screen shows it any more (a monitor taken away)
// comes back in the middle of the main screen.
TEST_F(MainWindowTest, AWindowSavedOffEveryScreenComesBackOnOne) {
    settings_.Left = 5000;
    settings_.Top = -3000;
    TForm1& form = start();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(form.geometry().center()))
        << form.geometry().x() << "," << form.geometry().y();
}

// A first start lays the window out for the camera; the user's resizing keeps
// the picture's aspect, with bars beside it, and the next start comes back at
// the size the window was left at.
TEST_F(MainWindowTest, TheWindowResizesAroundAPictureThatKeepsItsAspect) {
    TForm1& form = start({QStringLiteral("Wide=test:ball?width=320&height=180")});
    ticks(3);
    ASSERT_TRUE(pumpUntil([&] { return form.session().recordedFrames() >= 1; }));
    EXPECT_EQ(form.size(), QSize(350, 292));
    EXPECT_EQ(form.live().picture().size(), QSize(320, 180));

    form.show();
    form.resize(800, 452);  // a picture area of 770 x 340
    EXPECT_EQ(form.controls().PanelRecord->geometry(), QRect(5, 5, 774, 344));
    EXPECT_EQ(form.live().picture().size(), QSize(604, 340));
    const int shown = form.session().recordedFrames();
    ASSERT_TRUE(pumpUntil([&] { return form.session().recordedFrames() > shown + 1; }));
    const QImage panel = form.controls().PaintBoxRecord->grab().toImage();
    ASSERT_EQ(panel.size(), QSize(770, 340));
    EXPECT_EQ(panel.pixelColor(40, 170), QColor(Qt::black));      // a bar
    EXPECT_EQ(panel.pixelColor(729, 170), QColor(Qt::black));     // the other bar
    EXPECT_EQ(panel.pixelColor(83 + 10, 10), QColor(255, 0, 0));  // the record sign, in the picture

    ASSERT_TRUE(form.SaveSettings());
    settings_ = app::SettingsStore(QStringLiteral("9")).load(0, 0);
    EXPECT_EQ(QSize(settings_.Width, settings_.Height), QSize(800, 452));
    form_.reset();
    TForm1& again = start({QStringLiteral("Wide=test:ball?width=320&height=180")});
    ticks(3);
    ASSERT_TRUE(pumpUntil([&] { return again.session().recordedFrames() >= 1; }));
    EXPECT_EQ(again.size(), QSize(800, 452));
    EXPECT_EQ(again.live().picture().size(), QSize(604, 340));
}

// While the mask is shown, it is painted with the mouse on the live picture:
// exactly the cells under the brush, saved as the stroke ends, undone with
// Ctrl+Z; the mask learned by Autoset keeps what was painted ignored.
TEST_F(MainWindowTest, TheMaskIsPaintedWithTheMouseOnTheLivePicture) {
    settings_.Mode = 2;
    settings_.Trigger = 30000;
    TForm1& form = start({kBars});
    ticks(3);
    ASSERT_TRUE(pumpUntil([&] { return form.session().recordGraphExists(); }));
    form.show();
    const auto& c = form.controls();
    ASSERT_EQ(c.PaintBoxRecord->size(), QSize(320, 240));  // a cell is 4 x 4 pixels
    c.cmShowMask->trigger();
    QTest::keyClick(&form, Qt::Key_3);

    QWidget* box = c.PaintBoxRecord;
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(42, 42));
    QTest::mouseMove(box, QPoint(82, 43));
    QTest::mouseMove(box, QPoint(122, 42));
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(122, 42));
    const auto ignoredCells = [](const capture::MotionMask& mask) {
        QList<QPoint> cells;
        for (int y = 0; y < 60; ++y) {
            for (int x = 0; x < 80; ++x) {
                if (!mask.isActive(x, y)) {
                    cells << QPoint(x, y);
                }
            }
        }
        return cells;
    };
    QList<QPoint> stroke;
    for (int y = 9; y <= 11; ++y) {
        for (int x = 9; x <= 31; ++x) {
            stroke << QPoint(x, y);
        }
    }
    EXPECT_EQ(ignoredCells(form.session().mask()), stroke);
    const auto saved = [this] {
        capture::MotionMask file;
        EXPECT_TRUE(file.load(recordings_ + QStringLiteral("Mask.bmp")));
        return file.bits();
    };
    EXPECT_EQ(saved(), form.session().mask().bits());

    // The right button watches again; Ctrl+Z takes the stroke back.
    QTest::keyClick(&form, Qt::Key_1);
    QTest::mousePress(box, Qt::RightButton, {}, QPoint(82, 42));
    QTest::mouseRelease(box, Qt::RightButton, {}, QPoint(82, 42));
    EXPECT_TRUE(form.session().mask().isActive(20, 10));
    EXPECT_EQ(saved(), form.session().mask().bits());
    QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(ignoredCells(form.session().mask()), stroke);
    EXPECT_EQ(saved(), form.session().mask().bits());

    // Autoset learns on top: the painted cells stay ignored.
    c.cmAutoSetMask->trigger();
    pump(1500);
    c.cmAutoSetMask->trigger();
    for (const QPoint& cell : stroke) {
        EXPECT_FALSE(form.session().mask().isActive(cell.x(), cell.y()))
            << cell.x() << "," << cell.y();
    }
    EXPECT_EQ(saved(), form.session().mask().bits());
}

TEST_F(MainWindowTest, ClosingKeepsRecordingAndSavesQuitSavesAndEnds) {
    TForm1& form = start();
    ticks(3);
    form.show();
    const QString file = app::SettingsStore(QStringLiteral("9")).filePath();
    QFile::remove(file);
    form.close();
    EXPECT_TRUE(QFileInfo::exists(file));             // saved
    EXPECT_TRUE(form.session().recordGraphExists());  // still recording
    // No notification area here: the window is minimised, not lost.
    EXPECT_TRUE(form.isMinimized() || !form.isVisible());

    QFile::remove(file);
    int quits = 0;
    QObject::connect(&form, &TForm1::quitRequested, [&quits] { ++quits; });
    // The window itself offers Quit: a button on the Info page, and Ctrl+Q.
    const auto* quitKey = [&form]() -> QAction* {
        for (QAction* action : form.actions()) {
            if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_Q)) {
                return action;
            }
        }
        return nullptr;
    }();
    EXPECT_NE(quitKey, nullptr);
    form.controls().BtnQuit->click();
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_TRUE(form.terminating());
    EXPECT_EQ(quits, 1);  // the program's entry ends the event loop, not the window
    EXPECT_FALSE(form.session().recordGraphExists());
}

// One click on the icon shows the window as it was left, a double click
// shows the live picture, a right click the menu; the tip says what the
// recorder does.
TEST_F(MainWindowTest, TrayClicksShowTheWindowAndItsTipTellsTheState) {
    settings_.Mode = session::StatePause;
    TForm1& form = start();
    const auto& c = form.controls();
    auto* tray = form.findChild<QSystemTrayIcon*>(QStringLiteral("TrayIcon"));
    ASSERT_NE(tray, nullptr);
    c.PageControl->setCurrentWidget(c.tsPlayback);
    form.hide();
    Q_EMIT tray->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(c.PageControl->currentWidget(), c.tsPlayback);
    form.hide();
    Q_EMIT tray->activated(QSystemTrayIcon::Trigger);  // a double click begins as one
    Q_EMIT tray->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(c.PageControl->currentWidget(), c.tsRecord);
    Q_EMIT tray->activated(QSystemTrayIcon::Context);
    EXPECT_TRUE(c.PopupMenu->isVisible());
    c.PopupMenu->close();

    // No file yet: the state alone.
    form.session().RecordTimerTimer();
    EXPECT_EQ(tray->toolTip(), QStringLiteral("Kestrelvision\n") + form.session().stateText());
    ticks(3);
    ASSERT_TRUE(form.session().recordGraphExists());
    ASSERT_TRUE(pumpUntil([&] { return form.session().recordedFrames() >= 2; }));
    form.session().RecordTimerTimer();
    EXPECT_EQ(tray->toolTip(), QStringLiteral("Kestrelvision\nRecording on movement, %1, %2 frames")
                                   .arg(QFileInfo(form.session().RecordFileName()).fileName())
                                   .arg(form.session().recordedFrames()));
}

// Takes what the window hands the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> urls;
  public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

// The Info page names the recording folder and opens it; its button and
// Ctrl+? anywhere in the window show the keys.
TEST_F(MainWindowTest, InfoPageShowsTheFolderAndTheListOfKeys) {
    TForm1& form = start();
    const auto& c = form.controls();
    EXPECT_EQ(c.lbRecordFolder->text().remove(QChar(0x200B)),
              QDir::toNativeSeparators(recordings_));
    UrlCatcher opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
    c.BtnOpenFolder->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(opened.urls.size(), 1);
    EXPECT_EQ(opened.urls[0], QUrl::fromLocalFile(recordings_));
    // Another folder is shown as soon as the session takes it.
    form.settings().AVIPath = home_.path() + QStringLiteral("/elsewhere/");
    form.session().apply(form.settings());
    EXPECT_EQ(c.lbRecordFolderGerman->text().remove(QChar(0x200B)),
              QDir::toNativeSeparators(form.settings().AVIPath));

    form.show();
    // Ctrl+? as a US layout sends it: Ctrl+Shift and the question mark.
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Question, Qt::ControlModifier | Qt::ShiftModifier,
                  QStringLiteral("?"));
    QCoreApplication::sendEvent(c.MotionTriggerBar, &key);
    auto* keys = form.findChild<dialogs::ShortcutsDialog*>();
    ASSERT_NE(keys, nullptr);
    EXPECT_TRUE(keys->isVisible());
    keys->close();
    c.PageControl->setCurrentWidget(c.TabSheet1);
    c.BtnShortcuts->click();
    EXPECT_TRUE(keys->isVisible());
    EXPECT_EQ(form.findChildren<dialogs::ShortcutsDialog*>().size(), 1);
}

TEST_F(MainWindowTest, GermanUsersSeeTheGermanInfoPanel) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TForm1& form = start();
    EXPECT_TRUE(form.controls().PanelGerman->isVisibleTo(form.controls().TabSheet1));
    EXPECT_EQ(form.controls().PanelGerman->x(), 0);
    QLocale::setDefault(before);
}

TEST_F(MainWindowTest, CameraDialogStoresTheChoiceAndCancelStillRebuilds) {
    TForm1& form = start({kBall, kBars});
    ticks(3);
    ASSERT_TRUE(form.session().recordGraphExists());

    test::answerNextModal([](QWidget* modal) {
        auto* dialog = qobject_cast<TDlgSelectCapture*>(modal);
        ASSERT_NE(dialog, nullptr);
        ASSERT_EQ(dialog->LBDevices->count(), 2);
        dialog->LBDevices->setCurrentRow(1);
        ASSERT_GT(dialog->LBFormats->count(), 0);
        dialog->LBFormats->setCurrentRow(0);
        dialog->accept();
    });
    form.BtnSelectCaptureDevClick();
    EXPECT_EQ(form.settings().CaptureDeviceIndex, 1);
    EXPECT_EQ(form.settings().CaptureDeviceName, QStringLiteral("Bars"));
    EXPECT_EQ(form.settings().CaptureFormatIndex, 0);
    QSettings saved(app::SettingsStore(QStringLiteral("9")).filePath(), QSettings::IniFormat);
    EXPECT_EQ(saved.value(QStringLiteral("Capture Device Index")).toInt(), 1);
    ASSERT_TRUE(form.session().captureGraphExists());
    // The camera's size arrives with its first frame; then recording starts.
    ASSERT_TRUE(pumpUntil([&] { return form.session().recordGraphExists(); }));
    EXPECT_EQ(form.session().cameraFormat().biWidth, 320);
    // A new recording, and the first one, which got no frame, is gone.
    EXPECT_TRUE(form.session().recordGraphExists());
    EXPECT_EQ(recordingFiles(), QStringList{QFileInfo(form.session().RecordFileName()).fileName()});
    // The window follows the new frame size.
    EXPECT_EQ(form.live().picture().size(), QSize(320, 240));

    test::answerNextModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    const QString before = form.session().RecordFileName();
    form.BtnSelectCaptureDevClick();
    EXPECT_EQ(form.settings().CaptureDeviceIndex, 1);
    ASSERT_TRUE(pumpUntil([&] { return form.session().recordGraphExists(); }));
    EXPECT_TRUE(form.session().RecordFileName() != before || recordingFiles().size() == 1);
}

// Without any camera the first start, and the camera button, open the camera
// dialog where one is added; cancelled, the status bar says there is none.
TEST_F(MainWindowTest, NoCameraOpensTheDialogToAddOne) {
    TForm1& form = start({});
    form.show();
    bool offered = false;
    test::answerNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<TDlgSelectCapture*>(modal);
        ASSERT_NE(dialog, nullptr);
        offered = dialog->LBDevices->count() == 0 && dialog->lbNoCamera->isVisible();
        dialog->reject();
    });
    ticks(3);
    ASSERT_TRUE(pumpUntil([&] { return offered; }));
    ASSERT_TRUE(pumpUntil([&] {
        return form.controls().StatusBarRecord->panelText(0) ==
               QStringLiteral("No capture device available.");
    }));
    EXPECT_FALSE(form.session().captureGraphExists());
    EXPECT_FALSE(form.session().recordGraphExists());

    test::answerNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<TDlgSelectCapture*>(modal);
        ASSERT_NE(dialog, nullptr);
        test::answerNextModal([](QWidget* add) {
            auto* adding = qobject_cast<dialogs::AddCameraDialog*>(add);
            ASSERT_NE(adding, nullptr);
            adding->edName->setText(QStringLiteral("Yard"));
            adding->edAddress->setText(QStringLiteral("test:ball?width=160&height=120"));
            adding->accept();
        });
        dialog->BtnAddCamera->click();
        dialog->accept();
    });
    form.BtnSelectCaptureDevClick();
    EXPECT_EQ(form.settings().CaptureDeviceName, QStringLiteral("Yard"));
    EXPECT_TRUE(form.session().captureGraphExists());
    const QSettings saved(app::SettingsStore(QStringLiteral("9")).filePath(), QSettings::IniFormat);
    EXPECT_EQ(saved.value(QStringLiteral("Cameras/Yard")).toString(),
              QStringLiteral("test:ball?width=160&height=120"));
    EXPECT_EQ(saved.value(QStringLiteral("Capture Device Name")).toString(),
              QStringLiteral("Yard"));
}

TEST_F(MainWindowTest, CompressorChoiceStartsANewFileWithThatCodec) {
    TForm1& form = start();
    ticks(3);
    ASSERT_TRUE(pumpUntil([&] { return form.session().recordedFrames() >= 2; }));
    const QString first = form.session().RecordFileName();
    test::answerNextModal([](QWidget* modal) {
        auto* dialog = qobject_cast<TDlgSelectComp*>(modal);
        ASSERT_NE(dialog, nullptr);
        const auto found =
            dialog->ListBox->findItems(QStringLiteral("Do not use any Codec"), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        dialog->ListBox->setCurrentItem(found.first());
        dialog->accept();
    });
    form.BtnSelectCompressorClick();
    EXPECT_EQ(form.settings().Compressor, QStringLiteral("Do not use any Codec"));
    ASSERT_NE(form.session().RecordFileName(), first);
    ASSERT_TRUE(pumpUntil([&] { return form.session().recordedFrames() >= 3; }));
    form.CloseRecordGraph();
    EXPECT_EQ(test::probeAvi(form.session().RecordFileName()).codec, QStringLiteral("rawvideo"));
    EXPECT_EQ(test::probeAvi(first).codec, QStringLiteral("mjpeg"));
    // The right click finds no compressor now and does nothing.
    form.tBtnSelectCompressorContextPopup();
}

TEST_F(MainWindowTest, PlaybackKeysAndOpenCurrentDoNothingWithoutAFile) {
    TForm1& form = start();
    form.controls().PageControl->setCurrentWidget(form.controls().tsPlayback);
    EXPECT_FALSE(form.FormKeyDown(Qt::Key_Space));  // goes on to the focused control
    ticks(3);
    ASSERT_TRUE(form.session().recordGraphExists());
    form.playback().tBtnOpenActualClick();  // no frame recorded yet
    EXPECT_FALSE(form.playback().playbackGraph().loaded());
}

// Ctrl+Right and Ctrl+Left land on the first frame of each movement, in the
// recording shown and on through its neighbours in folder order.
TEST_F(MainWindowTest, MovementKeysLandOnEveryStartOfAMovement) {
    QDir().mkpath(recordings_);
    const QDateTime t0(QDate(2025, 3, 1), QTime(14, 0));
    const auto recording = [&](const QString& name, int frames,
                               const std::function<record::JournalLine(int)>& line) {
        ASSERT_TRUE(test::writeTestAvi(
            {recordings_ + name, QStringLiteral("jpegenc"), frames, 160, 120, true}));
        QFile journal(record::journalPath(recordings_ + name));
        ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
        journal.write(record::kJournalHeader);
        for (int i = 0; i < frames; ++i) {
            record::JournalLine l = line(i);
            l.frame = i;
            journal.write(record::formatJournalLine(l));
        }
    };
    // Two episodes of movement one after the other, a minute apart.
    recording(QStringLiteral("250301_SA00.avi"), 20, [&](int i) {
        return record::JournalLine{0, t0.addSecs(i < 10 ? i : 60 + i), 30000, 25000,
                                   record::JournalFate::Movement};
    });
    // Recorded always; movement from its sixth frame.
    recording(QStringLiteral("250301_SA01.avi"), 10, [&](int i) {
        return record::JournalLine{0, t0.addSecs(600 + i), i < 5 ? 0 : 30000, 25000,
                                   i < 5 ? record::JournalFate::On : record::JournalFate::Movement};
    });
    TForm1& form = start();
    form.controls().PageControl->setCurrentWidget(form.controls().tsPlayback);
    form.playback().StepRecordFile(true);  // the first recording
    ASSERT_TRUE(pumpUntil([&] { return form.playback().playbackGraph().loaded(); }));
    const auto press = [&](Qt::Key key) {
        QTest::keyClick(&form, key, Qt::ControlModifier);
        pumpUntil([&] { return !form.playback().playbackGraph().loading(); });
        pump(100);
        return std::make_pair(QFileInfo(form.playback().PlaybackFileName()).fileName(),
                              form.playback().playbackGraph().position());
    };
    EXPECT_EQ(press(Qt::Key_Right), std::make_pair(QStringLiteral("250301_SA00.avi"), qint64(10)));
    EXPECT_EQ(press(Qt::Key_Right), std::make_pair(QStringLiteral("250301_SA01.avi"), qint64(5)));
    EXPECT_EQ(press(Qt::Key_Right),
              std::make_pair(QStringLiteral("250301_SA01.avi"), qint64(5)));  // the last
    EXPECT_EQ(press(Qt::Key_Left), std::make_pair(QStringLiteral("250301_SA00.avi"), qint64(10)));
    EXPECT_EQ(press(Qt::Key_Left), std::make_pair(QStringLiteral("250301_SA00.avi"), qint64(0)));

    // The journal's motion is drawn behind the track bar; a click there jumps.
    app::ActivityTrackBar* bar = form.controls().TBPlayback;
    EXPECT_EQ(bar->activityFrames(), 20);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() * 3 / 4, bar->height() / 2));
    pump(100);
    EXPECT_NEAR(double(form.playback().playbackGraph().position()), 15.0, 1.5);
}

// Recorded on movement from a clip with two separate movements: the journal
// shows both, a pause between them, and Ctrl+Right goes from the first to the
// second.
TEST_F(MainWindowTest, MovementKeysFindBothMovementsOfARecordingMadeFromAClip) {
    const QString clip = home_.path() + QStringLiteral("/two.avi");
    QProcess ffmpeg;
    ffmpeg.start(
        QStringLiteral("ffmpeg"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
         QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("color=c=0x808080:s=320x240:r=10:d=8"), QStringLiteral("-f"),
         QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("color=c=black:s=40x40:r=10:d=8"), QStringLiteral("-filter_complex"),
         QStringLiteral("[0][1]overlay=x='mod(t*200\\,280)':y=100:"
                        "enable='between(t,2,2.95)+between(t,5,5.95)'"),
         QStringLiteral("-c:v"), QStringLiteral("mjpeg"), clip});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000));
    ASSERT_EQ(ffmpeg.exitCode(), 0);
    settings_.Mode = session::StatePause;
    settings_.RecInterval = 100;
    TForm1& form = start({QStringLiteral("Clip=file://") + clip});
    ticks(3);
    const auto startsOf = [](const QString& recording) {
        return record::movementStarts(record::readJournal(record::journalPath(recording)));
    };
    ASSERT_TRUE(
        tickUntil([&] { return startsOf(form.session().RecordFileName()).size() >= 2; }, 30000));
    const QString recorded = form.session().RecordFileName();
    form.playback().tBtnOpenActualClick();
    ASSERT_TRUE(pumpUntil([&] { return form.playback().playbackGraph().loaded(); }));
    const auto journal = record::readJournal(record::journalPath(recorded));
    const auto starts = record::movementStarts(journal);
    ASSERT_GE(starts.size(), 2u);
    EXPECT_EQ(starts[0], 0);  // only movement is recorded: it begins the file
    // The second begins after the still seconds between the two.
    EXPECT_GE(
        journal[std::size_t(starts[1] - 1)].time.msecsTo(journal[std::size_t(starts[1])].time),
        1500);
    form.controls().PageControl->setCurrentWidget(form.controls().tsPlayback);
    form.playback().playbackGraph().stop();
    form.playback().playbackGraph().seekToFrame(0);
    QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);
    pump(100);
    EXPECT_EQ(form.playback().playbackGraph().position(), starts[1]);
}

TEST_F(MainWindowTest, OpenCurrentRecordingFinishesItAndPlaysIt) {
    TForm1& form = start();
    ticks(3);
    ASSERT_TRUE(pumpUntil([&] { return form.session().recordedFrames() >= 5; }));
    const QString recorded = form.session().RecordFileName();
    form.playback().tBtnOpenActualClick();
    // Loaded once the file is finished, which happens in the background.
    ASSERT_TRUE(pumpUntil([&] { return form.playback().playbackGraph().loaded(); }));
    EXPECT_EQ(form.playback().PlaybackFileName(), recorded);
    EXPECT_NE(form.session().RecordFileName(), recorded);  // recording goes on in a new file
    EXPECT_GE(form.playback().playbackGraph().frameCount(), 5);
    EXPECT_TRUE(form.controls().StatusBarPlayback->simpleText().startsWith(
        QFileInfo(recorded).fileName() + QStringLiteral(": ")));
    // A stepped-to frame shows when it was taken, from the recording's journal.
    const auto journal = record::readJournal(record::journalPath(recorded));
    ASSERT_GE(journal.size(), 5u);
    form.playback().BtnForwardClick();
    form.playback().BtnForwardClick();
    EXPECT_EQ(form.controls().StatusBarPlayback->panelText(1),
              QStringLiteral("Frame 3 of %1, %2")
                  .arg(form.playback().playbackGraph().frameCount())
                  .arg(journal[2].time.toString(QStringLiteral("HH:mm:ss"))));
    // Saving it offers a name after that moment.
    QString offered;
    const auto offerSave = [&] {
        test::answerNextModal([&offered](QWidget* dialog) {
            auto* files = qobject_cast<QFileDialog*>(dialog);
            ASSERT_NE(files, nullptr);
            offered = files->selectedFiles().value(0);
            files->reject();
        });
        form.playback().BtnSaveClick();
    };
    offerSave();
    EXPECT_TRUE(offered.endsWith(journal[2].time.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")) +
                                 QStringLiteral(".jpg")))
        << offered.toStdString();
    // With a bitmap filter left from the last save, the name is a bitmap's.
    QFileDialog& save = *form.controls().SaveDialog;
    save.selectNameFilter(save.nameFilters().at(1));
    offerSave();
    EXPECT_TRUE(offered.endsWith(QStringLiteral(".bmp"))) << offered.toStdString();
    form.controls().PageControl->setCurrentWidget(form.controls().tsPlayback);
    EXPECT_TRUE(form.FormKeyDown(Qt::Key_Space));
}

}  // namespace

namespace {

TEST_F(MainWindowTest, ALostCameraStopsRecordingAndItResumesWhenTheCameraIsBack) {
    // The camera's file is gone: a network camera that went away looks the same.
    const QString camera = home_.path() + QStringLiteral("/door.avi");
    TForm1& form = start({QStringLiteral("Door=file://") + camera});
    ticks(3);
    ASSERT_TRUE(pumpUntil([&] {
        return form.controls().StatusBarRecord->panelText(0).startsWith(
            QStringLiteral("Camera lost: "));
    }));
    // Which camera, and why.
    EXPECT_TRUE(form.controls().StatusBarRecord->panelText(0).startsWith(
        QStringLiteral("Camera lost: Door (")))
        << form.controls().StatusBarRecord->panelText(0).toStdString();
    EXPECT_FALSE(form.session().recordGraphExists());
    EXPECT_FALSE(form.session().captureGraphExists());
    ticks(2);  // still gone: quiet retries, no recording without a camera
    EXPECT_FALSE(form.session().recordGraphExists());
    EXPECT_TRUE(recordingFiles().isEmpty());

    // The camera comes back.
    QProcess make;
    make.start(
        QStringLiteral("gst-launch-1.0"),
        {QStringLiteral("-q"), QStringLiteral("videotestsrc"), QStringLiteral("num-buffers=20"),
         QStringLiteral("!"), QStringLiteral("video/x-raw,width=160,height=120"),
         QStringLiteral("!"), QStringLiteral("jpegenc"), QStringLiteral("!"),
         QStringLiteral("avimux"), QStringLiteral("!"), QStringLiteral("filesink"),
         QStringLiteral("location=") + camera});
    ASSERT_TRUE(make.waitForFinished(20000));
    ASSERT_EQ(make.exitCode(), 0);
    // Retried by itself, after a back-off of a few seconds at most.
    ASSERT_TRUE(tickUntil([&] { return form.session().recordedFrames() >= 3; }, 10000));
    EXPECT_FALSE(form.session().cameraLost());
    EXPECT_EQ(recordingFiles().size(), 1);
}

}  // namespace

namespace {

TEST_F(MainWindowTest, TheRecordTimerWaitsWhileTheCameraDialogIsOpen) {
    TForm1& form = start({kBall, kBars});
    ticks(3);
    ASSERT_TRUE(form.session().recordGraphExists());
    form.session().setRecordTimerInterval(10);
    bool builtUnderTheDialog = true;
    test::answerNextModal([&](QWidget* modal) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 300) {  // thirty ticks' worth
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        builtUnderTheDialog =
            form.session().captureGraphExists() || form.session().recordGraphExists();
        static_cast<QDialog*>(modal)->reject();
    });
    form.BtnSelectCaptureDevClick();
    EXPECT_FALSE(builtUnderTheDialog);
    EXPECT_TRUE(form.session().recordTimerActive());
    EXPECT_TRUE(pumpUntil([&] { return form.session().recordGraphExists(); }));
}

// A full disk is told once, without a modal box: the record timer and the
// rest of the program go on, and the recording retries by itself.
TEST_F(MainWindowTest, AFullDiskIsShownWithoutHoldingAnythingUp) {
    const QByteArray mountPoint = QFile::encodeName(recordings_);
    if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=512k") != 0) {
        GTEST_SKIP() << "cannot mount a small file system: " << std::strerror(errno);
    }
    struct Unmount {
        QByteArray point;
        ~Unmount() { ::umount2(point.constData(), MNT_DETACH); }
    } unmount{mountPoint};
    TForm1& form = start({kBars});
    form.session().setRecordTimerInterval(250);
    ASSERT_TRUE(pumpUntil([&] { return form.session().writeFailed(); }, 20000));
    pump(300);
    auto* box = form.findChild<QMessageBox*>(QStringLiteral("WriteFailureBox"));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(box->text().contains(QStringLiteral("tries again by itself")));
    EXPECT_TRUE(form.controls().StatusBarRecord->panelText(0).startsWith(
        QStringLiteral("Recording stopped: ")));
    EXPECT_TRUE(form.session().recordTimerActive());
    form_.reset();
}

}  // namespace

namespace {

// Without a notification area closing minimises the window; a movement must
// bring it back, restored and in front, when the settings ask for it.
TEST_F(MainWindowTest, TheMovementAlertRestoresAWindowThatClosingMinimised) {
    settings_.ShowWndOnMove = true;
    TForm1& form = start();
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    form.show();
    form.controls().PageControl->setCurrentWidget(form.controls().tsPlayback);
    form.close();
    ASSERT_TRUE(form.isMinimized());
    Q_EMIT form.session().movementStarted();
    ASSERT_TRUE(pumpUntil([&] { return !form.isMinimized(); }));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.windowState() & Qt::WindowMinimized, 0);
    EXPECT_EQ(form.controls().PageControl->currentWidget(), form.controls().tsRecord);

    // Without the setting a movement leaves it where it is.
    form.settings().ShowWndOnMove = false;
    form.close();
    ASSERT_TRUE(form.isMinimized());
    Q_EMIT form.session().movementStarted();
    pump(200);
    EXPECT_TRUE(form.isMinimized());
}

// OK on the settings dialog writes back what the user did not change exactly,
// though the spins show it rounded.
TEST_F(MainWindowTest, SetupOkKeepsValuesTheUserDidNotChange) {
    settings_.RecInterval = 10500;
    settings_.MaxDiskspace = 1500;
    TForm1& form = start();
    test::answerNextModal([](QWidget* modal) {
        auto* dialog = qobject_cast<TDlgSetup*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->BtnOK->click();
    });
    form.tBtnSetupClick();
    EXPECT_EQ(form.settings().RecInterval, 10500);
    EXPECT_EQ(form.settings().MaxDiskspace, 1500);
    // A change is taken in the unit the spin shows.
    test::answerNextModal([](QWidget* modal) {
        auto* dialog = qobject_cast<TDlgSetup*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->UpDownDiskSpace->stepUp();
        dialog->BtnOK->click();
    });
    form.tBtnSetupClick();
    EXPECT_EQ(form.settings().RecInterval, 10500);
    EXPECT_EQ(form.settings().MaxDiskspace, 2000);
}

// A file whose load is held up past two seconds, as on a slow disk, shows
// without an error while the window goes on; Cancel ends a load without a
// message; a file that is no video still gets its message.
TEST_F(MainWindowTest, PlaybackLoadsInTheBackgroundWithBusyIndicatorAndCancel) {
    const QString clip = recordings_ + QStringLiteral("clip.avi");
    ASSERT_TRUE(test::writeTestAvi({clip, QStringLiteral("jpegenc"), 12, 160, 120, true}));
    TForm1& form = start();
    const auto& c = form.controls();
    c.PageControl->setCurrentWidget(c.tsPlayback);
    form.show();
    test::HeldLoad held;
    form.playback().playbackGraph().setBuildHook(
        [&held](GstElement* pipeline) { held.hold(pipeline); });
    QStringList boxes;
    QTimer watch;  // any modal box that shows up
    QObject::connect(&watch, &QTimer::timeout, [&boxes] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxes << box->text();
            box->accept();
        }
    });
    watch.start(20);

    form.playback().setPlaybackFileName(clip);
    form.playback().BuildPlaybackGraph();
    EXPECT_TRUE(c.PlaybackBusy->isVisible());
    EXPECT_EQ(c.StatusBarPlayback->simpleText(), QStringLiteral("Loading clip.avi ..."));
    ASSERT_TRUE(pumpUntil([&] { return held.holding(); }));
    pump(2500);
    EXPECT_TRUE(form.playback().playbackGraph().loading());
    EXPECT_TRUE(c.PlaybackBusy->isVisible());
    EXPECT_FALSE(form.FormKeyDown(Qt::Key_Space));  // nothing to play yet
    held.release();
    ASSERT_TRUE(pumpUntil([&] { return form.playback().playbackGraph().loaded(); }));
    EXPECT_FALSE(c.PlaybackBusy->isVisible());
    EXPECT_EQ(c.StatusBarPlayback->simpleText(), QStringLiteral("clip.avi: 12 Frames"));
    EXPECT_TRUE(c.tBtnSave->isEnabled());

    // Cancel while it waits: no message, nothing loaded, the indicator gone.
    form.playback().ClosePlaybackGraph();
    form.playback().BuildPlaybackGraph();
    ASSERT_TRUE(pumpUntil([&] { return held.holding(); }));
    c.BtnCancelLoad->click();
    EXPECT_FALSE(form.playback().playbackGraph().loading());
    EXPECT_FALSE(form.playback().playbackGraph().loaded());
    EXPECT_FALSE(c.PlaybackBusy->isVisible());
    pump(300);
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join(QStringLiteral(" | ")).toStdString();

    // A file that is no video: the message, as before.
    const QString notes = recordings_ + QStringLiteral("notes.avi");
    QFile file(notes);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("just some notes\n");
    file.close();
    form.playback().setPlaybackFileName(notes);
    form.playback().BuildPlaybackGraph();
    ASSERT_TRUE(pumpUntil([&] { return !boxes.isEmpty(); }));
    EXPECT_EQ(boxes, QStringList{QStringLiteral("Error loading video file.")});
    EXPECT_FALSE(form.playback().playbackGraph().loaded());
    EXPECT_FALSE(c.PlaybackBusy->isVisible());
}

}  // namespace

#include "test_main_window.moc"

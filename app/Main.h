#pragma once

// TForm1, the main window: it owns every long-lived object of the program and
// conducts the handlers. The logic of each feature lives in its own folder.

#include "app/command_line.h"
#include "app/form_controls.h"
#include "media/clock.h"
#include "session/settings.h"

#include <QDateTime>
#include <QWidget>

#include <memory>
#include <optional>

class QKeyEvent;
class QMessageBox;

namespace kv::app {
class InstanceChannel;
class LivePanel;
class PlaybackPage;
class RecordPage;
class DailyFilmStatus;
class InfoPage;
class TrayState;
class SessionEvents;
class SettingsStore;
}  // namespace kv::app
namespace kv::capture {
class CaptureGraph;
class TGrabberCallback;
}  // namespace kv::capture
namespace kv::record {
class RecordGraph;
}
namespace kv::session {
class RecordingSession;
enum class BuildProblem;
}  // namespace kv::session
namespace kv::media {
class SoundPlayer;
}
class TDlgSelectCapture;
class TDlgSelectComp;
class TDlgSetup;

namespace kv::app {
class DesktopNotifications;
}

class TForm1 : public QWidget {
    Q_OBJECT
  public:
    // arguments: the command line without the program name.
    explicit TForm1(const QStringList& arguments,
                    const kv::media::Clock& clock = kv::media::systemClock(),
                    QWidget* parent = nullptr);
    ~TForm1() override;

    // Set by the single-instance test and by Quit: the program is ending.
    bool terminating() const { return terminating_; }
    const kv::app::CommandLine& commandLine() const { return commandLine_; }
    kv::session::Settings& settings() { return settings_; }
    const kv::app::Form1Controls& controls() const { return c_; }
    kv::app::LivePanel& live() { return *live_; }
    kv::session::RecordingSession& session() { return *session_; }

    // Handlers of the window's events, messages, controls and timers.
    void FormCreate();
    void FormDestroy();
    bool FormKeyDown(int key);
    void Startup();
    void EndSession();
    void PowerBroadcast();
    void TrayIconEvent(long long lParam);
    void cmShowClick();
    void cmCloseClick();
    void cmShowMaskClick();
    void cmAutoSetMaskClick();
    void cmClearMaskClick();
    void tBtnRecClick(int tag);
    void BtnSelectCaptureDevClick();  // in camera_choice.cpp
    void BtnSelectCompressorClick();
    void tBtnSelectCompressorContextPopup();
    void tBtnSetupClick();
    kv::app::PlaybackPage& playback() { return *playback_; }

    void LoadSettings();
    bool SaveSettings();
    void CloseCaptureGraph();
    void BuildRecordGraph();
    void CloseRecordGraph();
    void WindowLayout(int width, int height);

  Q_SIGNALS:
    // Quit or the end of the session: the program's entry ends the event loop.
    void quitRequested();

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void wireControls();
    void createTrayIcon();
    void runSingleInstanceTest();
    void showNormalForOtherInstance();
    QByteArray statusJson() const;  // the state another process or the broker is told
    void ShutdownRoutine();
    void connectSession();
    void applySettingsToSession();
    // No camera at all: the camera dialog, to add one, the first time while
    // the window is shown; the status bar says so otherwise.
    void noCameraFound();

    const kv::media::Clock& clock_;

    // --- main thread only; the streaming threads only post events to us
    kv::app::CommandLine commandLine_;
    QString instanceSuffix_;
    kv::session::Settings settings_;
    std::unique_ptr<kv::app::SettingsStore> settingsStore_;
    std::optional<qint64> otherInstanceWindow_;
    bool terminating_ = false;
    bool quitting_ = false;
    bool shutDown_ = false;
    bool noTrayNoted_ = false;
    bool cameraOffered_ = false;  // the camera dialog opened for want of a camera
    bool layoutPending_ = false;  // after a camera choice or a first start, until its size is known
    QDateTime lastMovement_;      // for the state another process asks

    kv::app::Form1Controls c_;
    kv::app::TrayState* tray_ = nullptr;
    kv::app::InstanceChannel* instanceChannel_ = nullptr;
    kv::app::SessionEvents* sessionEvents_ = nullptr;

    kv::session::RecordingSession* session_ = nullptr;
    kv::media::SoundPlayer* sound_ = nullptr;
    kv::app::DesktopNotifications* notifications_ = nullptr;
    kv::app::LivePanel* live_ = nullptr;
    kv::app::RecordPage* record_ = nullptr;
    kv::app::InfoPage* info_ = nullptr;
    kv::app::DailyFilmStatus* dailyFilm_ = nullptr;
    kv::app::PlaybackPage* playback_ = nullptr;
    TDlgSelectCapture* dlgSelectCapture_ = nullptr;
    TDlgSelectComp* dlgSelectComp_ = nullptr;
    TDlgSetup* dlgSetup_ = nullptr;
};

#pragma once

// TForm1, the main window: it owns every long-lived object of the program and
// conducts the handlers. The logic of each feature lives in its own folder.

#include "app/command_line.h"
#include "app/settings.h"
#include "capture/record_timer.h"

#include <QWidget>

#include <memory>
#include <optional>

class QTabWidget;
class QTimer;
class QLabel;

namespace kv::app {
class InstanceChannel;
class SessionEvents;
class SettingsStore;
}  // namespace kv::app

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // arguments: the command line without the program name.
    explicit TForm1(const QStringList& arguments, QWidget* parent = nullptr);
    ~TForm1() override;

    // Set by the single-instance test and by Quit: the program is ending.
    bool terminating() const { return terminating_; }
    const kv::app::CommandLine& commandLine() const { return commandLine_; }
    kv::app::Settings& settings() { return settings_; }
    int restartDelay() const { return restartDelay_.ticks(); }
    std::optional<qint64> otherInstanceWindow() const { return otherInstanceWindow_; }

    // Handlers of the window's events and messages.
    void FormCreate();
    void FormDestroy();
    void Startup();
    void RecordTimerTimer();
    bool QueryEndSession() { return true; }
    void EndSession();
    void PowerBroadcast();
    void cmShowClick();
    void cmCloseClick();

    void LoadSettings();
    bool SaveSettings();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void runSingleInstanceTest();
    void showNormalForOtherInstance();
    void ShutdownRoutine();

    // --- main thread only; the streaming threads only post events to us
    kv::app::CommandLine commandLine_;
    QString instanceSuffix_;
    kv::app::Settings settings_;
    std::unique_ptr<kv::app::SettingsStore> settingsStore_;
    kv::capture::RestartDelay restartDelay_;
    std::optional<qint64> otherInstanceWindow_;
    bool terminating_ = false;
    bool quitting_ = false;
    bool shutDown_ = false;
    bool autoSet_ = false;
    int recordMode_ = 0;
    int postRecCountdown_ = 0;
    int recordedFrames_ = 0;

    kv::app::InstanceChannel* instanceChannel_ = nullptr;
    kv::app::SessionEvents* sessionEvents_ = nullptr;

    QTabWidget* PageControl = nullptr;
    QWidget* tsRecord = nullptr;
    QWidget* tsPlayback = nullptr;
    QWidget* TabSheet1 = nullptr;
    QLabel* PanelGerman = nullptr;
    QTimer* RecordTimer = nullptr;
    QTimer* TimerTrackBar = nullptr;
};

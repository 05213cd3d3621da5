#pragma once

// The Record page's share of the window: the status bar, the motion bar, the
// buttons that need a recording, and the boxes that tell a build problem or a
// failed write. It subscribes to the session itself; nothing here waits for
// an answer, so the session is never held up by a box.

#include "session/record_policy.h"

#include <QObject>
#include <QString>

#include <cstdint>

class QMessageBox;
class QSystemTrayIcon;
class QWidget;

namespace kv::session {
class RecordingSession;
enum class BuildProblem;
}  // namespace kv::session

namespace kv::app {

struct Form1Controls;
class LivePanel;

class RecordPage : public QObject {
    Q_OBJECT
  public:
    RecordPage(const Form1Controls& controls, QWidget* window, session::RecordingSession& session,
               LivePanel& live);

    // The tray that repeats a failed write, when there is one.
    void setTray(QSystemTrayIcon* tray) { tray_ = tray; }
    // The first panel of the status bar; the second follows the session.
    void setStatus(const QString& text);
    void showState();

  Q_SIGNALS:
    // The session found no camera at all: the window offers to add one.
    void noCameraFound();

  private:
    void showHandledFrame(session::FrameState state, int motionBar);
    void enableRecordingButtons(bool on);
    void showBuildProblem(session::BuildProblem problem, int code);
    void showWriteFailure(bool failed, const QString& fileName, const QString& reason);

    const Form1Controls& c_;
    QWidget* window_;
    session::RecordingSession& session_;
    LivePanel& live_;
    QSystemTrayIcon* tray_ = nullptr;
    QMessageBox* writeFailureBox_ = nullptr;
    std::uint64_t lostFrames_ = 0;  // by the current recording
};

}  // namespace kv::app

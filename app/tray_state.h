#pragma once

// The notification-area icon: it turns the icon's clicks into the tray
// messages the window handles, and its tip says what the recorder does
// ("Recording on movement, 261208_TU03.avi, 412 frames"), following the
// session on every tick.

#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

class QIcon;

namespace kv::session {
class RecordingSession;
}

namespace kv::app {

// What the tip is made of.
struct TrayFacts {
    int mode = 0;   // session::StateOff, StateRecord or StatePause
    QString state;  // the session's state text
    QString file;   // the recording being written, or empty
    int frames = 0;
};

// The mode and the file with its frames while a recording is open; the
// state text otherwise ("No camera", "Camera lost: ...").
QString trayStateText(const TrayFacts& facts);

class TrayState : public QObject {
    Q_OBJECT
  public:
    TrayState(const QIcon& icon, const session::RecordingSession& session, QObject* parent);

    QSystemTrayIcon* icon() const { return icon_; }
    // Reads the session and renews the tip where it changed.
    void update();

  Q_SIGNALS:
    // A mouse event on the icon, as WM_TRAYICON's lParam names it.
    void trayEvent(long lParam);

  private:
    void activated(QSystemTrayIcon::ActivationReason reason);

    const session::RecordingSession& session_;
    QSystemTrayIcon* icon_;
};

}  // namespace kv::app

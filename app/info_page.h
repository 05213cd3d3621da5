#pragma once

// The Info page's share of the window: where the recordings go, with a
// button that opens that folder in the desktop's file manager, and the list
// of keys (its button, and Ctrl+? anywhere in the window).

#include <QObject>
#include <QString>

class QKeyEvent;
class QWidget;

namespace kv::session {
class RecordingSession;
}
namespace kv::dialogs {
class ShortcutsDialog;
}

namespace kv::app {

struct Form1Controls;

class InfoPage : public QObject {
    Q_OBJECT
  public:
    InfoPage(const Form1Controls& controls, QWidget* window,
             const session::RecordingSession& session);

    // From the window's key preview: true when the key opened the list.
    bool keyPressed(const QKeyEvent& key);
    // Shows the list of keys, made on first use, and brings it to the front.
    void showShortcuts();
    // Hands the folder to the desktop, which opens it without us waiting.
    void openFolder();
    QString folder() const;
    dialogs::ShortcutsDialog* shortcuts() const { return shortcuts_; }

  private:
    void showFolder();

    const Form1Controls& c_;
    QWidget* window_;
    const session::RecordingSession& session_;
    dialogs::ShortcutsDialog* shortcuts_ = nullptr;
};

}  // namespace kv::app

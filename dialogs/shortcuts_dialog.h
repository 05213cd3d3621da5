#pragma once

// "Keyboard shortcuts": every key the main window knows, and what the mouse
// does on the mask and the tray icon, grouped by where they work. The rows are
// data, so the list and the window's key handling are read side by side.

#include <QDialog>
#include <QString>

#include <span>

class QTreeWidget;

namespace kv::dialogs {

struct ShortcutRow {
    enum Where { Everywhere, RecordPage, MaskPainting, PlaybackPage, TrayIcon };
    Where where;
    // Key sequences in portable text ("Ctrl+Left"), alternatives split by ";";
    // empty where the row is a mouse action.
    const char* keys;
    const char* mouse;  // the mouse action, where keys is empty
    const char* what;
};

// The rows in the order shown.
std::span<const ShortcutRow> shortcutRows();

// Ctrl+? opens the list; on many layouts "?" is Shift+/, and some report the slash.
bool isShortcutsKey(int key, Qt::KeyboardModifiers modifiers);

class ShortcutsDialog : public QDialog {
    Q_OBJECT
  public:
    explicit ShortcutsDialog(QWidget* parent = nullptr);

    // The keys as shown, in the user's notation ("Ctrl+Left or Ctrl+Right").
    static QString keysText(const ShortcutRow& row);
    static QString whereText(ShortcutRow::Where where);

  private:
    QTreeWidget* list_ = nullptr;
};

}  // namespace kv::dialogs

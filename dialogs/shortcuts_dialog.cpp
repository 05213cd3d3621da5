#include "dialogs/shortcuts_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <optional>

namespace kv::dialogs {

namespace {

using R = ShortcutRow;

// Where the window handles them: TForm1's key preview and Ctrl+Q, the live
// panel's mask keys, the Playback page's keys, the tray icon's events.
constexpr std::array kRows{
    R{R::Everywhere, "Ctrl+?", nullptr,
      QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Show this list of keys")},
    R{R::Everywhere, "Ctrl+Q", nullptr,
      QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Quit Kestrelvision")},
    R{R::RecordPage, "F1", nullptr,
      QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Select the camera")},
    R{R::MaskPainting, "", QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Left button"),
      QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Paint cells that are ignored")},
    R{R::MaskPainting, "",
      QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Right button or Shift+left button"),
      QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Paint cells that are watched again")},
    R{R::MaskPainting, "1;3;5", nullptr,
      QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Brush of 1, 3 or 5 cells")},
    R{R::MaskPainting, "Ctrl+Z", nullptr,
      QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Undo the last stroke")},
    R{R::PlaybackPage, "Space", nullptr,
      QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Play or stop")},
    R{R::PlaybackPage, "Up;Down", nullptr,
      QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Previous or next frame")},
    R{R::PlaybackPage, "Ctrl+Left;Ctrl+Right", nullptr,
      QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Previous or next start of a movement")},
    R{R::PlaybackPage, "+;-", nullptr,
      QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Play faster or slower (1x to 16x)")},
    R{R::PlaybackPage, "Ctrl+G", nullptr,
      QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Go to a time of the day")},
    R{R::PlaybackPage, "PgUp;PgDown", nullptr,
      QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Previous or next day with recordings")},
    R{R::TrayIcon, "", QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Click"),
      QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Show the window")},
    R{R::TrayIcon, "", QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Double click"),
      QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Show the window on the Record page")},
    R{R::TrayIcon, "", QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Right click"),
      QT_TRANSLATE_NOOP("kv::dialogs::ShortcutsDialog", "Menu: Show, Quit")},
};

}  // namespace

std::span<const ShortcutRow> shortcutRows() {
    return kRows;
}

bool isShortcutsKey(int key, Qt::KeyboardModifiers modifiers) {
    if (!(modifiers & Qt::ControlModifier) || (modifiers & Qt::AltModifier)) {
        return false;
    }
    return key == Qt::Key_Question || (key == Qt::Key_Slash && (modifiers & Qt::ShiftModifier));
}

QString ShortcutsDialog::keysText(const ShortcutRow& row) {
    if (row.keys == nullptr || row.keys[0] == '\0') {
        return tr(row.mouse);
    }
    QStringList keys;
    for (const QString& key : QString::fromLatin1(row.keys).split(QLatin1Char(';'))) {
        // Qt's notation in the user's language ("Strg" in German).
        keys << QKeySequence(key, QKeySequence::PortableText).toString(QKeySequence::NativeText);
    }
    return keys.join(tr(" or ", "between two keys"));
}

QString ShortcutsDialog::whereText(ShortcutRow::Where where) {
    switch (where) {
        case ShortcutRow::Everywhere:
            return tr("Every page");
        case ShortcutRow::RecordPage:
            return tr("Record page");
        case ShortcutRow::MaskPainting:
            return tr("Mask (Show Mask in the live picture's menu)");
        case ShortcutRow::PlaybackPage:
            return tr("Playback page");
        case ShortcutRow::TrayIcon:
            return tr("Tray icon");
    }
    return {};
}

ShortcutsDialog::ShortcutsDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ShortcutsDialog"));
    setWindowTitle(tr("Keyboard shortcuts"));
    auto* layout = new QVBoxLayout(this);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("ShortcutsList"));
    list_->setColumnCount(2);
    list_->setHeaderLabels({tr("Key"), tr("Action")});
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setFocusPolicy(Qt::NoFocus);
    QTreeWidgetItem* group = nullptr;
    std::optional<ShortcutRow::Where> groupWhere;
    int keysWidth = 0;
    int whatWidth = 0;
    for (const ShortcutRow& row : shortcutRows()) {
        if (groupWhere != row.where) {
            groupWhere = row.where;
            group = new QTreeWidgetItem(list_, {whereText(row.where)});
            group->setFirstColumnSpanned(true);
            QFont bold = group->font(0);
            bold.setBold(true);
            group->setFont(0, bold);
        }
        const QString keys = keysText(row);
        new QTreeWidgetItem(group, {keys, tr(row.what)});
        keysWidth = std::max(keysWidth, list_->fontMetrics().horizontalAdvance(keys));
        whatWidth = std::max(whatWidth, list_->fontMetrics().horizontalAdvance(tr(row.what)));
    }
    list_->expandAll();
    // As wide as the keys: the group titles span both columns.
    const int keysColumn = keysWidth + list_->indentation() + 2 * list_->fontMetrics().height();
    list_->setColumnWidth(0, keysColumn);
    list_->header()->setStretchLastSection(true);
    layout->addWidget(list_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    // Wide enough for the longest action in any language, scroll bar and
    // margins included.
    const int wanted = keysColumn + whatWidth + 3 * list_->fontMetrics().height() +
                       style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    resize(std::max(560, wanted), 440);
}

}  // namespace kv::dialogs

// The list of keys: every key the window handles has its row, shown in Qt's
// notation and grouped by where it works, and Ctrl+? is recognised however
// the keyboard layout reports it.

#include "dialogs/shortcuts_dialog.h"

#include <QKeySequence>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace kv;

namespace {

TEST(ShortcutsDialog, ListsEveryKeyOfTheWindowByPage) {
    dialogs::ShortcutsDialog dialog;
    auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("ShortcutsList"));
    ASSERT_NE(list, nullptr);
    QStringList groups;
    QStringList keys;
    int rows = 0;
    for (int g = 0; g < list->topLevelItemCount(); ++g) {
        const QTreeWidgetItem* group = list->topLevelItem(g);
        groups << group->text(0);
        for (int i = 0; i < group->childCount(); ++i) {
            ++rows;
            const QTreeWidgetItem* row = group->child(i);
            EXPECT_FALSE(row->text(0).isEmpty()) << row->text(1).toStdString();
            EXPECT_FALSE(row->text(1).isEmpty()) << row->text(0).toStdString();
            for (const QString& key : row->text(0).split(QStringLiteral(" or "))) {
                keys << key;
            }
        }
    }
    EXPECT_EQ(rows, int(dialogs::shortcutRows().size()));
    EXPECT_EQ(groups, (QStringList{QStringLiteral("Every page"), QStringLiteral("Record page"),
                                   QStringLiteral("Mask (Show Mask in the live picture's menu)"),
                                   QStringLiteral("Playback page"), QStringLiteral("Tray icon")}));

    // The keys TForm1, the live panel and the Playback page act on.
    const QKeyCombination handled[] = {Qt::CTRL | Qt::Key_Q,
                                       Qt::CTRL | Qt::Key_Question,
                                       QKeyCombination(Qt::Key_F1),
                                       Qt::CTRL | Qt::Key_Z,
                                       QKeyCombination(Qt::Key_1),
                                       QKeyCombination(Qt::Key_3),
                                       QKeyCombination(Qt::Key_5),
                                       QKeyCombination(Qt::Key_Space),
                                       QKeyCombination(Qt::Key_Up),
                                       QKeyCombination(Qt::Key_Down),
                                       Qt::CTRL | Qt::Key_Left,
                                       Qt::CTRL | Qt::Key_Right,
                                       QKeyCombination(Qt::Key_Plus),
                                       QKeyCombination(Qt::Key_Minus),
                                       Qt::CTRL | Qt::Key_G,
                                       QKeyCombination(Qt::Key_PageUp),
                                       QKeyCombination(Qt::Key_PageDown)};
    for (QKeyCombination key : handled) {
        const QString text = QKeySequence(key).toString(QKeySequence::NativeText);
        EXPECT_TRUE(keys.contains(text)) << text.toStdString() << " is not listed";
    }
    EXPECT_TRUE(keys.contains(QStringLiteral("Double click")));
}

TEST(ShortcutsDialog, CtrlQuestionMarkIsKnownHoweverTheLayoutSendsIt) {
    EXPECT_TRUE(dialogs::isShortcutsKey(Qt::Key_Question, Qt::ControlModifier));
    EXPECT_TRUE(dialogs::isShortcutsKey(Qt::Key_Question, Qt::ControlModifier | Qt::ShiftModifier));
    EXPECT_TRUE(dialogs::isShortcutsKey(Qt::Key_Slash, Qt::ControlModifier | Qt::ShiftModifier));
    EXPECT_FALSE(dialogs::isShortcutsKey(Qt::Key_Slash, Qt::ControlModifier));
    EXPECT_FALSE(dialogs::isShortcutsKey(Qt::Key_Question, Qt::NoModifier));
    EXPECT_FALSE(dialogs::isShortcutsKey(Qt::Key_Question, Qt::ControlModifier | Qt::AltModifier));
}

}  // namespace

#include "app/info_page.h"

#include "app/form_controls.h"
#include "dialogs/shortcuts_dialog.h"
#include "session/recording_session.h"

#include <QDesktopServices>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QUrl>

namespace kv::app {

namespace {

Q_LOGGING_CATEGORY(lcInfo, "kv.app.info", QtInfoMsg)

// A break opportunity after every separator, so that a long path wraps
// instead of losing one end.
QString wrappable(const QString& path) {
    QString text = QDir::toNativeSeparators(path);
    text.replace(QDir::separator(), QString(QDir::separator()) + QChar(0x200B));
    return text;
}

}  // namespace

InfoPage::InfoPage(const Form1Controls& controls, QWidget* window,
                   const session::RecordingSession& session)
    : QObject(window), c_(controls), window_(window), session_(session) {
    for (QPushButton* button : {c_.BtnOpenFolder, c_.BtnOpenFolderGerman}) {
        connect(button, &QPushButton::clicked, this, &InfoPage::openFolder);
    }
    for (QPushButton* button : {c_.BtnShortcuts, c_.BtnShortcutsGerman}) {
        connect(button, &QPushButton::clicked, this, &InfoPage::showShortcuts);
    }
    connect(&session_, &session::RecordingSession::settingsApplied, this, &InfoPage::showFolder);
    showFolder();
}

QString InfoPage::folder() const {
    return session_.settings().AVIPath;
}

bool InfoPage::keyPressed(const QKeyEvent& key) {
    if (!dialogs::isShortcutsKey(key.key(), key.modifiers())) {
        return false;
    }
    showShortcuts();
    return true;
}

void InfoPage::showShortcuts() {
    if (!shortcuts_) {
        shortcuts_ = new dialogs::ShortcutsDialog(window_);
    }
    shortcuts_->show();
    shortcuts_->raise();
    shortcuts_->activateWindow();
}

void InfoPage::openFolder() {
    // No look at the disk first: a folder on a network share may take any time.
    const QString path = folder();
    if (path.isEmpty()) {
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        qCWarning(lcInfo).noquote() << "no program to open" << path << "with";
    }
}

void InfoPage::showFolder() {
    const QString path = folder();
    for (QLabel* label : {c_.lbRecordFolder, c_.lbRecordFolderGerman}) {
        label->setText(wrappable(path));
        label->setToolTip(QDir::toNativeSeparators(path));
    }
    for (QPushButton* button : {c_.BtnOpenFolder, c_.BtnOpenFolderGerman}) {
        button->setEnabled(!path.isEmpty());
    }
}

}  // namespace kv::app

#include "app/tray_state.h"

#include "app/window_messages.h"
#include "session/record_policy.h"
#include "session/recording_session.h"

#include <QFileInfo>

namespace kv::app {

QString trayStateText(const TrayFacts& facts) {
    if (facts.file.isEmpty()) {
        return facts.state;
    }
    QString mode;
    switch (facts.mode) {
        case session::StateOff:
            mode = TrayState::tr("Recording off");
            break;
        case session::StateRecord:
            mode = TrayState::tr("Recording");
            break;
        default:
            mode = TrayState::tr("Recording on movement");
            break;
    }
    const QString frames =
        facts.frames == 1 ? TrayState::tr("1 frame") : TrayState::tr("%1 frames").arg(facts.frames);
    return TrayState::tr("%1, %2, %3", "mode, file, frames")
        .arg(mode, QFileInfo(facts.file).fileName(), frames);
}

TrayState::TrayState(const QIcon& icon, const session::RecordingSession& session, QObject* parent)
    : QObject(parent), session_(session), icon_(new QSystemTrayIcon(icon, this)) {
    icon_->setObjectName(QStringLiteral("TrayIcon"));
    connect(icon_, &QSystemTrayIcon::activated, this, &TrayState::activated);
    connect(&session, &session::RecordingSession::ticked, this, &TrayState::update);
    connect(&session, &session::RecordingSession::statusText, this, &TrayState::update);
    connect(&session, &session::RecordingSession::recordGraphClosed, this, &TrayState::update);
    update();
    icon_->show();
}

void TrayState::update() {
    const bool open = session_.recordGraphExists();
    const QString tip =
        QStringLiteral("Kestrelvision\n") +
        trayStateText({session_.settings().Mode, session_.stateText(),
                       open ? session_.RecordFileName() : QString(), session_.recordedFrames()});
    if (tip != icon_->toolTip()) {
        icon_->setToolTip(tip);
    }
}

void TrayState::activated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            // A double click also begins with one of these.
            Q_EMIT trayEvent(WM_LBUTTONUP);
            break;
        case QSystemTrayIcon::DoubleClick:
            Q_EMIT trayEvent(WM_LBUTTONDBLCLK);
            break;
        case QSystemTrayIcon::Context:
            Q_EMIT trayEvent(WM_RBUTTONDOWN);
            break;
        default:
            break;
    }
}

}  // namespace kv::app

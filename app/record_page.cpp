#include "app/record_page.h"

#include "app/form_controls.h"
#include "app/live_panel.h"
#include "session/recording_session.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QUrl>

namespace kv::app {

namespace {

const QString kProduct = QStringLiteral("Kestrelvision");

}  // namespace

RecordPage::RecordPage(const Form1Controls& controls, QWidget* window,
                       session::RecordingSession& session, LivePanel& live)
    : QObject(window), c_(controls), window_(window), session_(session), live_(live) {
    using session::RecordingSession;
    connect(&session_, &RecordingSession::frameHandled, this, &RecordPage::showHandledFrame);
    connect(&session_, &RecordingSession::statusText, this, &RecordPage::setStatus);
    connect(&session_, &RecordingSession::ticked, this, &RecordPage::showState);
    connect(&session_, &RecordingSession::lostFrames, this, [this](std::uint64_t lost) {
        lostFrames_ = lost;
        showState();
    });
    connect(&session_, &RecordingSession::frameRecorded, this,
            [this] { c_.tBtnOpenActual->setEnabled(true); });
    connect(&session_, &RecordingSession::recordGraphBuilt, this, [this] {
        c_.tBtnOpenActual->setEnabled(false);
        enableRecordingButtons(true);
    });
    connect(&session_, &RecordingSession::recordGraphClosed, this, [this] {
        enableRecordingButtons(false);
        c_.tBtnOpenActual->setEnabled(false);
        lostFrames_ = 0;
        showState();
    });
    // Shown after the build has returned: a box never holds the session up.
    connect(&session_, &RecordingSession::buildProblem, this, &RecordPage::showBuildProblem,
            Qt::QueuedConnection);
    connect(&session_, &RecordingSession::writeFailedChanged, this, &RecordPage::showWriteFailure);
}

void RecordPage::setStatus(const QString& text) {
    c_.StatusBarRecord->setPanelText(0, text);
    showState();
}

void RecordPage::showState() {
    QString text = session_.stateText();
    if (lostFrames_ > 0) {
        text += tr(", %1 lost").arg(lostFrames_);
    }
    c_.StatusBarRecord->setPanelText(1, text);
}

void RecordPage::showHandledFrame(session::FrameState state, int motionBar) {
    c_.MotionDisplayBar->setValue(qBound(0, motionBar, c_.MotionDisplayBar->maximum()));
    showState();
    live_.stampFrame(state);
}

void RecordPage::enableRecordingButtons(bool on) {
    for (QToolButton* button :
         {c_.tBtnSelectCompressor, c_.tBtnRecOff, c_.tBtnRecOn, c_.tBtnRecMove}) {
        button->setEnabled(on);
    }
}

void RecordPage::showBuildProblem(session::BuildProblem problem, int code) {
    const QString text = session::buildProblemText(problem, code);
    if (problem == session::BuildProblem::NoCaptureDevice) {
        Q_EMIT noCameraFound();
        return;
    }
    if (problem == session::BuildProblem::GrabberMissing) {
        if (QMessageBox::warning(window_, kProduct, text, QMessageBox::Ok | QMessageBox::Abort) ==
            QMessageBox::Ok) {
            QDesktopServices::openUrl(
                QUrl(QStringLiteral("https://gstreamer.freedesktop.org/download/")));
        }
        return;
    }
    QMessageBox::warning(window_, kProduct, text);
}

// Told once, without holding anything up: the recording retries by itself.
void RecordPage::showWriteFailure(bool failed, const QString& fileName, const QString& reason) {
    if (!failed) {
        if (writeFailureBox_) {
            writeFailureBox_->hide();
        }
        return;
    }
    const QString text = tr("Recording into %1 stopped: %2\n\nKestrelvision tries again by itself.")
                             .arg(fileName, reason);
    if (!writeFailureBox_) {
        writeFailureBox_ =
            new QMessageBox(QMessageBox::Warning, kProduct, QString(), QMessageBox::Ok, window_);
        writeFailureBox_->setObjectName(QStringLiteral("WriteFailureBox"));
        writeFailureBox_->setModal(false);
        writeFailureBox_->setWindowModality(Qt::NonModal);
    }
    writeFailureBox_->setText(text);
    writeFailureBox_->show();
    if (tray_ && QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages()) {
        tray_->showMessage(kProduct, text, QSystemTrayIcon::Warning);
    }
}

}  // namespace kv::app

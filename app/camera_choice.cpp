// The main window's camera choice: the camera dialog, and the offer to add a
// camera when there is none.

#include "app/Main.h"
#include "app/playback_page.h"
#include "app/record_page.h"
#include "app/settings_store.h"
#include "app/wait_cursor.h"
#include "dialogs/Dlgselectcapturesrc.h"
#include "session/recording_session.h"

#include <QApplication>
#include <QListWidget>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcCameraChoice, "kv.app.camerachoice", QtInfoMsg)

using namespace kv;

void TForm1::BtnSelectCaptureDevClick() {
    const session::RecordingSession::TimerHold hold(*session_);
    {
        app::WaitCursor wait;
        CloseCaptureGraph();
        CloseRecordGraph();
    }
    dlgSelectCapture_->setSettingsFile(settingsStore_
                                           ? settingsStore_->filePath()
                                           : app::SettingsStore(instanceSuffix_).filePath());
    // Without any camera the dialog still opens: it is where one is added.
    dialogs::PrepareCaptureDialog(*dlgSelectCapture_, settings_.CaptureDeviceIndex,
                                  settings_.CaptureFormatIndex);
    const bool accepted = dlgSelectCapture_->exec() == QDialog::Accepted;
    if (dlgSelectCapture_->LBDevices->count() == 0) {
        // Neither graph is built again here: the record timer tries later.
        record_->setStatus(QCoreApplication::translate("TForm1", "No capture device available."));
        return;
    }
    if (accepted && dlgSelectCapture_->LBDevices->currentRow() >= 0) {
        const dialogs::CaptureChoice choice = dialogs::ChosenCapture(*dlgSelectCapture_);
        settings_.CaptureDeviceName = choice.deviceName;
        settings_.CaptureDeviceIndex = choice.deviceIndex;
        settings_.CaptureFormatIndex = choice.formatIndex;
        session_->resetFaults();
        SaveSettings();
    }
    applySettingsToSession();
    session_->setPlaybackFileName(playback_->PlaybackFileName());
    // The window follows the camera's frame size once the camera tells it.
    layoutPending_ = true;
    session_->StartGraphs();
}

void TForm1::noCameraFound() {
    if (!cameraOffered_ && isVisible() && !QApplication::activeModalWidget()) {
        cameraOffered_ = true;
        qCInfo(lcCameraChoice) << "no camera: the camera dialog opens to add one";
        BtnSelectCaptureDevClick();
        return;
    }
    record_->setStatus(QCoreApplication::translate("TForm1", "No capture device available."));
}

#pragma once

// TDlgSelectCapture, the dialog in which the user picks the camera and its
// capture format, opens the camera's settings, and adds network and file
// cameras to the settings file or removes them. It keeps a pipeline
// of its own that never runs: it only holds the selected camera, so that its
// formats can be read, and gives the camera back whenever the selection
// changes or the dialog closes. Main thread only.

#include "media/gst_handle.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class QLabel;
class QListWidget;
class QPushButton;

class TDlgSelectCapture : public QDialog {
    Q_OBJECT
  public:
    explicit TDlgSelectCapture(QWidget* parent = nullptr);
    ~TDlgSelectCapture() override;

    // Replaces the camera names without running LBDevicesClick; nothing selected.
    void setDeviceNames(const QStringList& names);

    // Binds the camera selected in LBDevices (the first camera when none is)
    // and lists its formats, the first one selected.
    void FillFormatList();

    // The settings file that keeps added cameras and camera settings.
    void setSettingsFile(const QString& path) { settingsFile_ = path; }
    QString settingsFile() const { return settingsFile_; }

    // The camera bound for the current selection, or null.
    GstElement* boundCamera() const { return camera_.get(); }

    // Closes with OK or Cancel, the close box included: the camera is given back.
    void done(int result) override;

    // Handlers.
    void FormCreate();
    void FormDestroy();
    void FormClose();
    void LBDevicesClick();
    void BtnPropertyClick();
    void fitButtonsToTheirTexts();
    void BtnAddCameraClick();
    void BtnRemoveCameraClick();

    QLabel* Label1 = nullptr;
    QListWidget* LBDevices = nullptr;
    QLabel* Label2 = nullptr;
    QListWidget* LBFormats = nullptr;
    QPushButton* BtnOK = nullptr;
    QPushButton* BtnCancel = nullptr;
    QPushButton* BtnProperty = nullptr;
    QPushButton* BtnAddCamera = nullptr;
    QPushButton* BtnRemoveCamera = nullptr;
    QLabel* lbNoCamera = nullptr;  // over the empty camera list
    QLabel* lbAddress = nullptr;   // an added camera's address, its password masked

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void releaseCamera();
    // Lists the cameras again and selects the one named, or the first.
    void relist(const QString& select);
    void showSelection();

    QString settingsFile_;

    kv::media::Element graph_;   // never runs; holds the bound camera as "Filter"
    kv::media::Element camera_;  // empty while none is bound
    int rowAtPress_ = -1;        // LBDevices' row when the mouse went down
};

namespace kv::dialogs {

// What the dialog's OK stores.
struct CaptureChoice {
    QString deviceName;    // at most 79 characters
    int deviceIndex = -1;  // position in the camera list
    int formatIndex = -1;  // position in the format list, -1 when it is empty

    bool operator==(const CaptureChoice&) const = default;
};

// Before showing: lists the cameras, selects entry deviceIndex (entry 0 when it
// is negative or beyond the list), binds it and lists its formats, then selects
// entry formatIndex (entry 0 likewise). False, with nothing bound, when there
// is no camera at all.
bool PrepareCaptureDialog(TDlgSelectCapture& dialog, int deviceIndex, int formatIndex);

// After OK: the selected camera's name, cut to 79 characters, its position and
// the position of the selected format.
CaptureChoice ChosenCapture(const TDlgSelectCapture& dialog);

// Cuts a device name to fit a field of 80 wide characters with its terminator,
// never inside a surrogate pair.
QString cutToNameField(const QString& name);

}  // namespace kv::dialogs

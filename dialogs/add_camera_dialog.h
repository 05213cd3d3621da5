#pragma once

// "Add camera": a name and an address (rtsp://, http://, file:// or a file
// chosen with Browse...), with the user name and password in fields of their
// own so that the password is never shown. "Test" opens the camera in the
// background and tells its picture size or the error. The dialog only
// collects; the camera dialog keeps the camera. Main thread only.

#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kv::media {
class CameraProbe;
}

namespace kv::dialogs {

class AddCameraDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AddCameraDialog(QWidget* parent = nullptr);

    QString cameraName() const;
    // The address with the user name and password put in.
    QString cameraUri() const;

    // OK is refused, with a message, while the name or address cannot be used.
    void accept() override;

    void BtnTestClick();
    void BtnBrowseClick();

    QLineEdit* edName = nullptr;
    QLineEdit* edAddress = nullptr;
    QLineEdit* edUser = nullptr;
    QLineEdit* edPassword = nullptr;
    QPushButton* BtnBrowse = nullptr;
    QPushButton* BtnTest = nullptr;
    QLabel* lbTestResult = nullptr;
    QDialogButtonBox* Buttons = nullptr;
    QFileDialog* FileDialog = nullptr;
    media::CameraProbe* probe() const { return probe_; }

  private:
    // An address typed with "user:password@" gives them to their fields.
    void takeUserInfo();

    media::CameraProbe* probe_ = nullptr;
};

}  // namespace kv::dialogs

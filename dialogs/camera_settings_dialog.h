#pragma once

// A camera's settings as a person adjusts them. A V4L2 camera shows its own
// controls (brightness, contrast, exposure, white balance, focus ...), read
// from the device with their ranges, defaults and menus; a change is set on
// the device at once and kept per camera in the settings file, to be set
// again at every build. An RTSP camera shows its latency and transport; a
// file or test camera has nothing to adjust. The device is only ever reached
// from the controls' own thread: a camera that does not answer leaves the
// window as it is. Main thread only.

#include "media/camera_controls.h"

#include <QDialog>
#include <QString>

#include <memory>

class QFormLayout;
class QLabel;
class QPushButton;
class QWidget;

namespace kv::dialogs {

class CameraSettingsDialog : public QDialog {
    Q_OBJECT
  public:
    enum class Kind { Reading, Controls, Network, Nothing };

    CameraSettingsDialog(const QString& cameraName, GstElement* camera, const QString& settingsFile,
                         QWidget* parent = nullptr);
    ~CameraSettingsDialog() override;

    Kind kind() const { return kind_; }
    // The controls as last read from the device.
    const QList<media::CameraControl>& controls() const { return controls_; }
    // Sets every control to its default and forgets the kept values.
    void BtnDefaultsClick();

    QLabel* lbStatus = nullptr;
    QPushButton* BtnDefaults = nullptr;

  Q_SIGNALS:
    // The controls were read (again) and the rows show them.
    void controlsShown();

  private:
    void showNetwork();
    void showNothing(const QString& why);
    void showControls(const QList<media::CameraControl>& controls, const QString& error);
    void refreshRows();
    void change(const media::CameraControl& control, int value);
    void keep(const QString& key, int value);
    // Runs request on the controls' thread; then, on this thread and only if
    // the dialog still exists, done with what request returned.
    void readAfter(std::function<QString(media::ControlIo*)> request);

    QString camera_;
    QString settingsFile_;
    Kind kind_ = Kind::Reading;
    media::ControlValues kept_;
    QList<media::CameraControl> controls_;
    QFormLayout* form_ = nullptr;
    std::unique_ptr<media::ControlChannel> channel_;
    std::shared_ptr<bool> alive_;
};

// Shows the settings of a camera modally.
void ShowCameraSettings(const QString& cameraName, GstElement* camera, const QString& settingsFile,
                        QWidget* parent);

}  // namespace kv::dialogs

#pragma once

// A camera's own controls: what a person adjusts on it (brightness, exposure,
// white balance, focus, power-line frequency), read from a V4L2 device with
// their ranges, defaults and menus, and set on it. The device is reached
// through ControlIo, four ioctl requests and nothing else, so that a table of
// controls can stand in for a device that is not there. The values the user
// set are kept per camera and applied again at every build of the capture
// graph, in a thread of their own: a device may take its time to answer.
//
// This lives beside the device catalogue: it is device access, used by the
// capture graph and by the dialogs alike, and needs no window.

#include "media/gst_handle.h"

#include <linux/videodev2.h>

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace kv::media {

// The requests the controls use. Each returns 0, or the errno value of the failure.
class ControlIo {
  public:
    virtual ~ControlIo() = default;
    virtual int queryControl(v4l2_queryctrl& query) = 0;  // VIDIOC_QUERYCTRL
    virtual int queryMenu(v4l2_querymenu& item) = 0;      // VIDIOC_QUERYMENU
    virtual int getControl(v4l2_control& control) = 0;    // VIDIOC_G_CTRL
    virtual int setControl(v4l2_control& control) = 0;    // VIDIOC_S_CTRL
};

// Opens a V4L2 device node without waiting (O_NONBLOCK) and owns the descriptor.
// Null, with the reason in error, when it is no character device or cannot be opened.
std::unique_ptr<ControlIo> openV4l2Device(const QString& path, QString* error);

struct CameraControl {
    enum class Kind { Integer, Boolean, Menu };
    quint32 id = 0;
    QString key;    // stable name in the settings: "brightness", "exposure_time" ...
    QString label;  // what the dialog shows
    Kind kind = Kind::Integer;
    int minimum = 0;
    int maximum = 0;
    int step = 1;
    int defaultValue = 0;
    int value = 0;
    QList<QPair<int, QString>> menu;  // value and name, for a menu
    bool inactive = false;            // set by another control (exposure on auto)
    bool readOnly = false;
};

// The controls of the device a person adjusts, in the order they are shown
// and applied (an automatic mode comes before the value it governs). Controls
// the device lacks are left out; error says why when none can be read.
QList<CameraControl> readControls(ControlIo& io, QString* error = nullptr);

// Sets one control; 0 or an errno value.
int setControl(ControlIo& io, quint32 id, int value);

// Kept values: control key to value.
using ControlValues = QMap<QString, int>;

// What a network camera keeps: its latency in ms, and its transport
// (0 automatic, 1 TCP only, 2 UDP only).
inline const QString kRtspLatencyKey = QStringLiteral("latency");
inline const QString kRtspTransportKey = QStringLiteral("transport");

// "brightness=140;exposure_auto=1": the form the settings file keeps.
QString controlValuesText(const ControlValues& values);
ControlValues parseControlValues(const QString& text);

// Sets the kept values in the table's order, each brought into the control's
// range; values of controls the device lacks, or that are read-only or
// inactive at their turn, are skipped. Returns how many were set.
int applyControls(ControlIo& io, const ControlValues& values);

// The key a control id is kept under, or empty when it is not one of ours.
QString controlKey(quint32 id);

// Where a camera's controls are: the device node of a V4L2 camera, empty for
// every other kind.
struct ControlTarget {
    QString camera;      // friendly name
    QString devicePath;  // "/dev/video0"; empty when the camera has no V4L2 controls
};
ControlTarget controlTarget(const QString& cameraName, GstElement* camera);

// Opens a target's controls; null when it has none. Any thread. Tests put a
// table of their own in place of the devices; an empty opener restores them.
using ControlOpener = std::function<std::unique_ptr<ControlIo>(const ControlTarget&)>;
void setControlOpener(ControlOpener opener);
std::unique_ptr<ControlIo> openControls(const ControlTarget& target);

// The values kept for each camera, as the settings file holds them.
void setKeptControls(const QString& camera, const ControlValues& values);
ControlValues keptControls(const QString& camera);
void clearKeptControls();

// One camera's controls reached from a thread of their own, requests run in
// the order posted. The device is opened at the first request; io is null
// for a camera without controls. Destroying the channel lets its thread end
// after the request it runs, without waiting for it.
class ControlChannel {
  public:
    explicit ControlChannel(ControlTarget target);
    ~ControlChannel();
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    using Request = std::function<void(ControlIo* io)>;
    void post(Request request);

  private:
    struct State;
    std::shared_ptr<State> state_;
};

// Applies the camera's kept values in a thread of its own; nothing when none
// are kept or the camera has no controls.
void applyKeptControls(const ControlTarget& target);

}  // namespace kv::media

#pragma once

// A table of V4L2 controls that stands in for a camera device: it answers the
// four requests of media::ControlIo as a UVC webcam does (ranges, defaults,
// menus with gaps, a value inactive while its automatic mode is on) and
// records every value set. Safe on any thread.

#include "media/camera_controls.h"

#include <QList>
#include <QPair>
#include <QStringList>

#include <memory>
#include <mutex>
#include <vector>

namespace kv::test {

class FakeV4l2Device : public std::enable_shared_from_this<FakeV4l2Device> {
  public:
    struct Control {
        quint32 id;
        quint32 type;  // V4L2_CTRL_TYPE_*
        int minimum, maximum, step, defaultValue, value;
        QStringList menu;      // by index; an empty name is a gap
        quint32 governor = 0;  // inactive unless this control ...
        int activeWhen = 0;    // ... has this value
    };

    // Brightness, contrast, saturation, exposure mode (manual and aperture
    // priority only) and time, gain, white balance (automatic, temperature)
    // and power-line frequency; no focus.
    static std::shared_ptr<FakeV4l2Device> webcam();

    explicit FakeV4l2Device(std::vector<Control> controls) : controls_(std::move(controls)) {}

    std::unique_ptr<media::ControlIo> open();

    int value(quint32 id) const;
    void setValue(quint32 id, int value);
    // Every value set since the last clear, in order.
    QList<QPair<quint32, int>> sets() const;
    void clearSets();

    int queryControl(v4l2_queryctrl& query);
    int queryMenu(v4l2_querymenu& item);
    int getControl(v4l2_control& control);
    int setControl(v4l2_control& control);

  private:
    Control* find(quint32 id);
    bool inactive(const Control& control);

    mutable std::mutex mutex_;
    std::vector<Control> controls_;
    QList<QPair<quint32, int>> sets_;
};

}  // namespace kv::test

#include "tests/support/fake_v4l2_device.h"

#include <cerrno>
#include <cstring>

namespace kv::test {

namespace {

class FakeIo : public media::ControlIo {
  public:
    explicit FakeIo(std::shared_ptr<FakeV4l2Device> device) : device_(std::move(device)) {}
    int queryControl(v4l2_queryctrl& query) override { return device_->queryControl(query); }
    int queryMenu(v4l2_querymenu& item) override { return device_->queryMenu(item); }
    int getControl(v4l2_control& control) override { return device_->getControl(control); }
    int setControl(v4l2_control& control) override { return device_->setControl(control); }

  private:
    std::shared_ptr<FakeV4l2Device> device_;
};

}  // namespace

std::shared_ptr<FakeV4l2Device> FakeV4l2Device::webcam() {
    const QStringList exposureModes{
        {}, QStringLiteral("Manual Mode"), {}, QStringLiteral("Aperture Priority Mode")};
    const QStringList powerLine{QStringLiteral("Disabled"), QStringLiteral("50 Hz"),
                                QStringLiteral("60 Hz")};
    return std::make_shared<FakeV4l2Device>(std::vector<Control>{
        {V4L2_CID_BRIGHTNESS, V4L2_CTRL_TYPE_INTEGER, -64, 64, 1, 0, 0, {}},
        {V4L2_CID_CONTRAST, V4L2_CTRL_TYPE_INTEGER, 0, 95, 1, 32, 32, {}},
        {V4L2_CID_SATURATION, V4L2_CTRL_TYPE_INTEGER, 0, 100, 1, 64, 64, {}},
        {V4L2_CID_EXPOSURE_AUTO, V4L2_CTRL_TYPE_MENU, 0, 3, 1, 3, 3, exposureModes},
        {V4L2_CID_EXPOSURE_ABSOLUTE,
         V4L2_CTRL_TYPE_INTEGER,
         3,
         2047,
         1,
         250,
         250,
         {},
         V4L2_CID_EXPOSURE_AUTO,
         1},
        {V4L2_CID_GAIN, V4L2_CTRL_TYPE_INTEGER, 0, 100, 1, 0, 0, {}},
        {V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1, 1, 1, {}},
        {V4L2_CID_WHITE_BALANCE_TEMPERATURE,
         V4L2_CTRL_TYPE_INTEGER,
         2800,
         6500,
         10,
         4600,
         4600,
         {},
         V4L2_CID_AUTO_WHITE_BALANCE,
         0},
        {V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CTRL_TYPE_MENU, 0, 2, 1, 1, 1, powerLine},
    });
}

std::unique_ptr<media::ControlIo> FakeV4l2Device::open() {
    return std::make_unique<FakeIo>(shared_from_this());
}

FakeV4l2Device::Control* FakeV4l2Device::find(quint32 id) {
    for (Control& control : controls_) {
        if (control.id == id) {
            return &control;
        }
    }
    return nullptr;
}

bool FakeV4l2Device::inactive(const Control& control) {
    if (!control.governor) {
        return false;
    }
    const Control* governor = find(control.governor);
    return governor && governor->value != control.activeWhen;
}

int FakeV4l2Device::value(quint32 id) const {
    std::lock_guard lock(mutex_);
    for (const Control& control : controls_) {
        if (control.id == id) {
            return control.value;
        }
    }
    return -1;
}

void FakeV4l2Device::setValue(quint32 id, int value) {
    std::lock_guard lock(mutex_);
    if (Control* control = find(id)) {
        control->value = value;
    }
}

QList<QPair<quint32, int>> FakeV4l2Device::sets() const {
    std::lock_guard lock(mutex_);
    return sets_;
}

void FakeV4l2Device::clearSets() {
    std::lock_guard lock(mutex_);
    sets_.clear();
}

int FakeV4l2Device::queryControl(v4l2_queryctrl& query) {
    std::lock_guard lock(mutex_);
    const Control* control = find(query.id);
    if (!control) {
        return EINVAL;
    }
    const quint32 id = query.id;
    std::memset(&query, 0, sizeof query);
    query.id = id;
    query.type = control->type;
    query.minimum = control->minimum;
    query.maximum = control->maximum;
    query.step = quint32(control->step);
    query.default_value = control->defaultValue;
    query.flags = inactive(*control) ? V4L2_CTRL_FLAG_INACTIVE : 0;
    return 0;
}

int FakeV4l2Device::queryMenu(v4l2_querymenu& item) {
    std::lock_guard lock(mutex_);
    const Control* control = find(item.id);
    if (!control || control->type != V4L2_CTRL_TYPE_MENU ||
        item.index >= quint32(control->menu.size()) ||
        control->menu.at(int(item.index)).isEmpty()) {
        return EINVAL;
    }
    const QByteArray name = control->menu.at(int(item.index)).toUtf8();
    std::memset(item.name, 0, sizeof item.name);
    std::memcpy(item.name, name.constData(), std::min<size_t>(name.size(), sizeof item.name - 1));
    return 0;
}

int FakeV4l2Device::getControl(v4l2_control& control) {
    std::lock_guard lock(mutex_);
    const Control* found = find(control.id);
    if (!found) {
        return EINVAL;
    }
    control.value = found->value;
    return 0;
}

int FakeV4l2Device::setControl(v4l2_control& control) {
    std::lock_guard lock(mutex_);
    Control* found = find(control.id);
    if (!found) {
        return EINVAL;
    }
    if (inactive(*found)) {
        return EACCES;
    }
    if (control.value < found->minimum || control.value > found->maximum) {
        return ERANGE;
    }
    if (found->type == V4L2_CTRL_TYPE_MENU &&
        (control.value >= found->menu.size() || found->menu.at(control.value).isEmpty())) {
        return EINVAL;
    }
    found->value = control.value;
    sets_.append({control.id, control.value});
    return 0;
}

}  // namespace kv::test

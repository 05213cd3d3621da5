#include "media/device_watch.h"

#include "media/bus_observer.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcDeviceWatch, "kv.media.devicewatch", QtInfoMsg)

namespace kv::media {

DeviceWatch::DeviceWatch(QObject* parent) : QObject(parent) {}

DeviceWatch::~DeviceWatch() {
    stop();
}

bool DeviceWatch::start() {
    if (started_) {
        return true;
    }
    monitor_ = adopt(gst_device_monitor_new());
    if (!monitor_) {
        return false;
    }
    gst_device_monitor_add_filter(monitor_.get(), "Video/Source", nullptr);
    bus_ = std::make_unique<BusObserver>(adopt(gst_device_monitor_get_bus(monitor_.get())));
    bus_->addFilter([this](GstMessage* message) { onMessage(message); });
    started_ = gst_device_monitor_start(monitor_.get()) != FALSE;
    if (!started_) {
        qCDebug(lcDeviceWatch) << "no device provider could start: cameras are not watched";
        bus_.reset();
        monitor_ = {};
    }
    return started_;
}

void DeviceWatch::stop() {
    if (started_) {
        gst_device_monitor_stop(monitor_.get());
        started_ = false;
    }
    bus_.reset();
    monitor_ = {};
}

void DeviceWatch::onMessage(GstMessage* message) {
    if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_DEVICE_ADDED) {
        return;
    }
    GstDevice* raw = nullptr;
    gst_message_parse_device_added(message, &raw);
    const Device device = adopt(raw);
    if (!device) {
        return;
    }
    const Chars name = adopt(gst_device_get_display_name(device.get()));
    const QString text = name ? QString::fromUtf8(name.get()) : QString();
    qCInfo(lcDeviceWatch).noquote() << "camera plugged in:" << text;
    Q_EMIT cameraAdded(text);
}

}  // namespace kv::media

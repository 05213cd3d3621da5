#pragma once

// Tells when a camera is plugged in: GstDeviceMonitor's bus, watched from the
// Qt event loop. A recorder that has no camera, or not the one its settings
// name, tries again at once instead of waiting for its next retry.

#include "media/gst_handle.h"

#include <QObject>
#include <QString>

#include <memory>

namespace kv::media {

class BusObserver;

class DeviceWatch : public QObject {
    Q_OBJECT
  public:
    explicit DeviceWatch(QObject* parent = nullptr);
    ~DeviceWatch() override;

    // Starts watching; false when no device provider could start (no camera
    // can appear then, and the caller's retries are all there is).
    bool start();
    void stop();

  Q_SIGNALS:
    // A camera appeared; its display name, as the camera list shows it.
    void cameraAdded(const QString& name);

  private:
    void onMessage(GstMessage* message);

    DeviceMonitor monitor_;
    std::unique_ptr<BusObserver> bus_;
    bool started_ = false;
};

}  // namespace kv::media

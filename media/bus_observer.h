#pragma once

// Watches one pipeline's bus from the Qt event loop: the bus's poll descriptor
// wakes a QSocketNotifier and every pending message is drained on each wake-up.
// No GLib main loop is needed and no message is handled on a streaming thread.

#include "media/gst_handle.h"

#include <QObject>

#include <functional>
#include <vector>

class QSocketNotifier;

namespace kv::media {

class BusObserver : public QObject {
    Q_OBJECT
  public:
    using Filter = std::function<void(GstMessage*)>;

    explicit BusObserver(Bus bus, QObject* parent = nullptr);
    ~BusObserver() override;

    BusObserver(const BusObserver&) = delete;
    BusObserver& operator=(const BusObserver&) = delete;

    // Filters see every message, in the order they were added.
    void addFilter(Filter filter);

    // Handles whatever is pending now; also runs on every wake-up.
    void drain();

    // Waits up to timeout_ms for a message of one of the given types, handing
    // every message met on the way to the filters. Returns the match or null.
    Message waitFor(GstMessageType types, int timeout_ms);

    GstBus* bus() const { return bus_.get(); }

  private:
    void dispatch(GstMessage* message);

    Bus bus_;
    QSocketNotifier* notifier_ = nullptr;
    std::vector<Filter> filters_;
};

}  // namespace kv::media

#include "media/bus_observer.h"

#include <QSocketNotifier>

namespace kv::media {

BusObserver::BusObserver(Bus bus, QObject* parent) : QObject(parent), bus_(std::move(bus)) {
    if (!bus_) {
        return;
    }
    GPollFD pollFd{};
    gst_bus_get_pollfd(bus_.get(), &pollFd);
    notifier_ = new QSocketNotifier(pollFd.fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &BusObserver::drain);
}

BusObserver::~BusObserver() = default;

void BusObserver::addFilter(Filter filter) {
    filters_.push_back(std::move(filter));
}

void BusObserver::drain() {
    if (!bus_) {
        return;
    }
    while (Message message = adopt(gst_bus_pop(bus_.get()))) {
        dispatch(message.get());
    }
}

Message BusObserver::waitFor(GstMessageType types, int timeout_ms) {
    if (!bus_) {
        return {};
    }
    const gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
    for (;;) {
        const gint64 left_us = deadline - g_get_monotonic_time();
        if (left_us <= 0) {
            return {};
        }
        Message message = adopt(gst_bus_timed_pop(bus_.get(), GstClockTime(left_us) * 1000));
        if (!message) {
            return {};
        }
        dispatch(message.get());
        if (GST_MESSAGE_TYPE(message.get()) & types) {
            return message;
        }
    }
}

void BusObserver::dispatch(GstMessage* message) {
    // A filter may add filters; iterate by index so that stays safe.
    for (std::size_t i = 0; i < filters_.size(); ++i) {
        filters_[i](message);
    }
}

}  // namespace kv::media

#include "capture/grabber_callback.h"

#include "media/message_event.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace kv::capture {

namespace {
Q_LOGGING_CATEGORY(lcGrabber, "kv.capture.grabber", QtInfoMsg)

// Copies one top-down GStreamer frame into a bottom-up buffer, reversing the
// row order. A sample larger than the image is cut to it; a smaller one fills
// only the whole rows it holds, from the top of the picture down.
void copyFrame(std::uint8_t* target, const media::BITMAPINFOHEADER& format,
               const std::uint8_t* source, std::size_t length) {
    const std::size_t stride = std::size_t(media::frameStride(format.biWidth));
    const std::size_t height = std::size_t(std::abs(format.biHeight));
    const std::size_t rows = std::min(height, length / stride);
    if (format.biHeight < 0) {  // a top-down buffer takes the rows as they come
        std::memcpy(target, source, rows * stride);
        return;
    }
    for (std::size_t row = 0; row < rows; ++row) {
        std::memcpy(target + (height - 1 - row) * stride, source + row * stride, stride);
    }
}
}  // namespace

TGrabberCallback::TGrabberCallback(int notifyMessage, QObject* receiver, const media::Clock& clock)
    : clock_(clock), notify_message_(notifyMessage), receiver_(receiver) {}

TGrabberCallback::TGrabberCallback(int notifyMessage, Notifier notifier, const media::Clock& clock)
    : clock_(clock), notify_message_(notifyMessage), notifier_(std::move(notifier)) {}

TGrabberCallback::~TGrabberCallback() = default;

void TGrabberCallback::SampleCB(double /*sampleTime*/, const media::MediaSample& sample) {
    if (admit()) {
        store(sample.pointer(), sample.size());
    }
}

void TGrabberCallback::BufferCB(double /*sampleTime*/, const std::uint8_t* buffer,
                                std::size_t length) {
    if (admit()) {
        store(buffer, length);
    }
}

bool TGrabberCallback::admit() {
    // A frame is due when the next slot, one interval after the last, has
    // come; the slot then advances by exactly one interval, so the rate is
    // the interval's and not the interval plus up to one camera frame. A
    // camera more than an interval late (slower than the interval, or after a
    // stall) starts a new grid at its frame instead of catching up in a burst.
    // Differences wrap like the tick count, so the wrap at 2^32 is harmless.
    const std::uint32_t tick = clock_.tickCount();
    const std::uint32_t interval = interval_ms_.load();
    if (!slotted_.load()) {
        slotted_.store(true);
        slot_ms_.store(tick);
    } else {
        const std::uint32_t elapsed = tick - slot_ms_.load();
        if (elapsed < interval) {
            return false;
        }
        const std::uint32_t late = elapsed - interval;
        slot_ms_.store(late < interval ? slot_ms_.load() + interval : tick);
    }
    // A disabled frame has still spent its slot.
    return enabled_.load();
}

void TGrabberCallback::deliver(const media::MediaSample& sample) {
    if (enabled_.load()) {
        store(sample.pointer(), sample.size());
    }
}

void TGrabberCallback::store(const std::uint8_t* data, std::size_t length) {
    bool post = false;
    {
        std::lock_guard lock(mutex_);
        if (index_.load() == 1) {
            ready_.store(true);
        }
        const int index = 1 - index_.load();
        index_.store(index);
        std::uint8_t* target = pixels_[index].get();
        if (!target) {
            return;
        }
        if (data) {
            copyFrame(target, buffer_format_, data, length);
        }
        post = ready_.load();
    }
    if (post) {
        notify();
    }
}

void TGrabberCallback::notify() {
    if (notifier_) {
        notifier_();
    } else if (receiver_) {
        QCoreApplication::postEvent(receiver_, new media::MessageEvent(notify_message_));
    }
}

void TGrabberCallback::resetReady() {
    std::lock_guard lock(mutex_);
    ready_.store(false);
}

void TGrabberCallback::resetIndex() {
    std::lock_guard lock(mutex_);
    index_.store(0);
}

void TGrabberCallback::setFormat(const media::BITMAPINFOHEADER& header) {
    format_ = media::BITMAPINFO{};
    format_.bmiHeader = header;
}

bool TGrabberCallback::createBuffers() {
    const media::BITMAPINFOHEADER header = format_.bmiHeader;
    if (!media::isFrameFormat(header)) {
        qCWarning(lcGrabber) << "no frame buffers for a format of" << header.biWidth << "x"
                             << header.biHeight << "at" << header.biBitCount << "bits,"
                             << header.biSizeImage << "bytes";
        deleteBuffers();
        return false;
    }
    std::unique_ptr<std::uint8_t[]> fresh[2] = {
        std::make_unique<std::uint8_t[]>(header.biSizeImage),
        std::make_unique<std::uint8_t[]>(header.biSizeImage)};
    {
        std::lock_guard lock(mutex_);
        std::swap(pixels_[0], fresh[0]);
        std::swap(pixels_[1], fresh[1]);
        buffer_format_ = header;
    }
    return true;  // the old buffers are freed here, outside the lock
}

void TGrabberCallback::deleteBuffers() {
    std::unique_ptr<std::uint8_t[]> old[2];
    std::lock_guard lock(mutex_);
    std::swap(pixels_[0], old[0]);
    std::swap(pixels_[1], old[1]);
    buffer_format_ = media::BITMAPINFOHEADER{};
}

bool TGrabberCallback::hasBuffers() const {
    std::lock_guard lock(mutex_);
    return pixels_[0] && pixels_[1];
}

TGrabberCallback::ReadLock::ReadLock(const TGrabberCallback& owner)
    : lock_(owner.mutex_), owner_(&owner), index_(owner.index_.load()) {}

}  // namespace kv::capture

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

namespace detail {

struct HandoffBuffer {
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, Free> pixels;
    std::uint64_t generation = 0;  // of the buffers it was made with
    std::uint32_t takenTick = 0;   // when its frame was stored
    int holds = 0;
    bool inPair = false;
};

struct HandoffShared {
    std::mutex mutex;
    std::shared_ptr<HandoffBuffer> pair[2];
    std::vector<std::shared_ptr<HandoffBuffer>> spares;
    media::BITMAPINFOHEADER format{};
    std::uint64_t generation = 0;
    std::size_t maxSpares = TGrabberCallback::kMinSpares;

    // A buffer nothing uses any more goes back to the spares, or, past
    // maxSpares or from older buffers, into freed (released outside the lock).
    void unused(std::shared_ptr<HandoffBuffer> buffer,
                std::vector<std::shared_ptr<HandoffBuffer>>& freed) {
        if (buffer->generation == generation && spares.size() < maxSpares) {
            spares.push_back(std::move(buffer));
        } else {
            freed.push_back(std::move(buffer));
        }
    }
};

}  // namespace detail

namespace {
// Zeroed pixels: calloc gets fresh pages without writing them.
std::shared_ptr<detail::HandoffBuffer> newBuffer(std::size_t bytes, std::uint64_t generation) {
    auto buffer = std::make_shared<detail::HandoffBuffer>();
    buffer->pixels.reset(static_cast<std::uint8_t*>(std::calloc(bytes, 1)));
    if (!buffer->pixels) {
        return nullptr;
    }
    buffer->generation = generation;
    return buffer;
}
}  // namespace

FrameHold::FrameHold(std::shared_ptr<detail::HandoffShared> shared,
                     std::shared_ptr<detail::HandoffBuffer> buffer)
    : shared_(std::move(shared)), buffer_(std::move(buffer)) {}

FrameHold& FrameHold::operator=(FrameHold&& other) noexcept {
    if (this != &other) {
        reset();
        shared_ = std::move(other.shared_);
        buffer_ = std::move(other.buffer_);
    }
    return *this;
}

FrameHold FrameHold::share() const {
    if (!buffer_) {
        return {};
    }
    std::lock_guard lock(shared_->mutex);
    ++buffer_->holds;
    return FrameHold(shared_, buffer_);
}

void FrameHold::reset() {
    if (!buffer_) {
        return;
    }
    std::vector<std::shared_ptr<detail::HandoffBuffer>> freed;
    {
        std::lock_guard lock(shared_->mutex);
        if (--buffer_->holds == 0 && !buffer_->inPair) {
            shared_->unused(std::move(buffer_), freed);
        }
    }
    buffer_.reset();
    shared_.reset();
}  // pixels no longer used are freed here, outside the lock

std::uint8_t* FrameHold::pixels() const {
    return buffer_ ? buffer_->pixels.get() : nullptr;
}

std::uint32_t FrameHold::takenTick() const {
    return buffer_ ? buffer_->takenTick : 0;
}

TGrabberCallback::TGrabberCallback(int notifyMessage, QObject* receiver, const media::Clock& clock)
    : clock_(clock),
      notify_message_(notifyMessage),
      receiver_(receiver),
      shared_(std::make_shared<detail::HandoffShared>()) {}

TGrabberCallback::TGrabberCallback(int notifyMessage, Notifier notifier, const media::Clock& clock)
    : clock_(clock),
      notify_message_(notifyMessage),
      notifier_(std::move(notifier)),
      shared_(std::make_shared<detail::HandoffShared>()) {}

TGrabberCallback::~TGrabberCallback() {
    deleteBuffers();
}

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
    std::vector<std::shared_ptr<detail::HandoffBuffer>> freed;
    std::shared_ptr<detail::HandoffBuffer> target;
    media::BITMAPINFOHEADER format{};
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(shared_->mutex);
        if (!data || !shared_->pair[0] || !shared_->pair[1]) {
            // Nothing to copy, or nowhere: the frame still counts.
            if (!advance(nullptr, freed)) {
                return;
            }
        } else {
            format = shared_->format;
            generation = shared_->generation;
            if (!shared_->spares.empty()) {
                target = std::move(shared_->spares.back());
                shared_->spares.pop_back();
            }
        }
    }
    if (data && (target || (target = newBuffer(format.biSizeImage, generation)))) {
        target->takenTick = clock_.tickCount();
        copyFrame(target->pixels.get(), format, data, length);
        std::lock_guard lock(shared_->mutex);
        if (generation != shared_->generation) {
            return;  // the buffers were replaced meanwhile: this frame is dropped
        }
        if (!advance(std::move(target), freed)) {
            return;
        }
    } else if (data) {
        qCWarning(lcGrabber) << "no memory for a frame of" << format.biSizeImage << "bytes";
        return;
    }
    notify();
}

bool TGrabberCallback::advance(std::shared_ptr<detail::HandoffBuffer> target,
                               std::vector<std::shared_ptr<detail::HandoffBuffer>>& freed) {
    if (index_.load() == 1) {
        ready_.store(true);
    }
    const int index = 1 - index_.load();
    index_.store(index);
    if (target) {
        target->inPair = true;
        std::shared_ptr<detail::HandoffBuffer> old = std::exchange(shared_->pair[index], target);
        if (old) {
            old->inPair = false;
            if (old->holds == 0) {
                shared_->unused(std::move(old), freed);
            }
        }
    }
    return ready_.load() && shared_->pair[index];
}

void TGrabberCallback::notify() {
    if (notifier_) {
        notifier_();
    } else if (receiver_) {
        QCoreApplication::postEvent(receiver_, new media::MessageEvent(notify_message_));
    }
}

void TGrabberCallback::resetReady() {
    std::lock_guard lock(shared_->mutex);
    ready_.store(false);
}

void TGrabberCallback::resetIndex() {
    std::lock_guard lock(shared_->mutex);
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
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(shared_->mutex);
        generation = shared_->generation + 1;
    }
    std::shared_ptr<detail::HandoffBuffer> fresh[3];
    for (auto& buffer : fresh) {
        buffer = newBuffer(header.biSizeImage, generation);
        if (!buffer) {
            qCWarning(lcGrabber) << "no memory for frame buffers of" << header.biSizeImage
                                 << "bytes";
            deleteBuffers();
            return false;
        }
    }
    std::vector<std::shared_ptr<detail::HandoffBuffer>> old;
    {
        std::lock_guard lock(shared_->mutex);
        dropBuffers(old);
        shared_->generation = generation;
        for (int i = 0; i < 2; ++i) {
            fresh[i]->generation = generation;
            fresh[i]->inPair = true;
            shared_->pair[i] = std::move(fresh[i]);
        }
        fresh[2]->generation = generation;
        shared_->spares.push_back(std::move(fresh[2]));
        shared_->format = header;
    }
    return true;  // the old buffers are freed here, outside the lock
}

void TGrabberCallback::dropBuffers(std::vector<std::shared_ptr<detail::HandoffBuffer>>& old) {
    ++shared_->generation;  // a copy in flight is dropped, a held buffer freed when let go
    for (auto& buffer : shared_->pair) {
        if (buffer) {
            buffer->inPair = false;
            old.push_back(std::move(buffer));
        }
    }
    for (auto& buffer : shared_->spares) {
        old.push_back(std::move(buffer));
    }
    shared_->spares.clear();
    shared_->format = media::BITMAPINFOHEADER{};
}

void TGrabberCallback::deleteBuffers() {
    std::vector<std::shared_ptr<detail::HandoffBuffer>> old;
    std::lock_guard lock(shared_->mutex);
    dropBuffers(old);
}

void TGrabberCallback::setMaxSpares(std::size_t spares) {
    std::vector<std::shared_ptr<detail::HandoffBuffer>> freed;
    std::lock_guard lock(shared_->mutex);
    shared_->maxSpares = std::max(spares, kMinSpares);
    while (shared_->spares.size() > shared_->maxSpares) {
        freed.push_back(std::move(shared_->spares.back()));
        shared_->spares.pop_back();
    }
}

FrameHold TGrabberCallback::copyOf(const FrameHold& held) {
    if (!held) {
        return {};
    }
    std::shared_ptr<detail::HandoffBuffer> copy;
    std::size_t bytes = 0;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(shared_->mutex);
        generation = shared_->generation;
        if (held.buffer_->generation != generation) {
            return {};
        }
        bytes = shared_->format.biSizeImage;
        if (!shared_->spares.empty()) {
            copy = std::move(shared_->spares.back());
            shared_->spares.pop_back();
        }
    }
    if (!copy && !(copy = newBuffer(bytes, generation))) {
        return {};
    }
    std::memcpy(copy->pixels.get(), held.pixels(), bytes);
    copy->takenTick = held.takenTick();
    std::lock_guard lock(shared_->mutex);
    copy->holds = 1;
    return FrameHold(shared_, std::move(copy));
}

bool TGrabberCallback::hasBuffers() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->pair[0] && shared_->pair[1];
}

TGrabberCallback::ReadLock::ReadLock(const TGrabberCallback& owner)
    : lock_(owner.shared_->mutex), owner_(&owner), index_(owner.index_.load()) {}

const std::uint8_t* TGrabberCallback::ReadLock::buffer(int i) const {
    const auto& buffer = owner_->shared_->pair[i & 1];
    return buffer ? buffer->pixels.get() : nullptr;
}

const media::BITMAPINFOHEADER& TGrabberCallback::ReadLock::format() const {
    return owner_->shared_->format;
}

FrameHold TGrabberCallback::ReadLock::hold(int i) const {
    const auto& buffer = owner_->shared_->pair[i & 1];
    if (!buffer) {
        return {};
    }
    ++buffer->holds;
    return FrameHold(owner_->shared_, buffer);
}

}  // namespace kv::capture

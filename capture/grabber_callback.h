#pragma once

// The frame hand-off: the only code that runs on the capture pipeline's
// streaming thread. It throttles the camera's frames to the program's interval
// on a fixed grid of slots, so the rate does not drift with the camera's,
// copies each accepted frame into the next of two buffers and, once both hold
// a frame, notifies the main thread, which then reads the newest frame and the
// one before it. The main thread may keep a buffer past its read (a hold):
// no frame is written into a held buffer, the next one takes a spare instead.

#include "media/clock.h"
#include "media/frame.h"
#include "media/media_sample.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QObject;

namespace kv::capture {

// The message that tells the main thread a new frame is in the hand-off.
inline constexpr int WM_NEWFRAME = 1125;

namespace detail {
struct HandoffBuffer;
struct HandoffShared;
}  // namespace detail

// A hand-off buffer the main thread keeps: while any hold on it lives, the
// streaming thread writes no frame into it, so its pixels stay those of the
// frame it was taken for, and only the holder writes into them. A hold may
// outlive the hand-off and its buffers' format; releasing it takes the
// hand-off's lock, so none is released under a ReadLock.
class FrameHold {
  public:
    FrameHold() = default;
    FrameHold(FrameHold&& other) noexcept = default;
    FrameHold& operator=(FrameHold&& other) noexcept;
    ~FrameHold() { reset(); }
    FrameHold(const FrameHold&) = delete;
    FrameHold& operator=(const FrameHold&) = delete;

    // Another hold on the same buffer (empty when this one is).
    FrameHold share() const;
    void reset();
    std::uint8_t* pixels() const;
    // The clock's tick when the camera's frame was stored.
    std::uint32_t takenTick() const;
    explicit operator bool() const { return buffer_ != nullptr; }

  private:
    friend class TGrabberCallback;
    FrameHold(std::shared_ptr<detail::HandoffShared> shared,
              std::shared_ptr<detail::HandoffBuffer> buffer);

    std::shared_ptr<detail::HandoffShared> shared_;
    std::shared_ptr<detail::HandoffBuffer> buffer_;
};

class TGrabberCallback {
  public:
    using Notifier = std::function<void()>;

    // Posts a MessageEvent of type notifyMessage to receiver per notified frame.
    TGrabberCallback(int notifyMessage, QObject* receiver,
                     const media::Clock& clock = media::systemClock());
    // Calls notifier on the streaming thread per notified frame.
    TGrabberCallback(int notifyMessage, Notifier notifier,
                     const media::Clock& clock = media::systemClock());
    ~TGrabberCallback();

    TGrabberCallback(const TGrabberCallback&) = delete;
    TGrabberCallback& operator=(const TGrabberCallback&) = delete;

    // --- streaming thread: one call per delivered frame. The sample time is
    // not used.
    void SampleCB(double sampleTime, const media::MediaSample& sample);
    void BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t length);

    // The same delivery in two halves, so that a pipeline can throttle frames
    // before it spends any work converting them. admit() is the throttle: true
    // when the frame passed it while enabled. deliver() then stores the
    // converted frame in the next buffer and notifies; it does nothing once
    // disabled, so a frame still in flight after a stop is not stored.
    bool admit();
    void deliver(const media::MediaSample& sample);

    // --- main thread
    // Frames are copied only while enabled; disabled frames still pass through
    // the throttle.
    void setEnabled(bool enabled) { enabled_.store(enabled); }
    bool enabled() const { return enabled_.load(); }
    // Spacing of the slots at which frames are accepted.
    void setInterval(std::uint32_t interval_ms) { interval_ms_.store(interval_ms); }
    std::uint32_t interval() const { return interval_ms_.load(); }
    // The slot the last accepted frame was taken for: a multiple of the
    // interval after the first frame, or the tick of a frame that came more
    // than an interval late. 0 until the first frame.
    std::uint32_t lastSlot() const { return slot_ms_.load(); }
    // Ready: both buffers hold a frame since the last reset; only then notified.
    bool ready() const { return ready_.load(); }
    void resetReady();
    // The buffer that received the most recent frame, 0 or 1.
    int index() const { return index_.load(); }
    void resetIndex();
    int notifyMessage() const { return notify_message_; }

    // The frame format as the capture pipeline negotiated it: the whole
    // 44 bytes are cleared, then the header is copied in.
    void setFormat(const media::BITMAPINFOHEADER& header);
    const media::BITMAPINFO& format() const { return format_; }

    // Allocates both buffers and one spare with exactly the format's
    // biSizeImage bytes. More spares are allocated, on the streaming thread,
    // only while the main thread holds buffers (see setMaxSpares()).
    // False, with no buffers, when the format is not a 24-bit frame. Call only
    // while no frames are delivered or while disabled: the pipeline's build
    // and teardown; a frame copied meanwhile is dropped.
    bool createBuffers();
    void deleteBuffers();
    bool hasBuffers() const;
    // How many buffers nothing uses are kept for later frames rather than
    // freed: one for the next frame, one more while the main thread holds
    // both of the pair, and as many as it lets go of at once (the frames
    // kept before a movement), so that letting them go frees nothing.
    static constexpr std::size_t kMinSpares = 2;
    void setMaxSpares(std::size_t spares);

    // A hold on a copy of a held frame, in a buffer of the hand-off's that is
    // in neither of the pair: for a frame that is handled twice while the
    // first may still be read. Empty when held is, or is of older buffers,
    // or there is no memory. Takes the lock: not under a ReadLock.
    FrameHold copyOf(const FrameHold& held);

    // Holds the hand-off's lock: no frame is stored while this object lives,
    // so both buffers stay the same frames. Keep it only for the frame loop's
    // work on one frame, and never across stopping the pipeline,
    // createBuffers()/deleteBuffers() or releasing a FrameHold: the streaming
    // thread may be waiting for it.
    class ReadLock {
      public:
        bool hasBuffers() const { return buffer(0) && buffer(1); }
        const std::uint8_t* newest() const { return buffer(index_); }
        const std::uint8_t* previous() const { return buffer(1 - index_); }
        const std::uint8_t* buffer(int i) const;
        int index() const { return index_; }
        // The header the buffers were made from; each buffer holds its
        // biSizeImage bytes.
        const media::BITMAPINFOHEADER& format() const;
        // Keeps buffer i (its frame) past this lock; empty without buffers.
        FrameHold hold(int i) const;

      private:
        friend class TGrabberCallback;
        explicit ReadLock(const TGrabberCallback& owner);

        std::unique_lock<std::mutex> lock_;
        const TGrabberCallback* owner_;
        int index_;
    };
    ReadLock lockForRead() const { return ReadLock(*this); }

  private:
    void store(const std::uint8_t* data, std::size_t length);
    // Moves the index to the frame just stored (with target in its buffer,
    // unless null) and sets ready as the pair fills; true when it notifies.
    bool advance(std::shared_ptr<detail::HandoffBuffer> target,
                 std::vector<std::shared_ptr<detail::HandoffBuffer>>& freed);
    void notify();
    // Under the lock: the buffers leave the hand-off (into old).
    void dropBuffers(std::vector<std::shared_ptr<detail::HandoffBuffer>>& old);

    const media::Clock& clock_;
    const int notify_message_;
    QObject* const receiver_ = nullptr;
    const Notifier notifier_;

    // --- touched by both threads
    std::atomic<bool> enabled_{false};
    std::atomic<std::uint32_t> slot_ms_{0};  // written by the streaming thread only
    std::atomic<bool> slotted_{false};       // written by the streaming thread only
    std::atomic<std::uint32_t> interval_ms_{1000};
    std::atomic<int> index_{0};
    std::atomic<bool> ready_{false};

    // --- main thread only
    media::BITMAPINFO format_{};

    // The buffers, their lock and their format, shared with the holds. Each
    // frame is copied outside the lock into a spare, which then takes its
    // place in the pair under the lock: a reader never waits for a copy, and
    // the copy never waits for the frame loop. Buffers are described by the
    // header they were made from, so a later format change cannot make the
    // copy or a reader overrun them.
    const std::shared_ptr<detail::HandoffShared> shared_;
};

}  // namespace kv::capture

#pragma once

// The program's sense of time, behind one small interface so that the frame
// throttle, the record timer and file naming can be tested at any instant
// (tick wrap-around, midnight, 23:59:30).

#include <QDateTime>

#include <atomic>
#include <cstdint>

namespace kv::media {

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds from a monotonic source, wrapping at 2^32 like a tick count.
    // Safe to call from any thread.
    virtual std::uint32_t tickCount() const = 0;
    // The current local date and time.
    virtual QDateTime now() const = 0;
};

// The real clock: CLOCK_MONOTONIC for ticks, the system's local time for now().
Clock& systemClock();

// A clock that tests set by hand. Ticks are atomic so that a producer thread
// may read them while the test thread moves them.
class ManualClock : public Clock {
  public:
    std::uint32_t tickCount() const override;
    QDateTime now() const override;

    void setTick(std::uint32_t tick_ms);
    void advance(std::uint32_t ms);
    void setNow(const QDateTime& now);

  private:
    std::atomic<std::uint32_t> tick_ms_{0};
    QDateTime now_;
};

}  // namespace kv::media

#include "media/clock.h"

#include <time.h>

namespace kv::media {

namespace {
class SystemClock final : public Clock {
  public:
    std::uint32_t tickCount() const override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        const std::uint64_t ms =
            std::uint64_t(ts.tv_sec) * 1000u + std::uint64_t(ts.tv_nsec) / 1000000u;
        return static_cast<std::uint32_t>(ms);  // wraps like a 32-bit tick count
    }
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
}  // namespace

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

std::uint32_t ManualClock::tickCount() const {
    return tick_ms_.load(std::memory_order_relaxed);
}
QDateTime ManualClock::now() const {
    return now_;
}
void ManualClock::setTick(std::uint32_t tick_ms) {
    tick_ms_.store(tick_ms, std::memory_order_relaxed);
}
void ManualClock::advance(std::uint32_t ms) {
    tick_ms_.fetch_add(ms, std::memory_order_relaxed);
}
void ManualClock::setNow(const QDateTime& now) {
    now_ = now;
}

}  // namespace kv::media

// The millisecond clock behind status arithmetic, time estimates and bounded waits.
#pragma once

#include <atomic>
#include <cstdint>

namespace ombrix {

// A monotonic millisecond counter of 32 bits: it wraps after about 49.7 days, so
// the time between two readings is their difference in unsigned 32-bit arithmetic
// (later - earlier), exact for intervals shorter than the wrap. Components take a
// clock by reference so that tests can drive time by hand.
// Thread-safe: Now may be called from any thread.
class MillisecondClock {
 public:
  MillisecondClock() = default;
  MillisecondClock(const MillisecondClock&) = delete;
  MillisecondClock& operator=(const MillisecondClock&) = delete;
  virtual ~MillisecondClock() = default;

  virtual std::uint32_t Now() const = 0;
};

// The milliseconds of std::chrono::steady_clock truncated to 32 bits: never goes
// back, unaffected by changes of the wall-clock time.
class SteadyMillisecondClock final : public MillisecondClock {
 public:
  std::uint32_t Now() const override;

  // The process-wide instance, for components that are not handed a clock.
  static const SteadyMillisecondClock& Instance();
};

// A clock that moves only when told to; for tests. Advance wraps like the real
// counter.
class ManualMillisecondClock final : public MillisecondClock {
 public:
  explicit ManualMillisecondClock(std::uint32_t start = 0) : now_(start) {}

  std::uint32_t Now() const override { return now_.load(std::memory_order_acquire); }
  void Set(std::uint32_t now) { now_.store(now, std::memory_order_release); }
  void Advance(std::uint32_t milliseconds) { now_.fetch_add(milliseconds, std::memory_order_acq_rel); }

 private:
  std::atomic<std::uint32_t> now_;
};

}  // namespace ombrix

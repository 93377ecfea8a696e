// Bounded waiting for a condition that another thread makes true. Tests wait on
// conditions, never for a fixed time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace ombrix::test {

inline constexpr std::chrono::seconds kGenerousTimeout{30};

// Polls `condition` (with a short back-off) until it holds or `timeout` passes;
// returns whether it held.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = kGenerousTimeout);

// A one-shot flag that one thread raises and another awaits.
class Signal {
 public:
  void Notify();
  // True when raised before `timeout` passed.
  bool Wait(std::chrono::milliseconds timeout = kGenerousTimeout);
  bool IsRaised();

 private:
  std::mutex mutex_;
  std::condition_variable raised_;
  bool flag_ = false;
};

}  // namespace ombrix::test

#include "support/wait.h"

#include <thread>

namespace ombrix::test {

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto pause = std::chrono::microseconds(50);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return condition();
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(5000));
  }
  return true;
}

void Signal::Notify() {
  {
    std::lock_guard lock(mutex_);
    flag_ = true;
  }
  raised_.notify_all();
}

bool Signal::Wait(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return raised_.wait_for(lock, timeout, [this] { return flag_; });
}

bool Signal::IsRaised() {
  std::lock_guard lock(mutex_);
  return flag_;
}

}  // namespace ombrix::test

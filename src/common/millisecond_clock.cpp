#include "common/millisecond_clock.h"

#include <chrono>

namespace ombrix {

std::uint32_t SteadyMillisecondClock::Now() const {
  const auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count());
}

const SteadyMillisecondClock& SteadyMillisecondClock::Instance() {
  static const SteadyMillisecondClock clock;
  return clock;
}

}  // namespace ombrix

#include "common/millisecond_clock.h"

#include <gtest/gtest.h>

#include <chrono>

namespace ombrix {
namespace {

std::uint32_t SteadyMilliseconds() {
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

TEST(SteadyMillisecondClock, ReadsSteadyClockMillisecondsTruncatedTo32Bits) {
  const MillisecondClock& clock = SteadyMillisecondClock::Instance();
  const std::uint32_t before = SteadyMilliseconds();
  const std::uint32_t now = clock.Now();
  const std::uint32_t after = SteadyMilliseconds();
  EXPECT_LE(static_cast<std::uint32_t>(now - before), static_cast<std::uint32_t>(after - before));
}

TEST(ManualMillisecondClock, DifferencesStayExactAcrossTheWrap) {
  ManualMillisecondClock clock(0xFFFFFF00u);
  const std::uint32_t start = clock.Now();
  clock.Advance(0x180u);
  EXPECT_EQ(clock.Now(), 0x80u);
  EXPECT_EQ(static_cast<std::uint32_t>(clock.Now() - start), 0x180u);
  clock.Set(7);
  EXPECT_EQ(clock.Now(), 7u);
}

}  // namespace
}  // namespace ombrix

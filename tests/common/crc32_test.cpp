#include "common/crc32.h"

#include <gtest/gtest.h>

#include <boost/crc.hpp>
#include <cstdint>
#include <random>
#include <vector>

namespace ombrix {
namespace {

std::uint32_t Reference(const std::uint8_t* data, std::size_t length) {
  boost::crc_32_type crc;
  crc.process_bytes(data, length);
  return crc.checksum();
}

TEST(Crc32, MatchesTheStandardCheckValue) {
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32(nullptr, 0), 0u);
  EXPECT_EQ(Crc32(nullptr, 0, 0x12345678u), 0x12345678u);
}

// Lengths around the block sizes of the vectorized paths, and splits at odd
// offsets chained through the seed.
TEST(Crc32, AgreesWithBoostCrcOverLengthsAndChainedSplits) {
  std::vector<std::uint8_t> bytes(70001);
  std::mt19937 generator(7);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(generator());
  for (std::size_t length : {0u, 1u, 3u, 15u, 16u, 17u, 63u, 64u, 255u, 256u, 1023u, 4097u, 70001u}) {
    const std::uint32_t expected = Reference(bytes.data(), length);
    EXPECT_EQ(Crc32(bytes.data(), length), expected) << length;
    for (std::size_t split : {std::size_t{1}, length / 3, length - (length > 0 ? 1 : 0)}) {
      if (split > length) continue;
      const std::uint32_t head = Crc32(bytes.data(), split);
      EXPECT_EQ(Crc32(bytes.data() + split, length - split, head), expected) << length << "/" << split;
    }
  }
}

}  // namespace
}  // namespace ombrix

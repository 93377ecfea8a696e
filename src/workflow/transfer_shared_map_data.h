// The record of one chunk of a file, shared by every work of that chunk.
#pragma once

#include <cstdint>

namespace ombrix {

// Guarantees: the byte range [lowerBound, upperBound] (absolute, inclusive) and the
// expected CRC-32 never change after construction, so they may be read from any
// thread without a lock. This is the part of the chunk record that node selection
// needs; the mapped view, the file and the progress accounting join it with the
// chunk works.
class TransferSharedMapData {
 public:
  TransferSharedMapData(std::uint64_t lowerBound, std::uint64_t upperBound,
                        std::uint32_t expectedChecksum)
      : lowerBound(lowerBound), upperBound(upperBound), expectedChecksum(expectedChecksum) {}
  TransferSharedMapData(const TransferSharedMapData&) = delete;
  TransferSharedMapData& operator=(const TransferSharedMapData&) = delete;

  const std::uint64_t lowerBound;
  const std::uint64_t upperBound;
  const std::uint32_t expectedChecksum;
};

}  // namespace ombrix

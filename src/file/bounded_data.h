// A positioned byte interface limited to an absolute, inclusive range of a file.
#pragma once

#include <cstdint>

namespace ombrix::file {

// Guarantees: positions and bounds are absolute file offsets, never relative to
// lowerBound. Every operation checks its range before touching the platform, so a
// rejected call leaves the object and its position unchanged. Thread-safety is that
// of the implementation; callers sharing one object serialize their calls.
class BoundedData {
 public:
  BoundedData(std::uint64_t lowerBound, std::uint64_t upperBound)
      : lowerBound(lowerBound), upperBound(upperBound) {}
  virtual ~BoundedData() = default;
  BoundedData(const BoundedData&) = delete;
  BoundedData& operator=(const BoundedData&) = delete;

  virtual std::uint64_t GetPosition() = 0;
  virtual void SetPosition(std::uint64_t position) = 0;
  // Reads up to `count` bytes at the position and advances it; 0 at the end.
  virtual std::uint32_t Read(void* buffer, std::uint32_t count) = 0;
  // Writes up to `count` bytes at the position and advances it.
  virtual std::uint32_t Write(const void* buffer, std::uint32_t count) = 0;

  // Throws OutOfBoundsException unless lowerBound <= first <= last <= upperBound.
  void CheckBounds(std::uint64_t first, std::uint64_t last) const;
  // Throws std::bad_alloc ("bad allocation") unless last >= first and the byte count
  // last - first + 1 fits in 32 unsigned bits.
  static void CheckSpan(std::uint64_t first, std::uint64_t last);
  // CheckBounds, then CheckSpan.
  void CheckRange(std::uint64_t first, std::uint64_t last) const;

  const std::uint64_t lowerBound;
  const std::uint64_t upperBound;
};

}  // namespace ombrix::file

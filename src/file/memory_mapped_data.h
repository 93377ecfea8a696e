// An in-memory byte range of exactly one chunk of a file, either mapped onto the
// file or buffered for a later write-through.
#pragma once

#include <cstdint>
#include <functional>

#include "file/bounded_data.h"

namespace ombrix::file {

// Guarantees: the range [lowerBound, upperBound] fits 32 bits (checked at
// construction with CheckRange). The cursor starts at lowerBound and never leaves
// the range; a call whose bytes would cross upperBound throws OutOfBoundsException
// and copies nothing. Read returns at most 4,096 bytes per call. Not thread-safe:
// one chunk work uses a range at a time; Fetch and Flush hold the file's
// OperationContext where the implementation says so.
class MemoryMappedData : public BoundedData {
 public:
  // Receives the start of the range and its size in bytes.
  using Callable = std::function<void(std::uint8_t* data, std::uint32_t size)>;

  static constexpr std::uint32_t kMaxRead = 4096;

  MemoryMappedData(std::uint64_t first, std::uint64_t last);

  // lowerBound + cursor.
  std::uint64_t GetPosition() override;
  // Moves the cursor; OutOfBoundsException outside the range.
  void SetPosition(std::uint64_t position) override;
  // Returns the address of the next `count` bytes and advances the cursor by
  // `count`; nullptr for a count of 0.
  virtual std::uint8_t* Take(std::uint32_t count) = 0;
  // The address of the byte at lowerBound.
  virtual std::uint8_t* GetData() = 0;
  // Calls `callable` once with (GetData(), size of the range).
  virtual void Process(const Callable& callable) = 0;
  // Brings the range's bytes into memory.
  virtual void Fetch() = 0;
  // Makes the range's bytes part of the file.
  virtual void Flush() = 0;

  // upperBound - lowerBound + 1.
  std::uint32_t Size() const { return static_cast<std::uint32_t>(upperBound - lowerBound + 1); }

 protected:
  // Checks that `count` bytes from the cursor lie in the range (OutOfBoundsException
  // otherwise) and returns the cursor. `count` must not be 0.
  std::uint32_t CheckedCursor(std::uint32_t count) const;

  std::uint32_t cursor = 0;
};

}  // namespace ombrix::file

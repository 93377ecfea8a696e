#include "file/memory_mapped_data.h"

#include "file/file_exceptions.h"

namespace ombrix::file {

MemoryMappedData::MemoryMappedData(std::uint64_t first, std::uint64_t last) : BoundedData(first, last) {
  CheckRange(first, last);
}

std::uint64_t MemoryMappedData::GetPosition() { return lowerBound + cursor; }

void MemoryMappedData::SetPosition(std::uint64_t position) {
  CheckBounds(position, position);
  cursor = static_cast<std::uint32_t>(position - lowerBound);
}

std::uint32_t MemoryMappedData::CheckedCursor(std::uint32_t count) const {
  // The range fits 32 bits, so comparing against the remaining bytes cannot overflow.
  const std::uint64_t remaining = std::uint64_t{Size()} - cursor;
  if (count == 0 || count > remaining) throw OutOfBoundsException();
  const std::uint64_t first = lowerBound + cursor;
  CheckRange(first, first + count - 1);
  return cursor;
}

}  // namespace ombrix::file

#include "file/bounded_data.h"

#include "file/file_exceptions.h"

namespace ombrix::file {

void BoundedData::CheckBounds(std::uint64_t first, std::uint64_t last) const {
  if (!(lowerBound <= first && first <= last && last <= upperBound)) throw OutOfBoundsException();
}

void BoundedData::CheckSpan(std::uint64_t first, std::uint64_t last) {
  if (last < first || last - first >= 0xFFFFFFFFull) throw BadAllocation();
}

void BoundedData::CheckRange(std::uint64_t first, std::uint64_t last) const {
  CheckBounds(first, last);
  CheckSpan(first, last);
}

}  // namespace ombrix::file

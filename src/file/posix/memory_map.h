// The per-file mapping object from which memory-mapped windows are cut.
#pragma once

#include <cstdint>
#include <memory>

#include "file/memory_mapped_data.h"
#include "file/operation_context.h"

namespace ombrix::file::posix {

// Guarantees: owns its own descriptor of the file (closed at destruction with the
// context held), so views can be made from it for as long as it lives. Views do not
// hold it; a view stays usable after the mapping object and the file are gone.
// CreateView is thread-safe.
class MemoryMap {
 public:
  // Duplicates `fd`; failure is reported with the mapped exception.
  MemoryMap(int fd, std::shared_ptr<OperationContext> context);
  ~MemoryMap();
  MemoryMap(const MemoryMap&) = delete;
  MemoryMap& operator=(const MemoryMap&) = delete;

  // A MemoryMapView over [first, last] carrying this object's context.
  std::shared_ptr<MemoryMappedData> CreateView(std::uint64_t first, std::uint64_t last);

 private:
  int fd_ = -1;
  std::shared_ptr<OperationContext> context_;
};

}  // namespace ombrix::file::posix

// The per-file mapping object from which memory-mapped windows are cut.
#pragma once

#include <cstdint>
#include <memory>

#include "file/memory_mapped_data.h"
#include "file/operation_context.h"
#include "file/posix/file_descriptor.h"

namespace ombrix::file::posix {

// Guarantees: holds its own descriptor of the file, shared with the views it makes,
// so a view stays usable after the mapping object and the file are gone (views do
// not hold the mapping object). Destruction takes the context. CreateView is
// thread-safe.
class MemoryMap {
 public:
  // Duplicates `fd`; failure is reported with the mapped exception. Without
  // `writable` (a descriptor opened read-only) the views are read-only.
  MemoryMap(int fd, std::shared_ptr<OperationContext> context, bool writable = true);
  ~MemoryMap();
  MemoryMap(const MemoryMap&) = delete;
  MemoryMap& operator=(const MemoryMap&) = delete;

  // A MemoryMapView over [first, last] carrying this object's context.
  std::shared_ptr<MemoryMappedData> CreateView(std::uint64_t first, std::uint64_t last);

 private:
  std::shared_ptr<FileDescriptor> descriptor_;
  std::shared_ptr<OperationContext> context_;
  bool writable_;
};

}  // namespace ombrix::file::posix

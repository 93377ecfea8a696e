#include "file/posix/memory_map.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "file/file_exceptions.h"
#include "file/posix/errno_error.h"
#include "file/posix/memory_map_view.h"

namespace ombrix::file::posix {

MemoryMap::MemoryMap(int fd, std::shared_ptr<OperationContext> context, bool writable)
    : context_(std::move(context)), writable_(writable) {
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) {
    ThrowForErrno(errno);
    throw UnknownException();
  }
  descriptor_ = std::make_shared<FileDescriptor>(copy);
}

MemoryMap::~MemoryMap() {
  try {
    ContextGuard hold(context_);
    descriptor_.reset();
  } catch (...) {
    descriptor_.reset();
  }
}

std::shared_ptr<MemoryMappedData> MemoryMap::CreateView(std::uint64_t first, std::uint64_t last) {
  return std::make_shared<MemoryMapView>(descriptor_, context_, first, last, writable_);
}

}  // namespace ombrix::file::posix

#include "file/posix/memory_map.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "file/file_exceptions.h"
#include "file/posix/errno_error.h"
#include "file/posix/memory_map_view.h"

namespace ombrix::file::posix {

MemoryMap::MemoryMap(int fd, std::shared_ptr<OperationContext> context) : context_(std::move(context)) {
  fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (fd_ < 0) {
    ThrowForErrno(errno);
    throw UnknownException();
  }
}

MemoryMap::~MemoryMap() {
  try {
    ContextGuard hold(context_);
    ::close(fd_);
  } catch (...) {
    ::close(fd_);
  }
}

std::shared_ptr<MemoryMappedData> MemoryMap::CreateView(std::uint64_t first, std::uint64_t last) {
  return std::make_shared<MemoryMapView>(fd_, context_, first, last);
}

}  // namespace ombrix::file::posix

#include "file/posix/memory_map_view.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "file/file_exceptions.h"
#include "file/posix/errno_error.h"
#include "file/posix/mapped_memory_guard.h"

namespace ombrix::file::posix {

std::uint32_t MemoryMapView::Granularity() {
  static const std::uint32_t pageSize = static_cast<std::uint32_t>(::sysconf(_SC_PAGESIZE));
  return pageSize;
}

MemoryMapView::MemoryMapView(int fd, std::shared_ptr<OperationContext> context, std::uint64_t first,
                             std::uint64_t last)
    : MemoryMappedData(first, last), context(std::move(context)) {
  delta = static_cast<std::uint32_t>(first % Granularity());
  const std::uint64_t viewStart = first - delta;
  CheckSpan(viewStart, last);
  length = last - viewStart + 1;
  void* mapped = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, static_cast<off_t>(viewStart));
  if (mapped == MAP_FAILED) {
    ThrowForErrno(errno);
    throw UnknownException();
  }
  base = mapped;
}

MemoryMapView::~MemoryMapView() {
  if (base != nullptr) ::munmap(base, length);
}

std::uint8_t* MemoryMapView::GetData() { return static_cast<std::uint8_t*>(base) + delta; }

std::uint8_t* MemoryMapView::Take(std::uint32_t count) {
  if (count == 0) return nullptr;
  std::uint8_t* address = GetData() + CheckedCursor(count);
  cursor += count;
  return address;
}

std::uint32_t MemoryMapView::Read(void* buffer, std::uint32_t count) {
  const std::uint32_t n = std::min(count, kMaxRead);
  if (n == 0) return 0;
  const std::uint32_t at = CheckedCursor(n);
  GuardedCopy(buffer, GetData() + at, n);
  cursor = at + n;
  return n;
}

std::uint32_t MemoryMapView::Write(const void* buffer, std::uint32_t count) {
  if (count == 0) return 0;
  const std::uint32_t at = CheckedCursor(count);
  GuardedCopy(GetData() + at, buffer, count);
  cursor = at + count;
  return count;
}

void MemoryMapView::Process(const Callable& callable) {
  std::uint8_t* data = GetData();
  const std::uint32_t size = Size();
  Guarded([&] { callable(data, size); });
}

void MemoryMapView::Fetch() {
  ContextGuard hold(context);
  const volatile std::uint8_t* data = GetData();
  const std::uint32_t size = Size();
  const std::uint32_t page = Granularity();
  std::uint8_t accumulator = 0;
  Guarded([&] {
    // Reading one byte per page brings the page in; AND with 0 keeps the result 0
    // while the volatile reads cannot be elided.
    for (std::uint64_t offset = 0; offset < size; offset += page) accumulator &= data[offset];
  });
  if (accumulator != 0) {
    throw std::logic_error("MemoryMapView::Fetch: actual logic error, dummy result must be zero");
  }
}

void MemoryMapView::Flush() {
  ContextGuard hold(context);
  if (base == nullptr) return;
  if (::msync(base, length, MS_SYNC) != 0) {
    ThrowForErrno(errno);
    throw UnknownException();
  }
}

}  // namespace ombrix::file::posix

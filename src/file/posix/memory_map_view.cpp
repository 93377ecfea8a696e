#include "file/posix/memory_map_view.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
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

MemoryMapView::MemoryMapView(std::shared_ptr<FileDescriptor> descriptor, std::shared_ptr<OperationContext> context,
                             std::uint64_t first, std::uint64_t last, bool writable)
    : MemoryMappedData(first, last),
      descriptor(std::move(descriptor)),
      writable(writable),
      context(std::move(context)) {
  delta = static_cast<std::uint32_t>(first % Granularity());
  const std::uint64_t viewStart = first - delta;
  CheckSpan(viewStart, last);
  length = last - viewStart + 1;
  void* mapped = ::mmap(nullptr, length, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, this->descriptor->get(),
                        static_cast<off_t>(viewStart));
  if (mapped == MAP_FAILED) {
    ThrowForErrno(errno);
    throw UnknownException();
  }
  base = mapped;
}

MemoryMapView::~MemoryMapView() {
  if (base == nullptr) return;
  ::munmap(base, length);
  // Starts writing what went through the view to the device without waiting for
  // it, so the durable flush at the end of a download finds little left to write
  // and the disk works while later chunks arrive. Only a hint: without a wait it
  // leaves the file's writeback errors unseen, for the flush that makes the bytes
  // durable to report.
  if (written) {
    ::sync_file_range(descriptor->get(), static_cast<off_t>(lowerBound - delta), static_cast<off_t>(length),
                      SYNC_FILE_RANGE_WRITE);
  }
}

std::uint8_t* MemoryMapView::GetData() {
  if (broken) throw InvalidMapException();
  return static_cast<std::uint8_t*>(base) + delta;
}

std::uint8_t* MemoryMapView::Take(std::uint32_t count) {
  if (count == 0) return nullptr;
  // Take hands out room to write into; on read-only pages that would be SIGSEGV.
  if (!writable) throw InaccessibleException();
  std::uint8_t* address = GetData() + CheckedCursor(count);
  cursor += count;
  written = true;
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

std::uint64_t MemoryMapView::FileSize() const {
  struct stat info {};
  if (::fstat(descriptor->get(), &info) != 0) throw InvalidMapException();
  return static_cast<std::uint64_t>(info.st_size);
}

std::uint32_t MemoryMapView::Write(const void* buffer, std::uint32_t count) {
  if (count == 0) return 0;
  const std::uint32_t at = CheckedCursor(count);
  if (!writable) throw InaccessibleException();
  const std::uint64_t position = lowerBound + at;
  const std::uint64_t end = position + count;
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  // Bytes the file no longer has would fault on the mapping; the write must not
  // grow the file again instead.
  const std::uint64_t before = FileSize();
  if (end > before) throw InvalidMapException();
  if (end == before) {
    // The file's last bytes. A cut between the size check and a pwrite would be
    // undone by the pwrite without a trace, so these go through the mapping, which
    // cannot grow the file: a cut shows as a fault, or as a smaller size below.
    try {
      GuardedCopy(GetData() + at, bytes, count);
    } catch (const InvalidMapException&) {
      // A fault on bytes that still exist is the medium refusing the page, most
      // often for want of space to back it.
      struct stat info {};
      if (::fstat(descriptor->get(), &info) == 0 && static_cast<std::uint64_t>(info.st_size) >= end &&
          ::fallocate(descriptor->get(), FALLOC_FL_KEEP_SIZE, static_cast<off_t>(position), count) != 0 &&
          ClassifyErrno(errno) == ErrorKind::InsufficientSpace) {
        throw InsufficientSpaceException();
      }
      throw;
    }
    if (FileSize() < end) throw InvalidMapException();
    cursor = at + count;
    written = true;
    return count;
  }
  // The bytes go into the same page-cache pages the mapping shows, but through the
  // descriptor: a first write to a page of a shared file mapping costs a fault and
  // a block-allocation step per page, many times slower than copying through the
  // kernel.
  std::uint32_t done = 0;
  while (done < count) {
    const ssize_t wrote = ::pwrite(descriptor->get(), bytes + done, count - done, static_cast<off_t>(position + done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0) {
      ThrowForErrno(errno);
      throw UnknownException();
    }
    if (wrote == 0) throw InsufficientSpaceException();
    done += static_cast<std::uint32_t>(wrote);
  }
  // A cut that raced the write: the file is smaller than it was. When the pwrite
  // grew the cut file back to `end`, give that growth back.
  const std::uint64_t after = FileSize();
  if (after < before) {
    if (after == end && ::ftruncate(descriptor->get(), static_cast<off_t>(position)) != 0) {
      // The failure to report is the cut.
    }
    throw InvalidMapException();
  }
  cursor = at + count;
  written = true;
  return count;
}

void MemoryMapView::Process(const Callable& callable) {
  std::uint8_t* data = GetData();
  const std::uint32_t size = Size();
  // The callable is the caller's code and may own locks or memory: a fault inside it
  // must let it finish (on zero pages) rather than jump over its destructors. Pages
  // replaced that way no longer show the file, so the view refuses its bytes from
  // then on.
  try {
    Resuming([&] { callable(data, size); }, base, length);
  } catch (const InvalidMapException&) {
    broken = true;
    throw;
  }
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
  // Writes the range's dirty pages, however they were dirtied (through the mapping
  // or the descriptor share the page cache), and commits what is needed to read them
  // back: blocks reserved by Allocate stay unwritten extents, reading as zeros after
  // a crash, until the journal records them as written.
  int result;
  do {
    result = ::msync(base, length, MS_SYNC);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    ThrowForErrno(errno);
    throw UnknownException();
  }
}

}  // namespace ombrix::file::posix

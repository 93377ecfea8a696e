#include "file/sequential_write_cache.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "file/file_exceptions.h"
#include "file/shared_file.h"

namespace ombrix::file {

namespace {

// A monotonic millisecond clock truncated to 32 bits: differences wrap correctly.
std::uint32_t Milliseconds() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace

SequentialWriteCache::SequentialWriteCache(std::shared_ptr<SharedFile> file, std::shared_ptr<OperationContext> context,
                                           std::shared_ptr<FileSizeMonitor> monitor, std::uint64_t first,
                                           std::uint64_t last, std::uint32_t timeoutSeconds)
    : MemoryMappedData(first, last),
      file(std::move(file)),
      context(std::move(context)),
      monitor(std::move(monitor)),
      timeoutSeconds(timeoutSeconds) {
  if (!this->monitor) throw std::invalid_argument("SequentialWriteCache constructor received null monitor");
  // calloc hands out zeroed pages without touching them, so a large range costs
  // nothing until it is written.
  buffer.reset(static_cast<std::uint8_t*>(std::calloc(Size(), 1)));
  if (!buffer) throw BadAllocation();
}

void SequentialWriteCache::EnsureLoaded() {
  if (!loaded) Fetch();
}

void SequentialWriteCache::Fetch() {
  if (file == nullptr || lowerBound >= file->GetSize()) {
    loaded = true;
    return;
  }
  const std::uint32_t remembered = cursor;
  try {
    cursor = 0;
    std::uint64_t remaining = Size();
    file->SetPosition(lowerBound);
    std::uint8_t block[kMaxRead];
    while (remaining > 0) {
      const auto want = static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, kMaxRead));
      const std::uint32_t got = file->Read(block, want);
      if (got == 0) break;
      std::memcpy(buffer.get() + cursor, block, got);
      cursor += got;
      remaining -= got;
    }
  } catch (...) {
    cursor = remembered;
    throw;
  }
  loaded = true;
  cursor = remembered;
}

std::uint8_t* SequentialWriteCache::GetData() {
  EnsureLoaded();
  return buffer.get();
}

std::uint8_t* SequentialWriteCache::Take(std::uint32_t count) {
  EnsureLoaded();
  if (count == 0) return nullptr;
  std::uint8_t* address = buffer.get() + CheckedCursor(count);
  cursor += count;
  return address;
}

std::uint32_t SequentialWriteCache::Read(void* buffer_, std::uint32_t count) {
  EnsureLoaded();
  const std::uint32_t n = std::min(count, kMaxRead);
  if (n == 0) return 0;
  const std::uint32_t at = CheckedCursor(n);
  std::memcpy(buffer_, buffer.get() + at, n);
  cursor = at + n;
  return n;
}

std::uint32_t SequentialWriteCache::Write(const void* data, std::uint32_t count) {
  EnsureLoaded();
  if (count == 0) return 0;
  const std::uint32_t at = CheckedCursor(count);
  std::memcpy(buffer.get() + at, data, count);
  cursor = at + count;
  return count;
}

void SequentialWriteCache::Process(const Callable& callable) {
  EnsureLoaded();
  callable(buffer.get(), Size());
}

void SequentialWriteCache::WaitForPredecessors() {
  if (timeoutSeconds == 0) return;
  const std::uint64_t budget = std::uint64_t{timeoutSeconds} * 1000;
  const std::uint32_t start = Milliseconds();
  std::uint64_t elapsed = 0;
  std::unique_lock<std::mutex> hold(monitor->mutex);
  while (monitor->size < lowerBound && elapsed < budget) {
    monitor->condition.wait_for(hold, std::chrono::milliseconds(budget - elapsed));
    elapsed = static_cast<std::uint32_t>(Milliseconds() - start);
  }
}

void SequentialWriteCache::Flush() {
  // Bytes that were never loaded would overwrite the file's existing bytes with
  // zeros: load them first.
  EnsureLoaded();
  WaitForPredecessors();
  {
    ContextGuard hold(context);
    file->SetPosition(lowerBound);
    if (file->Write(buffer.get(), Size()) != Size()) throw UnknownException();
  }
  monitor->Raise(upperBound + 1);
  monitor->condition.notify_all();
}

}  // namespace ombrix::file

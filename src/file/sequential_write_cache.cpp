#include "file/sequential_write_cache.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "common/millisecond_clock.h"
#include "file/file_exceptions.h"
#include "file/shared_file.h"

namespace ombrix::file {

SequentialWriteCache::SequentialWriteCache(std::shared_ptr<SharedFile> file, std::shared_ptr<OperationContext> context,
                                           std::shared_ptr<FileSizeMonitor> monitor, std::uint64_t first,
                                           std::uint64_t last, std::uint32_t timeoutSeconds)
    : MemoryMappedData(first, last),
      file(std::move(file)),
      context(std::move(context)),
      monitor(std::move(monitor)),
      timeoutSeconds(timeoutSeconds) {
  if (!this->file) throw std::invalid_argument("SequentialWriteCache constructor received null file");
  if (!this->monitor) throw std::invalid_argument("SequentialWriteCache constructor received null monitor");
  // The buffer reads as zero-filled from the start, but is zeroed only where a byte
  // is seen before it is written (see Define): a chunk is normally written whole,
  // and zeroing it first would cost a third pass over its memory.
  buffer.reset(static_cast<std::uint8_t*>(std::malloc(Size())));
  if (!buffer) throw BadAllocation();
}

void SequentialWriteCache::Define(std::uint32_t end) {
  if (end <= defined) return;
  std::memset(buffer.get() + defined, 0, end - defined);
  defined = end;
}

void SequentialWriteCache::Fill(std::uint32_t at, const void* data, std::uint32_t count) {
  Define(at);
  std::memcpy(buffer.get() + at, data, count);
  defined = std::max(defined, at + count);
}

void SequentialWriteCache::EnsureLoaded() {
  if (!loaded) Fetch();
}

void SequentialWriteCache::Fetch() {
  // Loading again would overwrite bytes already written to the cache with the
  // file's older ones.
  if (loaded) return;
  if (lowerBound >= file->GetSize()) {
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
      Fill(cursor, block, got);
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
  Define(Size());
  return buffer.get();
}

std::uint8_t* SequentialWriteCache::Take(std::uint32_t count) {
  EnsureLoaded();
  if (count == 0) return nullptr;
  const std::uint32_t at = CheckedCursor(count);
  Define(at + count);
  cursor = at + count;
  std::uint8_t* address = buffer.get() + at;
  return address;
}

std::uint32_t SequentialWriteCache::Read(void* buffer_, std::uint32_t count) {
  EnsureLoaded();
  const std::uint32_t n = std::min(count, kMaxRead);
  if (n == 0) return 0;
  const std::uint32_t at = CheckedCursor(n);
  Define(at + n);
  std::memcpy(buffer_, buffer.get() + at, n);
  cursor = at + n;
  return n;
}

std::uint32_t SequentialWriteCache::Write(const void* data, std::uint32_t count) {
  EnsureLoaded();
  if (count == 0) return 0;
  const std::uint32_t at = CheckedCursor(count);
  Fill(at, data, count);
  cursor = at + count;
  return count;
}

void SequentialWriteCache::Process(const Callable& callable) {
  EnsureLoaded();
  Define(Size());
  callable(buffer.get(), Size());
}

void SequentialWriteCache::WaitForPredecessors() {
  if (timeoutSeconds == 0) return;
  const std::uint64_t budget = std::uint64_t{timeoutSeconds} * 1000;
  const MillisecondClock& clock = SteadyMillisecondClock::Instance();
  const std::uint32_t start = clock.Now();
  std::uint64_t elapsed = 0;
  std::unique_lock<std::mutex> hold(monitor->mutex);
  while (monitor->size < lowerBound && elapsed < budget) {
    monitor->condition.wait_for(hold, std::chrono::milliseconds(budget - elapsed));
    elapsed = clock.Now() - start;
  }
}

void SequentialWriteCache::Flush() {
  // Bytes that were never loaded would overwrite the file's existing bytes with
  // zeros: load them first.
  EnsureLoaded();
  Define(Size());
  WaitForPredecessors();
  {
    ContextGuard hold(context);
    file->SetPosition(lowerBound);
    if (file->Write(buffer.get(), Size()) != Size()) throw UnknownException();
  }
  monitor->Raise(upperBound + 1);
  monitor->condition.notify_all();
  // The bytes are in the file, so the caches after this one may go on; making them
  // durable needs neither the context nor the other caches to wait.
  file->Flush();
}

}  // namespace ombrix::file

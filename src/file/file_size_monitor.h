// The shared high-water mark of bytes written from the start of one file.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace ombrix::file {

// Guarantees: size only grows. One monitor is shared by a SharedFile and every
// write cache made from it; caches wait on `condition` (with `mutex` held) until
// size reaches their first byte. Thread-safe through `mutex`.
struct FileSizeMonitor {
  FileSizeMonitor() = default;
  FileSizeMonitor(const FileSizeMonitor&) = delete;
  FileSizeMonitor& operator=(const FileSizeMonitor&) = delete;

  // size = max(size, value) with mutex held. Does not wake waiters.
  void Raise(std::uint64_t value) {
    std::lock_guard<std::mutex> hold(mutex);
    if (value > size) size = value;
  }

  // The current value, read with mutex held.
  std::uint64_t Get() {
    std::lock_guard<std::mutex> hold(mutex);
    return size;
  }

  std::mutex mutex;
  std::condition_variable condition;
  // Bytes from the start of the file known to be written; guarded by mutex.
  std::uint64_t size = 0;
};

}  // namespace ombrix::file

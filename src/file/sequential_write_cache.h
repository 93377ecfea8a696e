// A heap buffer standing in for a chunk that lies at or beyond the end of its file,
// written to the file front to back when the chunk is finished.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "file/file_size_monitor.h"
#include "file/memory_mapped_data.h"
#include "file/operation_context.h"

namespace ombrix::file {

class SharedFile;

// Guarantees: the file is never touched before Flush, so a cache released without
// Flush leaves the file unchanged. The first access (Read, Write, Take, GetData, Process,
// Flush or an explicit Fetch) loads the bytes the file already has in the range; the rest
// reads as zeros; a failed load is retried by the next access. Flush waits (holding
// only the monitor's mutex, released while waiting) until every byte before
// lowerBound is written or timeoutSeconds pass, then writes the whole buffer at
// lowerBound with the OperationContext held, raises the monitor to upperBound + 1,
// wakes every waiter and then makes the written bytes durable (SharedFile::Flush,
// fdatasync) before it returns. A full disk at the write-through is
// InsufficientSpaceException. Not thread-safe otherwise (one user at a time).
class SequentialWriteCache : public MemoryMappedData {
 public:
  // `file` is a handle limited to [first, last]; neither `file` nor `monitor` may be
  // empty (std::invalid_argument naming the constructor). timeoutSeconds 0 means
  // Flush never waits.
  SequentialWriteCache(std::shared_ptr<SharedFile> file, std::shared_ptr<OperationContext> context,
                       std::shared_ptr<FileSizeMonitor> monitor, std::uint64_t first, std::uint64_t last,
                       std::uint32_t timeoutSeconds);
  ~SequentialWriteCache() override = default;

  std::uint32_t Read(void* buffer, std::uint32_t count) override;
  std::uint32_t Write(const void* buffer, std::uint32_t count) override;
  std::uint8_t* Take(std::uint32_t count) override;
  std::uint8_t* GetData() override;
  void Process(const Callable& callable) override;
  void Fetch() override;
  void Flush() override;

 private:
  struct Free {
    void operator()(std::uint8_t* block) const { std::free(block); }
  };
  void EnsureLoaded();
  // Zeroes the bytes from `defined` up to `end`, so that they read as zero.
  void Define(std::uint32_t end);
  // Copies `count` bytes to offset `at`, zeroing any gap before it first.
  void Fill(std::uint32_t at, const void* data, std::uint32_t count);
  void WaitForPredecessors();

  std::unique_ptr<std::uint8_t[], Free> buffer;
  // Bytes [0, defined) of buffer hold their content; the rest is not yet zeroed.
  std::uint32_t defined = 0;
  bool loaded = false;
  std::shared_ptr<SharedFile> file;
  std::shared_ptr<OperationContext> context;
  std::shared_ptr<FileSizeMonitor> monitor;
  std::uint32_t timeoutSeconds;
};

}  // namespace ombrix::file

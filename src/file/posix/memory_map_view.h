// A window of a file mapped into memory, through which received bytes land in the
// file directly.
#pragma once

#include <cstdint>
#include <memory>

#include "file/memory_mapped_data.h"
#include "file/operation_context.h"

namespace ombrix::file::posix {

// Guarantees: the bytes [lowerBound, upperBound] of the file are mapped shared and
// writable for the life of the view; what is written through it is the file's
// content (other readers of the file see it at once). Every copy into or out of the
// mapped bytes (Read, Write, Process, Fetch) is guarded: a fault of the mapping
// (SIGBUS, e.g. the file was truncated) is InvalidMapException, not a crash. Fetch
// and Flush hold the OperationContext when there is one. Destruction unmaps without
// flushing and without the context. Not thread-safe otherwise (one user at a time).
class MemoryMapView : public MemoryMappedData {
 public:
  // Maps [first, last] of the open descriptor `fd` (not kept). The mapping starts
  // at first rounded down to the allocation granularity (the page size).
  MemoryMapView(int fd, std::shared_ptr<OperationContext> context, std::uint64_t first, std::uint64_t last);
  ~MemoryMapView() override;

  std::uint32_t Read(void* buffer, std::uint32_t count) override;
  std::uint32_t Write(const void* buffer, std::uint32_t count) override;
  std::uint8_t* Take(std::uint32_t count) override;
  std::uint8_t* GetData() override;
  void Process(const Callable& callable) override;
  void Fetch() override;
  void Flush() override;

  // The platform's allocation granularity and page size (equal on Linux).
  static std::uint32_t Granularity();

 private:
  void* base = nullptr;  // start of the mapping; nullptr when not mapped
  std::uint64_t length = 0;
  std::uint32_t delta = 0;  // lowerBound modulo the granularity
  std::shared_ptr<OperationContext> context;
};

}  // namespace ombrix::file::posix

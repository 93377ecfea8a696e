// A window of a file mapped into memory, through which received bytes land in the
// file directly.
#pragma once

#include <cstdint>
#include <memory>

#include "file/memory_mapped_data.h"
#include "file/operation_context.h"
#include "file/posix/file_descriptor.h"

namespace ombrix::file::posix {

// Guarantees: the bytes [lowerBound, upperBound] of the file are mapped shared (and
// writable unless the view is read-only) for the life of the view; what is written
// through it is the file's content (other readers of the file see it at once, and
// addresses from Take and GetData show it). A range whose bytes no longer exist in
// the file (it was truncated) is InvalidMapException on every access, never a
// crash: copies out of the mapping are guarded against SIGBUS, a fault inside the
// callable of Process lets the callable finish (its destructors run) before
// InvalidMapException, after which the view refuses every access to its mapped
// bytes, and Write never grows a file that was cut short, even when the cut races
// the write (the write then fails with InvalidMapException). A full disk on Write
// is InsufficientSpaceException. A read-only view refuses Write and Take with
// InaccessibleException; the addresses GetData and Process hand out must not be
// written through. Flush is msync(MS_SYNC) of the range's pages: their data and
// the metadata needed to read it back are on stable storage when it returns.
// Fetch and Flush hold the OperationContext when there is one. Destruction unmaps
// without flushing and without the context; when bytes went through Write or Take
// it starts their writeback to the device without waiting for it. Not thread-safe
// otherwise (one user at a time).
class MemoryMapView : public MemoryMappedData {
 public:
  // Maps [first, last] of the file open as `descriptor` (kept for Write and Flush).
  // The mapping starts at first rounded down to the allocation granularity (the
  // page size).
  MemoryMapView(std::shared_ptr<FileDescriptor> descriptor, std::shared_ptr<OperationContext> context,
                std::uint64_t first, std::uint64_t last, bool writable = true);
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
  // The file's size; InvalidMapException when it cannot be read.
  std::uint64_t FileSize() const;

  std::shared_ptr<FileDescriptor> descriptor;
  void* base = nullptr;  // start of the mapping; nullptr when not mapped
  std::uint64_t length = 0;
  std::uint32_t delta = 0;  // lowerBound modulo the granularity
  // Set when a fault inside Process replaced mapped pages with zero pages: the
  // mapping no longer shows the file, so every access through it is refused.
  bool broken = false;
  bool writable = true;
  bool written = false;  // bytes went through Write or Take: writeback starts on destruction
  std::shared_ptr<OperationContext> context;
};

}  // namespace ombrix::file::posix

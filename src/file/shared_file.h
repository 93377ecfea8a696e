// The one object per open file that every work writing or reading it shares.
#pragma once

#include <cstdint>
#include <memory>

#include "file/bounded_data.h"
#include "file/file_size_monitor.h"
#include "file/memory_mapped_data.h"
#include "file/operation_context.h"

namespace ombrix::file {

class SequentialWriteCache;

// How a file is opened.
enum class OpenMode : std::uint8_t {
  OpenAlways = 0,    // open the file, create it if missing
  CreateNew = 1,     // create the file, fail if it exists
  OpenExisting = 2,  // open the file, fail if it is missing
  // Open an existing file for reading only (verification, execute permission): a
  // file without write permission or a running program opens this way. Writes
  // through the file, its ranges, views and caches are InaccessibleException.
  ReadOnly = 3,
};

// Guarantees: a positioned byte interface over [lowerBound, upperBound] of one open
// file, open from construction to destruction. Bounds and spans are checked before
// any platform call, so a rejected call leaves the file and its position unchanged;
// a failing platform call is reported as a file storage exception and leaves the
// file open and usable. Read transfers at most 4,096 bytes per call. Read, Write
// and Allocate hold the OperationContext (when there is one) from the position
// query to the end of the platform call. The file position is shared by all users
// of one object: SetPosition followed by Read or Write is not atomic, so concurrent
// writers each use their own view, cache or OpenRange handle. Destruction never
// throws.
class SharedFile : public BoundedData {
 public:
  // Sets the bounds and creates the monitor; OutOfBoundsException when first > last.
  SharedFile(std::uint64_t first, std::uint64_t last, std::shared_ptr<OperationContext> context);
  ~SharedFile() override = default;

  // The current size of the file in bytes.
  virtual std::uint64_t GetSize() = 0;
  // Grows an empty file to `size` bytes without writing data, reserving the space;
  // false (and nothing changed) when the file is not empty. The position is at 0
  // afterwards. A full disk is InsufficientSpaceException, with the file left empty.
  virtual bool Allocate(std::uint64_t size) = 0;
  // Lets the file be run again after DenyExecute. Never throws; false on failure.
  virtual bool AllowExecute() = 0;
  // Keeps a file that is being downloaded from being run. Never throws.
  virtual bool DenyExecute() = 0;
  // Map(lowerBound, upperBound).
  virtual std::shared_ptr<MemoryMappedData> Map();
  // A window onto [first, last], which must lie inside the bounds and below the
  // current size (InvalidMapException otherwise: bytes at or past the end go
  // through CreateWriteCache).
  virtual std::shared_ptr<MemoryMappedData> Map(std::uint64_t first, std::uint64_t last) = 0;
  // OpenRange(lowerBound, upperBound).
  virtual std::shared_ptr<SharedFile> OpenRange();
  // A second handle of the same file limited to [first, last], with its own
  // position and monitor and this file's context.
  virtual std::shared_ptr<SharedFile> OpenRange(std::uint64_t first, std::uint64_t last) = 0;
  // Makes the file's written bytes durable on the device (fdatasync): the data and
  // the metadata needed to read it back, such as allocation of reserved blocks.
  virtual void Flush() = 0;

  // A write cache over [first, last] that shares this file's monitor; bytes that
  // already exist count as written.
  std::shared_ptr<SequentialWriteCache> CreateWriteCache(std::uint64_t first, std::uint64_t last,
                                                         std::uint32_t timeoutSeconds);

  const std::shared_ptr<OperationContext> context;
  const std::shared_ptr<FileSizeMonitor> monitor;
};

}  // namespace ombrix::file

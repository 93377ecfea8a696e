// The four steps every chunk goes through whether it is downloaded or only
// checked: map its range, bring it into memory, check its CRC-32, release it.
#pragma once

#include <cstdint>
#include <memory>

#include "work/simple_work.h"
#include "workflow/transfer_work.h"

namespace ombrix {

class TransferSharedMapData;

// Seconds a write cache of a chunk spanning `span` + 1 bytes waits for the caches
// before it: ceil((T - 1) * span / divisor) with T = taskThreads, in double
// precision. T below 1 counts as 1 (no wait); the result is limited to
// [0, 4,294,967,295], which a divisor of 0 reaches unless nothing is to be waited.
std::uint32_t WriteCacheWaitSeconds(std::int32_t taskThreads, std::uint32_t divisor, std::uint64_t span);

// Common shape of the four chunk leaves. Each registers the work log's unmarked
// completion callback (only failures are logged at the default level), describes
// itself as "name", "transferId", then the chunk record, and turns an exception of
// its task into a TransferFileExceptionData: RetryableError when that record marks
// it worth a retry, else Error. A task holds its own handle to the map and the
// file while it uses them. None of them blocks, so Interrupt does nothing.
class ChunkMapWork : public SimpleWork, public TransferWork {
 public:
  ChunkMapWork(std::shared_ptr<TransferWorkInterface> transfer, std::shared_ptr<TransferSharedMapData> chunk);

  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() final;
  void Interrupt() override {}

  const std::shared_ptr<TransferSharedMapData> chunk;

 protected:
  virtual const char* Name() const = 0;
  virtual WorkStatus Execute() = 0;
  // Called with the failure status an exception became.
  virtual void OnException(const WorkStatus&) {}
  // Error, Internal (9), "<Name>::ExecuteTask has no shared map".
  WorkStatus NoMap() const;
};

// Gives the chunk a mapped view when the file already extends past the chunk's
// last byte, else a write cache with the wait budget of WriteCacheWaitSeconds.
// Without an open file: Error, Internal, "CreateChunkMapWork::ExecuteTask has no
// shared file".
class CreateChunkMapWork : public ChunkMapWork {
 public:
  using ChunkMapWork::ChunkMapWork;

 protected:
  const char* Name() const override { return "CreateChunkMapWork"; }
  WorkStatus Execute() override;
};

// Brings the chunk's bytes into memory before they are checked.
class PrefetchChunkWork : public ChunkMapWork {
 public:
  using ChunkMapWork::ChunkMapWork;

 protected:
  const char* Name() const override { return "PrefetchChunkWork"; }
  WorkStatus Execute() override;
};

// Computes the CRC-32 over the mapped bytes in place and, when the chunk has an
// expected SHA-256 and the CRC-32 matched, the SHA-256 too. A match of both
// settles the chunk's progress (Success); a mismatch takes the chunk's counted
// bytes off again and ends with Failure carrying a ChecksumStatusData.
class VerifyChunkWork : public ChunkMapWork {
 public:
  using ChunkMapWork::ChunkMapWork;

 protected:
  const char* Name() const override { return "VerifyChunkWork"; }
  WorkStatus Execute() override;
};

// Flushes the map when files are not preallocated (a write cache reaches the file
// only that way), then drops the chunk's reference to it. A fatal failure drops
// the map as well.
class ReleaseChunkMapWork : public ChunkMapWork {
 public:
  using ChunkMapWork::ChunkMapWork;

 protected:
  const char* Name() const override { return "ReleaseChunkMapWork"; }
  WorkStatus Execute() override;
  void OnException(const WorkStatus& status) override;
};

}  // namespace ombrix

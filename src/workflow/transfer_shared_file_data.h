// The record of one file, shared by every work of that file.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "work/work_descriptor.h"

namespace ombrix {

namespace file {
class SharedFile;
}  // namespace file

// Guarantees: filePath and fileSize never change. The open file is read and
// replaced under the record's own lock: GetFile hands out a shared handle that keeps
// the file open for as long as its holder uses it, so emptying the record (the
// close work, or the teardown of a file work) never closes a file under a chunk
// work that still reads or writes it. Thread-safe. Non-copyable.
class TransferSharedFileData : public WorkDescriptor {
 public:
  TransferSharedFileData(std::string filePath, std::uint64_t fileSize);
  TransferSharedFileData(const TransferSharedFileData&) = delete;
  TransferSharedFileData& operator=(const TransferSharedFileData&) = delete;
  ~TransferSharedFileData() override;

  // Empty until opened and after it was emptied.
  std::shared_ptr<file::SharedFile> GetFile() const;
  // Replaces the record's handle; an empty handle drops only the record's reference.
  void SetFile(std::shared_ptr<file::SharedFile> file);

  // "filePath" (text), "fileSize" (unsigned decimal).
  void Describe(boost::property_tree::ptree& tree) const override;

  // Records that this run changed the file's bytes or size, so closing it must
  // make them durable. Lock-free: set on the data path.
  void MarkWritten() { written_.store(true, std::memory_order_relaxed); }
  bool WasWritten() const { return written_.load(std::memory_order_relaxed); }
  // Records that the file was sized from empty by this run, so every chunk no
  // download wrote into yet reads as zeros: checking it needs no read of the file.
  void MarkZeroFilled() { zeroFilled_.store(true, std::memory_order_relaxed); }
  bool IsZeroFilled() const { return zeroFilled_.load(std::memory_order_relaxed); }
  // The chunks (by first byte) a download wrote into, for as long as the record
  // lives: retried chunk works of the same file still see them.
  void MarkChunkWritten(std::uint64_t lowerBound);
  bool WasChunkWritten(std::uint64_t lowerBound) const;

  const std::string filePath;     // relative to the destination folder
  const std::uint64_t fileSize;   // from the file record

 private:
  std::atomic<bool> written_{false};
  std::atomic<bool> zeroFilled_{false};
  mutable std::mutex lock_;
  std::shared_ptr<file::SharedFile> file_;  // guarded by lock_
  std::set<std::uint64_t> writtenChunks_;   // guarded by lock_
};

}  // namespace ombrix

// How works count the bytes of their transfer.
#pragma once

#include <cstdint>

namespace ombrix {

// Every operation updates one counter atomically and may be called from any number
// of threads at once. RemoveTransferredBytes never takes the count below 0.
class TransferProgressUpdater {
 public:
  TransferProgressUpdater() = default;
  TransferProgressUpdater(const TransferProgressUpdater&) = delete;
  TransferProgressUpdater& operator=(const TransferProgressUpdater&) = delete;
  virtual ~TransferProgressUpdater() = default;

  virtual void AddTransferredBytes(std::uint64_t count) = 0;
  virtual void RemoveTransferredBytes(std::uint64_t count) = 0;
  virtual void AddVerifiedBytes(std::uint64_t count) = 0;
  virtual void AddDownloadedBytes(std::uint64_t count) = 0;
};

}  // namespace ombrix

// The base every work of a transfer shares: its handle to the transfer.
#pragma once

#include <boost/property_tree/ptree_fwd.hpp>
#include <exception>
#include <memory>

#include "transfer/transfer_work_interface.h"
#include "work/work_status.h"

namespace ombrix {

class SimpleWorkRetryCallback;
class WorkCompleteCallback;

// A mix-in next to one engine work class. Guarantees: `transfer` is set at
// construction, never empty and never changed, so a work reaches its transfer for
// its whole life without a lock. Non-copyable.
class TransferWork {
 public:
  // std::invalid_argument "TransferWork constructed without a transfer" when empty.
  explicit TransferWork(std::shared_ptr<TransferWorkInterface> transfer);
  TransferWork(const TransferWork&) = delete;
  TransferWork& operator=(const TransferWork&) = delete;
  virtual ~TransferWork();

  // With idOnly: "transferId" only. Otherwise the whole description of the
  // transfer's parameters, from a copy taken under the transfer's lock. The id-only
  // form takes no lock, so any thread may describe a chunk work cheaply.
  void DescribeTransfer(boost::property_tree::ptree& tree, bool idOnly) const;

  const std::shared_ptr<TransferWorkInterface> transfer;
};

// The work log's completion callback a work registers first, or nullptr when the
// transfer has no work log (no callback is registered then).
WorkCompleteCallback* WorkLogCompleteCallback(TransferWorkInterface& transfer, bool marked);
// The work log's retry callback, or nullptr when there is no work log.
SimpleWorkRetryCallback* WorkLogRetryCallback(TransferWorkInterface& transfer, bool marked);

// The outcome of a file operation that threw: a TransferFileExceptionData, with
// RetryableError when it classifies the failure as worth a retry, else Error.
WorkStatus FileExceptionStatus(std::exception_ptr exception);

}  // namespace ombrix

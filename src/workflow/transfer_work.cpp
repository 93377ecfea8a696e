#include "workflow/transfer_work.h"

#include <boost/property_tree/ptree.hpp>
#include <stdexcept>

#include "events/work_log_manager.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_status_data.h"

namespace ombrix {

TransferWork::TransferWork(std::shared_ptr<TransferWorkInterface> transfer) : transfer(std::move(transfer)) {
  if (!this->transfer) throw std::invalid_argument("TransferWork constructed without a transfer");
}

TransferWork::~TransferWork() = default;

void TransferWork::DescribeTransfer(boost::property_tree::ptree& tree, bool idOnly) const {
  // The identifier is fixed for the transfer's life, so it is read without the
  // transfer's lock; the other parameters may change (destination, preallocation)
  // and are read from a copy taken under it.
  if (idOnly) {
    transfer->Params().DescribeId(tree);
  } else {
    transfer->GetParams().Describe(tree);
  }
}

WorkCompleteCallback* WorkLogCompleteCallback(TransferWorkInterface& transfer, bool marked) {
  WorkLogManager* log = transfer.GetBehavior().workLogManager;
  return log ? log->GetWorkCompleteCallback(marked) : nullptr;
}

SimpleWorkRetryCallback* WorkLogRetryCallback(TransferWorkInterface& transfer, bool marked) {
  WorkLogManager* log = transfer.GetBehavior().workLogManager;
  return log ? log->GetRetryCallback(marked) : nullptr;
}

WorkStatus FileExceptionStatus(std::exception_ptr exception) {
  auto data = std::make_shared<TransferFileExceptionData>(std::move(exception));
  const WorkResult result = data->IsRetryWorthy() ? WorkResult::RetryableError : WorkResult::Error;
  return WorkStatus(result, std::move(data));
}

}  // namespace ombrix

#include "workflow/optimized_request_chunk_work.h"

#include <boost/property_tree/ptree.hpp>
#include <new>

#include "http/request_factory.h"
#include "manifest/node_manifest.h"
#include "selection/node_statistics.h"
#include "selection/transfer_optimizer.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_work_interface.h"
#include "workflow/http_transfer_status_data.h"
#include "workflow/transfer_http_writer.h"
#include "workflow/transfer_shared_map_data.h"

namespace ombrix {

namespace {

WorkResult ResultForState(http::State state) {
  using http::State;
  switch (state) {
    case State::Complete:
      return WorkResult::Success;
    case State::Cancelled:
      return WorkResult::Interrupted;
    case State::BadRequest:
    case State::ResolveFailed:
    case State::ConnectFailed:
    case State::ClientError:
    case State::ServerError:
    case State::NetworkError:
    case State::RangeError:
    case State::TimedOut:
    case State::OtherError:
    case State::SecurityError:
      return WorkResult::RetryableError;
    default:
      return WorkResult::Error;
  }
}

}  // namespace

OptimizedRequestChunkWork::OptimizedRequestChunkWork(std::shared_ptr<TransferWorkInterface> transfer,
                                                     std::shared_ptr<TransferSharedMapData> chunk,
                                                     unsigned maxRetries)
    : TransferWork(transfer),
      LimitedRetrySimpleWork(WorkLogCompleteCallback(*transfer, false), maxRetries),
      chunk(chunk),
      params(transfer->GetNodeList(), transfer->Params(), chunk) {
  AddRetryCallback(WorkLogRetryCallback(*transfer, false));
}

void OptimizedRequestChunkWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "OptimizedRequestChunkWork");
  DescribeTransfer(tree, true);
  chunk->Describe(tree);
}

bool OptimizedRequestChunkWork::ShouldRetry() {
  if (diskFull) return false;
  if (params.freeRetry && freeRetryCount <= maxRetries) {
    ++freeRetryCount;
    return true;
  }
  return LimitedRetrySimpleWork::ShouldRetry();
}

void OptimizedRequestChunkWork::Reset() {
  LimitedRetrySimpleWork::Reset();
  freeRetryCount = 0;
  diskFull = false;
}

void OptimizedRequestChunkWork::Interrupt() {
  std::lock_guard lock(requestLock);
  if (currentRequest) currentRequest->Cancel();
}

void OptimizedRequestChunkWork::SetCurrentRequest(std::shared_ptr<http::Request> request) {
  std::lock_guard lock(requestLock);
  currentRequest = std::move(request);
}

WorkStatus OptimizedRequestChunkWork::ExecuteTask() {
  const std::shared_ptr<file::MemoryMappedData> map = chunk->GetMap();
  if (!map) {
    return WorkStatus(WorkResult::Error,
                      std::make_shared<TransferErrorData>(
                          TransferError::Internal, "OptimizedRequestChunkWork::ExecuteTask has no shared map"));
  }
  try {
    return Attempt(map);
  } catch (const std::bad_alloc&) {
    SetCurrentRequest(nullptr);
    return WorkStatus(WorkResult::Error,
                      std::make_shared<TransferExceptionData>(TransferError::OutOfMemory, std::current_exception()));
  } catch (...) {
    SetCurrentRequest(nullptr);
    return WorkStatus(WorkResult::Error,
                      std::make_shared<TransferExceptionData>(TransferError::Internal, std::current_exception()));
  }
}

WorkStatus OptimizedRequestChunkWork::Attempt(const std::shared_ptr<file::MemoryMappedData>& map) {
  const TransferBehavior& behavior = transfer->GetBehavior();
  behavior.transferOptimizer->GetNode(params);

  // The writer outlives the request's use of it: the request is dropped (and
  // currentRequest cleared) before the writer goes.
  TransferHttpWriter writer(map, chunk, transfer->GetProgressUpdater());
  const http::RequestOptions options = params.ToRequestOptions(writer);
  std::shared_ptr<http::Request> request =
      behavior.requestFactory->CreateRequest(options, transfer->GetSession());
  SetCurrentRequest(request);

  chunk->ResetProgress();
  // A stop raised before the request was visible to Interrupt still cancels it.
  if (IsStopRequested()) request->Cancel();

  const http::RequestResult result = request->Perform();
  const auto status = std::make_shared<HttpTransferStatusData>(params.SelectedNode->GetHost(), result,
                                                               writer.FailedForInsufficientSpace());
  const WorkResult stateResult = ResultForState(result.state);
  // A full disk is worth a retry once space is freed, but not at once from another
  // node: the transfer waits for a retry instead. Any other broken write is fatal.
  diskFull = result.state == http::State::WriteFailed && writer.FailedForInsufficientSpace();
  const WorkResult workResult = diskFull ? WorkResult::RetryableError : stateResult;

  if (const auto statistics = params.SelectedNode->GetStatistics()) statistics->Update(result);
  // The selector learns only about what the node did, not about our own disk.
  if (stateResult == WorkResult::Success || stateResult == WorkResult::RetryableError) {
    behavior.transferOptimizer->ReportResult(params, result);
  }
  if (workResult != WorkResult::Interrupted) params.RemoveSelectedNode();
  if (result.state == http::State::TimedOut && params.timeoutsCanGrow) params.freeRetry = true;

  SetCurrentRequest(nullptr);
  return WorkStatus(workResult, status);
}

}  // namespace ombrix

// The status detail of one chunk request: which node answered and how.
#pragma once

#include <string>

#include "http/request_result.h"
#include "transfer/transfer_status_data.h"

namespace ombrix {

// Immutable once built. The transfer error follows the request state; a write
// that failed because the disk is full is InsufficientSpace (worth a retry once
// space is freed) instead of StorageWrite.
// Describe: "httpResult", "httpResponseCode", "requestTimeMs", "resolveTimeMs",
// "connectTimeMs", "firstByteTimeMs", "bytesWritten", "hostname", "ip",
// "proxyConfig", "proxyUrl", "errorSummary", "errorDetails".
// GetMessage: empty for None; otherwise "error|" ["proxy|"] <error> "|" <state> "|"
// <errorSummary>.
// The analytics label of a failed request: empty for None; otherwise `prefix`
// ("error|" or "error|manifest|"), "proxy|" when a proxy was used, the error and
// the request state in decimal, and the error summary, separated by "|".
std::string RequestFailureLabel(const char* prefix, TransferError error, const http::RequestResult& result);

class HttpTransferStatusData : public TransferStatusData {
 public:
  HttpTransferStatusData(std::string hostname, http::RequestResult result,
                         bool insufficientSpace = false);

  TransferError ToTransferError() const override;
  void Describe(boost::property_tree::ptree& tree) const override;
  std::string GetMessage() const override;

  const std::string hostname;
  const http::RequestResult result;

 private:
  const bool insufficientSpace_;
};

// The transfer error a request that ended in `state` means.
TransferError TransferErrorForState(http::State state);

}  // namespace ombrix

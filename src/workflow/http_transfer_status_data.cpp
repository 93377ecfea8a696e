#include "workflow/http_transfer_status_data.h"

#include <boost/property_tree/ptree.hpp>

namespace ombrix {

TransferError TransferErrorForState(http::State state) {
  using http::State;
  switch (state) {
    case State::Complete:
    case State::Cancelled:
      return TransferError::None;
    case State::ClientError:
    case State::RangeError:
      return TransferError::ContentUnavailable;
    case State::ResolveFailed:
    case State::ConnectFailed:
    case State::ServerError:
    case State::NetworkError:
    case State::TimedOut:
    case State::SecurityError:
      return TransferError::Network;
    case State::OutOfMemory:
      return TransferError::OutOfMemory;
    case State::WriteFailed:
      return TransferError::StorageWrite;
    case State::BadRequest:
    case State::OtherError:
      return TransferError::BadRequest;
    default:
      return TransferError::Internal;
  }
}

HttpTransferStatusData::HttpTransferStatusData(std::string hostname, http::RequestResult result,
                                               bool insufficientSpace)
    : hostname(std::move(hostname)),
      result(std::move(result)),
      insufficientSpace_(insufficientSpace) {}

TransferError HttpTransferStatusData::ToTransferError() const {
  const TransferError error = TransferErrorForState(result.state);
  if (insufficientSpace_ && error == TransferError::StorageWrite) return TransferError::InsufficientSpace;
  return error;
}

void HttpTransferStatusData::Describe(boost::property_tree::ptree& tree) const {
  tree.add("httpResult", static_cast<unsigned>(result.state));
  tree.add("httpResponseCode", result.responseCode);
  tree.add("requestTimeMs", result.totalMs);
  tree.add("resolveTimeMs", result.nameLookupMs);
  tree.add("connectTimeMs", result.connectMs);
  tree.add("firstByteTimeMs", result.startTransferMs);
  tree.add("bytesWritten", result.bytesReceived);
  tree.add("hostname", hostname);
  tree.add("ip", result.ip);
  tree.add("proxyConfig", result.proxyConfig);
  tree.add("proxyUrl", result.proxyUrl);
  tree.add("errorSummary", result.errorSummary);
  tree.add("errorDetails", result.errorDetails);
}

std::string HttpTransferStatusData::GetMessage() const {
  return RequestFailureLabel("error|", ToTransferError(), result);
}

std::string RequestFailureLabel(const char* prefix, TransferError error, const http::RequestResult& result) {
  if (error == TransferError::None) return {};
  std::string message = prefix;
  if (!result.proxyConfig.empty()) message += "proxy|";
  message += std::to_string(static_cast<unsigned>(error));
  message += '|';
  message += std::to_string(static_cast<unsigned>(result.state));
  message += '|';
  message += result.errorSummary;
  return message;
}

}  // namespace ombrix

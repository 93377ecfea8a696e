#include "workflow/optimized_request_params.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>

#include <stdexcept>

#include "workflow/http_transfer_status_data.h"

namespace ombrix {
namespace {

TransferParams Package(std::string partner = "P", std::string package = "K", std::string version = "V") {
  TransferParams params;
  params.partnerId = std::move(partner);
  params.packageId = std::move(package);
  params.versionId = std::move(version);
  return params;
}

struct UrlCase {
  const char* nodePath;
  const char* filePath;
  const char* url;
};

// Ordinary names resolve exactly as RFC 3986 says; names with characters a URI
// gives meaning to stay one literal path.
TEST(ChunkUrlTest, ResolvesEveryNameToItsOwnPath) {
  const UrlCase cases[] = {
      {"/content/", "/bin/app.exe", "http://h:81/content/P/K/V/bin/app.exe"},
      {"/content", "/bin/app.exe", "http://h:81/P/K/V/bin/app.exe"},
      {"/content/", "//bin/app.exe", "http://h:81/content/P/K/V/bin/app.exe"},
      {"/content/", "data/a b(1).bin", "http://h:81/content/P/K/V/data/a%20b%281%29.bin"},
      {"/c/", "100%.bin", "http://h:81/c/P/K/V/100%25.bin"},
      {"/c/", "a%41.bin", "http://h:81/c/P/K/V/a%2541.bin"},
      {"/c/", "dir/#1.bin", "http://h:81/c/P/K/V/dir/%231.bin"},
      {"/c/", "what?.bin", "http://h:81/c/P/K/V/what%3F.bin"},
      {"/c/", "c:/x.bin", "http://h:81/c/P/K/V/c:/x.bin"},
      {"/c/", "mailto:x", "http://h:81/c/P/K/V/mailto:x"},
      {"/c/", "dir\\f.bin", "http://h:81/c/P/K/V/dir%5Cf.bin"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChunkUrl("h:81", c.nodePath, Package(), c.filePath), c.url) << c.filePath;
  }
  EXPECT_EQ(ChunkUrl("h", "/c/", Package("p:1", "k#", "v%"), "f"), "http://h/c/p:1/k%23/v%25/f");
}

TEST(OptimizedRequestParamsTest, ToUrlRefusesAMissingNodeOrChunk) {
  OptimizedRequestParams params(nullptr, Package(), nullptr);
  try {
    params.ToUrl();
    FAIL() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "OptimizedRequestParams::ToUrl invoked with no SelectedNode or no ChunkData");
  }
}

TEST(HttpTransferStatusDataTest, MapsStatesToErrorsAndLabels) {
  using http::State;
  const std::pair<State, TransferError> table[] = {
      {State::Idle, TransferError::Internal},           {State::Running, TransferError::Internal},
      {State::Complete, TransferError::None},           {State::Cancelled, TransferError::None},
      {State::BadRequest, TransferError::BadRequest},   {State::ResolveFailed, TransferError::Network},
      {State::ConnectFailed, TransferError::Network},   {State::ClientError, TransferError::ContentUnavailable},
      {State::ServerError, TransferError::Network},     {State::NetworkError, TransferError::Network},
      {State::WriteFailed, TransferError::StorageWrite}, {State::RangeError, TransferError::ContentUnavailable},
      {State::TimedOut, TransferError::Network},        {State::OutOfMemory, TransferError::OutOfMemory},
      {State::OtherError, TransferError::BadRequest},   {State::SecurityError, TransferError::Network},
      {static_cast<State>(16), TransferError::Internal},
  };
  for (const auto& [state, error] : table) {
    http::RequestResult result;
    result.state = state;
    EXPECT_EQ(HttpTransferStatusData("h", result).ToTransferError(), error) << static_cast<int>(state);
  }

  http::RequestResult timedOut;
  timedOut.state = State::TimedOut;
  timedOut.proxyConfig = "manual";
  timedOut.errorSummary = "Timeout was reached";
  EXPECT_EQ(HttpTransferStatusData("h", timedOut).GetMessage(), "error|proxy|2|12|Timeout was reached");
  http::RequestResult complete;
  complete.state = State::Complete;
  complete.proxyConfig = "manual";
  EXPECT_EQ(HttpTransferStatusData("h", complete).GetMessage(), "");

  http::RequestResult diskFull;
  diskFull.state = State::WriteFailed;
  diskFull.errorSummary = "insufficient space";
  EXPECT_EQ(HttpTransferStatusData("h", diskFull, true).ToTransferError(), TransferError::InsufficientSpace);
  EXPECT_EQ(HttpTransferStatusData("h", diskFull, true).GetMessage(), "error|4|10|insufficient space");
}

TEST(HttpTransferStatusDataTest, DescribesInOrder) {
  http::RequestResult result;
  result.state = http::State::ServerError;
  result.responseCode = 503;
  result.totalMs = 7;
  result.bytesReceived = 12;
  boost::property_tree::ptree tree;
  HttpTransferStatusData("node.example", result).Describe(tree);
  std::vector<std::string> keys;
  for (const auto& [key, value] : tree) keys.push_back(key);
  const std::vector<std::string> expected = {"httpResult", "httpResponseCode", "requestTimeMs", "resolveTimeMs",
                                             "connectTimeMs", "firstByteTimeMs", "bytesWritten", "hostname",
                                             "ip", "proxyConfig", "proxyUrl", "errorSummary", "errorDetails"};
  EXPECT_EQ(keys, expected);
  EXPECT_EQ(tree.get<std::string>("httpResult"), "8");
  EXPECT_EQ(tree.get<std::string>("httpResponseCode"), "503");
  EXPECT_EQ(tree.get<std::string>("bytesWritten"), "12");
  EXPECT_EQ(tree.get<std::string>("hostname"), "node.example");
}

}  // namespace
}  // namespace ombrix

#include "events/transfer_events.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/property_tree/ptree.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/environment.h"
#include "common/json_writer.h"
#include "events/json_http_analytics_manager.h"
#include "events/json_work_log_manager.h"
#include "events/os_name.h"
#include "file/posix/filesystem_impl.h"
#include "http/curl_request_factory.h"
#include "http/posix/proxy_factory_impl.h"
#include "http/request.h"
#include "http/request_options.h"
#include "http/session_factory.h"
#include "http/stringstream_writer.h"
#include "manifest/node_list_manifest.h"
#include "selection/node_statistics.h"
#include "support/fake_transfer_work_interface.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "support/wait.h"
#include "transfer/transfer_settings.h"
#include "transfer/transfer_status_data.h"
#include "work/no_op_work.h"
#include "workflow/http_transfer_status_data.h"

namespace ombrix {
namespace {

namespace fs = std::filesystem;
using boost::property_tree::ptree;

const auto kFixedTime = std::chrono::system_clock::from_time_t(1796863110);
constexpr const char* kStamp = "[2026-12-10 00:38:30] ";
constexpr const char* kLogsFolder = "logs";

std::string Quoted(const std::string& text) {
  std::string quoted;
  AppendJsonString(text, quoted);
  return quoted;
}

std::string EventDoc(const std::string& metric, const std::string& dimensions = "{}") {
  return "{\"pid\":\"partner\",\"pkgid\":\"pkg\",\"vid\":\"v1\",\"ombrixv\":\"1.3.5\",\"osv\":" +
         Quoted(GetOsName()) + ",\"metrics\":{\"" + metric + "\":\"1\"},\"dimensions\":" +
         dimensions + "}";
}

std::string TransferDoc(const std::string& status, const std::string& bytes) {
  return "{\"pid\":\"partner\",\"pkgid\":\"pkg\",\"vid\":\"v1\",\"tid\":\"" +
         std::string(test::FakeTransferWorkInterface::kTransferId) +
         "\",\"ombrixv\":\"1.3.5\",\"osv\":" + Quoted(GetOsName()) + ",\"status\":\"" + status +
         "\",\"transferBytes\":\"" + bytes + "\",\"duration\":\"0\"}";
}

std::string LogLine(const std::string& event, const std::string& extra = "") {
  return std::string(kStamp) + "{\"event\":\"" + event + "\",\"params\":{\"transferId\":\"" +
         test::FakeTransferWorkInterface::kTransferId +
         "\",\"partnerId\":\"partner\",\"packageId\":\"pkg\",\"versionId\":\"v1\","
         "\"destPath\":\"\\/dest\\/\\u00C3\\u00A9\"}" +
         extra + "}\n";
}

std::vector<std::string> Bodies(const std::vector<test::RecordedRequest>& requests) {
  std::vector<std::string> bodies;
  for (const auto& request : requests) bodies.push_back(request.body);
  std::sort(bodies.begin(), bodies.end());
  return bodies;
}

class TransferEventsTest : public testing::Test {
 protected:
  TransferEventsTest() {
    transfer.params.partnerId = "partner";
    transfer.params.packageId = "pkg";
    transfer.params.versionId = "v1";
    transfer.params.destPath = "/dest/\xC3\xA9";
  }

  void SetThreeNodes() {
    StandardNodeListManifest::Nodes nodes;
    for (const char* host : {"n1.example", "n2.example", "n3.example"}) {
      nodes.push_back(std::make_shared<StandardNodeManifest>(host, host, "/p/", 1,
                                                             std::make_shared<NodeStatistics>()));
    }
    transfer.SetNodeList(std::make_shared<StandardNodeListManifest>(std::move(nodes)));
  }

  std::string NodeDoc(const std::string& host) const {
    ptree tree;
    OptimizerAnalyticsRequest(transfer.params, host, NodeStatisticsSnapshot{}).Write(tree);
    std::string text = ToJson(tree);
    text.pop_back();
    return text;
  }

  // Raises through fresh reporters, waits for `posts` posts, then tears the
  // reporters down (which writes the log). Returns the log's content.
  std::string Raise(test::TestHttpServer& server, const std::function<void()>& raise,
                    std::size_t posts, http::RequestFactory* requestFactory = nullptr) {
    fs::remove_all(temp.path() / kLogsFolder);
    {
      JsonHttpAnalyticsManager analytics(requestFactory ? *requestFactory : requests, sessions,
                                         settings, server.Url("/events"), server.Url("/transfers"));
      JsonWorkLogManager log(-9, kLogsFolder, filesystem, {}, [] { return kFixedTime; });
      transfer.behavior.analyticsManager = &analytics;
      transfer.behavior.workLogManager = &log;
      raise();
      EXPECT_TRUE(test::WaitUntil([&] { return server.Requests().size() >= posts; }));
      transfer.behavior.analyticsManager = nullptr;
      transfer.behavior.workLogManager = nullptr;
    }
    std::string content;
    if (fs::is_directory(temp.path() / kLogsFolder)) {
      for (const auto& entry : fs::directory_iterator(temp.path() / kLogsFolder)) {
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        content += text.str();
      }
    }
    return content;
  }

  test::TempDir temp;
  file::posix::FilesystemImpl filesystem{Environment({{"TMPDIR", temp.str()}})};
  http::posix::ProxyFactoryImpl proxies{Environment{}};
  http::CurlRequestFactory requests{proxies};
  http::RoundRobinSessionFactory sessions;
  TransferSettings settings;
  test::FakeTransferWorkInterface transfer;
  TransferStatusImpl status{transfer.params, TransferState::Transferring, 20, 1000};
};

// Each event class: its log line, its events-endpoint and transfers-endpoint
// documents, and whether it took the status's counters.
TEST_F(TransferEventsTest, EachEventWritesItsLineAndPostsItsDocuments) {
  struct Case {
    const char* name;
    bool threeNodes;
    std::uint64_t downloaded;  // bytes counted before the event
    std::function<void()> raise;
    std::string log;
    std::vector<std::string> events;
    std::vector<std::string> transfers;
  };
  const std::string nodes = "," + NodeDoc("n1.example") + "," + NodeDoc("n2.example") + "," +
                            NodeDoc("n3.example");
  const std::string packageMissing = "Transfer::OnInitialize called but package is missing";
  TransferErrorData fatal(TransferError::Internal, packageMissing);
  TransferErrorData network(TransferError::Network, "error|timeout");
  const Case cases[] = {
      {"Initialize", false, 0, [&] { TransferInitializeEvent(transfer).Raise(); },
       LogLine("Initialize"), {EventDoc("numInitializes")}, {}},
      {"Start", true, 0, [&] { TransferStartEvent(transfer).Raise(); }, LogLine("Start"),
       {EventDoc("numStarts")}, {TransferDoc("active", "0")}},
      {"Restore", false, 0, [&] { TransferRestoreEvent(transfer).Raise(); }, LogLine("Restore"),
       {EventDoc("numRestores")}, {TransferDoc("active", "0")}},
      {"Complete", true, 1500, [&] { TransferCompleteEvent(transfer, status).Raise(); },
       LogLine("Complete"), {"[" + EventDoc("numCompletes") + nodes + "]"},
       {TransferDoc("completed", "1500")}},
      {"Cancel", false, 9, [&] { TransferCancelEvent(transfer, status).Raise(); },
       LogLine("Cancel"), {"[" + EventDoc("numCancels") + "]"}, {TransferDoc("canceled", "9")}},
      {"Suspend", false, 0, [&] { TransferSuspendEvent(transfer, status).Raise(); },
       LogLine("Suspend"), {"[" + EventDoc("numSuspends") + "]"}, {TransferDoc("suspended", "0")}},
      {"FatalError with zero counters", false, 0,
       [&] { TransferFatalErrorEvent(transfer, status, &fatal).Raise(); }, LogLine("FatalError"),
       {"[" + EventDoc("numFatalErrors", "{\"error\":\"error|9|" + packageMissing + "\"}") + "]"}, {}},
      {"RetryableError", true, 42,
       [&] { TransferRetryableErrorEvent(transfer, status, &network).Raise(); },
       LogLine("RetryableError"),
       {"[" + EventDoc("numRetryableErrors", "{\"error\":\"error|2|error|timeout\"}") + nodes + "]"},
       {TransferDoc("active", "42")}},
      {"PeriodicUpdate without node list", false, 7,
       [&] { TransferPeriodicEvent(transfer, status).Raise(); }, LogLine("PeriodicUpdate"),
       {"[]\n"}, {TransferDoc("active", "7")}},
      {"CanTransferTo", true, 0,
       [&] { CanTransferToEvent(transfer, "/d", 1, 2, 4, false).Raise(); },
       LogLine("CanTransferTo", ",\"returned\":\"false\",\"data\":{\"destPath\":\"\\/d\","
                                "\"allocatedSpace\":\"1\",\"availableSpace\":\"2\","
                                "\"transferSize\":\"4\"}"),
       {}, {}},
      {"IsSuperset false", false, 0,
       [&] { IsSupersetEvent(transfer, "/d", true, "/d/x").Raise(); },
       LogLine("IsSuperset", ",\"returned\":\"false\",\"data\":{\"destPath\":\"\\/d\","
                             "\"ignoreHidden\":\"true\",\"failure\":\"\\/d\\/x\"}"),
       {}, {}},
      {"IsSubset false without size", false, 0,
       [&] { IsSubsetEvent(transfer, "/d", false, "/d/a").Raise(); },
       LogLine("IsSubset", ",\"returned\":\"false\",\"data\":{\"destPath\":\"\\/d\","
                           "\"confirmSize\":\"false\",\"failure\":\"\\/d\\/a\"}"),
       {}, {}},
      {"IsSubset false with size", false, 0,
       [&] { IsSubsetEvent(transfer, "/d", true, "/d/a", 5).Raise(); },
       LogLine("IsSubset", ",\"returned\":\"false\",\"data\":{\"destPath\":\"\\/d\","
                           "\"confirmSize\":\"true\",\"failure\":\"\\/d\\/a\",\"actualSize\":\"5\"}"),
       {}, {}},
      {"IsSubset true", false, 0, [&] { IsSubsetEvent(transfer, "/d", true).Raise(); },
       LogLine("IsSubset", ",\"returned\":\"true\",\"data\":{\"destPath\":\"\\/d\","
                           "\"confirmSize\":\"true\"}"),
       {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    transfer.SetNodeList(nullptr);
    if (c.threeNodes) SetThreeNodes();
    status.AddDownloadedBytes(c.downloaded);
    test::TestHttpServer server;
    const std::string log = Raise(server, c.raise, c.events.size() + c.transfers.size());
    EXPECT_EQ(log, c.log);
    std::vector<std::string> events;
    for (const auto& body : c.events) events.push_back(body.back() == '\n' ? body : body + "\n");
    std::sort(events.begin(), events.end());
    std::vector<std::string> transfers;
    for (const auto& body : c.transfers) transfers.push_back(body + "\n");
    EXPECT_EQ(Bodies(server.RequestsFor("/events")), events);
    EXPECT_EQ(Bodies(server.RequestsFor("/transfers")), transfers);
    // The end, periodic and error events took the counters; the others left none.
    EXPECT_EQ(status.TakePeriodicFigures().downloadedBytes, 0u);
  }
}

// A logs folder that cannot be created loses the log line and nothing else.
TEST_F(TransferEventsTest, AnUnwritableLogsFolderChangesNothingElse) {
  test::TestHttpServer server;
  const fs::path blocker = temp.path() / kLogsFolder;
  const std::string log = Raise(server, [&] {
    std::ofstream(blocker) << "a file where the folder should be";
    TransferStartEvent(transfer).Raise();
  }, 2);
  EXPECT_EQ(log, "");
  EXPECT_TRUE(fs::is_regular_file(blocker));
  EXPECT_EQ(server.RequestCount("/events"), 1u);
  EXPECT_EQ(server.RequestCount("/transfers"), 1u);
}

// A proxy setting with credentials: the failed request's result travels into a
// work-log line and an error event's log line and documents, and the password
// reaches none of them.
TEST_F(TransferEventsTest, ProxyCredentialsReachNoLogLineAndNoDocument) {
  const std::string password = "s3cr3tPw";
  test::TestHttpServer server;
  // The chunk request goes through a proxy nobody listens on: the failure text
  // names the proxy.
  http::posix::ProxyFactoryImpl deadProxy{
      Environment({{"http_proxy", "http://proxyuser7:" + password + "@127.0.0.1:1"}})};
  http::CurlRequestFactory chunkRequests{deadProxy};
  // The analytics posts go through the test server acting as an authenticated proxy.
  http::posix::ProxyFactoryImpl liveProxy{
      Environment({{"http_proxy", "http://proxyuser7:" + password + "@" + server.Authority()}})};
  http::CurlRequestFactory analyticsRequests{liveProxy};

  std::stringstream body;
  http::StringstreamWriter writer(body);
  http::RequestOptions options(server.Url("/chunk"), writer);
  const http::RequestResult result = chunkRequests.CreateRequest(options)->Perform();
  ASSERT_NE(result.proxyUrl, "");
  auto data = std::make_shared<HttpTransferStatusData>("127.0.0.1", result);
  status.AddDownloadedBytes(10);

  const std::string log = Raise(
      server,
      [&] {
        transfer.behavior.workLogManager->GetWorkCompleteCallback(false)->OnWorkComplete(
            NoOpWork::Create(), WorkStatus(WorkResult::RetryableError, data));
        TransferRetryableErrorEvent(transfer, status, data.get()).Raise();
      },
      2, &analyticsRequests);
  ASSERT_EQ(server.RequestCount("/events"), 1u);
  ASSERT_EQ(server.RequestCount("/transfers"), 1u);
  for (const auto& request : server.Requests()) EXPECT_TRUE(request.absoluteForm);  // proxied
  EXPECT_NE(log.find("\"proxyUrl\":"), std::string::npos) << log;
  EXPECT_NE(log.find("OnWorkComplete"), std::string::npos) << log;
  EXPECT_NE(log.find("RetryableError"), std::string::npos) << log;
  for (const std::string& secret : {password, std::string("proxyuser7")}) {
    EXPECT_EQ(log.find(secret), std::string::npos) << log;
    for (const auto& request : server.Requests()) {
      EXPECT_EQ(request.body.find(secret), std::string::npos) << request.body;
    }
  }
}

}  // namespace
}  // namespace ombrix

#include "events/analytics_requests.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>

#include "common/json_writer.h"
#include "events/os_name.h"
#include "transfer/transfer_params.h"

namespace ombrix {
namespace {

using boost::property_tree::ptree;

class AnalyticsRequestTest : public testing::Test {
 protected:
  AnalyticsRequestTest() {
    params.transferId = "0123456789abcdef0123456789abcdef";
    params.partnerId = "partner";
    params.packageId = "pkg/é";
    params.destPath = "/secret/dest";
  }

  static std::string Json(const OutputManifest& request) {
    ptree tree;
    request.Write(tree);
    return ToJson(tree);
  }

  // The common head of every document, with the escaped package id and OS name.
  static std::string Head() {
    std::string osv;
    AppendJsonString(GetOsName(), osv);
    return "\"pid\":\"partner\",\"pkgid\":\"pkg\\/\\u00C3\\u00A9\",\"vid\":\"?\","
           "\"ombrixv\":\"1.3.5\",\"osv\":" + osv;
  }

  TransferParams params;
};

TEST_F(AnalyticsRequestTest, SimpleEventCountsOneWithNoDimensions) {
  EXPECT_EQ(Json(SimpleEventAnalyticsRequest(params, "numStarts")),
            "{" + Head() + ",\"metrics\":{\"numStarts\":\"1\"},\"dimensions\":{}}\n");
}

TEST_F(AnalyticsRequestTest, ErrorEventCarriesTheMessageOnlyWhenThereIsOne) {
  EXPECT_EQ(Json(ErrorAnalyticsRequest(params, "numFatalErrors", "disk \"full\"")),
            "{" + Head() +
                ",\"metrics\":{\"numFatalErrors\":\"1\"},\"dimensions\":{\"error\":"
                "\"disk \\\"full\\\"\"}}\n");
  EXPECT_EQ(Json(ErrorAnalyticsRequest(params, "numRetryableErrors", "")),
            "{" + Head() + ",\"metrics\":{\"numRetryableErrors\":\"1\"},\"dimensions\":{}}\n");
}

TEST_F(AnalyticsRequestTest, OptimizerEventWritesTheSnapshotInOrderWithSeconds) {
  NodeStatisticsSnapshot snapshot;
  snapshot.bytes = 5000000000ull;
  snapshot.successBytes = 4;
  snapshot.firstByteTime = 1500;
  snapshot.requestTime = 0;
  snapshot.successTime = 4294967295u;
  snapshot.numRequests = 7;
  snapshot.numErrors = 6;
  snapshot.numConnectFailures = 5;
  snapshot.numHttpServerErrors = 4;
  snapshot.numConnectionsReset = 3;
  snapshot.numDataMismatches = 2;
  snapshot.numRequestTimeouts = 1;
  EXPECT_EQ(Json(OptimizerAnalyticsRequest(params, "cdn1.example", snapshot)),
            "{" + Head() +
                ",\"metrics\":{\"bytes\":\"5000000000\",\"successBytes\":\"4\","
                "\"firstByteTime\":\"1.5\",\"requestTime\":\"0\",\"successTime\":\"4294967.295\","
                "\"numRequests\":\"7\",\"numErrors\":\"6\",\"numConnectFailures\":\"5\","
                "\"numHttpServerErrors\":\"4\",\"numConnectionsReset\":\"3\","
                "\"numDataMismatches\":\"2\",\"numRequestTimeouts\":\"1\"},"
                "\"dimensions\":{\"cdn\":\"cdn1.example\"}}\n");
}

TEST_F(AnalyticsRequestTest, TransferReportMapsTheStateToItsStatus) {
  std::string osv;
  AppendJsonString(GetOsName(), osv);
  const struct {
    std::uint8_t state;
    const char* status;
  } cases[] = {{6, "suspended"}, {7, "completed"}, {8, "canceled"}, {4, "active"},
               {1, "active"},    {0, "active"},    {255, "active"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Json(TransferAnalyticsRequest(params, c.state, 123, 1500)),
              "{\"pid\":\"partner\",\"pkgid\":\"pkg\\/\\u00C3\\u00A9\",\"vid\":\"?\","
              "\"tid\":\"0123456789abcdef0123456789abcdef\",\"ombrixv\":\"1.3.5\",\"osv\":" +
                  osv + ",\"status\":\"" + c.status +
                  "\",\"transferBytes\":\"123\",\"duration\":\"1.5\"}\n")
        << int(c.state);
  }
  EXPECT_NE(Json(TransferAnalyticsRequest(params, 7, 0, 0)).find("\"duration\":\"0\"}"),
            std::string::npos);
}

}  // namespace
}  // namespace ombrix

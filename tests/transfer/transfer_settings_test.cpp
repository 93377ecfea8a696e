#include "transfer/transfer_settings.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <limits>
#include <sstream>
#include <type_traits>
#include <vector>

#include "deployment.h"

namespace ombrix {
namespace {

// One default: the field's value and the expected one, which must have the same
// type (checked at compile time) and compare equal.
struct DefaultRow {
  template <typename Field, typename Expected>
  DefaultRow(const char* field, const Field& actual, const Expected& expected)
      : name(field), equal(actual == expected), actualText(Text(actual)), expectedText(Text(expected)) {
    static_assert(std::is_same_v<Field, Expected>, "a setting has another type than its default");
  }
  template <typename T>
  static std::string Text(const T& value) {
    std::ostringstream text;
    text << std::setprecision(17) << std::boolalpha << value;
    return text.str();
  }

  const char* name;
  bool equal;
  std::string actualText;
  std::string expectedText;
};

TEST(TransferSettings, EveryFieldHasItsDefaultAndType) {
  using std::string;
  const TransferSettings s(4);
  const std::vector<DefaultRow> rows = {
      {"manifestHost", s.manifestHost, string(deployment::kManifestHost)},
      {"transfersFolder", s.transfersFolder, string("Farrowgate/Ombrix/transfers")},
      {"logsFolder", s.logsFolder, string("Farrowgate/Ombrix/logs")},
      {"logLevel", s.logLevel, -9},
      {"manifestRetries", s.manifestRetries, 4},
      {"manifestConnectTimeout", s.manifestConnectTimeout, 10u},
      {"manifestTimeout", s.manifestTimeout, 30u},
      {"chunkTransferRetries", s.chunkTransferRetries, 4},
      {"chunkRequestRetries", s.chunkRequestRetries, 4},
      {"minConnectTimeout", s.minConnectTimeout, 3u},
      {"maxConnectTimeout", s.maxConnectTimeout, 15u},
      {"explorationConnectTimeout", s.explorationConnectTimeout, 2},
      {"minRequestTimeout", s.minRequestTimeout, 10u},
      {"explorationMinRequestTimeout", s.explorationMinRequestTimeout, 3u},
      {"expectedThreadRate", s.expectedThreadRate, 7168u},
      {"explorationThreadRate", s.explorationThreadRate, 32768u},
      {"minLowSpeedTime", s.minLowSpeedTime, 5u},
      {"maxLowSpeedTime", s.maxLowSpeedTime, 60u},
      {"explorationLowSpeedTime", s.explorationLowSpeedTime, 3u},
      {"rateWindow", s.rateWindow, 10},
      {"remainingRefreshInterval", s.remainingRefreshInterval, 500u},
      {"writeCacheDivisor", s.writeCacheDivisor, 349525u},
      {"controlThreads", s.controlThreads, 1u},
      {"taskThreads", s.taskThreads, 6},
      {"workflowConcurrency", s.workflowConcurrency, 6u},
      {"chunkConcurrency", s.chunkConcurrency, 6u},
      {"allowExecute", s.allowExecute, true},
      {"proxyResolveTimeout", s.proxyResolveTimeout, 5000u},
      {"proxyConnectTimeout", s.proxyConnectTimeout, 5000u},
      {"proxySendTimeout", s.proxySendTimeout, 5000u},
      {"proxyReceiveTimeout", s.proxyReceiveTimeout, 5000u},
      {"analyticsConnectTimeout", s.analyticsConnectTimeout, 10u},
      {"analyticsTimeout", s.analyticsTimeout, 10u},
      {"analyticsRetries", s.analyticsRetries, 1u},
      {"periodicEventInterval", s.periodicEventInterval, 300u},
      {"optimizerRounds", s.optimizerRounds, 50u},
      {"optimizerSampleBudget", s.optimizerSampleBudget, 10000u},
      {"statisticsAlpha", s.statisticsAlpha, 0.3},
      {"optimizerWeightFloor", s.optimizerWeightFloor, 0.05},
      {"geolocationUrl", s.geolocationUrl, string(deployment::kGeolocationUrl)},
      {"geolocationConnectTimeout", s.geolocationConnectTimeout, 5u},
      {"geolocationTimeout", s.geolocationTimeout, 10u},
      {"geolocationRetries", s.geolocationRetries, 1u},
  };
  EXPECT_EQ(rows.size(), 43u);
  for (const DefaultRow& row : rows) {
    EXPECT_TRUE(row.equal) << row.name << " is " << row.actualText << ", expected " << row.expectedText;
  }
}

TEST(TransferSettings, ProcessorDerivedCountsAreProcessorsPlusTwo) {
  for (std::uint32_t processors : {0u, 1u}) {
    TransferSettings settings(processors);
    EXPECT_EQ(settings.taskThreads, 3) << processors;
    EXPECT_EQ(settings.workflowConcurrency, 3u);
    EXPECT_EQ(settings.chunkConcurrency, 3u);
  }
  EXPECT_EQ(TransferSettings(16).chunkConcurrency, 18u);
}

TEST(TransferSettings, ProcessorDerivedDefaultKeepsCountThatWouldOverflow) {
  constexpr std::uint32_t max = std::numeric_limits<std::uint32_t>::max();
  EXPECT_EQ(ProcessorDerivedDefault(max - 2), max);
  EXPECT_EQ(ProcessorDerivedDefault(max - 1), max - 1);
  EXPECT_EQ(ProcessorDerivedDefault(max), max);
}

TEST(TransferSettings, DefaultsPointAtTheDeploymentHosts) {
  TransferSettings settings(4);
  EXPECT_EQ(settings.manifestHost, deployment::kManifestHost);
  EXPECT_EQ(settings.geolocationUrl, std::string(deployment::kAnalyticsEventsUrl) + "/geo-location");
  EXPECT_EQ(settings.transfersFolder, "Farrowgate/Ombrix/transfers");
  EXPECT_EQ(settings.logsFolder, "Farrowgate/Ombrix/logs");
  EXPECT_EQ(settings.writeCacheDivisor, 349525u);
  EXPECT_DOUBLE_EQ(settings.statisticsAlpha, 0.3);
}

TEST(TransferSettings, CopyComparesEqualFieldByField) {
  TransferSettings original(8);
  original.manifestHost = "example.test:8080";
  TransferSettings copy = original;
  EXPECT_EQ(copy, original);
  copy.geolocationRetries = 2;
  EXPECT_NE(copy, original);
}

}  // namespace
}  // namespace ombrix

#include "transfer/transfer_settings.h"

#include <gtest/gtest.h>

#include <limits>

#include "deployment.h"

namespace ombrix {
namespace {

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

// Every tunable value of the transfer service, with its default.
#pragma once

#include <cstdint>
#include <string>

namespace ombrix {

// The default of the three processor-derived counts: n + 2 with n the number of
// logical processors raised to at least 1; n itself when n + 2 would not fit in
// 32 unsigned bits.
std::uint32_t ProcessorDerivedDefault(std::uint32_t processors);

// A copyable value record. A default-constructed record holds every default for
// this machine; the service copies it and never reads the caller's record again.
// Durations carry their unit in the comment of the field.
struct TransferSettings {
  TransferSettings();
  // Defaults as on a machine reporting `processors` logical processors.
  explicit TransferSettings(std::uint32_t processors);

  std::string manifestHost;                              // authority of the manifest service
  std::string transfersFolder = "Farrowgate/Ombrix/transfers";  // below the temporary folder
  std::string logsFolder = "Farrowgate/Ombrix/logs";     // below the temporary folder
  std::int32_t logLevel = -9;
  std::int32_t manifestRetries = 4;
  std::uint32_t manifestConnectTimeout = 10;             // seconds
  std::uint32_t manifestTimeout = 30;                    // seconds
  std::int32_t chunkTransferRetries = 4;
  std::int32_t chunkRequestRetries = 4;
  std::uint32_t minConnectTimeout = 3;                   // seconds
  std::uint32_t maxConnectTimeout = 15;                  // seconds
  std::int32_t explorationConnectTimeout = 2;            // seconds
  std::uint32_t minRequestTimeout = 10;                  // seconds
  std::uint32_t explorationMinRequestTimeout = 3;        // seconds
  std::uint32_t expectedThreadRate = 7168;               // bytes per second
  std::uint32_t explorationThreadRate = 32768;           // bytes per second
  std::uint32_t minLowSpeedTime = 5;                     // seconds
  std::uint32_t maxLowSpeedTime = 60;                    // seconds
  std::uint32_t explorationLowSpeedTime = 3;             // seconds
  std::int32_t rateWindow = 10;                          // seconds
  std::uint32_t remainingRefreshInterval = 500;          // milliseconds
  std::uint32_t writeCacheDivisor = 349525;
  std::uint32_t controlThreads = 1;
  std::int32_t taskThreads;
  std::uint32_t workflowConcurrency;
  std::uint32_t chunkConcurrency;
  bool allowExecute = true;
  std::uint32_t proxyResolveTimeout = 5000;              // milliseconds
  std::uint32_t proxyConnectTimeout = 5000;              // milliseconds
  std::uint32_t proxySendTimeout = 5000;                 // milliseconds
  std::uint32_t proxyReceiveTimeout = 5000;              // milliseconds
  std::uint32_t analyticsConnectTimeout = 10;            // seconds
  std::uint32_t analyticsTimeout = 10;                   // seconds
  std::uint32_t analyticsRetries = 1;
  std::uint32_t periodicEventInterval = 300;             // seconds
  std::uint32_t optimizerRounds = 50;
  std::uint32_t optimizerSampleBudget = 10000;
  double statisticsAlpha = 0.3;
  double optimizerWeightFloor = 0.05;
  std::string geolocationUrl;
  std::uint32_t geolocationConnectTimeout = 5;           // seconds
  std::uint32_t geolocationTimeout = 10;                 // seconds
  std::uint32_t geolocationRetries = 1;

  bool operator==(const TransferSettings&) const = default;
};

}  // namespace ombrix

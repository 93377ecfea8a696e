#include "selection/node_statistics.h"

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include "http/request_result.h"
#include "selection/normal_node_statistics.h"

namespace ombrix {
namespace {

using http::RequestResult;
using http::State;

RequestResult Result(State state, std::uint64_t bytes, std::uint32_t totalMs,
                     std::uint32_t firstByteMs = 5) {
  RequestResult result;
  result.state = state;
  result.bytesReceived = bytes;
  result.totalMs = totalMs;
  result.startTransferMs = firstByteMs;
  return result;
}

std::map<std::string, std::string> Written(const NodeStatistics& statistics) {
  boost::property_tree::ptree tree;
  statistics.Write(tree);
  std::map<std::string, std::string> values;
  for (const auto& [key, value] : tree) {
    EXPECT_EQ(values.count(key), 0u) << "duplicate key " << key;
    values[key] = value.data();
  }
  return values;
}

TEST(NodeStatisticsUpdate, CountsSuccessesAndErrorsByKind) {
  NodeStatistics statistics;
  statistics.Update(Result(State::Complete, 1000, 100));
  statistics.Update(Result(State::Cancelled, 500, 0, 0));  // not an error; 0 ms counts as 1
  for (State error : {State::ConnectFailed, State::SecurityError, State::ServerError,
                      State::NetworkError, State::RangeError, State::TimedOut, State::ClientError,
                      State::OutOfMemory, State::BadRequest}) {
    statistics.Update(Result(error, 10, 20));
  }
  const auto s = statistics.GetSnapshot();
  EXPECT_EQ(s.numRequests, 11u);
  EXPECT_EQ(s.numErrors, 9u);
  EXPECT_EQ(s.bytes, 1590u);
  EXPECT_EQ(s.successBytes, 1500u);
  EXPECT_EQ(s.successTime, 101u);
  EXPECT_EQ(s.requestTime, 101u + 9 * 20);
  EXPECT_EQ(s.firstByteTime, 5u + 1 + 9 * 5);
  EXPECT_EQ(s.numConnectFailures, 2u);
  EXPECT_EQ(s.numHttpServerErrors, 1u);
  EXPECT_EQ(s.numConnectionsReset, 1u);
  EXPECT_EQ(s.numDataMismatches, 1u);
  EXPECT_EQ(s.numRequestTimeouts, 1u);
}

TEST(NodeStatisticsWrite, FreshAndMeasuredValues) {
  NodeStatistics statistics;
  EXPECT_EQ(Written(statistics), (std::map<std::string, std::string>{
                                     {"Requests", "0"}, {"Errors", "0"}, {"Bytes", "0"},
                                     {"Average Request Speed", "0"}}));
  statistics.Update(Result(State::Complete, 3000, 1500));
  statistics.Update(Result(State::TimedOut, 100, 900));
  const auto values = Written(statistics);
  EXPECT_EQ(values.at("Requests"), "2");
  EXPECT_EQ(values.at("Errors"), "1");
  EXPECT_EQ(values.at("Bytes"), "3100");
  EXPECT_EQ(values.at("Average Request Speed"), "2000");
}

TEST(NodeStatisticsWrite, HugeSpeedSaturates) {
  NodeStatistics statistics;
  statistics.Update(Result(State::Complete, UINT64_MAX, 1));
  EXPECT_EQ(Written(statistics).at("Average Request Speed"), "18446744073709551615");
}

TEST(NodeStatisticsUpdate, ConcurrentUpdatesAllCount) {
  NodeStatistics statistics;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&statistics, t] {
      for (int i = 0; i < 1000; ++i) {
        statistics.Update(Result(t % 2 ? State::Complete : State::NetworkError, 1, 1));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  const auto s = statistics.GetSnapshot();
  EXPECT_EQ(s.numRequests, 4000u);
  EXPECT_EQ(s.numErrors, 2000u);
  EXPECT_EQ(s.numConnectionsReset, 2000u);
  EXPECT_EQ(s.bytes, 4000u);
}

TEST(NormalNodeStatistics, RunningMeanAndVariance) {
  NormalNodeStatistics statistics;
  EXPECT_EQ(statistics.GetDistribution(), (std::pair<double, double>{0.0, 1.0}));
  statistics.Update(Result(State::Complete, 1000, 1000));  // 1000 B/s
  EXPECT_EQ(statistics.GetDistribution(), (std::pair<double, double>{1000.0, 1.0}));
  statistics.Update(Result(State::Complete, 3000, 1000));  // 3000 B/s
  const auto [mean, variance] = statistics.GetDistribution();
  EXPECT_DOUBLE_EQ(mean, 2000.0);
  EXPECT_DOUBLE_EQ(variance, 2000000.0);
}

TEST(NormalNodeStatistics, ErrorsWeighMoreAsSamplesGrow) {
  NormalNodeStatistics statistics;
  statistics.Update(Result(State::ServerError, 0, 1));
  EXPECT_EQ(statistics.GetSampleCount(), 1u);
  for (int i = 0; i < 9; ++i) statistics.Update(Result(State::Complete, 1000, 1000));
  EXPECT_EQ(statistics.GetSampleCount(), 10u);
  statistics.Update(Result(State::ServerError, 0, 1));
  EXPECT_EQ(statistics.GetSampleCount(), 12u);
  EXPECT_NEAR(statistics.GetDistribution().first, 9000.0 / 12, 1e-9);
  // Samples 0, nine times 1000, 0, 0: the two zeros of the error count one by one.
  EXPECT_NEAR(statistics.GetDistribution().second, (3 * 750.0 * 750 + 9 * 250.0 * 250) / 11, 1e-6);
}

TEST(NormalNodeStatistics, LongRunOfErrorsStaysBoundedAndFinite) {
  // Every error adds a tenth of the samples again; the count must saturate rather
  // than wrap (a wrapped count divides by 0) and an update must stay cheap.
  NormalNodeStatistics statistics;
  for (int i = 0; i < 10; ++i) statistics.Update(Result(State::Complete, 1000, 1000));
  for (int i = 0; i < 400; ++i) statistics.Update(Result(State::ServerError, 0, 1));
  EXPECT_EQ(statistics.GetSampleCount(), std::numeric_limits<std::uint32_t>::max());
  const auto [mean, variance] = statistics.GetDistribution();
  EXPECT_TRUE(std::isfinite(mean));
  EXPECT_TRUE(std::isfinite(variance));
  EXPECT_GE(mean, 0.0);
  EXPECT_LT(mean, 1.0);
  EXPECT_GE(variance, 0.0);
}

TEST(NormalNodeStatistics, WriteReplacesSpeedWithModel) {
  NormalNodeStatistics statistics;
  statistics.Update(Result(State::Complete, 1000, 1000));
  statistics.Update(Result(State::Complete, 3000, 1000));
  const auto values = Written(statistics);
  EXPECT_EQ(values.at("Average Request Speed"), "2000");
  EXPECT_EQ(values.at("Standard Deviation"), "1414");
  EXPECT_EQ(values.size(), 5u);
}

TEST(ExponentialNormalNodeStatistics, FirstSampleFromPrototype) {
  const ExponentialNormalNodeStatistics prototype(0, 0.0, 0.0, 0.3);
  ExponentialNormalNodeStatistics statistics(prototype);
  EXPECT_EQ(Written(statistics).at("Standard Deviation"), "0");
  statistics.Update(Result(State::Complete, 1000, 1000));
  const auto [mean, variance] = statistics.GetDistribution();
  EXPECT_DOUBLE_EQ(mean, 300.0);
  EXPECT_DOUBLE_EQ(variance, 210000.0);
  EXPECT_EQ(statistics.GetSampleCount(), 1u);
  // The prototype is untouched and a copy starts with fresh counters.
  EXPECT_EQ(prototype.GetDistribution(), (std::pair<double, double>{0.0, 0.0}));
  ExponentialNormalNodeStatistics copy(statistics);
  EXPECT_EQ(copy.GetSnapshot().numRequests, 0u);
  EXPECT_EQ(copy.GetDistribution(), statistics.GetDistribution());
  EXPECT_DOUBLE_EQ(copy.GetAlpha(), 0.3);
}

TEST(ExponentialNormalNodeStatistics, AnErrorCountsOnceAsZero) {
  const ExponentialNormalNodeStatistics prototype(0, 0.0, 0.0, 0.5);
  ExponentialNormalNodeStatistics statistics(prototype);
  for (int i = 0; i < 12; ++i) statistics.Update(Result(State::Complete, 1000, 1000));
  const double before = statistics.GetDistribution().first;
  statistics.Update(Result(State::TimedOut, 0, 1));
  EXPECT_EQ(statistics.GetSampleCount(), 13u);
  EXPECT_DOUBLE_EQ(statistics.GetDistribution().first, before / 2);
}

}  // namespace
}  // namespace ombrix

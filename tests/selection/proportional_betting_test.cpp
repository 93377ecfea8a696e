#include "selection/proportional_betting.h"

#include <numeric>

#include <gtest/gtest.h>

namespace ombrix {
namespace {

TEST(MonteCarloRounds, BoundedByBudgetAndRounds) {
  EXPECT_EQ(MonteCarloRounds(2, 10000, 50), 100u);
  EXPECT_EQ(MonteCarloRounds(20, 10000, 50), 500u);
  EXPECT_EQ(MonteCarloRounds(200, 10000, 50), 50u);
  EXPECT_EQ(MonteCarloRounds(10000, 10000, 50), 1u);
  EXPECT_EQ(MonteCarloRounds(10001, 10000, 50), 0u);
  EXPECT_EQ(MonteCarloRounds(0, 10000, 50), 0u);
  EXPECT_EQ(MonteCarloRounds(100000000, UINT32_MAX, 50), 42u);  // 50 × n would wrap
}

TEST(WinProbabilities, NoRoundsGiveEqualChances) {
  std::mt19937 random(1);
  const auto p = WinProbabilities({{10, 1}, {20, 1}, {30, 1}}, 0, random);
  for (const double value : p) EXPECT_DOUBLE_EQ(value, 1.0 / 3);
}

TEST(WinProbabilities, FasterNodeWinsAndSumIsOne) {
  std::mt19937 random(7);
  const auto p = WinProbabilities({{100, 100}, {1000, 100}, {50, 100}}, 100, random);
  EXPECT_NEAR(std::accumulate(p.begin(), p.end(), 0.0), 1.0, 1e-12);
  EXPECT_DOUBLE_EQ(p[1], 101.0 / 103);
  EXPECT_DOUBLE_EQ(p[0], 1.0 / 103);
}

TEST(WinProbabilities, NothingAboveZeroMeansFirstWins) {
  std::mt19937 random(7);
  const auto p = WinProbabilities({{-5, 0}, {0, 0}}, 10, random);
  EXPECT_DOUBLE_EQ(p[0], 11.0 / 12);
  EXPECT_DOUBLE_EQ(p[1], 1.0 / 12);
}

TEST(ProportionalBets, EqualWeightsBetTheProbabilities) {
  const std::vector<double> p{0.2, 0.3, 0.5};
  EXPECT_EQ(ProportionalBets(p, {4, 4, 4}), p);
}

TEST(ProportionalBets, WeightsShiftTheBets) {
  const auto bets = ProportionalBets({0.5, 0.5}, {1, 2});
  ASSERT_EQ(bets.size(), 2u);
  EXPECT_DOUBLE_EQ(bets[0], 0.25);
  EXPECT_DOUBLE_EQ(bets[1], 0.75);
}

TEST(ProportionalBets, ZeroWeightKeepsBetsFinite) {
  const auto bets = ProportionalBets({0.4, 0.3, 0.3}, {0, 1, 1});
  ASSERT_EQ(bets.size(), 3u);
  for (const double b : bets) {
    EXPECT_TRUE(std::isfinite(b));
    EXPECT_GE(b, 0.0);
  }
  EXPECT_GT(bets[1] + bets[2], bets[0]);
}

TEST(ApplyMinimumShare, RaisesSmallSharesAndRescales) {
  std::vector<double> shares{0.01, 0.99};
  ApplyMinimumShare(shares, 0.05);
  EXPECT_DOUBLE_EQ(shares[0], 0.05 / 1.04);
  EXPECT_DOUBLE_EQ(shares[1], 0.99 / 1.04);

  std::vector<double> unchanged{0.3, 0.7};
  ApplyMinimumShare(unchanged, 0.05);
  EXPECT_EQ(unchanged, (std::vector<double>{0.3, 0.7}));

  // Two small shares: each may rise by at most floor / 2.
  std::vector<double> two{0.0, 0.04, 0.96};
  ApplyMinimumShare(two, 0.05);
  const double s = 0.025 + 0.01;
  EXPECT_DOUBLE_EQ(two[0], 0.025 / (1 + s));
  EXPECT_DOUBLE_EQ(two[1], 0.05 / (1 + s));
}

TEST(AliasTable, DrawsInProportion) {
  const AliasTable table({1.0, 0.0, 3.0, 6.0});
  std::mt19937 random(42);
  std::vector<int> counts(4, 0);
  const int draws = 100000;
  for (int i = 0; i < draws; ++i) ++counts[table.Draw(random)];
  EXPECT_EQ(counts[1], 0);
  EXPECT_NEAR(counts[0] / double(draws), 0.1, 0.01);
  EXPECT_NEAR(counts[2] / double(draws), 0.3, 0.01);
  EXPECT_NEAR(counts[3] / double(draws), 0.6, 0.01);
}

TEST(AliasTable, DegenerateWeightsDrawUniformly) {
  std::mt19937 random(3);
  std::vector<int> counts(2, 0);
  const AliasTable table({0.0, std::nan("")});
  for (int i = 0; i < 1000; ++i) ++counts[table.Draw(random)];
  EXPECT_GT(counts[0], 400);
  EXPECT_GT(counts[1], 400);
  EXPECT_EQ(AliasTable({5.0}).Draw(random), 0u);
}

}  // namespace
}  // namespace ombrix

// The arithmetic of proportional node selection: Monte-Carlo win probabilities,
// proportional bets with odds from node weights, and the minimum share.
#pragma once

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace ombrix {

// Monte-Carlo rounds for n candidates: min(⌊budget / n⌋, rounds × n); 0 for n = 0.
std::uint32_t MonteCarloRounds(std::uint32_t n, std::uint32_t budget, std::uint32_t rounds);

// Probability of each candidate to be the fastest, estimated from `rounds` draws of
// one normal variate per candidate (distributions hold mean and variance). A round
// is won by the first candidate whose variate beats every earlier one and 0;
// candidate 0 wins when none exceeds 0. Every count starts at 1, so the result is
// positive and sums to 1: p_i = count_i / (n + rounds).
std::vector<double> WinProbabilities(const std::vector<std::pair<double, double>>& distributions,
                                     std::uint32_t rounds, std::mt19937& random);

// Proportional bets on candidates with win probabilities `p` and configured
// weights; the odds of a candidate are (largest weight / its weight) − 1, so equal
// weights give bets equal to `p`. Falls back to `p` when the optimal bets would be
// negative or not finite.
std::vector<double> ProportionalBets(const std::vector<double>& p,
                                     const std::vector<std::uint32_t>& weights);

// Raises every share below `floor` towards it (by at most floor / j, with j the
// number of such shares) and rescales all by 1 + the sum of the raises.
void ApplyMinimumShare(std::vector<double>& shares, double floor);

// Draws indexes with probability proportional to non-negative weights in constant
// time per draw (Vose's alias method). Weights that are all 0 or not finite draw
// uniformly. Immutable after construction.
class AliasTable {
 public:
  explicit AliasTable(const std::vector<double>& weights);
  std::size_t Draw(std::mt19937& random) const;

 private:
  std::vector<double> probability;
  std::vector<std::size_t> alias;
};

}  // namespace ombrix

#include "selection/proportional_betting.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace ombrix {

std::uint32_t MonteCarloRounds(std::uint32_t n, std::uint32_t budget, std::uint32_t rounds) {
  if (n == 0) return 0;
  const std::uint64_t byBudget = budget / n;
  const std::uint64_t byRounds = static_cast<std::uint64_t>(rounds) * n;
  return static_cast<std::uint32_t>(std::min(byBudget, byRounds));
}

std::vector<double> WinProbabilities(const std::vector<std::pair<double, double>>& distributions,
                                     std::uint32_t rounds, std::mt19937& random) {
  const std::size_t n = distributions.size();
  std::vector<double> deviations(n);
  for (std::size_t i = 0; i < n; ++i) deviations[i] = std::sqrt(std::max(0.0, distributions[i].second));
  std::vector<std::uint64_t> wins(n, 1);
  std::normal_distribution<double> standard(0.0, 1.0);
  for (std::uint32_t round = 0; round < rounds; ++round) {
    double best = 0.0;
    std::size_t winner = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double variate = distributions[i].first + deviations[i] * standard(random);
      if (variate > best) {
        best = variate;
        winner = i;
      }
    }
    ++wins[winner];
  }
  std::vector<double> p(n);
  const double total = static_cast<double>(n) + rounds;
  for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<double>(wins[i]) / total;
  return p;
}

std::vector<double> ProportionalBets(const std::vector<double>& p,
                                     const std::vector<std::uint32_t>& weights) {
  const std::size_t n = p.size();
  if (n == 0) return {};
  const std::uint32_t m = *std::max_element(weights.begin(), weights.end());
  std::vector<double> expected(n);
  std::vector<double> key(n);
  for (std::size_t i = 0; i < n; ++i) {
    double odds = 0.0;
    if (m != 0) {
      odds = weights[i] == 0 ? std::numeric_limits<double>::max()
                             : static_cast<double>(m) / weights[i] - 1.0;
    }
    expected[i] = p[i] * odds;
    if (p[i] <= 0.0) {
      key[i] = 0.0;
    } else if (expected[i] <= 0.0) {
      key[i] = std::numeric_limits<double>::infinity();
    } else {
      key[i] = p[i] / expected[i];
    }
  }
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key[a] < key[b]; });

  std::vector<bool> inSet(n, false);
  inSet[order[0]] = true;
  double total = p[order[0]];
  double stake = 1.0 + expected[order[0]];
  double rate = total / stake;
  for (std::size_t k = 1; k < n; ++k) {
    const std::size_t next = order[k];
    if (!(rate >= key[order[k - 1]] || key[next] > rate)) break;
    inSet[next] = true;
    total += p[next];
    stake += expected[next];
    rate = total / stake;
  }

  std::vector<double> bets(n, 0.0);
  bool usable = true;
  for (std::size_t i = 0; i < n; ++i) {
    if (!inSet[i]) continue;
    bets[i] = p[i] / rate - expected[i];
    if (bets[i] < 0.0 || !std::isfinite(bets[i])) usable = false;
  }
  return usable ? bets : p;
}

void ApplyMinimumShare(std::vector<double>& shares, double floor) {
  const auto below = static_cast<std::size_t>(
      std::count_if(shares.begin(), shares.end(), [floor](double b) { return b < floor; }));
  if (below == 0) return;
  const double step = floor / static_cast<double>(below);
  double raised = 0.0;
  for (double& b : shares) {
    if (b < floor) {
      const double target = std::min(floor, b + step);
      raised += target - b;
      b = target;
    }
  }
  for (double& b : shares) b /= 1.0 + raised;
}

AliasTable::AliasTable(const std::vector<double>& weights)
    : probability(weights.size(), 1.0), alias(weights.size()) {
  const std::size_t n = weights.size();
  std::iota(alias.begin(), alias.end(), 0);
  double total = 0.0;
  for (const double w : weights) total += std::isfinite(w) && w > 0.0 ? w : 0.0;
  if (n == 0 || !(total > 0.0) || !std::isfinite(total)) return;  // uniform

  std::vector<double> scaled(n);
  std::vector<std::size_t> small;
  std::vector<std::size_t> large;
  for (std::size_t i = 0; i < n; ++i) {
    const double w = std::isfinite(weights[i]) && weights[i] > 0.0 ? weights[i] : 0.0;
    scaled[i] = w * static_cast<double>(n) / total;
    (scaled[i] < 1.0 ? small : large).push_back(i);
  }
  while (!small.empty() && !large.empty()) {
    const std::size_t s = small.back();
    small.pop_back();
    const std::size_t l = large.back();
    probability[s] = scaled[s];
    alias[s] = l;
    scaled[l] = (scaled[l] + scaled[s]) - 1.0;
    if (scaled[l] < 1.0) {
      large.pop_back();
      small.push_back(l);
    }
  }
  // What remains is 1 up to rounding.
  for (const std::size_t i : large) probability[i] = 1.0;
  for (const std::size_t i : small) probability[i] = 1.0;
}

std::size_t AliasTable::Draw(std::mt19937& random) const {
  if (probability.empty()) return 0;
  const std::size_t column =
      std::uniform_int_distribution<std::size_t>(0, probability.size() - 1)(random);
  const double coin = std::uniform_real_distribution<double>(0.0, 1.0)(random);
  return coin < probability[column] ? column : alias[column];
}

}  // namespace ombrix

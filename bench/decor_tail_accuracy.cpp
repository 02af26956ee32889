// Accuracy of the decor multilevel tail estimator against brute force.
//
// Each case fixes a ranked list (weights |z| of sorted standard normal
// scores), a pathway size k with random penalties in [0.1, 1], a score type
// and a side, and picks the observed score at the quantile of the random-set
// score distribution that gives the wanted tail probability. The truth is
// the exact fraction over all C(n, k) sets where that is small, otherwise the
// fraction over random sets (the score picked on an independent pilot draw).
// The estimator runs 40 times (seeds 1..40, sampleSize 101, no early stop);
// a case passes when the mean is within 15 % of the truth or within two
// combined standard errors, whichever is larger. The spread of log2 P over
// the runs (sample standard deviation) is compared with the mean log2err the
// run would report: with 40 runs the ratio falls in [0.78, 1.22] with 95 %
// probability when log2err is the true standard deviation (chi-square, 39
// degrees of freedom).
//
// usage: quenfa_decor_tail_accuracy
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "quenfa/core/score_type.hpp"
#include "quenfa/decor/multilevel_tail.hpp"
#include "quenfa/multilevel/group_estimation.hpp"
#include "quenfa/stats/enrichment_statistics.hpp"

namespace {

using quenfa::ScoreType;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 40;
constexpr std::uint64_t kSampleSize = 101;
// sqrt(chi2 quantile / 39) at 0.025 and 0.975.
constexpr double kSpreadLow = 0.7788;
constexpr double kSpreadHigh = 1.2208;

struct Case {
  std::size_t n;
  std::size_t k;
  ScoreType type;
  int side;              // +1: tail of high scores, -1: of low scores
  double wanted;         // tail probability aimed at
  std::uint64_t random;  // 0: exact enumeration; otherwise random sets counted
};

const char* type_name(ScoreType t) {
  return t == ScoreType::Std ? "std" : t == ScoreType::Pos ? "pos" : "neg";
}

struct Fixture {
  std::vector<double> weights;
  std::vector<double> penalties;
};

Fixture make_fixture(const Case& c, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> z;
  std::vector<double> scores(c.n);
  for (double& s : scores) s = z(rng);
  std::sort(scores.begin(), scores.end(), std::greater<>());
  Fixture f;
  for (double s : scores) f.weights.push_back(std::round(std::fabs(s) * 1000.0));
  std::uniform_real_distribution<double> p(0.1, 1.0);
  for (std::size_t i = 0; i < c.k; ++i) f.penalties.push_back(p(rng));
  return f;
}

// The side-adjusted score of one ascending set.
double value(const Case& c, const Fixture& f, std::span<const std::size_t> set) {
  return c.side * quenfa::stats::enrichment_score(f.weights, set, c.n, c.type, f.penalties).es;
}

// Side-adjusted scores of every k-subset of 0..n-1.
std::vector<double> all_values(const Case& c, const Fixture& f) {
  std::vector<std::size_t> set(c.k);
  std::iota(set.begin(), set.end(), std::size_t{0});
  std::vector<double> values;
  for (;;) {
    values.push_back(value(c, f, set));
    std::size_t i = c.k;
    while (i > 0 && set[i - 1] == c.n - c.k + i - 1) --i;
    if (i == 0) return values;
    ++set[i - 1];
    for (std::size_t j = i; j < c.k; ++j) set[j] = set[j - 1] + 1;
  }
}

// Side-adjusted scores of `count` uniform random k-subsets.
std::vector<double> random_values(const Case& c, const Fixture& f, std::uint64_t count,
                                  std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<std::size_t> all(c.n);
  std::iota(all.begin(), all.end(), std::size_t{0});
  std::vector<std::size_t> set(c.k);
  std::vector<double> values(count);
  for (double& v : values) {
    for (std::size_t i = 0; i < c.k; ++i) {  // partial Fisher-Yates
      std::uniform_int_distribution<std::size_t> pick(i, c.n - 1);
      std::swap(all[i], all[pick(rng)]);
    }
    std::copy_n(all.begin(), c.k, set.begin());
    std::sort(set.begin(), set.end());
    v = value(c, f, set);
  }
  return values;
}

// The score reached by a fraction `wanted` of the values.
double quantile_from_top(std::vector<double> values, double wanted) {
  const auto rank =
      static_cast<std::size_t>(std::ceil(wanted * static_cast<double>(values.size())));
  std::nth_element(values.begin(), values.begin() + (rank - 1), values.end(), std::greater<>());
  return values[rank - 1];
}

std::uint64_t count_at_least(const std::vector<double>& values, double t) {
  return static_cast<std::uint64_t>(
      std::count_if(values.begin(), values.end(), [t](double v) { return v >= t; }));
}

double mean(const std::vector<double>& v) {
  return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

double sample_sd(const std::vector<double>& v) {
  const double m = mean(v);
  double ss = 0.0;
  for (double x : v) ss += (x - m) * (x - m);
  return std::sqrt(ss / static_cast<double>(v.size() - 1));
}

}  // namespace

int main() {
  const std::vector<Case> cases = {
      {40, 5, ScoreType::Std, +1, 0.3, 0},           {30, 8, ScoreType::Neg, -1, 1e-2, 0},
      {500, 50, ScoreType::Std, -1, 1e-2, 200000},   {300, 20, ScoreType::Pos, +1, 1e-3, 1500000},
      {200, 12, ScoreType::Std, +1, 1e-4, 12000000}, {60, 5, ScoreType::Std, +1, 1e-5, 0},
  };
  std::printf(
      "decor multilevel tail vs brute force: %d runs per case (seeds 1..%d), sampleSize %llu, "
      "eps_bound 0; 1 thread\n",
      kRuns, kRuns, static_cast<unsigned long long>(kSampleSize));
  std::printf("%-26s %-18s %12s %10s %11s %9s %6s %-4s %8s %8s %6s %-4s %6s %5s\n", "case",
              "brute force", "P", "se", "mean est", "se", "ratio", "ok", "sd log2", "log2err",
              "sd/err", "ok", "absent", "sec");
  int failures = 0;
  std::uint64_t fixture_seed = 1000;
  for (const Case& c : cases) {
    const Fixture f = make_fixture(c, ++fixture_seed);
    double t = 0.0;
    double truth = 0.0;
    double truth_se = 0.0;
    char method[32];
    if (c.random == 0) {
      const std::vector<double> values = all_values(c, f);
      t = quantile_from_top(values, c.wanted);
      truth = static_cast<double>(count_at_least(values, t)) / static_cast<double>(values.size());
      std::snprintf(method, sizeof method, "exact %zu", values.size());
    } else {
      t = quantile_from_top(random_values(c, f, c.random / 8, fixture_seed + 1), c.wanted);
      const std::vector<double> values = random_values(c, f, c.random, fixture_seed + 2);
      const std::uint64_t hits = count_at_least(values, t);
      truth = static_cast<double>(hits) / static_cast<double>(c.random);
      truth_se = std::sqrt(truth * (1.0 - truth) / static_cast<double>(c.random));
      std::snprintf(method, sizeof method, "%llu of %llu", static_cast<unsigned long long>(hits),
                    static_cast<unsigned long long>(c.random));
    }
    const double es = c.side * t;

    std::vector<double> estimates;
    std::vector<double> log2s;
    double log2err_sum = 0.0;
    int absent = 0;
    const Clock::time_point start = Clock::now();
    for (int run = 1; run <= kRuns; ++run) {
      const std::optional<double> p =
          quenfa::decor::run_decor_multilevel_tail(es, 0.0, f.weights, f.penalties, c.n, c.type,
                                                   kSampleSize, static_cast<std::uint32_t>(run));
      if (!p) {
        ++absent;
        continue;
      }
      estimates.push_back(*p);
      log2s.push_back(std::log2(*p));
      // The error reported for this raw value when every permutation fell on
      // the pathway's side (denominator 1).
      log2err_sum +=
          quenfa::multilevel::finalize_multilevel_pvalue(*p, 1000, 1000, 0.0, kSampleSize)
              .log2err.value_or(NAN);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double est = mean(estimates);
    const double est_se = sample_sd(estimates) / std::sqrt(static_cast<double>(estimates.size()));
    const double tolerance =
        std::max(0.15 * truth, 2.0 * std::sqrt(truth_se * truth_se + est_se * est_se));
    const bool ok = absent == 0 && std::fabs(est - truth) <= tolerance;
    const double spread = sample_sd(log2s);
    const double log2err = log2err_sum / static_cast<double>(estimates.size());
    const bool spread_ok = spread >= kSpreadLow * log2err && spread <= kSpreadHigh * log2err;
    failures += ok && spread_ok ? 0 : 1;
    char label[64];
    std::snprintf(label, sizeof label, "n=%zu k=%zu %s %s", c.n, c.k, type_name(c.type),
                  c.side > 0 ? "high" : "low");
    std::printf(
        "%-26s %-18s %12.4g %10.3g %11.4g %9.3g %6.3f %-4s %8.3f %8.3f %6.3f %-4s %6d %5.1f\n",
        label, method, truth, truth_se, est, est_se, est / truth, ok ? "yes" : "NO", spread,
        log2err, spread / log2err, spread_ok ? "yes" : "NO", absent, seconds);
  }
  std::printf("%d of %zu cases outside the tolerance\n", failures, cases.size());
  return failures == 0 ? 0 : 1;
}

#include "quenfa/blitz/calibration.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include <oneapi/tbb/parallel_for.h>

#include "quenfa/blitz/compat/brent_root.hpp"
#include "quenfa/blitz/compat/numpy_log_f32.hpp"
#include "quenfa/blitz/compat/numpy_pairwise_sum.hpp"
#include "quenfa/blitz/compat/scipy_digamma.hpp"
#include "quenfa/core/internal_fault.hpp"
#include "quenfa/runtime/run_monitor.hpp"
#include "quenfa/runtime/worker_pool.hpp"

namespace quenfa::blitz {

namespace {

// Sizes always calibrated besides the grid; M + 10 and M + 30 follow.
constexpr std::uint64_t kFixedSizes[] = {1,  2,  3,  4,  5,  6,  7,  12, 16,
                                         20, 30, 40, 50, 60, 70, 80, 100};
// Below this many scores on either side one fit serves both sides.
constexpr std::size_t kMinSideSample = 250;

// Score of one random set in single precision: hits step up by their
// normalised weight, misses step down by 1/(n - k); the value of largest
// magnitude, first occurrence, is the score.
double random_set_score(const std::vector<double>& abs_scores, std::vector<std::uint32_t>& hits,
                        double sum) {
  const std::size_t n = abs_scores.size();
  const std::size_t k = hits.size();
  std::sort(hits.begin(), hits.end());
  const double nm = 1.0 / static_cast<double>(n - k);
  const double nh = 1.0 / sum;
  const float d = static_cast<float>(nm);
  float w = 0.0f;
  double best = std::numeric_limits<double>::quiet_NaN();
  float best_abs = -std::numeric_limits<float>::infinity();
  const auto consider = [&] {
    if (std::fabs(w) > best_abs) {
      best_abs = std::fabs(w);
      best = static_cast<double>(w);
    }
  };
  std::size_t pos = 0;
  const auto miss_run = [&](std::size_t end) {
    // w only falls along a run of misses, so only its first and last values
    // can hold the largest magnitude; every subtraction is still made.
    if (pos == end) return;
    w = w - d;
    consider();
    for (++pos; pos < end; ++pos) w = w - d;
    consider();
  };
  for (std::uint32_t h : hits) {
    miss_run(h);
    w = w + static_cast<float>((abs_scores[h] * nh + nm) - nm);
    consider();
    pos = static_cast<std::size_t>(h) + 1;
  }
  miss_run(n);
  return best;
}

}  // namespace

Result<std::vector<std::uint64_t>> anchor_sizes(std::uint64_t max_size, std::uint64_t anchors,
                                                std::size_t n) {
  const std::uint64_t m = std::max<std::uint64_t>(1, max_size);
  std::vector<std::uint64_t> sizes;
  if (anchors == 1) {
    sizes.push_back(1);
  } else {
    for (std::uint64_t l = 0; l < anchors; ++l) {
      const double x =
          (static_cast<double>(l) * static_cast<double>(m - 1)) / static_cast<double>(anchors - 1) +
          1.0;
      sizes.push_back(static_cast<std::uint64_t>(x));
    }
  }
  sizes.insert(sizes.end(), std::begin(kFixedSizes), std::end(kFixedSizes));
  sizes.push_back(m + 10);
  sizes.push_back(m + 30);
  std::sort(sizes.begin(), sizes.end());
  sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
  std::erase_if(sizes, [&](std::uint64_t s) { return s == 0 || s >= n; });
  if (sizes.empty()) return Error{"blitz calibration produced no valid anchor set sizes."};
  return sizes;
}

std::size_t stream_for_anchor(std::size_t j, std::size_t anchor_count, std::uint64_t processes) {
  if (processes <= 1) return 0;
  const std::size_t streams =
      static_cast<std::size_t>(std::min<std::uint64_t>(anchor_count, processes));
  if (streams == 4 && j >= 4) {
    constexpr std::size_t kFourStreamOrder[] = {1, 2, 0, 3};
    return kFourStreamOrder[j % 4];
  }
  return j % streams;
}

Result<std::pair<double, double>> fit_gamma_floc0_with_scratch(std::span<const double> sample,
                                                               AnchorScratch& scratch) {
  std::vector<float>& y = scratch.values;
  std::vector<float>& logs = scratch.logs;
  y.clear();
  logs.clear();
  for (double v : sample) {
    if (std::isfinite(v) && v > 0) y.push_back(static_cast<float>(v));
  }
  if (y.empty()) return Error{"cannot fit gamma distribution to an empty positive sample."};
  for (float v : y) logs.push_back(compat::numpy_log_f32(v));
  const float count = static_cast<float>(y.size());
  const float mean = compat::numpy_pairwise_sum_f32(y) / count;
  const float meanlog = compat::numpy_pairwise_sum_f32(logs) / count;
  const float s = compat::numpy_log_f32(mean) - meanlog;
  const float shifted = s + (-3.0f);
  const float aest = (std::sqrt(24.0f * s + shifted * shifted) + (3.0f - s)) / (s * 12.0f);
  const double xa = static_cast<double>(0.6f * aest);
  const double xb = static_cast<double>(aest * 1.4f);
  const double target = static_cast<double>(s);
  const auto f = [&](double a) { return (std::log(a) - compat::scipy_digamma(a)) - target; };
  const double fa = f(xa), fb = f(xb);
  double shape;
  if (fa == 0.0) {
    shape = xa;
  } else if (fb == 0.0) {
    shape = xb;
  } else if (!std::isfinite(fa) || !std::isfinite(fb) || std::signbit(fa) == std::signbit(fb)) {
    shape = (xa + xb) * 0.5;  // no bracket: the midpoint, without iterating
  } else {
    shape = compat::brent_root(f, xa, xb);
  }
  const double scale = static_cast<double>(mean / static_cast<float>(shape));
  return std::pair{shape, scale};
}

// Permutations drawn between two looks at the run's stop flag.
constexpr std::uint64_t kPermutationsBetweenStopChecks = 64;

Result<AnchorFit> estimate_anchor(const BlitzSignature& signature, std::uint64_t k,
                                  std::uint64_t permutations, bool symmetric,
                                  random::NumpyMt19937& stream, AnchorScratch& scratch,
                                  const runtime::RunMonitor& run) {
  const std::vector<double>& abs_scores = signature.abs_scores;
  const std::size_t n = abs_scores.size();
  QUENFA_ENSURE(k > 0 && k < n, "anchor size must lie strictly between 0 and n");
  std::vector<std::uint32_t>& perm = scratch.permutation;
  perm.resize(n);
  scratch.sample.clear();
  for (std::uint64_t p = 0; p < permutations; ++p) {
    if (p % kPermutationsBetweenStopChecks == 0) run.check_stop();
    for (std::size_t i = 0; i < n; ++i) perm[i] = static_cast<std::uint32_t>(i);
    for (std::size_t i = n - 1; i >= 1; --i) {
      const std::uint32_t j = random::numpy_bounded_masked(stream, static_cast<std::uint32_t>(i));
      std::swap(perm[i], perm[j]);
    }
    scratch.hits.assign(perm.begin(), perm.begin() + static_cast<std::ptrdiff_t>(k));
    double sum = 0.0;
    for (std::uint32_t h : scratch.hits) sum += abs_scores[h];
    const double score = sum == 0.0 ? 0.0 : random_set_score(abs_scores, scratch.hits, sum);
    if (std::isfinite(score)) scratch.sample.push_back(score);
  }
  if (scratch.sample.empty()) {
    return Error{"blitz calibration generated no finite enrichment scores for set size " +
                 std::to_string(k) + "."};
  }
  scratch.positive.clear();
  scratch.negative.clear();
  for (double v : scratch.sample) {
    if (v > 0) scratch.positive.push_back(v);
    if (v < 0) scratch.negative.push_back(v);
  }
  const std::size_t pos = scratch.positive.size(), neg = scratch.negative.size();
  AnchorFit fit;
  if (neg < kMinSideSample || pos < kMinSideSample || symmetric) {
    std::vector<double> magnitudes;
    for (double v : scratch.sample) {
      if (v != 0) magnitudes.push_back(std::fabs(v));
    }
    auto both = fit_gamma_floc0_with_scratch(magnitudes, scratch);
    if (!both) return Error{both.error()};
    fit.alpha_pos = fit.alpha_neg = both.value().first;
    fit.beta_pos = fit.beta_neg = both.value().second;
  } else {
    auto up = fit_gamma_floc0_with_scratch(scratch.positive, scratch);
    if (!up) return Error{up.error()};
    for (double& v : scratch.negative) v = -v;
    auto down = fit_gamma_floc0_with_scratch(scratch.negative, scratch);
    if (!down) return Error{down.error()};
    std::tie(fit.alpha_pos, fit.beta_pos) = up.value();
    std::tie(fit.alpha_neg, fit.beta_neg) = down.value();
  }
  fit.pos_ratio = pos + neg == 0 ? 0.5 : static_cast<double>(pos) / static_cast<double>(pos + neg);
  // Too few scores, or scores all of one magnitude, leave the fit without a
  // finite positive shape and scale; a model built on it would give every
  // pathway an infinite NES.
  const auto usable = [](double shape, double scale) {
    return std::isfinite(shape) && shape > 0 && std::isfinite(scale) && scale > 0;
  };
  if (!usable(fit.alpha_pos, fit.beta_pos) || !usable(fit.alpha_neg, fit.beta_neg)) {
    return Error{"blitz calibration cannot fit a gamma distribution for set size " +
                 std::to_string(k) + " from " + std::to_string(pos + neg) +
                 " nonzero random scores; use more permutations (nPermSimple) or more genes."};
  }
  return fit;
}

Result<std::vector<AnchorFit>> estimate_anchor_fits(const BlitzSignature& signature,
                                                    const std::vector<std::uint64_t>& sizes,
                                                    const BlitzOptions& options) {
  const std::size_t count = sizes.size();
  const std::size_t streams =
      options.processes <= 1
          ? 1
          : static_cast<std::size_t>(std::min<std::uint64_t>(count, options.processes));
  std::vector<std::optional<AnchorFit>> fits(count);
  std::vector<std::optional<Error>> errors(streams);
  runtime::RunMonitor& run = runtime::current_run();
  run.begin_stage(runtime::stage::kCalibration, count);
  const auto run_stream = [&](std::size_t s) {
    random::NumpyMt19937 stream = random::numpy_mt19937(options.seed);
    AnchorScratch scratch;
    for (std::size_t j = 0; j < count; ++j) {
      if (stream_for_anchor(j, count, options.processes) != s) continue;
      auto fit = estimate_anchor(signature, sizes[j], options.permutations, options.symmetric,
                                 stream, scratch, run);
      if (!fit) {
        errors[s] = Error{fit.error()};
        return;
      }
      fits[j] = fit.value();
      run.advance();
    }
  };
  if (streams == 1) {
    run_stream(0);
  } else {
    runtime::run_in_worker_pool(
        [&] { oneapi::tbb::parallel_for(std::size_t{0}, streams, run_stream); });
  }
  for (const auto& error : errors) {
    if (error) return *error;  // the lowest failing stream's error
  }
  std::vector<AnchorFit> out;
  out.reserve(count);
  for (const auto& fit : fits) {
    QUENFA_ENSURE(fit.has_value(), "every anchor fit should be populated");
    out.push_back(*fit);
  }
  return out;
}

Result<BlitzModel> estimate_model(const BlitzSignature& signature, std::uint64_t max_size,
                                  const BlitzOptions& options) {
  auto sizes = anchor_sizes(max_size, options.anchors, signature.abs_scores.size());
  if (!sizes) return Error{sizes.error()};
  auto fits = estimate_anchor_fits(signature, sizes.value(), options);
  if (!fits) return Error{fits.error()};
  return smooth_anchor_fits(sizes.value(), fits.value(), options.seed);
}

}  // namespace quenfa::blitz

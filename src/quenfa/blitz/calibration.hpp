// Null model calibration: the null distribution of the enrichment score for a
// grid of anchor set sizes, from random gene sets drawn as NumPy's legacy
// RandomState permutation draws them, with a gamma fit (location 0) to each
// side.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "quenfa/blitz/options.hpp"
#include "quenfa/blitz/signature.hpp"
#include "quenfa/blitz/smoothing.hpp"
#include "quenfa/core/result.hpp"
#include "quenfa/random/numpy_random.hpp"
#include "quenfa/runtime/run_monitor.hpp"

namespace quenfa::blitz {

struct AnchorFit {
  double alpha_pos = 0.0;  // gamma shape, positive side
  double beta_pos = 0.0;   // gamma scale, positive side
  double alpha_neg = 0.0;
  double beta_neg = 0.0;
  double pos_ratio = 0.0;  // share of positive scores
};

// Reusable buffers of one calibration stream.
struct AnchorScratch {
  std::vector<std::uint32_t> permutation;
  std::vector<std::uint32_t> hits;
  std::vector<double> sample;
  std::vector<double> positive;
  std::vector<double> negative;
  std::vector<float> values;
  std::vector<float> logs;
};

// The anchor set sizes for pathways of at most max_size genes (at least 1) on
// a signature of n genes, ascending.
Result<std::vector<std::uint64_t>> anchor_sizes(std::uint64_t max_size, std::uint64_t anchors,
                                                std::size_t n);

// The calibration stream that handles anchor j.
std::size_t stream_for_anchor(std::size_t j, std::size_t anchor_count, std::uint64_t processes);

// The null fit of one set size k (0 < k < n), continuing `stream`. Stops
// with RunInterrupted between permutations once `run` is stopped.
Result<AnchorFit> estimate_anchor(const BlitzSignature& signature, std::uint64_t k,
                                  std::uint64_t permutations, bool symmetric,
                                  random::NumpyMt19937& stream, AnchorScratch& scratch,
                                  const runtime::RunMonitor& run);

// Maximum-likelihood gamma fit with location 0 in the single-precision
// arithmetic of SciPy's fit on float32 data: (shape, scale).
Result<std::pair<double, double>> fit_gamma_floc0_with_scratch(std::span<const double> sample,
                                                               AnchorScratch& scratch);

// Fits of every anchor, streams run as tasks of the worker pool; placed by
// anchor index.
Result<std::vector<AnchorFit>> estimate_anchor_fits(const BlitzSignature& signature,
                                                    const std::vector<std::uint64_t>& sizes,
                                                    const BlitzOptions& options);

// Anchor fits smoothed into the model (max_size: the largest cleaned pathway).
Result<BlitzModel> estimate_model(const BlitzSignature& signature, std::uint64_t max_size,
                                  const BlitzOptions& options);

}  // namespace quenfa::blitz

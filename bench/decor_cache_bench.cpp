// Decor cache building: reads an expression matrix, scores every pathway of a
// GMT file and writes the cache (mode rebuild), with a pool of NPROC threads;
// prints seconds, gene pairs per second and the distribution of the scores.
//
// usage: quenfa_decor_cache_bench SETS.gmt EXPRESSION.tsv[.gz] CACHE NPROC
#include <chrono>
#include <cstdio>
#include <string>

#include "quenfa/core/gmt_reader.hpp"
#include "quenfa/decor/cache_builder.hpp"
#include "quenfa/decor/ensure_cache.hpp"
#include "quenfa/decor/formula_context.hpp"
#include "quenfa/runtime/worker_pool.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s SETS.gmt EXPRESSION CACHE NPROC\n", argv[0]);
    return 2;
  }
  namespace decor = quenfa::decor;
  const std::size_t nproc = std::stoul(argv[4]);
  quenfa::runtime::request_worker_pool(nproc);
  const auto pathways = quenfa::read_gmt(argv[1]);
  if (!pathways) return std::fprintf(stderr, "%s\n", pathways.error().c_str()), 1;
  decor::DecorOptions options;
  options.cache_path = argv[3];
  options.expression_path = argv[2];
  options.cache_mode = decor::DecorCacheMode::Rebuild;

  const auto start = Clock::now();
  const auto cache = decor::ensure_decor_cache_for_paths(pathways.value(), argv[1], options);
  const double total = seconds_since(start);
  if (!cache) return std::fprintf(stderr, "%s\n", cache.error().c_str()), 1;

  // The pathway scoring alone, on profiles read beforehand.
  const decor::StandardisedProfiles profiles(
      decor::read_expression_matrix(*options.expression_path).value(), options.correlation);
  const auto build_start = Clock::now();
  const auto results =
      decor::build_decor_cache_from_expression(pathways.value(), profiles, options.redundancy);
  const double build = seconds_since(build_start);

  double pairs = 0;
  for (const auto& r : results) {
    const double m = static_cast<double>(r.genes.size());
    pairs += m * (m - 1) / 2;
  }
  std::printf(
      "nproc %zu: %zu sets, %zu genes x %zu samples, %.0f gene pairs | ensure (digest, read, "
      "build, write) %.3f s = %.3g pairs/s | pathway scoring alone %.3f s = %.3g pairs/s\n",
      nproc, pathways.value().size(), profiles.matrix.genes.size(), profiles.matrix.samples, pairs,
      total, pairs / total, build, pairs / build);

  const auto scores = decor::finite_cache_redundancy(cache.value());
  std::size_t zeros = 0;
  double sum = 0;
  for (double r : scores) {
    zeros += r == 0;
    sum += r;
  }
  std::printf("redundancy (%s): %zu scores, %.1f%% zero, mean %.4f", "positive_mean", scores.size(),
              100.0 * zeros / scores.size(), sum / scores.size());
  for (double p : {0.0, 0.05, 0.25, 0.5, 0.75, 0.95, 0.99, 1.0}) {
    std::printf(", q%g %.4f", p * 100, *decor::percentile_sorted(scores, p));
  }
  std::printf("\n");
  return 0;
}

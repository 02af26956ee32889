// Null model calibration throughput: estimate_model with the default 40
// anchors and 1000 permutations per anchor.
//
// usage: quenfa_blitz_calibration_bench RANKS.tsv SETS.gmt PROCESSES
#include <chrono>
#include <cstdio>
#include <string>

#include "quenfa/blitz/calibration.hpp"
#include "quenfa/blitz/signature.hpp"
#include "quenfa/core/gmt_reader.hpp"
#include "quenfa/runtime/worker_pool.hpp"
#include "ranks_file.hpp"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s RANKS.tsv SETS.gmt PROCESSES\n", argv[0]);
    return 2;
  }
  quenfa::blitz::BlitzOptions options;
  options.processes = std::stoull(argv[3]);
  quenfa::runtime::request_worker_pool(options.processes);
  const auto db = quenfa::read_gmt(argv[2]);
  if (!db) {
    std::fprintf(stderr, "%s\n", db.error().c_str());
    return 1;
  }
  const auto signature = quenfa::blitz::prepare_signature(read_ranks_file(argv[1]), options.center);
  std::uint64_t max_size = 1;
  for (const auto& p : quenfa::blitz::clean_pathways(signature, db.value())) {
    max_size = std::max<std::uint64_t>(max_size, p.genes.size());
  }
  const auto sizes =
      quenfa::blitz::anchor_sizes(max_size, options.anchors, signature.abs_scores.size()).value();
  const auto start = std::chrono::steady_clock::now();
  const auto model = quenfa::blitz::estimate_model(signature, max_size, options);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!model) {
    std::fprintf(stderr, "%s\n", model.error().c_str());
    return 1;
  }
  const double swaps = static_cast<double>(sizes.size()) *
                       static_cast<double>(options.permutations) *
                       static_cast<double>(signature.abs_scores.size() - 1);
  const double threads = static_cast<double>(
      std::min<std::uint64_t>(std::max<std::uint64_t>(options.processes, 1), sizes.size()));
  std::printf(
      "  processes %llu: %zu anchors, %llu permutations, %zu genes: %.2f s, "
      "%.0f million swaps/s per thread\n",
      static_cast<unsigned long long>(options.processes), sizes.size(),
      static_cast<unsigned long long>(options.permutations), signature.abs_scores.size(), seconds,
      swaps / seconds / threads / 1e6);
  return 0;
}

// Classic engine throughput: mode "simple" permutations of one workload, and a
// naive baseline that scores every permutation pathway by pathway.
//
// usage: quenfa_classic_bench RANKS.tsv SETS.gmt NPROC NPERM BASELINE_PERMS
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>

#include "quenfa/classic/driver.hpp"
#include "quenfa/core/gmt_reader.hpp"
#include "quenfa/core/pathway_hits.hpp"
#include "quenfa/random/r_streams.hpp"
#include "quenfa/runtime/worker_pool.hpp"
#include "quenfa/stats/enrichment_statistics.hpp"
#include "ranks_file.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Each permutation draws a fresh random set for every pathway and scores it
// with the plain running sum: the cost the batch statistics avoid.
double naive_permutations_per_second(const quenfa::RankedList& ranked, const quenfa::PathwayDb& db,
                                     std::uint64_t perms, std::size_t& kept) {
  const auto stats = quenfa::RankedList::prepare(ranked.scores, 1.0);
  const std::vector<double> w(stats.int_weights.begin(), stats.int_weights.end());
  const auto index = quenfa::build_gene_index(ranked.genes);
  const std::size_t n = ranked.size();
  std::vector<std::size_t> sizes;
  for (const auto& p : db) {
    const std::size_t k = quenfa::extract_pathway_hits(p.genes, index).size();
    if (k >= 15 && k <= 500) sizes.push_back(k);
  }
  kept = sizes.size();
  auto gen = quenfa::RMt19937SeedCompat::seed_standard(1);
  std::vector<std::uint64_t> drawn;
  std::vector<std::size_t> set;
  double checksum = 0;
  const auto start = Clock::now();
  for (std::uint64_t p = 0; p < perms; ++p) {
    for (std::size_t k : sizes) {
      quenfa::combination(0, n - 1, k, gen, drawn);
      set.assign(drawn.begin(), drawn.end());
      std::sort(set.begin(), set.end());
      checksum += quenfa::enrichment_score(w, set, n, quenfa::ScoreType::Std).es;
    }
  }
  const double elapsed = seconds_since(start);
  if (checksum == 12345.678) std::puts("");  // keeps the work observable
  return static_cast<double>(perms) / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s RANKS.tsv SETS.gmt NPROC NPERM BASELINE_PERMS\n", argv[0]);
    return 2;
  }
  const std::uint64_t nproc = std::stoull(argv[3]);
  const std::uint64_t nperm = std::stoull(argv[4]);
  const std::uint64_t baseline_perms = std::stoull(argv[5]);
  quenfa::runtime::request_worker_pool(nproc);

  const quenfa::RankedList ranked = read_ranks_file(argv[1]);
  auto db = quenfa::read_gmt(argv[2]);
  if (!db) {
    std::fprintf(stderr, "%s\n", db.error().c_str());
    return 1;
  }
  const auto start = Clock::now();
  const auto records = quenfa::classic::run(ranked, db.value(), nperm, 42, 1e-50, 1.0, 15, 500,
                                            quenfa::ScoreType::Std, false, 101);
  const double engine = seconds_since(start);
  const double rate = static_cast<double>(nperm) * static_cast<double>(records.size()) / engine;
  std::printf(
      "  engine:   %zu genes, %zu pathways kept, %llu permutations, %llu thread(s): "
      "%.3f s, %.3g permutation-pathways/s\n",
      ranked.size(), records.size(), static_cast<unsigned long long>(nperm),
      static_cast<unsigned long long>(nproc), engine, rate);
  if (baseline_perms > 0) {
    std::size_t kept = 0;
    const double naive = naive_permutations_per_second(ranked, db.value(), baseline_perms, kept);
    const double naive_seconds = static_cast<double>(nperm) / naive;
    std::printf(
        "  baseline: naive per-pathway scoring, %llu permutations timed, 1 thread: "
        "%.3f s extrapolated to %llu permutations; engine is %.1fx faster\n",
        static_cast<unsigned long long>(baseline_perms), naive_seconds,
        static_cast<unsigned long long>(nperm), naive_seconds / engine);
  }
  return 0;
}

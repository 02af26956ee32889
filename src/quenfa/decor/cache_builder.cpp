#include "quenfa/decor/cache_builder.hpp"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/parallel_for.h>

#include "quenfa/runtime/run_monitor.hpp"
#include "quenfa/runtime/worker_pool.hpp"

namespace quenfa::decor {

std::vector<double> mean_partner_redundancy(const StandardisedProfiles& profiles,
                                            std::span<const std::size_t> rows,
                                            DecorRedundancy redundancy) {
  const std::size_t m = rows.size();
  const std::size_t n = profiles.matrix.samples;
  // The pathway's profiles column by column, so that one gene's products
  // with all later genes run over contiguous memory. Every correlation is
  // still its own sum in column order from -0.0 (lanes are distinct pairs).
  std::vector<double> columns(n * m);
  for (std::size_t j = 0; j < m; ++j) {
    const double* z = profiles.matrix.values.data() + rows[j] * n;
    for (std::size_t k = 0; k < n; ++k) columns[k * m + j] = z[k];
  }
  std::vector<double> sums(m, 0.0);
  std::vector<double> dot(m);
  for (std::size_t i = 0; i + 1 < m; ++i) {
    std::fill(dot.begin() + static_cast<std::ptrdiff_t>(i + 1), dot.end(), -0.0);
    for (std::size_t k = 0; k < n; ++k) {
      const double* column = columns.data() + k * m;
      const double zi = column[i];
      for (std::size_t j = i + 1; j < m; ++j) dot[j] += zi * column[j];
    }
    for (std::size_t j = i + 1; j < m; ++j) {
      const double rho = std::clamp(dot[j], -1.0, 1.0);
      const double t =
          redundancy == DecorRedundancy::PositiveMean ? std::max(rho, 0.0) : std::fabs(rho);
      sums[i] += t;
      sums[j] += t;
    }
  }
  for (double& s : sums) s /= static_cast<double>(m - 1);
  return sums;
}

DecorPathwayScores build_pathway_scores(const Pathway& pathway,
                                        const StandardisedProfiles& profiles,
                                        DecorRedundancy redundancy) {
  DecorPathwayScores scores;
  std::vector<std::size_t> rows;
  std::unordered_set<std::string_view> met;
  for (const std::string& gene : pathway.genes) {
    if (!met.insert(gene).second) continue;
    const auto it = profiles.rows.find(gene);
    if (it == profiles.rows.end()) continue;
    scores.genes.push_back(gene);
    rows.push_back(it->second);
  }
  if (rows.size() == 1) scores.redundancy.push_back(0.0f);
  if (rows.size() >= 2) {
    for (double mean : mean_partner_redundancy(profiles, rows, redundancy)) {
      scores.redundancy.push_back(static_cast<float>(std::clamp(mean, 0.0, 1.0)));
    }
  }
  return scores;
}

std::vector<DecorPathwayScores> build_decor_cache_from_expression(
    const PathwayDb& pathways, const StandardisedProfiles& profiles, DecorRedundancy redundancy) {
  std::vector<DecorPathwayScores> results(pathways.size());
  runtime::RunMonitor& run = runtime::current_run();
  run.begin_stage(runtime::stage::kDecorCache, pathways.size());
  runtime::run_in_worker_pool([&] {
    oneapi::tbb::parallel_for(oneapi::tbb::blocked_range<std::size_t>(0, pathways.size(), 1),
                              [&](const oneapi::tbb::blocked_range<std::size_t>& range) {
                                for (std::size_t p = range.begin(); p != range.end(); ++p) {
                                  results[p] =
                                      build_pathway_scores(pathways[p], profiles, redundancy);
                                }
                                run.advance(range.size());
                              });
  });
  return results;
}

}  // namespace quenfa::decor

#include "quenfa/classic/batch_permutation_counts.hpp"
#include "quenfa/classic/stages.hpp"

namespace quenfa::classic {

void permute_pathway_batches(std::vector<stats::PathwayRecord>& kept, const std::vector<double>& w,
                             ScoreType score_type, const std::vector<PermutationChunk>& chunks) {
  std::vector<std::size_t> sizes;
  std::vector<double> es;
  for (const stats::PathwayRecord& work : kept) {
    sizes.push_back(work.size);
    es.push_back(work.es);
  }
  const BatchInputs inputs{w, sizes, es, score_type};
  for (const PermutationChunk& chunk : chunks) {
    const BatchCounts counts = batch_counts_for_chunk(inputs, chunk.permutations, chunk.seed);
    for (std::size_t i = 0; i < kept.size(); ++i) {
      stats::PermutationCounters& c = kept[i].counters;
      c.le += counts.le[i];
      c.ge += counts.ge[i];
      c.le_zero += counts.le_zero[i];
      c.ge_zero += counts.ge_zero[i];
      c.le_zero_sum += counts.le_zero_sum[i];
      c.ge_zero_sum += counts.ge_zero_sum[i];
    }
  }
}

}  // namespace quenfa::classic

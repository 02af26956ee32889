#include "quenfa/api/analysis.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quenfa::api {
namespace {

std::string named(char prefix, int i) {
  std::string name(1, prefix);
  name += std::to_string(i);
  return name;
}

AnalysisRequest small_request() {
  AnalysisRequest r;
  for (int i = 0; i < 60; ++i) {
    r.genes.push_back(named('g', i));
    r.scores.push_back(30.0 - i);
  }
  PathwayDb sets;
  for (int p = 0; p < 4; ++p) {
    Pathway pathway{named('P', p), {}, std::nullopt};
    for (int i = p; i < 60; i += 5 + p) pathway.genes.push_back(named('g', i));
    sets.push_back(pathway);
  }
  r.pathways = sets;
  r.mode = "simple";
  r.nperm = 2000;
  r.seed = 11;
  return r;
}

TEST(RunAnalysis, AStoppedRunIsInterruptedAndTheNextRunIsUnaffected) {
  runtime::RunMonitor stopped;
  stopped.request_stop();
  const auto interrupted = run_analysis(small_request(), stopped);
  ASSERT_FALSE(interrupted);
  EXPECT_EQ(interrupted.failure().kind, ErrorKind::Interrupted);

  runtime::RunMonitor watched;
  const auto with_monitor = run_analysis(small_request(), watched);
  const auto without = run_analysis(small_request());
  ASSERT_TRUE(with_monitor && without);
  ASSERT_EQ(with_monitor.value().size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(with_monitor.value()[i].pval, without.value()[i].pval);
    EXPECT_EQ(with_monitor.value()[i].nes, without.value()[i].nes);
  }
  const runtime::ProgressReport last = *watched.report();
  EXPECT_STREQ(last.stage, runtime::stage::kPermutations);
  EXPECT_EQ(last.done, 2000u);
  EXPECT_EQ(last.total, 2000u);
}

}  // namespace
}  // namespace quenfa::api

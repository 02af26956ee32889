#include <gtest/gtest.h>

#include "support/fixtures.hpp"

#include <cmath>
#include <limits>

#include "quenfa/plot/enrichment_plot.hpp"

namespace quenfa::plot {
namespace {

EnrichmentPlotData data_for(const std::vector<std::string>& set, ScoreType type = ScoreType::Std,
                            const RankedList& ranked = test_support::ten_genes()) {
  auto data = build_enrichment_plot_data(ranked, set, "P", type, 1.0);
  EXPECT_TRUE(data.ok()) << data.error();
  return data.value();
}

TEST(PlotEnrichment, RunningScoreAndTickLabels) {
  const struct {
    std::vector<std::string> set;
    double enrichment_score;
    std::vector<std::string> labels;
  } cases[] = {
      // Top gene only: up to 1, then down by 1/9 per gene.
      {{"g0"}, 1.0, {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}},
      // Bottom gene only: nine steps of 1/9 overshoot -1 by one unit in the
      // last place, which makes the step 0.5.
      {{"g9"}, -1.0000000000000002, {"-1.5", "-1.0", "-0.5", "0.0"}},
      // Both: +0.5 and -0.5 tie, so the two-sided score is 0.
      {{"g0", "g9"}, 0.0, {"-0.6", "-0.4", "-0.2", "0.0", "0.2", "0.4", "0.6"}},
  };
  for (const auto& c : cases) {
    const EnrichmentPlotData data = data_for(c.set);
    EXPECT_EQ(data.enrichment_score, c.enrichment_score);
    ASSERT_EQ(data.points.size(), 11u);
    EXPECT_EQ(data.points[0], (std::pair<std::uint64_t, double>{0, 0.0}));
    const auto axis = enrichment_axis(data);
    ASSERT_TRUE(axis.ok());
    EXPECT_EQ(tick_labels(axis.value()), c.labels);
  }
  const EnrichmentPlotData top = data_for({"g0"});
  EXPECT_EQ(top.points[1].second, 1.0);
  EXPECT_NEAR(top.points[10].second, 0.0, 1e-15);
  EXPECT_EQ(top.hits, std::vector<std::uint64_t>{1});
}

TEST(PlotEnrichment, ScoreTypePicksTheSide) {
  EXPECT_EQ(data_for({"g0", "g9"}, ScoreType::Pos).enrichment_score, 0.5);
  EXPECT_EQ(data_for({"g0", "g9"}, ScoreType::Neg).enrichment_score, -0.5);
  // Larger side wins for "std": g1 and g2 hit early.
  EXPECT_GT(data_for({"g1", "g2"}).enrichment_score, 0.0);
}

TEST(PlotEnrichment, ZeroHitWeightsCountEqually) {
  std::vector<double> scores(10, 1.0);
  scores[8] = scores[9] = 0.0;
  const EnrichmentPlotData data =
      data_for({"g8", "g9"}, ScoreType::Std, test_support::ten_genes(scores));
  // Eight misses of 1/8, then two hits of 1/2 each.
  EXPECT_EQ(data.points[8].second, -1.0);
  EXPECT_EQ(data.points[9].second, -0.5);
  EXPECT_EQ(data.points[10].second, 0.0);
}

TEST(PlotEnrichment, NanAtTheTopHitMakesOneSidedBoundsFail) {
  std::vector<double> scores(10, 1.0);
  scores[0] = std::numeric_limits<double>::quiet_NaN();
  const RankedList ranked = test_support::ten_genes(scores);
  const EnrichmentPlotData pos = data_for({"g0", "g5"}, ScoreType::Pos, ranked);
  EXPECT_EQ(pos.enrichment_score, -std::numeric_limits<double>::infinity());
  EXPECT_EQ(enrichment_axis(pos).error(), "failed to compute finite plot bounds");
  EXPECT_EQ(data_for({"g0", "g5"}, ScoreType::Neg, ranked).enrichment_score,
            std::numeric_limits<double>::infinity());
  // "std" scores 0 and still draws, NaN segments and all.
  const EnrichmentPlotData std_data = data_for({"g0", "g5"}, ScoreType::Std, ranked);
  EXPECT_EQ(std_data.enrichment_score, 0.0);
  EXPECT_TRUE(render_enrichment_plot(std_data, 900, 660, {}).ok());
}

TEST(PlotEnrichment, InfiniteHitScoreDrawsWithoutFailing) {
  std::vector<double> scores(10, 1.0);
  scores[3] = std::numeric_limits<double>::infinity();
  const EnrichmentPlotData data =
      data_for({"g3", "g6"}, ScoreType::Std, test_support::ten_genes(scores));
  EXPECT_TRUE(render_enrichment_plot(data, 900, 660, {}).ok());
}

}  // namespace
}  // namespace quenfa::plot

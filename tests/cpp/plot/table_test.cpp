#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "quenfa/plot/table_plot.hpp"

namespace quenfa::plot {
namespace {

RankedList four_genes(std::vector<double> scores = {2.0, 1.0, -0.5, -4.0}) {
  return RankedList::create({"a", "b", "c", "d"}, scores);
}

EnrichmentResult record(const std::string& name, double nes = 1.5) {
  EnrichmentResult r;
  r.pathway = name;
  r.nes = nes;
  r.pval = 0.01;
  r.padj = 0.02;
  return r;
}

TEST(PlotTable, Labels) {
  EXPECT_EQ(table_row_label("CELL_CYCLE_GENES%SOURCE%V2"), "CELL CYCLE GENES");
  EXPECT_EQ(table_row_label("%starts_with_percent"), "");
  EXPECT_EQ(table_row_label("plain"), "plain");
}

TEST(PlotTable, RowsCarryNormalisedSignedWeights) {
  const std::vector<Pathway> pathways = {
      {"P1", {"d", "a", "zz", "a"}, {}}, {"absent", {"zz"}, {}}, {"P2", {"c"}, {}}};
  // The later record of P1 wins; "absent" needs no record.
  const auto data = build_gsea_table_plot_data(
      four_genes(), pathways, {record("P1", 9.0), record("P2"), record("P1", -1.25)}, 1.0);
  ASSERT_TRUE(data.ok()) << data.error();
  const auto& rows = data.value().rows;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].hit_positions, (std::vector<std::uint64_t>{1, 4}));
  EXPECT_EQ(rows[0].hit_scores, (std::vector<double>{0.5, -1.0}));  // divided by |-4|
  EXPECT_EQ(rows[0].nes, -1.25);
  EXPECT_EQ(rows[1].pathway, "P2");
  EXPECT_EQ(rows[1].hit_scores, std::vector<double>{-0.125});
  EXPECT_EQ(data.value().top, 1.0);
  EXPECT_EQ(data.value().bottom, -1.0);
}

TEST(PlotTable, SignOfZeroAndNoScaleForAllZero) {
  const auto data = build_gsea_table_plot_data(four_genes({0.0, 0.0, -0.0, -0.0}),
                                               {{"P", {"a", "d"}, {}}}, {record("P")}, 1.0);
  ASSERT_TRUE(data.ok());
  const auto& scores = data.value().rows[0].hit_scores;
  EXPECT_FALSE(std::signbit(scores[0]));
  EXPECT_TRUE(std::signbit(scores[1]));
  // With exponent 0 every weight is 1 in size, a NaN score stays NaN.
  const auto nan = build_gsea_table_plot_data(
      four_genes({1.0, std::numeric_limits<double>::quiet_NaN(), 0.5, -3.0}),
      {{"P", {"b", "d"}, {}}}, {record("P")}, 0.0);
  ASSERT_TRUE(nan.ok());
  EXPECT_TRUE(std::isnan(nan.value().rows[0].hit_scores[0]));
  EXPECT_EQ(nan.value().rows[0].hit_scores[1], -1.0);
}

// Messages that only records built in C++ can reach (the Python side always
// fills NES and padj).
TEST(PlotTable, RecordsWithoutNesOrPadj) {
  EnrichmentResult no_nes = record("P");
  no_nes.nes.reset();
  EnrichmentResult no_padj = record("P");
  no_padj.padj.reset();
  const std::vector<Pathway> pathways = {{"P", {"a"}, {}}};
  EXPECT_EQ(build_gsea_table_plot_data(four_genes(), pathways, {no_nes}, 1.0).error(),
            "pathway 'P' is missing NES in kelda results");
  EXPECT_EQ(build_gsea_table_plot_data(four_genes(), pathways, {no_padj}, 1.0).error(),
            "pathway 'P' is missing padj in kelda results");
}

TEST(PlotTable, ImageSize) {
  const std::vector<Pathway> one = {{"P", {"a", "d"}, {}}};
  const auto data = build_gsea_table_plot_data(four_genes(), one, {record("P")}, 1.0);
  ASSERT_TRUE(data.ok());
  const struct {
    double width_inches;
    std::uint32_t width, height;
  } cases[] = {{5.6, 1680, 210}, {1.0, 520, 210}};
  for (const auto& c : cases) {
    TablePlotOptions options;
    options.width_inches = c.width_inches;
    const auto image = render_gsea_table_plot(data.value(), options);
    ASSERT_TRUE(image.ok());
    EXPECT_EQ(image.value().width(), c.width);
    EXPECT_EQ(image.value().height(), c.height);
  }
  // A long label widens a narrow image beyond 520 pixels.
  const std::vector<Pathway> wide = {{std::string(80, 'W'), {"a"}, {}}};
  const auto wide_data =
      build_gsea_table_plot_data(four_genes(), wide, {record(std::string(80, 'W'))}, 1.0);
  TablePlotOptions narrow;
  narrow.width_inches = 1.0;
  EXPECT_GT(render_gsea_table_plot(wide_data.value(), narrow).value().width(), 1500u);
}

}  // namespace
}  // namespace quenfa::plot

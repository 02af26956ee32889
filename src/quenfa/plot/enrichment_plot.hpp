// The running enrichment score of one gene set along a ranked list, drawn as
// a PNG: green curve, red dashed line at the enrichment score, hit ticks across
// the bottom axis, grey grid, numeric axes and labels, optional title.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "quenfa/core/ranked_list.hpp"
#include "quenfa/core/result.hpp"
#include "quenfa/core/score_type.hpp"
#include "quenfa/plot/axis_ticks.hpp"
#include "quenfa/plot/canvas.hpp"

namespace quenfa::plot {

struct EnrichmentPlotOptions {
  std::string pathway_name = "pathway";
  ScoreType score_type = ScoreType::Std;
  double gsea_param = 1.0;
  double width_inches = 3.0;
  double height_inches = 2.2;
  std::uint32_t dpi = 300;
  bool transparent_background = false;
  std::optional<std::string> title;
};

struct EnrichmentPlotData {
  std::string pathway_name;
  // n + 1 points: (0, 0.0), then (i, running score after gene i - 1).
  std::vector<std::pair<std::uint64_t, double>> points;
  std::vector<std::uint64_t> hits;  // 1-based ranked positions, ascending
  double enrichment_score = 0.0;
};

// The running score with weights |score|^gsea_param (double precision), after
// checking the list, the exponent and the set's coverage of the list.
Result<EnrichmentPlotData> build_enrichment_plot_data(const RankedList& ranked,
                                                      const std::vector<std::string>& pathway_genes,
                                                      const std::string& pathway_name,
                                                      ScoreType score_type, double gsea_param);

// The vertical axis covering the curve, 0 and the enrichment score (NaN
// ignored); fails when that range is not finite.
Result<AxisTicks> enrichment_axis(const EnrichmentPlotData& data);

// Draws the plot on a width x height canvas.
Result<Canvas> render_enrichment_plot(const EnrichmentPlotData& data, std::uint32_t width,
                                      std::uint32_t height, const EnrichmentPlotOptions& options);

// Checks the size, builds the data, draws and saves; nothing is written when
// a check fails.
Status write_enrichment_plot_png(const RankedList& ranked,
                                 const std::vector<std::string>& pathway_genes,
                                 const std::string& output_path,
                                 const EnrichmentPlotOptions& options);

}  // namespace quenfa::plot

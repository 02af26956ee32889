// A table of gene sets, one row each: label, a strip of bars at the ranks of
// the set's genes sized by their signed normalised weights, NES, P-value and
// adjusted P-value, over a shared rank axis. Drawn at twice the final size and
// downscaled, which smooths the thin bars and the text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quenfa/core/enrichment_result.hpp"
#include "quenfa/core/pathway.hpp"
#include "quenfa/core/ranked_list.hpp"
#include "quenfa/core/result.hpp"
#include "quenfa/plot/canvas.hpp"

namespace quenfa::plot {

struct GseaTablePlotRow {
  std::string pathway;
  std::string label;                         // name up to its first '%', '_' shown as blanks
  std::vector<std::uint64_t> hit_positions;  // 1-based, ascending
  std::vector<double> hit_scores;            // adjusted stats at those positions
  double nes = 0.0;
  double pval = 0.0;
  double padj = 0.0;
};

struct GseaTablePlotData {
  std::vector<GseaTablePlotRow> rows;
  std::size_t genes = 0;  // length of the ranked list
  double top = 1.0;       // value at the top of a row's bar area
  double bottom = -1.0;   // value at its bottom
};

struct TablePlotOptions {
  double gsea_param = 1.0;
  double width_inches = 5.6;
  std::optional<double> height_inches;  // absent: sized to the rows
  std::uint32_t dpi = 300;
  bool transparent_background = false;
};

// The display label of a pathway name.
std::string table_row_label(const std::string& pathway);

// Rows of the pathways with ranked genes, in order, with their results (a
// later record of the same name replaces an earlier one).
Result<GseaTablePlotData> build_gsea_table_plot_data(const RankedList& ranked,
                                                     const std::vector<Pathway>& pathways,
                                                     const std::vector<EnrichmentResult>& results,
                                                     double gsea_param);

// Most bytes a table plot may use while it is drawn (20 per image pixel).
inline constexpr std::uint64_t kTablePlotMemoryLimit = std::uint64_t{1} << 30;

// The finished (downscaled) image. Throws TooLarge, before allocating, when
// the image would need more than kTablePlotMemoryLimit.
Result<Canvas> render_gsea_table_plot(const GseaTablePlotData& data,
                                      const TablePlotOptions& options);

Status write_gsea_table_plot_png(const RankedList& ranked, const std::vector<Pathway>& pathways,
                                 const std::vector<EnrichmentResult>& results,
                                 const std::string& output_path, const TablePlotOptions& options);

}  // namespace quenfa::plot

#include "quenfa/plot/enrichment_plot.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "quenfa/core/pathway_hits.hpp"
#include "quenfa/plot/axis_ticks.hpp"
#include "quenfa/plot/font.hpp"
#include "quenfa/plot/pixel_math.hpp"
#include "quenfa/plot/plot_checks.hpp"
#include "quenfa/plot/png_writer.hpp"
#include "quenfa/plot/text.hpp"

namespace quenfa::plot {

namespace {

constexpr RgbaColor kBlack{0, 0, 0, 255};
constexpr RgbaColor kBorder{230, 230, 230, 255};
constexpr RgbaColor kScoreRed{220, 40, 40, 255};
constexpr RgbaColor kCurveGreen{0, 180, 0, 255};
constexpr RgbaColor kHitGrey{70, 70, 70, 255};

// Grid lines darken with the resolution so that they stay visible after
// printing: 230 up to 300 dpi, 160 from 1200 dpi.
RgbaColor grid_grey(std::uint32_t dpi) {
  const float t = std::clamp((static_cast<float>(dpi) - 300.0f) / 900.0f, 0.0f, 1.0f);
  const auto g =
      static_cast<std::uint8_t>(std::clamp(std::round(230.0f - 70.0f * t), 0.0f, 255.0f));
  return {g, g, g, 255};
}

// Pixel geometry of the plot box and its value-to-pixel maps.
struct PlotGeometry {
  float s;                 // dpi / 300
  std::int32_t left, top;  // plot box corner
  std::int32_t pw, ph;     // plot box size
  float n;                 // max(genes, 1)
  double top_value, bottom_value;

  std::int32_t right() const { return left + pw; }
  std::int32_t bottom() const { return top + ph; }
  float x(std::uint64_t p) const {
    return static_cast<float>(p) / n * static_cast<float>(pw) + static_cast<float>(left);
  }
  float y(double v) const {
    const auto q = static_cast<float>((top_value - v) / (top_value - bottom_value));
    return static_cast<float>(top) + q * static_cast<float>(ph);
  }
  std::int32_t px(float c) const { return scaled_px(c, s); }
};

// The five x positions that get a grid line, a tick and a label.
std::array<std::uint64_t, 5> quarter_positions(std::uint64_t n) {
  return {0, n / 4, n / 2, 3 * n / 4, n};
}

}  // namespace

Result<EnrichmentPlotData> build_enrichment_plot_data(const RankedList& ranked,
                                                      const std::vector<std::string>& pathway_genes,
                                                      const std::string& pathway_name,
                                                      ScoreType score_type, double gsea_param) {
  const std::size_t n = ranked.size();
  if (n == 0) return Error{kEmptyRanksMessage};
  if (!valid_gsea_param(gsea_param)) return Error{kBadGseaParamMessage};
  if (Status st = ranked.check_weight_exponent(gsea_param); !st) return st.failure();
  const std::vector<std::size_t> hits =
      extract_pathway_hits(pathway_genes, build_gene_index(ranked.genes));
  const std::size_t k = hits.size();
  if (k == 0) {
    return Error{"pathway '" + pathway_name + "' has no genes present in the ranked list"};
  }
  if (k == n) {
    return Error{"pathway '" + pathway_name +
                 "' covers the full ranked list and cannot produce an enrichment curve"};
  }

  const double miss = 1.0 / static_cast<double>(n - k);
  std::vector<double> weights(k);
  for (std::size_t j = 0; j < k; ++j) {
    weights[j] = std::pow(std::fabs(ranked.scores[hits[j]]), gsea_param);
  }
  double total = rescaled_weight_total(weights);
  if (total == 0.0) {  // all hit weights zero: every hit counts 1 / k
    total = static_cast<double>(k);
    std::fill(weights.begin(), weights.end(), 1.0);
  }

  EnrichmentPlotData data;
  data.pathway_name = pathway_name;
  data.points.reserve(n + 1);
  data.points.emplace_back(0, 0.0);
  double running = 0.0;
  double max = -std::numeric_limits<double>::infinity();
  double min = std::numeric_limits<double>::infinity();
  for (std::size_t i = 1, j = 0; i <= n; ++i) {
    if (j < k && hits[j] == i - 1) {
      running += weights[j] / total;
      ++j;
    } else {
      running -= miss;
    }
    data.points.emplace_back(i, running);
    if (!std::isnan(running)) {
      max = std::max(max, running);
      min = std::min(min, running);
    }
  }
  switch (score_type) {
    case ScoreType::Pos:
      data.enrichment_score = max;
      break;
    case ScoreType::Neg:
      data.enrichment_score = min;
      break;
    case ScoreType::Std:
      data.enrichment_score = max > -min ? max : -min > max ? min : 0.0;
      break;
  }
  data.hits.reserve(k);
  for (std::size_t h : hits) data.hits.push_back(h + 1);
  return data;
}

Result<AxisTicks> enrichment_axis(const EnrichmentPlotData& data) {
  // Vertical range: the curve, 0 and the enrichment score (NaN ignored).
  double ymin = std::fmin(0.0, data.enrichment_score);
  double ymax = std::fmax(0.0, data.enrichment_score);
  for (const auto& [position, value] : data.points) {
    ymin = std::fmin(ymin, value);
    ymax = std::fmax(ymax, value);
  }
  if (!std::isfinite(ymin) || !std::isfinite(ymax))
    return Error{"failed to compute finite plot bounds"};
  if (std::fabs(ymax - ymin) < 1e-12) {
    ymax += 0.1;
    ymin -= 0.1;
  }
  return compute_axis_ticks(ymin, ymax);
}

Result<Canvas> render_enrichment_plot(const EnrichmentPlotData& data, std::uint32_t width,
                                      std::uint32_t height, const EnrichmentPlotOptions& options) {
  const auto axis = enrichment_axis(data);
  if (!axis) return Error{axis.error()};
  const AxisTicks& ticks = axis.value();

  const float s = static_cast<float>(options.dpi) / 300.0f;
  const std::int64_t left = scaled_px(122, s), right_margin = scaled_px(20, s);
  const std::int64_t top = scaled_px(90, s), bottom_margin = scaled_px(80, s);
  const std::int64_t pw = std::int64_t{width} - (left + right_margin);
  const std::int64_t ph = std::int64_t{height} - (bottom_margin + top);
  if (pw < 1 || ph < 1) return Error{"plot dimensions leave no drawable area"};
  // Allocated first: a canvas that exists has coordinates within 32 bits.
  Canvas canvas(width, height, background_color(options.transparent_background));
  const std::uint64_t n = std::max<std::uint64_t>(data.points.size() - 1, 1);
  const PlotGeometry g{s,
                       static_cast<std::int32_t>(left),
                       static_cast<std::int32_t>(top),
                       static_cast<std::int32_t>(pw),
                       static_cast<std::int32_t>(ph),
                       static_cast<float>(n),
                       ticks.top,
                       ticks.bottom};
  const auto L = static_cast<float>(g.left), T = static_cast<float>(g.top);
  const auto R = static_cast<float>(g.right()), B = static_cast<float>(g.bottom());

  draw_line(canvas, L, T, L, B, kBlack);
  draw_line(canvas, L, B, R, B, kBlack);
  draw_line(canvas, L, T, R, T, kBorder);
  draw_line(canvas, R, T, R, B, kBorder);

  const auto& loaded = plot_font();
  if (!loaded) return Error{loaded.error()};
  const Font& font = *loaded.value();

  const float label_scale = 26.0f * s;
  const std::vector<std::string> labels = tick_labels(ticks);
  std::int64_t widest_label = 0;
  for (const std::string& label : labels) {
    widest_label =
        std::max<std::int64_t>(widest_label, measure_text(font, label_scale, label).width);
  }

  const RgbaColor grid = grid_grey(options.dpi);
  const std::int32_t grid_hw = g.px(0.0f);
  for (std::uint64_t p : quarter_positions(n)) {
    draw_thick_line_segment(canvas, g.x(p), T, g.x(p), B, grid_hw, grid);
  }
  for (double v : ticks.values) {
    if (std::fabs(v) >= 1e-12) draw_thick_line_segment(canvas, L, g.y(v), R, g.y(v), grid_hw, grid);
  }
  draw_line(canvas, L, g.y(0.0), R, g.y(0.0), kBlack);

  const std::int32_t hw = g.px(1.0f);
  const float ye = g.y(data.enrichment_score);
  const float dash = 12.0f * s, gap = 8.0f * s;
  float x = L;
  do {
    const float x_end = std::min(x + dash, R);
    draw_thick_line_segment(canvas, x, ye, x_end, ye, hw, kScoreRed);
    x = x_end + gap;
  } while (x < R);

  for (std::size_t i = 1; i < data.points.size(); ++i) {
    draw_thick_line_segment(canvas, g.x(i - 1), g.y(data.points[i - 1].second), g.x(i),
                            g.y(data.points[i].second), hw, kCurveGreen);
  }

  const std::int32_t tick_w = std::max(1, g.px(2.0f));
  const std::int32_t tick_top = round_to_i32(B - 24.0f * s);
  const std::int32_t tick_h = std::max(1, round_to_i32((B + 18.0f * s) - (B - 24.0f * s)));
  for (std::uint64_t h : data.hits) {
    fill_rect(canvas, round_to_i32(g.x(h)) - tick_w / 2, tick_top,
              static_cast<std::uint32_t>(tick_w), static_cast<std::uint32_t>(tick_h), kHitGrey);
  }

  for (std::size_t i = 0; i < ticks.values.size(); ++i) {
    const float yv = g.y(ticks.values[i]);
    draw_line(canvas, static_cast<float>(g.left - g.px(7.0f)), yv, L, yv, kBlack);
    const auto w = static_cast<std::int32_t>(measure_text(font, label_scale, labels[i]).width);
    draw_text(canvas, kBlack, g.left - (w + g.px(12.0f)), round_to_i32(yv) - g.px(12.0f),
              label_scale, font, labels[i]);
  }

  const std::int32_t tick_y = g.bottom() + g.px(22.0f);
  for (std::uint64_t p : quarter_positions(n)) {
    draw_line(canvas, g.x(p), static_cast<float>(tick_y), g.x(p),
              static_cast<float>(tick_y + g.px(7.0f)), kBlack);
    const std::string label = std::to_string(p);
    const auto w = static_cast<std::int32_t>(measure_text(font, label_scale, label).width);
    const std::int32_t label_x = p == 0   ? g.left
                                 : p == n ? g.right() - w
                                          : round_to_i32(g.x(p)) - w / 2;
    draw_text(canvas, kBlack, label_x, tick_y + g.px(7.0f) + g.px(8.0f), label_scale, font, label);
  }

  const float title_scale = 28.0f * s;
  const auto centre_x = static_cast<std::int32_t>(width / 2);
  if (options.title) {
    draw_text_centered(canvas, font, centre_x, g.px(24.0f), *options.title, title_scale, kBlack);
  }
  draw_text_centered(canvas, font, centre_x, static_cast<std::int32_t>(height) - g.px(28.0f),
                     "rank", title_scale, kBlack);
  draw_vertical_text_centered(canvas, font,
                              static_cast<std::int32_t>(g.left - (g.px(30.0f) + widest_label)),
                              g.top + g.ph / 2, title_scale);
  return canvas;
}

Status write_enrichment_plot_png(const RankedList& ranked,
                                 const std::vector<std::string>& pathway_genes,
                                 const std::string& output_path,
                                 const EnrichmentPlotOptions& options) {
  if (!valid_inches(options.width_inches) || !valid_inches(options.height_inches) ||
      options.dpi == 0) {
    return Error{kBadSizeMessage};
  }
  const std::uint32_t width = inches_to_pixels(options.width_inches, options.dpi);
  const std::uint32_t height = inches_to_pixels(options.height_inches, options.dpi);
  if (width < 320 || height < 240) return Error{"plot dimensions must be at least 320x240 pixels"};
  auto data = build_enrichment_plot_data(ranked, pathway_genes, options.pathway_name,
                                         options.score_type, options.gsea_param);
  if (!data) return data.failure();
  auto canvas = render_enrichment_plot(data.value(), width, height, options);
  if (!canvas) return Error{canvas.error()};
  return save_png_with_dpi(canvas.value(), output_path, options.dpi);
}

}  // namespace quenfa::plot

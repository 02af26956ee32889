#include "quenfa/plot/table_plot.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <unordered_map>

#include "quenfa/core/pathway_hits.hpp"
#include "quenfa/core/too_large.hpp"
#include "quenfa/plot/font.hpp"
#include "quenfa/plot/lanczos_downscale.hpp"
#include "quenfa/plot/number_format.hpp"
#include "quenfa/plot/pixel_math.hpp"
#include "quenfa/plot/plot_checks.hpp"
#include "quenfa/plot/png_writer.hpp"
#include "quenfa/plot/text.hpp"

namespace quenfa::plot {

namespace {

constexpr RgbaColor kBlack{0, 0, 0, 255};
constexpr RgbaColor kBarColor{20, 20, 20, 255};
constexpr RgbaColor kAxisLabelColor{70, 70, 70, 255};

// |score|^p with the score's sign (+0 counts positive, -0 negative); NaN stays NaN.
std::vector<double> signed_weights(const std::vector<double>& scores, double p) {
  std::vector<double> a(scores.size());
  for (std::size_t i = 0; i < scores.size(); ++i) {
    const double v = scores[i];
    const double sign = std::isnan(v) ? v : std::signbit(v) ? -1.0 : 1.0;
    a[i] = std::pow(std::fabs(v), p) * sign;
  }
  return a;
}

std::string format_nes(double nes) {
  return std::isnan(nes) ? "NaN" : format_fixed(nes, 2);
}

}  // namespace

std::string table_row_label(const std::string& pathway) {
  std::string label = pathway.substr(0, pathway.find('%'));
  std::replace(label.begin(), label.end(), '_', ' ');
  return label;
}

Result<GseaTablePlotData> build_gsea_table_plot_data(const RankedList& ranked,
                                                     const std::vector<Pathway>& pathways,
                                                     const std::vector<EnrichmentResult>& results,
                                                     double gsea_param) {
  if (ranked.size() == 0) return Error{kEmptyRanksMessage};
  if (pathways.empty()) return Error{"pathways must not be empty"};
  if (!valid_gsea_param(gsea_param)) return Error{kBadGseaParamMessage};
  if (Status st = ranked.check_weight_exponent(gsea_param); !st) return st.failure();
  const GeneIndex index = build_gene_index(ranked.genes);
  std::vector<double> stats = signed_weights(ranked.scores, gsea_param);
  double largest = 0.0;
  for (double a : stats) largest = std::fmax(largest, std::fabs(a));
  if (std::isinf(largest)) return Error{"failed to compute finite adjusted stats"};
  if (largest > 0.0) {
    for (double& a : stats) a /= largest;
  }

  GseaTablePlotData data;
  data.genes = ranked.size();
  for (double a : stats) {
    data.top = std::fmax(data.top, a);
    data.bottom = std::fmin(data.bottom, a);
  }

  std::unordered_map<std::string_view, const EnrichmentResult*> by_name;
  for (const EnrichmentResult& r : results) by_name.insert_or_assign(r.pathway, &r);

  for (const Pathway& pathway : pathways) {
    const std::vector<std::size_t> hits = extract_pathway_hits(pathway.genes, index);
    if (hits.empty()) continue;
    const std::string quoted = "pathway '" + pathway.name + "' ";
    const auto found = by_name.find(pathway.name);
    if (found == by_name.end()) return Error{quoted + "missing from kelda results"};
    const EnrichmentResult& result = *found->second;
    if (!result.nes) return Error{quoted + "is missing NES in kelda results"};
    if (!result.padj) return Error{quoted + "is missing padj in kelda results"};
    GseaTablePlotRow row{
        pathway.name, table_row_label(pathway.name), {}, {}, *result.nes, result.pval,
        *result.padj};
    for (std::size_t h : hits) {
      row.hit_positions.push_back(h + 1);
      row.hit_scores.push_back(stats[h]);
    }
    data.rows.push_back(std::move(row));
  }
  if (data.rows.empty()) {
    return Error{"none of the requested pathways have genes present in the ranked list"};
  }
  return data;
}

Result<Canvas> render_gsea_table_plot(const GseaTablePlotData& data,
                                      const TablePlotOptions& options) {
  const std::uint32_t dpi = options.dpi;
  const float s = static_cast<float>(dpi) / 300.0f;
  auto R = [s](float c) { return std::int64_t{scaled_px(c, s)}; };
  const auto rows = static_cast<std::int64_t>(data.rows.size());

  const auto& loaded = plot_font();
  if (!loaded) return Error{loaded.error()};
  const Font& font = *loaded.value();

  const double height_inches = options.height_inches.value_or(
      std::max(static_cast<double>(R(30) + R(34) + R(8) + R(12) + R(48) * rows) / dpi, 0.7));
  const std::int64_t height = inches_to_pixels(height_inches, dpi);
  if (height < 180) return Error{"plot height must be at least 180 pixels"};

  std::int64_t name_w = 0;
  for (const GseaTablePlotRow& row : data.rows) {
    name_w = std::max<std::int64_t>(name_w, measure_text(font, 22.0f * s, row.label).width);
  }
  const std::int64_t w0 = std::max<std::int64_t>(1, inches_to_pixels(options.width_inches, dpi));
  const std::int64_t fixed = R(8) + R(12) + R(8) + 3 * (R(66) + R(4)) + R(24) + name_w;
  const std::int64_t strip =
      std::max(R(220), std::min(R(350), std::max<std::int64_t>(0, w0 - fixed)));
  const std::int64_t total = fixed + strip;
  const std::int64_t width = std::max({w0, total, std::int64_t{520}});  // widened, never narrowed
  const std::int64_t extra = width - total;
  const std::int64_t gap = std::min(R(18), extra);
  // The double-size canvas takes 16 bytes per image pixel and the image 4.
  const double working_bytes = 20.0 * static_cast<double>(width) * static_cast<double>(height);
  if (width > UINT32_MAX / 2 || height > UINT32_MAX / 2 ||
      working_bytes > static_cast<double>(kTablePlotMemoryLimit)) {
    throw TooLarge("a table plot of " + std::to_string(width) + " x " + std::to_string(height) +
                   " pixels needs " + std::to_string(std::llround(working_bytes / 1048576.0)) +
                   " MiB of working memory, more than its limit of " +
                   std::to_string(kTablePlotMemoryLimit >> 20) +
                   " MiB; lower dpi or height_inches, or draw fewer pathways");
  }

  // Drawing happens on a canvas of twice the size; the R values stay
  // single-size and are doubled where the layout says 2 R.
  Canvas canvas(static_cast<std::uint32_t>(2 * width), static_cast<std::uint32_t>(2 * height),
                background_color(options.transparent_background));
  auto i32 = [](std::int64_t v) { return static_cast<std::int32_t>(v); };
  const std::int64_t xr = 2 * (R(24) + name_w + R(8) + gap) - R(12);
  const std::int64_t x0 = 2 * (R(24) + name_w + R(8) + gap + R(8));
  const std::int64_t cw = 2 * (strip + extra - gap);
  const std::int64_t c1 = x0 + cw + 2 * R(4);
  const std::int64_t c2 = c1 + 2 * R(66) + 2 * R(4);
  const std::int64_t c3 = c2 + 2 * R(66) + 2 * R(4);
  const std::array<std::int64_t, 3> centres = {c1 + R(66), c2 + R(66), c3 + R(66)};

  const float header_scale = 52.0f * s, row_scale = 44.0f * s;
  auto right_aligned = [&](std::string_view text, float scale, std::int64_t y) {
    const auto w = static_cast<std::int64_t>(measure_text(font, scale, text).width);
    draw_text(canvas, kBlack, i32(xr - w), i32(y), scale, font, text);
  };
  const std::int64_t header_y = 2 * R(12);
  right_aligned("Pathway", header_scale, header_y);
  draw_text_centered(canvas, font, i32(x0 + cw / 2), i32(header_y), "Gene ranks", header_scale,
                     kBlack);
  const std::array<const char*, 3> headers = {"NES", "pval", "padj"};
  for (std::size_t c = 0; c < 3; ++c) {
    draw_text_centered(canvas, font, i32(centres[c]), i32(header_y), headers[c], header_scale,
                       kBlack);
  }

  const std::int64_t rh = 2 * R(48);
  const std::int64_t bar_w = std::max<std::int64_t>(1, R(6));
  const auto n = static_cast<float>(data.genes);
  auto bar_x = [&](std::uint64_t p) {
    return static_cast<float>(p) / n * static_cast<float>(cw) + static_cast<float>(x0);
  };
  auto row_y = [&](std::int64_t t, double v) {
    const auto q = static_cast<float>((data.top - v) / (data.top - data.bottom));
    return static_cast<float>(t) + q * static_cast<float>(rh);
  };
  for (std::int64_t i = 0; i < rows; ++i) {
    const GseaTablePlotRow& row = data.rows[static_cast<std::size_t>(i)];
    const std::int64_t t = 2 * R(12) + 2 * R(34) + i * rh;
    const std::int64_t text_y = t + rh / 2 - R(18);
    right_aligned(row.label, row_scale, text_y);
    const float y_zero = row_y(t, 0.0);
    for (std::size_t j = 0; j < row.hit_positions.size(); ++j) {
      const float y_v = row_y(t, row.hit_scores[j]);
      fill_rect(canvas, i32(round_to_i32(bar_x(row.hit_positions[j])) - bar_w / 2),
                round_to_i32(std::fmin(y_zero, y_v)), static_cast<std::uint32_t>(bar_w),
                static_cast<std::uint32_t>(std::max(1, round_to_i32(std::fabs(y_zero - y_v)))),
                kBarColor);
    }
    const std::array<std::string, 3> numbers = {
        format_nes(row.nes), format_scientific_value(row.pval), format_scientific_value(row.padj)};
    for (std::size_t c = 0; c < 3; ++c) {
      draw_text_centered(canvas, font, i32(centres[c]), i32(text_y), numbers[c], row_scale, kBlack);
    }
  }

  const std::int64_t rows_end = 2 * R(12) + 2 * R(34) + rows * rh;
  const auto axis_y = static_cast<float>(rows_end + R(10));
  draw_thick_line_segment(canvas, static_cast<float>(x0), axis_y, static_cast<float>(x0 + cw),
                          axis_y, 0, kBlack);
  const std::uint64_t genes = data.genes;
  for (std::uint64_t p : {std::uint64_t{0}, genes / 4, genes / 2, 3 * genes / 4, genes}) {
    const float x = bar_x(p);
    draw_line(canvas, x, axis_y, x, axis_y + static_cast<float>(R(4)), kBlack);
    const std::string label = std::to_string(p);
    const float scale = 38.0f * s;
    const auto w = static_cast<std::int32_t>(measure_text(font, scale, label).width);
    draw_text(canvas, kAxisLabelColor, round_to_i32(x) - w / 2, i32(rows_end + R(16)), scale, font,
              label);
  }
  return downscale_half_lanczos3(canvas, static_cast<std::uint32_t>(width),
                                 static_cast<std::uint32_t>(height));
}

Status write_gsea_table_plot_png(const RankedList& ranked, const std::vector<Pathway>& pathways,
                                 const std::vector<EnrichmentResult>& results,
                                 const std::string& output_path, const TablePlotOptions& options) {
  if (!valid_inches(options.width_inches) || options.dpi == 0 ||
      (options.height_inches && !valid_inches(*options.height_inches))) {
    return Error{kBadSizeMessage};
  }
  auto data = build_gsea_table_plot_data(ranked, pathways, results, options.gsea_param);
  if (!data) return data.failure();
  auto image = render_gsea_table_plot(data.value(), options);
  if (!image) return Error{image.error()};
  return save_png_with_dpi(image.value(), output_path, options.dpi);
}

}  // namespace quenfa::plot

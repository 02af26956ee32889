// write_enrichment_plot_png_py: converts the ranks and the pathway's genes,
// then draws the running-score plot with the GIL released.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "arguments.hpp"
#include "boundary.hpp"
#include "entry_points.hpp"
#include "quenfa/core/ranked_list.hpp"
#include "quenfa/core/score_type.hpp"
#include "quenfa/plot/enrichment_plot.hpp"

namespace quenfamod {

namespace {

constexpr std::array<const char*, 11> kEnrichmentNames = {
    "ranks",     "pathway_genes", "output_path",   "pathway_name", "scoreType",
    "gseaParam", "width_inches",  "height_inches", "dpi",          "transparent_background",
    "title"};
constexpr ParameterSignature kEnrichmentSignature{"write_enrichment_plot_png_py", kEnrichmentNames,
                                                  3};

struct EnrichmentPlotArguments {
  RankInput ranks;
  std::vector<std::string> pathway_genes;
  std::string output_path;
  std::string pathway_name = "pathway";
  std::string score_type = "std";
  double gsea_param = 1.0;
  double width_inches = 3.0;
  double height_inches = 2.2;
  std::uint32_t dpi = 300;
  bool transparent_background = false;
  std::optional<std::string> title;
};

PyObject* write_enrichment_plot_png_py(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) {
  return guarded_call([&]() -> PyObject* {
    const auto& k = kEnrichmentSignature;
    std::vector<PyObject*> s;
    if (!bind_arguments(k, args, nargs, kwnames, s)) return nullptr;
    EnrichmentPlotArguments a;
    const bool converted = convert_arg(k, s, 0, convert_ranks, a.ranks) &&
                           convert_arg(k, s, 1, convert_str_sequence, a.pathway_genes) &&
                           convert_arg(k, s, 2, convert_path, a.output_path) &&
                           convert_arg(k, s, 3, convert_str, a.pathway_name) &&
                           convert_arg(k, s, 4, convert_lowered_str, a.score_type) &&
                           convert_arg(k, s, 5, convert_f64, a.gsea_param) &&
                           convert_arg(k, s, 6, convert_f64, a.width_inches) &&
                           convert_arg(k, s, 7, convert_f64, a.height_inches) &&
                           convert_arg(k, s, 8, convert_u32, a.dpi) &&
                           convert_arg(k, s, 9, convert_bool, a.transparent_background) &&
                           convert_optional_arg(k, s, 10, convert_str, a.title);
    if (!converted) return nullptr;
    auto score_type = quenfa::parse_score_type(a.score_type);
    if (!score_type) return raise(PyExc_ValueError, score_type.error());
    const auto ranked =
        quenfa::RankedList::create_checked(std::move(a.ranks.genes), std::move(a.ranks.scores));
    if (!ranked) return raise_error(ranked.failure());
    quenfa::plot::EnrichmentPlotOptions options;
    options.pathway_name = std::move(a.pathway_name);
    options.score_type = score_type.value();
    options.gsea_param = a.gsea_param;
    options.width_inches = a.width_inches;
    options.height_inches = a.height_inches;
    options.dpi = a.dpi;
    options.transparent_background = a.transparent_background;
    options.title = std::move(a.title);
    const quenfa::Status written = without_gil([&] {
      return quenfa::plot::write_enrichment_plot_png(ranked.value(), a.pathway_genes, a.output_path,
                                                     options);
    });
    if (!written) return raise_error(written.failure());
    Py_RETURN_NONE;
  });
}

}  // namespace

PyMethodDef enrichment_plot_def = {
    "write_enrichment_plot_png_py",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(write_enrichment_plot_png_py)),
    METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
    "write_enrichment_plot_png_py(ranks, pathway_genes, output_path, pathway_name=\"pathway\", "
    "scoreType=\"std\", gseaParam=1.0, width_inches=3.0, height_inches=2.2, dpi=300, "
    "transparent_background=False, title=None)\n--\n\n"
    "Draws the running enrichment score of one gene set along the ranked list\n"
    "to a PNG file at output_path (width_inches x height_inches at dpi), with\n"
    "the set's genes marked and the ranked scores below. Returns None; raises\n"
    "RuntimeError when the plot cannot be drawn or written.\n"};

}  // namespace quenfamod

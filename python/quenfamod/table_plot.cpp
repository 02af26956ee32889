// write_gsea_table_plot_png_py: converts the ranks, the (name, genes) pairs and
// the result dicts, then draws the table plot with the GIL released.
#include "entry_points.hpp"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "arguments.hpp"
#include "boundary.hpp"
#include "py_ref.hpp"
#include "quenfa/core/enrichment_result.hpp"
#include "quenfa/core/pathway.hpp"
#include "quenfa/core/ranked_list.hpp"
#include "quenfa/plot/table_plot.hpp"

namespace quenfamod {

namespace {

constexpr std::array<const char*, 9> kTableNames = {
    "ranks",        "pathways",      "results", "output_path",           "gseaParam",
    "width_inches", "height_inches", "dpi",     "transparent_background"};
constexpr ParameterSignature kTableSignature{"write_gsea_table_plot_png_py", kTableNames, 4};

// The result dicts, each checked to have only str keys; references are held.
bool convert_result_dicts(PyObject* obj, std::vector<PyRef>& out) {
  out.clear();
  return for_each_in_sequence(obj, "dicts", [&](PyObject* item, Py_ssize_t) {
    if (!PyDict_Check(item)) {
      PyErr_Format(PyExc_TypeError, "expected a dict, got %.200s", Py_TYPE(item)->tp_name);
      return false;
    }
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(item, &pos, &key, &value)) {
      if (!PyUnicode_Check(key)) {
        PyErr_Format(PyExc_TypeError, "result keys must be str, not %.200s", Py_TYPE(key)->tp_name);
        return false;
      }
    }
    out.push_back(PyRef::borrow(item));
    return true;
  });
}

PyObject* missing_key(const char* key) {
  return raise(PyExc_ValueError, std::string("Result row missing '") + key + "'.");
}

// The value under `key` as a double: a float directly, anything else through
// float conversion (so None raises TypeError).
bool extract_required_py_f64(PyObject* dict, const char* key, double& out) {
  PyObject* value = PyDict_GetItemString(dict, key);
  if (value == nullptr) {
    missing_key(key);
    return false;
  }
  if (PyFloat_CheckExact(value)) {
    out = PyFloat_AS_DOUBLE(value);
    return true;
  }
  PyRef held = PyRef::borrow(value);
  return convert_f64(held.get(), out);
}

bool result_record_from_py(PyObject* dict, quenfa::EnrichmentResult& out) {
  PyObject* name = PyDict_GetItemString(dict, "pathway");
  if (name == nullptr) {
    missing_key("pathway");
    return false;
  }
  double nes, pval, padj;
  if (!convert_str(name, out.pathway) || !extract_required_py_f64(dict, "nes", nes) ||
      !extract_required_py_f64(dict, "pval", pval) ||
      !extract_required_py_f64(dict, "padj", padj)) {
    return false;
  }
  out.nes = nes;
  out.pval = pval;
  out.padj = padj;
  return true;
}

struct TablePlotArguments {
  RankInput ranks;
  std::vector<quenfa::Pathway> pathways;
  std::vector<PyRef> results;
  std::string output_path;
  double gsea_param = 1.0;
  double width_inches = 5.6;
  std::optional<double> height_inches;
  std::uint32_t dpi = 300;
  bool transparent_background = false;
};

PyObject* write_gsea_table_plot_png_py(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) {
  return guarded_call([&]() -> PyObject* {
    const auto& k = kTableSignature;
    std::vector<PyObject*> s;
    if (!bind_arguments(k, args, nargs, kwnames, s)) return nullptr;
    TablePlotArguments a;
    const bool converted = convert_arg(k, s, 0, convert_ranks, a.ranks) &&
                           convert_arg(k, s, 1, convert_pathway_pairs, a.pathways) &&
                           convert_arg(k, s, 2, convert_result_dicts, a.results) &&
                           convert_arg(k, s, 3, convert_path, a.output_path) &&
                           convert_arg(k, s, 4, convert_f64, a.gsea_param) &&
                           convert_arg(k, s, 5, convert_f64, a.width_inches) &&
                           convert_optional_arg(k, s, 6, convert_f64, a.height_inches) &&
                           convert_arg(k, s, 7, convert_u32, a.dpi) &&
                           convert_arg(k, s, 8, convert_bool, a.transparent_background);
    if (!converted) return nullptr;
    const auto ranked =
        quenfa::RankedList::create_checked(std::move(a.ranks.genes), std::move(a.ranks.scores));
    if (!ranked) return raise_error(ranked.failure());
    std::vector<quenfa::EnrichmentResult> records(a.results.size());
    for (std::size_t i = 0; i < a.results.size(); ++i) {
      if (!result_record_from_py(a.results[i].get(), records[i])) return nullptr;
    }
    const quenfa::plot::TablePlotOptions options{a.gsea_param, a.width_inches, a.height_inches,
                                                 a.dpi, a.transparent_background};
    const quenfa::Status written = without_gil([&] {
      return quenfa::plot::write_gsea_table_plot_png(ranked.value(), a.pathways, records,
                                                     a.output_path, options);
    });
    if (!written) return raise_error(written.failure());
    Py_RETURN_NONE;
  });
}

}  // namespace

PyMethodDef table_plot_def = {
    "write_gsea_table_plot_png_py",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(write_gsea_table_plot_png_py)),
    METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
    "write_gsea_table_plot_png_py(ranks, pathways, results, output_path, gseaParam=1.0, "
    "width_inches=5.6, height_inches=None, dpi=300, transparent_background=False)\n--\n\n"
    "Draws a table of gene sets to a PNG file at output_path: one row per\n"
    "(name, genes) pair with genes in the ranked list, showing where its genes\n"
    "fall in the ranking and the NES, pval and padj of the result dict of the\n"
    "same pathway (the last one when several share the name). height_inches\n"
    "None fits the rows. Returns None; raises ValueError for a result dict\n"
    "without pathway, nes, pval or padj, RuntimeError when drawing fails.\n"};

}  // namespace quenfamod

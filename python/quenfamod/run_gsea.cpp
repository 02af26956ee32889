#include "run_gsea.hpp"

#include <array>
#include <cmath>
#include <optional>
#include <string>

#include "arguments.hpp"
#include "boundary.hpp"
#include "quenfa/algo.hpp"
#include "quenfa/bindings/execution_plan.hpp"
#include "quenfa/blitz/engine.hpp"
#include "quenfa/core/gmt_reader.hpp"
#include "quenfa/core/ranked_list.hpp"
#include "quenfa/core/score_type.hpp"
#include "quenfa/decor/decor_options.hpp"
#include "quenfa/decor/decor_run.hpp"
#include "quenfa/decor/ensure_cache.hpp"
#include "quenfa/decor/file_digest.hpp"
#include "quenfa/runtime/worker_pool.hpp"
#include "results.hpp"

namespace quenfamod {

namespace {

enum Param : std::size_t {
  kRanks,
  kGmtPath,
  kNPermSimple,
  kSeed,
  kNproc,
  kMinSize,
  kMaxSize,
  kEps,
  kScoreType,
  kGseaParam,
  kMode,
  kNperm,
  kSampleSize,
  kGpu,
  kMethod,
  kDecorCache,
  kDecorExpression,
  kDecorPreset,
  kDecorStringency,
  kDecorWeightFormula,
  kDecorAlpha,
  kDecorThreshold,
  kDecorGamma,
  kDecorPenaltyFloor,
  kDecorScaleEpsilon,
  kDecorCacheMode,
  kDecorCorrelation,
  kDecorRedundancy,
  kBlitzAnchors,
  kBlitzSymmetric,
  kBlitzCenter,
  kBlitzAccuracy,
  kBlitzDeepAccuracy,
  kBlitzSignatureCache,
  kParamCount
};

constexpr std::array<const char*, kParamCount> kNames = {
    "ranks",
    "gmt_path",
    "nPermSimple",
    "seed",
    "nproc",
    "minSize",
    "maxSize",
    "eps",
    "scoreType",
    "gseaParam",
    "mode",
    "nperm",
    "sampleSize",
    "gpu",
    "method",
    "decor_cache",
    "decor_expression",
    "decor_preset",
    "decor_stringency",
    "decor_weight_formula",
    "decor_alpha",
    "decor_threshold",
    "decor_gamma",
    "decor_penalty_floor",
    "decor_scale_epsilon",
    "decor_cache_mode",
    "decor_correlation",
    "decor_redundancy",
    "blitz_anchors",
    "blitz_symmetric",
    "blitz_center",
    "blitz_accuracy",
    "blitz_deep_accuracy",
    "blitz_signature_cache",
};

constexpr FunctionSpec kSpec{"run_gsea_py", kNames, 2};

// Every argument of one call after conversion, defaults filled in.
struct RunArguments {
  RankInput ranks;
  std::string gmt_path;
  std::uint64_t n_perm_simple = 1000;
  std::optional<std::uint64_t> seed;
  std::uint64_t nproc = 0;
  std::optional<std::uint64_t> min_size;
  std::optional<std::uint64_t> max_size;
  double eps = 1e-50;
  std::string score_type = "std";
  double gsea_param = 1.0;
  std::string mode = "kelda";
  std::optional<std::uint64_t> nperm;
  std::uint64_t sample_size = 101;
  bool gpu = false;
  std::string method = "classic";
  std::optional<std::string> decor_cache;
  std::optional<std::string> decor_expression;
  std::optional<std::string> decor_preset;
  std::optional<double> decor_stringency;
  std::optional<std::string> decor_weight_formula;
  std::optional<double> decor_alpha;
  std::optional<double> decor_threshold;
  std::optional<double> decor_gamma;
  std::optional<double> decor_penalty_floor;
  double decor_scale_epsilon = 1e-12;
  std::string decor_cache_mode = "auto";
  std::string decor_correlation = "pearson";
  std::string decor_redundancy = "positive_mean";
  std::uint64_t blitz_anchors = 40;
  bool blitz_symmetric = false;
  bool blitz_center = true;
  std::uint64_t blitz_accuracy = 40;
  std::uint64_t blitz_deep_accuracy = 50;
  bool blitz_signature_cache = true;
};

bool convert_all(const std::vector<PyObject*>& s, RunArguments& a) {
  const auto& k = kSpec;
  return convert_arg(k, s, kRanks, convert_ranks, a.ranks) &&
         convert_arg(k, s, kGmtPath, convert_str, a.gmt_path) &&
         convert_arg(k, s, kNPermSimple, convert_u64, a.n_perm_simple) &&
         convert_optional_arg(k, s, kSeed, convert_u64, a.seed) &&
         convert_arg(k, s, kNproc, convert_u64, a.nproc) &&
         convert_optional_arg(k, s, kMinSize, convert_u64, a.min_size) &&
         convert_optional_arg(k, s, kMaxSize, convert_u64, a.max_size) &&
         convert_arg(k, s, kEps, convert_f64, a.eps) &&
         convert_arg(k, s, kScoreType, convert_lowered_str, a.score_type) &&
         convert_arg(k, s, kGseaParam, convert_f64, a.gsea_param) &&
         convert_arg(k, s, kMode, convert_lowered_str, a.mode) &&
         convert_optional_arg(k, s, kNperm, convert_u64, a.nperm) &&
         convert_arg(k, s, kSampleSize, convert_u64, a.sample_size) &&
         convert_arg(k, s, kGpu, convert_bool, a.gpu) &&
         convert_arg(k, s, kMethod, convert_lowered_str, a.method) &&
         convert_optional_arg(k, s, kDecorCache, convert_str, a.decor_cache) &&
         convert_optional_arg(k, s, kDecorExpression, convert_str, a.decor_expression) &&
         convert_optional_arg(k, s, kDecorPreset, convert_str, a.decor_preset) &&
         convert_optional_arg(k, s, kDecorStringency, convert_f64, a.decor_stringency) &&
         convert_optional_arg(k, s, kDecorWeightFormula, convert_str, a.decor_weight_formula) &&
         convert_optional_arg(k, s, kDecorAlpha, convert_f64, a.decor_alpha) &&
         convert_optional_arg(k, s, kDecorThreshold, convert_f64, a.decor_threshold) &&
         convert_optional_arg(k, s, kDecorGamma, convert_f64, a.decor_gamma) &&
         convert_optional_arg(k, s, kDecorPenaltyFloor, convert_f64, a.decor_penalty_floor) &&
         convert_arg(k, s, kDecorScaleEpsilon, convert_f64, a.decor_scale_epsilon) &&
         convert_arg(k, s, kDecorCacheMode, convert_str, a.decor_cache_mode) &&
         convert_arg(k, s, kDecorCorrelation, convert_str, a.decor_correlation) &&
         convert_arg(k, s, kDecorRedundancy, convert_str, a.decor_redundancy) &&
         convert_arg(k, s, kBlitzAnchors, convert_u64, a.blitz_anchors) &&
         convert_arg(k, s, kBlitzSymmetric, convert_bool, a.blitz_symmetric) &&
         convert_arg(k, s, kBlitzCenter, convert_bool, a.blitz_center) &&
         convert_arg(k, s, kBlitzAccuracy, convert_u64, a.blitz_accuracy) &&
         convert_arg(k, s, kBlitzDeepAccuracy, convert_u64, a.blitz_deep_accuracy) &&
         convert_arg(k, s, kBlitzSignatureCache, convert_bool, a.blitz_signature_cache);
}

PyObject* run_blitz_branch(const RunArguments& a, const quenfa::RankedList& ranked,
                           const quenfa::PathwayDb& pathways, quenfa::ScoreType score_type,
                           quenfa::Method method) {
  if (a.gpu) return raise(PyExc_ValueError, "gpu is not supported with mode='blitz'.");
  if (method == quenfa::Method::Decor) {
    return raise(PyExc_ValueError, "mode='blitz' supports only method='classic'.");
  }
  if (auto plan = quenfa::resolve_execution_plan(quenfa::InterfaceMode::Blitz, a.nperm.has_value());
      !plan) {
    return raise(PyExc_ValueError, plan.error());
  }
  if (score_type != quenfa::ScoreType::Std) {
    return raise(PyExc_ValueError, "mode='blitz' supports only scoreType='std'.");
  }
  // Written so that a NaN gseaParam passes, as the check it mirrors does.
  if (std::fabs(a.gsea_param - 1.0) > 2.220446049250313e-16) {
    return raise(PyExc_ValueError, "mode='blitz' supports only gseaParam=1.0.");
  }
  if (a.decor_cache || a.decor_expression) {
    return raise(PyExc_ValueError, "decor arguments require method='decor'.");
  }
  quenfa::blitz::BlitzOptions options;
  options.permutations = a.n_perm_simple;
  options.anchors = a.blitz_anchors;
  options.min_size = a.min_size.value_or(5);
  options.max_size = a.max_size.value_or(4000);
  options.processes = a.nproc == 0 ? 4 : a.nproc;
  options.seed = a.seed.value_or(0);
  options.accuracy = a.blitz_accuracy;
  options.deep_accuracy = a.blitz_deep_accuracy;
  options.symmetric = a.blitz_symmetric;
  options.center = a.blitz_center;
  options.signature_cache = a.blitz_signature_cache;
  auto records = quenfa::blitz::kelda_blitz_with_options(ranked, pathways, options);
  if (!records) return raise(PyExc_RuntimeError, records.error());
  return results_to_py(std::move(records).value());
}

// `text` lower-cased as Python's str.lower() does (full Unicode mapping), so
// that a choice's message quotes what the caller sees.
bool unicode_lower(const std::string& text, std::string& out) {
  PyObject* str = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  if (str == nullptr) return false;
  const bool ok = convert_lowered_str(str, out);
  Py_DECREF(str);
  return ok;
}

// True when `st` succeeded; otherwise sets ValueError with its message.
bool ok_or_value_error(const quenfa::Status& st) {
  if (!st) raise(PyExc_ValueError, st.error());
  return st.ok();
}

// Stores a parsed choice, or sets ValueError with the parser's message.
template <class T>
bool store_or_value_error(quenfa::Result<T> parsed, T& out) {
  if (!parsed) {
    raise(PyExc_ValueError, parsed.error());
    return false;
  }
  out = parsed.value();
  return true;
}

// The decor options from their defaults and the call's decor arguments, in
// the order tuning, overrides, paths, cache mode, correlation, redundancy.
// Empty with a ValueError set on the first failure.
std::optional<quenfa::decor::DecorOptions> decor_options_from(const RunArguments& a) {
  namespace decor = quenfa::decor;
  decor::DecorOptions o;
  std::string mode, correlation, redundancy;
  const bool ok =
      ok_or_value_error(decor::apply_decor_release_tuning(o, a.decor_preset, a.decor_stringency)) &&
      ok_or_value_error(decor::apply_decor_formula_overrides(
          o, a.decor_weight_formula, a.decor_alpha, a.decor_threshold, a.decor_gamma,
          a.decor_penalty_floor, a.decor_scale_epsilon)) &&
      unicode_lower(a.decor_cache_mode, mode) &&
      store_or_value_error(decor::parse_decor_cache_mode(mode), o.cache_mode) &&
      unicode_lower(a.decor_correlation, correlation) &&
      store_or_value_error(decor::parse_decor_correlation(correlation), o.correlation) &&
      unicode_lower(a.decor_redundancy, redundancy) &&
      store_or_value_error(decor::parse_decor_redundancy(redundancy), o.redundancy);
  if (!ok) return std::nullopt;
  o.cache_path = a.decor_cache;
  o.expression_path = a.decor_expression;
  return o;
}

PyObject* run_decor_branch(const RunArguments& a, const quenfa::RankedList& ranked,
                           const quenfa::PathwayDb& pathways, const std::string& gmt_sha256,
                           quenfa::ScoreType score_type, quenfa::InterfaceMode mode) {
  if (a.gpu) {
    return raise(PyExc_ValueError,
                 "decor supports CPU execution only; gpu is not supported with method='decor'.");
  }
  if (a.nperm && mode == quenfa::InterfaceMode::Multilevel) {
    return raise(PyExc_ValueError, "nperm is only valid with mode='kelda' or mode='simple'.");
  }
  if (!a.decor_cache) return raise(PyExc_ValueError, "method='decor' requires decor_cache.");
  const std::optional<quenfa::decor::DecorOptions> options = decor_options_from(a);
  if (!options) return nullptr;
  // Mode multilevel, or kelda without nperm, refines small P-values.
  const bool multilevel = mode == quenfa::InterfaceMode::Multilevel ||
                          (mode == quenfa::InterfaceMode::Kelda && !a.nperm);
  // The tail estimator indexes its population with 32-bit integers.
  if (multilevel && a.sample_size > 0xFFFFFFFFull) {
    return raise(PyExc_ValueError, "sampleSize must be at most 4294967295.");
  }
  auto cache = quenfa::decor::ensure_decor_cache_for_paths(pathways, gmt_sha256, *options);
  if (!cache) return raise(PyExc_RuntimeError, cache.error());

  quenfa::decor::DecorRunSettings settings;
  settings.eps = a.eps;
  settings.gsea_param = a.gsea_param;
  settings.nperm = multilevel ? a.n_perm_simple : a.nperm.value_or(a.n_perm_simple);
  settings.min_size = a.min_size.value_or(1);
  settings.max_size = a.max_size.value_or(ranked.size() == 0 ? 0 : ranked.size() - 1);
  settings.score_type = score_type;
  settings.sample_size = a.sample_size;
  auto records = multilevel ? quenfa::decor::kelda_decor_multilevel_with_options(
                                  ranked, pathways, cache.value(), *options, settings, a.seed)
                            : quenfa::decor::kelda_decor_simple_with_options(
                                  ranked, pathways, cache.value(), *options, settings, a.seed);
  if (!records) return raise(PyExc_RuntimeError, records.error());
  return results_to_py(std::move(records).value());
}

PyObject* run_classic_branch(const RunArguments& a, const quenfa::RankedList& ranked,
                             const quenfa::PathwayDb& pathways, quenfa::ScoreType score_type,
                             quenfa::InterfaceMode mode) {
  if (a.decor_cache || a.decor_expression) {
    return raise(PyExc_ValueError, "decor arguments require method='decor'.");
  }
  if (a.gpu) {
    return raise(PyExc_RuntimeError,
                 "gpu=True requires building quenfamod with the 'gpu' feature.");
  }
  auto plan = quenfa::resolve_execution_plan(mode, a.nperm.has_value());
  if (!plan) return raise(PyExc_ValueError, plan.error());
  const std::uint64_t min_size = a.min_size.value_or(1);
  const std::uint64_t max_size = a.max_size.value_or(ranked.size() == 0 ? 0 : ranked.size() - 1);

  // The multilevel estimator indexes its population with 32-bit integers.
  const bool multilevel = mode == quenfa::InterfaceMode::Multilevel ||
                          (mode == quenfa::InterfaceMode::Kelda && !a.nperm);
  if (multilevel && a.sample_size > 0xFFFFFFFFull) {
    return raise(PyExc_ValueError, "sampleSize must be at most 4294967295.");
  }
  std::vector<quenfa::EnrichmentResult> records;
  switch (mode) {
    case quenfa::InterfaceMode::Multilevel:  // a given nperm is ignored here
      records = quenfa::run_gsea_internal(ranked, pathways, a.n_perm_simple,
                                          quenfa::resolve_rng_seed(a.seed), a.eps, a.gsea_param,
                                          min_size, max_size, score_type, true, a.sample_size);
      break;
    case quenfa::InterfaceMode::Simple:
      records = quenfa::run_gsea_internal(ranked, pathways, a.nperm.value_or(a.n_perm_simple),
                                          quenfa::resolve_rng_seed(a.seed), a.eps, a.gsea_param,
                                          min_size, max_size, score_type, false, a.sample_size);
      break;
    default:
      records = quenfa::kelda_with_sample_size_and_kind(
          ranked, pathways, a.nperm, a.eps, a.gsea_param, a.n_perm_simple, a.seed, min_size,
          max_size, score_type, a.sample_size);
      break;
  }
  return results_to_py(std::move(records));
}

PyObject* run_gsea(RunArguments& a) {
  if (a.sample_size == 0) return raise(PyExc_ValueError, "sampleSize must be greater than 0.");
  if (a.nproc != 0) {
    if (auto pool = quenfa::runtime::request_worker_pool(a.nproc); !pool) {
      return raise(PyExc_RuntimeError, pool.error());
    }
  }
  if (a.min_size && *a.min_size == 0) {
    return raise(PyExc_ValueError, "minSize must be greater than 0.");
  }
  if (a.blitz_anchors == 0 || a.blitz_accuracy == 0 || a.blitz_deep_accuracy == 0) {
    return raise(PyExc_ValueError,
                 "blitz_anchors, blitz_accuracy, and blitz_deep_accuracy must be greater than 0.");
  }
  const quenfa::RankedList ranked =
      quenfa::RankedList::create(std::move(a.ranks.genes), std::move(a.ranks.scores));
  // The decor method digests the GMT bytes as they are parsed, so the file is
  // read once (a pipe can be read only once).
  const auto requested_method = quenfa::parse_method(a.method);
  const bool decor = requested_method && requested_method.value() == quenfa::Method::Decor;
  quenfa::decor::Sha256 gmt_digest;
  auto pathways =
      decor ? quenfa::read_gmt(a.gmt_path, [&](std::string_view b) { gmt_digest.update(b); })
            : quenfa::read_gmt(a.gmt_path);
  if (!pathways) return raise(PyExc_OSError, pathways.error());

  auto score_type = quenfa::parse_score_type(a.score_type);
  if (!score_type) return raise(PyExc_ValueError, score_type.error());
  auto method = quenfa::parse_method(a.method);
  if (!method) return raise(PyExc_ValueError, method.error());
  auto mode = quenfa::parse_interface_mode(a.mode);
  if (!mode) return raise(PyExc_ValueError, mode.error());

  if (mode.value() == quenfa::InterfaceMode::Blitz) {
    return run_blitz_branch(a, ranked, pathways.value(), score_type.value(), method.value());
  }
  if (method.value() == quenfa::Method::Decor) {
    return run_decor_branch(a, ranked, pathways.value(), gmt_digest.hex(), score_type.value(),
                            mode.value());
  }
  return run_classic_branch(a, ranked, pathways.value(), score_type.value(), mode.value());
}

PyObject* run_gsea_py(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded_call([&]() -> PyObject* {
    std::vector<PyObject*> slots;
    if (!bind_arguments(kSpec, args, nargs, kwnames, slots)) return nullptr;
    RunArguments arguments;
    if (!convert_all(slots, arguments)) return nullptr;
    return run_gsea(arguments);
  });
}

}  // namespace

PyMethodDef run_gsea_def = {
    "run_gsea_py", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(run_gsea_py)),
    METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
    "run_gsea_py(ranks, gmt_path, nPermSimple=1000, seed=None, nproc=0, minSize=None, "
    "maxSize=None, eps=1e-50, scoreType=\"std\", gseaParam=1.0, mode=\"kelda\", nperm=None, "
    "sampleSize=101, gpu=False, method=\"classic\", decor_cache=None, decor_expression=None, "
    "decor_preset=None, decor_stringency=None, decor_weight_formula=None, decor_alpha=None, "
    "decor_threshold=None, decor_gamma=None, decor_penalty_floor=None, "
    "decor_scale_epsilon=1e-12, decor_cache_mode=\"auto\", decor_correlation=\"pearson\", "
    "decor_redundancy=\"positive_mean\", blitz_anchors=40, blitz_symmetric=False, "
    "blitz_center=True, blitz_accuracy=40, blitz_deep_accuracy=50, "
    "blitz_signature_cache=True)\n--\n\n"};

}  // namespace quenfamod

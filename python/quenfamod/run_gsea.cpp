// run_gsea_py: converts the arguments into an analysis request, runs it with
// the GIL released and converts the records to dicts.
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "arguments.hpp"
#include "boundary.hpp"
#include "entry_points.hpp"
#include "quenfa/api/analysis.hpp"
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

constexpr ParameterSignature kSignature{"run_gsea_py", kNames, 2};

// Converts every given argument into `ranks`, `gmt_path` and `a`; the
// defaults of AnalysisRequest stay for the others. The decor choices are
// lower-cased as Python's str.lower() does, so that a refusal quotes what the
// caller sees.
bool convert_all(const std::vector<PyObject*>& s, RankInput& ranks, std::string& gmt_path,
                 quenfa::api::AnalysisRequest& a) {
  const auto& k = kSignature;
  return convert_arg(k, s, kRanks, convert_ranks, ranks) &&
         convert_arg(k, s, kGmtPath, convert_path, gmt_path) &&
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
         convert_optional_arg(k, s, kDecorCache, convert_path, a.decor_cache) &&
         convert_optional_arg(k, s, kDecorExpression, convert_path, a.decor_expression) &&
         convert_optional_arg(k, s, kDecorPreset, convert_str, a.decor_preset) &&
         convert_optional_arg(k, s, kDecorStringency, convert_f64, a.decor_stringency) &&
         convert_optional_arg(k, s, kDecorWeightFormula, convert_str, a.decor_weight_formula) &&
         convert_optional_arg(k, s, kDecorAlpha, convert_f64, a.decor_alpha) &&
         convert_optional_arg(k, s, kDecorThreshold, convert_f64, a.decor_threshold) &&
         convert_optional_arg(k, s, kDecorGamma, convert_f64, a.decor_gamma) &&
         convert_optional_arg(k, s, kDecorPenaltyFloor, convert_f64, a.decor_penalty_floor) &&
         convert_arg(k, s, kDecorScaleEpsilon, convert_f64, a.decor_scale_epsilon) &&
         convert_arg(k, s, kDecorCacheMode, convert_lowered_str, a.decor_cache_mode) &&
         convert_arg(k, s, kDecorCorrelation, convert_lowered_str, a.decor_correlation) &&
         convert_arg(k, s, kDecorRedundancy, convert_lowered_str, a.decor_redundancy) &&
         convert_arg(k, s, kBlitzAnchors, convert_u64, a.blitz_anchors) &&
         convert_arg(k, s, kBlitzSymmetric, convert_bool, a.blitz_symmetric) &&
         convert_arg(k, s, kBlitzCenter, convert_bool, a.blitz_center) &&
         convert_arg(k, s, kBlitzAccuracy, convert_u64, a.blitz_accuracy) &&
         convert_arg(k, s, kBlitzDeepAccuracy, convert_u64, a.blitz_deep_accuracy) &&
         convert_arg(k, s, kBlitzSignatureCache, convert_bool, a.blitz_signature_cache);
}

PyObject* run_gsea_py(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded_call([&]() -> PyObject* {
    std::vector<PyObject*> slots;
    if (!bind_arguments(kSignature, args, nargs, kwnames, slots)) return nullptr;
    RankInput ranks;
    std::string gmt_path;
    quenfa::api::AnalysisRequest request;
    if (!convert_all(slots, ranks, gmt_path, request)) return nullptr;
    request.genes = std::move(ranks.genes);
    request.scores = std::move(ranks.scores);
    request.pathways = std::move(gmt_path);
    auto records = without_gil([&] { return quenfa::api::run_analysis(std::move(request)); });
    if (!records) return raise_error(records.failure());
    return results_to_py(std::move(records).value());
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
    "blitz_signature_cache=True)\n--\n\n"
    "Gene set enrichment analysis of a ranked gene list.\n\n"
    "ranks maps each gene to its score (higher ranks first; equal scores keep\n"
    "the dict's order). gmt_path names a GMT file of gene sets; sets with\n"
    "minSize..maxSize genes in the list are scored.\n\n"
    "mode chooses the engine:\n"
    "  'kelda' (default)  nPermSimple permutations, then the multilevel\n"
    "                     estimator for P-values they cannot resolve (down to\n"
    "                     eps); with nperm given, nperm permutations only\n"
    "  'multilevel'       as 'kelda' without nperm\n"
    "  'simple'           permutations only (nperm, else nPermSimple)\n"
    "  'blitz'            gamma approximation of the null distribution\n"
    "method='decor' discounts genes redundant within their set, with\n"
    "redundancies from decor_cache (built from decor_expression if needed).\n\n"
    "seed fixes every random draw (None: a fresh seed); results do not depend\n"
    "on nproc except in mode 'blitz'. The analysis runs with the GIL released.\n\n"
    "Returns one dict per gene set with the keys pathway, size, es, nes, pval,\n"
    "padj, log2err and leading_edge, sorted by pathway name ('blitz': by\n"
    "P-value). Raises ValueError for refused arguments, OSError when the GMT\n"
    "file cannot be read, RuntimeError when an engine fails.\n"};

}  // namespace quenfamod

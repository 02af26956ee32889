#include "analysis_arguments.hpp"

namespace quenfamod {

namespace {

constexpr std::array<const char*, kAnalysisOptionCount> kOptionNames = {
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
    "progress",
};

// None or a callable, kept borrowed.
bool convert_progress(PyObject* obj, PyObject*& out) {
  if (obj == Py_None) {
    out = nullptr;
    return true;
  }
  if (!PyCallable_Check(obj)) {
    PyErr_Format(PyExc_TypeError, "expected a callable or None, got %.200s", Py_TYPE(obj)->tp_name);
    return false;
  }
  out = obj;
  return true;
}

}  // namespace

AnalysisParameterNames analysis_parameter_names(const char* ranks, const char* gene_sets) {
  AnalysisParameterNames names{ranks, gene_sets};
  for (std::size_t i = 0; i < kAnalysisOptionCount; ++i) {
    names[kLeadingParameters + i] = kOptionNames[i];
  }
  return names;
}

bool convert_analysis_options(const ParameterSignature& k, const std::vector<PyObject*>& slots,
                              quenfa::api::AnalysisRequest& a, PyObject*& progress) {
  // The options' slots follow the leading parameters.
  const std::vector<PyObject*> s(slots.begin() + kLeadingParameters, slots.end());
  const ParameterSignature options{k.name, k.parameters.subspan(kLeadingParameters), 0};
  progress = nullptr;
  return convert_arg(options, s, kNPermSimple, convert_u64, a.n_perm_simple) &&
         convert_optional_arg(options, s, kSeed, convert_u64, a.seed) &&
         convert_arg(options, s, kNproc, convert_u64, a.nproc) &&
         convert_optional_arg(options, s, kMinSize, convert_u64, a.min_size) &&
         convert_optional_arg(options, s, kMaxSize, convert_u64, a.max_size) &&
         convert_arg(options, s, kEps, convert_f64, a.eps) &&
         convert_arg(options, s, kScoreType, convert_lowered_str, a.score_type) &&
         convert_arg(options, s, kGseaParam, convert_f64, a.gsea_param) &&
         convert_arg(options, s, kMode, convert_lowered_str, a.mode) &&
         convert_optional_arg(options, s, kNperm, convert_u64, a.nperm) &&
         convert_arg(options, s, kSampleSize, convert_u64, a.sample_size) &&
         convert_arg(options, s, kGpu, convert_bool, a.gpu) &&
         convert_arg(options, s, kMethod, convert_lowered_str, a.method) &&
         convert_optional_arg(options, s, kDecorCache, convert_path, a.decor_cache) &&
         convert_optional_arg(options, s, kDecorExpression, convert_path, a.decor_expression) &&
         convert_optional_arg(options, s, kDecorPreset, convert_str, a.decor_preset) &&
         convert_optional_arg(options, s, kDecorStringency, convert_f64, a.decor_stringency) &&
         convert_optional_arg(options, s, kDecorWeightFormula, convert_str,
                              a.decor_weight_formula) &&
         convert_optional_arg(options, s, kDecorAlpha, convert_f64, a.decor_alpha) &&
         convert_optional_arg(options, s, kDecorThreshold, convert_f64, a.decor_threshold) &&
         convert_optional_arg(options, s, kDecorGamma, convert_f64, a.decor_gamma) &&
         convert_optional_arg(options, s, kDecorPenaltyFloor, convert_f64, a.decor_penalty_floor) &&
         convert_arg(options, s, kDecorScaleEpsilon, convert_f64, a.decor_scale_epsilon) &&
         convert_arg(options, s, kDecorCacheMode, convert_lowered_str, a.decor_cache_mode) &&
         convert_arg(options, s, kDecorCorrelation, convert_lowered_str, a.decor_correlation) &&
         convert_arg(options, s, kDecorRedundancy, convert_lowered_str, a.decor_redundancy) &&
         convert_arg(options, s, kBlitzAnchors, convert_u64, a.blitz_anchors) &&
         convert_arg(options, s, kBlitzSymmetric, convert_bool, a.blitz_symmetric) &&
         convert_arg(options, s, kBlitzCenter, convert_bool, a.blitz_center) &&
         convert_arg(options, s, kBlitzAccuracy, convert_u64, a.blitz_accuracy) &&
         convert_arg(options, s, kBlitzDeepAccuracy, convert_u64, a.blitz_deep_accuracy) &&
         convert_arg(options, s, kBlitzSignatureCache, convert_bool, a.blitz_signature_cache) &&
         convert_arg(options, s, kProgress, convert_progress, progress);
}

}  // namespace quenfamod

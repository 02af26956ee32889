// The parameters run_gsea_py and run_gsea_sets_py share: everything after
// their two leading ones (the ranks and the gene sets), converted once here.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <utility>
#include <vector>

#include "arguments.hpp"
#include "boundary.hpp"
#include "monitored_run.hpp"
#include "quenfa/api/analysis.hpp"

namespace quenfamod {

enum AnalysisOption : std::size_t {
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
  kProgress,
  kAnalysisOptionCount
};

inline constexpr std::size_t kLeadingParameters = 2;
using AnalysisParameterNames = std::array<const char*, kLeadingParameters + kAnalysisOptionCount>;

// The two leading parameter names followed by the shared ones.
AnalysisParameterNames analysis_parameter_names(const char* ranks, const char* gene_sets);

// The shared part of the text signature, for the docstrings.
#define QUENFAMOD_ANALYSIS_OPTIONS_SIGNATURE                                                   \
  "nPermSimple=1000, seed=None, nproc=0, minSize=None, maxSize=None, eps=1e-50, "              \
  "scoreType=\"std\", gseaParam=1.0, mode=\"kelda\", nperm=None, sampleSize=101, gpu=False, "  \
  "method=\"classic\", decor_cache=None, decor_expression=None, decor_preset=None, "           \
  "decor_stringency=None, decor_weight_formula=None, decor_alpha=None, decor_threshold=None, " \
  "decor_gamma=None, decor_penalty_floor=None, decor_scale_epsilon=1e-12, "                    \
  "decor_cache_mode=\"auto\", decor_correlation=\"pearson\", "                                 \
  "decor_redundancy=\"positive_mean\", blitz_anchors=40, blitz_symmetric=False, "              \
  "blitz_center=True, blitz_accuracy=40, blitz_deep_accuracy=50, blitz_signature_cache=True, " \
  "progress=None"

// What the docstrings say about progress.
#define QUENFAMOD_PROGRESS_DOC                                                                \
  "progress, when given, is called as progress(stage, done, total) from the calling thread "  \
  "about ten times a second while the engine runs, with done <= total counting the units of " \
  "the current stage: \"permutations\", \"multilevel\" (size groups), \"calibration\" "       \
  "(anchor sizes), \"scoring\" (gene sets), \"decor cache\" (gene sets), \"decor null\" "     \
  "(size groups) or \"decor refinement\" (gene sets). An exception it raises stops the run "  \
  "and propagates. Results are the same with or without it; Ctrl-C stops any run with "       \
  "KeyboardInterrupt.\n"

// Converts the given shared arguments into `request` (the defaults of
// AnalysisRequest stay for the others) and sets `progress` to the progress
// callable (borrowed) or nullptr. The choice names are lower-cased as
// Python's str.lower() does, so that a refusal quotes what the caller sees.
bool convert_analysis_options(const ParameterSignature& signature,
                              const std::vector<PyObject*>& slots,
                              quenfa::api::AnalysisRequest& request, PyObject*& progress);

// An analysis entry point whose second parameter, named by the entry, holds
// the gene sets as `convert_sets` converts them into a `Sets`.
template <class Sets, auto convert_sets>
struct AnalysisEntry {
  static inline AnalysisParameterNames names{};
  static inline ParameterSignature signature{};

  // Binds the arguments, converts the ranks, the gene sets and the shared
  // options, and runs the analysis monitored.
  static PyObject* call(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded_call([&]() -> PyObject* {
      std::vector<PyObject*> slots;
      if (!bind_arguments(signature, args, nargs, kwnames, slots)) return nullptr;
      RankInput ranks;
      Sets sets;
      quenfa::api::AnalysisRequest request;
      PyObject* progress = nullptr;
      if (!convert_arg(signature, slots, 0, convert_ranks, ranks) ||
          !convert_arg(signature, slots, 1, convert_sets, sets) ||
          !convert_analysis_options(signature, slots, request, progress)) {
        return nullptr;
      }
      request.genes = std::move(ranks.genes);
      request.scores = std::move(ranks.scores);
      request.pathways = std::move(sets);
      return run_monitored_analysis(std::move(request), progress);
    });
  }
};

// The method definition of the entry `name`, its second parameter named
// `gene_sets`.
template <class Sets, auto convert_sets>
PyMethodDef analysis_method_def(const char* name, const char* gene_sets, const char* doc) {
  using Entry = AnalysisEntry<Sets, convert_sets>;
  Entry::names = analysis_parameter_names("ranks", gene_sets);
  Entry::signature = ParameterSignature{name, Entry::names, kLeadingParameters};
  return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Entry::call)),
          METH_FASTCALL | METH_KEYWORDS | METH_STATIC, doc};
}

}  // namespace quenfamod

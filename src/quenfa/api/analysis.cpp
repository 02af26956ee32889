#include "quenfa/api/analysis.hpp"

#include <cmath>
#include <utility>

#include "quenfa/api/execution_plan.hpp"
#include "quenfa/blitz/engine.hpp"
#include "quenfa/classic/driver.hpp"
#include "quenfa/core/gmt_reader.hpp"
#include "quenfa/core/gmt_text.hpp"
#include "quenfa/core/ranked_list.hpp"
#include "quenfa/core/score_type.hpp"
#include "quenfa/decor/decor_options.hpp"
#include "quenfa/decor/decor_run.hpp"
#include "quenfa/decor/ensure_cache.hpp"
#include "quenfa/decor/file_digest.hpp"
#include "quenfa/random/r_streams.hpp"
#include "quenfa/runtime/worker_pool.hpp"

namespace quenfa::api {

namespace {

using Records = std::vector<EnrichmentResult>;

Error refused(std::string message) {
  return Error{ErrorKind::InvalidArgument, std::move(message), ErrorOrigin::Input};
}

// A parsed choice or option step, its failure turned into a refusal.
Status refused_unless(const Status& status) {
  if (!status) return refused(status.error());
  return ok_status();
}

template <class T>
Status store_choice(Result<T> parsed, T& out) {
  if (!parsed) return refused(parsed.error());
  out = parsed.value();
  return ok_status();
}

// What one analysis runs, decided once from the mode and the arguments.
struct Decision {
  ScoreType score_type = ScoreType::Std;
  Method method = Method::Classic;
  InterfaceMode mode = InterfaceMode::Kelda;
  // Mode multilevel, or kelda without nperm: permutations followed by the
  // multilevel estimator for the P-values they cannot resolve.
  bool multilevel = false;
  // nPermSimple before refinement, otherwise nperm when given.
  std::uint64_t permutations = 0;
};

// The estimators index their population with 32-bit integers.
Status check_multilevel_sample_size(const AnalysisRequest& r, const Decision& d) {
  if (d.multilevel && r.sample_size > 0xFFFFFFFFull) {
    return refused("sampleSize must be at most 4294967295.");
  }
  return ok_status();
}

bool decor_arguments_given(const AnalysisRequest& r) {
  return r.decor_cache.has_value() || r.decor_expression.has_value();
}

Result<Records> run_blitz(const AnalysisRequest& r, const RankedList& ranked,
                          const PathwayDb& pathways, const Decision& d) {
  if (r.gpu) return refused("gpu is not supported with mode='blitz'.");
  if (d.method == Method::Decor) return refused("mode='blitz' supports only method='classic'.");
  if (auto plan = resolve_execution_plan(d.mode, r.nperm.has_value()); !plan) {
    return refused(plan.error());
  }
  if (d.score_type != ScoreType::Std) return refused("mode='blitz' supports only scoreType='std'.");
  if (std::fabs(r.gsea_param - 1.0) > 2.220446049250313e-16) {
    return refused("mode='blitz' supports only gseaParam=1.0.");
  }
  if (decor_arguments_given(r)) return refused("decor arguments require method='decor'.");
  blitz::BlitzOptions options;
  options.permutations = r.n_perm_simple;
  options.anchors = r.blitz_anchors;
  options.min_size = r.min_size.value_or(5);
  options.max_size = r.max_size.value_or(4000);
  options.processes = r.nproc == 0 ? 4 : r.nproc;
  options.seed = r.seed.value_or(0);
  options.accuracy = r.blitz_accuracy;
  options.deep_accuracy = r.blitz_deep_accuracy;
  options.symmetric = r.blitz_symmetric;
  options.center = r.blitz_center;
  options.signature_cache = r.blitz_signature_cache;
  return blitz::run(ranked, pathways, options);
}

// The decor options from their defaults and the request, in the order
// tuning, overrides, paths, cache mode, correlation, redundancy.
Result<decor::DecorOptions> decor_options_from(const AnalysisRequest& r) {
  decor::DecorOptions o;
  Status st =
      refused_unless(decor::apply_decor_release_tuning(o, r.decor_preset, r.decor_stringency));
  if (st) {
    st = refused_unless(decor::apply_decor_formula_overrides(
        o, r.decor_weight_formula, r.decor_alpha, r.decor_threshold, r.decor_gamma,
        r.decor_penalty_floor, r.decor_scale_epsilon));
  }
  if (st) st = store_choice(decor::parse_decor_cache_mode(r.decor_cache_mode), o.cache_mode);
  if (st) st = store_choice(decor::parse_decor_correlation(r.decor_correlation), o.correlation);
  if (st) st = store_choice(decor::parse_decor_redundancy(r.decor_redundancy), o.redundancy);
  if (!st) return st.failure();
  o.cache_path = r.decor_cache;
  o.expression_path = r.decor_expression;
  return o;
}

Result<Records> run_decor(const AnalysisRequest& r, const RankedList& ranked,
                          const PathwayDb& pathways, const std::string& gmt_sha256,
                          const Decision& d) {
  if (r.gpu) {
    return refused("decor supports CPU execution only; gpu is not supported with method='decor'.");
  }
  if (r.nperm && d.mode == InterfaceMode::Multilevel) {
    return refused("nperm is only valid with mode='kelda' or mode='simple'.");
  }
  if (!r.decor_cache) return refused("method='decor' requires decor_cache.");
  Result<decor::DecorOptions> options = decor_options_from(r);
  if (!options) return options.failure();
  if (Status st = check_multilevel_sample_size(r, d); !st) return st.failure();
  // The cache records the digest of the GMT file it was built for; sets in
  // memory stand for the GMT text they write as.
  const std::string digest = std::holds_alternative<std::string>(r.pathways)
                                 ? gmt_sha256
                                 : decor::text_sha256(gmt_text(pathways));
  Result<decor::DecorCache> cache = decor::ensure_decor_cache(pathways, digest, options.value());
  if (!cache) return cache.failure();

  decor::DecorRunSettings settings;
  settings.eps = r.eps;
  settings.gsea_param = r.gsea_param;
  settings.nperm = d.permutations;
  settings.min_size = r.min_size.value_or(1);
  settings.max_size = r.max_size.value_or(ranked.size() == 0 ? 0 : ranked.size() - 1);
  settings.score_type = d.score_type;
  settings.sample_size = r.sample_size;
  return decor::run(ranked, pathways, cache.value(), options.value(), settings,
                    random::resolve_rng_seed(r.seed), d.multilevel);
}

Result<Records> run_classic(const AnalysisRequest& r, const RankedList& ranked,
                            const PathwayDb& pathways, const Decision& d) {
  if (decor_arguments_given(r)) return refused("decor arguments require method='decor'.");
  if (r.gpu) {
    return Error{ErrorKind::Unsupported,
                 "gpu=True requires building quenfamod with the 'gpu' feature.",
                 ErrorOrigin::Input};
  }
  if (Status st = check_multilevel_sample_size(r, d); !st) return st.failure();
  // Mode multilevel ignores a given nperm.
  return classic::run(ranked, pathways, d.permutations, random::resolve_rng_seed(r.seed), r.eps,
                      r.gsea_param, r.min_size.value_or(1),
                      r.max_size.value_or(ranked.size() == 0 ? 0 : ranked.size() - 1), d.score_type,
                      d.multilevel, r.sample_size);
}

// The request's gene sets. Sets in memory are taken as their GMT text would
// read back: an empty description is none. With `digest` given, the SHA-256
// of a GMT file's bytes as they are parsed goes there, so the file is read
// once (a pipe can be read only once).
Result<PathwayDb> pathways_of(PathwaySource& source, decor::Sha256* digest) {
  if (PathwayDb* in_memory = std::get_if<PathwayDb>(&source)) {
    if (Status st = check_gmt_writable(*in_memory); !st) return refused(st.error());
    for (Pathway& p : *in_memory) {
      if (p.description && p.description->empty()) p.description.reset();
    }
    return std::move(*in_memory);
  }
  const std::string& path = std::get<std::string>(source);
  Result<PathwayDb> read = digest != nullptr
                               ? read_gmt(path, [&](std::string_view b) { digest->update(b); })
                               : read_gmt(path);
  if (!read) return Error{ErrorKind::Io, read.error(), ErrorOrigin::Input};
  return read;
}

Result<Records> analyse(AnalysisRequest r) {
  if (r.sample_size == 0) return refused("sampleSize must be greater than 0.");
  if (r.nproc != 0) {
    if (Status pool = runtime::request_worker_pool(r.nproc); !pool) return pool.failure();
  }
  if (r.min_size && *r.min_size == 0) return refused("minSize must be greater than 0.");
  if (r.blitz_anchors == 0 || r.blitz_accuracy == 0 || r.blitz_deep_accuracy == 0) {
    return refused(
        "blitz_anchors, blitz_accuracy, and blitz_deep_accuracy must be greater than 0.");
  }
  // Written so that a NaN fails too.
  if (!(r.eps >= 0.0 && r.eps < 1.0)) {
    return refused("eps must be greater than or equal to 0 and less than 1.");
  }
  Result<RankedList> checked = RankedList::create_checked(std::move(r.genes), std::move(r.scores));
  if (!checked) return checked.failure();
  const RankedList& ranked = checked.value();
  if (Status st = ranked.check_weight_exponent(r.gsea_param); !st) return st.failure();
  // Only the decor method keys its cache by the GMT file's digest.
  const Result<Method> requested_method = parse_method(r.method);
  const bool decor = requested_method && requested_method.value() == Method::Decor;
  decor::Sha256 gmt_digest;
  Result<PathwayDb> pathways = pathways_of(r.pathways, decor ? &gmt_digest : nullptr);
  if (!pathways) return pathways.failure();

  Decision d;
  Status st = store_choice(parse_score_type(r.score_type), d.score_type);
  if (st) st = store_choice(parse_method(r.method), d.method);
  if (st) st = store_choice(parse_interface_mode(r.mode), d.mode);
  if (!st) return st.failure();
  d.multilevel =
      d.mode == InterfaceMode::Multilevel || (d.mode == InterfaceMode::Kelda && !r.nperm);
  d.permutations = d.multilevel ? r.n_perm_simple : r.nperm.value_or(r.n_perm_simple);

  if (d.mode == InterfaceMode::Blitz) return run_blitz(r, ranked, pathways.value(), d);
  if (d.method == Method::Decor) {
    return run_decor(r, ranked, pathways.value(), gmt_digest.hex(), d);
  }
  return run_classic(r, ranked, pathways.value(), d);
}

}  // namespace

Result<Records> run_analysis(AnalysisRequest request, runtime::RunMonitor& monitor) {
  const runtime::RunScope scope(monitor);
  try {
    return analyse(std::move(request));
  } catch (const runtime::RunInterrupted&) {
    return Error{ErrorKind::Interrupted, "analysis interrupted", ErrorOrigin::Engine};
  }
}

Result<Records> run_analysis(AnalysisRequest request) {
  runtime::RunMonitor unobserved;
  return run_analysis(std::move(request), unobserved);
}

}  // namespace quenfa::api

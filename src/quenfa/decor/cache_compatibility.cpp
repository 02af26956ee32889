#include "quenfa/decor/cache_file.hpp"

namespace quenfa::decor {

std::vector<std::string> validate_decor_cache(const DecorCacheMetadata& metadata,
                                              const DecorCacheCompatibility& required) {
  std::vector<std::string> reasons;
  const auto differs = [&](std::string_view what, std::string_view cache,
                           std::string_view requested) {
    if (cache != requested) {
      reasons.push_back(std::string(what) + " differs: cache=" + std::string(cache) +
                        ", requested=" + std::string(requested));
    }
  };
  const auto boolean = [](bool b) { return b ? "true" : "false"; };
  if (metadata.format != "quenfa-decor-cache") {
    reasons.push_back("cache format differs: cache=" + metadata.format);
  }
  if (metadata.version != "1") {
    reasons.push_back("cache format version is unsupported: cache=" + metadata.version);
  }
  if (metadata.gmt_sha256 != required.gmt_sha256) reasons.emplace_back("GMT SHA256 differs");
  if (required.expression_sha256 && metadata.expression_sha256 != *required.expression_sha256) {
    reasons.emplace_back("expression SHA256 differs");
  }
  differs("correlation method", to_text(metadata.correlation), to_text(required.correlation));
  differs("redundancy mode", to_text(metadata.redundancy), to_text(required.redundancy));
  differs("expression gene axis", metadata.expression_gene_axis, required.expression_gene_axis);
  differs("expression header setting", boolean(metadata.expression_has_header),
          boolean(required.expression_has_header));
  differs("gene ID mode", metadata.gene_id_mode, required.gene_id_mode);
  return reasons;
}

std::string incompatible_message(const std::vector<std::string>& reasons, bool reuse_requested) {
  std::string message = "Decor cache is incompatible:";
  for (const std::string& reason : reasons) message += "\n  - " + reason;
  message += reuse_requested
                 ? "\nUse --decor-cache-mode rebuild with --decor-expression to rebuild it."
                 : "\nProvide --decor-expression or use --decor-cache-mode rebuild to rebuild it.";
  return message;
}

}  // namespace quenfa::decor

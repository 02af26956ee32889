#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>

#include "quenfa/core/line_reader.hpp"
#include "quenfa/core/text.hpp"
#include "quenfa/decor/cache_file.hpp"
#include "quenfa/decor/number_text.hpp"

namespace quenfa::decor {

namespace {

using Metadata = std::map<std::string, std::string, std::less<>>;

Result<std::string> required_meta(const Metadata& meta, std::string_view key) {
  const auto it = meta.find(key);
  if (it == meta.end()) return Error{"decor cache is missing metadata key: " + std::string(key)};
  return it->second;
}

Result<DecorCorrelation> parse_correlation(const std::string& value) {
  if (value == "pearson") return DecorCorrelation::Pearson;
  if (value == "spearman") return DecorCorrelation::Spearman;
  return Error{"unsupported decor correlation in cache metadata: " + value};
}

Result<DecorRedundancy> parse_redundancy(const std::string& value) {
  if (value == "positive_mean") return DecorRedundancy::PositiveMean;
  if (value == "abs_mean") return DecorRedundancy::AbsMean;
  return Error{"unsupported decor redundancy in cache metadata: " + value};
}

Result<bool> parse_boolean(const std::string& value) {
  if (value == "true") return true;
  if (value == "false") return false;
  return Error{"provided string was not `true` or `false`"};
}

// Decimal unsigned integer, an optional "+" first.
Result<std::uint64_t> parse_count(const std::string& value) {
  if (value.empty()) return Error{"cannot parse integer from empty string"};
  std::string_view digits = value;
  if (digits[0] == '+' && digits.size() > 1) digits.remove_prefix(1);
  for (char c : digits) {
    if (c < '0' || c > '9') return Error{"invalid digit found in string"};
  }
  std::uint64_t n = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (ec != std::errc()) return Error{"number too large to fit in target type"};
  return n;
}

// Fetches key number `index` and parses it into `out`.
template <class T, class Parse>
Status fetch(const Metadata& meta, std::size_t index, Parse parse, T& out) {
  auto value = required_meta(meta, kCacheMetadataKeys[index]);
  if (!value) return Error{value.error()};
  auto parsed = parse(value.value());
  if (!parsed) return Error{parsed.error()};
  out = std::move(parsed.value());
  return ok_status();
}

Result<DecorCacheMetadata> metadata_from(const Metadata& meta) {
  const auto text = [](const std::string& v) { return Result<std::string>(v); };
  DecorCacheMetadata m;
  // Braced initialisers run in order: the first failure in table order wins.
  const Status steps[] = {
      fetch(meta, 0, text, m.format),
      fetch(meta, 1, text, m.version),
      fetch(meta, 2, text, m.created_by),
      fetch(meta, 3, text, m.gmt_sha256),
      fetch(meta, 4, text, m.expression_sha256),
      fetch(meta, 5, parse_correlation, m.correlation),
      fetch(meta, 6, parse_redundancy, m.redundancy),
      fetch(meta, 7, text, m.expression_gene_axis),
      fetch(meta, 8, parse_boolean, m.expression_has_header),
      fetch(meta, 9, text, m.gene_id_mode),
      fetch(meta, 10, parse_count, m.n_pathways),
      fetch(meta, 11, parse_count, m.n_rows),
  };
  for (const Status& st : steps) {
    if (!st) return Error{st.error()};
  }
  return m;
}

std::size_t split_tabs(std::string_view line, std::array<std::string_view, 3>& fields) {
  std::size_t count = 0, start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    if (count < fields.size()) {
      fields[count] = line.substr(start, tab == std::string_view::npos ? tab : tab - start);
    }
    ++count;
    if (tab == std::string_view::npos) return count;
    start = tab + 1;
  }
}

}  // namespace

Result<DecorCache> read_decor_cache(const std::string& path) {
  Metadata meta;
  DecorCache cache;
  bool header_seen = false;
  std::uint64_t rows = 0;
  const Status read =
      for_each_nonblank_line(path, [&](const std::string& line, std::size_t n) -> Status {
        if (line[0] == '#') {
          const std::string_view rest = trim_unicode_whitespace(std::string_view(line).substr(1));
          const std::size_t eq = rest.find('=');
          if (eq != std::string_view::npos) {
            meta[std::string(trim_unicode_whitespace(rest.substr(0, eq)))] =
                std::string(trim_unicode_whitespace(rest.substr(eq + 1)));
          }
          return ok_status();
        }
        if (!header_seen) {
          if (line != kCacheHeader) {
            return Error{"decor cache is missing required pathway/gene/redundancy header"};
          }
          header_seen = true;
          return ok_status();
        }
        std::array<std::string_view, 3> fields;
        if (split_tabs(line, fields) != 3) {
          return Error{"Malformed decor cache line " + std::to_string(n) +
                       ": expected pathway, gene, redundancy"};
        }
        const std::optional<float> score = parse_float32(fields[2]);
        if (!score) {
          return Error{"Failed to parse redundancy '" + std::string(fields[2]) +
                       "' on cache line " + std::to_string(n)};
        }
        if (!std::isfinite(*score)) {
          return Error{"decor cache line " + std::to_string(n) + " has non-finite redundancy"};
        }
        DecorPathwayScores& entry = cache.pathways[std::string(fields[0])];
        entry.genes.emplace_back(fields[1]);
        entry.redundancy.push_back(std::clamp(*score, 0.0f, 1.0f));
        ++rows;
        return ok_status();
      });
  if (!read) return read.failure();
  if (!header_seen) return Error{"decor cache is missing tabular header"};
  auto metadata = metadata_from(meta);
  if (!metadata) return Error{metadata.error()};
  cache.metadata = std::move(metadata.value());
  if (cache.metadata.n_rows != rows) {
    return Error{"decor cache row count metadata mismatch: metadata=" +
                 std::to_string(cache.metadata.n_rows) + ", observed=" + std::to_string(rows)};
  }
  return cache;
}

}  // namespace quenfa::decor

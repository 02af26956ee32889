#include "quenfa/decor/expression_matrix.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <unordered_set>

#include "quenfa/core/line_reader.hpp"
#include "quenfa/core/text.hpp"
#include "quenfa/decor/number_text.hpp"

namespace quenfa::decor {

namespace {

std::vector<std::string_view> split_tabs(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

Status add_gene_row(std::string_view line, std::size_t n, std::optional<std::size_t>& samples,
                    std::unordered_set<std::string>& seen, ExpressionMatrix& matrix) {
  const std::vector<std::string_view> fields = split_tabs(line);
  const std::string at = std::to_string(n);
  if (fields.size() < 3) {
    return Error{"Malformed expression matrix line " + at +
                 ": expected gene and at least two sample columns"};
  }
  if (!samples) samples = fields.size() - 1;
  if (fields.size() - 1 != *samples) {
    return Error{"Malformed expression matrix line " + at + ": expected " +
                 std::to_string(*samples) + " sample columns, found " +
                 std::to_string(fields.size() - 1)};
  }
  if (fields[0].empty())
    return Error{"expression matrix line " + at + " has an empty gene identifier"};
  if (!seen.emplace(fields[0]).second) {
    return Error{"expression matrix has duplicate gene identifier: " + std::string(fields[0])};
  }
  const std::size_t first = matrix.values.size();
  for (std::size_t i = 1; i < fields.size(); ++i) {
    const std::optional<double> value = parse_float64(fields[i]);
    if (!value) {
      return Error{"Failed to parse expression value '" + std::string(fields[i]) + "' on line " +
                   at};
    }
    matrix.values.push_back(*value);
  }
  for (std::size_t i = first; i < matrix.values.size(); ++i) {
    if (!std::isfinite(matrix.values[i])) {
      return Error{"expression matrix line " + at + " contains a non-finite value"};
    }
  }
  matrix.genes.emplace_back(fields[0]);
  return ok_status();
}

}  // namespace

Result<ExpressionMatrix> read_expression_matrix(const std::string& path) {
  ExpressionMatrix matrix;
  std::optional<std::size_t> samples;  // fixed by the header, else the first row
  std::unordered_set<std::string> seen;
  const Status read =
      for_each_nonblank_line(path, [&](const std::string& line, std::size_t n) -> Status {
        if (n == 1) {
          const auto columns =
              static_cast<std::size_t>(std::count(line.begin(), line.end(), '\t')) + 1;
          if (columns < 3) {
            return Error{
                "expression matrix header must contain gene and at least two sample columns"};
          }
          samples = columns - 1;
          return ok_status();
        }
        return add_gene_row(line, n, samples, seen, matrix);
      });
  if (!read) return read.failure();
  if (matrix.genes.empty()) return Error{"expression matrix contains no gene rows"};
  matrix.samples = *samples;
  return matrix;
}

void rank_profile(std::span<double> x) {
  std::vector<std::size_t> order(x.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return x[a] < x[b]; });
  std::vector<double> ranks(x.size());
  for (std::size_t first = 0; first < order.size();) {
    std::size_t last = first + 1;  // [first, last) holds equal values
    while (last < order.size() && x[order[last]] == x[order[first]]) ++last;
    // Mean of the ranks first + 1 .. last: exact in double (a half-integer).
    const double rank = static_cast<double>(first + 1 + last) / 2;
    for (std::size_t k = first; k < last; ++k) ranks[order[k]] = rank;
    first = last;
  }
  std::copy(ranks.begin(), ranks.end(), x.begin());
}

void standardise_profile(std::span<double> x) {
  // A profile far from unit magnitude is first scaled by a power of two, which
  // is exact, so that its sums neither overflow (1e308 values) nor underflow
  // (1e-200 values). Scaling commutes with every step below, so profiles that
  // need none keep every bit.
  double largest = 0;
  for (double v : x) largest = std::max(largest, std::fabs(v));
  if (largest > 0x1p400 || (largest > 0 && largest < 0x1p-400)) {
    const int shift = -std::ilogb(largest);
    for (double& v : x) v = std::ldexp(v, shift);
  }
  double sum = -0.0;
  for (double v : x) sum += v;
  const double mean = sum / static_cast<double>(x.size());
  double ss = -0.0;
  for (double& v : x) {
    v -= mean;
    ss += v * v;
  }
  if (ss <= 0) {
    std::fill(x.begin(), x.end(), 0.0);
    return;
  }
  const double norm = std::sqrt(ss);
  for (double& v : x) v /= norm;
}

double standardised_dot(std::span<const double> a, std::span<const double> b) {
  double sum = -0.0;
  for (std::size_t k = 0; k < a.size(); ++k) sum += a[k] * b[k];
  return sum;
}

StandardisedProfiles::StandardisedProfiles(ExpressionMatrix raw, DecorCorrelation correlation)
    : matrix(std::move(raw)) {
  rows.reserve(matrix.genes.size());
  for (std::size_t i = 0; i < matrix.genes.size(); ++i) {
    rows.emplace(matrix.genes[i], i);
    if (correlation == DecorCorrelation::Spearman) rank_profile(matrix.row(i));
    standardise_profile(matrix.row(i));
  }
}

}  // namespace quenfa::decor

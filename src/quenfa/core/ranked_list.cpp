#include "quenfa/core/ranked_list.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "quenfa/core/internal_fault.hpp"

namespace quenfa {

namespace {

// i precedes j when its score is larger; otherwise (equal, or either NaN) the
// smaller index precedes. With NaN present this is not a strict weak order, so
// a hand-written merge sort is used: its result is deterministic and it never
// relies on the order being consistent.
bool rank_before(const std::vector<double>& s, std::size_t i, std::size_t j) {
  if (s[i] > s[j]) return true;
  if (s[j] > s[i]) return false;
  return i < j;
}

void merge_sort_ranks(const std::vector<double>& s, std::vector<std::size_t>& idx) {
  const std::size_t n = idx.size();
  std::vector<std::size_t> buf(n);
  for (std::size_t width = 1; width < n; width *= 2) {
    for (std::size_t lo = 0; lo < n; lo += 2 * width) {
      const std::size_t mid = std::min(lo + width, n);
      const std::size_t hi = std::min(lo + 2 * width, n);
      std::size_t a = lo, b = mid, out = lo;
      while (a < mid && b < hi) buf[out++] = rank_before(s, idx[b], idx[a]) ? idx[b++] : idx[a++];
      while (a < mid) buf[out++] = idx[a++];
      while (b < hi) buf[out++] = idx[b++];
    }
    idx.swap(buf);
  }
}

}  // namespace

RankedList RankedList::create(std::vector<std::string> genes, std::vector<double> scores) {
  QUENFA_ENSURE(genes.size() == scores.size(), "ranked list: genes and scores differ in length");
  const std::size_t n = genes.size();
  std::vector<std::size_t> idx(n);
  for (std::size_t i = 0; i < n; ++i) idx[i] = i;
  merge_sort_ranks(scores, idx);

  RankedList out;
  out.genes.reserve(n);
  out.scores.reserve(n);
  for (std::size_t i : idx) {
    out.genes.push_back(std::move(genes[i]));
    out.scores.push_back(scores[i]);
  }
  return out;
}

Result<RankedList> RankedList::create_checked(std::vector<std::string> genes,
                                              std::vector<double> scores) {
  for (std::size_t i = 0; i < scores.size() && i < genes.size(); ++i) {
    if (std::isfinite(scores[i])) continue;
    const char* text = std::isnan(scores[i]) ? "nan" : scores[i] > 0 ? "inf" : "-inf";
    return Error{ErrorKind::InvalidArgument,
                 std::string("Invalid score ") + text + " for gene '" + genes[i] +
                     "'. Every score in ranks must be finite.",
                 ErrorOrigin::Input};
  }
  return create(std::move(genes), std::move(scores));
}

Status RankedList::check_weight_exponent(double p) const {
  const auto refuse = [](std::string message) {
    return Error{ErrorKind::InvalidArgument, std::move(message), ErrorOrigin::Input};
  };
  if (!std::isfinite(p) || p < 0.0) {
    return refuse("gseaParam must be finite and greater than or equal to 0.");
  }
  bool any_weight = false;
  bool any_score = false;
  for (std::size_t i = 0; i < scores.size(); ++i) {
    const double w = std::pow(std::fabs(scores[i]), p);
    if (std::isinf(w) && std::isfinite(scores[i])) {
      return refuse("gseaParam is too large: |score|^gseaParam is infinite for gene '" + genes[i] +
                    "'.");
    }
    any_weight = any_weight || w > 0.0;
    any_score = any_score || scores[i] != 0.0;
  }
  if (any_score && p > 0.0 && !any_weight) {
    return refuse("gseaParam is too large: |score|^gseaParam is 0 for every gene.");
  }
  return ok_status();
}

double rescaled_weight_total(std::vector<double>& weights) {
  double total = 0.0;
  for (double w : weights) total += w;
  const bool overflows = std::isinf(total);
  const bool scale_overflows = total > 0.0 && std::isinf(1073741824.0 / total);
  if (!overflows && !scale_overflows) return total;
  // The largest weight lands in [2^958, 2^959), so that fewer than 2^64
  // weights sum below the largest double and 2^30 / sum stays below 1; or in
  // [2^-100, 2^-99), so that 2^30 / sum stays finite and above 2^52.
  const double largest = *std::max_element(weights.begin(), weights.end());
  if (!std::isfinite(largest)) return total;  // an infinite weight has no finite ratio
  const int shift = (overflows ? 958 : -100) - std::ilogb(largest);
  total = 0.0;
  for (double& w : weights) {
    w = std::ldexp(w, shift);
    total += w;
  }
  return total;
}

std::int64_t round_to_i64_saturating(double x) {
  if (std::isnan(x)) return 0;
  const double r = std::nearbyint(x);  // default rounding mode: half to even
  if (r >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
  if (r < -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(r);
}

PreparedStats RankedList::prepare(const std::vector<double>& scores, double p) {
  PreparedStats out;
  const std::size_t n = scores.size();
  out.abs_weights.resize(n);
  for (std::size_t i = 0; i < n; ++i) out.abs_weights[i] = std::pow(std::fabs(scores[i]), p);
  const double total = rescaled_weight_total(out.abs_weights);
  double scale = 1073741824.0 / total;
  if (scale >= 1.0) scale = std::floor(scale);

  out.int_weights.resize(n);
  std::uint64_t sum = 0;  // wrapping addition
  for (std::size_t i = 0; i < n; ++i) {
    out.int_weights[i] = round_to_i64_saturating(out.abs_weights[i] * scale);
    sum += static_cast<std::uint64_t>(out.int_weights[i]);
  }
  out.int_total = static_cast<std::int64_t>(sum);
  return out;
}

}  // namespace quenfa

// Prefix enrichment scores of one drawn sample. For the set S_m of the first m
// drawn positions, the forward deviation is the largest running sum just
// after a member, max over members of H/NS - M/(n - m) (H: hit weight up to
// and including the member, M: non-members ranked before it); the reversed
// deviation is the same on the list read from the bottom.
//
// The sample's positions are the slots 0..k-1 in ascending order (mirrored in
// the reversed direction), plus a sentinel slot. Inserting the members in draw
// order turns each prefix into one update of two running sums; the value of a
// slot is H x coef - M with coef = (n - m)/NS, and entry m - 1 is
// max(0, largest slot value)/(n - m), in that operation order.
#include "quenfa/sprintel_cumulative_stat.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "quenfa/core/internal_fault.hpp"

namespace quenfa::sprintel {

namespace {

// Hit weights of two hull points closer than this are not used to drop a
// point: the cross product says nothing reliable about so narrow a chord.
constexpr double kMinChordWidth = 1e-13;

// Genes of weight 0 (or NaN) still move the running sum by this share of the
// smallest non-zero weight (at most 1e-5) of the sample.
constexpr double kWeightFloorCap = 1e-5;
constexpr double kWeightFloorScale = 0x1p-10;

std::size_t block_shift(std::size_t k) {
  std::size_t shift = 1;  // L = 2^shift >= 2
  while ((std::size_t{1} << (2 * shift)) <= k) ++shift;
  return shift;
}

}  // namespace

void order_into(std::span<const std::uint64_t> sample, std::vector<std::uint64_t>& keys,
                std::vector<std::size_t>& out) {
  // Value in the high half, input index in the low half: sorting the keys
  // sorts by value and keeps equal values in input order.
  QUENFA_ENSURE(sample.size() <= 0xFFFFFFFFu, "order: sample too long");
  keys.resize(sample.size());
  for (std::size_t i = 0; i < sample.size(); ++i) {
    QUENFA_ENSURE(sample[i] <= 0xFFFFFFFFu, "order: values must be below 2^32");
    keys[i] = (sample[i] << 32) | i;
  }
  std::sort(keys.begin(), keys.end());
  out.resize(sample.size());
  for (std::size_t i = 0; i < keys.size(); ++i) out[i] = keys[i] & 0xFFFFFFFFu;
}

void BlockedRunningSums::reset(std::span<const std::int64_t> initial_misses, std::int64_t n) {
  const std::size_t k = initial_misses.size();
  slots_ = k + 1;
  shift_ = block_shift(k);
  blocks_ = (slots_ + (std::size_t{1} << shift_) - 1) >> shift_;
  miss_elem_.assign(initial_misses.begin(), initial_misses.end());
  miss_elem_.push_back(n);
  hit_elem_.assign(slots_, 0.0);
  miss_block_.assign(blocks_, 0);
  hit_block_.assign(blocks_, 0.0);
  hull_.resize(blocks_ << shift_);
  best_.resize(blocks_);
  for (std::size_t b = 0; b < blocks_; ++b) rebuild_hull(b);
}

void BlockedRunningSums::insert(std::size_t t, double weight) {
  const std::size_t block = t >> shift_;
  const std::size_t end = std::min((block + 1) << shift_, slots_);
  for (std::size_t u = t; u < end; ++u) {
    miss_elem_[u] -= 1;
    hit_elem_[u] += weight;
  }
  for (std::size_t b = block + 1; b < blocks_; ++b) {
    miss_block_[b] -= 1;
    hit_block_[b] += weight;
  }
  rebuild_hull(block);
}

void BlockedRunningSums::rebuild_hull(std::size_t block) {
  // Monotone chain over the block's slots, whose hit weights never decrease
  // and whose misses grow by at least one from slot to slot when the hit
  // weight stays the same. The value hits x coef - misses (coef > 0) is
  // largest on the upper hull in the plane (hits, -misses).
  const std::size_t lo = block << shift_;
  const std::size_t hi = std::min(lo + (std::size_t{1} << shift_), slots_);
  std::uint32_t* hull = &hull_[lo];
  std::size_t len = 0;
  for (std::size_t u = lo; u < hi; ++u) {
    const double x = hit_elem_[u];
    const std::int64_t y = miss_elem_[u];
    if (len > 0 && x == hit_elem_[hull[len - 1]]) continue;  // same hits, more misses
    while (len >= 2) {
      const std::uint32_t o = hull[len - 2], a = hull[len - 1];
      const double dxa = hit_elem_[a] - hit_elem_[o];
      const double dya = static_cast<double>(miss_elem_[a] - miss_elem_[o]);
      const double dxp = x - hit_elem_[o];
      const double dyp = static_cast<double>(y - miss_elem_[o]);
      // a has more misses than the chord from o to the new point at its hit weight.
      const bool below_chord = dya * dxp - dxa * dyp > 0.0;
      if (!below_chord || x - hit_elem_[a] < kMinChordWidth) break;
      --len;
    }
    hull[len++] = static_cast<std::uint32_t>(u);
  }
  best_[block] = static_cast<std::uint32_t>(len - 1);
}

double BlockedRunningSums::max_value(double coef) {
  double best = -std::numeric_limits<double>::infinity();
  for (std::size_t b = 0; b < blocks_; ++b) {
    const double hit_offset = hit_block_[b];
    const std::int64_t miss_offset = miss_block_[b];
    const std::uint32_t* hull = &hull_[b << shift_];
    auto value = [&](std::uint32_t u) {
      return (hit_elem_[u] + hit_offset) * coef - static_cast<double>(miss_elem_[u] + miss_offset);
    };
    std::uint32_t i = best_[b];
    double v = value(hull[i]);
    while (i > 0) {
      const double left = value(hull[i - 1]);
      if (!(left >= v)) break;
      v = left;
      --i;
    }
    best_[b] = i;
    if (v > best) best = v;
  }
  return best;
}

void CumulativeStat::prepare_weights(std::span<const double> w,
                                     std::span<const std::uint64_t> sample, double p) {
  double m0 = kWeightFloorCap;
  for (std::uint64_t pos : sample) {
    QUENFA_ENSURE(pos >= 1 && pos <= w.size(), "gsea stats: sample position out of range");
    const double a = std::fabs(w[pos - 1]);
    if (a != 0.0 && !std::isnan(a)) m0 = std::min(m0, a);
  }
  const double floor = m0 * kWeightFloorScale;
  const bool powered = !(std::fabs(p - 1.0) < 1e-15);
  weight_.resize(sample.size());
  for (std::size_t j = 0; j < sample.size(); ++j) {
    const double a = std::fabs(w[sample[j] - 1]);
    const double q = (std::isnan(a) || a < floor) ? floor : a;
    weight_[j] = powered ? std::pow(q, p) : q;
  }
}

void CumulativeStat::run_direction(std::size_t n, std::span<const std::uint64_t> sample,
                                   std::span<const std::size_t> sample_order,
                                   StatDirection direction, std::vector<double>& out) {
  const std::size_t k = sample.size();
  const bool forward = direction == StatDirection::Forward;
  const auto ni = static_cast<std::int64_t>(n);
  initial_misses_.resize(k);
  for (std::size_t t = 0; t < k; ++t) {
    // One-based position from the top, or from the bottom on mirrored slots.
    initial_misses_[t] = forward
                             ? static_cast<std::int64_t>(sample[sample_order[t]])
                             : ni + 1 - static_cast<std::int64_t>(sample[sample_order[k - 1 - t]]);
  }
  sums_.reset(initial_misses_, ni);
  out.resize(k);
  double ns = 0.0;
  for (std::size_t j = 0; j < k; ++j) {
    sums_.insert(forward ? slot_[j] : k - 1 - slot_[j], weight_[j]);
    ns += weight_[j];  // NS in draw order
    const double misses = static_cast<double>(n - (j + 1));
    const double coef = misses / ns;
    out[j] = std::max(0.0, sums_.max_value(coef)) / misses;
  }
}

void CumulativeStat::one_direction(std::span<const double> w, std::span<const std::uint64_t> sample,
                                   std::span<const std::size_t> sample_order, double p,
                                   StatDirection direction, std::vector<double>& out) {
  QUENFA_ENSURE(sample_order.size() == sample.size(), "gsea stats: order and sample differ");
  prepare_weights(w, sample, p);
  slot_.resize(sample.size());
  for (std::size_t i = 0; i < sample_order.size(); ++i) slot_[sample_order[i]] = i;
  run_direction(w.size(), sample, sample_order, direction, out);
}

void CumulativeStat::compute(std::span<const double> w, std::span<const std::uint64_t> sample,
                             ScoreType score_type, double p, std::vector<double>& out) {
  order_into(sample, order_keys_, order_);
  switch (score_type) {
    case ScoreType::Pos:
      one_direction(w, sample, order_, p, StatDirection::Forward, out);
      return;
    case ScoreType::Neg:
      one_direction(w, sample, order_, p, StatDirection::Reversed, out);
      for (double& v : out) v = -v;
      return;
    case ScoreType::Std:
      break;
  }
  one_direction(w, sample, order_, p, StatDirection::Forward, out);
  run_direction(w.size(), sample, order_, StatDirection::Reversed, reversed_);
  for (std::size_t j = 0; j < out.size(); ++j) {
    const double a = out[j], b = reversed_[j];
    out[j] = a == b ? 0.0 : (a < b ? -b : a);  // a NaN keeps a
  }
}

}  // namespace quenfa::sprintel

namespace quenfa {

std::vector<std::size_t> order(std::span<const std::uint64_t> sample) {
  std::vector<std::uint64_t> keys;
  std::vector<std::size_t> out;
  sprintel::order_into(sample, keys, out);
  return out;
}

std::vector<double> gsea_stats1_f64(std::span<const double> w,
                                    std::span<const std::uint64_t> sample,
                                    std::span<const std::size_t> sample_order, double p,
                                    StatDirection direction) {
  std::vector<double> out;
  sprintel::CumulativeStat().one_direction(w, sample, sample_order, p, direction, out);
  return out;
}

std::vector<double> calc_gsea_stat_cumulative_f64(std::span<const double> w,
                                                  std::span<const std::uint64_t> sample,
                                                  ScoreType score_type, double p) {
  std::vector<double> out;
  sprintel::CumulativeStat().compute(w, sample, score_type, p, out);
  return out;
}

}  // namespace quenfa

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
#include "quenfa/classic/cumulative_prefix_scores.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "quenfa/core/internal_fault.hpp"

namespace quenfa::classic {

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
  // Value in the high half, input index in the low half, so equal values stay
  // in input order. Keys are built in index order, so a stable sort by the
  // value alone suffices: a byte-wise radix sort over the value's bytes.
  QUENFA_ENSURE(sample.size() <= 0xFFFFFFFFu, "order: sample too long");
  const std::size_t len = sample.size();
  keys.resize(2 * len);
  std::uint64_t largest = 0;
  for (std::size_t i = 0; i < len; ++i) {
    QUENFA_ENSURE(sample[i] <= 0xFFFFFFFFu, "order: values must be below 2^32");
    keys[i] = (sample[i] << 32) | i;
    largest = std::max(largest, sample[i]);
  }
  std::uint64_t* from = keys.data();
  std::uint64_t* to = keys.data() + len;
  for (unsigned shift = 32; shift < 64 && (largest >> (shift - 32)) != 0; shift += 8) {
    std::size_t start[257] = {};
    for (std::size_t i = 0; i < len; ++i) ++start[((from[i] >> shift) & 0xFFu) + 1];
    for (std::size_t d = 1; d < 257; ++d) start[d] += start[d - 1];
    for (std::size_t i = 0; i < len; ++i) to[start[(from[i] >> shift) & 0xFFu]++] = from[i];
    std::swap(from, to);
  }
  out.resize(len);
  for (std::size_t i = 0; i < len; ++i) out[i] = from[i] & 0xFFFFFFFFu;
}

void BlockedRunningSums::reset(std::span<const std::int64_t> initial_misses, std::int64_t n,
                               bool every_slot_on_chain) {
  const std::size_t k = initial_misses.size();
  slots_ = k + 1;
  shift_ = block_shift(k);
  blocks_ = (slots_ + (std::size_t{1} << shift_) - 1) >> shift_;
  miss_elem_.resize(slots_);
  for (std::size_t t = 0; t < k; ++t) miss_elem_[t] = static_cast<double>(initial_misses[t]);
  miss_elem_[k] = static_cast<double>(n);
  hit_elem_.assign(slots_, 0.0);
  miss_block_.assign(blocks_, 0.0);
  hit_block_.assign(blocks_, 0.0);
  on_chain_.assign((slots_ + 63) / 64, every_slot_on_chain ? ~std::uint64_t{0} : 0);
  for (std::size_t b = 0; b < blocks_; ++b) mark_on_chain(b << shift_);
  prev_.resize(slots_);
  top_.resize(slots_);
  best_.resize(blocks_);
  best_hit_.resize(blocks_);
  best_miss_.resize(blocks_);
  left_hit_.resize(blocks_);
  left_miss_.resize(blocks_);
  best_value_.resize(blocks_);
  left_value_.resize(blocks_);
  for (std::size_t b = 0; b < blocks_; ++b) extend_hull(b << shift_);
}

void BlockedRunningSums::insert(std::size_t t, double weight) {
  const std::size_t block = t >> shift_;
  const std::size_t end = std::min((block + 1) << shift_, slots_);
  double* miss = miss_elem_.data();
  double* hit = hit_elem_.data();
  for (std::size_t u = t; u < end; ++u) {
    miss[u] -= 1.0;
    hit[u] += weight;
  }
  double* miss_block = miss_block_.data();
  double* hit_block = hit_block_.data();
  for (std::size_t b = block + 1; b < blocks_; ++b) {
    miss_block[b] -= 1.0;
    hit_block[b] += weight;
  }
  mark_on_chain(t);
  extend_hull(t);
}

void BlockedRunningSums::mark_on_chain(std::size_t u) {
  on_chain_[u >> 6] |= std::uint64_t{1} << (u & 63);
}

std::size_t BlockedRunningSums::last_on_chain_before(std::size_t u) const {
  // The block's first slot is always on the chain, so the search stops in it.
  std::size_t w = (u - 1) >> 6;
  std::uint64_t bits = on_chain_[w] & (~std::uint64_t{0} >> (63 - ((u - 1) & 63)));
  while (bits == 0) bits = on_chain_[--w];
  return (w << 6) + 63 - static_cast<std::size_t>(std::countl_zero(bits));
}

void BlockedRunningSums::extend_hull(std::size_t from) {
  // Monotone chain over the block's slots, whose hit weights never decrease
  // and whose misses grow by at least one from slot to slot when the hit
  // weight stays the same. The value hits x coef - misses (coef > 0) is
  // largest on the upper hull in the plane (hits, -misses). Slots before
  // `from` are unchanged, and so is the stack the chain had after them.
  //
  // A slot without a member has the hit weight of the slot before it (the
  // same sums in the same order), so the chain would skip it: only the
  // block's first slot and the members are visited.
  const std::size_t block = from >> shift_;
  const std::size_t lo = block << shift_;
  const std::size_t hi = std::min(lo + (std::size_t{1} << shift_), slots_);
  const double* hit = hit_elem_.data();
  const double* miss = miss_elem_.data();
  std::uint32_t* prev = prev_.data();
  std::uint32_t* top_after = top_.data();
  std::uint32_t top = from == lo ? kNone : top_after[last_on_chain_before(from)];
  // The top's coordinates stay in registers; popping makes o the top.
  double top_x = top == kNone ? 0.0 : hit[top];
  double top_y = top == kNone ? 0.0 : miss[top];
  auto visit = [&](std::size_t u) {
    const double x = hit[u];
    const double y = miss[u];
    if (top != kNone && x == top_x) {  // same hits, more misses
      top_after[u] = top;
      return;
    }
    while (top != kNone && prev[top] != kNone) {
      const std::uint32_t o = prev[top];
      const double xo = hit[o], yo = miss[o];
      const double dxa = top_x - xo;
      const double dya = top_y - yo;
      const double dxp = x - xo;
      const double dyp = y - yo;
      // The top has more misses than the chord from o to the new point at its hit weight.
      const bool below_chord = dya * dxp - dxa * dyp > 0.0;
      if (!below_chord || x - top_x < kMinChordWidth) break;
      top = o;
      top_x = xo;
      top_y = yo;
    }
    prev[u] = top;
    top = static_cast<std::uint32_t>(u);
    top_x = x;
    top_y = y;
    top_after[u] = top;
  };
  for (std::size_t w = from >> 6, first = from; first < hi; ++w, first = w << 6) {
    std::uint64_t bits = on_chain_[w] & (~std::uint64_t{0} << (first & 63));
    const std::size_t word_end = std::min((w + 1) << 6, hi);
    if (word_end < (w + 1) << 6) bits &= (std::uint64_t{1} << (word_end & 63)) - 1;
    for (; bits != 0; bits &= bits - 1)
      visit((w << 6) + static_cast<std::size_t>(std::countr_zero(bits)));
  }
  set_best(block, top);
}

void BlockedRunningSums::set_best(std::size_t block, std::uint32_t u) {
  best_[block] = u;
  best_hit_[block] = hit_elem_[u];
  best_miss_[block] = miss_elem_[u];
  const std::uint32_t left = prev_[u];
  left_hit_[block] = left == kNone ? 0.0 : hit_elem_[left];
  left_miss_[block] = left == kNone ? std::numeric_limits<double>::infinity() : miss_elem_[left];
}

double BlockedRunningSums::max_value(double coef) {
  // Every block's best point and its left neighbour in one pass; a block
  // walks on only when the neighbour is not worse, which is rare.
  const double* hit_block = hit_block_.data();
  const double* miss_block = miss_block_.data();
  {
    const double* __restrict best_hit = best_hit_.data();
    const double* __restrict best_miss = best_miss_.data();
    const double* __restrict left_hit = left_hit_.data();
    const double* __restrict left_miss = left_miss_.data();
    double* __restrict best_value = best_value_.data();
    double* __restrict left_value = left_value_.data();
    for (std::size_t b = 0; b < blocks_; ++b) {
      best_value[b] = (best_hit[b] + hit_block[b]) * coef - (best_miss[b] + miss_block[b]);
      left_value[b] = (left_hit[b] + hit_block[b]) * coef - (left_miss[b] + miss_block[b]);
    }
  }
  double best = -std::numeric_limits<double>::infinity();
  for (std::size_t b = 0; b < blocks_; ++b) {
    double v = best_value_[b];
    if (left_value_[b] >= v && prev_[best_[b]] != kNone) {
      const double hit_offset = hit_block[b];
      const double miss_offset = miss_block[b];
      std::uint32_t i = prev_[best_[b]];
      v = left_value_[b];
      for (std::uint32_t left = prev_[i]; left != kNone; left = prev_[i]) {
        const double value =
            (hit_elem_[left] + hit_offset) * coef - (miss_elem_[left] + miss_offset);
        if (!(value >= v)) break;
        v = value;
        i = left;
      }
      set_best(b, i);
    }
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
  // A NaN hit weight compares unequal to itself: then every slot is visited.
  const bool any_nan =
      std::any_of(weight_.begin(), weight_.end(), [](double q) { return std::isnan(q); });
  sums_.reset(initial_misses_, ni, any_nan);
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

}  // namespace quenfa::classic

namespace quenfa::classic {

std::vector<std::size_t> order(std::span<const std::uint64_t> sample) {
  std::vector<std::uint64_t> keys;
  std::vector<std::size_t> out;
  order_into(sample, keys, out);
  return out;
}

std::vector<double> gsea_stats1_f64(std::span<const double> w,
                                    std::span<const std::uint64_t> sample,
                                    std::span<const std::size_t> sample_order, double p,
                                    StatDirection direction) {
  std::vector<double> out;
  CumulativeStat().one_direction(w, sample, sample_order, p, direction, out);
  return out;
}

std::vector<double> cumulative_prefix_scores_f64(std::span<const double> w,
                                                 std::span<const std::uint64_t> sample,
                                                 ScoreType score_type, double p) {
  std::vector<double> out;
  CumulativeStat().compute(w, sample, score_type, p, out);
  return out;
}

}  // namespace quenfa::classic

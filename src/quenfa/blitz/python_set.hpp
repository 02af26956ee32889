// Insert-only hash sets that iterate their keys in the slot order CPython's
// set would have under PYTHONHASHSEED=0: the same table sizes, probe sequence
// and resize points. The blitz engine sums and reports genes in this order, so
// the order is part of its results.
//
// Two rules are our own: a probe that passes a linear run of ten occupied
// slots continues from the run's last slot (CPython continues from its first),
// and keys are hashed as described in python_string_hash.hpp (strings) or as
// themselves (integers; CPython reduces integers of 2**61 - 1 and more).
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quenfa/blitz/python_string_hash.hpp"

namespace quenfa::blitz {

// Slot layout, hash and key equality of each key kind.
struct StringSetKeys {
  using Key = std::string;
  using KeyView = std::string_view;
  struct Slot {
    std::uint64_t hash = 0;
    std::string key;
    bool occupied = false;
  };
  static std::uint64_t hash(KeyView key) { return python_string_hash(key); }
  static std::uint64_t stored_hash(const Slot& s) { return s.hash; }
  static bool matches(const Slot& s, std::uint64_t hash, KeyView key) {
    return s.hash == hash && s.key == key;
  }
  static void store(Slot& s, std::uint64_t hash, Key&& key) {
    s.hash = hash;
    s.key = std::move(key);
    s.occupied = true;
  }
  static const std::string& view(const Slot& s) { return s.key; }
};

struct IntSetKeys {
  using Key = std::uint64_t;
  using KeyView = std::uint64_t;
  struct Slot {
    std::uint64_t key = 0;
    bool occupied = false;
  };
  static std::uint64_t hash(KeyView key) { return key; }
  static std::uint64_t stored_hash(const Slot& s) { return s.key; }
  static bool matches(const Slot& s, std::uint64_t, KeyView key) { return s.key == key; }
  static void store(Slot& s, std::uint64_t, Key&& key) {
    s.key = key;
    s.occupied = true;
  }
  static std::uint64_t view(const Slot& s) { return s.key; }
};

template <class Keys>
class PythonSet {
  using Slot = typename Keys::Slot;

 public:
  using Key = typename Keys::Key;
  using KeyView = typename Keys::KeyView;

  static constexpr std::size_t kMinSlots = 8;
  static constexpr std::size_t kLinearProbes = 9;
  static constexpr unsigned kPerturbShift = 5;

  // Walks the occupied slots in slot order.
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Key;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = decltype(Keys::view(std::declval<const Slot&>()));

    Iterator() = default;
    Iterator(const Slot* at, const Slot* end) : at_(at), end_(end) { skip_empty(); }
    reference operator*() const { return Keys::view(*at_); }
    Iterator& operator++() {
      ++at_;
      skip_empty();
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    bool operator==(const Iterator& other) const { return at_ == other.at_; }

   private:
    void skip_empty() {
      while (at_ != end_ && !at_->occupied) ++at_;
    }
    const Slot* at_ = nullptr;
    const Slot* end_ = nullptr;
  };

  PythonSet() : slots_(kMinSlots) {}

  // Adds the key unless an equal key is present (then the new one is dropped).
  void insert(Key key) {
    if (insert_no_resize(Keys::hash(key), std::move(key)) && used_ * 5 >= mask() * 3) resize();
  }

  bool contains(KeyView key) const {
    return slots_[find_slot(slots_, Keys::hash(key), key)].occupied;
  }

  // Number of keys. Nothing is ever deleted, so it also counts occupied slots
  // (CPython's `fill`).
  std::size_t used() const { return used_; }
  std::size_t slot_count() const { return slots_.size(); }

  // Back to a new set's eight empty slots; allocations are kept for reuse.
  void clear() {
    slots_.assign(kMinSlots, Slot{});
    used_ = 0;
  }

  Iterator begin() const { return {slots_.data(), slots_.data() + slots_.size()}; }
  Iterator end() const {
    const Slot* past = slots_.data() + slots_.size();
    return {past, past};
  }

 private:
  std::size_t mask() const { return slots_.size() - 1; }

  // The slot that holds the key, or else the empty slot where the probe for
  // it stops. Slots i .. i + 9 are examined as one run when the table has
  // them (otherwise slot i alone); after a run of other keys the probe jumps
  // from the run's last slot, shifting more of the hash in each time.
  static std::size_t find_slot(const std::vector<Slot>& slots, std::uint64_t hash, KeyView key) {
    const std::size_t mask = slots.size() - 1;
    std::uint64_t perturb = hash;
    std::size_t i = hash & mask;
    for (;;) {
      const std::size_t last = i + kLinearProbes <= mask ? i + kLinearProbes : i;
      for (std::size_t j = i; j <= last; ++j) {
        if (!slots[j].occupied || Keys::matches(slots[j], hash, key)) return j;
      }
      perturb >>= kPerturbShift;
      i = (last * 5 + perturb + 1) & mask;
    }
  }

  // Stores the key in its slot unless present; true when a slot was filled.
  // The resize rule keeps at least two fifths of the table empty, so the
  // probe always ends.
  bool insert_no_resize(std::uint64_t hash, Key&& key) {
    Slot& slot = slots_[find_slot(slots_, hash, key)];
    if (slot.occupied) return false;
    Keys::store(slot, hash, std::move(key));
    ++used_;
    return true;
  }

  // Grows to the smallest power of two above 4 x used (2 x used past 50000
  // keys) and reinserts the old entries in their slot order.
  void resize() {
    const std::size_t min_used = used_ <= 50000 ? used_ * 4 : used_ * 2;
    std::size_t size = kMinSlots;
    while (size <= min_used) size <<= 1;
    scratch_.swap(slots_);
    slots_.assign(size, Slot{});
    for (Slot& old : scratch_) {
      if (!old.occupied) continue;
      Slot& slot = slots_[find_slot(slots_, Keys::stored_hash(old), Keys::view(old))];
      slot = std::move(old);
    }
    scratch_.clear();
  }

  std::vector<Slot> slots_;
  std::vector<Slot> scratch_;  // the old table while resizing; kept for its allocation
  std::size_t used_ = 0;
};

using PythonStringSet = PythonSet<StringSetKeys>;
using PythonIntSet = PythonSet<IntSetKeys>;

// The keys of `a` that `b` holds, gathered into a new PythonStringSet in `a`'s
// slot order and returned in that new set's slot order. `b` is any set of
// strings with `contains`; its own order is not observed.
template <class StringSet>
std::vector<std::string> intersection_new_set_order(const PythonStringSet& a, const StringSet& b) {
  PythonStringSet kept;
  for (const std::string& key : a) {
    if (b.contains(key)) kept.insert(key);
  }
  return {kept.begin(), kept.end()};
}

}  // namespace quenfa::blitz

// The Python-order sets must iterate exactly as CPython's set does under
// PYTHONHASHSEED=0, except for our two rules (probe restart from a run's last
// slot; UTF-8 hashing of every string, integers hashed as themselves). The
// vectors come from data/blitz/python_sets.py: committed ones, and a live run
// of the script with thousands of other cases.
#include <gtest/gtest.h>

#include "support/command_output.hpp"

#include <cstdint>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

#include "blitz/python_set_vectors.hpp"
#include "quenfa/blitz/python_set.hpp"
#include "quenfa/blitz/python_string_hash.hpp"

namespace quenfa::blitz {
namespace {

using testing::VectorLine;

template <class Set>
std::vector<typename Set::Key> slot_order(const Set& set) {
  return {set.begin(), set.end()};
}

std::vector<std::uint64_t> to_u64(const std::vector<std::string>& words) {
  std::vector<std::uint64_t> out;
  for (const std::string& word : words) out.push_back(std::stoull(word));
  return out;
}

template <class Key>
std::vector<Key> pick(const std::vector<Key>& keys, const std::vector<std::size_t>& indices) {
  std::vector<Key> out;
  for (std::size_t i : indices) out.push_back(keys.at(i));
  return out;
}

template <class Set>
Set set_of(const std::vector<typename Set::Key>& keys) {
  Set set;
  for (const auto& key : keys) set.insert(key);
  return set;
}

// Inserts the keys, compares the slot order, and checks membership both ways.
template <class Set, class Key = typename Set::Key>
void check_set(const std::vector<Key>& keys, const std::vector<Key>& expected, auto&& absent,
               const std::string& where) {
  const Set set = set_of<Set>(keys);
  ASSERT_EQ(slot_order(set), expected) << where;
  EXPECT_EQ(set.used(), expected.size()) << where;
  for (const Key& key : keys) ASSERT_TRUE(set.contains(key)) << where;
  const std::unordered_set<Key> present(keys.begin(), keys.end());
  for (const Key& key : keys) {
    const Key other = absent(key);
    if (!present.contains(other)) {
      ASSERT_FALSE(set.contains(other)) << where;
    }
  }
}

void check_line(const VectorLine& line) {
  const std::string& kind = line.head.at(0);
  const std::string where = line.label() + " (" + std::to_string(line.fields.at(0).size()) +
                            " keys, first " +
                            (line.fields[0].empty() ? std::string("-") : line.fields[0][0]) + ")";
  if (kind == "hash") {
    const std::string key = testing::decode_keys(line.fields.at(0)).at(0);
    EXPECT_EQ(python_string_hash(key), std::stoull(line.fields.at(1).at(0))) << where;
  } else if (kind == "set" && line.head.at(1) == "str") {
    const auto keys = testing::decode_keys(line.fields.at(0));
    check_set<PythonStringSet>(
        keys, pick(keys, testing::to_indices(line.fields.at(1))),
        [](const std::string& k) { return k + "+"; }, where);
  } else if (kind == "set") {
    const auto keys = to_u64(line.fields.at(0));
    check_set<PythonIntSet>(
        keys, pick(keys, testing::to_indices(line.fields.at(1))),
        [](std::uint64_t k) { return k + 1; }, where);
  } else if (kind == "inter") {
    const auto a = testing::decode_keys(line.fields.at(0));
    const auto b = set_of<PythonStringSet>(testing::decode_keys(line.fields.at(1)));
    EXPECT_EQ(intersection_new_set_order(set_of<PythonStringSet>(a), b),
              pick(a, testing::to_indices(line.fields.at(2))))
        << where;
  }
}

// Checks every set line; returns how many lines of each label were seen.
std::map<std::string, int> check_all(const std::vector<VectorLine>& lines) {
  std::map<std::string, int> seen;
  for (const VectorLine& line : lines) {
    if (line.head.at(0) == "clean") continue;  // blitz_signature_test.cpp
    check_line(line);
    ++seen[line.label()];
  }
  return seen;
}

// Both CPython-agreeing cases and cases of our own rules must be present.
void expect_coverage(const std::map<std::string, int>& seen) {
  for (const char* label : {"hash cpython", "hash rule", "set str cpython", "set str rule",
                            "set int cpython", "set int rule", "inter cpython"}) {
    EXPECT_GT(seen.count(label) ? seen.at(label) : 0, 0) << label;
  }
}

TEST(PythonSetGroundTruth, CommittedVectors) {
  expect_coverage(check_all(testing::read_committed_vectors()));
}

TEST(PythonSetGroundTruth, LiveCPython) {
  std::string why;
  const auto lines = testing::run_live_vectors("sets", why);
  if (!lines) QUENFA_REFERENCE_TOOL_MISSING(why);
  const auto seen = check_all(*lines);
  expect_coverage(seen);
  EXPECT_GT(seen.at("set str cpython") + seen.at("set int cpython"), 1000);
}

TEST(PythonStringHash, Utf8BytesAndEmptyString) {
  // CPython's own str hashes: "" -> 0, "é" -> 6047309291227476195 (its
  // one-byte internal form). Ours equal CPython's hash of the UTF-8 bytes
  // (b"\xc3\xa9"), and SipHash-1-3 of no bytes for "".
  EXPECT_EQ(python_string_hash(""), 15130871412783076140ULL);
  EXPECT_EQ(python_string_hash("\xc3\xa9"), 17179775974360249536ULL);
  // ASCII agrees with CPython's str hash, across the 8-byte block boundary.
  EXPECT_EQ(python_string_hash("TP53"), 4601108277488948643ULL);
  EXPECT_EQ(python_string_hash("ABCDEFGH"), 13381960603967675822ULL);
  EXPECT_EQ(python_string_hash("ABCDEFGHI"), 17280211426506095633ULL);
}

TEST(PythonSetRules, ProbeRestartsFromTheRunsLastSlot) {
  // 32 slots: 0..9 fill the run starting at slot 0, so 32 (slot 0) jumps to
  // (9 * 5 + (32 >> 5) + 1) & 31 = 15, past 12. CPython jumps from slot 0 to
  // slot 2 and takes slot 10, giving [0, ..., 9, 32, 12].
  const std::vector<std::uint64_t> keys = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 32};
  EXPECT_EQ(slot_order(set_of<PythonIntSet>(keys)), keys);
}

TEST(PythonSetRules, SmallTableHasNoLinearRun) {
  // Eight slots: 9 collides with 1 at slot 1 and, with no run to walk, goes to
  // (1 * 5 + 0 + 1) & 7 = 6 rather than slot 2.
  EXPECT_EQ(slot_order(set_of<PythonIntSet>({1, 3, 9})), (std::vector<std::uint64_t>{1, 3, 9}));
}

TEST(PythonSetRules, IntegersHashToThemselves) {
  // 2**61 - 1 takes slot 7 of 8; CPython hashes it to 0 and gives [2**61 - 1, 5].
  const std::uint64_t big = (std::uint64_t{1} << 61) - 1;
  EXPECT_EQ(slot_order(set_of<PythonIntSet>({5, big})), (std::vector<std::uint64_t>{5, big}));
}

TEST(PythonSetRules, ResizePoints) {
  // Keys inserted -> slot count. A table grows once 5 x used >= 3 x (slots - 1),
  // to the smallest power of two above 4 x used (2 x used past 50000 keys).
  // 629145 keys fill 2**20 slots to exactly 3/5 of the mask.
  const std::map<std::uint64_t, std::size_t> table = {
      {0, 8},
      {4, 8},
      {5, 32},
      {18, 32},
      {19, 128},
      {76, 128},
      {77, 512},
      {306, 512},
      {307, 2048},
      {1228, 2048},
      {1229, 8192},
      {4914, 8192},
      {4915, 32768},
      {19660, 32768},
      {19661, 131072},
      {78642, 131072},
      {78643, 262144},
      {157285, 262144},
      {157286, 524288},
      {314572, 524288},
      {314573, 1048576},
      {629144, 1048576},
      {629145, 2097152},
  };
  PythonIntSet set;
  std::uint64_t inserted = 0;
  for (const auto& [count, slots] : table) {
    while (inserted < count) set.insert(inserted++);
    EXPECT_EQ(set.slot_count(), slots) << count << " keys";
    EXPECT_EQ(set.used(), count);
  }
}

TEST(PythonSetRules, ClearedSetBehavesLikeANewOne) {
  std::vector<std::uint64_t> keys;
  for (std::uint64_t k = 0; k < 300; ++k) keys.push_back(k * 37 % 1000);
  PythonIntSet reused = set_of<PythonIntSet>({7, 8, 9});
  for (int round = 0; round < 2; ++round) {
    reused.clear();
    EXPECT_EQ(reused.used(), 0u);
    EXPECT_EQ(reused.slot_count(), 8u);
    EXPECT_FALSE(reused.contains(7));
    for (std::uint64_t k : keys) reused.insert(k);
    EXPECT_EQ(slot_order(reused), slot_order(set_of<PythonIntSet>(keys)));
  }
}

}  // namespace
}  // namespace quenfa::blitz

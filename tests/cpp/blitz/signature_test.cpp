// Signature preparation and pathway cleaning. Cleaned pathways are compared
// with CPython's sets under PYTHONHASHSEED=0 (data/blitz/python_sets.py: the
// "clean" lines, committed and live), the signature with hand-made lists and
// one NumPy mean.
#include "quenfa/blitz/signature.hpp"

#include <gtest/gtest.h>

#include "support/command_output.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "blitz/python_set_vectors.hpp"

namespace quenfa::blitz {
namespace {

using testing::VectorLine;

std::vector<std::size_t> slot_order(const PythonIntSet& set) {
  return {set.begin(), set.end()};
}

// Signature names in rank order (strictly decreasing scores), one pathway.
CleanedPathway clean_one(const std::vector<std::string>& names,
                         const std::vector<std::string>& genes) {
  RankedList ranked;
  ranked.genes = names;
  for (std::size_t i = 0; i < names.size(); ++i) {
    ranked.scores.push_back(static_cast<double>(names.size() - i));
  }
  auto cleaned = clean_pathways(prepare_signature(ranked, false), {Pathway{"P", genes, {}}});
  EXPECT_EQ(cleaned.size(), 1u);
  return cleaned.at(0);
}

// Returns the number of clean lines checked.
int check_clean_lines(const std::vector<VectorLine>& lines) {
  int checked = 0;
  for (const VectorLine& line : lines) {
    if (line.head.at(0) != "clean") continue;
    const auto names = testing::decode_keys(line.fields.at(0));
    const auto genes = testing::decode_keys(line.fields.at(1));
    const auto hits = testing::to_indices(line.fields.at(2));
    const std::string where = line.label() + " (" + std::to_string(names.size()) + " names, " +
                              std::to_string(genes.size()) + " genes)";
    const CleanedPathway got = clean_one(names, genes);
    EXPECT_EQ(got.hits, hits) << where;
    std::vector<std::string> expected_genes;
    for (std::size_t h : hits) expected_genes.push_back(names.at(h));
    EXPECT_EQ(got.genes, expected_genes) << where;
    EXPECT_TRUE(std::is_sorted(got.sorted_hits.begin(), got.sorted_hits.end())) << where;
    EXPECT_TRUE(std::is_permutation(got.sorted_hits.begin(), got.sorted_hits.end(),
                                    got.hits.begin(), got.hits.end()))
        << where;
    EXPECT_EQ(slot_order(got.hit_set), testing::to_indices(line.fields.at(3))) << where;
    ++checked;
  }
  return checked;
}

TEST(CleanPathwaysGroundTruth, CommittedVectors) {
  EXPECT_GT(check_clean_lines(testing::read_committed_vectors()), 20);
}

TEST(CleanPathwaysGroundTruth, LiveCPython) {
  std::string why;
  const auto lines = testing::run_live_vectors("clean", why);
  if (!lines) QUENFA_REFERENCE_TOOL_MISSING(why);
  EXPECT_GE(check_clean_lines(*lines), 1000);
}

TEST(CleanPathways, EqualSizesIterateThePathwaysSet) {
  // CPython: list(set(names) & set(genes)) == [G26, G99, G0, G16]; iterating
  // the signature's set instead would give [G0, G16, G26, G99].
  const CleanedPathway got = clean_one({"G16", "G0", "G26", "G99"}, {"G99", "G26", "G16", "G0"});
  EXPECT_EQ(got.genes, (std::vector<std::string>{"G26", "G99", "G0", "G16"}));
  EXPECT_EQ(got.hits, (std::vector<std::size_t>{2, 3, 1, 0}));
  EXPECT_EQ(got.sorted_hits, (std::vector<std::size_t>{0, 1, 2, 3}));
}

TEST(CleanPathways, KeepsEveryPathwayInOrder) {
  RankedList ranked;
  ranked.genes = {"A", "B", "C"};
  ranked.scores = {3, 2, 1};
  const PathwayDb db = {{"dup", {"C", "A", "C", "A"}, {}},
                        {"none", {"X", "Y"}, {}},
                        {"empty", {}, {}},
                        {"dup", {"B"}, {}}};
  const auto cleaned = clean_pathways(prepare_signature(ranked, false), db);
  ASSERT_EQ(cleaned.size(), 4u);
  std::vector<std::size_t> sizes;
  for (std::size_t k = 0; k < db.size(); ++k) {
    EXPECT_EQ(cleaned[k].name, db[k].name);
    sizes.push_back(cleaned[k].genes.size());
    EXPECT_EQ(cleaned[k].hit_set.used(), cleaned[k].genes.size());
  }
  EXPECT_EQ(sizes, (std::vector<std::size_t>{2, 0, 0, 1}));  // a repeated gene counts once
  EXPECT_EQ(cleaned[3].hits, (std::vector<std::size_t>{1}));
}

struct SignatureCase {
  const char* what;
  std::vector<std::string> genes;
  std::vector<double> scores;
  bool center;
  std::vector<std::string> names;
  std::vector<double> abs_scores;
};

TEST(PrepareSignature, Cases) {
  const double kNaN = std::numeric_limits<double>::quiet_NaN();
  const std::vector<SignatureCase> cases = {
      {"plain", {"A", "B", "C"}, {6, 2, 1}, false, {"A", "B", "C"}, {6, 2, 1}},
      {"centred", {"A", "B", "C"}, {6, 2, 1}, true, {"A", "B", "C"}, {3, 1, 2}},
      {"sorted by score, absolute values",
       {"A", "B", "C"},
       {-4, 5, 0},
       false,
       {"B", "C", "A"},
       {5, 0, 4}},
      {"a repeated gene keeps its higher score",
       {"A", "B", "A"},
       {1, 2, 3},
       false,
       {"A", "B"},
       {3, 2}},
      {"equal scores keep the earlier position",
       {"A", "B", "A", "C"},
       {2, 1, 2, 1},
       false,
       {"A", "B", "C"},
       {2, 1, 1}},
      // The mean is over the kept scores: (6 + 2 + 1) / 3, not (6 + 2 + 1 + 1) / 4.
      {"centred after dropping repeats",
       {"A", "B", "A", "C"},
       {6, 2, 1, 1},
       true,
       {"A", "B", "C"},
       {3, 1, 2}},
      {"genes past the scores are ignored", {"A", "B", "C"}, {1, 2}, false, {"B", "A"}, {2, 1}},
      {"empty", {}, {}, true, {}, {}},
      // NumPy: np.sum gives 24 here (pairwise), a left-to-right sum 32.
      {"mean by NumPy's pairwise sum",
       {"g0", "g1", "g2", "g3", "g4", "g5", "g6", "g7", "g8", "g9"},
       {1e16, 3, 3, 3, 3, 3, 3, 3, 3, -1e16},
       true,
       {"g0", "g1", "g2", "g3", "g4", "g5", "g6", "g7", "g8", "g9"},
       {9999999999999998.0, 0.6000000000000001, 0.6000000000000001, 0.6000000000000001,
        0.6000000000000001, 0.6000000000000001, 0.6000000000000001, 0.6000000000000001,
        0.6000000000000001, 1.0000000000000002e+16}},
      {"negative zero loses its sign", {"A"}, {-0.0}, false, {"A"}, {0.0}},
  };
  for (const SignatureCase& c : cases) {
    RankedList ranked;
    ranked.genes = c.genes;
    ranked.scores = c.scores;
    const BlitzSignature sig = prepare_signature(ranked, c.center);
    EXPECT_EQ(sig.names, c.names) << c.what;
    ASSERT_EQ(sig.abs_scores.size(), c.abs_scores.size()) << c.what;
    for (std::size_t i = 0; i < c.abs_scores.size(); ++i) {
      EXPECT_EQ(sig.abs_scores[i], c.abs_scores[i]) << c.what << " at " << i;
      EXPECT_FALSE(std::signbit(sig.abs_scores[i])) << c.what << " at " << i;
    }
    ASSERT_EQ(sig.positions.size(), sig.names.size()) << c.what;
    for (std::size_t i = 0; i < sig.names.size(); ++i) {
      EXPECT_EQ(sig.positions.at(sig.names[i]), i) << c.what;
    }
  }
  // NaN scores have no specified order; every gene is still kept once.
  RankedList with_nan;
  with_nan.genes = {"A", "B", "C", "B"};
  with_nan.scores = {kNaN, 1, kNaN, 2};
  EXPECT_EQ(prepare_signature(with_nan, false).names.size(), 3u);
}

}  // namespace
}  // namespace quenfa::blitz

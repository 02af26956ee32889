// The streams must equal R's and NumPy's draw for draw. Vectors made by R and
// NumPy are committed next to the scripts that regenerate them (data/), and
// one test asks R live with other seeds and longer streams.
#include "quenfa/random/r_streams.hpp"

#include <gtest/gtest.h>

#include "support/command_output.hpp"

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "quenfa/core/internal_fault.hpp"

namespace quenfa::random {
namespace {

const std::string kDataDir = QUENFA_TEST_DATA_DIR;

// One stream of a reference file: "<kind> <seed> [<n> [<k>]] | <values...>".
struct StreamLine {
  std::string kind;
  std::vector<std::string> params;
  std::vector<std::string> values;
};

std::vector<StreamLine> parse_streams(std::istream& in) {
  std::vector<StreamLine> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::istringstream words(line);
    StreamLine s;
    words >> s.kind;
    std::string w;
    while (words >> w && w != "|") s.params.push_back(w);
    while (words >> w) s.values.push_back(w);
    out.push_back(std::move(s));
  }
  return out;
}

// R's set.seed takes a signed 32-bit integer; its bits are the seed.
std::uint32_t seed_bits(const std::string& text) {
  return static_cast<std::uint32_t>(std::stoll(text));
}

std::uint64_t to_u64(const std::string& text) {
  return std::stoull(text);
}

// Doubles compare by their bits: "close" is a failure.
void expect_same_doubles(const std::vector<std::string>& expected, auto&& draw,
                         const std::string& where) {
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const double want = std::strtod(expected[i].c_str(), nullptr);
    const double got = draw();
    ASSERT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(want))
        << where << " draw " << i << ": got " << got << ", want " << expected[i];
  }
}

void expect_same_integers(const std::vector<std::string>& expected,
                          const std::vector<std::uint64_t>& got, const std::string& where) {
  ASSERT_EQ(got.size(), expected.size()) << where;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(got[i], to_u64(expected[i])) << where << " draw " << i;
  }
}

// Replays one reference stream with our generators; returns its kind.
std::string check_stream(const StreamLine& s) {
  std::string where = s.kind;
  for (const auto& p : s.params) where += " " + p;
  const std::uint32_t seed = seed_bits(s.params.at(0));
  if (s.kind == "mt_unif") {
    auto g = RMt19937SeedCompat::r_set_seed(seed);
    expect_same_doubles(
        s.values, [&] { return g.r_unif_rand(); }, where);
  } else if (s.kind == "mt_index") {
    auto g = RMt19937SeedCompat::r_set_seed(seed);
    const std::uint64_t n = to_u64(s.params.at(1));
    std::vector<std::uint64_t> got;
    for (std::size_t i = 0; i < s.values.size(); ++i) got.push_back(g.r_unif_index_with_kind(n));
    expect_same_integers(s.values, got, where);
  } else if (s.kind == "lecuyer_unif") {
    auto g = RLecuyerCmrgSeedCompat::r_set_seed(seed);
    expect_same_doubles(
        s.values, [&] { return g.r_unif_rand(); }, where);
  } else if (s.kind == "lecuyer_sample") {
    auto g = RLecuyerCmrgSeedCompat::r_set_seed(seed);
    expect_same_integers(
        s.values, g.sample_int_no_replace_with_kind(to_u64(s.params.at(1)), to_u64(s.params.at(2))),
        where);
  } else if (s.kind == "mt_standard") {
    auto g = RMt19937SeedCompat::seed_standard(seed);
    std::vector<std::uint64_t> got;
    for (std::size_t i = 0; i < s.values.size(); ++i) got.push_back(g.next_u32());
    expect_same_integers(s.values, got, where);
  } else {
    ADD_FAILURE() << "unknown stream kind " << s.kind;
  }
  return s.kind;
}

// Checks every stream and that each expected kind occurs, so that an empty or
// truncated reference cannot pass.
void check_all(const std::vector<StreamLine>& streams, const std::set<std::string>& kinds) {
  std::set<std::string> seen;
  for (const auto& s : streams) {
    seen.insert(check_stream(s));
    if (::testing::Test::HasFatalFailure()) return;
  }
  EXPECT_EQ(seen, kinds);
}

const std::set<std::string> kRKinds = {"mt_unif", "mt_index", "lecuyer_unif", "lecuyer_sample"};

TEST(RngCompatGroundTruth, CommittedRStreams) {
  std::ifstream in(kDataDir + "/r_streams.txt");
  ASSERT_TRUE(in) << "missing " << kDataDir << "/r_streams.txt";
  check_all(parse_streams(in), kRKinds);
}

TEST(RngCompatGroundTruth, CommittedNumpyRawWords) {
  std::ifstream in(kDataDir + "/numpy_mt_raw.txt");
  ASSERT_TRUE(in) << "missing " << kDataDir << "/numpy_mt_raw.txt";
  check_all(parse_streams(in), {"mt_standard"});
}

TEST(RngCompatGroundTruth, LiveR) {
  if (std::system("command -v Rscript > /dev/null 2>&1") != 0) {
    QUENFA_REFERENCE_TOOL_MISSING(
        "Rscript not found: the live comparison with R needs r-base-core");
  }
  const std::string command = "Rscript '" + kDataDir + "/r_streams.R' live";
  const auto text = ::quenfa::test_support::command_output(command);
  ASSERT_TRUE(text) << command;
  std::istringstream in(*text);
  check_all(parse_streams(in), kRKinds);
}

TEST(RngCompatGroundTruth, DocumentedValues) {
  auto g42 = RMt19937SeedCompat::r_set_seed(42);
  EXPECT_EQ(g42.r_unif_rand(), 0.9148060434963554);
  EXPECT_EQ(g42.r_unif_rand(), 0.9370754132978618);
  EXPECT_EQ(g42.r_unif_rand(), 0.2861395347863436);
  auto g1 = RMt19937SeedCompat::r_set_seed(1);
  EXPECT_EQ(g1.r_unif_rand(), 0.2655086631421);
  EXPECT_EQ(g1.r_unif_rand(), 0.37212389963679016);
  EXPECT_EQ(g1.r_unif_rand(), 0.5728533633518964);

  auto idx = RMt19937SeedCompat::r_set_seed(42);
  EXPECT_EQ(idx.r_unif_index_with_kind(10), 0u);
  EXPECT_EQ(idx.r_unif_index_with_kind(9), 4u);
  EXPECT_EQ(idx.r_unif_index_with_kind(8), 0u);
  auto chunk = RMt19937SeedCompat::r_set_seed(42);
  EXPECT_EQ(chunk.r_unif_index_with_kind(1000000000) + 1, 707850213u);

  auto standard = RMt19937SeedCompat::seed_standard(5489);
  EXPECT_EQ(standard.next_u32(), 3499211612u);
  EXPECT_EQ(standard.next_u32(), 581869302u);
  EXPECT_EQ(standard.next_u32(), 3890346734u);
}

// How many raw words `op` takes from a generator, found by advancing a copy
// word by word until the states agree.
template <class Op>
std::size_t words_consumed(const RMt19937SeedCompat& start, Op op) {
  RMt19937SeedCompat used = start;
  op(used);
  RMt19937SeedCompat probe = start;
  for (std::size_t count = 0; count <= 100000; ++count) {
    if (probe.mti == used.mti && probe.mt == used.mt) return count;
    probe.next_u32();
  }
  ADD_FAILURE() << "states never met";
  return 0;
}

TEST(RUnifIndex, UniformsPerAttempt) {
  // Powers of two up to 2^15 never reject and take one uniform per draw;
  // 2^16 needs 17 bits, which take two 16-bit chunks.
  struct Case {
    std::uint64_t bound;
    std::size_t words_per_draw;
  };
  for (const Case c : {Case{1, 1}, Case{2, 1}, Case{1024, 1}, Case{32768, 1}, Case{65536, 2}}) {
    const auto g = RMt19937SeedCompat::r_set_seed(2024);
    EXPECT_EQ(words_consumed(g,
                             [&](RMt19937SeedCompat& x) {
                               for (int i = 0; i < 100; ++i) x.r_unif_index_with_kind(c.bound);
                             }),
              100 * c.words_per_draw)
        << "bound " << c.bound;
  }
  auto g = RMt19937SeedCompat::r_set_seed(7);
  EXPECT_EQ(
      words_consumed(g, [](RMt19937SeedCompat& x) { EXPECT_EQ(x.r_unif_index_with_kind(0), 0u); }),
      0u);
}

TEST(RLecuyerSample, PermutationEmptyAndOversized) {
  auto g = RLecuyerCmrgSeedCompat::r_set_seed(11);
  auto perm = g.sample_int_no_replace_with_kind(50, 50);
  std::set<std::uint64_t> values(perm.begin(), perm.end());
  EXPECT_EQ(values.size(), 50u);
  EXPECT_EQ(*values.begin(), 1u);
  EXPECT_EQ(*values.rbegin(), 50u);

  const auto before = g;
  EXPECT_TRUE(g.sample_int_no_replace_with_kind(50, 0).empty());
  EXPECT_EQ(g.s, before.s) << "k = 0 must not draw";

  try {
    g.sample_int_no_replace_with_kind(3, 4);
    FAIL() << "k > n must be an internal fault";
  } catch (const InternalFault& e) {
    EXPECT_STREQ(e.what(), "sample_int_no_replace: size (4) must be <= n (3)");
  }
}

TEST(UniformBelow, RejectsAboveTheLargestMultipleBelow2To32Minus1) {
  // The threshold comes from 2^32 - 1: bound 2^31 rejects every word from 2^31
  // on (half of them), bound 1 only 2^32 - 1. The result is the first accepted
  // raw word modulo the bound, and exactly the words up to it are consumed.
  struct Case {
    std::uint32_t bound;
    std::uint64_t accept_below;
  };
  for (const Case c : {Case{1, 0xFFFFFFFFu}, Case{3, 0xFFFFFFFFu}, Case{0x80000000u, 0x80000000u},
                       Case{0x80000001u, 0x80000001u}, Case{0xFFFFFFFFu, 0xFFFFFFFFu}}) {
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
      auto g = RMt19937SeedCompat::seed_standard(seed);
      auto raw = g;
      std::uint32_t word;
      std::size_t words = 0;
      do {
        word = raw.next_u32();
        ++words;
      } while (word >= c.accept_below);
      EXPECT_EQ(words_consumed(g,
                               [&](RMt19937SeedCompat& x) {
                                 EXPECT_EQ(uniform_below(x, c.bound), word % c.bound);
                               }),
                words)
          << "bound " << c.bound << " seed " << seed;
    }
  }
  auto g = RMt19937SeedCompat::seed_standard(1);
  EXPECT_THROW(uniform_below(g, 0), InternalFault);
}

void expect_distinct_in_range(const std::vector<std::uint64_t>& v, std::uint64_t a, std::uint64_t b,
                              std::uint64_t k) {
  ASSERT_EQ(v.size(), k);
  std::set<std::uint64_t> seen(v.begin(), v.end());
  EXPECT_EQ(seen.size(), k) << "values repeat";
  for (auto x : v) {
    EXPECT_GE(x, a);
    EXPECT_LE(x, b);
  }
}

TEST(Combination, RejectionKeepsFirstDistinctDrawsInOrder) {
  // Below half the range every value is a fresh bounded draw; repeats are
  // drawn again, so the result is the first k distinct draws in draw order.
  struct Case {
    std::uint64_t a, b, k;
  };
  for (const Case c : {Case{1, 20000, 500}, Case{0, 9, 4}, Case{5, 104, 49}}) {
    const std::uint64_t n = c.b - c.a + 1;
    auto g = RMt19937SeedCompat::seed_standard(99);
    auto ref = g;
    std::vector<std::uint64_t> want;
    std::set<std::uint64_t> seen;
    while (want.size() < c.k) {
      const std::uint64_t x = uniform_below(ref, static_cast<std::uint32_t>(n));
      if (seen.insert(x).second) want.push_back(c.a + x);
    }
    EXPECT_EQ(combination(c.a, c.b, c.k, g), want) << c.a << ".." << c.b << " k " << c.k;
    EXPECT_EQ(g.mt, ref.mt);
    EXPECT_EQ(g.mti, ref.mti);
  }
}

TEST(Combination, FloydFromHalfTheRangeUpDrawsExactly2kMinus1Times) {
  // k draws of Floyd's method plus k - 1 shuffle draws, none redrawn (with
  // these seeds no bounded draw hits its rejection zone). k = n/2 exactly is
  // Floyd's side of the switch; rejection would redraw repeats here.
  struct Case {
    std::uint64_t a, b, k;
  };
  for (const Case c : {Case{1, 10, 5}, Case{0, 99, 50}, Case{1, 1000, 1000}, Case{3, 3, 1},
                       Case{1, 20000, 15000}}) {
    for (std::uint32_t seed : {1u, 2u, 3u}) {
      const auto g = RMt19937SeedCompat::seed_standard(seed);
      std::vector<std::uint64_t> v;
      EXPECT_EQ(
          words_consumed(g, [&](RMt19937SeedCompat& x) { v = combination(c.a, c.b, c.k, x); }),
          2 * c.k - 1)
          << c.a << ".." << c.b << " k " << c.k << " seed " << seed;
      expect_distinct_in_range(v, c.a, c.b, c.k);
    }
  }
  auto g = RMt19937SeedCompat::seed_standard(4);
  EXPECT_EQ(combination(7, 7, 1, g), std::vector<std::uint64_t>{7});
}

TEST(Combination, EmptyAndInvalidRequests) {
  const auto g = RMt19937SeedCompat::seed_standard(5);
  EXPECT_EQ(words_consumed(
                g, [](RMt19937SeedCompat& x) { EXPECT_TRUE(combination(1, 10, 0, x).empty()); }),
            0u);
  auto h = g;
  EXPECT_THROW(combination(1, 10, 11, h), InternalFault);
  EXPECT_THROW(combination(10, 1, 1, h), InternalFault);
  EXPECT_THROW(combination(0, 0xFFFFFFFFull, 1, h), InternalFault);  // 2^32 values
}

// Draws a fixed series of subsets; the result depends only on the seeds, so a
// thread whose marks table is fresh serves as the reference.
std::vector<std::vector<std::uint64_t>> subset_series() {
  std::vector<std::vector<std::uint64_t>> out;
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    auto g = RMt19937SeedCompat::seed_standard(seed);
    out.push_back(combination(1, 40, 12, g));  // rejection
    out.push_back(combination(1, 40, 20, g));  // Floyd
    out.push_back(combination(1, 40, 12, g));
  }
  return out;
}

std::vector<std::vector<std::uint64_t>> subset_series_on_fresh_thread() {
  std::vector<std::vector<std::uint64_t>> out;
  std::thread([&] { out = subset_series(); }).join();
  return out;
}

TEST(Combination, MarksNeverLeakBetweenCalls) {
  const auto reference = subset_series_on_fresh_thread();
  // Same thread, marks of earlier calls still in the table.
  EXPECT_EQ(subset_series(), reference);
  EXPECT_EQ(subset_series(), reference);
  // Across the stamp wrap-around: marks left from an old era hold the small
  // stamps the calls after the wrap take again; the wrap must clear them.
  std::thread([&] {
    CombinationMarks& marks = CombinationMarks::for_this_thread();
    marks.start_generation(40);
    for (std::size_t i = 0; i < marks.marks.size(); ++i) {
      marks.marks[i] = i % 5 == 4 ? 0xFFFFFFFCu : static_cast<std::uint32_t>(1 + i % 4);
    }
    marks.stamp = 0xFFFFFFFCu;  // the fourth call of the series wraps
    EXPECT_EQ(subset_series(), reference);
  }).join();
}

TEST(ResolveRngSeed, GivenSeedKeptAbsentSeedUsesAll64Bits) {
  for (std::uint64_t s : {0ull, 42ull, 0xFFFFFFFFFFFFFFFFull}) EXPECT_EQ(resolve_rng_seed(s), s);
  std::set<std::uint64_t> drawn;
  std::uint64_t high_bits = 0;
  for (int i = 0; i < 64; ++i) {
    const std::uint64_t v = resolve_rng_seed(std::nullopt);
    drawn.insert(v);
    high_bits |= v >> 32;
  }
  EXPECT_EQ(drawn.size(), 64u);
  EXPECT_NE(high_bits, 0u);
}

}  // namespace
}  // namespace quenfa::random

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <sstream>

#include "quenfa/decor/cache_builder.hpp"
#include "quenfa/decor/cache_file.hpp"
#include "quenfa/decor/ensure_cache.hpp"
#include "quenfa/decor/expression_matrix.hpp"
#include "quenfa/decor/file_digest.hpp"
#include "quenfa/decor/number_text.hpp"
#include "support/command_output.hpp"
#include "support/fixtures.hpp"

namespace quenfa::decor {
namespace {

using test_support::read_bytes;
using test_support::ScratchDir;
using test_support::write_bytes;
using test_support::write_gzip;

TEST(DecorExpressionMatrix, ReadsRowsAndReportsEachFault) {
  struct Case {
    std::string text;
    std::string error;  // empty: reads genes A and B with 2 samples
  };
  const Case cases[] = {
      {"gene\ts1\ts2\r\n\nA\t1\t2.5e0\r\n  \nB\t-3\t+.5\n", ""},
      {"\nA\t1\t2.5\nB\t-3\t0.5\n", ""},  // no header: the first row fixes the columns
      {"gene\ts1\n", "expression matrix header must contain gene and at least two sample columns"},
      {"gene\ts1\ts2\nA\t1\n",
       "Malformed expression matrix line 2: expected gene and at least two sample columns"},
      {"gene\ts1\ts2\nA\t1\t2\t\n",
       "Malformed expression matrix line 2: expected 2 sample columns, found 3"},
      {"\nA\t1\t2\t3\nB\t1\t2\n",
       "Malformed expression matrix line 3: expected 3 sample columns, found 2"},
      {"gene\ts1\ts2\n\t1\t2\n", "expression matrix line 2 has an empty gene identifier"},
      {"gene\ts1\ts2\nA\t1\t2\nA\t1\t2\n", "expression matrix has duplicate gene identifier: A"},
      {"gene\ts1\ts2\nA\t1\t2 \n", "Failed to parse expression value '2 ' on line 2"},
      {"gene\ts1\ts2\nA\tNA\t2\n", "Failed to parse expression value 'NA' on line 2"},
      {"gene\ts1\ts2\nA\t1\t\n", "Failed to parse expression value '' on line 2"},
      {"gene\ts1\ts2\nA\t0x10\t1\n", "Failed to parse expression value '0x10' on line 2"},
      // Every value parses before finiteness is checked.
      {"gene\ts1\ts2\nA\tinf\tx\n", "Failed to parse expression value 'x' on line 2"},
      {"gene\ts1\ts2\nA\t1\tNaN\n", "expression matrix line 2 contains a non-finite value"},
      {"gene\ts1\ts2\nA\t1e309\t1\n", "expression matrix line 2 contains a non-finite value"},
      {"gene\ts1\ts2\n\n", "expression matrix contains no gene rows"},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    write_bytes(dir / "e.tsv", c.text);
    write_gzip(dir / "e.tsv.gz", c.text);
    for (const char* name : {"e.tsv", "e.tsv.gz"}) {
      const auto m = read_expression_matrix(dir / name);
      if (c.error.empty()) {
        ASSERT_TRUE(m) << m.error();
        EXPECT_EQ(m.value().genes, (std::vector<std::string>{"A", "B"}));
        EXPECT_EQ(m.value().samples, 2u);
        EXPECT_EQ(m.value().values[1] + m.value().values[3], 3.0) << c.text;
      } else {
        ASSERT_FALSE(m) << c.text;
        EXPECT_EQ(m.error(), c.error);
      }
    }
  }
  EXPECT_EQ(read_expression_matrix(dir / "none").error(),
            "Failed to open '" + (dir / "none") + "'");
}

TEST(DecorCorrelation, AgreesWithNumpyCorrcoef) {
  std::ifstream in(std::string(QUENFA_TEST_DATA_DIR) + "/decor_corrcoef.txt");
  std::size_t genes = 0, samples = 0;
  in >> genes >> samples;
  ExpressionMatrix matrix;
  matrix.samples = samples;
  matrix.values.resize(genes * samples);
  for (double& v : matrix.values) in >> v;
  for (std::size_t g = 0; g < genes; ++g) matrix.genes.push_back("G" + std::to_string(g));
  const StandardisedProfiles profiles(std::move(matrix), DecorCorrelation::Pearson);
  double worst = 0;
  for (std::size_t a = 0; a < genes; ++a) {
    for (std::size_t b = 0; b < genes; ++b) {
      double expected = 0;
      in >> expected;
      const double rho = standardised_dot(profiles.matrix.row(a), profiles.matrix.row(b));
      worst = std::max(worst, std::fabs(rho - expected));
    }
  }
  ASSERT_TRUE(in);
  EXPECT_LT(worst, 1e-12);
}

TEST(DecorCorrelation, SpearmanAgreesWithScipyOnTiesConstantRowsAndTheBundledMatrix) {
  if (std::system("python3 -c 'import scipy' > /dev/null 2>&1") != 0) {
    QUENFA_REFERENCE_TOOL_MISSING("python3 with scipy not found");
  }
  const std::string bundled =
      std::string(QUENFA_TEST_DATA_DIR) + "/../../../examples/data/expression_demo.tsv.gz";
  const std::string command =
      "python3 '" + std::string(QUENFA_TEST_DATA_DIR) + "/decor_spearman.py' '" + bundled + "'";
  const auto text = ::quenfa::test_support::command_output(command);
  ASSERT_TRUE(text) << command;
  std::istringstream lines(*text);
  std::optional<StandardisedProfiles> profiles;
  ExpressionMatrix fixture;
  std::vector<std::size_t> compared;  // per source
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string kind, a, b;
    fields >> kind >> a;
    if (kind == "source") compared.push_back(0);
    if (kind == "source" && a != "fixture") {
      profiles.emplace(read_expression_matrix(a).value(), DecorCorrelation::Spearman);
    } else if (kind == "row") {
      fixture.genes.push_back(a);
      std::size_t n = 0;
      for (double v; fields >> v; ++n) fixture.values.push_back(v);
      fixture.samples = n;
    } else if (kind == "rho") {
      if (!profiles) profiles.emplace(std::move(fixture), DecorCorrelation::Spearman);
      double expected = 0;
      fields >> b >> expected;
      const double rho = standardised_dot(profiles->matrix.row(profiles->rows.at(a)),
                                          profiles->matrix.row(profiles->rows.at(b)));
      EXPECT_LE(std::fabs(rho - expected), 1e-12) << line;
      ++compared.back();
    }
  }
  ASSERT_EQ(compared.size(), 2u);
  EXPECT_EQ(compared[0], 100u);  // every pair of the ten fixture rows
  EXPECT_GT(compared[1], 20000u);
}

TEST(DecorCorrelation, RanksAreAveragedOverTies) {
  std::vector<double> x = {3.0, -0.0, 7.5, 0.0, 3.0, 3.0, -2.0};
  rank_profile(x);
  EXPECT_EQ(x, (std::vector<double>{5, 2.5, 7, 2.5, 5, 5, 1}));
  std::vector<double> constant(4, 0.1);
  rank_profile(constant);
  standardise_profile(constant);
  EXPECT_EQ(constant, (std::vector<double>(4, 0.0)));
}

// Sums of huge values overflowed (NaN profiles) and squares of tiny ones
// underflowed (zeros); a profile scaled by any power of two standardises to
// the same bits.
TEST(DecorCorrelation, StandardisesProfilesOfAnyMagnitude) {
  const std::vector<double> base = {13, 8, 9, 11, 9};  // centred 3 -2 -1 1 -1 (norm 4)
  const std::vector<double> expected = {0.75, -0.5, -0.25, 0.25, -0.25};
  for (int k : {-1060, -700, -401, 0, 401, 700, 1010}) {
    std::vector<double> x = base;
    for (double& v : x) v = std::ldexp(v, k);
    standardise_profile(x);
    EXPECT_EQ(x, expected) << "scaled by 2^" << k;
  }
  std::vector<double> constant(4, 1.7e308);
  standardise_profile(constant);
  EXPECT_EQ(constant, std::vector<double>(4, 0.0));
}

// Profiles whose standardised values are multiples of 1/4, so every product
// and sum is exact and the scores can be worked out by hand.
StandardisedProfiles dyadic_profiles() {
  ExpressionMatrix m;
  m.samples = 5;
  m.genes = {"A", "B", "C", "D", "E"};
  m.values = {13, 8,  9,  11, 9,    // centred 3 -2 -1 1 -1 (norm 4)
              11, 9,  11, 9,  10,   // centred 1 -1 1 -1 0 (norm 2)
              9,  11, 9,  11, 10,   // the negative of B
              7,  7,  7,  7,  7,    // constant
              11, 11, 9,  9,  10};  // centred 1 1 -1 -1 0 (norm 2)
  return StandardisedProfiles(std::move(m), DecorCorrelation::Pearson);
}

TEST(DecorPathwayScores, HandComputedFixture) {
  const StandardisedProfiles profiles = dyadic_profiles();
  // Correlations: AB 3/8, AC -3/8, AE 1/8, BC -1, BE 0, CE 0, D with all 0.
  const Pathway pathway{"P", {"A", "X", "B", "C", "A", "D", "E"}, std::nullopt};
  const DecorPathwayScores positive =
      build_pathway_scores(pathway, profiles, DecorRedundancy::PositiveMean);
  EXPECT_EQ(positive.genes, (std::vector<std::string>{"A", "B", "C", "D", "E"}));
  EXPECT_EQ(positive.redundancy, (std::vector<float>{0.125f, 0.09375f, 0, 0, 0.03125f}));
  const DecorPathwayScores absolute =
      build_pathway_scores(pathway, profiles, DecorRedundancy::AbsMean);
  EXPECT_EQ(absolute.redundancy, (std::vector<float>{0.21875f, 0.34375f, 0.34375f, 0, 0.03125f}));

  const Pathway opposite{"Q", {"B", "C"}, std::nullopt};
  EXPECT_EQ(build_pathway_scores(opposite, profiles, DecorRedundancy::AbsMean).redundancy,
            (std::vector<float>{1, 1}));
  EXPECT_EQ(build_pathway_scores(opposite, profiles, DecorRedundancy::PositiveMean).redundancy,
            (std::vector<float>{0, 0}));
  const Pathway twin{"T", {"B", "X", "B"}, std::nullopt};
  const DecorPathwayScores one = build_pathway_scores(twin, profiles, DecorRedundancy::AbsMean);
  EXPECT_EQ(one.genes, (std::vector<std::string>{"B"}));
  EXPECT_EQ(one.redundancy, (std::vector<float>{0}));
  EXPECT_TRUE(build_pathway_scores({"N", {"X"}, std::nullopt}, profiles, DecorRedundancy::AbsMean)
                  .genes.empty());
}

TEST(DecorPathwayScores, FollowTheSequentialSumsBitForBit) {
  // Reference: each correlation a plain dot product; each gene's partners
  // summed in ascending partner order.
  std::mt19937_64 random(7);
  std::normal_distribution<double> normal;
  ExpressionMatrix m;
  m.samples = 53;
  for (int g = 0; g < 41; ++g) {
    m.genes.push_back("G" + std::to_string(g));
    const double shared = normal(random);
    for (std::size_t k = 0; k < m.samples; ++k) m.values.push_back(normal(random) + shared * k);
  }
  const StandardisedProfiles profiles(std::move(m), DecorCorrelation::Pearson);
  std::vector<std::size_t> rows;
  for (std::size_t g = 0; g < 41; g += 1 + g % 3) rows.push_back(40 - g);
  for (DecorRedundancy kind : {DecorRedundancy::PositiveMean, DecorRedundancy::AbsMean}) {
    const std::vector<double> got = mean_partner_redundancy(profiles, rows, kind);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      double sum = 0;
      for (std::size_t j = 0; j < rows.size(); ++j) {
        if (j == i) continue;
        const double rho = std::clamp(standardised_dot(profiles.matrix.row(rows[std::min(i, j)]),
                                                       profiles.matrix.row(rows[std::max(i, j)])),
                                      -1.0, 1.0);
        sum += kind == DecorRedundancy::PositiveMean ? std::max(rho, 0.0) : std::fabs(rho);
      }
      EXPECT_EQ(got[i], sum / static_cast<double>(rows.size() - 1)) << i;
    }
  }
}

// Files of a small analysis: GMT, expression matrix, cache path.
struct Fixture {
  ScratchDir dir;
  std::string gmt = dir / "sets.gmt";
  std::string expression = dir / "expr.tsv";
  std::string cache = dir / "cache.tsv";
  PathwayDb pathways = {{"Q", {"A", "B", "C", "D"}, std::nullopt},
                        {"P", {"B", "C", "Z"}, std::nullopt},
                        {"Q", {"A", "E"}, std::nullopt},
                        {"EMPTY", {"Z"}, std::nullopt}};

  Fixture() {
    write_bytes(gmt, "Q\t\tA\tB\tC\tD\nP\t\tB\tC\tZ\nQ\t\tA\tE\nEMPTY\t\tZ\n");
    write_bytes(expression,
                "gene\ts1\ts2\ts3\ts4\nA\t0.1\t0.7\t0.3\t0.2\nB\t1\t2\t4\t3\nC\t5\t1\t3\t2\n"
                "D\t1\t1\t1\t1\nE\t0.3\t0.1\t0.2\t0.7\n");
  }
  std::string gmt_sha256() const { return file_sha256(gmt).value(); }
  DecorOptions options(DecorCacheMode mode, bool with_expression) const {
    DecorOptions o;
    o.cache_path = cache;
    if (with_expression) o.expression_path = expression;
    o.cache_mode = mode;
    return o;
  }
};

TEST(DecorEnsureCache, BuildsAssemblesWritesAndReturnsWhatTheFileReadsBack) {
  Fixture f;
  const auto built =
      ensure_decor_cache(f.pathways, f.gmt_sha256(), f.options(DecorCacheMode::Auto, true));
  ASSERT_TRUE(built) << built.error();
  const DecorCache& cache = built.value();
  EXPECT_EQ(cache, read_decor_cache(f.cache).value());
  // The later Q replaces the earlier one; EMPTY has no rows but counts.
  EXPECT_EQ(cache.pathways.at("Q").genes, (std::vector<std::string>{"A", "E"}));
  EXPECT_EQ(cache.metadata.n_pathways, 4u);
  EXPECT_EQ(cache.metadata.n_rows, 4u);
  // Scores are the 8-decimal values, not the unrounded floats.
  const StandardisedProfiles profiles(read_expression_matrix(f.expression).value(),
                                      DecorCorrelation::Pearson);
  const float unrounded =
      build_pathway_scores(f.pathways[1], profiles, DecorRedundancy::PositiveMean).redundancy[0];
  EXPECT_EQ(format_redundancy(unrounded), format_redundancy(cache.pathways.at("P").redundancy[0]));
}

TEST(DecorEnsureCache, DecisionTableInEveryCell) {
  // Unreadable: a damaged cache (its format line, then nothing usable);
  // NotACache: any other file, which is never replaced.
  enum class State { Absent, Empty, Unreadable, NotACache, Incompatible, Compatible };
  const std::string no_expression =
      "decor cache does not exist or is incompatible and --decor-expression was not provided";
  const std::string damaged = "# quenfa_decor_cache_format=quenfa-decor-cache\n";
  const std::string foreign = "Q\t\tA\tB\n";  // the user's GMT, say
  const std::vector<std::string> reasons = {
      "redundancy mode differs: cache=abs_mean, requested=positive_mean"};
  struct Case {
    State state;
    DecorCacheMode mode;
    std::string with_expression;     // "build", "reuse" or the error
    std::string without_expression;  // likewise
  };
  Fixture f;
  write_bytes(f.cache, damaged);
  const std::string unreadable = read_decor_cache(f.cache).error();
  write_bytes(f.cache, "");
  const std::string empty = read_decor_cache(f.cache).error();
  write_bytes(f.cache, foreign);
  const std::string unreadable_foreign = read_decor_cache(f.cache).error();
  std::filesystem::remove(f.cache);
  const std::string absent = "decor cache does not exist: " + f.cache;
  const std::string not_a_cache =
      "Refusing to replace '" + f.cache +
      "': it is not a decor cache (its first line is not the cache's format line)";
  const Case cases[] = {
      {State::Absent, DecorCacheMode::Auto, "build", no_expression},
      {State::Absent, DecorCacheMode::Reuse, absent, absent},
      {State::Absent, DecorCacheMode::Rebuild, "build", no_expression},
      {State::Empty, DecorCacheMode::Auto, "build",
       "Decor cache could not be read and --decor-expression was not provided: " + empty},
      {State::Empty, DecorCacheMode::Reuse, "Decor cache could not be read: " + empty,
       "Decor cache could not be read: " + empty},
      {State::Empty, DecorCacheMode::Rebuild, "build", no_expression},
      {State::NotACache, DecorCacheMode::Auto, not_a_cache,
       "Decor cache could not be read and --decor-expression was not provided: " +
           unreadable_foreign},
      {State::NotACache, DecorCacheMode::Reuse,
       "Decor cache could not be read: " + unreadable_foreign,
       "Decor cache could not be read: " + unreadable_foreign},
      {State::NotACache, DecorCacheMode::Rebuild, not_a_cache, no_expression},
      {State::Unreadable, DecorCacheMode::Auto, "build",
       "Decor cache could not be read and --decor-expression was not provided: " + unreadable},
      {State::Unreadable, DecorCacheMode::Reuse, "Decor cache could not be read: " + unreadable,
       "Decor cache could not be read: " + unreadable},
      {State::Unreadable, DecorCacheMode::Rebuild, "build", no_expression},
      {State::Incompatible, DecorCacheMode::Auto, "build", incompatible_message(reasons, false)},
      {State::Incompatible, DecorCacheMode::Reuse, incompatible_message(reasons, true),
       incompatible_message(reasons, true)},
      {State::Incompatible, DecorCacheMode::Rebuild, "build", no_expression},
      {State::Compatible, DecorCacheMode::Auto, "reuse", "reuse"},
      {State::Compatible, DecorCacheMode::Reuse, "reuse", "reuse"},
      {State::Compatible, DecorCacheMode::Rebuild, "build", no_expression},
  };
  // A compatible cache with one score changed by hand tells reuse from build.
  DecorOptions build_options = f.options(DecorCacheMode::Rebuild, true);
  const DecorCache fresh = ensure_decor_cache(f.pathways, f.gmt_sha256(), build_options).value();
  DecorCache edited = fresh;
  edited.pathways.at("P").redundancy[0] = 0.5f;
  build_options.redundancy = DecorRedundancy::AbsMean;
  ASSERT_TRUE(ensure_decor_cache(f.pathways, f.gmt_sha256(), build_options));
  const std::string incompatible_bytes = read_bytes(f.cache);
  ASSERT_TRUE(write_decor_cache_atomic(f.cache, edited));
  const std::string edited_bytes = read_bytes(f.cache);

  for (const Case& c : cases) {
    for (bool with_expression : {true, false}) {
      const std::string& expected = with_expression ? c.with_expression : c.without_expression;
      std::filesystem::remove(f.cache);
      if (c.state == State::Empty) write_bytes(f.cache, "");
      if (c.state == State::Unreadable) write_bytes(f.cache, damaged);
      if (c.state == State::NotACache) write_bytes(f.cache, foreign);
      if (c.state == State::Incompatible) write_bytes(f.cache, incompatible_bytes);
      if (c.state == State::Compatible) write_bytes(f.cache, edited_bytes);
      const std::string before = read_bytes(f.cache);
      const auto got =
          ensure_decor_cache(f.pathways, f.gmt_sha256(), f.options(c.mode, with_expression));
      const std::string where = "state " + std::to_string(static_cast<int>(c.state)) + " mode " +
                                std::string(to_text(c.mode)) + (with_expression ? " +expr" : "");
      if (expected == "build") {
        ASSERT_TRUE(got) << where << ": " << got.error();
        EXPECT_EQ(got.value(), fresh) << where;
        EXPECT_EQ(read_decor_cache(f.cache).value(), fresh) << where;
      } else if (expected == "reuse") {
        ASSERT_TRUE(got) << where << ": " << got.error();
        EXPECT_EQ(got.value(), edited) << where;
        EXPECT_EQ(read_bytes(f.cache), before) << where;
      } else {
        ASSERT_FALSE(got) << where;
        EXPECT_EQ(got.error(), expected) << where;
        EXPECT_EQ(read_bytes(f.cache), before) << where;
      }
    }
  }
}

TEST(DecorEnsureCache, FailuresBeforeAndDuringBuilding) {
  Fixture f;
  struct Case {
    std::string message;
    std::function<void(DecorOptions&, PathwayDb&)> change;
  };
  const Case cases[] = {
      {"decor alpha must be a finite value >= 0",
       [](DecorOptions& o, PathwayDb&) { o.alpha = -1; }},
      {"method decor requires --decor-cache",
       [](DecorOptions& o, PathwayDb&) { o.cache_path.reset(); }},
      {"Failed to open '" + f.expression + ".missing'",
       [&](DecorOptions& o, PathwayDb&) { o.expression_path = f.expression + ".missing"; }},
      {"decor cache cannot store pathway '#n_rows=5': a name beginning with # would read back as "
       "a metadata line",
       [](DecorOptions&, PathwayDb& p) {
         p.push_back({"#n_rows=5", {"A"}, {}});
       }},
      {"Failed to create cache directory '" + f.gmt + "'",
       [&](DecorOptions& o, PathwayDb&) { o.cache_path = f.gmt + "/cache.tsv"; }},
  };
  for (const Case& c : cases) {
    DecorOptions options = f.options(DecorCacheMode::Auto, true);
    PathwayDb pathways = f.pathways;
    c.change(options, pathways);
    const auto got = ensure_decor_cache(pathways, f.gmt_sha256(), options);
    ASSERT_FALSE(got) << c.message;
    EXPECT_EQ(got.error(), c.message);
    EXPECT_FALSE(std::filesystem::exists(f.cache));
  }
  write_bytes(f.expression, "gene\ts1\ts2\nA\t1\tNA\n");
  EXPECT_EQ(
      ensure_decor_cache(f.pathways, f.gmt_sha256(), f.options(DecorCacheMode::Auto, true)).error(),
      "Failed to parse expression value 'NA' on line 2");
  EXPECT_FALSE(std::filesystem::exists(f.cache));
}

}  // namespace
}  // namespace quenfa::decor

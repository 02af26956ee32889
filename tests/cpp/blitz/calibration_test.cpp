#include <gtest/gtest.h>

#include "support/command_output.hpp"

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>

#include "quenfa/blitz/calibration.hpp"
#include "quenfa/blitz/model_cache.hpp"
#include "quenfa/runtime/worker_pool.hpp"

namespace quenfa::blitz {
namespace {

// Runs the NumPy/SciPy/statsmodels reference script and parses its hex floats.
std::vector<double> reference(const std::string& args) {
  const std::string command =
      "python3 " QUENFA_TEST_DATA_DIR "/blitz/calibration_reference.py " + args;
  const auto text = ::quenfa::test_support::command_output(command);
  if (!text) return {};
  std::vector<double> out;
  std::istringstream in(*text);
  for (std::string token; in >> token;) out.push_back(std::strtod(token.c_str(), nullptr));
  return out;
}

std::string hex(double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%a", v);
  return buffer;
}

BlitzSignature test_signature(std::size_t n) {
  BlitzSignature s;
  for (std::size_t i = 0; i < n; ++i) {
    s.names.push_back("g" + std::to_string(i));
    s.abs_scores.push_back(std::fabs(std::sin(1.3 * static_cast<double>(i))) * 3 +
                           (i % 7 == 0 ? 0.25 : 0.0));
  }
  return s;
}

TEST(BlitzAnchorSizes, GridFixedSizesAndBounds) {
  using V = std::vector<std::uint64_t>;
  EXPECT_EQ(anchor_sizes(1, 40, 1000).value(),
            (V{1, 2, 3, 4, 5, 6, 7, 11, 12, 16, 20, 30, 31, 40, 50, 60, 70, 80, 100}));
  EXPECT_EQ(anchor_sizes(1, 40, 13).value(), (V{1, 2, 3, 4, 5, 6, 7, 11, 12}));
  // x_l = l * 199 / 3 + 1 truncated: 1, 67, 133, 200.
  EXPECT_EQ(
      anchor_sizes(200, 4, 10000).value(),
      (V{1, 2, 3, 4, 5, 6, 7, 12, 16, 20, 30, 40, 50, 60, 67, 70, 80, 100, 133, 200, 210, 230}));
  EXPECT_EQ(anchor_sizes(0, 1, 3).value(), (V{1, 2}));
  EXPECT_EQ(anchor_sizes(5, 40, 1).error(),
            "blitz calibration produced no valid anchor set sizes.");
}

TEST(BlitzStreams, AnchorsGoToStreamsByProcessCount) {
  const auto streams = [](std::size_t anchors, std::uint64_t processes) {
    std::vector<std::size_t> out;
    for (std::size_t j = 0; j < anchors; ++j)
      out.push_back(stream_for_anchor(j, anchors, processes));
    return out;
  };
  using V = std::vector<std::size_t>;
  EXPECT_EQ(streams(8, 4), (V{0, 1, 2, 3, 1, 2, 0, 3}));
  EXPECT_EQ(streams(8, 3), (V{0, 1, 2, 0, 1, 2, 0, 1}));
  EXPECT_EQ(streams(8, 2), (V{0, 1, 0, 1, 0, 1, 0, 1}));
  EXPECT_EQ(streams(3, 8), (V{0, 1, 2}));
  EXPECT_EQ(streams(4, 1), (V{0, 0, 0, 0}));
  EXPECT_EQ(streams(5, 0), (V{0, 0, 0, 0, 0}));
  // With five anchors and four processes there are four streams: the special order.
  EXPECT_EQ(streams(5, 4), (V{0, 1, 2, 3, 1}));
  // The seed's high bits are ignored: 2^32 + 5 draws as 5.
  random::NumpyMt19937 a = random::numpy_mt19937((std::uint64_t{1} << 32) + 5),
                       b = random::numpy_mt19937(5);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(a.next_u32(), b.next_u32());
}

TEST(BlitzNumpyReference, LegacyGaussianMatchesRandomState) {
  const std::vector<double> expected = reference("gauss 12345 101");
  ASSERT_EQ(expected.size(), 101u) << "python3 with numpy is needed (make test installs it)";
  random::NumpyMt19937 gen = random::numpy_mt19937(12345);
  random::NumpyLegacyGauss gauss;
  for (double e : expected) EXPECT_EQ(hex(gauss.next(gen)), hex(e));
}

TEST(BlitzNumpyReference, AnchorFitsMatchNumpyAndScipyBitForBit) {
  struct Case {
    std::size_t n;
    std::uint64_t k, permutations, seed;
    bool symmetric;
  };
  const Case cases[] = {
      {60, 7, 700, 1, false},    // both sides large: separate fits
      {60, 7, 300, 2, false},    // a side below 250: one fit for both
      {45, 20, 600, 3, true},    // symmetric by request
      {129, 1, 400, 77, false},  // single-gene sets
  };
  for (const Case& c : cases) {
    const std::string args = "anchor " + std::to_string(c.n) + " " + std::to_string(c.k) + " " +
                             std::to_string(c.permutations) + " " + std::to_string(c.seed) + " " +
                             std::to_string(c.symmetric);
    const std::vector<double> e = reference(args);
    ASSERT_EQ(e.size(), 5u) << "python3 with numpy and scipy is needed: " << args;
    const BlitzSignature sig = test_signature(c.n);
    random::NumpyMt19937 gen = random::numpy_mt19937(c.seed);
    AnchorScratch scratch;
    const auto fit = estimate_anchor(sig, c.k, c.permutations, c.symmetric, gen, scratch,
                                     runtime::current_run());
    ASSERT_TRUE(fit.ok()) << fit.error();
    const AnchorFit& f = fit.value();
    EXPECT_EQ(hex(f.alpha_pos), hex(e[0])) << args;
    EXPECT_EQ(hex(f.beta_pos), hex(e[1])) << args;
    EXPECT_EQ(hex(f.alpha_neg), hex(e[2])) << args;
    EXPECT_EQ(hex(f.beta_neg), hex(e[3])) << args;
    EXPECT_EQ(hex(f.pos_ratio), hex(e[4])) << args;
  }
}

TEST(BlitzNumpyReference, LowessMatchesStatsmodels) {
  struct Case {
    std::vector<double> x, y;
    double frac;
  };
  std::vector<double> x, y, noisy;
  for (int i = 0; i < 40; ++i) {
    x.push_back(i < 8 ? i + 1 : 8 + (i - 7) * 13);
    y.push_back(2.0 + std::sin(i * 0.4) + 0.01 * i);
    noisy.push_back(i % 9 == 0 ? 40.0 : std::log(x.back()));  // outliers for the robust passes
  }
  const Case cases[] = {
      {x, y, 0.6}, {x, y, 0.15}, {x, noisy, 0.5}, {{1, 2, 3, 5}, {4, 1, 3, 2}, 0.5}};
  for (const Case& c : cases) {
    std::string args = "lowess " + std::to_string(c.frac);
    for (double v : c.x) args += " " + hex(v);
    args += " --";
    for (double v : c.y) args += " " + hex(v);
    const std::vector<double> expected = reference(args);
    ASSERT_EQ(expected.size(), c.x.size()) << "python3 with statsmodels is needed";
    const LinearInterp got = lowess_interpolation(c.x, c.y, c.frac);
    for (std::size_t i = 0; i < c.x.size(); ++i) EXPECT_EQ(hex(got.ys[i]), hex(expected[i])) << i;
  }
}

TEST(BlitzSmoothing, TwoAnchorsGiveTheLineThroughTheirValuesAndInterpolationExtrapolates) {
  const LinearInterp line =
      lowess_interpolation(std::vector<double>{10, 20}, std::vector<double>{1.0, 3.0}, 0.6);
  EXPECT_EQ(line.at(10), 1.0);
  EXPECT_EQ(line.at(20), 3.0);
  EXPECT_EQ(line.at(15), 2.0);
  EXPECT_EQ(line.at(30), 5.0);
  EXPECT_EQ(line.at(0), -1.0);
  EXPECT_TRUE(std::isnan(LinearInterp{}.at(1)));
  EXPECT_EQ((LinearInterp{{4}, {7}}).at(100), 7.0);
}

TEST(BlitzFit, EmptyPositiveSampleAndEmptyScoreSamplesFail) {
  AnchorScratch scratch;
  const std::vector<double> nothing_positive = {0.0, -1.0, std::nan("")};
  EXPECT_EQ(fit_gamma_floc0_with_scratch(nothing_positive, scratch).error(),
            "cannot fit gamma distribution to an empty positive sample.");

  // Without a single random set there is no score to fit (the engine refuses
  // zero permutations before it gets here; this is the step's own guard).
  random::NumpyMt19937 gen = random::numpy_mt19937(3);
  EXPECT_EQ(estimate_anchor(test_signature(12), 4, 0, false, gen, scratch, runtime::current_run())
                .error(),
            "blitz calibration generated no finite enrichment scores for set size 4.");
}

TEST(BlitzModel, DeterministicAcrossThreadCountsAndCachedAfterwards) {
  const BlitzSignature sig = test_signature(300);
  BlitzOptions options;
  options.permutations = 300;
  options.anchors = 6;
  options.processes = 3;
  options.seed = 9;
  const auto first = estimate_model(sig, 40, options);
  ASSERT_TRUE(first.ok()) << first.error();
  const auto again = estimate_model(sig, 40, options);  // pool already running
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(first.value().alpha_pos.ys, again.value().alpha_pos.ys);
  EXPECT_EQ(first.value().pos_ratio.ys, again.value().pos_ratio.ys);
  // Streams run as pool tasks; walking them one after the other by hand gives
  // the same fits, so scheduling and thread count cannot matter.
  const std::vector<std::uint64_t> sizes = anchor_sizes(40, 6, 300).value();
  const auto fits = estimate_anchor_fits(sig, sizes, options).value();
  for (std::size_t s = 0; s < 3; ++s) {
    random::NumpyMt19937 gen = random::numpy_mt19937(options.seed);
    AnchorScratch scratch;
    for (std::size_t j = 0; j < sizes.size(); ++j) {
      if (stream_for_anchor(j, sizes.size(), 3) != s) continue;
      const AnchorFit f =
          estimate_anchor(sig, sizes[j], 300, false, gen, scratch, runtime::current_run()).value();
      EXPECT_EQ(hex(f.alpha_pos), hex(fits[j].alpha_pos));
      EXPECT_EQ(hex(f.beta_neg), hex(fits[j].beta_neg));
    }
  }
  BlitzOptions one_stream = options;
  one_stream.processes = 1;
  EXPECT_NE(estimate_model(sig, 40, one_stream).value().beta_neg.ys, first.value().beta_neg.ys);

  const BlitzModelCacheKey key = blitz_model_cache_key(sig, 40, options);
  int calibrations = 0;
  const auto calibrate = [&]() -> Result<BlitzModel> {
    ++calibrations;
    return estimate_model(sig, 40, options);
  };
  const auto miss = cached_blitz_model(key, calibrate);
  const auto hit = cached_blitz_model(key, calibrate);
  EXPECT_FALSE(miss.value().cache_hit);
  EXPECT_TRUE(hit.value().cache_hit);
  EXPECT_EQ(calibrations, 1);
  EXPECT_EQ(hit.value().model.beta_pos.ys, first.value().beta_pos.ys);
  const auto failing = [] { return Result<BlitzModel>(Error{"boom"}); };
  BlitzOptions other = options;
  other.processes = 2;
  EXPECT_EQ(cached_blitz_model(blitz_model_cache_key(sig, 40, other), failing).error(), "boom");
}

}  // namespace
}  // namespace quenfa::blitz

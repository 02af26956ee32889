// High-precision numbers and contexts: precisions from decimal digits, the
// rounding of results to p bits, infinities and NaN, conversion to double.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "quenfa/blitz/mpmath/gamma_prefactor.hpp"
#include "quenfa/blitz/mpmath/hp_context.hpp"
#include "quenfa/blitz/mpmath/ln_factorial.hpp"

namespace quenfa::test {
namespace {

using blitz::Hp;
using blitz::HpContext;

Hp value(const Result<Hp>& r) {
  EXPECT_TRUE(r.ok()) << r.error();
  return r.ok() ? r.value() : Hp();
}

// a + b * 2^e, exactly (the context's W must hold it).
Hp sum_pow2(const HpContext& ctx, double a, double b, int e) {
  return value(ctx.add(value(ctx.from_f64(a)), value(ctx.from_f64(std::ldexp(b, e)))));
}

TEST(BlitzHpContext, PrecisionsFromDecimalDigits) {
  struct Row {
    std::uint64_t d;
    mpfr_prec_t p, w, tail_p, tail_w;
  };
  for (const auto& row : std::vector<Row>{{0, 3, 64, 3, 64},
                                          {1, 10, 64, 7, 64},
                                          {50, 336, 384, 169, 192},
                                          {200, 1332, 1344, 668, 704}}) {
    SCOPED_TRACE(row.d);
    const auto cdf = HpContext::for_gammacdf(row.d).value();
    EXPECT_EQ(cdf.precision(), row.p);
    EXPECT_EQ(cdf.working_precision(), row.w);
    EXPECT_FALSE(cdf.rounds_results());
    const auto tail = HpContext::for_tail(row.d).value();
    EXPECT_EQ(tail.precision(), row.tail_p);
    EXPECT_EQ(tail.working_precision(), row.tail_w);
    EXPECT_TRUE(tail.rounds_results());
  }
}

// d >= 2^63, and below it any d whose precision MPFR cannot hold (which
// would otherwise abort inside MPFR).
TEST(BlitzHpContext, TooManyDigits) {
  for (const std::uint64_t d :
       {std::uint64_t{1} << 63, UINT64_MAX, (std::uint64_t{1} << 63) - 1, std::uint64_t{1} << 62}) {
    SCOPED_TRACE(d);
    for (const auto& r : {HpContext::for_gammacdf(d), HpContext::for_tail(d)}) {
      ASSERT_FALSE(r.ok());
      EXPECT_EQ(r.error(), "blitz mpmath fallback dps is too large");
    }
  }
}

TEST(BlitzHpContext, ResultsRoundToPBitsOnlyWithTheFlag) {
  const HpContext exact(10, false), rounding(10, true);
  // 1 + 2^-60 fits in W = 64 bits but not in p = 10.
  EXPECT_EQ(render_f64(value(exact.sub(sum_pow2(exact, 1, 1, -60), value(exact.from_f64(1))))),
            std::ldexp(1.0, -60));
  EXPECT_EQ(render_f64(sum_pow2(rounding, 1, 1, -60)), 1.0);
  // Conversions are operations too: 1/3 keeps 10 bits.
  EXPECT_EQ(render_f64(value(rounding.from_f64(1.0 / 3))), 683 * std::ldexp(1.0, -11));
  // round_to_context: nearest, ties to even, whatever the flag.
  struct Row {
    double b;
    double expected;
  };
  for (const auto& [b, expected] : std::vector<Row>{{1, 1.0},  // 1 + 2^-10: tie, down to even
                                                    {3, 1 + std::ldexp(1.0, -8)},  // tie, up
                                                    {1.5, 1 + std::ldexp(1.0, -9)}}) {
    SCOPED_TRACE(b);
    EXPECT_EQ(render_f64(value(exact.round_to_context(sum_pow2(exact, 1, b, -10)))), expected);
  }
  // Infinities pass through the rounding.
  EXPECT_EQ(render_f64(value(exact.round_to_context(value(exact.from_f64(-INFINITY))))), -INFINITY);
}

TEST(BlitzHpContext, InfinitiesAreValuesAndNaNIsAnError) {
  const HpContext ctx(336, false);
  const Hp zero = value(ctx.from_f64(0.0)), neg_zero = value(ctx.from_f64(-0.0));
  const Hp inf = value(ctx.from_f64(INFINITY)), neg_inf = value(ctx.from_f64(-INFINITY));
  const Hp two = value(ctx.from_u64(2)), minus_two = value(ctx.from_f64(-2.0));
  struct Row {
    const char* what;
    std::function<Result<Hp>()> op;
    double expected;  // NaN: the NaN error
  };
  const double nan = NAN;
  const std::vector<Row> rows = {
      {"ln +0", [&] { return ctx.ln(zero); }, -INFINITY},
      {"ln -0", [&] { return ctx.ln(neg_zero); }, -INFINITY},
      {"ln +inf", [&] { return ctx.ln(inf); }, INFINITY},
      {"exp -inf", [&] { return ctx.exp(neg_inf); }, 0.0},
      {"exp +inf", [&] { return ctx.exp(inf); }, INFINITY},
      {"-2 * inf", [&] { return ctx.mul(minus_two, inf); }, -INFINITY},
      {"inf - 2", [&] { return ctx.sub(inf, two); }, INFINITY},
      {"2 / -0", [&] { return ctx.div(two, neg_zero); }, -INFINITY},
      {"0 * inf", [&] { return ctx.mul(zero, inf); }, nan},
      {"inf - inf", [&] { return ctx.sub(inf, inf); }, nan},
      {"ln -inf", [&] { return ctx.ln(neg_inf); }, nan},
      {"sqrt -2", [&] { return ctx.sqrt(minus_two); }, nan},
      {"from NaN", [&] { return ctx.from_f64(nan); }, nan},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const auto r = row.op();
    if (std::isnan(row.expected)) {
      ASSERT_FALSE(r.ok());
      EXPECT_EQ(r.error(), "blitz mpmath fallback produced NaN");
    } else {
      ASSERT_TRUE(r.ok()) << r.error();
      EXPECT_EQ(render_f64(r.value()), row.expected);
      EXPECT_EQ(std::signbit(render_f64(r.value())), std::signbit(row.expected));
    }
  }
}

// The nearest double, ties to even, down to the subnormals and up to overflow.
TEST(BlitzHp, RenderF64RoundsToNearestDouble) {
  const HpContext ctx(128, false);
  const double tiny = std::numeric_limits<double>::denorm_min();
  struct Row {
    double a, b;
    int e;
    double expected;
  };
  for (const auto& row : std::vector<Row>{
           {1, 1, -53, 1.0},                       // tie: to even
           {1, 3, -53, 1 + std::ldexp(1.0, -51)},  // tie: to even, up
           {1, 1.0000001, -53, 1 + std::ldexp(1.0, -52)},
           {0, 1, -1075, 0.0},  // half the smallest subnormal
           {0, 1.5, -1075, tiny},
           {0, 3, -1075, 2 * tiny},  // tie between 1 and 2 subnormal units
           {0, -1, 1024, -INFINITY},
           {std::numeric_limits<double>::max(), 1, 969, std::numeric_limits<double>::max()},
       }) {
    SCOPED_TRACE(testing::Message() << row.a << " + " << row.b << " * 2^" << row.e);
    EXPECT_EQ(render_f64(sum_pow2(ctx, row.a, row.b, row.e)), row.expected);
  }
}

TEST(BlitzHp, LnFactorialAndPrefactorEdges) {
  const HpContext ctx(336, false);
  for (const std::uint64_t n : {0, 1}) EXPECT_TRUE(value(blitz::ln_factorial(ctx, n)).is_zero());
  EXPECT_EQ(value(blitz::ln_factorial(ctx, 2)), value(ctx.ln(value(ctx.from_u64(2)))));
  // z = -0: ln z = -inf, the prefactor is exp(-inf) = +0 for every branch.
  for (const double a : {3.0, 2.5, 0.7}) {
    const Hp p = value(blitz::gamma_prefactor(ctx, a, value(ctx.from_f64(-0.0))));
    EXPECT_TRUE(p.is_zero());
    EXPECT_FALSE(p.sign_bit());
  }
}

}  // namespace
}  // namespace quenfa::test

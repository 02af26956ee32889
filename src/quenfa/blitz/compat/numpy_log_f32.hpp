// NumPy's single-precision natural logarithm: np.log on float32 data as its
// vectorised x86-64 loop computes it, lane by lane.
#pragma once

namespace quenfa::blitz::compat {

// log(x) in float, as NumPy's AVX2/AVX512F loop computes it:
//   NaN -> quiet NaN (0x7fc00000); +inf -> +inf; +-0 -> -inf;
//   x < 0 -> NaN with the sign bit set (0xffc00000);
//   subnormal x -> the C library's logf(x) (NumPy's AVX512F loop normalises
//     subnormals and uses the polynomial; the two can differ by one ulp);
//   otherwise x = m 2^e with m in [sqrt(1/2), sqrt(2)), t = m - 1 and
//   log x = e ln2 + N(t)/D(t), a degree-5 rational approximation evaluated
//   with single-precision fused multiply-adds.
float numpy_log_f32(float x);

}  // namespace quenfa::blitz::compat

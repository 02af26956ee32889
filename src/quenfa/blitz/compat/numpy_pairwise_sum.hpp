// NumPy's pairwise summation (the inner loop of np.add.reduce on contiguous
// float64 and float32 data). The order of additions is part of the result.
#pragma once

#include <span>

namespace quenfa::blitz::compat {

// Sum of a[0..n) as np.sum computes it:
//   n = 0:          -0.0 (the reduction's initial value);
//   n < 8:          a[0] + a[1] + ... left to right;
//   8 <= n <= 128:  eight strided accumulators r[k] over the multiple-of-8
//                   prefix, combined as ((r0+r1)+(r2+r3))+((r4+r5)+(r6+r7)),
//                   then the remaining values left to right;
//   n > 128:        sum(a[0..h)) + sum(a[h..n)) with h = (n / 2) rounded down
//                   to a multiple of 8.
double numpy_pairwise_sum_f64(std::span<const double> a);

// The same with float accumulators throughout (np.sum of a float32 array).
float numpy_pairwise_sum_f32(std::span<const float> a);

}  // namespace quenfa::blitz::compat

// Machine constants of the Cephes library as SciPy ships it (cephes/const.h).
#pragma once

namespace quenfa::blitz::compat {

// 2^-53, the relative spacing below 1.
inline constexpr double kMachEp = 1.1102230246251565e-16;
// log(DBL_MAX).
inline constexpr double kMaxLog = 709.782712893384;
// Euler's constant.
inline constexpr double kEuler = 0.5772156649015329;
// sqrt(2 pi).
inline constexpr double kSqrt2Pi = 2.5066282746310007;
// log(pi).
inline constexpr double kLogPi = 1.1447298858494002;
// pi, as the C library's M_PI.
inline constexpr double kPi = 3.141592653589793;

}  // namespace quenfa::blitz::compat

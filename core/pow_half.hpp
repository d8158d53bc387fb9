// x^0.5 exactly as the C library's pow gives it, mostly without paying for pow.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace kavor {

// std::pow(x, 0.5), bit for bit. The lengths of the analysis are written as
// pow(., 0.5), and pow is not correctly rounded, so std::sqrt alone could
// differ in the last bit. glibc's pow (sysdeps/ieee754/dbl-64/e_pow.c) states
// a worst-case error of 0.54 ULP for normal results. When the exact root y
// lies within 0.4 ULP of s = sqrt(x) (correctly rounded), every other double
// is at least 0.6 ULP from y, so pow must return s as well. Here
// y - s = r / (y + s) with r = x - s^2 (exact with fma), and
// y + s >= 2 s - ULP/2 > 2 s (1 - 2^-54), so |r| <= 0.79 ULP s is enough.
// A power of two (its lower neighbour is only half an ULP away), and x outside
// the range where s and its ULP are normal numbers, go to pow.
inline double pow_half(double x) {
  if (x >= 0x1p-900 && x <= 0x1p1000) {
    const double s = std::sqrt(x);
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(s);
    constexpr std::uint64_t kExponent = 0x7ff0000000000000u;
    if ((bits & ~kExponent) != 0) {
      // 2^(e - 52) for s in [2^e, 2^(e + 1)): one unit in the last place.
      const double ulp = std::bit_cast<double>((bits & kExponent) - (std::uint64_t{52} << 52));
      const double r = std::fma(-s, s, x);
      if (std::fabs(r) <= 0.79 * ulp * s) return s;
    }
  }
  return std::pow(x, 0.5);
}

}  // namespace kavor

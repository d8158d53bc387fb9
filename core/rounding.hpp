// Rounding to a whole number, half away from zero, for values read from
// users: saturates instead of overflowing, so that 1e308 degrees is still
// "more than 360" rather than whatever an overflowed conversion gives.
#pragma once

#include <climits>
#include <cmath>

namespace kavor {

inline long nearest_whole(double value) {
  if (std::isnan(value)) return LONG_MIN;
  if (value >= 9.0e18) return LONG_MAX;
  if (value <= -9.0e18) return LONG_MIN;
  return std::lround(value);
}

}  // namespace kavor

// Decimal helpers shared by tds_value.cpp (comparison) and tds_convert.cpp (conversion).
#pragma once

#include <cmath>

#include "tds_value.hpp"

namespace tds::value_detail {

constexpr __int128 pow10(int n) {
  __int128 r = 1;
  for (int i = 0; i < n; ++i) r *= 10;
  return r;
}

// Rescales with rounding half away from zero, as SQL Server does on conversion to numeric.
inline __int128 rescale(__int128 digits, int from, int to) {
  if (to >= from) return digits * pow10(to - from);
  __int128 div = pow10(from - to);
  __int128 q = digits / div, r = digits % div;
  if (r < 0) r = -r;
  if (r * 2 >= div) q += digits < 0 ? -1 : 1;
  return q;
}

inline double decimal_to_double(const value& v) {
  return static_cast<double>(v.dec) / std::pow(10.0, v.scale);
}

}  // namespace tds::value_detail

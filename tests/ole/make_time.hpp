// A SYSTEMTIME from its fields, for the value tests.
#pragma once

#include <cstdint>

#include "ole_types.hpp"

inline SYSTEMTIME make_time(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  SYSTEMTIME st;
  st.wYear = static_cast<std::uint16_t>(y);
  st.wMonth = static_cast<std::uint16_t>(mo);
  st.wDay = static_cast<std::uint16_t>(d);
  st.wHour = static_cast<std::uint16_t>(h);
  st.wMinute = static_cast<std::uint16_t>(mi);
  st.wSecond = static_cast<std::uint16_t>(s);
  return st;
}

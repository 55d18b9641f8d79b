#include "tds_text.hpp"

#include <cstdint>

namespace tds {
namespace {

// Code page 1252 for 0x80..0x9F; the rest of the page matches Latin-1. Zero marks an unassigned
// byte.
constexpr char16_t k_cp1252_high[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void append_utf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one code point at `pos`, advancing it; malformed input yields U+FFFD and one byte.
uint32_t next_code_point(std::string_view s, size_t& pos) {
  auto b0 = static_cast<uint8_t>(s[pos]);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  int extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : -1;
  if (extra < 0 || pos + static_cast<size_t>(extra) >= s.size()) {
    ++pos;
    return 0xFFFD;
  }
  uint32_t cp = b0 & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    auto b = static_cast<uint8_t>(s[pos + i]);
    if ((b & 0xC0) != 0x80) {
      ++pos;
      return 0xFFFD;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  pos += extra + 1;
  return cp > 0x10FFFF ? 0xFFFD : cp;
}

}  // namespace

std::string utf16le_to_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  size_t n = bytes.size() / 2;
  auto unit = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                 (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
  };
  for (size_t i = 0; i < n; ++i) {
    uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
      append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      append_utf8(out, 0xFFFD);
    } else {
      append_utf8(out, u);
    }
  }
  return out;
}

std::string utf8_to_utf16le(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  auto put = [&](uint32_t u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  };
  for (size_t pos = 0; pos < text.size();) {
    uint32_t cp = next_code_point(text, pos);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

std::string utf8_to_cp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    uint32_t cp = next_code_point(text, pos);
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    char mapped = '?';
    for (int i = 0; i < 32; ++i)
      if (k_cp1252_high[i] != 0 && k_cp1252_high[i] == cp) mapped = static_cast<char>(0x80 + i);
    out.push_back(mapped);
  }
  return out;
}

std::string cp1252_to_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    auto b = static_cast<uint8_t>(c);
    if (b >= 0x80 && b < 0xA0)
      append_utf8(out, k_cp1252_high[b - 0x80] ? k_cp1252_high[b - 0x80] : 0xFFFD);
    else
      append_utf8(out, b);
  }
  return out;
}

size_t utf16_length(std::string_view text) {
  size_t n = 0;
  for (size_t pos = 0; pos < text.size();) n += next_code_point(text, pos) >= 0x10000 ? 2 : 1;
  return n;
}

size_t code_points(std::string_view text) {
  size_t n = 0;
  for (size_t pos = 0; pos < text.size();) {
    next_code_point(text, pos);
    ++n;
  }
  return n;
}

std::string utf8_prefix_units(std::string_view text, size_t count, bool utf16_units) {
  size_t units = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t before = pos;
    uint32_t cp = next_code_point(text, pos);
    size_t w = (utf16_units && cp >= 0x10000) ? 2 : 1;
    if (units + w > count) {
      pos = before;
      break;
    }
    units += w;
  }
  return std::string(text.substr(0, pos));
}

std::u32string utf8_to_u32(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) out.push_back(next_code_point(text, pos));
  return out;
}

std::string fold_case(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace tds

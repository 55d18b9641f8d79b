#include "wb_text.hpp"

#include "wb_limits.hpp"

void wb_append_utf8(std::string_view s, std::wstring& out) {
  std::size_t i = 0, n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out += static_cast<wchar_t>(c);
      ++i;
      continue;
    }
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    if (extra < 0 || c > 0xF4 || i + static_cast<std::size_t>(extra) >= n) {
      out += L'\uFFFD';
      ++i;
      continue;
    }
    std::uint32_t code = c & (0x3Fu >> extra);
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      unsigned char d = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      if ((d & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      code = (code << 6) | (d & 0x3Fu);
    }
    static constexpr std::uint32_t min_code[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || code < min_code[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      out += L'\uFFFD';
      ++i;
      continue;
    }
    out += static_cast<wchar_t>(code);
    i += static_cast<std::size_t>(extra) + 1;
  }
}

std::wstring wb_from_utf8(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  wb_append_utf8(utf8, out);
  return out;
}

namespace {
int hex_digit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}
}  // namespace

std::wstring wb_decode_escapes(std::wstring text) {
  std::size_t at = text.find(L"_x");
  if (at == std::wstring::npos) return text;
  std::wstring out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == L'_' && i + 6 < text.size() && text[i + 1] == L'x' && text[i + 6] == L'_') {
      int value = 0;
      bool ok = true;
      for (std::size_t k = 2; k < 6; ++k) {
        int d = hex_digit(text[i + k]);
        if (d < 0) ok = false;
        value = value * 16 + (d < 0 ? 0 : d);
      }
      if (ok) {
        out += static_cast<wchar_t>(value);
        i += 7;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

namespace {
// Reads [$]letters; the 0-based column.
std::optional<std::uint32_t> read_col(std::string_view s, std::size_t& i) {
  if (i < s.size() && s[i] == '$') ++i;
  std::uint32_t col = 0;
  std::size_t start = i;
  while (i < s.size() && ((s[i] >= 'A' && s[i] <= 'Z') || (s[i] >= 'a' && s[i] <= 'z'))) {
    col = col * 26 + static_cast<std::uint32_t>((s[i] | 0x20) - 'a' + 1);
    if (col > wb_limits::max_columns) return std::nullopt;
    ++i;
  }
  if (i == start) return std::nullopt;
  return col - 1;
}

std::optional<std::uint32_t> read_row(std::string_view s, std::size_t& i) {
  if (i < s.size() && s[i] == '$') ++i;
  std::uint32_t row = 0;
  std::size_t start = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    row = row * 10 + static_cast<std::uint32_t>(s[i] - '0');
    if (row > wb_limits::max_rows) return std::nullopt;
    ++i;
  }
  if (i == start || row == 0) return std::nullopt;
  return row - 1;
}
}  // namespace

std::optional<wb_cell_ref> wb_parse_ref(std::string_view ref) {
  std::size_t i = 0;
  auto col = read_col(ref, i);
  if (!col) return std::nullopt;
  auto row = read_row(ref, i);
  if (!row || i != ref.size()) return std::nullopt;
  return wb_cell_ref{*row, *col};
}

std::optional<std::uint32_t> wb_parse_col(std::string_view ref) {
  std::size_t i = 0;
  return read_col(ref, i);
}

namespace {
// One end of an area: a cell, a whole column or a whole row.
struct area_end {
  std::optional<std::uint32_t> row, col;
};
std::optional<area_end> read_end(std::string_view s) {
  std::size_t i = 0;
  area_end end;
  std::size_t save = i;
  if (auto col = read_col(s, i)) {
    end.col = col;
  } else {
    i = save;
  }
  save = i;
  if (auto row = read_row(s, i)) end.row = row;
  if (i != s.size() || (!end.row && !end.col)) return std::nullopt;
  return end;
}
}  // namespace

std::optional<wb_area> wb_parse_area(std::string_view formula, std::wstring& sheet) {
  if (!formula.empty() && formula[0] == '=') formula.remove_prefix(1);
  std::size_t bang;
  std::string sheet_utf8;
  if (!formula.empty() && formula[0] == '\'') {
    std::size_t i = 1;
    for (;;) {
      if (i >= formula.size()) return std::nullopt;
      if (formula[i] == '\'') {
        if (i + 1 < formula.size() && formula[i + 1] == '\'') {
          sheet_utf8 += '\'';
          i += 2;
          continue;
        }
        break;
      }
      sheet_utf8 += formula[i++];
    }
    bang = i + 1;
    if (bang >= formula.size() || formula[bang] != '!') return std::nullopt;
  } else {
    bang = formula.find('!');
    if (bang == std::string_view::npos || bang == 0) return std::nullopt;
    sheet_utf8 = std::string(formula.substr(0, bang));
    for (char c : sheet_utf8)
      if (c == ',' || c == '(' || c == ' ' || c == ':' || c == '[') return std::nullopt;
  }
  std::string_view refs = formula.substr(bang + 1);
  std::size_t colon = refs.find(':');
  auto first = read_end(refs.substr(0, colon));
  auto last = colon == std::string_view::npos ? first : read_end(refs.substr(colon + 1));
  if (!first || !last) return std::nullopt;
  // Both ends must be of the same form (cells, columns or rows).
  if (first->row.has_value() != last->row.has_value() ||
      first->col.has_value() != last->col.has_value())
    return std::nullopt;
  wb_area area;
  area.first_row = first->row.value_or(0);
  area.last_row = last->row.value_or(wb_limits::max_rows - 1);
  area.first_col = first->col.value_or(0);
  area.last_col = last->col.value_or(wb_limits::max_columns - 1);
  if (area.first_row > area.last_row) std::swap(area.first_row, area.last_row);
  if (area.first_col > area.last_col) std::swap(area.first_col, area.last_col);
  sheet = wb_from_utf8(sheet_utf8);
  return area;
}

// Helpers of the workbook-reader tests: fixture paths and tables rendered as
// short strings ("n:1.5", "t:alpha", "d:2024-02-29 13:45:10", "b:1", "-").
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tk_text.hpp"
#include "wb_table.hpp"
#include "wb_workbook.hpp"

inline std::string fixture(const std::string& name) {
  return std::string(DAO_FIXTURES) + "/" + name;
}

inline std::unique_ptr<wb_workbook> open_fixture(const std::string& name) {
  return wb_workbook::open(wb_bytes::from_file(fixture(name)));
}

inline std::string render(const wb_value& v) {
  switch (v.kind) {
    case wb_value::kind_t::null:
      return "-";
    case wb_value::kind_t::text:
      return "t:" + tk_w2utf8(v.text);
    case wb_value::kind_t::boolean:
      return v.number != 0 ? "b:1" : "b:0";
    case wb_value::kind_t::number:
    case wb_value::kind_t::currency: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%s%.15g",
                    v.kind == wb_value::kind_t::number ? "n:" : "c:", v.number);
      return buf;
    }
    case wb_value::kind_t::date: {
      // Back to a 1900-system serial so that the reader's own printer shows it.
      wb_cell c;
      c.kind = wb_kind::number;
      c.format = wb_format_class::date;
      c.number = v.number >= 61 || v.number < 1 ? v.number : v.number - 1;
      return "d:" + tk_w2utf8(wb_cell_value::display(c, false));
    }
  }
  return "?";
}

inline std::vector<std::vector<std::string>> read_rows(const wb_table& table) {
  std::vector<std::vector<std::string>> rows;
  auto cursor = table.rows();
  std::vector<wb_value> values;
  while (cursor->next(values)) {
    std::vector<std::string> row;
    for (const auto& v : values) row.push_back(render(v));
    rows.push_back(row);
  }
  return rows;
}

inline std::size_t sheet_index(const wb_workbook& book, const std::wstring& name) {
  for (std::size_t i = 0; i < book.sheets().size(); ++i)
    if (book.sheets()[i].name == name) return i;
  return static_cast<std::size_t>(-1);
}

#include "xls_reader.hpp"

#include <cstdio>

#include "dao_database.hpp"
#include "dao_engine.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

xls_reader::xls_reader(const std::wstring& file_name,
                       std::map<std::wstring, std::wstring>& selected, const std::wstring& password)
    : file_name_(file_name), password_(password), selected_(selected) {}

xls_reader::~xls_reader() = default;

std::wstring xls_reader::connect_string(bool b_first_row) {
  std::wstring connect = L"Excel 5.0;";
  if (!b_first_row) connect += L" HDR=No;";
  connect += L" IMEX=1;";
  return connect;
}

std::unique_ptr<dao_database> xls_reader::open_xls(dao_engine& engine,
                                                   const std::wstring& file_name, bool b_first_row,
                                                   const std::wstring& password) {
  tk_trace(2, L"xls_reader::open_xls(%ls)", file_name.c_str());
  return engine.open_dao_src(file_name, connect_string(b_first_row), 1, password);
}

bool xls_reader::non_system(const std::wstring& name) {
  tk_trace(1, L"non_system (%ls)", name.c_str());
  if (name.size() < 2) return false;
  wchar_t last = name.back();
  return last == L'$' || (last == L'\'' && name[name.size() - 2] == L'$');
}

std::wstring xls_reader::simplify_name(const std::wstring& name) {
  tk_trace(1, L"xls_reader::simplify_name(%ls)", name.c_str());
  std::wstring simple = name;
  if (simple.size() > 2 && simple.front() == L'\'' && simple.back() == L'\'') {
    simple = simple.substr(1, simple.size() - 2);
    // Quoting doubled the sheet's own quotes; the user knows them single.
    for (std::size_t at = simple.find(L"''"); at != std::wstring::npos;
         at = simple.find(L"''", at + 1))
      simple.erase(at, 1);
  }
  if (simple.size() > 1 && simple.back() == L'$') simple.pop_back();
  // Only spaces are trimmed, not other blanks.
  while (!simple.empty() && simple.back() == L' ') simple.pop_back();
  std::size_t lead = simple.find_first_not_of(L' ');
  simple = lead == std::wstring::npos ? std::wstring() : simple.substr(lead);
  tk_trace(1, L"Simplified name: %ls", simple.c_str());
  return simple;
}

void xls_reader::fill_sheets(const dao_database& database, std::vector<std::wstring>& names) {
  tk_trace(1, "xls_reader::get_all_sheets(2)");
  worksheets.clear();
  for (const auto& table : database.get_tables()) {
    if (!non_system(table)) continue;
    std::wstring display = simplify_name(table);
    names.push_back(display);
    worksheets.emplace(display, table);  // the first of two alike wins
  }
}

bool xls_reader::get_all_sheets(std::vector<std::wstring>& names) {
  tk_trace(1, "xls_reader::get_all_sheets");
  names.clear();
  dao_engine engine(0);
  if (!engine.set_version_if(3) && !engine.set_version_if(0)) return false;
  std::unique_ptr<dao_database> database = open_xls(engine, file_name_, false, password_);
  fill_sheets(*database, names);
  return true;
}

void xls_reader::set_sel_sheets(const std::vector<std::wstring>& names) {
  tk_trace(1, "xls_reader::set_sel_sheets");
  tk_trace(1, "Total worksheets: %d", static_cast<int>(worksheets.size()));
  selected_.clear();
  missing_sheets.clear();
  std::map<std::wstring, std::wstring> chosen;
  for (const auto& name : names) {
    auto it = worksheets.find(name);
    if (it == worksheets.end()) {
      tk_trace(3, L"Worksheet %ls not found", name.c_str());
      missing_sheets.push_back(name);
      if (b_console_report) {
        std::string line = "Worksheet " + tk_w2a(name) + " not found\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
      }
      continue;
    }
    tk_trace(1, L"Worksheet %ls is selected", it->second.c_str());
    chosen.emplace(name, it->second);
    selected_.emplace(name, std::wstring());
  }
  if (chosen.size() != worksheets.size()) worksheets = std::move(chosen);
}

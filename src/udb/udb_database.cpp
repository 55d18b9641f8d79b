#include "udb_database.hpp"

#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

udb_database::udb_database(const std::wstring& name, int mode, bool b_case_sensitive)
    : mode_(mode), name_(name), b_case_sensitive_(b_case_sensitive) {
  tk_trace(1, L"udb_database::ctor(%ls)", name.c_str());
}

udb_database::~udb_database() { tk_trace(1, "udb_database::dtor"); }

bool udb_database::same_name(const std::wstring& a, const std::wstring& b) const {
  return b_case_sensitive_ ? a == b : tk_compare_nocase(a, b) == 0;
}

bool udb_database::is_table_exist(const std::wstring& name) const {
  tk_trace(1, L"udb_database::is_table_exist(%ls)", name.c_str());
  for (const std::wstring& table : tables_) {
    tk_trace(1, L"Compare with %ls", table.c_str());
    if (same_name(table, name)) {
      tk_trace(1, "table exists");
      return true;
    }
  }
  tk_trace(1, "table not found");
  return false;
}

bool udb_database::delete_tab(const std::wstring& name) {
  tk_trace(1, L"udb_database::delete_tab (%ls)", name.c_str());
  for (auto it = tables_.begin(); it != tables_.end(); ++it) {
    if (same_name(*it, name)) {
      tables_.erase(it);
      return true;
    }
  }
  TK_FAIL();
}

void udb_database::add_table_name(const std::wstring& name) {
  tk_trace(1, L"udb_database::add_table_name(%ls)", name.c_str());
  tables_.push_back(name);
}

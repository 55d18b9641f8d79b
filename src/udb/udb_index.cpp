#include "udb_index.hpp"

#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

bool udb_indexes::add(const udb_index& index) {
  tk_trace(1, L"udb_indexes::add(%ls)", index.name.c_str());
  if (!is_acceptable_name(index.name)) return false;
  if (key_index_ == -1 && (index.b_primary || index.b_unique)) {
    tk_trace(1, "Store primary/unique key");
    key_index_ = static_cast<int>(indexes_.size());
  }
  indexes_.push_back(index);
  return true;
}

void udb_indexes::clear() {
  tk_trace(1, "udb_indexes::clear");
  indexes_.clear();
  key_index_ = -1;
}

bool udb_indexes::is_acceptable_name(const std::wstring& name) const {
  tk_trace(1, L"udb_indexes::is_acceptable_name(%ls)", name.c_str());
  for (const udb_index& index : indexes_) {
    if (tk_compare_nocase(index.name, name) == 0) return false;
  }
  return true;
}

bool udb_indexes::is_idx_field(int position, const std::wstring& field) const {
  tk_trace(1, L"udb_indexes::is_idx_field(%d, %ls)", position, field.c_str());
  if (position < 0) return false;
  for (const std::wstring& column : at(static_cast<std::size_t>(position)).columns) {
    if (tk_compare_nocase(column, field) == 0) return true;
  }
  return false;
}

int udb_indexes::find_primary() const {
  tk_trace(1, "udb_indexes::find_primary");
  for (std::size_t i = 0; i < indexes_.size(); ++i) {
    if (indexes_[i].b_primary) return static_cast<int>(i);
  }
  return -1;
}

const udb_index& udb_indexes::at(std::size_t position) const {
  TK_ASSERT(position < indexes_.size());
  return indexes_[position];
}

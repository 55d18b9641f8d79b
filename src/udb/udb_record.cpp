#include "udb_record.hpp"

#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"
#include "udb_schema.hpp"

namespace {

const udb_field& empty_field() {
  static const udb_field empty;
  return empty;
}

}  // namespace

udb_record::udb_record() { tk_trace(1, "udb_record::ctor"); }

udb_record::udb_record(const udb_schema& names) : names_(&names) {
  tk_trace(1, "udb_record::ctor(%zu columns)", names.field_count());
}

udb_record::~udb_record() { tk_trace(1, "udb_record::dtor(%zu fields)", fields.size()); }

udb_field& udb_record::add_field(std::unique_ptr<udb_field> field) {
  TK_ASSERT(field != nullptr);
  tk_trace(1, "udb_record::add_field(#%zu)", fields.size() + 1);
  fields.push_back(std::move(field));
  return *fields.back();
}

udb_field& udb_record::field_at(std::size_t position) {
  TK_ASSERT(position < fields.size());
  return *fields[position];
}

const udb_field& udb_record::field_at(std::size_t position) const {
  TK_ASSERT(position < fields.size());
  return *fields[position];
}

const std::wstring& udb_record::field_name(std::size_t position) const {
  TK_ASSERT(position < fields.size());
  if (names_ != nullptr && position < names_->field_count()) return names_->field_at(position).name;
  return fields[position]->name;
}

bool udb_record::find_field(const std::wstring& name) const {
  tk_trace(1, L"udb_record::find_field(%ls)", name.c_str());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (tk_compare_nocase(field_name(i), name) == 0) return true;
  }
  return false;
}

const udb_field& udb_record::get_field(const std::wstring& name) const {
  tk_trace(1, L"udb_record::get_field(%ls)", name.c_str());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (tk_compare_nocase(field_name(i), name) == 0) return *fields[i];
  }
  return empty_field();
}

void udb_record::truncate(std::size_t count) {
  if (count < fields.size()) fields.resize(count);
}

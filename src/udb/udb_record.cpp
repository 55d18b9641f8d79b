#include "udb_record.hpp"

#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

const udb_field& empty_field() {
  static const udb_field empty;
  return empty;
}

}  // namespace

udb_record::udb_record() { tk_trace(1, "udb_record::ctor"); }

udb_record::~udb_record() { tk_trace(1, "udb_record::dtor(%zu fields)", fields.size()); }

udb_field& udb_record::add_field(std::unique_ptr<udb_field> field) {
  TK_ASSERT(field != nullptr);
  tk_trace(1, L"udb_record::add_field(%ls)", field->name.c_str());
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

bool udb_record::find_field(const std::wstring& name) const {
  tk_trace(1, L"udb_record::find_field(%ls)", name.c_str());
  for (const auto& field : fields) {
    tk_trace(1, L"Processing %ls", field->name.c_str());
    if (tk_compare_nocase(field->name, name) == 0) return true;
  }
  return false;
}

const udb_field& udb_record::get_field(const std::wstring& name) const {
  tk_trace(1, L"udb_record::get_field(%ls)", name.c_str());
  for (const auto& field : fields) {
    if (tk_compare_nocase(field->name, name) == 0) return *field;
  }
  return empty_field();
}

#include "udb_schema.hpp"

#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

udb_schema::udb_schema(bool b_owns_fields) : b_owns_fields(b_owns_fields) {
  tk_trace(1, "udb_schema::ctor(b_owns_fields=%d)", static_cast<int>(b_owns_fields));
}

udb_schema::~udb_schema() { tk_trace(1, "udb_schema::dtor"); }

t_ftd& udb_schema::add_field(std::unique_ptr<t_ftd> field) {
  TK_ASSERT(field != nullptr);
  TK_ASSERT(b_owns_fields);
  tk_trace(1, L"udb_schema::add_field(%ls)", field->name.c_str());
  fields.push_back(field.get());
  owned_.push_back(std::move(field));
  return *fields.back();
}

t_ftd& udb_schema::add_field(t_ftd& field) {
  TK_ASSERT(!b_owns_fields);
  tk_trace(1, L"udb_schema::add_field(%ls)", field.name.c_str());
  fields.push_back(&field);
  return field;
}

t_ftd& udb_schema::field_at(std::size_t position) {
  TK_ASSERT(position < fields.size());
  return *fields[position];
}

const t_ftd& udb_schema::field_at(std::size_t position) const {
  TK_ASSERT(position < fields.size());
  return *fields[position];
}

t_ftd* udb_schema::lookup(const std::wstring& name) const {
  for (t_ftd* field : fields) {
    tk_trace(1, L"Processing %ls", field->name.c_str());
    if (tk_compare_nocase(field->name, name) == 0) return field;
  }
  return nullptr;
}

t_ftd& udb_schema::lookup_or_fail(const std::wstring& name) const {
  t_ftd* field = lookup(name);
  TK_ASSERT(field != nullptr);
  return *field;
}

bool udb_schema::find_field(const std::wstring& name) const {
  tk_trace(1, L"udb_schema::find_field(%ls)", name.c_str());
  return lookup(name) != nullptr;
}

t_ftd& udb_schema::get_field(const std::wstring& name) {
  tk_trace(1, L"udb_schema::get_field(%ls)", name.c_str());
  return lookup_or_fail(name);
}

const t_ftd& udb_schema::get_field(const std::wstring& name) const {
  tk_trace(1, L"udb_schema::get_field(%ls)", name.c_str());
  return lookup_or_fail(name);
}

std::int32_t udb_schema::get_field_size(const std::wstring& name) const {
  tk_trace(1, L"udb_schema::get_field_size(%ls)", name.c_str());
  return lookup_or_fail(name).size;
}

VARTYPE udb_schema::get_field_type(const std::wstring& name) const {
  tk_trace(1, L"udb_schema::get_field_type(%ls)", name.c_str());
  return lookup_or_fail(name).vartype;
}

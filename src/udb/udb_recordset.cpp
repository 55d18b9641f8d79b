#include "udb_recordset.hpp"

#include <algorithm>

#include "tk_trace.hpp"

udb_recordset::udb_recordset(const std::wstring& name, const std::wstring& source_text,
                             bool b_owns_fields)
    : source_text(source_text), name(name), schema(b_owns_fields) {
  tk_trace(1, L"udb_recordset::ctor(%ls, %ls)", name.c_str(), source_text.c_str());
}

udb_recordset::udb_recordset(const std::wstring& name, bool b_owns_fields)
    : name(name), schema(b_owns_fields) {
  tk_trace(1, L"udb_recordset::ctor(%ls)", name.c_str());
}

udb_recordset::~udb_recordset() { tk_trace(1, L"udb_recordset::dtor(%ls)", name.c_str()); }

void udb_recordset::update() { tk_trace(1, "udb_recordset::update"); }

udb_record* udb_recordset::create_record() {
  tk_trace(1, "udb_recordset::create_record");
  return nullptr;
}

bool udb_recordset::is_eof() {
  tk_trace(1, "udb_recordset::is_eof");
  return true;
}

bool udb_recordset::has_source_text() const {
  tk_trace(1, "udb_recordset::has_source_text");
  return !source_text.empty();
}

void udb_recordset::move_next() { tk_trace(1, "udb_recordset::move_next"); }

void udb_recordset::convert_record(udb_record& record) const {
  tk_trace(1, "udb_recordset::convert_record");
  const std::size_t count = std::min(record.field_count(), schema.field_count());
  for (std::size_t i = 0; i < count; ++i) {
    udb_field& field = record.field_at(i);
    const t_ftd& column = schema.field_at(i);
    tk_trace(1, L"column %ls", column.name.c_str());
    field.change_type(column.vartype);
  }
}

void udb_recordset::clean_indexes() {
  tk_trace(1, "udb_recordset::clean_indexes");
  indexes.clear();
}

void udb_recordset::add_index(const udb_index& index) {
  tk_trace(1, "udb_recordset::add_index");
  indexes.add(index);
}

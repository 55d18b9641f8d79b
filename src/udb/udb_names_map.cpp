#include "udb_names_map.hpp"

#include "tk_trace.hpp"

void udb_names_map::add_table(const std::wstring& source, const std::wstring& destination) {
  tk_trace(1, L"udb_names_map::add_table(%ls,%ls)", source.c_str(), destination.c_str());
  table_map_.add(source, destination);
}

void udb_names_map::add_field(const std::wstring& table, const std::wstring& source,
                              const std::wstring& destination) {
  tk_trace(1, L"udb_names_map::add_field(%ls,%ls,%ls)", table.c_str(), source.c_str(),
           destination.c_str());
  field_map_[table].add(source, destination);
}

std::wstring udb_names_map::get_tn_mapped_name(const std::wstring& name, bool exact) const {
  tk_trace(1, L"udb_names_map::get_tn_mapped_name(%ls)", name.c_str());
  return table_map_.find(name, exact);
}

std::wstring udb_names_map::get_fn_mapped_name(const std::wstring& table, const std::wstring& field,
                                               bool exact) const {
  tk_trace(1, L"udb_names_map::get_fn_mapped_name(%ls,%ls)", table.c_str(), field.c_str());
  const auto fields = field_map_.find(table);
  if (fields == field_map_.end()) {
    tk_trace(1, L"Table '%ls' not found", table.c_str());
    return field;
  }
  return fields->second.find(field, exact);
}

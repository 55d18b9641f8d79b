// udb_names_map: the destination names given to a database's tables and fields.
//
// Filled as tables and fields receive destination names, read when foreign
// keys are written (their table and column names must be the destination's).
// Table names map through one list; field names through one list per table,
// found by the table's source name compared exactly.
//
// Owned by its database (udb_database). Not thread-safe.
#pragma once

#include <map>
#include <string>

#include "t_names_map.hpp"

class udb_names_map {
 public:
  void add_table(const std::wstring& source, const std::wstring& destination);
  void add_field(const std::wstring& table, const std::wstring& source,
                 const std::wstring& destination);

  std::wstring get_tn_mapped_name(const std::wstring& name, bool exact) const;
  std::wstring get_fn_mapped_name(const std::wstring& table, const std::wstring& field,
                                  bool exact) const;

  const t_names_map& table_map() const { return table_map_; }
  const std::map<std::wstring, t_names_map>& field_map() const { return field_map_; }

 private:
  t_names_map table_map_;
  std::map<std::wstring, t_names_map> field_map_;
};

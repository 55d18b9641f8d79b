// udb_schema: a table's column definitions, in column order.
//
// A source recordset fills its schema once when it opens; a destination table
// is created from it. Position i of a record read against a schema holds the
// value of column i.
//
// Ownership is fixed at construction. An owning schema takes its definitions
// as unique_ptr and deletes them with itself; a non-owning one refers to
// definitions that live elsewhere (another schema, a caller's objects) and
// leaves them alive. Handing a definition to the wrong kind is a programming
// error.
//
// Name lookups ignore case and take the first column in column order that
// matches; there is no index, tables are narrow. Not thread-safe; not
// copyable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "t_ftd.hpp"

class udb_schema {
 public:
  explicit udb_schema(bool b_owns_fields);
  virtual ~udb_schema();

  udb_schema(const udb_schema&) = delete;
  udb_schema& operator=(const udb_schema&) = delete;

  // Owning schemas only.
  t_ftd& add_field(std::unique_ptr<t_ftd> field);
  // Non-owning schemas only; field must outlive the schema.
  t_ftd& add_field(t_ftd& field);

  bool owns_fields() const { return b_owns_fields; }
  std::size_t field_count() const { return fields.size(); }
  bool empty() const { return fields.empty(); }
  t_ftd& field_at(std::size_t position);
  const t_ftd& field_at(std::size_t position) const;

  bool find_field(const std::wstring& name) const;
  // A name that is not there is a programming error: test with find_field.
  t_ftd& get_field(const std::wstring& name);
  const t_ftd& get_field(const std::wstring& name) const;
  std::int32_t get_field_size(const std::wstring& name) const;
  VARTYPE get_field_type(const std::wstring& name) const;

 private:
  // The schema's constness does not reach the definitions it lists.
  t_ftd* lookup(const std::wstring& name) const;
  t_ftd& lookup_or_fail(const std::wstring& name) const;

  std::vector<t_ftd*> fields;
  std::vector<std::unique_ptr<t_ftd>> owned_;
  const bool b_owns_fields;
};

// udb_relationship, udb_relationships: foreign keys waiting to be created.
//
// A relationship names its constraint, the referencing (child) table and the
// referenced (parent) table, the referencing columns and, pairwise, the
// referenced ones, and an optional referential-action text such as
// "ON DELETE CASCADE". The source side (or a destination reading an existing
// table's keys) adds them; the destination creates them once every table is
// loaded, mapping the names through its udb_names_map.
//
// Constraint names are unique ignoring case within the list; gen_relship_name
// makes one from the two table names.
//
// Owned by its database (udb_database); tables hold a reference. Not
// thread-safe.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct udb_relationship {
  std::wstring name;
  // Kept for the source side that fills it; destinations do not read it.
  std::wstring comment;
  std::wstring referencing_table;
  std::wstring referenced_table;
  std::wstring action_text;
  std::vector<std::wstring> referencing_columns;
  std::vector<std::wstring> referenced_columns;
};

class udb_relationships {
 public:
  void add(const udb_relationship& relationship);

  bool is_acceptable_name(const std::wstring& name) const;
  // The first relationship of that name; a missing one is an internal error.
  udb_relationship& get_index(const std::wstring& name);
  const udb_relationship& get_index(const std::wstring& name) const;
  // "FK_" + referenced + "_" + referencing, grown until no relationship has it.
  std::wstring gen_relship_name(const udb_relationship& relationship) const;

  std::size_t size() const { return relationships_.size(); }
  bool empty() const { return relationships_.empty(); }
  const udb_relationship& at(std::size_t position) const { return relationships_.at(position); }
  std::vector<udb_relationship>::const_iterator begin() const { return relationships_.begin(); }
  std::vector<udb_relationship>::const_iterator end() const { return relationships_.end(); }

 private:
  std::size_t position_of(const std::wstring& name) const;

  std::vector<udb_relationship> relationships_;
};

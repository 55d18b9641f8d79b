// udb_index, udb_indexes: a table's index descriptions.
//
// udb_index describes one index as a source reports it and a destination
// creates it: its name, whether it is unique or the primary key, and its key
// columns in key order. udb_indexes is a table's list of them, in the order
// added, together with key_index: the position of the first primary or unique
// index added (-1 while there is none), the index a destination uses to tell
// rows apart.
//
// Index names are unique within a table ignoring case: an index whose name is
// already listed is dropped when added, so a source that reports one index
// twice (as a constraint and as an index) yields it once. key_index is set at
// most once between two clear() calls: the first primary-or-unique index
// added wins even when a later one is the primary key.
//
// Value types, own their strings. Not thread-safe.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct udb_index {
  std::wstring name;
  bool b_unique = false;
  bool b_primary = false;
  std::vector<std::wstring> columns;
};

class udb_indexes {
 public:
  // Appends index unless its name is taken; false when it was dropped.
  bool add(const udb_index& index);
  void clear();

  bool is_acceptable_name(const std::wstring& name) const;

  // Whether field is a key column of the index at position (ignoring case).
  bool is_idx_field(int position, const std::wstring& field) const;
  // Position of the first index that is the primary key; -1 when none is.
  int find_primary() const;

  int key_index() const { return key_index_; }
  std::size_t size() const { return indexes_.size(); }
  bool empty() const { return indexes_.empty(); }
  const udb_index& at(std::size_t position) const;
  std::vector<udb_index>::const_iterator begin() const { return indexes_.begin(); }
  std::vector<udb_index>::const_iterator end() const { return indexes_.end(); }

 private:
  std::vector<udb_index> indexes_;
  int key_index_ = -1;
};

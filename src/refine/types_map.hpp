// types_map: per-column statistics that work out the narrowest type every
// non-empty value of a column fits.
//
// One entry per watched column; the derived maps (num_map for numbers,
// dates_map for dates) define what an entry's state means and how a value
// moves it. The driver builds both maps for a table from the source schema,
// feeds every record to both with add_rec_stat, and drops them with the table.
// Empty values and NULLs never decide anything: a column with no non-empty
// value keeps state 0 with b_processed clear.
//
// Ownership: owns its entries; keeps no pointer to the schema or records.
// Thread-safety: none; one conversion thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class udb_record;

class types_map {
 public:
  struct map_entry {
    std::int32_t n_field = 0;  // position in the schema and in every record
    std::wstring name;
    std::int32_t state = 0;           // the verdict so far; meaning per map
    std::int32_t declared_class = 0;  // what the declared type says, for the reader
    bool b_processed = false;         // a first non-empty value has been seen
  };

  explicit types_map(const std::wstring& table_name);
  virtual ~types_map();

  types_map(const types_map&) = delete;
  types_map& operator=(const types_map&) = delete;

  // Feeds one record: each entry looks at the record's field at n_field.
  virtual void add_rec_stat(const udb_record& record) = 0;

  const std::vector<map_entry>& get_entries() const { return entries; }
  const std::wstring& get_table_name() const { return table_name_; }

 protected:
  std::wstring table_name_;
  std::vector<map_entry> entries;
};

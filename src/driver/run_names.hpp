// run_names: the table and column names one run gives the server.
//
// Table names start from the source's name (worksheet or --tab_name):
//   1. SQL Server's rule kept by mss_tn_validator (a name starts with a
//      letter or "_", otherwise it gets the prefix cycle "_", "1", "_", ...);
//   2. a name longer than SQL Server's 128 characters is cut to 128;
//   3. a name an earlier table of this run took, ignoring case as the
//      server does ("Data" after "DATA"), gets the suffix cycle "_", "1",
//      "_", "2", "_", "3", "_", "1", ... until it is free, cut again so that
//      it stays within 128 characters.
// Tables that already exist in the destination are not avoided in steps 2
// and 3: loading into them is what modes 1 to 3 are for, and a second run of
// the same source must find the names of the first.
//
// Column names longer than 128 characters are cut the same way and made
// unique within their table.
//
// Lengths count UTF-16 code units, as the server's sysname does. Owns its
// lists. One run, one thread.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "mss_validator.hpp"
#include "udb_index.hpp"
#include "udb_schema.hpp"

class run_names {
 public:
  static constexpr std::size_t max_name_length = 128;

  // `pushed_back`: worksheet names a profile listed; `existing`: the
  // destination's tables. Both are taken for step 1, as before.
  run_names(const std::vector<std::wstring>& pushed_back,
            const std::vector<std::wstring>& existing);

  // The name for a source table; b_generated tells whether it differs.
  std::wstring table_name(const std::wstring& source_name, bool& b_generated);
  // Registers a name as used by this run (after its table was opened).
  void take(const std::wstring& name, bool b_generated);

  // A column name that fits and is unique among `taken`; the same name when
  // it already fits.
  static std::wstring column_name(const std::wstring& name, const std::vector<std::wstring>& taken);

  // A name cut to at most `limit` UTF-16 code units.
  static std::wstring cut(const std::wstring& name, std::size_t limit = max_name_length);
  static std::size_t utf16_length(const std::wstring& name);

 private:
  // `name` made free of `taken` (ignoring case) by the suffix cycle.
  static std::wstring unique_name(const std::wstring& name, const std::vector<std::wstring>& taken);

  mss_tn_validator validator_;
  std::vector<std::wstring> used_;  // names this run has loaded into
};

// A copy of a source's columns whose names SQL Server accepts, and its
// indexes with the same renames; `renamed` lists (old, new) pairs. Null when
// every name already fits, so the source's own schema serves.
struct fitted_columns {
  std::unique_ptr<udb_schema> schema;
  udb_indexes indexes;
  std::vector<std::pair<std::wstring, std::wstring>> renamed;
};
fitted_columns fit_column_names(const udb_schema& schema, const udb_indexes& indexes);

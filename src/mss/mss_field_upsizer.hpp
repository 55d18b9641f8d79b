// mss_field_upsizer: widens a text column of a SQL Server table before a CSV
// value that would not fit is written.
//
// The scan and the widening steps are csv_field_upsizer's; this class measures
// values in UTF-16 units, as the server does, reads the columns' real sizes
// and sends one ALTER statement per step and column. A table that existed
// before the run is widened only for values beyond 255 characters: a value
// that merely exceeds a user's narrower column fails its row instead.
//
// Holds references to the database and the table, which must outlive it.
// One thread.
#pragma once

#include <cstdint>
#include <string>

#include "csv_field_upsizer.hpp"

class mss_database;
class mss_table;
class udb_database;
class udb_recordset;

class mss_field_upsizer final : public csv_field_upsizer {
 public:
  // Both must be the SQL Server destination's (mss_database, mss_table).
  mss_field_upsizer(udb_database& database, udb_recordset& table);
  ~mss_field_upsizer() override;

  // How many ALTER statements were sent.
  int statements() const { return statements_; }

 protected:
  std::int32_t value_size(const udb_field& value) const override;
  std::int32_t column_limit(std::size_t position) const override;
  void do_upsize(std::size_t position, std::int32_t new_size) override;

 private:
  mss_database* database_;
  mss_table* table_;
  int statements_ = 0;
};

// Length of a text in UTF-16 code units.
std::int32_t mss_utf16_length(const std::wstring& text);

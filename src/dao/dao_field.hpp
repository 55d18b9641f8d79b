// dao_field: one cell of a workbook row, with its column's name, size and
// DAO data type.
//
// The value is a NULL (empty and error cells), a double, a currency amount,
// a date (with its SYSTEMTIME), a boolean or a text. A date on day 0
// (1899-12-30) prints as a pure time or behind a zero date: "1899-12-30
// 08:30:00" becomes "0000-00-00 08:30:00" and a bare "1899-12-30" becomes
// "00:00:00", so that a time-only cell converts to a time.
// Also holds the two type tables of the DAO layer. Owned by its dao_record.
// Value type; not thread-safe.
#pragma once

#include <cstdint>
#include <string>

#include "udb_field.hpp"

class dao_field : public udb_field {
 public:
  // DAO data types.
  enum : int {
    db_boolean = 1,
    db_byte = 2,
    db_integer = 3,
    db_long = 4,
    db_currency = 5,
    db_single = 6,
    db_double = 7,
    db_date = 8,
    db_binary = 9,
    db_text = 10,
    db_long_binary = 11,
    db_memo = 12,
    db_time = 22,
  };

  dao_field(const std::wstring& name, std::int32_t size, ole_variant value, int dao_type);
  ~dao_field() override = default;

  std::string to_string() const override;
  std::wstring to_wstring() const override;
  VARTYPE get_type() const override;

  int get_dao_type() const { return dao_type_; }

  // DAO data type → VARIANT type.
  static VARTYPE get_vartype(int dao_type);
  // VARIANT type and size → DAO data type; raises ole_type_exception for a
  // type DAO cannot store.
  static int get_native_type(VARTYPE vartype, std::int32_t size);
  // The zero-date rewrite of a date's text.
  static std::string rewrite_zero_date(std::string text);

 private:
  int dao_type_;
};

// num_map: which numeric type every value of a column fits.
//
// Entry states: 3 32-bit integer ("VT_I4"), 2 64-bit integer ("VT_I8"),
// 1 double ("DOUBLE"), 0 text ("VARCHAR"). The first non-empty value sets the
// state; later values may only widen it (3 -> 2 -> 1 -> 0), and text is final.
// Values are judged on their narrow text form (to_string).
//
// The tests are deliberately lenient, because they only steer statistics:
// "2010-12" counts as an integer (atof reads 2010) and "1,5" as the integer 1.
// Nothing may convert data on the strength of a verdict alone.
//
// Ownership and thread-safety as types_map.
#pragma once

#include <string>

#include "types_map.hpp"

class udb_schema;

class num_map : public types_map {
 public:
  enum : std::int32_t { state_text = 0, state_double = 1, state_i8 = 2, state_i4 = 3 };

  // One entry per column of the schema.
  num_map(const std::wstring& table_name, const udb_schema& schema);

  void add_rec_stat(const udb_record& record) override;

  // One value's effect on an entry; an empty text changes nothing.
  static void add_value(map_entry& entry, const std::string& text);

  // A whole 64-bit integer in its plain printed form (no '+', no leading
  // zeros, no blanks) that does not fit 32 bits.
  static bool is_i8(const std::string& text);
  // A plain decimal number (point or comma, optional exponent, signs), but not
  // a code with a leading zero such as 0123.
  static bool is_double(const std::string& text);
  // A 32-bit integer as printed, or a number whose value is a whole 32-bit
  // integer ("2.0", "1e3", "+5").
  static bool is_int(const std::string& text);

  static const char* state_name(std::int32_t state);
};

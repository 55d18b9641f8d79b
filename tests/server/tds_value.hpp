// SQL Server column types and typed values, with SQL Server's implicit conversion rules.
//
// A `value` is what a literal, a bulk-loaded field or a stored cell holds once decoded. Conversion
// to a column type either yields a value of that type's kind or throws sql_error with SQL Server's
// number, class, state and message text. Plain data: no sharing, no locking.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tds {

// A server error as the ERROR token carries it.
struct sql_error final : std::runtime_error {
  sql_error(int number_, int cls_, int state_, std::string text)
      : std::runtime_error(text), number(number_), cls(cls_), state(state_) {}
  int number;
  int cls;
  int state;
};

enum class type_id : uint8_t {
  bit,
  tinyint,
  smallint,
  int_,
  bigint,
  real,
  float_,
  money,
  smallmoney,
  decimal,
  numeric,
  datetime,
  smalldatetime,
  datetime2,
  date,
  time,
  char_,
  varchar,
  nchar,
  nvarchar,
  text,
  ntext,
  binary,
  varbinary,
  image,
  uniqueidentifier,
};

constexpr int32_t k_max_length = -1;  // the (max) of varchar(max), nvarchar(max), varbinary(max)

struct sql_type {
  type_id id = type_id::int_;
  int32_t length = 0;     // characters (char types) or bytes (binary types); k_max_length for (max)
  uint8_t precision = 0;  // decimal/numeric; fractional digits for datetime2/time live in `scale`
  uint8_t scale = 0;

  std::string name() const;  // as sp_columns and error messages spell it: "nvarchar", "decimal"
  std::string full_name() const;  // with its size: "nvarchar(50)", "decimal(18,2)", "varchar(max)"
  bool is_string() const;
  bool is_unicode() const;
  bool is_binary() const;
  bool is_integer() const;
  bool is_exact_numeric() const;  // decimal, numeric, money, smallmoney
  bool is_temporal() const;
  bool is_long() const;  // text, ntext, image, and the (max) types
  bool operator==(const sql_type&) const = default;
};

// Looks a type name up ("int", "NVARCHAR", "double precision" is not T-SQL); nullopt when unknown.
std::optional<type_id> type_from_name(std::string_view name);
// The type's default length / precision when written without arguments (varchar = varchar(1), ...).
sql_type default_type(type_id id);

struct value {
  enum class kind : uint8_t { null, integer, real, decimal, datetime, string, binary, guid };
  kind k = kind::null;
  type_id origin = type_id::int_;  // the type the value had before conversion, for error texts
  int64_t i = 0;
  double f = 0;
  __int128 dec = 0;  // unscaled decimal digits; money is a decimal with scale 4
  uint8_t scale = 0;
  uint8_t precision = 0;
  int32_t days = 0;   // days since 0001-01-01
  int64_t ticks = 0;  // 100 ns units since midnight
  std::string s;      // UTF-8 text, raw bytes, or the 16 bytes of a GUID in SQL Server's order

  bool is_null() const { return k == kind::null; }
  static value null() { return {}; }
  static value integer(int64_t v, type_id origin = type_id::int_);
  static value real(double v, type_id origin = type_id::float_);
  static value decimal(__int128 digits, uint8_t scale, type_id origin = type_id::numeric);
  static value string(std::string text, bool unicode);
  static value binary(std::string bytes);
  static value datetime(int32_t days, int64_t ticks, type_id origin);
  static value guid(std::string bytes16);
};

// Implicit conversion for INSERT, DEFAULT, bulk load and ALTER COLUMN. `table` and `column` name
// the target in truncation messages ("db.dbo.t", "c").
value convert(const value& v, const sql_type& to, std::string_view table = {},
              std::string_view column = {});

// Text of a value as SQL Server would show it in a message or after CONVERT(nvarchar, ...).
std::string to_text(const value& v, const sql_type& type);
// Total order within one kind, for keys and ORDER BY; text compares case-insensitively (the default
// collation). Nulls sort first.
int compare(const value& a, const value& b);

// Calendar helpers shared by conversions and the wire encoders.
int32_t days_from_civil(int y, unsigned m, unsigned d);  // days since 0001-01-01
void civil_from_days(int32_t days, int& y, unsigned& m, unsigned& d);
constexpr int32_t k_days_1900 = 693595;  // 1900-01-01 as days since 0001-01-01
constexpr int64_t k_ticks_per_day = 864000000000LL;

std::string decimal_to_text(__int128 digits, uint8_t scale);
std::string guid_to_text(std::string_view bytes16);

}  // namespace tds

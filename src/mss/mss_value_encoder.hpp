// mss_value_encoder: turns a value into what one destination column takes.
//
// Each value is converted and checked against its column once (encode). The
// result is the bulk-copy bytes in the column's host type; the SQL literal of
// an INSERT statement is read back from those same bytes (literal), so the
// bulk and INSERT paths cannot store different things, and a batch the
// server refused replays from the encoded rows without converting again.
//
// A value the column cannot hold (a datetime before 1753, a decimal with
// more digits than the precision, a text longer than the column, a NULL for a
// NOT NULL column without a default, text that is no number) fails with an
// odb_exception naming the table, the column and the value; nothing is ever
// cut, clamped or replaced.
//
// A destination type is one entry of the type table in the implementation
// (its server name, kind and host type) plus its case in encode and literal.
//
// Keeps copies of the column descriptions. Encoding reads only; one encoder
// may serve two threads while nobody calls set_column.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ole_variant.hpp"

// One destination column, as the server describes it.
struct mss_column_info {
  std::wstring name;
  std::string type_name;  // the server's type name, lower case: "nvarchar", "int", ...
  bool b_unicode = false;
  bool b_long = false;      // (max), text, ntext, image, xml
  std::int32_t length = 0;  // characters (UTF-16 units) or bytes; 0 for long
  int precision = 0;        // decimal and numeric
  int scale = 0;
  bool b_not_null = false;
  ole_variant def_value;  // VT_EMPTY: no default
};

// One encoded value, ready for bcp_colptr/bcp_collen.
struct mss_encoded_value {
  enum kind_t { null_value, empty_value, bytes_value } kind = null_value;
  std::string bytes;
};

class mss_value_encoder {
 public:
  // How the encoder treats a column; one per destination type family.
  enum class kind {
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
    datetime,
    smalldatetime,
    date,
    datetime2,
    time,
    text,       // nvarchar, nchar, ntext, xml: UTF-16LE
    ansi_text,  // varchar, char, text and types the server converts from text
    binary,
    guid,
  };

  mss_value_encoder() = default;
  // `table` is the owner-qualified name that messages show.
  mss_value_encoder(std::wstring table, std::vector<mss_column_info> columns);

  std::size_t column_count() const { return columns_.size(); }
  const mss_column_info& column(std::size_t position) const { return columns_[position].info; }
  kind column_kind(std::size_t position) const { return columns_[position].k; }
  // Replaces a column's description (after it was widened, say).
  void set_column(std::size_t position, mss_column_info info);

  // The DB-Library host type (SYB*) each column is bound with.
  int host_type(std::size_t position) const;

  // Converts and checks `value` for column `position`; throws odb_exception
  // when the column cannot hold it. `out` keeps its buffer between calls.
  void encode(const ole_variant& value, std::size_t position, mss_encoded_value& out) const;
  // The SQL literal of an encoded value of column `position` (UTF-8).
  std::string literal(const mss_encoded_value& value, std::size_t position) const;

  static kind kind_of(const std::string& type_name);

 private:
  struct column_plan {
    mss_column_info info;
    kind k = kind::ansi_text;
  };

  void encode_present(const ole_variant& value, const column_plan& plan,
                      mss_encoded_value& out) const;
  [[noreturn]] void refuse(const column_plan& plan, const ole_variant& value,
                           const std::string& reason, std::uint32_t low_code) const;
  [[noreturn]] void truncated(const column_plan& plan, const std::string& shown) const;

  std::wstring table_;
  std::vector<column_plan> columns_;
};

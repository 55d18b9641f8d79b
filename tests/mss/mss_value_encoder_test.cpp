// One encoder for both load paths: values at every type's edges land the
// same way through bulk copy and through INSERT, and a refused value is named
// by table, column and value whichever path refused it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mss_database.hpp"
#include "mss_engine.hpp"
#include "mss_table.hpp"
#include "mss_value_encoder.hpp"
#include "odb_exception.hpp"
#include "test_server.hpp"
#include "tk_text.hpp"
#include "udb_record.hpp"

namespace {

mss_column_info column(const char* name, const char* type, std::int32_t length = 0,
                       int precision = 0, int scale = 0) {
  mss_column_info c;
  c.name = tk_utf82w(name);
  c.type_name = type;
  c.b_unicode = type[0] == 'n';
  c.length = length;
  c.precision = precision;
  c.scale = scale;
  return c;
}

ole_variant date(const char* text) { return ole_variant::from_string(text, VT_DATE); }
ole_variant text(const wchar_t* s) { return ole_variant(s); }

}  // namespace

TEST(mss_value_encoder, literals_are_read_back_from_the_bulk_bytes) {
  struct row {
    mss_column_info col;
    ole_variant value;
    std::string literal;
  } rows[] = {
      {column("i", "int"), ole_variant(-42), "-42"},
      {column("i", "int"), text(L" 17 "), "17"},
      {column("t", "tinyint"), ole_variant(255), "255"},
      {column("n", "bigint"), ole_variant(9223372036854775807LL), "9223372036854775807"},
      {column("n", "bigint"), ole_variant(12.0), "12"},
      {column("b", "bit"), ole_variant(true), "1"},
      {column("b", "bit"), text(L"FALSE"), "0"},
      {column("f", "float"), ole_variant(0.1), "0.1"},
      {column("f", "float"), ole_variant(-1.5e300), "-1.5e+300"},
      {column("m", "money"), text(L"-1234.5678"), "-1234.5678"},
      {column("d", "decimal", 0, 5, 2), text(L"999.99"), "999.99"},
      {column("d", "decimal", 0, 5, 2), text(L"-0.50"), "-0.5"},
      {column("d", "decimal", 0, 5, 2), text(L"12.300"), "12.3"},
      {column("dt", "datetime"), date("1753-01-01"), "'1753-01-01T00:00:00.000'"},
      {column("dt", "datetime"), date("2024-02-29 23:59:59"), "'2024-02-29T23:59:59.000'"},
      {column("dt", "datetime"), date("12:30:00"), "'1899-12-30T12:30:00.000'"},
      {column("dt", "datetime"), text(L"2024-03-01 08:00"), "'2024-03-01T08:00:00.000'"},
      {column("d2", "datetime2"), date("0100-01-01 01:02:03"), "'0100-01-01T01:02:03.0000000'"},
      {column("dd", "date"), date("1700-05-01"), "'1700-05-01'"},
      {column("tm", "time"), date("23:59:59"), "'23:59:59.0000000'"},
      {column("s", "nvarchar", 5), text(L"O'N😀"), "N'O''N😀'"},
      {column("s", "nvarchar", 5), text(L"abcde   "), "N'abcde'"},
      {column("s", "nvarchar", 60), text(L"guid {6F9619FF-8B86-D011-B42D-00C04FC964FF}x"),
       "N'guid {6F9619FF-8B86-D011-B42D-00C04FC964FF}x'"},
      {column("a", "varchar", 5), text(L"café"), "N'café'"},
      {column("s", "nvarchar", 5), text(L""), "N''"},
      {column("s", "nvarchar", 5), ole_variant(), "NULL"},
      {column("g", "uniqueidentifier"), text(L"{guid {6F9619FF-8B86-D011-B42D-00C04FC964FF}}"),
       "'6F9619FF-8B86-D011-B42D-00C04FC964FF'"},
      {column("v", "varbinary", 4), text(L"0x0aFF"), "0x0AFF"},
  };
  for (const auto& r : rows) {
    const mss_value_encoder encoder(L"[dbo].[t]", {r.col});
    mss_encoded_value out;
    encoder.encode(r.value, 0, out);
    EXPECT_EQ(encoder.literal(out, 0), r.literal) << r.col.type_name << " " << r.literal;
  }
}

// Typed columns send decimals, dates and times in their exact written form:
// every digit of a 38-digit decimal and of a tenth of a microsecond lands,
// and a text that is no such form still goes through the general readers.
TEST(mss_value_encoder, exact_forms_keep_every_digit) {
  struct row {
    mss_column_info col;
    const wchar_t* value;
    std::string literal;
  } rows[] = {
      {column("d", "decimal", 0, 38, 0), L"-99999999999999999999999999999999999999",
       "-99999999999999999999999999999999999999"},
      {column("d", "decimal", 0, 38, 2), L"123456789012345678901234567890123456.78",
       "123456789012345678901234567890123456.78"},
      {column("d", "decimal", 0, 5, 2), L"0.10", "0.1"},
      {column("d2", "datetime2", 0, 0, 7), L"2021-12-25 10:00:00.1234567",
       "'2021-12-25T10:00:00.1234567'"},
      {column("d2", "datetime2", 0, 0, 7), L"0001-01-01T00:00:00.0000001",
       "'0001-01-01T00:00:00.0000001'"},
      {column("dd", "date"), L"1600-02-29", "'1600-02-29'"},
      {column("tm", "time", 0, 0, 7), L"23:59:59.9999999", "'23:59:59.9999999'"},
      {column("tm", "time", 0, 0, 7), L"10:30 PM", "'22:30:00.0000000'"},
      {column("dd", "date"), L"12/25/2021", "'2021-12-25'"},
  };
  for (const auto& r : rows) {
    const mss_value_encoder encoder(L"[dbo].[t]", {r.col});
    mss_encoded_value out;
    encoder.encode(text(r.value), 0, out);
    EXPECT_EQ(encoder.literal(out, 0), r.literal) << r.col.type_name << " " << r.literal;
  }
  // Digits past the column's precision or scale are refused, not cut.
  const mss_value_encoder narrow(L"[dbo].[t]", {column("d", "decimal", 0, 38, 1)});
  mss_encoded_value out;
  EXPECT_THROW(narrow.encode(text(L"1.25"), 0, out), odb_exception);
}

TEST(mss_value_encoder, refusals_name_table_column_and_value) {
  struct row {
    mss_column_info col;
    ole_variant value;
    std::string message_part;
  } rows[] = {
      {column("dt", "datetime"), date("1752-12-31"), "'1752-12-31': datetime holds dates from 1753-01-01"},
      {column("dt", "datetime"), text(L"10000-01-01"), "'10000-01-01': datetime holds dates from"},
      {column("sd", "smalldatetime"), date("2079-06-07"), "smalldatetime holds dates from 1900-01-01 to 2079-06-06"},
      {column("d", "decimal", 0, 5, 2), text(L"1000"), "decimal(5,2) holds 3 digits before"},
      {column("d", "decimal", 0, 5, 2), text(L"1.234"), "decimal(5,2) keeps 2 decimal places"},
      {column("t", "tinyint"), ole_variant(-1), "tinyint holds 0 to 255"},
      {column("i", "int"), ole_variant(2.5), "it is not a whole number"},
      {column("i", "int"), text(L"12abc"), "'12abc': it is not a whole number"},
      {column("n", "bigint"), text(L"9223372036854775808"), "out of the range of bigint"},
      {column("f", "real"), ole_variant(1e39), "out of the range of real"},
      {column("f", "float"), text(L"1.5abc"), "it is not a number"},
      {column("d", "decimal", 0, 9, 2), text(L"1.2x"), "it is not a number"},
      {column("s", "nvarchar", 5), text(L"abcdef"), "column 's'. Truncated value: 'abcde'"},
      {column("s", "nvarchar", 3), text(L"a😀b"), "Truncated value: 'a😀'"},
      {column("a", "varchar", 3), text(L"abcd"), "Truncated value: 'abc'"},
  };
  for (const auto& r : rows) {
    const mss_value_encoder encoder(L"[dbo].[t]", {r.col});
    mss_encoded_value out;
    try {
      encoder.encode(r.value, 0, out);
      ADD_FAILURE() << r.message_part << ": accepted";
    } catch (const odb_exception& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(r.message_part), std::string::npos) << what;
      EXPECT_NE(what.find("[dbo].[t]"), std::string::npos) << what;
      EXPECT_NE(what.find(tk_w2utf8(r.col.name)), std::string::npos) << what;
      EXPECT_EQ(e.level(), tk_level_item);
    }
  }
}

TEST(mss_value_encoder, null_takes_the_default_or_fails_a_not_null_column) {
  mss_column_info with_default = column("n", "int");
  with_default.b_not_null = true;
  with_default.def_value = ole_variant(7);
  mss_column_info without = column("s", "nvarchar", 5);
  without.b_not_null = true;
  const mss_value_encoder encoder(L"[dbo].[t]", {with_default, without});
  mss_encoded_value out;
  encoder.encode(ole_variant(), 0, out);
  EXPECT_EQ(encoder.literal(out, 0), "7");
  EXPECT_THROW(encoder.encode(ole_variant(), 1, out), odb_exception);
  encoder.encode(text(L""), 1, out);  // an empty text is a value, not NULL
  EXPECT_EQ(out.kind, mss_encoded_value::empty_value);
}

namespace {

struct failure {
  long record;
  std::string text;
  bool operator==(const failure&) const = default;
};

// One row of edge values per record: id, then the columns below.
const char* const edge_table =
    " ([id] int NOT NULL, [dt] datetime NULL, [dec] decimal(5,2) NULL, [s] nvarchar(5) NULL,"
    " [g] nvarchar(60) NULL, [d2] datetime2 NULL, [dd] date NULL, [tm] time NULL,"
    " [n] bigint NULL, [b] bit NULL, [f] float NULL)";

std::vector<std::vector<ole_variant>> edge_rows() {
  std::vector<std::vector<ole_variant>> rows;
  auto add = [&rows](std::size_t column, ole_variant v) {
    std::vector<ole_variant> row(11);
    row[0] = ole_variant(static_cast<int>(rows.size() + 1));
    row[column] = std::move(v);
    rows.push_back(std::move(row));
  };
  add(1, ole_variant());                                   // NULLs everywhere
  add(1, date("1753-01-01"));                              // first datetime
  add(1, date("1752-12-31 23:59:59"));                     // refused
  add(1, date("9999-12-31 23:59:59"));                     // last datetime
  add(1, text(L"10000-01-01"));                            // refused: no date
  add(2, text(L"999.99"));                                 // at precision
  add(2, text(L"-999.99"));
  add(2, text(L"1000"));                                   // refused: beyond precision
  add(2, text(L"0.125"));                                  // refused: beyond scale
  add(3, text(L"abcde"));                                  // at size
  add(3, text(L"abcdef"));                                 // refused: beyond size
  add(3, text(L""));                                       // empty text, not NULL
  add(3, text(L"ab   "));                                  // blanks kept within size
  add(4, text(L"guid {6F9619FF-8B86-D011-B42D-00C04FC964FF}"));  // stays text
  add(5, date("1700-05-01 12:00:00"));                     // datetime2 takes it
  add(6, date("0100-01-01"));
  add(7, date("23:59:59"));
  add(8, text(L"-9223372036854775808"));
  add(8, text(L"9223372036854775808"));                    // refused
  add(9, text(L"true"));
  add(10, ole_variant(0.1));
  add(10, ole_variant(-1.7976931348623157e308));
  return rows;
}

struct loaded {
  std::vector<std::vector<std::string>> rows;
  std::vector<failure> failures;
};

loaded load_edges(const test_server& server, bool b_bulk) {
  mss_engine engine;
  engine.connect(server.address(), test_server::user, test_server::password, b_bulk);
  std::unique_ptr<mss_database> db = engine.is_db_exist(L"dest")
                                         ? engine.open_db(L"dest", mss_database::mode_append)
                                         : engine.create_db(L"dest");
  const std::string table = b_bulk ? "edges_bulk" : "edges_insert";
  db->execute("CREATE TABLE [dbo].[" + table + "]" + edge_table);
  db->add_table_name(tk_utf82w(table));
  auto t = db->get_mss_table(tk_utf82w(table), 2);
  loaded out;
  t->set_error_sink([&out](const tk_exception& e, const std::wstring&, long n) {
    out.failures.push_back({n, e.what()});
  });
  long n = 0;
  for (const auto& values : edge_rows()) {
    udb_record r;
    for (std::size_t i = 0; i < values.size(); ++i)
      r.add_field(std::make_unique<udb_field>(t->get_schema().field_at(i).name, 0, values[i],
                                              false, false));
    try {
      t->append_record(r, ++n);
    } catch (const tk_exception& e) {
      out.failures.push_back({n, e.what()});
    }
  }
  t->close();
  // Dates as text on the server, so that the client's own formatting of
  // the date types plays no part.
  odb_result r = db->connection().query(
      "SELECT id, CONVERT(nvarchar(30), dt, 121), dec, s, g, CONVERT(nvarchar(30), d2, 121), "
      "CONVERT(nvarchar(30), dd, 121), CONVERT(nvarchar(30), tm, 121), n, b, f FROM [dbo].[" +
      table + "] ORDER BY id");
  for (const auto& row : r.rows) {
    std::vector<std::string> cells;
    for (const auto& cell : row) cells.push_back(cell.b_null ? "NULL" : cell.bytes);
    out.rows.push_back(std::move(cells));
  }
  for (auto& f : out.failures) {
    // The messages differ only by the table's own name.
    const std::string name = "[" + table + "]";
    if (auto p = f.text.find(name); p != std::string::npos) f.text.replace(p, name.size(), "[T]");
  }
  return out;
}

}  // namespace

TEST(mss_value_encoder, bulk_and_insert_paths_give_identical_tables_at_the_edges) {
  test_server server;
  const loaded bulk = load_edges(server, true);
  const loaded insert = load_edges(server, false);
  EXPECT_EQ(bulk.rows, insert.rows);
  EXPECT_EQ(bulk.failures, insert.failures);

  // Each refused record is refused for its own column, and only those.
  const std::vector<std::pair<long, std::string>> refused = {
      {3, "'dt'"}, {5, "'dt'"}, {8, "'dec'"}, {9, "'dec'"}, {11, "'s'"}, {19, "'n'"}};
  ASSERT_EQ(bulk.failures.size(), refused.size());
  for (std::size_t i = 0; i < refused.size(); ++i) {
    EXPECT_EQ(bulk.failures[i].record, refused[i].first);
    EXPECT_NE(bulk.failures[i].text.find(refused[i].second), std::string::npos)
        << bulk.failures[i].text;
  }
  ASSERT_EQ(bulk.rows.size(), edge_rows().size() - refused.size());
  auto cell = [&bulk](int id, std::size_t column) {
    for (const auto& row : bulk.rows)
      if (row[0] == std::to_string(id)) return row[column];
    return std::string("(no row)");
  };
  EXPECT_EQ(cell(1, 1), "NULL");
  EXPECT_EQ(cell(2, 1).substr(0, 19), "1753-01-01 00:00:00");
  EXPECT_EQ(cell(4, 1).substr(0, 19), "9999-12-31 23:59:59");
  EXPECT_EQ(cell(6, 2), "999.99");
  EXPECT_EQ(cell(10, 3), "abcde");
  EXPECT_EQ(cell(12, 3), "");
  EXPECT_EQ(cell(13, 3), "ab   ");
  EXPECT_EQ(cell(14, 4), "guid {6F9619FF-8B86-D011-B42D-00C04FC964FF}");
  EXPECT_EQ(cell(15, 5).substr(0, 19), "1700-05-01 12:00:00");
  EXPECT_EQ(cell(16, 6), "0100-01-01");
  EXPECT_EQ(cell(17, 7).substr(0, 8), "23:59:59");
  EXPECT_EQ(cell(18, 8), "-9223372036854775808");
  EXPECT_EQ(cell(20, 9), "1");
}

// Typed columns: a CSV file whose columns hold one kind of value each lands
// with the narrowest SQL Server type every value fits, through bulk copy and
// through INSERT alike; --no_refine keeps every column text; a workbook's
// whole numbers and dates at midnight land as int and date.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "run_process.hpp"
#include "temp_folder.hpp"
#include "test_support.hpp"

namespace {

using tds_test::dblib_client;
using tds_test::k_password;
using tds_test::server_process;
using table_rows = std::vector<std::vector<std::string>>;

enum class load_path { bulk, insert };

std::string path_name(const ::testing::TestParamInfo<load_path>& info) {
  return info.param == load_path::bulk ? "bulk_copy" : "insert";
}

struct typed_column {
  const char* name;
  const char* type;  // DATA_TYPE(precision,scale) as the server describes it
  std::vector<std::string> values;  // as written in the file, one per row
  std::vector<std::string> landed;  // as the server gives them back
};

// One column of each kind; four rows. An empty value in a typed column is
// NULL, in a text column an empty text.
const std::vector<typed_column>& typed_columns() {
  static const std::vector<typed_column> columns = {
      {"i32", "int", {"1", "-2147483648", "2147483647", ""}, {"1", "-2147483648", "2147483647", "NULL"}},
      {"i64",
       "bigint",
       {"5000000000", "-1", "9223372036854775807", "0"},
       {"5000000000", "-1", "9223372036854775807", "0"}},
      {"huge",
       "decimal(38,0)",
       {"12345678901234567890123", "-9", "99999999999999999999999999999999999999", "0"},
       {"12345678901234567890123", "-9", "99999999999999999999999999999999999999", "0"}},
      {"amount",
       "decimal(19,2)",
       {"12345678901234567.89", "0.10", "-1.5", "0"},
       {"12345678901234567.89", "0.10", "-1.50", "0.00"}},
      {"ratio", "float", {"1e3", "2.5E-3", "-1.5e2", "0.5"}, {"1000", "0.0025", "-150", "0.5"}},
      {"flag", "bit", {"true", "FALSE", "True", ""}, {"1", "0", "1", "NULL"}},
      {"day",
       "date",
       {"2021-12-25", "1600-02-29", "9999-12-31", "0001-01-01"},
       {"2021-12-25", "1600-02-29", "9999-12-31", "0001-01-01"}},
      {"stamp",
       "datetime2(7)",
       {"2021-12-25 10:00:00.1234567", "2021-12-25T23:59:59", "1700-01-01 00:00", ""},
       {"2021-12-25 10:00:00.1234567", "2021-12-25 23:59:59.0000000",
        "1700-01-01 00:00:00.0000000", "NULL"}},
      {"clock", "time(1)", {"10:30", "23:59:59.5", "00:00:01", "12:00 PM"},
       {"10:30:00.0000000", "23:59:59.5000000", "00:00:01.0000000", "12:00:00.0000000"}},
      {"dmy",
       "date",
       {"25/12/2021", "01/02/2003", "31.01.1999", "1/2/03"},
       {"2021-12-25", "2003-02-01", "1999-01-31", "2003-02-01"}},
      {"zip", "nvarchar(10)", {"00123", "02134", "90210", ""}, {"00123", "02134", "90210", ""}},
      {"mixed", "nvarchar(10)", {"1", "abc", "2021-12-25", "true"}, {"1", "abc", "2021-12-25", "true"}},
  };
  return columns;
}

std::string typed_csv() {
  const auto& columns = typed_columns();
  std::string csv = "id";
  for (const auto& c : columns) csv += std::string(",") + c.name;
  csv += "\n";
  for (std::size_t row = 0; row < 4; ++row) {
    csv += std::to_string(row + 1);
    for (const auto& c : columns) csv += "," + c.values[row];
    csv += "\n";
  }
  return csv;
}

class tessrun_typed : public ::testing::TestWithParam<load_path> {
 protected:
  void SetUp() override {
    log_ = folder_.file("server.log");
    std::vector<std::string> args = {"--log", log_};
    if (GetParam() == load_path::insert) args.push_back("--no-bulk");
    server_ = std::make_unique<server_process>(args);
  }

  process_result tessrun(std::vector<std::string> args) {
    args.push_back("--host=127.0.0.1:" + std::to_string(server_->port()));
    args.push_back("--user=sa");
    args.push_back(std::string("--pswd=") + k_password);
    return run_process(TESSRUN_PATH, args, {"LC_ALL=C.UTF-8"});
  }

  process_result load_csv(const std::string& csv, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--from_csv",    "--src=" + csv, "--dest=shop",
                                     "--tab_name=t", "--csv_delim=2", "--extr_fn"};
    args.insert(args.end(), extra.begin(), extra.end());
    return tessrun(args);
  }

  table_rows rows(const std::string& sql) {
    dblib_client client(server_->port(), "shop");
    EXPECT_TRUE(client.exec(sql)) << sql << ": " << client.last_error_text();
    return client.results().empty() ? table_rows{} : client.results().front().rows;
  }

  // Column name -> type as "int", "decimal(19,2)", "datetime2(7)", "nvarchar(10)".
  std::map<std::string, std::string> column_types(const std::string& table) {
    std::map<std::string, std::string> types;
    for (const auto& r :
         rows("SELECT COLUMN_NAME, DATA_TYPE, CHARACTER_MAXIMUM_LENGTH, NUMERIC_PRECISION, "
              "NUMERIC_SCALE, DATETIME_PRECISION FROM INFORMATION_SCHEMA.COLUMNS WHERE "
              "TABLE_NAME = N'" +
              table + "'")) {
      std::string type = r[1];
      if (type == "nvarchar") type += "(" + (r[2] == "-1" ? std::string("max") : r[2]) + ")";
      if (type == "decimal") type += "(" + r[3] + "," + r[4] + ")";
      if (type == "datetime2" || type == "time") type += "(" + r[5] + ")";
      types[r[0]] = type;
    }
    return types;
  }

  // Statements the server received that change a table's columns.
  std::vector<std::string> alter_statements() const {
    std::vector<std::string> found;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);)
      if (line.find("ALTER TABLE") != std::string::npos) found.push_back(line);
    return found;
  }

  temp_folder folder_;
  std::string log_;
  std::unique_ptr<server_process> server_;
};

TEST_P(tessrun_typed, every_kind_of_column_lands_with_its_type_and_values) {
  const std::string csv = folder_.write("typed.csv", typed_csv());
  const process_result r = load_csv(csv);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Table t: 4 rows loaded, 0 rows refused"), std::string::npos) << r.out;

  const auto types = column_types("t");
  EXPECT_EQ(types.at("id"), "int");
  for (const auto& c : typed_columns()) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(types.at(c.name), c.type);
    // Times are shown with all seven digits, whatever the column's scale.
    const std::string column = std::string("[") + c.name + "]";
    const std::string shown =
        c.type[0] == 't' ? "CONVERT(time(7), " + column + ")" : column;
    const table_rows landed = rows("SELECT CONVERT(nvarchar(60), " + shown + ") FROM t ORDER BY id");
    ASSERT_EQ(landed.size(), 4u);
    for (std::size_t row = 0; row < 4; ++row) EXPECT_EQ(landed[row][0], c.landed[row]) << "row " << row + 1;
  }
  // The table was created with its final types.
  EXPECT_EQ(alter_statements(), std::vector<std::string>{});
}

TEST_P(tessrun_typed, a_long_text_column_is_created_at_its_size) {
  const std::string long_value(5000, 'x');
  const std::string csv = folder_.write("long.csv", "id,body\n1,short\n2," + long_value + "\n");
  ASSERT_EQ(load_csv(csv).status, 0);
  EXPECT_EQ(column_types("t").at("body"), "nvarchar(max)");
  EXPECT_EQ(rows("SELECT LEN(body) FROM t ORDER BY id"), (table_rows{{"5"}, {"5000"}}));
  EXPECT_EQ(alter_statements(), std::vector<std::string>{});
}

TEST_P(tessrun_typed, no_refine_lands_every_column_as_text) {
  const std::string csv = folder_.write("typed.csv", typed_csv());
  const process_result r = load_csv(csv, {"--no_refine"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  for (const auto& [name, type] : column_types("t")) EXPECT_EQ(type, "nvarchar(50)") << name;
  const table_rows landed = rows("SELECT [stamp], [day] FROM t WHERE id = '1'");
  ASSERT_EQ(landed.size(), 1u);
  EXPECT_EQ(landed[0], (std::vector<std::string>{"2021-12-25 10:00:00.1234567", "2021-12-25"}));
}

// Numeric dates that read in both orders throughout stay text unless the
// date order is given, on the command line or in a profile.
TEST_P(tessrun_typed, ambiguous_dates_need_the_date_order) {
  const std::string csv = folder_.write("dates.csv", "id,d\n1,01/02/2003\n2,03/04/2005\n");
  ASSERT_EQ(load_csv(csv).status, 0);
  EXPECT_EQ(column_types("t").at("d"), "nvarchar(10)");

  const process_result r = load_csv(csv, {"--date_order=mdy", "--mode=1"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(column_types("t").at("d"), "date");
  EXPECT_EQ(rows("SELECT CONVERT(nvarchar(10), d) FROM t ORDER BY id"),
            (table_rows{{"2003-01-02"}, {"2005-03-04"}}));

  const std::string profile = folder_.write(
      "p.ini", "[MS Excel settings]\ndate order=dmy\n");
  const process_result p = load_csv(csv, {"--profile=" + profile, "--mode=1"});
  ASSERT_EQ(p.status, 0) << p.out << p.err;
  EXPECT_EQ(rows("SELECT CONVERT(nvarchar(10), d) FROM t ORDER BY id"),
            (table_rows{{"2003-02-01"}, {"2005-04-03"}}));
}

// Merge keeps the table's own types: the values go into the text column as
// they are written.
TEST_P(tessrun_typed, merge_keeps_the_existing_types) {
  {
    dblib_client client(server_->port());
    ASSERT_TRUE(client.exec("CREATE DATABASE shop; USE shop; CREATE TABLE t (id nvarchar(20) NULL, "
                            "n nvarchar(20) NULL)"))
        << client.last_error_text();
  }
  const std::string csv = folder_.write("m.csv", "id,n\n1,007\n2,42\n");
  const process_result r = load_csv(csv, {"--mode=3"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(column_types("t").at("n"), "nvarchar(20)");
  EXPECT_EQ(rows("SELECT n FROM t ORDER BY id"), (table_rows{{"007"}, {"42"}}));
}

INSTANTIATE_TEST_SUITE_P(paths, tessrun_typed, ::testing::Values(load_path::bulk, load_path::insert),
                         path_name);

TEST(tessrun_typed_options, a_date_order_that_is_none_of_the_three_is_refused) {
  const process_result r = run_process(
      TESSRUN_PATH, {"--from_csv", "--src=x.csv", "--dest=d", "--tab_name=t", "--csv_delim=2",
                     "--date_order=dym"},
      {"LC_ALL=C.UTF-8"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("Invalid date order 'dym'"), std::string::npos) << r.err;

  temp_folder folder;
  const std::string profile = folder.write("p.ini", "[MS Excel settings]\ndate order=d/m/y\n");
  const process_result p = run_process(
      TESSRUN_PATH, {"--profile=" + profile, "--src=x.csv", "--dest=d", "--from_csv"},
      {"LC_ALL=C.UTF-8"});
  EXPECT_NE(p.status, 0);
  EXPECT_NE((p.out + p.err).find("'date order' under [MS Excel settings] is 'd/m/y': give dmy, "
                                 "mdy or ymd"),
            std::string::npos)
      << p.out << p.err;
}

}  // namespace

namespace {

// Sheet "Typed": whole numbers (one beyond 32 bits), dates at midnight,
// dates with times and fractional numbers.
const char* const k_typed_workbook = R"(
import openpyxl, datetime, sys
wb = openpyxl.Workbook()
ws = wb.active
ws.title = 'Typed'
ws.append(['n', 'big', 'day', 'at', 'x'])
ws.append([1, 5000000000, datetime.datetime(2021, 12, 25), datetime.datetime(2021, 12, 25, 10, 30), 1.5])
ws.append([-7, 2, datetime.datetime(1999, 1, 31), datetime.datetime(2000, 1, 1), 2])
wb.save(sys.argv[1])
)";

TEST(tessrun_typed_workbook, whole_numbers_and_dates_at_midnight_land_as_int_and_date) {
  temp_folder folder;
  const std::string book = folder.file("typed.xlsx");
  ASSERT_EQ(run_process("/usr/bin/python3", {"-c", k_typed_workbook, book}).status, 0);
  for (const bool b_refine : {true, false}) {
    SCOPED_TRACE(b_refine ? "refined" : "--no_refine");
    server_process server;
    std::vector<std::string> args = {"--src=" + book, "--dest=wb", "--extr_fn",
                                     "--host=127.0.0.1:" + std::to_string(server.port()),
                                     "--user=sa", std::string("--pswd=") + k_password};
    if (!b_refine) args.push_back("--no_refine");
    const process_result r = run_process(TESSRUN_PATH, args, {"LC_ALL=C.UTF-8"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    dblib_client client(server.port(), "wb");
    ASSERT_TRUE(client.exec("SELECT COLUMN_NAME, DATA_TYPE FROM INFORMATION_SCHEMA.COLUMNS WHERE "
                            "TABLE_NAME = N'Typed' ORDER BY ORDINAL_POSITION"));
    const table_rows want_types =
        b_refine ? table_rows{{"n", "int"}, {"big", "bigint"}, {"day", "date"}, {"at", "datetime"},
                              {"x", "float"}}
                 : table_rows{{"n", "float"}, {"big", "float"}, {"day", "datetime"},
                              {"at", "datetime"}, {"x", "float"}};
    EXPECT_EQ(client.results().at(0).rows, want_types);
    ASSERT_TRUE(client.exec(
        "SELECT n, big, CONVERT(nvarchar(30), CONVERT(date, day)), x FROM Typed ORDER BY n"));
    EXPECT_EQ(client.results().at(0).rows,
              (table_rows{{"-7", "2", "1999-01-31", "2"}, {"1", "5000000000", "2021-12-25", "1.5"}}));
  }
}

}  // namespace

// tessrun loading workbooks (.xlsx written by openpyxl, .xls by xlwt) into
// the SQL Server stand-in; the tables are checked by querying the server.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "workbook_run.hpp"

namespace {

using tds_test::dblib_client;
using tds_test::k_password;

// The same sheet in both formats: numbers, decimals, dates, a time on day 0,
// booleans, text with an empty cell and a long text.
const char* sales_rows = R"(
import datetime
long_text = 'x' * 300
header = ['id', 'amount', 'sold on', 'at', 'ok', 'note']
rows = [
    [1, 2.5, datetime.datetime(2024, 2, 29, 13, 45, 10), datetime.time(10, 20, 30), True, 'Café'],
    [2, 1234567.125, datetime.datetime(1900, 3, 1), datetime.time(23, 59, 59), False, None],
    [3, -7, datetime.datetime(2010, 12, 31), datetime.time(0, 0, 1), True, long_text],
]
)";

const char* write_xlsx = R"(
import openpyxl, sys
wb = openpyxl.Workbook()
ws = wb.active
ws.title = 'Sales'
ws.append(header)
for r in rows:
    ws.append(r)
for row in ws.iter_rows(min_row=2, min_col=3, max_col=3):
    row[0].number_format = 'yyyy-mm-dd hh:mm:ss'
wb.save(sys.argv[1])
)";

const char* write_xls = R"(
import xlwt, sys
wb = xlwt.Workbook()
ws = wb.add_sheet('Sales')
styles = {2: xlwt.easyxf(num_format_str='YYYY-MM-DD HH:MM:SS'),
          3: xlwt.easyxf(num_format_str='HH:MM:SS')}
for c, h in enumerate(header):
    ws.write(0, c, h)
for r, row in enumerate(rows, start=1):
    for c, v in enumerate(row):
        if v is None:
            continue
        if c in styles:
            ws.write(r, c, v, styles[c])
        else:
            ws.write(r, c, v)
wb.save(sys.argv[1])
)";

TEST_F(tessrun_workbook, xlsx_and_xls_land_alike_with_their_types) {
  const std::string xlsx = make("sales.xlsx", std::string(sales_rows) + write_xlsx);
  const std::string xls = make("sales.xls", std::string(sales_rows) + write_xls);
  const std::map<std::string, std::string> expected_types = {
      {"id", "int"},      {"amount", "float"}, {"sold on", "datetime"},
      {"at", "datetime"}, {"ok", "bit"},       {"note", "nvarchar(300)"}};
  const table_rows expected_rows = {
      {"1", "2.5", "2024-02-29 13:45:10.0000000", "1899-12-30 10:20:30.0000000", "1", "Café"},
      {"2", "1234567.125", "1900-03-01 00:00:00.0000000", "1899-12-30 23:59:59.0000000", "0",
       "NULL"},
      {"3", "-7", "2010-12-31 00:00:00.0000000", "1899-12-30 00:00:01.0000000", "1",
       std::string(300, 'x')},
  };
  for (const auto& [book, database] : {std::pair{xlsx, "from_xlsx"}, std::pair{xls, "from_xls"}}) {
    const process_result r = load(book, database);
    EXPECT_EQ(r.status, 0) << book << "\n" << r.out << r.err;
    EXPECT_EQ(r.out, "Converting spreadsheet " + book +
                         "(1 worksheets)\nConverting worksheet Sales\n"
                         "Table Sales: 3 rows loaded, 0 rows refused\n");
    EXPECT_EQ(column_types(database, "Sales"), expected_types) << book;
    EXPECT_EQ(query(database, "SELECT * FROM Sales ORDER BY id"), expected_rows) << book;
  }
}

TEST_F(tessrun_workbook, the_1904_date_system_gives_the_same_dates) {
  const std::string book = make("mac.xlsx", R"(
import openpyxl, datetime, sys
from openpyxl.utils.datetime import CALENDAR_MAC_1904
wb = openpyxl.Workbook()
wb.epoch = CALENDAR_MAC_1904
ws = wb.active
ws.title = 'Dates'
ws.append(['d'])
ws.append([datetime.datetime(2024, 2, 29, 8, 30)])
ws.append([datetime.datetime(1904, 1, 2)])
wb.save(sys.argv[1])
)");
  ASSERT_EQ(load(book, "mac").status, 0);
  EXPECT_EQ(query("mac", "SELECT d FROM Dates ORDER BY d"),
            (table_rows{{"1904-01-02 00:00:00.0000000"}, {"2024-02-29 08:30:00.0000000"}}));
}

TEST_F(tessrun_workbook, mixed_columns_keep_every_value_as_text) {
  const std::string book = make("mixed.xlsx", R"(
import openpyxl, sys
wb = openpyxl.Workbook()
ws = wb.active
ws.title = 'Mixed'
ws.append(['n', 'zip'])
for i in range(1, 5001):
    ws.append([('n/a' if i == 5000 else i), '%05d' % (i * 7)])
wb.save(sys.argv[1])
)");
  ASSERT_EQ(load(book, "mixed").status, 0);
  EXPECT_EQ(column_types("mixed", "Mixed"),
            (std::map<std::string, std::string>{{"n", "nvarchar(10)"}, {"zip", "nvarchar(10)"}}));
  EXPECT_EQ(query("mixed", "SELECT COUNT(*) FROM Mixed"), (table_rows{{"5000"}}));
  EXPECT_EQ(query("mixed", "SELECT n, zip FROM Mixed WHERE zip = N'00007'"),
            (table_rows{{"1", "00007"}}));
  EXPECT_EQ(query("mixed", "SELECT n FROM Mixed WHERE zip = N'35000'"), (table_rows{{"n/a"}}));
}

TEST_F(tessrun_workbook, date_cells_no_date_can_hold) {
  const std::string book = make("odd.xlsx", R"(
import openpyxl, sys
wb = openpyxl.Workbook()
ws = wb.active
ws.title = 'Odd'
ws.append(['fictitious', 'huge', 'day zero'])
ws.append([60, 1e12, 0])
ws.append([61, 5, 0.75])
for cells in ws.iter_rows(min_row=2):
    cells[0].number_format = 'yyyy-mm-dd'
    cells[2].number_format = 'yyyy-mm-dd hh:mm'
ws['B2'].number_format = 'yyyy-mm-dd'
wb.save(sys.argv[1])
)");
  ASSERT_EQ(load(book, "odd").status, 0);
  // Serial 60 is 1900-02-29, a day that never was: NULL, not a wrong date.
  // 1e12 under a date format is no date: the column stays numeric.
  // Serial 0 is day 0 itself, 1899-12-30. Dates all at midnight are a date column.
  EXPECT_EQ(query("odd", "SELECT fictitious, huge, [day zero] FROM Odd ORDER BY huge"),
            (table_rows{{"1900-03-01", "5", "1899-12-30 18:00:00.0000000"},
                        {"NULL", "1000000000000", "1899-12-30 00:00:00.0000000"}}));
}

TEST_F(tessrun_workbook, sheet_names_land_verbatim_and_table_lists_select) {
  const std::string book = make("names.xlsx", R"(
import openpyxl, sys
wb = openpyxl.Workbook()
wb.active.title = 'Q1 totals'
wb.active.append(['v']); wb.active.append([1])
for title in ["Bob's", 'Лист 2', 'Empty']:
    ws = wb.create_sheet(title)
    if title != 'Empty':
        ws.append(['a]b', "it's"]); ws.append([2, 3])
wb.save(sys.argv[1])
)");
  const std::string list = folder_.file("list.txt");
  std::ofstream(list) << "Q1 totals\nBob's\nЛист 2\nMissing\n";
  const process_result r = load(book, "names", {"--tab_file=" + list});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "Worksheet Missing not found\n");
  for (const std::string table : {"[Q1 totals]", "[Bob's]", "[Лист 2]"})
    EXPECT_EQ(query("names", "SELECT COUNT(*) FROM " + table), (table_rows{{"1"}})) << table;
  EXPECT_EQ(query("names", "SELECT [a]]b], [it's] FROM [Bob's]"), (table_rows{{"2", "3"}}));

  // An empty worksheet is reported, and the others are still loaded.
  const process_result all = load(book, "all");
  EXPECT_EQ(all.status, 0);
  EXPECT_NE(all.out.find("Error:\nEmpty: The worksheet holds no data, so no table was created "
                         "for it.\n"),
            std::string::npos)
      << all.out;
  EXPECT_EQ(query("all", "SELECT COUNT(*) FROM [Лист 2]"), (table_rows{{"1"}}));

  // Only absent names: nothing is converted, and the run says it failed.
  std::ofstream(list) << "Nothing\n";
  const process_result none = load(book, "none", {"--tab_file=" + list});
  EXPECT_EQ(none.status, 255);
  EXPECT_EQ(none.err, "Worksheet Nothing not found\n");
  EXPECT_EQ(none.out, "Converting spreadsheet " + book +
                          "(0 worksheets)\nError:\nNone of the worksheets in the table list "
                          "exists in " +
                          book +
                          "; nothing was loaded. Check the names in the table list "
                          "(--tab_file=).\n");
}

TEST_F(tessrun_workbook, profile_selects_the_worksheets) {
  const std::string book = make("three.xlsx", R"(
import openpyxl, sys
wb = openpyxl.Workbook()
wb.active.title = 'North'
wb.active.append(['v']); wb.active.append([1])
for title in ['South', 'West']:
    ws = wb.create_sheet(title); ws.append(['v']); ws.append([2])
wb.save(sys.argv[1])
)");
  const std::string profile = folder_.write(
      "regions.tsp",
      "[Available Queries]\r\n\r\n"
      "[Generic settings]\r\ndest=regions\r\nmode=0\r\nsrc=" +
          book +
          "\r\n\r\n"
          "[MS Excel settings]\r\nconvert from xls=1\r\nextract field names=1\r\n"
          "refine types=1\r\n\r\n"
          "[MS SQL Server settings]\r\nconnect as DBO=0\r\nlogin=sa\r\npassword=" +
          std::string(k_password) + "\r\nserver=127.0.0.1:" + std::to_string(server_.port()) +
          "\r\nwindows authentication=0\r\n\r\n"
          "[Selected Tables]\r\nSouth\r\nWest\r\n\r\n");
  const process_result r = run_process(TESSRUN_PATH, {"--profile=" + profile}, {"LC_ALL=C.UTF-8"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "Converting spreadsheet " + book +
                       "(2 worksheets)\nConverting worksheet South\n"
                       "Table South: 1 rows loaded, 0 rows refused\nConverting worksheet West\n"
                       "Table West: 1 rows loaded, 0 rows refused\n");
  EXPECT_EQ(
      query("regions", "SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES ORDER BY TABLE_NAME"),
      (table_rows{{"South"}, {"West"}}));
}

TEST_F(tessrun_workbook, mode_two_skips_existing_tables) {
  const std::string book = make("two.xlsx", R"(
import openpyxl, sys
wb = openpyxl.Workbook()
wb.active.title = 'A'
wb.active.append(['v']); wb.active.append([1])
b = wb.create_sheet('B'); b.append(['v']); b.append([2])
wb.save(sys.argv[1])
)");
  ASSERT_EQ(load(book, "skip").status, 0);
  {
    dblib_client client(server_.port(), "skip");
    ASSERT_TRUE(client.exec("DROP TABLE B"));
  }
  const process_result r = load(book, "skip", {"--mode=2"});
  EXPECT_EQ(r.status, 0);
  // A existed and was left alone; B was missing and was loaded again.
  EXPECT_EQ(r.out, "Converting spreadsheet " + book +
                       "(2 worksheets)\nTable A exists and was skipped\nConverting worksheet B\n"
                       "Table B: 1 rows loaded, 0 rows refused\n");
  EXPECT_EQ(query("skip", "SELECT COUNT(*) FROM A"), (table_rows{{"1"}}));
  EXPECT_EQ(query("skip", "SELECT COUNT(*) FROM B"), (table_rows{{"1"}}));
}

}  // namespace

// tessrun loading workbooks whose values are easy to get wrong: durations,
// Excel 95 text without a code page record, formula text results, empty
// texts, sheet names under the C locale and worksheets too wide for a table.
// Stored values are checked by querying the stand-in.
#include <chrono>
#include <string>

#include "workbook_run.hpp"

namespace {

std::string fixture(const std::string& name) { return std::string(DAO_FIXTURES) + "/" + name; }

// One sheet "Times" with a column of durations under a day, one with
// durations past a day and one with a time of day; the same in both formats.
const char* duration_rows = R"(
import datetime
header = ['short', 'long', 'clock']
rows = [[0.25, 1.2604166666666667, 0.5], [0.5 + 1 / 86400, 60, 0.75]]
formats = ['[h]:mm:ss', '[h]:mm:ss', 'hh:mm:ss']
)";

const char* durations_xlsx = R"(
import openpyxl, sys
wb = openpyxl.Workbook()
if len(sys.argv) > 2:
    from openpyxl.utils.datetime import CALENDAR_MAC_1904
    wb.epoch = CALENDAR_MAC_1904
ws = wb.active
ws.title = 'Times'
ws.append(header)
for r in rows:
    ws.append(r)
for row in ws.iter_rows(min_row=2):
    for cell, fmt in zip(row, formats):
        cell.number_format = fmt
wb.save(sys.argv[1])
)";

const char* durations_xls = R"(
import xlwt, sys
wb = xlwt.Workbook()
ws = wb.add_sheet('Times')
for c, h in enumerate(header):
    ws.write(0, c, h)
for r, row in enumerate(rows, start=1):
    for c, v in enumerate(row):
        ws.write(r, c, v, xlwt.easyxf(num_format_str=formats[c]))
wb.save(sys.argv[1])
)";

TEST_F(tessrun_workbook, durations_land_as_time_or_as_their_full_text) {
  const std::string prelude = duration_rows;
  const struct {
    std::string book;
    const char* database;
  } books[] = {
      {make("durations.xlsx", prelude + durations_xlsx), "dur_xlsx"},
      {make("durations.xls", prelude + durations_xls), "dur_xls"},
  };
  for (const auto& [book, database] : books) {
    const process_result r = load(book, database);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(column_types(database, "Times"),
              (std::map<std::string, std::string>{
                  {"short", "time"}, {"long", "nvarchar(10)"}, {"clock", "datetime"}}))
        << book;
    EXPECT_EQ(query(database, "SELECT short, long, clock FROM Times ORDER BY short"),
              (table_rows{{"06:00:00.0000000", "30:15:00", "1899-12-30 12:00:00.0000000"},
                          {"12:00:01.0000000", "1440:00:00", "1899-12-30 18:00:00.0000000"}}))
        << book;
  }
}

TEST_F(tessrun_workbook, durations_ignore_the_1904_date_system) {
  const std::string book = folder_.file("mac_durations.xlsx");
  const process_result made = run_process(
      "/usr/bin/python3", {"-c", std::string(duration_rows) + durations_xlsx, book, "1904"});
  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_EQ(load(book, "dur_mac").status, 0);
  EXPECT_EQ(query("dur_mac", "SELECT short, long FROM Times ORDER BY short"),
            (table_rows{{"06:00:00.0000000", "30:15:00"}, {"12:00:01.0000000", "1440:00:00"}}));
}

TEST_F(tessrun_workbook, excel_95_text_takes_its_code_page_from_the_fonts) {
  const std::string book = fixture("cyrillic95.xls");
  const process_result r = load(book, "cyr95");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "Converting spreadsheet " + book +
                       "(1 worksheets)\nConverting worksheet Отчёт\n"
                       "Table Отчёт: 2 rows loaded, 0 rows refused\n");
  EXPECT_EQ(query("cyr95", "SELECT [Имя], [Сумма] FROM [Отчёт] ORDER BY [Сумма]"),
            (table_rows{{"Ёж", "-3"}, {"Отчёт", "12.5"}}));
}

TEST_F(tessrun_workbook, formula_texts_and_empty_texts_land_as_text) {
  const std::string book = fixture("formulas.xls");
  const process_result r = load(book, "formulas");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  // "blank" holds only empty texts: it exists, is text, and holds ''.
  EXPECT_EQ(column_types("formulas", "Block"),
            (std::map<std::string, std::string>{
                {"id", "int"}, {"label", "nvarchar(20)"}, {"blank", "nvarchar(50)"}}));
  EXPECT_EQ(
      query("formulas", "SELECT id, label, blank, LEN(blank) FROM Block ORDER BY id"),
      (table_rows{{"1", "first of block", "", "0"}, {"2", "second", "", "0"}, {"3", "", "", "0"}}));
}

TEST_F(tessrun_workbook, an_xlsx_column_of_empty_texts_keeps_its_place) {
  const std::string book = make("empty.xlsx", R"(
import openpyxl, sys
wb = openpyxl.Workbook()
ws = wb.active
ws.title = 'Empty'
ws.append(['a', 'b', 'c'])
ws.append([1, '', 2])
ws.append([3, '', 4])
wb.save(sys.argv[1])
)");
  const process_result r = load(book, "empty");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(query("empty", "SELECT a, b, c FROM Empty ORDER BY a"),
            (table_rows{{"1", "", "2"}, {"3", "", "4"}}));
}

TEST_F(tessrun_workbook, error_cells_land_as_null_and_are_counted) {
  // openpyxl keeps a cell that starts with "#" and names an error as one.
  const std::string book = make("errors.xlsx", R"(
import openpyxl, sys
wb = openpyxl.Workbook()
ws = wb.active
ws.title = 'Errors'
ws.append(['a', 'b'])
ws.append([1, '#N/A'])
ws.append(['#DIV/0!', '#REF!'])
ws.append([4, 5])
wb.save(sys.argv[1])
)");
  const process_result r = load(book, "errors");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Table Errors: 3 rows loaded, 0 rows refused, 3 error cells stored as "
                       "NULL\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(query("errors", "SELECT a, b FROM Errors ORDER BY b, a"),
            (table_rows{{"NULL", "NULL"}, {"1", "NULL"}, {"4", "5"}}));
}

TEST_F(tessrun_workbook, sheet_names_are_the_same_under_the_c_locale) {
  const std::string book = make("locale.xlsx", R"(
import openpyxl, sys
wb = openpyxl.Workbook()
wb.active.title = 'Отчёт'
wb.active.append(['v']); wb.active.append([1])
ws = wb.create_sheet('2024')
ws.append(['v']); ws.append([2])
wb.save(sys.argv[1])
)");
  for (const char* locale : {"LC_ALL=C", "LC_ALL=C.UTF-8"}) {
    const std::string database = std::string("names_") + (locale[8] == 0 ? "c" : "utf8");
    const process_result r = load(book, database, {}, {locale});
    ASSERT_EQ(r.status, 0) << locale << r.out << r.err;
    // A letter of any alphabet starts a name; a digit gets "_".
    EXPECT_EQ(
        query(database, "SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES ORDER BY TABLE_NAME"),
        (table_rows{{"_2024"}, {"Отчёт"}}))
        << locale;
  }
}

TEST_F(tessrun_workbook, a_sheet_wider_than_a_table_is_refused_and_the_others_load) {
  const std::string book = make("wide.xlsx", R"(
import openpyxl, sys
wb = openpyxl.Workbook()
ws = wb.active
ws.title = 'Wide'
ws['A1'] = 'a'
ws['XFD1048576'] = 1
ok = wb.create_sheet('Narrow')
ok.append(['v']); ok.append([5])
wb.save(sys.argv[1])
)");
  const auto start = std::chrono::steady_clock::now();
  const process_result r = load(book, "wide", {"--mode=1"});
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Wide: The worksheet's values span 16384 columns (A to XFD); a SQL Server "
                       "table holds at most 1024."),
            std::string::npos)
      << r.out;
  EXPECT_EQ(query("wide", "SELECT v FROM Narrow"), (table_rows{{"5"}}));
  EXPECT_EQ(query("wide",
                  "SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = "
                  "N'Wide'"),
            (table_rows{{"0"}}));
  // Nothing near a million rows was read or sent (the whole run, sanitizers
  // and all, in well under the time one pass over them would take).
  EXPECT_LT(took, std::chrono::seconds(20));
}

}  // namespace

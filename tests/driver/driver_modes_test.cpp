// The four modes decided by the driver alone, for CSV files and workbooks,
// and what a run whose source cannot be read leaves behind: nothing changed.
#include <gtest/gtest.h>

#include "driver_fixture.hpp"

namespace {

using namespace driver_test;

class driver_modes : public driver_run {};

TEST_F(driver_modes, csv_modes_treat_the_existing_database_as_documented) {
  struct mode_case {
    int mode;
    std::vector<std::string> tables;  // shop afterwards
  };
  const mode_case cases[] = {
      {mode_overwrite_database, {"rows=2"}},           // other went with the database
      {mode_overwrite_tables, {"other=1", "rows=2"}},  // rows replaced
      {mode_skip_tables, {"other=1", "rows=3"}},       // rows left alone
      {mode_merge, {"other=1", "rows=5"}},             // rows appended
  };
  const std::string csv = write_csv(2);
  for (const mode_case& c : cases) {
    query("IF DB_ID('shop') IS NOT NULL DROP DATABASE shop", "");
    make_existing_database();
    configure_csv(csv, c.mode);
    conv_();
    EXPECT_EQ(conv_.outcome(), run_outcome::completed) << c.mode;
    EXPECT_EQ(tables_and_counts(), c.tables) << "mode " << c.mode;
  }
}

TEST_F(driver_modes, csv_run_reports_each_table) {
  make_existing_database();
  configure_csv(write_csv(2), mode_skip_tables);
  conv_();
  configure_csv(write_csv(4), mode_merge);
  conv_();
  const std::vector<std::string> expected = {
      "Table rows exists and was skipped",
      "Converting CSV file " + folder_.file("rows.csv"),
      "Table rows: 4 rows loaded, 0 rows refused",
  };
  EXPECT_EQ(front_end_.lines, expected);
}

// Two worksheets, "Data" and "DATA", and a third, "other": table names that
// SQL Server takes for the same name. Excel itself refuses such twins, so
// the second name is put into the workbook's XML afterwards, as other
// writers do.
const char* case_twins = R"(
import openpyxl, zipfile, shutil
wb = openpyxl.Workbook()
ws = wb.active
ws.title = 'Data'
ws.append(['v']); ws.append([1]); ws.append([2])
ws = wb.create_sheet('Twin')
ws.append(['v']); ws.append([3])
ws = wb.create_sheet('other')
ws.append(['v']); ws.append([4]); ws.append([5]); ws.append([6])
wb.save(path + '.tmp')
with zipfile.ZipFile(path + '.tmp') as src, zipfile.ZipFile(path, 'w') as out:
    for item in src.infolist():
        data = src.read(item.filename)
        if item.filename == 'xl/workbook.xml':
            data = data.replace(b'name="Twin"', b'name="DATA"')
        out.writestr(item, data)
)";

TEST_F(driver_modes, workbook_modes_and_sheets_differing_only_in_case) {
  const std::string book = make_workbook("twins.xlsx", case_twins);
  struct mode_case {
    int mode;
    std::vector<std::string> tables;
  };
  // "DATA" sorts first and keeps its name; "Data" becomes "Data_". The
  // existing "rows" is not a worksheet: only mode 0 removes it.
  const mode_case cases[] = {
      {mode_overwrite_database, {"DATA=1", "Data_=2", "other=3"}},
      {mode_overwrite_tables, {"DATA=1", "Data_=2", "other=3", "rows=3"}},
      {mode_skip_tables, {"DATA=1", "Data_=2", "other=1", "rows=3"}},
      {mode_merge, {"DATA=1", "Data_=2", "other=4", "rows=3"}},
  };
  for (const mode_case& c : cases) {
    query("IF DB_ID('shop') IS NOT NULL DROP DATABASE shop", "");
    make_existing_database();
    configure_workbook(book, c.mode);
    conv_();
    EXPECT_EQ(conv_.outcome(), run_outcome::completed) << c.mode;
    EXPECT_EQ(tables_and_counts(), c.tables) << "mode " << c.mode;
  }
}

// A source that cannot be loaded, as each kind of run meets it.
struct unloadable_case {
  const char* name;
  bool b_workbook;
  std::string book_script;           // empty: the file does not exist
  std::vector<std::wstring> sheets;  // the table list, for workbooks
};

TEST_F(driver_modes, an_unloadable_source_leaves_the_destination_as_it_was) {
  const unloadable_case cases[] = {
      {"missing CSV file", false, "", {}},
      {"missing workbook", true, "", {}},
      {"table list naming no worksheet of the workbook", true, case_twins, {L"Nothing", L"Else"}},
      {"only worksheet is empty",
       true,
       "import openpyxl\nwb = openpyxl.Workbook()\nwb.active.title = 'rows'\nwb.save(path)\n",
       {}},
  };
  for (const unloadable_case& c : cases) {
    const std::string source = c.book_script.empty()
                                   ? folder_.file(c.b_workbook ? "absent.xlsx" : "absent.csv")
                                   : make_workbook("book.xlsx", c.book_script);
    for (int mode = mode_overwrite_database; mode <= mode_merge; ++mode) {
      query("IF DB_ID('shop') IS NOT NULL DROP DATABASE shop", "");
      make_existing_database();
      if (!c.b_workbook) {
        configure_csv(source, mode);
      } else if (c.book_script.empty()) {
        // A workbook that is not there has no worksheets to list.
        conv_.src = std::filesystem::path(source).wstring();
        conv_.dest = L"shop";
        conv_.from_xls = true;
        conv_.mode = mode;
        conv_.worksheets = {{L"rows", L"rows$"}};
        connect();
      } else {
        configure_workbook(source, mode, c.sheets);
      }
      front_end_.errors.clear();
      conv_();
      EXPECT_EQ(conv_.outcome(), run_outcome::failed) << c.name << ", mode " << mode;
      EXPECT_TRUE(conv_.b_finished);
      EXPECT_FALSE(front_end_.errors.empty()) << c.name;
      EXPECT_EQ(tables_and_counts(), (std::vector<std::string>{"other=1", "rows=3"}))
          << c.name << ", mode " << mode;
    }
  }
}

TEST_F(driver_modes, a_missing_workbook_with_no_database_creates_none) {
  conv_.src = folder_.path().wstring() + L"/absent.xls";
  conv_.dest = L"shop";
  conv_.worksheets = {{L"Sheet1", L"Sheet1$"}};
  connect();
  conv_();
  EXPECT_EQ(conv_.outcome(), run_outcome::failed);
  EXPECT_EQ(query("SELECT COUNT(*) FROM sys.databases WHERE name = N'shop'", ""),
            (table_rows{{"0"}}));
}

TEST_F(driver_modes, names_longer_than_128_characters_are_shortened_once_each) {
  const std::string long_column(200, 'c');
  const std::string csv = folder_.write(
      "long.csv", "id;" + long_column + ";" + long_column.substr(0, 128) + "\n1;2;3\n");
  configure_csv(csv, mode_overwrite_tables);
  conv_.tab_name = std::wstring(150, L't');
  conv_();
  EXPECT_EQ(conv_.outcome(), run_outcome::completed);
  const std::string table(128, 't');
  // The cut column would take its neighbour's name: it gets a suffix and
  // stays within 128 characters.
  const std::string cut = long_column.substr(0, 127) + "_";
  EXPECT_EQ(
      query("SELECT id, [" + cut + "], [" + long_column.substr(0, 128) + "] FROM [" + table + "]"),
      (table_rows{{"1", "2", "3"}}));
  ASSERT_EQ(front_end_.errors.size(), 2u);
  EXPECT_NE(front_end_.errors[0].find("table name 'tttt"), std::string::npos)
      << front_end_.errors[0];
  EXPECT_NE(front_end_.errors[1].find("column name 'cccc"), std::string::npos)
      << front_end_.errors[1];
}

}  // namespace

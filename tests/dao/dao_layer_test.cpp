// The dao_ classes and xls_reader over generated workbooks: engine versions,
// table lists and display names, schemas, records and their texts, queries,
// and the errors a front end maps to messages.
#include <gtest/gtest.h>

#include "dao_database.hpp"
#include "dao_engine.hpp"
#include "dao_exception.hpp"
#include "dao_field.hpp"
#include "dao_recordset.hpp"
#include "ole_exceptions.hpp"
#include "tk_mail_assertion.hpp"
#include "wb_test_support.hpp"
#include "xls_reader.hpp"

namespace {
std::wstring wfixture(const std::string& name) { return tk_utf82w(fixture(name)); }

class dao_test : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(engine.set_version_if(3)); }
  std::unique_ptr<dao_database> open(const std::string& name, bool b_first_row = true) {
    return xls_reader::open_xls(engine, wfixture(name), b_first_row);
  }
  // Every record of a table as the texts of its fields.
  static std::vector<std::vector<std::string>> texts(udb_recordset& rs) {
    std::vector<std::vector<std::string>> rows;
    while (!rs.is_eof()) {
      udb_record* record = rs.create_record();
      std::vector<std::string> row;
      for (std::size_t i = 0; i < record->field_count(); ++i)
        row.push_back(text(record->field_at(i)));
      rows.push_back(row);
      rs.move_next();
    }
    return rows;
  }
  // Numbers as %.15g (the value layer prints reals its own way), others as
  // the field prints them.
  static std::string text(const udb_field& field) {
    if (field.get_type() != VT_R8) return field.to_string();
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", field.to_double());
    return buf;
  }
  dao_engine engine{0};
};

TEST(dao_engine_test, one_engine_at_a_time_and_versions_3_and_0_only) {
  dao_engine engine(0);
  EXPECT_EQ(dao_engine::instance(), &engine);
  EXPECT_THROW(dao_engine second(1), tk_mail_assertion);
  EXPECT_THROW(engine.open_dao_src(L"x.xlsx", L"Excel 5.0;", 1), tk_mail_assertion);
  EXPECT_FALSE(engine.set_version_if(1));
  EXPECT_FALSE(engine.set_version_if(2));
  EXPECT_EQ(engine.get_version(), dao_engine::no_engine);
  EXPECT_TRUE(engine.set_version_if(0));
  EXPECT_TRUE(engine.set_version_if(3));
  EXPECT_EQ(engine.get_version(), 3);
  EXPECT_THROW(engine.set_version_if(4), tk_mail_assertion);
}

TEST(dao_engine_test, instance_is_released_with_the_engine) {
  { dao_engine engine(0); }
  EXPECT_EQ(dao_engine::instance(), nullptr);
  dao_engine again(0);  // no assertion: the first one is gone
}

TEST(dao_engine_test, connect_strings) {
  EXPECT_EQ(xls_reader::connect_string(true), L"Excel 5.0; IMEX=1;");
  EXPECT_EQ(xls_reader::connect_string(false), L"Excel 5.0; HDR=No; IMEX=1;");
  const std::pair<const wchar_t*, bool> cases[] = {
      {L"Excel 5.0; HDR=No; IMEX=1;", false}, {L"Excel 5.0; IMEX=1;", true},
      {L"Excel 8.0;hdr = no", false},         {L"Excel 5.0; HDR=Yes;", true},
      {L"Excel 5.0; HDRX=No;", true},
  };
  for (const auto& [connect, header] : cases)
    EXPECT_EQ(dao_engine::header_from_connect(connect), header) << tk_w2a(connect);
}

TEST_F(dao_test, refusals_carry_the_numbers_the_error_maps_know) {
  const std::pair<const char*, std::uint32_t> cases[] = {{"encrypted.xlsx", 0x10C59},
                                                         {"filepass.xls", 0x10C59},
                                                         {"text.xlsx", 0x10CCA},
                                                         {"truncated.xlsx", 0x10CCA},
                                                         {"missing.xls", 0x10CCA}};
  for (const auto& [name, code] : cases) {
    try {
      open(name);
      ADD_FAILURE() << name << " opened";
    } catch (const dao_exception& e) {
      EXPECT_EQ(e.code(), code) << name;
      EXPECT_EQ(e.level(), tk_level_run) << name;
    }
  }
  try {
    engine.open_dao_src(wfixture("multi.xlsx"), L"Text;", 1);
    ADD_FAILURE() << "a text connect string was taken";
  } catch (const dao_exception& e) {
    EXPECT_EQ(e.number(), 3170u);
  }
}

TEST_F(dao_test, table_list_names_sheets_and_defined_names) {
  for (const char* name : {"multi.xlsx", "multi.xls"}) {
    auto db = open(name);
    std::vector<std::wstring> expected = {L"Data$",       L"'My sheet$'", L"'Q''uote$'",
                                          L"'Br]acket$'", L"Empty$",      L"Hidden$"};
    if (std::string(name) == "multi.xlsx") {
      expected.push_back(L"Data");        // a workbook name beside the sheet "Data"
      expected.push_back(L"Data$Area2");  // a name of the sheet "Data"
    }
    EXPECT_EQ(db->get_tables(), expected) << name;
    EXPECT_TRUE(db->is_table_exist(L"data$"));
    EXPECT_FALSE(db->is_table_exist(L"Chart1$"));
  }
}

TEST_F(dao_test, schema_and_records_of_a_worksheet) {
  for (const char* name : {"multi.xlsx", "multi.xls"}) {
    auto db = open(name);
    auto rs = db->get_table(L"Data$", 1);
    ASSERT_NE(rs, nullptr);
    EXPECT_EQ(rs->get_source_text(), L"SELECT * FROM [Data$]");
    const udb_schema& schema = rs->get_schema();
    ASSERT_EQ(schema.field_count(), 7u);
    const std::pair<VARTYPE, int> types[] = {{VT_R8, 8},    {VT_BSTR, 255}, {VT_R8, 8},
                                             {VT_DATE, 8},  {VT_BOOL, 1},   {VT_DATE, 8},
                                             {VT_BSTR, 255}};
    for (std::size_t i = 0; i < 7; ++i) {
      EXPECT_EQ(schema.field_at(i).vartype, types[i].first) << name << " column " << i;
      EXPECT_EQ(schema.field_at(i).size, types[i].second) << name << " column " << i;
    }
    EXPECT_EQ(schema.field_at(6).name, L"Zip");
    EXPECT_EQ(static_cast<dao_recordset&>(*rs).get_record_count(), 3);
    udb_record* first = rs->create_record();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->field_at(4).get_type(), VT_BOOL);
    EXPECT_EQ(first->field_at(3).get_type(), VT_DATE);
    EXPECT_EQ(texts(*rs),
              (std::vector<std::vector<std::string>>{
                  {"1", "alpha", "1.5", "2024-02-29 13:45:10", "1", "0000-00-00 08:30:00", "01234"},
                  {"2", "beta", "-2.25", "1999-12-31", "0", "0000-00-00 23:59:59", "00501"},
                  {"3", "gamma", "1000000", "1904-01-02", "1", "0000-00-00 00:00:01", "10001"}}))
        << name;
  }
}

TEST_F(dao_test, long_text_is_a_memo_column_of_size_0) {
  auto db = open("multi.xlsx");
  auto rs = db->get_table(L"'My sheet$'", 1);
  EXPECT_EQ(rs->get_schema().field_at(0).vartype, VT_BSTR);
  EXPECT_EQ(rs->get_schema().field_at(0).size, 0);
  EXPECT_EQ(static_cast<dao_field&>(rs->create_record()->field_at(0)).get_dao_type(),
            dao_field::db_memo);
}

TEST_F(dao_test, times_on_day_zero_and_nulls) {
  auto db = open("times.xlsx", false);
  auto rs = db->get_table(L"Times$", 1);
  EXPECT_EQ(rs->get_schema().field_at(0).vartype, VT_DATE);
  EXPECT_EQ(texts(*rs), (std::vector<std::vector<std::string>>{{"0000-00-00 12:00:00"},
                                                               {"00:00:00"},
                                                               {"0000-00-00 06:00:00"},
                                                               {"2024-02-29 00:00:02"},
                                                               {""},
                                                               {"2024-02-29 06:00:00"}}));
  static_cast<dao_recordset&>(*rs).move_first();
  for (int i = 0; i < 4; ++i) rs->move_next();
  udb_record* null_row = rs->create_record();
  EXPECT_EQ(null_row->field_at(0).variant.vt, VT_NULL);
  EXPECT_EQ(null_row->field_at(0).get_type(), VT_NULL);
}

TEST_F(dao_test, empty_sheet_is_at_its_end_at_once) {
  auto db = open("multi.xlsx");
  auto rs = db->get_table(L"Empty$", 1);
  EXPECT_TRUE(rs->is_eof());
  EXPECT_EQ(rs->create_record(), nullptr);
  EXPECT_EQ(static_cast<dao_recordset&>(*rs).get_record_count(), 0);
}

TEST_F(dao_test, names_with_brackets_quotes_and_defined_names_open) {
  auto db = open("multi.xlsx");
  auto bracket = db->get_table(L"'Br]acket$'", 1);
  EXPECT_EQ(bracket->get_source_text(), L"SELECT * FROM ['Br]acket$']");
  EXPECT_EQ(texts(*bracket), (std::vector<std::vector<std::string>>{{"2"}}));
  auto quote = db->get_table(L"'Q''uote$'", 1);
  EXPECT_EQ(quote->get_schema().field_at(0).name, L"A");
  auto named = db->get_table(L"Data", 1);  // 'My sheet'!A1:A3
  EXPECT_EQ(named->get_schema().field_at(0).name, L"Note");
  EXPECT_EQ(texts(*named).size(), 2u);
  EXPECT_THROW(db->get_table(L"Nope$", 1), tk_mail_assertion);
}

TEST_F(dao_test, move_first_and_move_prev_read_again) {
  auto db = open("multi.xlsx");
  auto table = db->get_table(L"Data$", 1);
  auto& rs = static_cast<dao_recordset&>(*table);
  rs.move_prev();  // at the first row: nothing happens
  EXPECT_EQ(text(rs.create_record()->field_at(0)), "1");
  rs.move_next();
  rs.move_next();
  EXPECT_EQ(text(rs.create_record()->field_at(0)), "3");
  rs.move_prev();
  EXPECT_EQ(text(rs.create_record()->field_at(0)), "2");
  rs.move_first();
  EXPECT_EQ(text(rs.create_record()->field_at(0)), "1");
  while (!rs.is_eof()) rs.move_next();
  rs.move_prev();
  EXPECT_EQ(text(rs.create_record()->field_at(0)), "3");
}

TEST_F(dao_test, queries_take_select_star_on_a_listed_table_only) {
  auto db = open("multi.xlsx");
  EXPECT_TRUE(db->test_query(L"SELECT * FROM [Data$]"));
  EXPECT_TRUE(db->test_query(L"  select  *  from ['My sheet$'] ;"));
  for (const wchar_t* bad : {L"SELECT Id FROM [Data$]", L"SELECT * FROM Data$",
                             L"SELECT * FROM [Nope$]", L"DROP TABLE [Data$]", L""})
    EXPECT_FALSE(db->test_query(bad)) << tk_w2a(bad);
  auto rs = db->get_query(L"q", L"SELECT * FROM ['Br]acket$']", 1);
  EXPECT_EQ(rs->get_source_text(), L"SELECT * FROM ['Br]acket$']");
  EXPECT_THROW(db->get_query(L"q", L"SELECT * FROM [Nope$]", 1), dao_exception);
  EXPECT_THROW(db->get_query(L"q", L"SELECT Id FROM [Data$]", 1), dao_exception);
}

TEST_F(dao_test, workbooks_are_read_only) {
  auto db = open("multi.xlsx");
  udb_schema schema(true);
  EXPECT_THROW(db->create_table(L"T", schema, udb_indexes()), tk_exception);
  EXPECT_THROW(db->delete_tab(L"Data$"), tk_exception);
  auto rs = db->get_table(L"Data$", 1);
  EXPECT_THROW(rs->append_record(*rs->create_record()), tk_exception);
}

TEST(dao_field_test, zero_date_rewrite) {
  const std::pair<const char*, const char*> cases[] = {
      {"1899-12-30 08:30:00", "0000-00-00 08:30:00"},
      {"1899-12-30", "00:00:00"},
      {"1999-12-30 08:30:00", "1999-12-30 08:30:00"},
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(dao_field::rewrite_zero_date(in), out) << in;
}

TEST(dao_field_test, type_tables) {
  const std::pair<int, VARTYPE> vartypes[] = {
      {1, VT_BOOL},  {2, VT_UI1},  {3, VT_I2},    {4, VT_I4},    {5, VT_CY},    {6, VT_R4},
      {7, VT_R8},    {19, VT_R8},  {21, VT_R8},   {8, VT_DATE},  {22, VT_DATE}, {10, VT_BSTR},
      {12, VT_BSTR}, {9, VT_BLOB}, {15, VT_BLOB}, {23, VT_BLOB}, {0, VT_BLOB},  {-1, VT_BLOB}};
  for (const auto& [dao, vt] : vartypes) EXPECT_EQ(dao_field::get_vartype(dao), vt) << dao;

  struct native_case {
    VARTYPE vt;
    int size;
    int dao;
  };
  const native_case natives[] = {
      {VT_I1, 0, 3},      {VT_I2, 0, 3},      {VT_UI2, 0, 4},
      {VT_I4, 0, 4},      {VT_R4, 0, 6},      {VT_I8, 0, 7},
      {VT_DECIMAL, 0, 7}, {VT_CY, 0, 5},      {VT_DATE, 0, 8},
      {VT_BSTR, 1, 10},   {VT_BSTR, 255, 10}, {VT_BSTR, 256, 12},
      {VT_BSTR, 0, 12},   {VT_BOOL, 0, 1},    {VT_UI1, 0, 2},
      {VT_BLOB, 10, 9},   {VT_BLOB, 0, 11},   {VT_ARRAY | VT_UI1, 300, 11}};
  for (const auto& c : natives) EXPECT_EQ(dao_field::get_native_type(c.vt, c.size), c.dao) << c.vt;
  EXPECT_THROW(dao_field::get_native_type(VT_NULL, 0), ole_type_exception);
}

TEST(xls_reader_test, which_tables_are_worksheets_and_their_display_names) {
  const std::pair<const wchar_t*, bool> systems[] = {
      {L"Sheet1$", true}, {L"'My data$'", true},  {L"$", false},          {L"A", false},
      {L"Data", false},   {L"Print_Area", false}, {L"Data$Area2", false}, {L"x$'", true}};
  for (const auto& [name, sheet] : systems)
    EXPECT_EQ(xls_reader::non_system(name), sheet) << tk_w2a(name);
  const std::pair<const wchar_t*, const wchar_t*> simple[] = {{L"Sheet1$", L"Sheet1"},
                                                              {L"'My data$'", L"My data"},
                                                              {L"'Q1 $'", L"Q1"},
                                                              {L"'a$b $'", L"a$b"},
                                                              {L"$", L"$"},
                                                              {L"''", L"''"},
                                                              {L"'It''s$'", L"It's"},
                                                              {L"'a''''b$'", L"a''b"}};
  for (const auto& [name, shown] : simple) EXPECT_EQ(xls_reader::simplify_name(name), shown);
}

class xls_reader_sheets : public ::testing::Test {
 protected:
  std::wstring path;
  std::map<std::wstring, std::wstring> selected;
  std::wstring password;
  xls_reader reader{path, selected, password};
};

TEST_F(xls_reader_sheets, an_encrypted_workbook_opens_with_the_readers_password) {
  path = wfixture("agile.xlsx");
  std::vector<std::wstring> names;
  try {
    reader.get_all_sheets(names);
    ADD_FAILURE() << "opened without its password";
  } catch (const dao_exception& e) {
    EXPECT_EQ(e.code(), 0x10C59u);
    EXPECT_EQ(e.level(), tk_level_run);
  }
  password = L"S3cret \u00e9t\u00e9";
  ASSERT_TRUE(reader.get_all_sheets(names));
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Locked"}));
}

TEST_F(xls_reader_sheets, lists_worksheets_by_display_name) {
  path = wfixture("multi.xlsx");
  std::vector<std::wstring> names;
  ASSERT_TRUE(reader.get_all_sheets(names));
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Data", L"My sheet", L"Q'uote", L"Br]acket",
                                              L"Empty", L"Hidden"}));
  EXPECT_EQ(reader.worksheets.at(L"Data"), L"Data$");  // not the defined name "Data"
  EXPECT_EQ(reader.worksheets.at(L"My sheet"), L"'My sheet$'");
  EXPECT_EQ(dao_engine::instance(), nullptr);  // the engine lived only for the call
}

TEST_F(xls_reader_sheets, names_that_simplify_alike_are_listed_twice_and_map_to_the_first) {
  path = wfixture("dup.xlsx");
  std::vector<std::wstring> names;
  ASSERT_TRUE(reader.get_all_sheets(names));
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Q1", L"Q1"}));
  EXPECT_EQ(reader.worksheets.size(), 1u);
  EXPECT_EQ(reader.worksheets.at(L"Q1"), L"Q1$");
}

TEST_F(xls_reader_sheets, selecting_narrows_the_map_and_reports_absent_names) {
  path = wfixture("multi.xlsx");
  std::vector<std::wstring> names;
  ASSERT_TRUE(reader.get_all_sheets(names));
  reader.b_console_report = true;
  ::testing::internal::CaptureStderr();
  reader.set_sel_sheets({L"My sheet", L"Nope", L"Data"});
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Worksheet Nope not found\n");
  EXPECT_EQ(reader.worksheets, (std::map<std::wstring, std::wstring>{
                                   {L"Data", L"Data$"}, {L"My sheet", L"'My sheet$'"}}));
  EXPECT_EQ(selected, (std::map<std::wstring, std::wstring>{{L"Data", L""}, {L"My sheet", L""}}));

  reader.b_console_report = false;
  ::testing::internal::CaptureStderr();
  reader.set_sel_sheets({L"absent", L"data"});  // exact names only
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(reader.worksheets.empty());
  EXPECT_TRUE(selected.empty());
}

TEST_F(xls_reader_sheets, selecting_everything_keeps_the_map) {
  path = wfixture("multi.xls");
  std::vector<std::wstring> names;
  ASSERT_TRUE(reader.get_all_sheets(names));
  auto before = reader.worksheets;
  reader.set_sel_sheets(names);
  EXPECT_EQ(reader.worksheets, before);
  EXPECT_EQ(selected.size(), before.size());
}

TEST_F(xls_reader_sheets, no_engine_while_another_lives_is_an_assertion) {
  path = wfixture("multi.xlsx");
  dao_engine busy(0);
  std::vector<std::wstring> names;
  EXPECT_THROW(reader.get_all_sheets(names), tk_mail_assertion);
}
}  // namespace

namespace {
// The demo's workbooks: every worksheet lists, opens and reads to its end
// with the column types the demo shows.
TEST(samples, demo_workbooks_read_with_their_types) {
  struct sample_case {
    const char* file;
    const wchar_t* table;
    std::vector<VARTYPE> types;
    int records;
  };
  const sample_case cases[] = {
      {"sales.xlsx", L"Orders$", {VT_R8, VT_BSTR, VT_DATE, VT_CY, VT_BOOL}, 40},
      {"sales.xlsx", L"Customers$", {VT_BSTR, VT_BSTR, VT_BSTR, VT_BSTR}, 7},
      {"inventory.xls", L"Items$", {VT_BSTR, VT_BSTR, VT_R8, VT_R8, VT_DATE}, 25},
      {"timesheet.xlsx", L"'Week 12$'", {VT_BSTR, VT_DATE, VT_DATE, VT_BOOL, VT_BSTR}, 4},
  };
  for (const auto& c : cases) {
    dao_engine engine(0);
    ASSERT_TRUE(engine.set_version_if(3));
    auto db =
        xls_reader::open_xls(engine, tk_utf82w(std::string(DAO_SAMPLES) + "/" + c.file), true);
    auto rs = db->get_table(c.table, 1);
    std::vector<VARTYPE> types;
    for (std::size_t i = 0; i < rs->get_schema().field_count(); ++i)
      types.push_back(rs->get_schema().field_at(i).vartype);
    EXPECT_EQ(types, c.types) << c.file;
    int records = 0;
    for (; !rs->is_eof(); rs->move_next()) {
      ASSERT_NE(rs->create_record(), nullptr);
      ++records;
    }
    EXPECT_EQ(records, c.records) << c.file;
  }
}
}  // namespace

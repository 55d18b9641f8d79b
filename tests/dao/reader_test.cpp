// The workbook reader over generated .xlsx and .xls files: sheets, names,
// column types and values, and the refusal of damaged or hostile files.
#include <gtest/gtest.h>

#include <set>

#include "dao_exception.hpp"
#include "wb_fuzz_support.hpp"
#include "wb_test_support.hpp"

namespace {
using rows_t = std::vector<std::vector<std::string>>;

std::vector<wb_column_type> types_of(const wb_table& t) {
  std::vector<wb_column_type> out;
  for (const auto& c : t.columns()) out.push_back(c.type);
  return out;
}
std::vector<std::string> names_of(const wb_table& t) {
  std::vector<std::string> out;
  for (const auto& c : t.columns()) out.push_back(tk_w2utf8(c.name));
  return out;
}

const rows_t multi_data = {
    {"n:1", "t:alpha", "n:1.5", "d:2024-02-29 13:45:10", "b:1", "d:08:30:00", "t:01234"},
    {"n:2", "t:beta", "n:-2.25", "d:1999-12-31", "b:0", "d:23:59:59", "t:00501"},
    {"n:3", "t:gamma", "n:1000000", "d:1904-01-02", "b:1", "d:00:00:01", "t:10001"},
};

class multi_sheet : public ::testing::TestWithParam<const char*> {};

// The same data saved by two writers in two formats (and in the 1904 date
// system) must give the same table.
TEST_P(multi_sheet, data_sheet_has_same_names_types_and_rows) {
  auto book = open_fixture(GetParam());
  std::size_t data = sheet_index(*book, L"Data");
  ASSERT_LT(data, book->sheets().size());
  wb_table table(*book, data, std::nullopt, true);
  EXPECT_EQ(names_of(table),
            (std::vector<std::string>{"Id", "Name", "Amount", "When", "Flag", "At", "Zip"}));
  using T = wb_column_type;
  EXPECT_EQ(types_of(table),
            (std::vector<T>{T::number, T::text, T::number, T::date, T::boolean, T::date, T::text}));
  EXPECT_EQ(table.record_count(), 3u);
  EXPECT_EQ(read_rows(table), multi_data);
}

TEST_P(multi_sheet, lists_sheets_in_order_with_kinds) {
  auto book = open_fixture(GetParam());
  std::vector<std::string> worksheets;
  for (const auto& s : book->sheets())
    if (s.kind == wb_sheet_kind::worksheet)
      worksheets.push_back(tk_w2utf8(s.name) + (s.b_hidden ? "(hidden)" : ""));
  EXPECT_EQ(worksheets, (std::vector<std::string>{"Data", "My sheet", "Q'uote", "Br]acket", "Empty",
                                                  "Hidden(hidden)"}));
}

TEST_P(multi_sheet, long_text_and_empty_sheet) {
  auto book = open_fixture(GetParam());
  wb_table notes(*book, sheet_index(*book, L"My sheet"), std::nullopt, true);
  ASSERT_EQ(notes.columns().size(), 1u);
  EXPECT_EQ(notes.columns()[0].type, wb_column_type::long_text);
  EXPECT_EQ(notes.columns()[0].max_length, 300u);
  EXPECT_EQ(read_rows(notes), (rows_t{{"t:" + std::string(300, 'x')}, {"t:short"}}));

  wb_table empty(*book, sheet_index(*book, L"Empty"), std::nullopt, true);
  EXPECT_EQ(empty.record_count(), 0u);
  EXPECT_TRUE(empty.columns().empty());
  EXPECT_TRUE(read_rows(empty).empty());
}

INSTANTIATE_TEST_SUITE_P(formats, multi_sheet,
                         ::testing::Values("multi.xlsx", "multi.xls", "multi1904.xlsx"));

TEST(workbook_reader, without_header_every_row_is_data_and_columns_are_f_n) {
  auto book = open_fixture("multi.xlsx");
  wb_table table(*book, sheet_index(*book, L"Q'uote"), std::nullopt, false);
  EXPECT_EQ(names_of(table), (std::vector<std::string>{"F1"}));
  // "A" over 1: mixed kinds, so both keep their displayed form.
  EXPECT_EQ(read_rows(table), (rows_t{{"t:A"}, {"t:1"}}));
}

TEST(workbook_reader, defined_names_with_areas_and_scopes) {
  auto book = open_fixture("multi.xlsx");
  ASSERT_EQ(book->names().size(), 2u);
  const wb_defined_name& data = book->names()[0];
  EXPECT_EQ(data.name, L"Data");
  EXPECT_EQ(data.sheet_scope, -1);
  EXPECT_EQ(data.area_sheet, static_cast<int>(sheet_index(*book, L"My sheet")));
  EXPECT_EQ(data.area.last_row, 2u);
  const wb_defined_name& local = book->names()[1];
  EXPECT_EQ(local.sheet_scope, 0);
  // Reading a name reads only its rectangle: B1:C3 of Data.
  wb_table table(*book, static_cast<std::size_t>(local.area_sheet), local.area, true);
  EXPECT_EQ(names_of(table), (std::vector<std::string>{"Name", "Amount"}));
  EXPECT_EQ(read_rows(table), (rows_t{{"t:alpha", "n:1.5"}, {"t:beta", "n:-2.25"}}));
}

TEST(workbook_reader, one_text_cell_far_down_makes_the_column_text_keeping_every_value) {
  auto book = open_fixture("mixed.xlsx");
  wb_table table(*book, 0, std::nullopt, true);
  EXPECT_EQ(types_of(table),
            (std::vector<wb_column_type>{wb_column_type::text, wb_column_type::text}));
  rows_t rows = read_rows(table);
  ASSERT_EQ(rows.size(), 6000u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"t:1", "t:00001"}));
  EXPECT_EQ(rows[4999][0], "t:oops");
  EXPECT_EQ(rows[5999], (std::vector<std::string>{"t:6000", "t:06000"}));
  for (const auto& r : rows) ASSERT_NE(r[0], "-");
}

TEST(workbook_reader, date_edges) {
  auto book = open_fixture("dates.xlsx");
  wb_table table(*book, 0, std::nullopt, false);
  // 1e12 and -1 cannot be dates: the column holds dates and numbers, so it
  // becomes text and every value keeps its displayed form; serial 60 is NULL.
  ASSERT_EQ(types_of(table), (std::vector<wb_column_type>{wb_column_type::text}));
  EXPECT_EQ(read_rows(table), (rows_t{{"-"},
                                      {"t:1000000000000"},
                                      {"t:12:00:00"},
                                      {"t:00:00:00"},
                                      {"t:1900-02-28"},
                                      {"t:1900-03-01"},
                                      {"t:2024-02-29 12:00:00"},
                                      {"t:-1"}}));
}

struct serial_case {
  double serial;
  bool b_1904;
  wb_cell_value::date_result result;
  double ole;
};

TEST(workbook_reader, serial_to_ole_date) {
  using R = wb_cell_value::date_result;
  const serial_case cases[] = {
      {0.25, false, R::ok, 0.25},
      {1, false, R::ok, 2},
      {59, false, R::ok, 60},
      {60, false, R::null, 0},
      {60.5, false, R::null, 0},
      {61, false, R::ok, 61},
      {0, true, R::ok, 0},
      {1, true, R::ok, 1463},
      {60, true, R::ok, 1522},
      {1e12, false, R::invalid, 0},
      {-1, false, R::invalid, 0},
      {2958465.9999, false, R::ok, 2958465.9999},
      {2958466, false, R::invalid, 0},
  };
  for (const auto& c : cases) {
    double ole = 0;
    EXPECT_EQ(wb_cell_value::serial_to_ole(c.serial, c.b_1904, ole), c.result) << c.serial;
    if (c.result == R::ok) {
      EXPECT_DOUBLE_EQ(ole, c.ole) << c.serial;
    }
  }
}

TEST(workbook_reader, displayed_forms_round_fractions_of_seconds) {
  struct display_case {
    wb_kind kind;
    wb_format_class format;
    double number;
    const wchar_t* shown;
  };
  const display_case cases[] = {
      {wb_kind::number, wb_format_class::plain, 0.1, L"0.1"},
      {wb_kind::number, wb_format_class::plain, 123456789012345678.0, L"1.23456789012346E+17"},
      {wb_kind::number, wb_format_class::currency, 12.5, L"12.5"},
      {wb_kind::boolean, wb_format_class::plain, 1, L"TRUE"},
      {wb_kind::number, wb_format_class::date, 45351 + 0.4 / 86400, L"2024-02-29"},
      {wb_kind::number, wb_format_class::date, 45351 + 1.6 / 86400, L"2024-02-29 00:00:02"},
      {wb_kind::number, wb_format_class::date, 0.99999999, L"1899-12-31"},
  };
  for (const auto& c : cases) {
    wb_cell cell;
    cell.kind = c.kind;
    cell.format = c.format;
    cell.number = c.number;
    EXPECT_EQ(wb_cell_value::display(cell, false), c.shown) << c.number;
  }
}

class odd_package : public ::testing::TestWithParam<const char*> {};

// Strict namespaces, unusual targets and letter cases, inline and rich
// strings, formula strings, errors, booleans, t="d" and sparse rows.
TEST_P(odd_package, reads_every_kind_of_cell) {
  auto book = open_fixture(GetParam());
  ASSERT_EQ(book->sheets().size(), 1u);
  EXPECT_EQ(book->sheets()[0].name, L"Odd");
  wb_table table(*book, 0, std::nullopt, true);
  EXPECT_EQ(names_of(table),
            (std::vector<std::string>{"plain", "Inline", "Formula", "0", "01", "02"}));
  using T = wb_column_type;
  EXPECT_EQ(types_of(table),
            (std::vector<T>{T::text, T::boolean, T::text, T::date, T::currency, T::date}));
  EXPECT_EQ(read_rows(table),
            (rows_t{{"-", "-", "-", "-", "-", "-"},
                    {"t:rich", "b:1", "-", "d:2024-02-29", "c:12.5", "d:06:00:00"},
                    {"t:line\r&<", "b:0", "-", "d:2024-02-29 12:00:00", "c:3", "-"}}));
}

INSTANTIATE_TEST_SUITE_P(packages, odd_package, ::testing::Values("odd.xlsx", "strict.xlsx"));

struct bad_file {
  const char* name;
  std::uint32_t number;
};

class refused : public ::testing::TestWithParam<bad_file> {};

TEST_P(refused, with_the_right_number) {
  try {
    auto book = open_fixture(GetParam().name);
    // Some damage only shows when the sheets are read.
    for (std::size_t i = 0; i < book->sheets().size(); ++i)
      if (book->sheets()[i].kind == wb_sheet_kind::worksheet)
        wb_table(*book, i, std::nullopt, true);
    FAIL() << GetParam().name << " was accepted";
  } catch (const dao_exception& e) {
    EXPECT_EQ(e.number(), GetParam().number) << e.what();
    EXPECT_EQ(e.code(), 0x10000u | GetParam().number);
  }
}

INSTANTIATE_TEST_SUITE_P(
    files, refused,
    ::testing::Values(bad_file{"encrypted.xlsx", 3161}, bad_file{"filepass.xls", 3161},
                      bad_file{"text.xlsx", 3274}, bad_file{"truncated.xlsx", 3274},
                      bad_file{"dtd.xlsx", 3274}, bad_file{"nosheet.xlsx", 3274},
                      bad_file{"bomb.xlsx", 3274}, bad_file{"noworkbook.xls", 3274},
                      bad_file{"loop.xls", 3274}, bad_file{"shortrec.xls", 3274},
                      bad_file{"does-not-exist.xlsx", 3274}));

TEST(workbook_reader, sizes_a_package_claims_are_never_trusted) {
  // Every entry claims nearly 4 GB; only what inflates counts.
  auto book = open_fixture("liar.xlsx");
  EXPECT_TRUE(book->sheets().empty());
}

TEST(workbook_reader, random_bytes_and_empty_buffers_are_refused) {
  std::vector<std::vector<std::uint8_t>> inputs = {{}, {'P', 'K', 3, 4}, {0xD0, 0xCF, 0x11, 0xE0}};
  std::uint32_t seed = 12345;
  for (int n = 0; n < 20; ++n) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(n) * 97);
    for (auto& b : bytes) b = static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
    inputs.push_back(bytes);
  }
  for (auto& bytes : inputs)
    EXPECT_THROW(wb_workbook::open(wb_bytes::from_buffer(bytes)), dao_exception);
}
}  // namespace

namespace {
// Found by fuzzing: making thousands of header names unique took quadratic
// time. Names repeat, differ in case, and collide with generated ones.
TEST(workbook_reader, header_names_are_made_unique_in_linear_time) {
  std::string sheet = "<worksheet><sheetData><row r=\"1\">";
  const int columns = 1024;
  for (int c = 0; c < columns; ++c)
    sheet += c == 1  ? "<c t=\"inlineStr\"><is><t>x1</t></is></c>"
             : c % 2 ? "<c t=\"inlineStr\"><is><t>X</t></is></c>"
                     : "<c t=\"inlineStr\"><is><t>x</t></is></c>";
  sheet += "</row></sheetData></worksheet>";
  std::vector<std::uint8_t> package =
      wb_fuzz_zip({{"_rels/.rels",
                    "<Relationships><Relationship Id=\"r\" Type=\"x/officeDocument\" "
                    "Target=\"xl/workbook.xml\"/>"
                    "</Relationships>"},
                   {"xl/workbook.xml",
                    "<workbook xmlns:r=\"y/relationships\"><sheets><sheet name=\"S\" "
                    "r:id=\"s\"/></sheets></workbook>"},
                   {"xl/_rels/workbook.xml.rels",
                    "<Relationships><Relationship Id=\"s\" Type=\"x/worksheet\" "
                    "Target=\"s.xml\"/></Relationships>"},
                   {"xl/s.xml", sheet}});
  auto book = wb_workbook::open(wb_bytes::from_buffer(package));
  wb_table table(*book, 0, std::nullopt, true);
  ASSERT_EQ(table.columns().size(), static_cast<std::size_t>(columns));
  std::set<std::wstring> lower;
  for (const auto& c : table.columns()) lower.insert(tk_to_lower(c.name));
  EXPECT_EQ(lower.size(), static_cast<std::size_t>(columns));
  EXPECT_EQ(table.columns()[0].name, L"x");
  EXPECT_EQ(table.columns()[1].name, L"x1");
  EXPECT_EQ(table.columns()[2].name, L"x2");  // "x1" is taken by column 2
  EXPECT_EQ(table.columns()[3].name, L"X3");
}
}  // namespace

namespace {
// The cells kept between the typing and the reading pass come back whole and
// in order, from memory or, past the budget, from the temporary file; two
// replays do not disturb each other.
TEST(cell_spool, replays_cells_from_memory_and_from_the_file) {
  for (std::size_t budget : {std::size_t(1) << 20, std::size_t(64)}) {
    wb_cell_spool spool(budget);
    std::vector<wb_cell> cells;
    for (std::uint32_t i = 0; i < 3000; ++i) {
      wb_cell c;
      c.row = i / 3;
      c.col = i % 3 + 16000;
      c.kind = i % 3 == 0 ? wb_kind::text : i % 3 == 1 ? wb_kind::number : wb_kind::boolean;
      c.format = i % 2 ? wb_format_class::date : wb_format_class::plain;
      c.number = i * 0.5;
      if (c.kind == wb_kind::text) c.text = std::wstring(i % 50, L'\u4e2d') + L"\U0001F600";
      cells.push_back(c);
      spool.append(c);
    }
    spool.finish();
    EXPECT_EQ(spool.spilled(), budget == 64);
    auto first = spool.replay();
    auto second = spool.replay();
    wb_cell a, b;
    for (const auto& expected : cells) {
      ASSERT_TRUE(first->next(a));
      ASSERT_TRUE(second->next(b));
      for (const wb_cell* got : {&a, &b}) {
        ASSERT_EQ(got->row, expected.row);
        ASSERT_EQ(got->col, expected.col);
        ASSERT_EQ(got->kind, expected.kind);
        ASSERT_EQ(got->format, expected.format);
        ASSERT_EQ(got->number, expected.number);
        ASSERT_EQ(got->str(), expected.str());
      }
    }
    EXPECT_FALSE(first->next(a));
    EXPECT_FALSE(second->next(b));
  }
}

// A shared string is kept as its place in the workbook's table, in memory
// and in the file alike: the replayed cell views the same characters.
TEST(wb_cell_spool, shared_strings_come_back_as_views_of_the_table) {
  const std::wstring table = L"red green blue";
  for (std::size_t budget : {std::size_t{32}, std::size_t{1} << 20}) {
    wb_cell_spool spool(budget);
    for (std::uint32_t i = 0; i < 500; ++i) {
      wb_cell c;
      c.row = i / 2;
      c.col = i % 2 ? 3 : 7;  // columns out of order within a row
      c.kind = wb_kind::text;
      c.shared = std::wstring_view(table).substr(i % 3 * 4, 3 + i % 2);
      if (i % 5 == 0) c.text = L"own";  // a text of its own wins over the view
      spool.append(c);
    }
    spool.finish();
    auto cells = spool.replay();
    wb_cell got;
    for (std::uint32_t i = 0; i < 500; ++i) {
      ASSERT_TRUE(cells->next(got));
      ASSERT_EQ(got.row, i / 2);
      ASSERT_EQ(got.col, i % 2 ? 3u : 7u);
      if (i % 5 == 0) {
        ASSERT_EQ(got.str(), L"own");
        continue;
      }
      ASSERT_TRUE(got.text.empty());
      ASSERT_EQ(got.shared.data(), table.data() + i % 3 * 4);
      ASSERT_EQ(got.shared.size(), 3 + i % 2);
    }
    EXPECT_FALSE(cells->next(got));
  }
}
}  // namespace

namespace {
// A defined name's header row is the first row of its area even when that
// row is empty; the first used row below it is data.
TEST(workbook_reader, area_starting_on_an_empty_row) {
  auto book = open_fixture("odd.xlsx");
  wb_area area;
  area.first_row = 1;  // row 2, empty
  area.last_row = 3;
  area.first_col = 0;
  area.last_col = 1;
  wb_table table(*book, 0, area, true);
  EXPECT_EQ(names_of(table), (std::vector<std::string>{"F1", "F2"}));
  EXPECT_EQ(read_rows(table), (rows_t{{"t:rich", "b:1"}, {"t:line\r&<", "b:0"}}));
}
}  // namespace

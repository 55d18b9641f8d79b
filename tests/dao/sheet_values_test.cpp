// What a worksheet's cells become: durations, empty texts, error cells, the
// 1904 date system and the width a table can have, over small .xlsx
// packages assembled in memory.
#include <gtest/gtest.h>

#include <chrono>

#include "tk_exception.hpp"
#include "wb_fuzz_support.hpp"
#include "wb_test_support.hpp"

namespace {
using rows_t = std::vector<std::vector<std::string>>;

// Cell formats by index: 0 General, 1 [h]:mm:ss (built-in 46), 2 a custom
// [mm]:ss, 3 a date.
const char* styles_xml =
    "<styleSheet><numFmts><numFmt numFmtId=\"164\" formatCode=\"[mm]:ss\"/></numFmts>"
    "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"46\"/><xf numFmtId=\"164\"/>"
    "<xf numFmtId=\"14\"/></cellXfs></styleSheet>";

// A one-sheet package; `rows` is the inside of <sheetData>.
std::unique_ptr<wb_workbook> package(const std::string& rows, const std::string& workbook_pr = "",
                                     const std::string& shared = "") {
  std::string rels =
      "<Relationships><Relationship Id=\"s\" Type=\"x/worksheet\" Target=\"s.xml\"/>"
      "<Relationship Id=\"t\" Type=\"x/styles\" Target=\"styles.xml\"/>";
  if (!shared.empty())
    rels += "<Relationship Id=\"u\" Type=\"x/sharedStrings\" Target=\"strings.xml\"/>";
  rels += "</Relationships>";
  std::vector<std::pair<std::string, std::string>> parts = {
      {"_rels/.rels",
       "<Relationships><Relationship Id=\"r\" Type=\"x/officeDocument\" "
       "Target=\"xl/workbook.xml\"/></Relationships>"},
      {"xl/workbook.xml", "<workbook xmlns:r=\"y/relationships\">" + workbook_pr +
                              "<sheets><sheet name=\"S\" r:id=\"s\"/></sheets></workbook>"},
      {"xl/_rels/workbook.xml.rels", rels},
      {"xl/styles.xml", styles_xml},
      {"xl/s.xml", "<worksheet><sheetData>" + rows + "</sheetData></worksheet>"}};
  if (!shared.empty()) parts.emplace_back("xl/strings.xml", "<sst>" + shared + "</sst>");
  return wb_workbook::open(wb_bytes::from_buffer(wb_fuzz_zip(parts)));
}

std::string number(const char* ref, double value, int style = 0) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return "<c r=\"" + std::string(ref) + "\" s=\"" + std::to_string(style) + "\"><v>" + text +
         "</v></c>";
}

struct duration_case {
  const char* what;
  std::vector<double> days;
  int style;
  wb_column_type type;
  std::vector<std::string> values;
};

TEST(sheet_values, durations_become_time_within_a_day_and_text_beyond) {
  using T = wb_column_type;
  const duration_case cases[] = {
      {"under a day", {0.25, 0.5 + 1.0 / 86400}, 1, T::time, {"d:06:00:00", "d:12:00:01"}},
      {"custom elapsed format", {0.75}, 2, T::time, {"d:18:00:00"}},
      {"30 hours", {0.25, 1.2604166666666667}, 1, T::text, {"t:06:00:00", "t:30:15:00"}},
      {"60 days", {60}, 1, T::text, {"t:1440:00:00"}},
      {"exactly one day", {1}, 1, T::text, {"t:24:00:00"}},
      {"negative", {-0.0625}, 1, T::text, {"t:-01:30:00"}},
  };
  for (const auto& c : cases) {
    std::string rows;
    for (std::size_t i = 0; i < c.days.size(); ++i) {
      const std::string ref = "A" + std::to_string(i + 1);
      rows += "<row r=\"" + std::to_string(i + 1) + "\">" +
              number(ref.c_str(), c.days[i], c.style) + "</row>";
    }
    for (const char* pr : {"", "<workbookPr date1904=\"1\"/>"}) {
      auto book = package(rows, pr);
      wb_table table(*book, 0, std::nullopt, false);
      ASSERT_EQ(table.columns().size(), 1u) << c.what;
      EXPECT_EQ(table.columns()[0].type, c.type) << c.what << pr;
      rows_t expected;
      for (const auto& v : c.values) expected.push_back({v});
      // The date system moves dates, never durations.
      EXPECT_EQ(read_rows(table), expected) << c.what << pr;
    }
  }
}

TEST(sheet_values, a_duration_among_numbers_keeps_its_displayed_form) {
  auto book = package("<row r=\"1\">" + number("A1", 1.5, 1) + "</row><row r=\"2\">" +
                      number("A2", 7) + "</row>");
  wb_table table(*book, 0, std::nullopt, false);
  EXPECT_EQ(table.columns()[0].type, wb_column_type::text);
  EXPECT_EQ(read_rows(table), (rows_t{{"t:36:00:00"}, {"t:7"}}));
}

TEST(sheet_values, date1904_moves_every_date) {
  // Serial 0 is 1904-01-01 in the 1904 system; 43890 is 2024-03-01 there.
  for (const char* value : {"1", "true", " TRUE "}) {
    auto book = package("<row r=\"1\">" + number("A1", 43890, 3) + "</row>",
                        std::string("<workbookPr date1904=\"") + value + "\"/>");
    EXPECT_TRUE(book->is_1904()) << value;
    wb_table table(*book, 0, std::nullopt, false);
    EXPECT_EQ(read_rows(table), (rows_t{{"d:2024-03-01"}})) << value;
  }
  auto book =
      package("<row r=\"1\">" + number("A1", 43890, 3) + "</row>", "<workbookPr date1904=\"0\"/>");
  EXPECT_FALSE(book->is_1904());
}

TEST(sheet_values, empty_texts_are_values_that_keep_their_column) {
  // Column B holds only empty texts (shared, inline and a formula's), so it
  // exists, is text, and C keeps its own name.
  auto book = package(
      "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>a</t></is></c>"
      "<c r=\"B1\" t=\"inlineStr\"><is><t>b</t></is></c>"
      "<c r=\"C1\" t=\"inlineStr\"><is><t>c</t></is></c></row>"
      "<row r=\"2\"><c r=\"A2\"><v>1</v></c><c r=\"B2\" t=\"s\"><v>0</v></c>"
      "<c r=\"C2\"><v>2</v></c></row>"
      "<row r=\"3\"><c r=\"A3\"><v>3</v></c><c r=\"B3\" t=\"inlineStr\"><is><t></t></is></c>"
      "<c r=\"C3\"><v>4</v></c></row>"
      "<row r=\"4\"><c r=\"A4\"><v>5</v></c><c r=\"B4\" t=\"str\"><f>\"\"</f><v></v></c>"
      "<c r=\"C4\" s=\"1\"/></row>"
      // An inline string without <is> (as openpyxl writes ''); a formula
      // without a cached result is blank.
      "<row r=\"5\"><c r=\"A5\"><v>6</v></c><c r=\"B5\" t=\"inlineStr\"/>"
      "<c r=\"C5\" t=\"str\"><f>A5</f></c></row>",
      "", "<si><t></t></si>");
  wb_table table(*book, 0, std::nullopt, true);
  ASSERT_EQ(table.columns().size(), 3u);
  EXPECT_EQ(table.columns()[1].name, L"b");
  EXPECT_EQ(table.columns()[1].type, wb_column_type::text);
  EXPECT_EQ(table.columns()[2].name, L"c");
  EXPECT_EQ(
      read_rows(table),
      (rows_t{{"n:1", "t:", "n:2"}, {"n:3", "t:", "n:4"}, {"n:5", "t:", "-"}, {"n:6", "t:", "-"}}));
}

TEST(sheet_values, an_empty_text_among_numbers_makes_the_column_text) {
  auto book = package(
      "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"
      "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t></t></is></c></row>");
  wb_table table(*book, 0, std::nullopt, false);
  EXPECT_EQ(table.columns()[0].type, wb_column_type::text);
  EXPECT_EQ(read_rows(table), (rows_t{{"t:1"}, {"t:"}}));
}

TEST(sheet_values, error_cells_are_null_and_counted_outside_the_header) {
  auto book = package(
      "<row r=\"1\"><c r=\"A1\" t=\"e\"><v>#N/A</v></c><c r=\"B1\" t=\"inlineStr\"><is><t>b</t>"
      "</is></c></row>"
      "<row r=\"2\"><c r=\"A2\" t=\"e\"><v>#DIV/0!</v></c><c r=\"B2\"><v>1</v></c></row>"
      "<row r=\"3\"><c r=\"A3\"><v>2</v></c><c r=\"B3\" t=\"e\"><v>#REF!</v></c></row>");
  wb_table with_header(*book, 0, std::nullopt, true);
  EXPECT_EQ(with_header.error_cells(), 2u);
  EXPECT_EQ(read_rows(with_header), (rows_t{{"-", "n:1"}, {"n:2", "-"}}));
  wb_table without_header(*book, 0, std::nullopt, false);
  EXPECT_EQ(without_header.error_cells(), 3u);
}

TEST(sheet_values, a_table_wider_than_1024_columns_is_refused_naming_its_width) {
  // One value at A1 and one at XFD1048576: refused at the second cell,
  // without a million rows of anything.
  auto far = package(
      "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"
      "<row r=\"1048576\"><c r=\"XFD1048576\"><v>2</v></c></row>");
  const auto start = std::chrono::steady_clock::now();
  try {
    wb_table table(*far, 0, std::nullopt, true);
    ADD_FAILURE() << "a 16,384-column sheet was accepted";
  } catch (const tk_exception& e) {
    EXPECT_STREQ(e.what(),
                 "The worksheet's values span 16384 columns (A to XFD); a SQL Server table holds "
                 "at most 1024. Clear or delete the columns that are not needed and save the "
                 "workbook again.");
    EXPECT_EQ(e.level(), tk_level_item);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  // 1,024 columns fit, starting anywhere; 1,025 do not.
  auto fits = package("<row r=\"1\">" + number("B1", 1) + number("AMK1", 2) + "</row>");
  EXPECT_EQ(wb_table(*fits, 0, std::nullopt, false).columns().size(), 1024u);
  auto wide = package("<row r=\"1\">" + number("A1", 1) + number("AMK1", 2) + "</row>");
  EXPECT_THROW(wb_table(*wide, 0, std::nullopt, false), tk_exception);
}

TEST(sheet_values, formatting_residue_adds_no_rows_or_columns) {
  // Styled blank cells after the last value, down and to the right.
  auto book = package("<row r=\"1\">" + number("A1", 1) + "<c r=\"Z1\" s=\"1\"/></row>" +
                      "<row r=\"500000\"><c r=\"A500000\" s=\"3\"/><c r=\"XFD500000\" s=\"1\"/>"
                      "</row>");
  wb_table table(*book, 0, std::nullopt, false);
  EXPECT_EQ(table.columns().size(), 1u);
  EXPECT_EQ(table.record_count(), 1u);
}
}  // namespace

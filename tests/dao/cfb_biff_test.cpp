// The compound-file and BIFF readers over hand-assembled .xls files: every
// cell record, strings split across CONTINUE records, embedded charts, BIFF5
// text in a code page, the 1904 date system.
#include <gtest/gtest.h>

#include "biff_workbook.hpp"
#include "cfb_reader.hpp"
#include "dao_exception.hpp"
#include "wb_test_support.hpp"

namespace {
using rows_t = std::vector<std::vector<std::string>>;

TEST(biff_reader, every_cell_record_of_a_raw_workbook) {
  auto book = open_fixture("raw.xls");
  ASSERT_EQ(book->sheets().size(), 1u);
  EXPECT_EQ(book->sheets()[0].name, L"Raw");
  wb_table table(*book, 0, std::nullopt, false);
  ASSERT_EQ(table.columns().size(), 3u);  // the chart's cell at column 9 is not the sheet's
  EXPECT_EQ(table.record_count(), 6u);
  // Every column mixes kinds, so values keep their displayed forms.
  EXPECT_EQ(read_rows(table), (rows_t{{"t:first", "t:split\u00e9\u4e2d", "-"},
                                      {"t:42", "t:12.34", "-"},
                                      {"t:7", "t:8", "t:9"},
                                      {"t:2.5", "t:TRUE", "-"},
                                      {"t:99", "t:from formula", "t:TRUE"},
                                      {"t:label \u00fc", "t:2024-02-29 18:00:00", "-"}}));
}

TEST(biff_reader, biff5_text_in_its_code_page) {
  auto book = open_fixture("biff5.xls");
  ASSERT_EQ(book->sheets().size(), 1u);
  EXPECT_EQ(book->sheets()[0].name, L"\u041b\u0438\u0441\u0442");
  wb_table table(*book, 0, std::nullopt, true);
  EXPECT_EQ(table.columns()[0].name, L"\u041f\u0440\u0438\u0432\u0435\u0442");
  EXPECT_EQ(read_rows(table), (rows_t{{"n:3.25"}}));
}

TEST(biff_reader, date_system_1904) {
  auto book = open_fixture("d1904.xls");
  EXPECT_TRUE(book->is_1904());
  wb_table table(*book, 0, std::nullopt, true);
  EXPECT_EQ(read_rows(table), (rows_t{{"d:2024-02-29 13:45:10"}}));
}

TEST(biff_reader, bare_stream_without_eof_is_refused) {
  // BOF alone: the globals never end.
  std::vector<std::uint8_t> stream = {0x09, 0x08, 16, 0, 0x00, 0x06, 0x05, 0x00};
  stream.resize(4 + 16, 0);
  EXPECT_THROW(biff_workbook{cfb_stream::from_memory(stream)}, dao_exception);
}

TEST(biff_reader, every_prefix_of_a_workbook_stream_is_refused_or_read_cleanly) {
  // Cut the raw workbook's stream at every length: each cut either reads or
  // ends in dao_exception, never anything else.
  auto bytes = wb_bytes::from_file(fixture("raw.xls"));
  cfb_reader container(bytes);
  cfb_stream whole = container.open(L"Workbook");
  std::vector<std::uint8_t> data(whole.size());
  whole.read(data.data(), data.size());
  for (std::size_t cut = 0; cut < data.size(); cut += 7) {
    std::vector<std::uint8_t> part(data.begin(), data.begin() + static_cast<long>(cut));
    try {
      biff_workbook book(cfb_stream::from_memory(part));
      for (std::size_t i = 0; i < book.sheets().size(); ++i) wb_table(book, i, std::nullopt, true);
    } catch (const dao_exception&) {
    }
  }
}

TEST(cfb_reader_test, lists_top_level_streams) {
  auto bytes = wb_bytes::from_file(fixture("encrypted.xlsx"));
  cfb_reader container(bytes);
  EXPECT_TRUE(container.has_stream(L"encryptioninfo"));
  EXPECT_TRUE(container.has_stream(L"EncryptedPackage"));
  EXPECT_FALSE(container.has_stream(L"Workbook"));
  EXPECT_THROW(container.open(L"Workbook"), dao_exception);
}

TEST(cfb_reader_test, streams_of_a_real_xls_read_back_whole) {
  auto bytes = wb_bytes::from_file(fixture("multi.xls"));
  cfb_reader container(bytes);
  cfb_stream stream = container.open(L"Workbook");
  std::vector<std::uint8_t> data(stream.size() + 10);
  EXPECT_EQ(stream.read(data.data(), data.size()), stream.size());
  EXPECT_EQ(stream.read(data.data(), 1), 0u);
  stream.seek(0);
  std::uint8_t head[2];
  ASSERT_EQ(stream.read(head, 2), 2u);
  EXPECT_EQ(head[0], 0x09);  // BOF
  EXPECT_EQ(head[1], 0x08);
}
}  // namespace

namespace {
std::vector<std::uint8_t> record(std::uint16_t type, std::vector<std::uint8_t> payload) {
  std::vector<std::uint8_t> out = {static_cast<std::uint8_t>(type & 0xFF),
                                   static_cast<std::uint8_t>(type >> 8),
                                   static_cast<std::uint8_t>(payload.size() & 0xFF),
                                   static_cast<std::uint8_t>(payload.size() >> 8)};
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

// A BIFF5 stream: globals with the given code page and one sheet named with
// the byte 0xC0, holding one LABEL with the bytes 0xC1 0xC2.
std::vector<std::uint8_t> biff5_with_codepage(std::uint16_t codepage) {
  std::vector<std::uint8_t> globals = record(0x0809, {0x00, 0x05, 0x05, 0x00, 0, 0, 0, 0});
  auto cp = record(0x0042, {static_cast<std::uint8_t>(codepage & 0xFF),
                            static_cast<std::uint8_t>(codepage >> 8)});
  globals.insert(globals.end(), cp.begin(), cp.end());
  std::size_t offset = globals.size() + 4 + 8 + 4;  // BOUNDSHEET and EOF follow
  auto sheet = record(0x0085, {static_cast<std::uint8_t>(offset), 0, 0, 0, 0, 0, 1, 0xC0});
  globals.insert(globals.end(), sheet.begin(), sheet.end());
  auto eof = record(0x000A, {});
  globals.insert(globals.end(), eof.begin(), eof.end());
  auto bof = record(0x0809, {0x00, 0x05, 0x10, 0x00, 0, 0, 0, 0});
  auto label = record(0x0204, {0, 0, 0, 0, 0, 0, 2, 0, 0xC1, 0xC2});
  for (const auto* part : {&bof, &label, &eof})
    globals.insert(globals.end(), part->begin(), part->end());
  return globals;
}
}  // namespace

// Found by fuzzing: a code page iconv does not know ended in an exception
// that was no dao_exception.
TEST(biff_reader, unknown_code_page_reads_as_windows_1252) {
  struct codepage_case {
    std::uint16_t codepage;
    const wchar_t* sheet;
    const wchar_t* label;
  };
  const codepage_case cases[] = {{1251, L"\u0410", L"\u0411\u0412"},
                                 {1252, L"\u00c0", L"\u00c1\u00c2"},
                                 {59396, L"\u00c0", L"\u00c1\u00c2"}};
  for (const auto& c : cases) {
    biff_workbook book(cfb_stream::from_memory(biff5_with_codepage(c.codepage)));
    ASSERT_EQ(book.sheets().size(), 1u);
    EXPECT_EQ(book.sheets()[0].name, c.sheet) << c.codepage;
    wb_table table(book, 0, std::nullopt, true);
    EXPECT_EQ(table.columns()[0].name, c.label) << c.codepage;
  }
}

namespace {
std::vector<std::uint8_t>& operator+=(std::vector<std::uint8_t>& out,
                                      const std::vector<std::uint8_t>& more) {
  out.insert(out.end(), more.begin(), more.end());
  return out;
}

// A BIFF5 FONT record with the given character set.
std::vector<std::uint8_t> font(std::uint8_t charset) {
  return record(0x0031, {200, 0, 0, 0, 0xFF, 0x7F, 0x90, 0x01, 0, 0, 0, 0, charset, 0, 1, 'A'});
}

// A BIFF5 workbook with the given fonts (and a CODEPAGE record unless 0):
// one sheet named with the byte 0xC0 holding one LABEL with 0xC1 0xC2.
std::vector<std::uint8_t> biff5_with_fonts(const std::vector<std::uint8_t>& charsets,
                                           std::uint16_t codepage = 0) {
  std::vector<std::uint8_t> globals = record(0x0809, {0x00, 0x05, 0x05, 0x00, 0, 0, 0, 0});
  if (codepage != 0)
    globals += record(0x0042, {static_cast<std::uint8_t>(codepage & 0xFF),
                               static_cast<std::uint8_t>(codepage >> 8)});
  for (std::uint8_t charset : charsets) globals += font(charset);
  std::size_t offset = globals.size() + 4 + 8 + 4;  // BOUNDSHEET and EOF follow
  globals += record(0x0085, {static_cast<std::uint8_t>(offset & 0xFF),
                             static_cast<std::uint8_t>(offset >> 8), 0, 0, 0, 0, 1, 0xC0});
  globals += record(0x000A, {});
  globals += record(0x0809, {0x00, 0x05, 0x10, 0x00, 0, 0, 0, 0});
  globals += record(0x0204, {0, 0, 0, 0, 0, 0, 2, 0, 0xC1, 0xC2});
  globals += record(0x000A, {});
  return globals;
}
}  // namespace

TEST(biff_reader, biff5_without_codepage_takes_it_from_the_fonts) {
  struct font_case {
    std::vector<std::uint8_t> charsets;
    const wchar_t* sheet;
    const wchar_t* label;
  };
  const font_case cases[] = {
      {{204, 204}, L"\u0410", L"\u0411\u0412"},   // Cyrillic
      {{0, 0, 161}, L"\u0390", L"\u0391\u0392"},  // Western first, then Greek
      {{2, 238}, L"\u0154", L"\u00c1\u00c2"},     // symbol says nothing; Central European
      {{0}, L"\u00c0", L"\u00c1\u00c2"},          // Western
      {{}, L"\u00c0", L"\u00c1\u00c2"},           // no fonts at all: Windows-1252
  };
  for (const auto& c : cases) {
    biff_workbook book(cfb_stream::from_memory(biff5_with_fonts(c.charsets)));
    ASSERT_EQ(book.sheets().size(), 1u);
    EXPECT_EQ(book.sheets()[0].name, c.sheet) << c.charsets.size();
    wb_table table(book, 0, std::nullopt, true);
    EXPECT_EQ(table.columns()[0].name, c.label) << c.charsets.size();
  }
  // A CODEPAGE record wins over the fonts.
  biff_workbook book(cfb_stream::from_memory(biff5_with_fonts({204}, 1252)));
  EXPECT_EQ(book.sheets()[0].name, L"\u00c0");
}

namespace {
std::vector<std::uint8_t> cell_head(std::uint16_t row, std::uint16_t col) {
  return {static_cast<std::uint8_t>(row),
          static_cast<std::uint8_t>(row >> 8),
          static_cast<std::uint8_t>(col),
          static_cast<std::uint8_t>(col >> 8),
          0,
          0};
}

// A FORMULA whose cached result is text (kind 0: a STRING record follows)
// or the empty text (kind 3).
std::vector<std::uint8_t> text_formula(std::uint16_t row, std::uint16_t col, std::uint8_t kind) {
  std::vector<std::uint8_t> payload = cell_head(row, col);
  payload += {kind, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
  return record(0x0006, payload);
}

std::vector<std::uint8_t> string_record(const std::string& text) {
  std::vector<std::uint8_t> payload = {static_cast<std::uint8_t>(text.size()), 0, 0};
  payload.insert(payload.end(), text.begin(), text.end());
  return record(0x0207, payload);
}

std::vector<std::uint8_t> empty_label(std::uint16_t row, std::uint16_t col) {
  std::vector<std::uint8_t> payload = cell_head(row, col);
  payload += {0, 0, 0};  // no characters, compressed
  return record(0x0204, payload);
}

// A BIFF8 workbook of one sheet "S" with the given cell records.
std::vector<std::uint8_t> biff8_sheet(const std::vector<std::uint8_t>& cells) {
  std::vector<std::uint8_t> globals = record(0x0809, {0x00, 0x06, 0x05, 0x00, 0, 0, 0, 0});
  std::size_t offset = globals.size() + 4 + 9 + 4;
  globals += record(0x0085, {static_cast<std::uint8_t>(offset), 0, 0, 0, 0, 0, 1, 0, 'S'});
  globals += record(0x000A, {});
  globals += record(0x0809, {0x00, 0x06, 0x10, 0x00, 0, 0, 0, 0});
  globals += cells;
  globals += record(0x000A, {});
  return globals;
}
}  // namespace

TEST(biff_reader, formula_text_results_and_empty_texts) {
  std::vector<std::uint8_t> cells;
  // The first cell of a filled-down block: SHRFMLA stands between the
  // FORMULA and its STRING; likewise ARRAY and TABLE.
  cells += text_formula(0, 0, 0);
  cells += record(0x04BC, {0, 0, 5, 0, 0, 0, 0, 0, 0, 0});
  cells += string_record("shared");
  cells += text_formula(1, 0, 0);
  cells += record(0x0221, {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  cells += string_record("array");
  cells += text_formula(2, 0, 0);
  cells += record(0x0236, {2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  cells += string_record("table");
  // Another record between them ends the wait: the STRING is a stray.
  cells += text_formula(3, 0, 0);
  cells += record(0x0203, {4, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F});
  cells += string_record("stray");
  // Empty texts: a formula's and a label's. Column B holds nothing else.
  cells += text_formula(5, 0, 3);
  cells += empty_label(5, 1);
  cells += empty_label(6, 0);
  biff_workbook book(cfb_stream::from_memory(biff8_sheet(cells)));
  wb_table table(book, 0, std::nullopt, false);
  ASSERT_EQ(table.columns().size(), 3u);
  EXPECT_EQ(table.columns()[0].type, wb_column_type::text);
  EXPECT_EQ(table.columns()[1].type, wb_column_type::text);
  EXPECT_EQ(read_rows(table), (rows_t{{"t:shared", "-", "-"},
                                      {"t:array", "-", "-"},
                                      {"t:table", "-", "-"},
                                      {"-", "-", "-"},
                                      {"-", "-", "n:1"},
                                      {"t:", "t:", "-"},
                                      {"t:", "-", "-"}}));
}

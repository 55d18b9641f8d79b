#include "csv_record_reader.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "temp_folder.hpp"
#include "tk_exception.hpp"

namespace {

using status = csv_record_reader::status;

// What one read gave: its status, the line it began on and, for a record
// (also one with invalid bytes), its fields.
struct step {
  status what;
  std::int64_t line;
  std::vector<std::wstring> fields;
  bool operator==(const step&) const = default;
};

std::ostream& operator<<(std::ostream& out, const step& s) {
  static const char* const names[] = {"record", "end_of_file", "invalid_bytes", "too_long",
                                      "unclosed_quote"};
  out << names[static_cast<int>(s.what)] << "@" << s.line << "[";
  for (const std::wstring& f : s.fields) {
    for (const wchar_t c : f) {
      if (c >= 0x20 && c < 0x7F)
        out << static_cast<char>(c);
      else
        out << "\\u" << std::hex << static_cast<unsigned>(c) << std::dec;
    }
    out << "|";
  }
  return out << "]";
}

std::vector<step> read_all(csv_record_reader& reader) {
  std::vector<step> steps;
  csv_fields fields;
  for (;;) {
    const status what = reader.read(fields);
    if (what == status::end_of_file) break;
    step s{what, reader.record_line(), {}};
    if (what == status::record || what == status::invalid_bytes)
      for (std::size_t i = 0; i < fields.count(); ++i) s.fields.emplace_back(fields.field(i));
    steps.push_back(std::move(s));
    if (steps.size() > 10000) break;  // a reader that never ends fails here, not by hanging
  }
  return steps;
}

step rec(std::int64_t line, std::vector<std::wstring> fields) {
  return {status::record, line, std::move(fields)};
}
step bad_bytes(std::int64_t line, std::vector<std::wstring> fields) {
  return {status::invalid_bytes, line, std::move(fields)};
}
step failed(status what, std::int64_t line) { return {what, line, {}}; }

std::string utf16le(const std::u16string& text) {
  std::string bytes;
  for (const char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

std::string utf16be(const std::u16string& text) {
  std::string bytes;
  for (const char16_t c : text) {
    bytes += static_cast<char>(c >> 8);
    bytes += static_cast<char>(c & 0xFF);
  }
  return bytes;
}

struct reader_case {
  const char* what;
  std::string bytes;
  std::vector<step> steps;
  wchar_t delimiter = L',';
  std::string encoding = {};
  std::size_t limit = 0;  // 0: the default
};

// Every case is read with reads of a few bytes, a few kilobytes and the
// default size, so that a refill falls inside quoted fields, between CR and
// LF and inside multi-byte characters; the outcome must not change.
class csv_reader_cases : public ::testing::Test {
 protected:
  void check(const std::vector<reader_case>& cases) {
    for (const reader_case& c : cases) {
      const std::string path = folder_.write("t.csv", c.bytes);
      for (const std::size_t read_bytes : {1, 2, 3, 5, 4096, 256 * 1024}) {
        SCOPED_TRACE(testing::Message() << c.what << ", reads of " << read_bytes << " bytes");
        csv_record_reader::options options;
        options.delimiter = c.delimiter;
        options.encoding = c.encoding;
        options.read_bytes = read_bytes;
        if (c.limit) options.max_record_chars = c.limit;
        csv_record_reader reader(std::wstring(path.begin(), path.end()), options);
        EXPECT_EQ(read_all(reader), c.steps);
        EXPECT_EQ(reader.position(), static_cast<std::int64_t>(c.bytes.size()));
      }
    }
  }
  temp_folder folder_;
};

TEST_F(csv_reader_cases, quoting) {
  check({
      {"quoted delimiters and doubled quotes",
       "a;\"b;c\";\"d\"\"e\"\n",
       {rec(1, {L"a", L"b;c", L"d\"e"})},
       L';'},
      {"two quotes alone are an empty text",
       "\"\"\n\"\",x,\"\"",
       {rec(1, {L""}), rec(2, {L"", L"x", L""})}},
      {"quotes inside unquoted fields are characters",
       "ab\"cd,5'10\",x\"\"y\"\n",
       {rec(1, {L"ab\"cd", L"5'10\"", L"x\"\"y\""})}},
      {"a stray quote inside a quoted field is kept",
       "\"say \"hi\" now\",\"a\"b\",\"c\"\"\"\n",
       {rec(1, {L"say \"hi\" now", L"a\"b", L"c\""})}},
      {"blanks are kept and make a field unquoted",
       " \"a\" , b ,\"c\"\n",
       {rec(1, {L" \"a\" ", L" b ", L"c"})}},
      {"a quote closed by the end of the file", "x,\"abc\"", {rec(1, {L"x", L"abc"})}},
      {"empty fields and a trailing delimiter",
       ",,\na,\n",
       {rec(1, {L"", L"", L""}), rec(2, {L"a", L""})}},
      {"any delimiter character",
       "a|b|\"c|d\"\n\xC2\xA6x",
       {rec(1, {L"a", L"b", L"c|d"}), rec(2, {L"\x00A6x"})},
       L'|'},
      {"a delimiter outside ASCII", "a\xC2\xA6\x62\n", {rec(1, {L"a", L"b"})}, L'\x00A6'},
      {"tab and blank delimiters", "a\tb c\n", {rec(1, {L"a", L"b c"})}, L'\t'},
  });
}

TEST_F(csv_reader_cases, line_ends) {
  check({
      {"classic Mac line ends",
       "a,b,c\r1,2,3\r4,5,6\r",
       {rec(1, {L"a", L"b", L"c"}), rec(2, {L"1", L"2", L"3"}), rec(3, {L"4", L"5", L"6"})}},
      {"LF, CR LF and CR mixed, the last line without one",
       "x\r\ny\nz\rw",
       {rec(1, {L"x"}), rec(2, {L"y"}), rec(3, {L"z"}), rec(4, {L"w"})}},
      {"a CR at the very end", "a,b\r", {rec(1, {L"a", L"b"})}},
      {"line ends inside quotes are data, kept as written",
       "id,note\n1,\"line one\nline two, still\"\n2,\"a\r\nb\rc\"\r\n3,x\n",
       {rec(1, {L"id", L"note"}), rec(2, {L"1", L"line one\nline two, still"}),
        rec(4, {L"2", L"a\r\nb\rc"}), rec(7, {L"3", L"x"})}},
      {"blank lines are skipped but counted",
       "\n\na\n\r\n\rb\n\n",
       {rec(3, {L"a"}), rec(6, {L"b"})}},
      {"a line of blanks is a record", "a\n \n", {rec(1, {L"a"}), rec(2, {L" "})}},
      {"nothing at all", "", {}},
      {"only line ends", "\r\n\n\r", {}},
  });
}

TEST_F(csv_reader_cases, unclosed_quotes_cost_one_record) {
  check({
      {"reading goes on at the line after the one the record began on",
       "a\n\"open,\nb\nc\n",
       {rec(1, {L"a"}), failed(status::unclosed_quote, 2), rec(3, {L"b"}), rec(4, {L"c"})}},
      {"an open quote on the last line",
       "a\n\"open",
       {rec(1, {L"a"}), failed(status::unclosed_quote, 2)}},
      {"an open quote in a later field, CR line ends",
       "1,\"x\r2,y\r",
       {failed(status::unclosed_quote, 1), rec(2, {L"2", L"y"})}},
  });
}

TEST_F(csv_reader_cases, records_past_the_limit_are_skipped) {
  check({
      {"exactly the limit, then one more",
       "0123456789\r\n0123456789X,y\r\nok\n",
       {rec(1, {L"0123456789"}), failed(status::too_long, 2), rec(3, {L"ok"})},
       L',',
       "",
       10},
      {"far longer than the limit, CR line ends",
       "a\r" + std::string(100, 'x') + "\rb\r",
       {rec(1, {L"a"}), failed(status::too_long, 2), rec(3, {L"b"})},
       L',',
       "",
       10},
      {"a record that spans lines and ends past the limit",
       "\"ab\ncd\",0123456789\nok",
       {failed(status::too_long, 1), rec(3, {L"ok"})},
       L',',
       "",
       10},
      {"a quote not closed within the limit",
       "\"0123456789\nabc\nz\"\nok",
       {failed(status::unclosed_quote, 1), rec(2, {L"abc"}), rec(3, {L"z\""}), rec(4, {L"ok"})},
       L',',
       "",
       10},
      {"a quote not closed within the limit on one long line",
       "\"" + std::string(50, 'q') + "\nok\n",
       {failed(status::unclosed_quote, 1), rec(2, {L"ok"})},
       L',',
       "",
       10},
  });
}

TEST_F(csv_reader_cases, long_values_span_many_refills) {
  const std::string value(5000, 'v');
  const std::wstring wide_value(5000, L'v');
  check({
      {"a 5,000-character quoted field holding line ends",
       "a,\"" + value + "\n" + value + "\"\nb,c\n",
       {rec(1, {L"a", wide_value + L"\n" + wide_value}), rec(3, {L"b", L"c"})}},
  });
}

TEST_F(csv_reader_cases, encodings) {
  check({
      {"UTF-8 with characters split across reads",
       "\xE2\x82\xAC,\xE4\xB8\xAD\xF0\x9F\x98\x80\n\xC3\xA9\n",
       {rec(1, {L"\x20AC", L"\x4E2D\x1F600"}), rec(2, {L"\x00E9"})}},
      {"Windows-1252 under a UTF-8 locale is refused, record by record",
       "name\ncaf\xE9\nok\n",
       {rec(1, {L"name"}), bad_bytes(2, {L"caf\xFFFD"}), rec(3, {L"ok"})}},
      {"the same bytes read as CP1252",
       "name\ncaf\xE9\n",
       {rec(1, {L"name"}), rec(2, {L"caf\x00E9"})},
       L',',
       "CP1252"},
      {"ISO-8859-7",
       "\xE1\xE2\xE3,x\n",
       {rec(1, {L"\x03B1\x03B2\x03B3", L"x"})},
       L',',
       "ISO-8859-7"},
      {"Shift-JIS whose second bytes look like the delimiter",
       "\x83\x7C|\x83\x40\n",
       {rec(1, {L"\x30DD", L"\x30A1"})},
       L'|',
       "SHIFT_JIS"},
      {"a byte-order mark wins over the encoding given",
       "\xEF\xBB\xBFid\n\xC3\xA9\n",
       {rec(1, {L"id"}), rec(2, {L"\x00E9"})},
       L',',
       "CP1252"},
      {"UTF-16LE with its mark, CR line ends and a quoted line break",
       utf16le(u"\xFEFF"
               u"a,b\r\"x\r\ny\",\x20AC\r"),
       {rec(1, {L"a", L"b"}), rec(2, {L"x\r\ny", L"\x20AC"})}},
      {"UTF-16BE with its mark",
       utf16be(u"\xFEFF"
               u"a;\x4E2D\n"),
       {rec(1, {L"a", L"\x4E2D"})},
       L';'},
      {"UTF-16LE given, without a mark",
       utf16le(u"a,b\n"),
       {rec(1, {L"a", L"b"})},
       L',',
       "UTF-16LE"},
      {"UTF-16LE ending in a lone byte",
       utf16le(u"\xFEFF"
               u"a\nxy")
           .substr(0, 9),
       {rec(1, {L"a"}), bad_bytes(2, {L"x\xFFFD"})}},
      {"a run of invalid bytes fails only its record",
       "\xFD\xFE\xFF\n\x80x\xC3\n\xC3\xA9\n",
       {bad_bytes(1, {L"\xFFFD\xFFFD\xFFFD"}), bad_bytes(2, {L"\xFFFDx\xFFFD"}),
        rec(3, {L"\x00E9"})}},
  });
}

TEST(csv_record_reader, invalid_bytes_are_named_by_offset_and_value) {
  temp_folder folder;
  const std::string path = folder.write("t.csv", "id\n1,ok\n2,caf\xE9 \xE8\n");
  csv_record_reader::options options;
  options.read_bytes = 4;
  csv_record_reader reader(std::wstring(path.begin(), path.end()), options);
  csv_fields fields;
  EXPECT_EQ(reader.read(fields), status::record);
  EXPECT_EQ(reader.read(fields), status::record);
  ASSERT_EQ(reader.read(fields), status::invalid_bytes);
  EXPECT_EQ(reader.record_line(), 3);
  EXPECT_EQ(reader.first_invalid().byte_offset, 13);
  EXPECT_EQ(reader.first_invalid().byte, 0xE9);
  EXPECT_EQ(reader.encoding(), "UTF-8");
  EXPECT_EQ(reader.read(fields), status::end_of_file);
}

TEST(csv_record_reader, unusable_sources_raise_clear_errors) {
  temp_folder folder;
  const auto wide = [](const std::string& s) { return std::wstring(s.begin(), s.end()); };
  const std::string ok = folder.write("ok.csv", "a\n");
  struct bad_case {
    std::wstring path;
    std::string encoding;
    std::string expected;  // part of the message
  } cases[] = {
      {wide(folder.file("missing.csv")), "", "missing.csv"},
      {wide(folder.path().string()), "", "Is a directory"},
      {wide(ok), "NO-SUCH-CHARSET", "Unknown character set 'NO-SUCH-CHARSET'"},
  };
  for (const bad_case& c : cases) {
    csv_record_reader::options options;
    options.encoding = c.encoding;
    try {
      csv_record_reader reader(c.path, options);
      ADD_FAILURE() << "no exception for " << c.expected;
    } catch (const tk_exception& e) {
      EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
      EXPECT_EQ(e.level(), tk_level_run);
    }
  }
}

}  // namespace

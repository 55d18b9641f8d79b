#include "csv_file.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tk_exception.hpp"

namespace {

namespace fs = std::filesystem;
using rows = std::vector<std::vector<std::wstring>>;

class csv_files : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tessaly_csv_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::wstring write(const std::string& bytes, const char* name = "t.csv") {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p.wstring();
  }

  static std::vector<std::wstring> columns(const csv_file& f) {
    std::vector<std::wstring> names;
    const udb_schema& s = f.get_schema();
    for (std::size_t i = 0; i < s.field_count(); ++i) names.push_back(s.field_at(i).name);
    return names;
  }

  static rows read_all(csv_file& f) {
    rows out;
    while (!f.is_eof()) {
      const udb_record* r = f.create_record();
      std::vector<std::wstring> row;
      for (std::size_t i = 0; i < r->field_count(); ++i) row.push_back(r->field_at(i).to_wstring());
      out.push_back(row);
      f.move_next();
      if (out.size() > 1000) break;  // a reader that never ends fails here, not by hanging
    }
    return out;
  }

  fs::path dir_;
};

// UTF-16 bytes of a text, the byte-order mark included in the text.
std::string utf16(const std::u16string& text, bool big_endian) {
  std::string bytes;
  for (const char16_t c : text) {
    const char high = static_cast<char>(c >> 8);
    const char low = static_cast<char>(c & 0xFF);
    bytes += big_endian ? high : low;
    bytes += big_endian ? low : high;
  }
  return bytes;
}

struct file_case {
  const char* what;
  std::string bytes;
  bool first_row_names;
  std::vector<std::wstring> columns;
  rows records;
};

TEST_F(csv_files, reading_cases) {
  const file_case cases[] = {
      {"header names made unique",
       "a,A,a\n1,2,3\n",
       true,
       {L"a", L"A_", L"a_1"},
       {{L"1", L"2", L"3"}}},
      {"the suffix cycle",
       "N,N,N,N,N,N,N,N\n",
       true,
       {L"N", L"N_", L"N_1", L"N_1_", L"N_1_2", L"N_1_2_", L"N_1_2_3", L"N_1_2_3_"},
       {}},
      {"a generated name taken by a later header", "x_,x,x\n", true, {L"x_", L"x", L"x_1"}, {}},
      {"header names trimmed, empty ones numbered",
       " id , ,name \n 1 ,, x \n",
       true,
       {L"id", L"F2", L"name"},
       {{L" 1 ", L"", L" x "}}},
      {"F names that clash with a header", "F2,,F2\n", true, {L"F2", L"F2_", L"F2_1"}, {}},
      {"no header: first line is data",
       "a,b\n1,2\n",
       false,
       {L"F1", L"F2"},
       {{L"a", L"b"}, {L"1", L"2"}}},
      {"short and long lines",
       "a,b,c\n1\n1,2,3,4,5\n",
       true,
       {L"a", L"b", L"c"},
       {{L"1"}, {L"1", L"2", L"3"}}},
      {"empty line inside the file",
       "a,b\n1,2\n\n3,4\n",
       true,
       {L"a", L"b"},
       {{L"1", L"2"}, {L""}, {L"3", L"4"}}},
      {"no line end after the last line",
       "a,b\n1,2\n3,4",
       true,
       {L"a", L"b"},
       {{L"1", L"2"}, {L"3", L"4"}}},
      {"empty lines at the end", "a\n1\n\n\n", true, {L"a"}, {{L"1"}, {L""}, {L""}}},
      {"CR LF line ends",
       "a,b\r\n1,2\r\n\r\n3,\"x\r\n",
       true,
       {L"a", L"b"},
       {{L"1", L"2"}, {L""}, {L"3", L"x"}}},
      {"a CR inside a line stays", "a\r\nx\ry\r\n", true, {L"a"}, {{L"x\ry"}}},
      {"header only", "a,b\n", true, {L"a", L"b"}, {}},
      {"empty file", "", true, {L"F1"}, {}},
      {"empty file without header", "", false, {L"F1"}, {}},
      {"UTF-8 byte-order mark",
       "\xEF\xBB\xBFid,na\xC3\xAFve\n1,\xE2\x82\xAC\n",
       true,
       {L"id", L"na\x00EFve"},
       {{L"1", L"\x20AC"}}},
      {"UTF-16LE byte-order mark",
       utf16(u"\xFEFFid,n\r\n1,\x20AC\r\n\x0a00", false),
       true,
       {L"id", L"n"},
       {{L"1", L"\x20AC"}, {L"\x0a00"}}},
      {"UTF-16BE byte-order mark",
       utf16(u"\xFEFF"
             u"a,b\n1,\x4e2d\r\n",
             true),
       true,
       {L"a", L"b"},
       {{L"1", L"\x4e2d"}}},
      {"UTF-16LE with a dangling odd byte",
       utf16(u"\xFEFF"
             u"a\nxy",
             false)
           .substr(0, 9),
       true,
       {L"a"},
       {{L"x\xFFFD"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    csv_file f(write(c.bytes), ',', c.first_row_names);
    EXPECT_EQ(columns(f), c.columns);
    for (std::size_t i = 0; i < f.get_schema().field_count(); ++i) {
      EXPECT_EQ(f.get_schema().field_at(i).vartype, VT_BSTR);
      EXPECT_EQ(f.get_schema().field_at(i).size, 50);
    }
    EXPECT_EQ(read_all(f), c.records);
    EXPECT_EQ(f.get_progress(), 100);
  }
}

TEST_F(csv_files, records_carry_column_names) {
  csv_file f(write("id;name\n7;x\n"), ';', true);
  const udb_record* r = f.create_record();
  ASSERT_EQ(r->field_count(), 2u);
  EXPECT_EQ(r->field_at(1).name, L"name");
  EXPECT_TRUE(r->find_field(L"NAME"));
}

TEST_F(csv_files, line_length_limit_ends_the_read_with_the_line_number) {
  const std::string ok(65535, 'x');
  const std::string too_long(65536, 'y');
  {
    csv_file f(write("h\n" + ok + "\r\n" + ok + "\n"), ',', true);
    const rows r = read_all(f);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0][0].size(), 65535u);
  }
  {
    csv_file f(write("h\n1\n2\n" + too_long + "\n5\n"), ',', true);
    EXPECT_NO_THROW(f.move_next());  // to line 3
    try {
      f.move_next();  // line 4
      ADD_FAILURE() << "no exception";
    } catch (const tk_exception& e) {
      EXPECT_NE(std::string(e.what()).find("line 4 "), std::string::npos) << e.what();
    }
  }
  // A file without any line end, far larger than the limit.
  EXPECT_THROW(csv_file(write(std::string(1 << 20, 'z')), ',', true), tk_exception);
}

TEST_F(csv_files, unreadable_sources_raise_clear_errors) {
  const std::wstring missing = (dir_ / "missing.csv").wstring();
  try {
    csv_file f(missing, ',', true);
    ADD_FAILURE() << "no exception";
  } catch (const tk_exception& e) {
    EXPECT_NE(std::string(e.what()).find("missing.csv"), std::string::npos) << e.what();
  }
  EXPECT_THROW(csv_file(dir_.wstring(), ',', true), tk_exception);
}

TEST_F(csv_files, more_columns_than_a_table_can_hold_are_refused) {
  auto header = [](std::size_t columns) {
    std::string line;
    for (std::size_t i = 0; i < columns; ++i) line += i ? ",a" : "a";
    return line + "\n";
  };
  EXPECT_EQ(csv_file(write(header(csv_file::max_columns)), ',', true).get_schema().field_count(),
            csv_file::max_columns);
  try {
    csv_file f(write(header(csv_file::max_columns + 1)), ',', true);
    ADD_FAILURE() << "no exception";
  } catch (const tk_exception& e) {
    EXPECT_NE(std::string(e.what()).find(" has 1025 columns"), std::string::npos) << e.what();
    EXPECT_EQ(e.level(), tk_level_run);
  }
}

TEST_F(csv_files, never_a_destination) {
  csv_file f(write("a\n1\n"), ',', true);
  udb_record r;
  try {
    f.append_record(r);
    ADD_FAILURE() << "no exception";
  } catch (const tk_exception& e) {
    EXPECT_STREQ(e.what(), "Error opening CSV file");
  }
}

TEST_F(csv_files, progress_follows_the_read_position) {
  std::string text = "h\n";
  for (int i = 0; i < 98; ++i) text += "row\n";  // 2 + 392 bytes
  csv_file f(write(text), ',', true);
  EXPECT_EQ(f.get_file_size(), 394);
  int last = f.get_progress();
  EXPECT_GE(last, 0);
  EXPECT_LT(last, 5);
  bool rose = false;
  while (!f.is_eof()) {
    f.move_next();
    const int now = f.get_progress();
    EXPECT_GE(now, last);
    rose = rose || now > last;
    last = now;
  }
  EXPECT_TRUE(rose);
  EXPECT_EQ(last, 100);
}

}  // namespace

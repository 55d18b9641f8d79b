#include "csv_file.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "temp_folder.hpp"
#include "tk_exception.hpp"

namespace {

using rows = std::vector<std::vector<std::wstring>>;

class csv_files : public ::testing::Test {
 protected:
  std::wstring write(const std::string& bytes) {
    const std::string path = folder_.write("t.csv", bytes);
    return std::wstring(path.begin(), path.end());
  }

  static std::vector<std::wstring> columns(const csv_file& f) {
    std::vector<std::wstring> names;
    const udb_schema& s = f.get_schema();
    for (std::size_t i = 0; i < s.field_count(); ++i) names.push_back(s.field_at(i).name);
    return names;
  }

  // Each record's values ("<null>" for NULL), or "!" and the first words of
  // the message of a record that was refused.
  static rows read_all(csv_file& f) {
    rows out;
    while (!f.is_eof()) {
      std::vector<std::wstring> row;
      try {
        const udb_record* r = f.create_record();
        for (std::size_t i = 0; i < r->field_count(); ++i) {
          const udb_field& field = r->field_at(i);
          row.push_back(field.get_type() == VT_NULL ? L"<null>" : field.to_wstring());
        }
      } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), tk_level_item);
        const std::string what = e.what();
        row.push_back(L"!" + std::wstring(what.begin(), what.begin() + what.find_first_of(";,.")));
      }
      out.push_back(row);
      f.move_next();
      if (out.size() > 1000) break;  // a reader that never ends fails here, not by hanging
    }
    return out;
  }

  temp_folder folder_;
};

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
      {"header names cleaned up, empty ones numbered; values kept as they are",
       " id ,\t,\"first\r\nname\",\"a \t\v\f b \"\n 1 ,, x ,\ty\n",
       true,
       {L"id", L"F2", L"first name", L"a b"},
       {{L" 1 ", L"", L" x ", L"\ty"}}},
      {"F names that clash with a header", "F2,,F2\n", true, {L"F2", L"F2_", L"F2_1"}, {}},
      {"no header: first line is data",
       "a,b\n1,2\n",
       false,
       {L"F1", L"F2"},
       {{L"a", L"b"}, {L"1", L"2"}}},
      {"short rows get NULL, long rows are refused, empty extra fields are dropped",
       "a,b,c\n1\n1,2,3,4,5\n1,2,3,,\n,,\n",
       true,
       {L"a", L"b", L"c"},
       {{L"1", L"<null>", L"<null>"},
        {L"!Record has 5 fields"},
        {L"1", L"2", L"3"},
        {L"", L"", L""}}},
      {"without a header the first record sets the width",
       "a,b\n1,2,3\n",
       false,
       {L"F1", L"F2"},
       {{L"a", L"b"}, {L"!Record has 3 fields"}}},
      {"blank lines are skipped",
       "\na,b\n1,2\n\n\r\n3,4\n\n",
       true,
       {L"a", L"b"},
       {{L"1", L"2"}, {L"3", L"4"}}},
      {"no line end after the last line",
       "a,b\n1,2\n3,4",
       true,
       {L"a", L"b"},
       {{L"1", L"2"}, {L"3", L"4"}}},
      {"CR LF and CR line ends, no CR left in a value",
       "a,b\r\n1,2\r3,\"x\r\ny\"\r",
       true,
       {L"a", L"b"},
       {{L"1", L"2"}, {L"3", L"x\r\ny"}}},
      {"a refused record does not stop the file",
       "a\n\"open\n1\n",
       true,
       {L"a"},
       {{L"!A quoted field in this record is not closed before the end of the file"}, {L"1"}}},
      {"header only", "a,b\n", true, {L"a", L"b"}, {}},
      {"empty file", "", true, {L"F1"}, {}},
      {"empty file without header", "", false, {L"F1"}, {}},
      {"UTF-8 byte-order mark",
       "\xEF\xBB\xBFid,na\xC3\xAFve\n1,\xE2\x82\xAC\n",
       true,
       {L"id", L"na\x00EFve"},
       {{L"1", L"\x20AC"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    csv_file f(write(c.bytes), L',', c.first_row_names);
    EXPECT_EQ(columns(f), c.columns);
    for (std::size_t i = 0; i < f.get_schema().field_count(); ++i) {
      EXPECT_EQ(f.get_schema().field_at(i).vartype, VT_BSTR);
      EXPECT_EQ(f.get_schema().field_at(i).size, 50);
    }
    EXPECT_EQ(read_all(f), c.records);
    EXPECT_EQ(f.get_progress(), 100);
  }
}

TEST_F(csv_files, records_carry_column_names_and_their_lines) {
  csv_file f(write("id;name\n\n7;\"x\ny\"\n8;z\n"), L';', true);
  const udb_record* r = f.create_record();
  ASSERT_EQ(r->field_count(), 2u);
  EXPECT_EQ(r->field_name(1), L"name");
  EXPECT_TRUE(r->find_field(L"NAME"));
  EXPECT_EQ(f.record_line(), 3);
  f.move_next();
  EXPECT_EQ(f.record_line(), 5);
  EXPECT_EQ(f.line_of_record(1), 3);
  EXPECT_EQ(f.line_of_record(2), 5);
  EXPECT_EQ(f.line_of_record(3), 0);  // not read yet
  EXPECT_EQ(f.line_of_record(0), 0);
}

TEST_F(csv_files, line_of_record_remembers_a_bulk_batch_back) {
  std::string text = "h\n";
  for (int i = 0; i < 9000; ++i) text += "\nrow\n";  // a blank line before each record
  csv_file f(write(text), L',', true);
  while (!f.is_eof()) f.move_next();
  EXPECT_EQ(f.line_of_record(9000), 18001);
  EXPECT_EQ(f.line_of_record(5000), 10001);
  EXPECT_EQ(f.line_of_record(9000 - static_cast<long>(csv_file::lines_kept)), 0);
}

// Refused records: what the message says, at level 0.
TEST_F(csv_files, refused_records_say_what_and_how_to_fix) {
  const struct {
    const char* what;
    std::string bytes;
    std::string encoding;
    std::vector<std::string> message_parts;
  } cases[] = {
      {"invalid byte",
       "id\ncaf\xE9\n",
       "",
       {"Byte 0xE9 at offset 6 is not valid UTF-8 text", "--encoding=NAME", "--encoding=CP1252"}},
      {"invalid byte under another encoding",
       "id\n\x81\n",
       "CP1252",
       {"Byte 0x81 at offset 3 is not valid CP1252 text", "--encoding=UTF-8"}},
      {"too many fields",
       "a,b\n1,2,x\n",
       "",
       {"Record has 3 fields; the header has 2.", "delimiters and quotes"}},
      {"quote open at the end",
       "a\n\"x\ny\n",
       "",
       {"not closed before the end of the file", "skipped and reading went on at line 3",
        "Check the quotes"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    csv_file f(write(c.bytes), L',', true, c.encoding);
    try {
      f.create_record();
      ADD_FAILURE() << "no exception";
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.level(), tk_level_item);
      for (const std::string& part : c.message_parts)
        EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    }
  }
}

TEST_F(csv_files, a_record_past_the_limit_is_refused_with_the_limit) {
  csv_record_reader::options options;
  options.max_record_chars = 20;
  csv_file f(write("a\n" + std::string(30, 'x') + "\nb\n"), options, true);
  try {
    f.create_record();
    ADD_FAILURE() << "no exception";
  } catch (const tk_exception& e) {
    EXPECT_STREQ(e.what(),
                 "The record is longer than 20 characters, the most one record may hold; it was "
                 "skipped and reading went on at line 3.");
  }
  f.move_next();
  EXPECT_EQ(f.create_record()->field_at(0).to_wstring(), L"b");
}

// A first record that cannot give the columns stops the run.
TEST_F(csv_files, an_unreadable_header_stops_the_run) {
  const struct {
    const char* what;
    std::string bytes;
    bool first_row_names;
    std::vector<std::string> message_parts;
  } cases[] = {
      {"a header that is not valid text",
       "\n\nn\xE4me,x\n1,2\n",
       true,
       {"The header (line 3)", "is not valid UTF-8 text: byte 0xE4 at offset 3",
        "--encoding=NAME"}},
      {"a header with a quote never closed",
       "\"a,b\n1,2\n",
       true,
       {"The header of the CSV file", "(line 1)", "not closed before the end of the file"}},
      {"a first record with a quote never closed", "\"a\n", false, {"The first record of"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      csv_file f(write(c.bytes), L',', c.first_row_names);
      ADD_FAILURE() << "no exception";
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.level(), tk_level_run);
      for (const std::string& part : c.message_parts)
        EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    }
  }
}

TEST_F(csv_files, without_a_header_an_undecodable_first_record_still_sets_the_columns) {
  csv_file f(write("caf\xE9,x\n1,2\n"), L',', false);
  EXPECT_EQ(columns(f), (std::vector<std::wstring>{L"F1", L"F2"}));
  EXPECT_EQ(read_all(f), (rows{{L"!Byte 0xE9 at offset 3 is not valid UTF-8 text"}, {L"1", L"2"}}));
}

TEST_F(csv_files, encoding_names_the_character_set_in_use) {
  EXPECT_EQ(csv_file(write("a\n"), L',', true, "CP1252").get_encoding(), "CP1252");
  EXPECT_EQ(csv_file(write(std::string("\xFF\xFE"
                                       "a\0",
                                       4)),
                     L',', true, "CP1252")
                .get_encoding(),
            "UTF-16LE");
  EXPECT_EQ(csv_file(write("a\n"), L',', true).get_encoding(), "UTF-8");  // the test locale's
}

TEST_F(csv_files, more_columns_than_a_table_can_hold_are_refused) {
  auto header = [](std::size_t columns) {
    std::string line;
    for (std::size_t i = 0; i < columns; ++i) line += i ? ",a" : "a";
    return line + "\n";
  };
  EXPECT_EQ(csv_file(write(header(csv_file::max_columns)), L',', true).get_schema().field_count(),
            csv_file::max_columns);
  try {
    csv_file f(write(header(csv_file::max_columns + 1)), L',', true);
    ADD_FAILURE() << "no exception";
  } catch (const tk_exception& e) {
    EXPECT_NE(std::string(e.what()).find(" has 1025 columns"), std::string::npos) << e.what();
    EXPECT_EQ(e.level(), tk_level_run);
  }
}

TEST_F(csv_files, never_a_destination) {
  csv_file f(write("a\n1\n"), L',', true);
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
  csv_file f(write(text), L',', true);
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

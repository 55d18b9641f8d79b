// tessrun's option checks, run as the real program: what it prints where, and
// its exit status. None of these reach a server.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run_process.hpp"
#include "temp_folder.hpp"

namespace {

namespace fs = std::filesystem;

const std::string usage_head = "TESSRUN v3.4\nUsage: TESSRUN.EXE OPTIONS\n\n";

process_result tessrun(const std::vector<std::string>& args) {
  return run_process(TESSRUN_PATH, args, {"LC_ALL=C.UTF-8"});
}

struct check_case {
  const char* name;
  std::vector<std::string> args;
  std::string err;  // exactly what standard error holds
};

TEST(tessrun_options, each_failed_check_prints_one_message_and_exits_255) {
  const std::string csv = "--src=data.csv";
  const check_case cases[] = {
      {"no arguments", {}, usage_head},
      {"help after other options", {"--dest=db", "--help", "--bogus"}, usage_head},
      {"mode 02", {"--mode=02"}, "Invalid merge/overwrite mode\n"},
      {"mode 4", {"--mode=4"}, "Invalid merge/overwrite mode\n"},
      {"mode -1", {"--mode=-1"}, "Invalid merge/overwrite mode\n"},
      {"mode empty", {"--mode="}, "Invalid merge/overwrite mode\n"},
      {"mode +2", {"--mode=+2"}, "Invalid merge/overwrite mode\n"},
      {"src and dest missing", {"--from_csv"}, "You should enter data source name\n"},
      {"dest missing", {csv}, "You should enter destination MS SQL database name\n"},
      {"csv without table name",
       {"--from_csv", csv, "--dest=db", "--csv_delim=1", "--mode=3"},
       "You should specify MS SQL table name (use '--tab_name' option)\n"},
      {"csv without delimiter",
       {"--from_csv", csv, "--dest=db", "--tab_name=t"},
       "You should specify CSV delimiter (use '--csv_delim' option)\n"},
      {"csv with delimiter 4",
       {"--from_csv", csv, "--dest=db", "--tab_name=t", "--csv_delim=4"},
       "You should specify CSV delimiter (use '--csv_delim' option)\n'4' is neither 0 (tab), 1 "
       "(semicolon), 2 (comma), 3 (space) nor one character other than a double quote or a "
       "digit.\n"},
      {"unknown character set",
       {"--from_csv", csv, "--dest=db", "--encoding=KLINGON-8"},
       "Unknown character set 'KLINGON-8' (use '--encoding' option with a name iconv knows, such "
       "as UTF-8, CP1252, ISO-8859-1 or UTF-16LE; 'iconv -l' lists them all)\n"},
      {"unrecognised argument with everything else given",
       {"--from_csv", csv, "--dest=db", "--tab_name=t", "--csv_delim=2", "--verbose"},
       "Unknown argument: --verbose\n" + usage_head},
      {"timeout not a number",
       {"--timeout=ten"},
       "Invalid --timeout value 'ten': give a number of seconds (0 to 604800)\n"},
      {"login timeout negative",
       {"--login_timeout=-5"},
       "Invalid --login_timeout value '-5': give a number of seconds (0 to 604800)\n"},
      {"missing table list",
       {"--tab_file=/nonexistent/list.txt"},
       "Table names file does not exist.\nPlease verify the correct path/name was given.\n"},
  };
  for (const check_case& c : cases) {
    const process_result r = tessrun(c.args);
    EXPECT_EQ(r.status, 255) << c.name;
    if (c.err.ends_with(usage_head))
      EXPECT_TRUE(r.err.starts_with(c.err)) << c.name << "\n" << r.err;
    else
      EXPECT_EQ(r.err, c.err) << c.name;
    EXPECT_EQ(r.out, "") << c.name;
  }
}

TEST(tessrun_options, csv_delimiter_is_an_index_or_one_character) {
  // Each run stops at the table-name check, after the delimiter was taken;
  // without one it would stop at the delimiter check instead.
  const std::string table_message =
      "You should specify MS SQL table name (use '--tab_name' option)\n";
  const std::string delimiter_message =
      "You should specify CSV delimiter (use '--csv_delim' option)\n";
  const struct {
    const char* value;
    bool b_accepted;
  } cases[] = {
      {"0", true},   {"3", true},        {"|", true},     {"^", true},   {";", true},
      {" ", true},   {"\xC2\xA6", true},  // one character of the UTF-8 locale
      {"2x", false}, {"", false},        {"||", false},   {"\"", false}, {"7", false},
      {"\r", false}, {"\n", false},      {"\xA6", false},  // not a character of the locale
  };
  for (const auto& c : cases) {
    const process_result r = tessrun(
        {"--from_csv", "--src=data.csv", "--dest=db", std::string("--csv_delim=") + c.value});
    EXPECT_EQ(r.status, 255) << c.value;
    if (c.b_accepted)
      EXPECT_EQ(r.err, table_message) << "[" << c.value << "]";
    else
      EXPECT_TRUE(r.err.starts_with(delimiter_message)) << "[" << c.value << "] " << r.err;
  }
}

TEST(tessrun_options, usage_text_is_complete) {
  const process_result r = tessrun({"--help"});
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.err.find("\n   --profile=...  path to the file to load conversion settings from\n"),
            std::string::npos);
  EXPECT_NE(r.err.find("\n   --csv_delim=... select the delimiter that separates CSV field\n"),
            std::string::npos);
  EXPECT_NE(r.err.find("\n   --timeout=...   seconds to wait for any answer of the server"),
            std::string::npos);
  EXPECT_NE(r.err.find("\n   --login_timeout=... seconds to wait for the server to accept"),
            std::string::npos);
  EXPECT_NE(r.err.find("or the delimiter character itself (e.g. --csv_delim='|')\n"),
            std::string::npos);
  EXPECT_NE(r.err.find("\n   --encoding=...  character set of the CSV file and the table list\n"),
            std::string::npos);
  EXPECT_NE(r.err.find("\n   --src_pswd=...  password of an encrypted workbook\n"),
            std::string::npos);
  EXPECT_NE(r.err.find("\n   --date_order=... how to read dates such as 01/02/2003"),
            std::string::npos);
  EXPECT_TRUE(r.err.ends_with("      TESSALY_SRC_PASSWORD.\n\n\n")) << r.err;
}

TEST(tessrun_options, silent_prints_nothing_but_still_fails) {
  std::vector<std::string> many_unknown(21, "--unknown");
  const std::vector<std::vector<std::string>> runs = {
      {"--silent", "--dest=db"},
      {"--silent", "--src=a.xls", "--dest=db", "--bogus"},
      {"--silent", "--help"},
  };
  for (const auto& args : runs) {
    const process_result r = tessrun(args);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out + r.err, "");
  }
  // More unrecognised arguments than the list keeps still end with usage.
  const process_result r = tessrun(many_unknown);
  EXPECT_EQ(r.status, 255);
  std::string named;
  for (int i = 0; i < 20; ++i) named += "Unknown argument: --unknown\n";
  EXPECT_TRUE(r.err.starts_with(named + usage_head)) << r.err;
}

TEST(tessrun_options, refused_log_files_are_reported_by_the_error_handler) {
  temp_folder dir;
  const std::string read_only = dir.write("old.log", "keep");
  fs::permissions(read_only, fs::perms::owner_read);
  struct log_case {
    std::string path;
    std::string out;
  };
  const log_case cases[] = {
      {read_only, "Error:\nLogfile name specifies an existing read-only file.\n"},
      {dir.file("missing/run.log"),
       "Error:\nLogfile path does not exist. Please verify the correct path was given.\n"},
  };
  for (const log_case& c : cases) {
    const process_result r = tessrun({"--logfile=" + c.path, "--src=a.csv"});
    EXPECT_EQ(r.status, 255) << c.path;
    EXPECT_EQ(r.out, c.out) << c.path;
    EXPECT_EQ(r.err, "") << c.path;
  }
  std::ifstream in(read_only);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
}

TEST(tessrun_options, log_file_receives_the_failed_check) {
  temp_folder dir;
  const std::string log = dir.file("run.log");
  const process_result r = tessrun({"--logfile=" + log, "--mode=9"});
  EXPECT_EQ(r.status, 255);
  std::ifstream in(log, std::ios::binary);
  // Threshold 3: the message is there, the level-1 and level-2 lines are not.
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
            "Invalid merge/overwrite mode\r\n");
}

// A workbook with one worksheet, "Data", written by openpyxl.
std::string make_workbook(const temp_folder& dir) {
  const std::string path = dir.file("book.xlsx");
  const std::string script =
      "import openpyxl\n"
      "wb = openpyxl.Workbook()\n"
      "wb.active.title = 'Data'\n"
      "wb.active.append(['id'])\n"
      "wb.save('" +
      path + "')\n";
  const process_result r = run_process("/usr/bin/python3", {"-c", script});
  EXPECT_EQ(r.status, 0) << r.err;
  return path;
}

TEST(tessrun_options, table_list_with_byte_order_mark_is_read_as_utf8) {
  temp_folder dir;
  const std::string book = make_workbook(dir);
  // A byte-order mark, an empty line between the names, a CR LF line end,
  // accented letters and a trailing space that belongs to the name.
  const std::string list =
      dir.write("tables.txt", "\xEF\xBB\xBFSheet1\r\n\r\nCaf\xC3\xA9 \xC3\xA0 la carte \n");
  const process_result r =
      tessrun({"--src=" + book, "--dest=db", "--tab_file=" + list, "--host=127.0.0.1:1"});
  EXPECT_NE(r.err.find("Worksheet Sheet1 not found\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Worksheet Caf\xC3\xA9 \xC3\xA0 la carte  not found\n"), std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("Worksheet Data not found"), std::string::npos);
  EXPECT_EQ(r.status, 255);  // and then no server answers
}

TEST(tessrun_options, unreadable_workbook_stops_before_the_connection) {
  temp_folder dir;
  const std::string not_a_book = dir.write("notes.xlsx", "just some text\n");
  const process_result r = tessrun({"--src=" + not_a_book, "--dest=db"});
  EXPECT_EQ(r.status, 255);
  EXPECT_TRUE(r.out.starts_with("Error:\n")) << r.out;
  EXPECT_EQ(r.err, "");
}

TEST(tessrun_options, table_list_without_mark_is_read_in_the_given_encoding) {
  temp_folder dir;
  const std::string book = make_workbook(dir);
  // Windows-1252 bytes, CR line ends.
  const std::string list = dir.write("tables.txt", "Sheet1\rCaf\xE9\r");
  const std::vector<std::string> args = {"--src=" + book, "--dest=db", "--tab_file=" + list,
                                         "--host=127.0.0.1:1"};
  // Under a UTF-8 locale the byte is not valid: the run stops before
  // anything is loaded, and says which byte and what to do.
  process_result r = tessrun(args);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "Table names file " + list +
                       " is not valid UTF-8 text: byte 0xE9 at offset 10 (line 2).\n"
                       "Give its character set with the '--encoding' option.\n");
  // With the right encoding, even given after the list, the name reads whole.
  std::vector<std::string> with_encoding = args;
  with_encoding.push_back("--encoding=CP1252");
  r = tessrun(with_encoding);
  EXPECT_NE(r.err.find("Worksheet Sheet1 not found\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Worksheet Caf\xC3\xA9 not found\n"), std::string::npos) << r.err;
}

TEST(tessrun_options, connection_failures_say_what_to_check) {
  temp_folder dir;
  const std::string csv = dir.write("a.csv", "id\n1\n");
  const std::vector<std::string> run = {"--from_csv",   "--src=" + csv,  "--dest=db",
                                        "--tab_name=t", "--csv_delim=2", "--user=sa",
                                        "--pswd=x"};
  std::vector<std::string> args = run;
  args.push_back("--host=no-such-host.invalid");
  const process_result r = tessrun(args);
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.out.find("The server name 'no-such-host.invalid' is neither a host name that "
                       "resolves nor a server named in freetds.conf"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("(Success)"), std::string::npos) << r.out;
}

}  // namespace

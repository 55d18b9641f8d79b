// tessrun loading CSV files into the SQL Server stand-in, checked by querying
// the server through DB-Library.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run_process.hpp"
#include "temp_folder.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using tds_test::dblib_client;
using tds_test::k_password;
using tds_test::server_process;

class tessrun_csv : public ::testing::Test {
 protected:
  std::string write(const std::string& name, const std::string& bytes) {
    return folder_.write(name, bytes);
  }

  process_result tessrun(const server_process& server, std::vector<std::string> args) {
    args.push_back("--host=127.0.0.1:" + std::to_string(server.port()));
    args.push_back("--user=sa");
    args.push_back(std::string("--pswd=") + k_password);
    return run_process(TESSRUN_PATH, args, {"LC_ALL=C.UTF-8"});
  }

  process_result load_csv(const server_process& server, const std::string& csv,
                          std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--from_csv",        "--src=" + csv,  "--dest=shop",
                                     "--tab_name=orders", "--csv_delim=2", "--extr_fn"};
    args.insert(args.end(), extra.begin(), extra.end());
    return tessrun(server, args);
  }

  static std::vector<std::vector<std::string>> rows(int port, const std::string& sql) {
    dblib_client client(port, "shop");
    EXPECT_TRUE(client.exec(sql)) << client.last_error_text();
    return client.results().empty() ? std::vector<std::vector<std::string>>{}
                                    : client.results().front().rows;
  }

  temp_folder folder_;
};

TEST_F(tessrun_csv, loads_a_file_and_reports_on_standard_output) {
  server_process server;
  const std::string csv =
      write("orders.csv", "id,item,note\r\n1,Tea,\"a, b\"\r\n2,Café,\"say \"\"hi\"\"\"\r\n");
  const process_result r = load_csv(server, csv);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out,
            "Converting CSV file " + csv + "\nTable orders: 2 rows loaded, 0 rows refused\n");
  EXPECT_EQ(r.err, "");
  const auto table = rows(server.port(), "SELECT id, item, note FROM orders ORDER BY id");
  const std::vector<std::vector<std::string>> expected = {{"1", "Tea", "a, b"},
                                                          {"2", "Café", "say \"hi\""}};
  EXPECT_EQ(table, expected);
}

// A file as spreadsheets and databases write them, with what goes wrong in
// real files: every value lands as written, and each refused record is
// reported with its number and the line where it starts.
TEST_F(tessrun_csv, a_file_mixing_every_dialect_rule_lands_as_written) {
  server_process server;
  const std::string huge(200000, 'h');
  const std::string bytes =
      "id,name,note\r\n"                                // line 1
      "1,\"Anna\nSmith\",\"line one\r\nline two\"\r\n"  // lines 2-4
      "2,ab\"cd,5'10\"\r"                               // line 5, CR only
      "3,\"say \"hi\" now\",x\r"                        // line 6
      "4,too,many,fields\n"                             // line 7: refused
      "5,short\n"                                       // line 8: note is NULL
      "6," +
      huge +
      ",end\n"                     // line 9
      "7,caf\xE9,bad\n"            // line 10: refused
      "\n"                         // line 11: blank
      "8,\"\"\"quoted\"\"\",,\r";  // line 12, empty extra
  const std::string csv = write("orders.csv", bytes);
  const std::size_t bad_byte_offset = bytes.find('\xE9');
  const process_result r = load_csv(server, csv);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("Error:\norders, record #4, line 7: Record has 4 fields; the header has 3. "
                       "It was not loaded: check the delimiters and quotes on that line.\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Error:\norders, record #7, line 10: Byte 0xE9 at offset " +
                       std::to_string(bad_byte_offset) +
                       " is not valid UTF-8 text, so the record was not loaded. If the file is in "
                       "another character set, give it with --encoding=NAME (for example "
                       "--encoding=CP1252).\n"),
            std::string::npos)
      << r.out;
  EXPECT_TRUE(r.out.ends_with("Table orders: 6 rows loaded, 2 rows refused\n")) << r.out;

  const auto table = rows(server.port(), "SELECT id, name, note FROM orders ORDER BY id");
  const std::vector<std::vector<std::string>> expected = {
      {"1", "Anna\nSmith", "line one\r\nline two"},
      {"2", "ab\"cd", "5'10\""},
      {"3", "say \"hi\" now", "x"},
      {"5", "short", "NULL"},
      {"6", huge, "end"},
      {"8", "\"quoted\"", ""},
  };
  ASSERT_EQ(table.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_TRUE(table[i] == expected[i])
        << "row " << i << ": " << table[i][0] << ", " << table[i][1].substr(0, 40) << " ("
        << table[i][1].size() << " bytes), " << table[i][2];
}

TEST_F(tessrun_csv, any_delimiter_and_encoding) {
  server_process server;
  // Windows-1252 text separated by '|', as a database export writes it.
  const std::string csv = write("export.csv",
                                "id|caf\xE9\r1|cr\xE8me br\xFBl\xE9"
                                "e\r");
  const process_result r =
      tessrun(server, {"--from_csv", "--src=" + csv, "--dest=shop", "--tab_name=orders",
                       "--csv_delim=|", "--extr_fn", "--encoding=CP1252"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(rows(server.port(), "SELECT id, [caf\xC3\xA9] FROM orders"),
            (std::vector<std::vector<std::string>>{{"1", "cr\xC3\xA8me br\xC3\xBBl\xC3\xA9\x65"}}));
}

TEST_F(tessrun_csv, a_header_that_does_not_decode_stops_the_run) {
  server_process server;
  const std::string csv = write("latin.csv", "caf\xE9\n1\n");
  const process_result r = load_csv(server, csv);
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.out.find("The header (line 1) of the CSV file " + csv +
                       " is not valid UTF-8 text: byte 0xE9 at offset 3. If the file is in another "
                       "character set, give it with --encoding=NAME"),
            std::string::npos)
      << r.out;
}

TEST_F(tessrun_csv, modes_decide_what_happens_to_an_existing_table) {
  server_process server;
  const std::string first = write("a.csv", "id\n1\n2\n");
  const std::string second = write("b.csv", "id\n3\n");
  ASSERT_EQ(load_csv(server, first).status, 0);

  struct mode_case {
    std::vector<std::string> args;
    std::string expected_count;
  };
  // Without --mode a CSV run replaces the table (mode 1).
  const mode_case cases[] = {
      {{"--mode=3"}, "3"},  // merge appends
      {{"--mode=2"}, "3"},  // skip leaves the rows alone
      {{}, "1"},            // overwrite the table
      {{"--mode=0"}, "1"},  // overwrite the database
  };
  for (const mode_case& c : cases) {
    const process_result r = load_csv(server, second, c.args);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(rows(server.port(), "SELECT COUNT(*) FROM orders"),
              (std::vector<std::vector<std::string>>{{c.expected_count}}))
        << (c.args.empty() ? "default" : c.args[0]);
  }
}

TEST_F(tessrun_csv, skipped_table_is_reported) {
  server_process server;
  const std::string csv = write("a.csv", "id\n1\n");
  ASSERT_EQ(load_csv(server, csv).status, 0);
  const process_result r = load_csv(server, csv, {"--mode=2"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Table orders exists and was skipped\n");
}

TEST_F(tessrun_csv, user_without_password_logs_in_with_an_empty_password) {
  server_process server({"--login", "loader:"});
  const std::string csv = write("a.csv", "id\n1\n");
  const process_result r =
      run_process(TESSRUN_PATH,
                  {"--from_csv", "--src=" + csv, "--dest=shop", "--tab_name=t", "--csv_delim=2",
                   "--host=127.0.0.1:" + std::to_string(server.port()), "--user=loader"},
                  {"LC_ALL=C.UTF-8"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST_F(tessrun_csv, failed_connection_ends_with_255) {
  server_process server;
  const std::string csv = write("a.csv", "id\n1\n");
  const process_result bad_password = run_process(
      TESSRUN_PATH,
      {"--from_csv", "--src=" + csv, "--dest=shop", "--tab_name=t", "--csv_delim=2",
       "--host=127.0.0.1," + std::to_string(server.port()), "--user=sa", "--pswd=wrong"},
      {"LC_ALL=C.UTF-8"});
  EXPECT_EQ(bad_password.status, 255);
  EXPECT_EQ(bad_password.out, "Error:\nInvalid user name or password.\n");
}

TEST_F(tessrun_csv, silent_run_prints_nothing) {
  server_process server;
  const std::string csv = write("a.csv", "id\n1\n");
  const process_result r = load_csv(server, csv, {"--silent"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out + r.err, "");
}

TEST_F(tessrun_csv, trace_log_holds_the_stamps_and_the_converting_line) {
  server_process server;
  const std::string csv = write("a.csv", "id\n1\n");
  const std::string log = folder_.file("run.log");
  ASSERT_EQ(load_csv(server, csv, {"--logfile=" + log}).status, 0);
  std::ifstream in(log, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("Conversion started on "), std::string::npos) << text;
  EXPECT_NE(text.find("Converting CSV file " + csv + "\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Conversion ended on "), std::string::npos) << text;
  EXPECT_EQ(text.find(k_password), std::string::npos) << "the password reached the log";
}

}  // namespace

// tessrun as cron or a CI job runs it: sources that cannot be loaded, a
// server that stalls or dies, signals, passwords from the environment, a
// terminal or none.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.hpp"
#include "run_process.hpp"
#include "temp_folder.hpp"
#include "test_support.hpp"

namespace {

using tds_test::dblib_client;
using tds_test::k_password;
using tds_test::server_process;
using table_rows = std::vector<std::vector<std::string>>;

class tessrun_unattended : public ::testing::Test {
 protected:
  std::vector<std::string> connection() const {
    return {"--host=127.0.0.1:" + std::to_string(server_.port()), "--user=sa",
            std::string("--pswd=") + k_password};
  }

  std::vector<std::string> csv_args(const std::string& csv, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--from_csv",     "--src=" + csv,  "--dest=shop",
                                     "--tab_name=big", "--csv_delim=2", "--extr_fn"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }

  process_result tessrun(std::vector<std::string> args, std::vector<std::string> env = {}) {
    env.push_back("LC_ALL=C.UTF-8");
    return run_process(TESSRUN_PATH, args, env);
  }

  // A CSV file that takes a while to load: long enough to be stopped.
  std::string big_csv(int rows = 200000) {
    const std::string path = folder_.file("big.csv");
    std::ofstream out(path, std::ios::binary);
    out << "id,name\n";
    for (int i = 1; i <= rows; ++i) out << i << ",name " << i << "\n";
    return path;
  }

  std::string make_workbook(const std::string& name, const std::string& script) {
    const std::string path = folder_.file(name);
    const process_result r = run_process("/usr/bin/python3", {"-c", script, path});
    EXPECT_EQ(r.status, 0) << r.err;
    return path;
  }

  table_rows query(const std::string& sql, const std::string& database = "shop") {
    dblib_client client(server_.port(), database);
    EXPECT_TRUE(client.exec(sql)) << sql << ": " << client.last_error_text();
    return client.results().empty() ? table_rows{} : client.results().front().rows;
  }

  // Tables of shop and their row counts, "name=count", in name order.
  std::vector<std::string> tables_and_counts() {
    std::vector<std::string> out;
    for (const auto& row :
         query("SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES ORDER BY TABLE_NAME"))
      out.push_back(row[0] + "=" + query("SELECT COUNT(*) FROM [" + row[0] + "]")[0][0]);
    return out;
  }

  // Starts a load of a large file and returns once rows are on their way.
  std::unique_ptr<child_process> start_big_load(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = csv_args(big_csv(), extra);
    for (const std::string& a : connection()) args.push_back(a);
    auto child = std::make_unique<child_process>(TESSRUN_PATH, args,
                                                 std::vector<std::string>{"LC_ALL=C.UTF-8"});
    EXPECT_TRUE(child->wait_for_output("Converting CSV file")) << child->out;
    // Some batches land before the test steps in.
    usleep(1500 * 1000);
    return child;
  }

  server_process server_;
  temp_folder folder_;
};

TEST_F(tessrun_unattended, an_unloadable_source_leaves_every_mode_untouched) {
  const std::string book = make_workbook("book.xlsx", R"(
import openpyxl, sys
wb = openpyxl.Workbook()
wb.active.title = 'big'
wb.active.append(['v']); wb.active.append([1])
wb.save(sys.argv[1])
)");
  const std::string list = folder_.write("list.txt", "Missing\n");
  const std::string garbage = folder_.write("garbage.xlsx", "not a workbook at all\n");
  struct source_case {
    const char* name;
    std::vector<std::string> args;
  };
  const source_case cases[] = {
      {"mistyped CSV file", csv_args(folder_.file("typo.csv"))},
      {"mistyped workbook", {"--src=" + folder_.file("typo.xlsx"), "--dest=shop", "--extr_fn"}},
      {"unreadable workbook", {"--src=" + garbage, "--dest=shop", "--extr_fn"}},
      {"table list of absent worksheets",
       {"--src=" + book, "--dest=shop", "--extr_fn", "--tab_file=" + list}},
  };
  {
    dblib_client client(server_.port());
    ASSERT_TRUE(client.exec("CREATE DATABASE shop"));
    ASSERT_TRUE(
        client.exec("USE shop CREATE TABLE big (id int) INSERT INTO big VALUES (1) "
                    "CREATE TABLE other (v int) INSERT INTO other VALUES (2)"));
  }
  const std::vector<std::string> before = tables_and_counts();
  for (const source_case& c : cases) {
    for (const char* mode : {"--mode=0", "--mode=1", "--mode=2", "--mode=3"}) {
      std::vector<std::string> args = c.args;
      args.push_back(mode);
      for (const std::string& a : connection()) args.push_back(a);
      const process_result r = tessrun(args);
      EXPECT_EQ(r.status, 255) << c.name << " " << mode << "\n" << r.out << r.err;
      EXPECT_EQ(tables_and_counts(), before) << c.name << " " << mode;
    }
  }
}

TEST_F(tessrun_unattended, a_stalled_server_trips_the_timeout) {
  auto child = start_big_load({"--timeout=2"});
  kill(server_.pid(), SIGSTOP);
  const int status = child->wait();
  kill(server_.pid(), SIGCONT);
  EXPECT_EQ(status, 255) << child->out << child->err;
  EXPECT_NE(child->out.find(
                "Error:\nNo answer from the server 127.0.0.1:" + std::to_string(server_.port()) +
                " for 2 seconds while loading rows into table big; "),
            std::string::npos)
      << child->out;
  EXPECT_NE(child->out.find(" rows of big had been loaded."), std::string::npos) << child->out;
}

TEST_F(tessrun_unattended, a_server_gone_mid_load_is_a_lost_connection) {
  auto child = start_big_load();
  kill(server_.pid(), SIGKILL);
  EXPECT_EQ(child->wait(), 255) << child->out << child->err;
  EXPECT_NE(child->out.find("Error:\nThe connection to 127.0.0.1:" +
                            std::to_string(server_.port()) + " was lost after "),
            std::string::npos)
      << child->out;
  EXPECT_NE(child->out.find(" rows of big had been loaded"), std::string::npos) << child->out;
  EXPECT_EQ(child->out.find("record #"), std::string::npos) << "not a record's error";
}

TEST_F(tessrun_unattended, a_signal_stops_at_a_record_and_keeps_whole_batches) {
  struct signal_case {
    int number;
    int status;
  };
  for (const signal_case c : {signal_case{SIGINT, 130}, signal_case{SIGTERM, 143}}) {
    const std::string log = folder_.file("run.log");
    auto child = start_big_load({"--mode=0", "--logfile=" + log});
    child->signal(c.number);
    EXPECT_EQ(child->wait(), c.status) << child->out << child->err;
    // What was sent landed whole, from the first row on, and the console says
    // how much.
    const table_rows landed = query(
        "SELECT COUNT(*), MIN(CAST(id AS int)), MAX(CAST(id AS int)) "
        "FROM big");
    ASSERT_EQ(landed.size(), 1u);
    const std::string count = landed[0][0];
    EXPECT_GT(std::stol(count), 0);
    EXPECT_EQ(landed[0][1], "1");
    EXPECT_EQ(landed[0][2], count);
    EXPECT_TRUE(child->out.ends_with("Stopped: " + count + " rows of big loaded\n")) << child->out;
    const std::string trace = read_file(log);
    EXPECT_NE(trace.find("Stopped: " + count + " rows of big loaded"), std::string::npos);
    EXPECT_NE(trace.find("Conversion ended on "), std::string::npos) << trace;
  }
}

TEST_F(tessrun_unattended, the_password_comes_from_the_environment_and_is_never_shown) {
  const std::string csv = folder_.write("small.csv", "id,name\n1,a\n");
  const std::string log = folder_.file("run.log");
  const std::vector<std::string> args = {"--from_csv",
                                         "--src=" + csv,
                                         "--dest=shop",
                                         "--tab_name=small",
                                         "--csv_delim=2",
                                         "--extr_fn",
                                         "--host=127.0.0.1:" + std::to_string(server_.port()),
                                         "--user=sa",
                                         "--logfile=" + log};
  const process_result r = tessrun(args, {std::string("TESSALY_PASSWORD=") + k_password});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(query("SELECT COUNT(*) FROM small"), (table_rows{{"1"}}));
  EXPECT_EQ((r.out + r.err + read_file(log)).find(k_password), std::string::npos);
  // A password given as an option wins over the environment.
  std::vector<std::string> wrong = args;
  wrong.push_back("--pswd=wrong");
  EXPECT_EQ(tessrun(wrong, {std::string("TESSALY_PASSWORD=") + k_password}).status, 255);
}

TEST_F(tessrun_unattended, worksheets_named_alike_but_for_case_both_land) {
  // Excel refuses such twins; other writers do not, so the name is set in
  // the workbook's XML afterwards.
  const std::string book = make_workbook("twins.xlsx", R"(
import openpyxl, sys, zipfile
path = sys.argv[1]
wb = openpyxl.Workbook()
wb.active.title = 'Data'
wb.active.append(['v']); wb.active.append([1]); wb.active.append([2])
ws = wb.create_sheet('Twin'); ws.append(['v']); ws.append([3])
wb.save(path + '.tmp')
with zipfile.ZipFile(path + '.tmp') as src, zipfile.ZipFile(path, 'w') as out:
    for item in src.infolist():
        data = src.read(item.filename)
        if item.filename == 'xl/workbook.xml':
            data = data.replace(b'name="Twin"', b'name="DATA"')
        out.writestr(item, data)
)");
  for (const char* mode : {"--mode=0", "--mode=1"}) {
    std::vector<std::string> args = {"--src=" + book, "--dest=shop", "--extr_fn", mode};
    for (const std::string& a : connection()) args.push_back(a);
    const process_result r = tessrun(args);
    EXPECT_EQ(r.status, 0) << mode << r.out << r.err;
    EXPECT_EQ(tables_and_counts(), (std::vector<std::string>{"DATA=1", "Data_=2"})) << mode;
  }
}

TEST_F(tessrun_unattended, names_longer_than_sql_server_allows_are_shortened) {
  const std::string column(300, 'c');
  const std::string csv = folder_.write("long.csv", "id," + column + "\n1,2\n");
  const std::string table(200, 't');
  std::vector<std::string> args = {"--from_csv",          "--src=" + csv,  "--dest=shop",
                                   "--tab_name=" + table, "--csv_delim=2", "--extr_fn"};
  for (const std::string& a : connection()) args.push_back(a);
  const process_result r = tessrun(args);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(query("SELECT id, [" + column.substr(0, 128) + "] FROM [" + table.substr(0, 128) + "]"),
            (table_rows{{"1", "2"}}));
  // Each name is reported once, at the start of its text.
  EXPECT_NE(r.out.find("The table name 'tttt"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("The column name 'cccc"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("The column name", r.out.find("The column name") + 1), std::string::npos);
}

TEST_F(tessrun_unattended, progress_shows_on_a_terminal_only) {
  const std::string csv = big_csv(30000);
  std::vector<std::string> args = csv_args(csv);
  for (const std::string& a : connection()) args.push_back(a);
  // Standard error on a terminal: the line is drawn there and cleared.
  child_process on_terminal(TESSRUN_PATH, args, {"LC_ALL=C.UTF-8"}, true);
  EXPECT_EQ(on_terminal.wait(), 0) << on_terminal.out << on_terminal.err;
  EXPECT_NE(on_terminal.err.find("\rbig: "), std::string::npos) << on_terminal.err;
  EXPECT_NE(on_terminal.err.find(" rows/s, "), std::string::npos) << on_terminal.err;
  EXPECT_EQ(on_terminal.out.find("rows/s"), std::string::npos) << on_terminal.out;
  // Not with --silent, and never into a pipe.
  args.push_back("--silent");
  child_process silent(TESSRUN_PATH, args, {"LC_ALL=C.UTF-8"}, true);
  EXPECT_EQ(silent.wait(), 0);
  EXPECT_EQ(silent.err, "");
  args.pop_back();
  const process_result piped = tessrun(args);
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.err, "");
}

}  // namespace

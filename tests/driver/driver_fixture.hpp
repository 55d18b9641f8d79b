// The conversion driver run in-process against tds_test_server: a fixture
// with a server, a temporary folder, a driver configured for it and a front
// end that records what the run says.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "error_handler.hpp"
#include "error_maps.hpp"
#include "run_process.hpp"
#include "temp_folder.hpp"
#include "tessaly_convertor.hpp"
#include "test_support.hpp"
#include "tk_thread.hpp"

namespace driver_test {

using table_rows = std::vector<std::vector<std::string>>;

// Keeps every line, error and question; answers every question with
// `answer`.
class recording_front_end : public run_front_end {
 public:
  void show_internal_error(const std::string& what) override { errors.push_back(what); }
  void show_error(const std::string& text, int) override { errors.push_back(text); }
  error_answer ask_continue(const std::string& text) override {
    errors.push_back(text);
    return answer;
  }
  void report(const std::string& line) override { lines.push_back(line); }
  void show_progress(const progress_snapshot& p) override { last_progress = p; }

  error_answer answer = error_answer::go_on;
  std::vector<std::string> lines;
  std::vector<std::string> errors;
  progress_snapshot last_progress;
};

// Runs the process-wide driver on a thread of its own, as the wizard does.
class conversion_thread final : public tk_thread {
 public:
  ~conversion_thread() override { stop(); }

 protected:
  tk_converter& make_runnable() override { return *tessaly_convertor::instance(); }
};

// Waits for a started run to end and joins its thread.
inline void join(conversion_thread& thread) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (thread.is_running() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_FALSE(thread.is_running()) << "the run did not end";
  thread.clean_up();
}

class driver_run : public ::testing::Test {
 protected:
  // The front end the handler owns; `front_end_` points at it.
  explicit driver_run(
      std::unique_ptr<recording_front_end> front_end = std::make_unique<recording_front_end>())
      : front_end_(*front_end), handler_(dao_error_map(), std::move(front_end)) {
    handler_.load_err_map(odb_error_map());
    handler_.load_err_map(workbook_error_map());
  }

  std::string write_csv(int rows, const std::string& name = "rows.csv") {
    const std::string path = folder_.file(name);
    std::ofstream out(path, std::ios::binary);
    out << "id;name\n";
    for (int i = 1; i <= rows; ++i) out << i << ";name " << i << "\n";
    return path;
  }

  // Writes a workbook with Python; the script sees `path`.
  std::string make_workbook(const std::string& name, const std::string& script) {
    const std::string path = folder_.file(name);
    const process_result r =
        run_process("/usr/bin/python3", {"-c", "import sys\npath = sys.argv[1]\n" + script, path});
    EXPECT_EQ(r.status, 0) << r.err;
    return path;
  }

  // The driver set up for a CSV run into shop.rows, connected.
  void configure_csv(const std::string& csv, int mode) {
    conv_.src = std::filesystem::path(csv).wstring();
    conv_.dest = L"shop";
    conv_.tab_name = L"rows";
    conv_.from_xls = false;
    conv_.x_fnames = true;
    conv_.n_comma = 1;
    conv_.mode = mode;
    connect();
  }

  // The driver set up for a workbook run into shop, every worksheet (or the
  // listed ones), connected.
  void configure_workbook(const std::string& book, int mode,
                          const std::vector<std::wstring>& sheets = {}) {
    conv_.src = std::filesystem::path(book).wstring();
    conv_.dest = L"shop";
    conv_.from_xls = true;
    conv_.x_fnames = true;
    conv_.mode = mode;
    std::vector<std::wstring> all;
    conv_.get_all_sheets(all);
    if (!sheets.empty()) conv_.set_sel_sheets(sheets);
    connect();
  }

  void connect() {
    conv_.mssql.host = L"127.0.0.1:" + std::to_wstring(server_.port());
    conv_.mssql.user = L"sa";
    conv_.mssql.pswd = std::filesystem::path(tds_test::k_password).wstring();
    conv_.mssql.connect_mssql_server();
  }

  // A database "shop" holding rows (3 rows) and other (1 row).
  void make_existing_database() {
    tds_test::dblib_client client(server_.port());
    ASSERT_TRUE(client.exec("CREATE DATABASE shop"));
    ASSERT_TRUE(
        client.exec("USE shop CREATE TABLE rows (id nvarchar(50) NULL, name nvarchar(50) NULL) "
                    "INSERT INTO rows VALUES (N'a', N'x') INSERT INTO rows VALUES (N'b', N'y') "
                    "INSERT INTO rows VALUES (N'c', N'z') "
                    "CREATE TABLE other (v int NULL) INSERT INTO other VALUES (7)"));
  }

  table_rows query(const std::string& sql, const std::string& database = "shop") {
    tds_test::dblib_client client(server_.port(), database);
    EXPECT_TRUE(client.exec(sql)) << sql << ": " << client.last_error_text();
    return client.results().empty() ? table_rows{} : client.results().front().rows;
  }

  // Tables of shop with their row counts, "name=count", in name order.
  std::vector<std::string> tables_and_counts() {
    std::vector<std::string> out;
    for (const auto& row :
         query("SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES ORDER BY TABLE_NAME")) {
      const table_rows n = query("SELECT COUNT(*) FROM [" + row[0] + "]");
      out.push_back(row[0] + "=" + (n.empty() ? "?" : n[0][0]));
    }
    return out;
  }

  recording_front_end& front_end_;
  error_handler handler_;
  tds_test::server_process server_;
  temp_folder folder_;
  tessaly_convertor conv_;
};

}  // namespace driver_test

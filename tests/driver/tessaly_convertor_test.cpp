// The conversion driver run in-process against tds_test_server: the whole
// CSV sequence, progress, and stopping a run from another thread.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "error_handler.hpp"
#include "error_maps.hpp"
#include "tessaly_convertor.hpp"
#include "tk_final_exception.hpp"
#include "temp_folder.hpp"
#include "test_support.hpp"
#include "tk_thread.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class driver_run : public ::testing::Test {
 protected:
  std::string write_csv(int rows) {
    const std::string path = folder_.file("rows.csv");
    std::ofstream out(path, std::ios::binary);
    out << "id;name\n";
    for (int i = 1; i <= rows; ++i) out << i << ";name " << i << "\n";
    return path;
  }

  void configure(tessaly_convertor& conv, const std::string& csv) {
    conv.src = fs::path(csv).wstring();
    conv.dest = L"shop";
    conv.tab_name = L"rows";
    conv.from_xls = false;
    conv.x_fnames = true;
    conv.n_comma = 1;
    conv.mode = mode_overwrite_tables;
    conv.b_silent = true;
    conv.mssql.host = L"127.0.0.1:" + std::to_wstring(server_.port());
    conv.mssql.user = L"sa";
    conv.mssql.pswd = fs::path(tds_test::k_password).wstring();
    conv.mssql.connect_mssql_server();
  }

  long count() {
    tds_test::dblib_client client(server_.port(), "shop");
    return std::stol(client.scalar("SELECT COUNT(*) FROM rows"));
  }

  tds_test::server_process server_;
  temp_folder folder_;
};

// Runs the process-wide driver on a thread of its own, as the wizard does.
class conversion_thread final : public tk_thread {
 public:
  ~conversion_thread() override { stop(); }

 protected:
  tk_converter& make_runnable() override { return *tessaly_convertor::instance(); }
};

TEST_F(driver_run, csv_run_loads_every_row_and_reports_full_progress) {
  tessaly_convertor conv;
  configure(conv, write_csv(2500));
  conv();
  EXPECT_TRUE(conv.b_finished);
  EXPECT_EQ(conv.get_progress(), 100);
  EXPECT_EQ(count(), 2500);
}

// Stops the run at the first failing record, as the wizard's "Abort" does.
class aborting_front_end final : public error_front_end {
 public:
  void show_internal_error(const std::string&) override {}
  void show_error(const std::string&, int, bool b_caller_ends, bool&) override {
    ++shown;
    if (!b_caller_ends) throw tk_final_exception();
  }
  bool exits_on_run_error() const override { return false; }
  int shown = 0;
};

TEST_F(driver_run, abort_at_a_record_error_ends_the_run_quietly) {
  auto front_end = std::make_unique<aborting_front_end>();
  aborting_front_end& seen = *front_end;
  error_handler handler(dao_error_map(), std::move(front_end));
  handler.load_err_map(odb_error_map());
  tessaly_convertor conv;
  // The second record holds a value too long for the table's existing
  // column, so it fails and the front end aborts.
  const std::string csv = folder_.write("narrow.csv", "id;name\n1;ok\n2;" + std::string(40, 'x') +
                                                        "\n3;never\n");
  configure(conv, csv);
  conv.mode = mode_merge;
  {
    tds_test::dblib_client client(server_.port());
    ASSERT_TRUE(client.exec("CREATE DATABASE shop"));
    ASSERT_TRUE(client.exec("USE shop CREATE TABLE rows (id nvarchar(10) NULL, name nvarchar(5) NULL)"));
  }
  testing::internal::CaptureStderr();
  conv();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(seen.shown, 1);
  EXPECT_TRUE(conv.b_finished);
  EXPECT_EQ(count(), 1);  // the first record landed, the third was never read
}

TEST_F(driver_run, stopping_a_run_ends_it_cleanly_between_records) {
  const int rows = 200000;
  tessaly_convertor conv;
  configure(conv, write_csv(rows));
  conversion_thread thread;
  thread.start();
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (conv.record_counter < 1500 && thread.is_running() &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(thread.is_running()) << "the run ended before it could be stopped";
  thread.kill();
  EXPECT_TRUE(conv.b_finished);  // the end stamp ran
  // What was read before the stop landed whole; nothing after it.
  const long landed = count();
  EXPECT_GE(landed, 1500);
  EXPECT_LT(landed, rows);
}

TEST(driver_settings, wizard_settings_round_trip_through_the_settings_file) {
  temp_folder folder;
  setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
  {
    tessaly_convertor conv;
    // Nothing stored yet: every value takes the wizard's default.
    conv.src = L"stale";
    conv.n_comma = 3;
    EXPECT_FALSE(conv.serialize(false));
    EXPECT_EQ(conv.src, L"");
    EXPECT_EQ(conv.n_comma, 1);
    EXPECT_TRUE(conv.x_fnames);
    EXPECT_TRUE(conv.mssql.sec_log);

    conv.src = L"/data/Отчёт.xlsx";
    conv.dest = L"Sales";
    conv.tab_name = L"orders";
    conv.from_xls = false;
    conv.n_comma = 2;
    conv.refine_types = false;
    conv.x_fnames = false;
    conv.mssql.sec_log = false;
    conv.mssql.host = L"sql01,1433";
    conv.mssql.user = L"loader";
    conv.mssql.pswd = L"p=ss;word";
    EXPECT_TRUE(conv.serialize(true));
  }
  tessaly_convertor again;
  EXPECT_TRUE(again.serialize(false));
  EXPECT_EQ(again.src, L"/data/Отчёт.xlsx");
  EXPECT_EQ(again.dest, L"Sales");
  EXPECT_EQ(again.tab_name, L"orders");
  EXPECT_FALSE(again.from_xls);
  EXPECT_EQ(again.n_comma, 2);
  EXPECT_FALSE(again.refine_types);
  EXPECT_FALSE(again.x_fnames);
  EXPECT_FALSE(again.mssql.sec_log);
  EXPECT_EQ(again.mssql.host, L"sql01,1433");
  EXPECT_EQ(again.mssql.user, L"loader");
  EXPECT_EQ(again.mssql.pswd, L"p=ss;word");
  unsetenv("XDG_CONFIG_HOME");
}

}  // namespace

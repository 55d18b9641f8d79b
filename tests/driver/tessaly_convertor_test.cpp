// The driver as a second front end sees it: progress read from another
// thread, failures that end a run without ending the process, questions
// asked on the run thread and answered on an interface thread, and stopping.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "driver_fixture.hpp"
#include "error_question.hpp"
#include "tk_trace.hpp"

namespace {

using namespace driver_test;
using namespace std::chrono_literals;

TEST_F(driver_run, csv_run_loads_every_row_and_reports_full_progress) {
  configure_csv(write_csv(2500), mode_overwrite_tables);
  conv_();
  EXPECT_TRUE(conv_.b_finished);
  EXPECT_EQ(conv_.outcome(), run_outcome::completed);
  EXPECT_EQ(conv_.get_progress(), 100);
  EXPECT_EQ(query("SELECT COUNT(*) FROM rows"), (table_rows{{"2500"}}));
  EXPECT_EQ(front_end_.lines.back(), "Table rows: 2500 rows loaded, 0 rows refused");
  EXPECT_EQ(front_end_.last_progress.table, L"rows");
  EXPECT_EQ(front_end_.last_progress.records, 2500);
}

TEST_F(driver_run, progress_is_read_from_another_thread_while_the_run_closes_its_source) {
  configure_csv(write_csv(20000), mode_overwrite_tables);
  conversion_thread thread;
  thread.start();
  // The reader of the progress never touches the CSV reader: under the
  // sanitizers a read racing with the file's closing would be reported.
  int last = 0;
  long reads = 0;
  while (!conv_.b_finished) {
    const progress_snapshot p = conv_.progress();
    EXPECT_GE(p.percent, last);
    EXPECT_LE(p.percent, 100);
    last = p.percent;
    ++reads;
  }
  join(thread);
  EXPECT_GT(reads, 0);
  EXPECT_EQ(conv_.get_progress(), 100);
  EXPECT_TRUE(conv_.progress().b_finished);
}

TEST_F(driver_run, a_failure_that_ends_the_run_returns_to_the_front_end_with_the_end_stamp) {
  const std::string log = folder_.file("run.log");
  tk_trace_log trace_log(log, true, 3, false);
  configure_csv(folder_.file("absent.csv"), mode_overwrite_tables);
  conv_();
  // Still here: the process goes on, the run says how it ended.
  EXPECT_EQ(conv_.outcome(), run_outcome::failed);
  EXPECT_TRUE(conv_.b_finished);
  ASSERT_EQ(front_end_.errors.size(), 1u);
  const std::string text = read_file(log);
  EXPECT_NE(text.find("Conversion started on "), std::string::npos) << text;
  EXPECT_NE(text.find("Conversion ended on "), std::string::npos) << text;
  // A second run on the same driver works.
  front_end_.errors.clear();
  configure_csv(write_csv(3), mode_overwrite_tables);
  conv_();
  EXPECT_EQ(conv_.outcome(), run_outcome::completed);
  EXPECT_TRUE(front_end_.errors.empty());
}

TEST_F(driver_run, stopping_a_run_ends_it_cleanly_between_records) {
  const int rows = 200000;
  configure_csv(write_csv(rows), mode_overwrite_tables);
  conversion_thread thread;
  thread.start();
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (conv_.progress().records < 1500 && thread.is_running() &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(thread.is_running()) << "the run ended before it could be stopped";
  thread.kill();
  EXPECT_TRUE(conv_.b_finished);  // the end stamp ran
  EXPECT_EQ(conv_.outcome(), run_outcome::stopped);
  // What was read before the stop landed whole, as the last line says.
  const long landed = std::stol(query("SELECT COUNT(*) FROM rows")[0][0]);
  EXPECT_GE(landed, 1500);
  EXPECT_LT(landed, rows);
  EXPECT_EQ(front_end_.lines.back(), "Stopped: " + std::to_string(landed) + " rows of rows loaded");
  EXPECT_EQ(query("SELECT MAX(CAST(id AS int)) FROM rows"), (table_rows{{std::to_string(landed)}}));
}

// A front end that shows its questions on an "interface thread" (the test's
// main thread), as a GUI must: the run thread waits in error_question.
class dialog_front_end final : public recording_front_end {
 public:
  dialog_front_end() : question([] { return tessaly_convertor::instance()->stop_requested(); }) {}

  error_answer ask_continue(const std::string& text) override {
    asked_on = std::this_thread::get_id();
    return question.ask(text, [this](const std::string& t, unsigned long ticket) {
      std::lock_guard lock(mutex_);
      inbox_.push_back({t, ticket});
      arrived_.notify_all();
    });
  }

  // Interface thread: the next question, or an empty text after a minute.
  std::pair<std::string, unsigned long> next_question() {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, 60s, [this] { return !inbox_.empty(); });
    if (inbox_.empty()) return {};
    auto q = inbox_.front();
    inbox_.pop_front();
    return q;
  }

  error_question question;
  std::thread::id asked_on;

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::pair<std::string, unsigned long>> inbox_;
};

class driver_questions : public driver_run {
 protected:
  driver_questions() : driver_run(make()), dialog_(*dialog_ptr_) {}

  static std::unique_ptr<recording_front_end> make() {
    auto front_end = std::make_unique<dialog_front_end>();
    dialog_ptr_ = front_end.get();
    return front_end;
  }

  // Merge into a table whose name column is too narrow for records 2 and 4.
  void configure_failing_records() {
    const std::string csv =
        folder_.write("narrow.csv", "id;name\n1;ok\n2;" + std::string(40, 'x') + "\n3;fine\n4;" +
                                        std::string(40, 'y') + "\n5;last\n");
    tds_test::dblib_client client(server_.port());
    ASSERT_TRUE(client.exec("CREATE DATABASE shop"));
    ASSERT_TRUE(
        client.exec("USE shop CREATE TABLE rows (id nvarchar(10) NULL, name nvarchar(5) NULL)"));
    configure_csv(csv, mode_merge);
  }

  inline static dialog_front_end* dialog_ptr_ = nullptr;
  dialog_front_end& dialog_;
};

TEST_F(driver_questions, the_run_thread_waits_for_each_answer_of_the_interface_thread) {
  configure_failing_records();
  conversion_thread thread;
  thread.start();
  for (int record : {2, 4}) {
    const auto [text, ticket] = dialog_.next_question();
    ASSERT_NE(text, "") << "no question came";
    EXPECT_NE(text.find("record #" + std::to_string(record)), std::string::npos) << text;
    // The run is held inside the question until it is answered.
    EXPECT_TRUE(dialog_.question.is_waiting());
    EXPECT_FALSE(conv_.b_finished);
    dialog_.question.answer(ticket, error_answer::go_on);
  }
  join(thread);
  EXPECT_NE(dialog_.asked_on, std::this_thread::get_id());
  EXPECT_EQ(conv_.outcome(), run_outcome::completed);
  EXPECT_EQ(query("SELECT id FROM rows ORDER BY id"), (table_rows{{"1"}, {"3"}, {"5"}}));
  EXPECT_EQ(front_end_.lines.back(), "Table rows: 3 rows loaded, 2 rows refused");
}

TEST_F(driver_questions, abort_stops_the_run_and_keeps_what_was_sent) {
  configure_failing_records();
  conversion_thread thread;
  thread.start();
  const auto [text, ticket] = dialog_.next_question();
  ASSERT_NE(text, "");
  // An answer to an older question is not taken for this one.
  dialog_.question.answer(ticket + 100, error_answer::go_on);
  EXPECT_TRUE(dialog_.question.is_waiting());
  dialog_.question.answer(ticket, error_answer::abort_run);
  join(thread);
  EXPECT_EQ(conv_.outcome(), run_outcome::stopped);
  EXPECT_EQ(query("SELECT id FROM rows"), (table_rows{{"1"}}));
  EXPECT_EQ(front_end_.lines.back(), "Stopped: 1 rows of rows loaded");
}

TEST_F(driver_questions, stopping_while_a_question_waits_does_not_wait_for_the_answer) {
  configure_failing_records();
  conversion_thread thread;
  thread.start();
  const auto [text, ticket] = dialog_.next_question();
  ASSERT_NE(text, "");
  thread.kill();  // returns: the question gives up when the run is stopped
  EXPECT_EQ(conv_.outcome(), run_outcome::stopped);
  EXPECT_FALSE(dialog_.question.is_waiting());
  dialog_.question.answer(ticket, error_answer::go_on);  // too late, ignored
  EXPECT_EQ(query("SELECT id FROM rows"), (table_rows{{"1"}}));
}

TEST(error_question, cancel_ends_a_wait_and_every_later_one_until_reset) {
  error_question question;
  std::thread canceller;
  const error_answer first = question.ask("q", [&](const std::string&, unsigned long) {
    canceller = std::thread([&] { question.cancel(); });
  });
  canceller.join();
  EXPECT_EQ(first, error_answer::abort_run);
  bool b_delivered = false;
  EXPECT_EQ(question.ask("again", [&](const std::string&, unsigned long) { b_delivered = true; }),
            error_answer::abort_run);
  EXPECT_FALSE(b_delivered);
  question.reset();
  EXPECT_EQ(question.ask("answered at once",
                         [&](const std::string&, unsigned long ticket) {
                           question.answer(ticket, error_answer::go_on_quietly);
                         }),
            error_answer::go_on_quietly);
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

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "error_handler.hpp"
#include "error_maps.hpp"
#include "tk_final_exception.hpp"
#include "tk_mail_assertion.hpp"
#include "tk_support.hpp"

namespace {

// An exception with a code, as the workbook and SQL Server layers raise them.
class coded_exception : public tk_exception {
 public:
  coded_exception(const std::string& text, std::uint32_t code, int level)
      : tk_exception(text, level) {
    set_code(code);
  }
};

// Records what the wizard would show; may stop the run like "Abort" does.
class recording_front_end final : public error_front_end {
 public:
  struct shown {
    std::string text;
    int level;
  };
  explicit recording_front_end(std::vector<shown>& log, bool abort = false)
      : log_(log), abort_(abort) {}
  void show_internal_error(const std::string& what) override { log_.push_back({what, 2}); }
  void show_error(const std::string& text, int level, bool b_caller_ends, bool&) override {
    log_.push_back({text, level});
    if (abort_ && !b_caller_ends) throw tk_final_exception();
  }
  bool exits_on_run_error() const override { return false; }

 private:
  std::vector<shown>& log_;
  bool abort_;
};

std::unique_ptr<error_handler> agent_handler() {
  auto handler = std::make_unique<error_handler>(dao_error_map());
  handler->load_err_map(odb_error_map());
  handler->load_err_map(workbook_error_map().first(2));
  return handler;
}

TEST(error_maps, have_their_sizes_and_one_support_address) {
  EXPECT_EQ(dao_error_map().size(), 7u);
  EXPECT_EQ(odb_error_map().size(), 27u);
  EXPECT_EQ(workbook_error_map().size(), 3u);
  int naming_support = 0;
  for (auto map : {dao_error_map(), odb_error_map(), workbook_error_map()})
    for (const tk_error_entry& entry : map)
      if (std::string(entry.text).find('@') != std::string::npos) {
        ++naming_support;
        EXPECT_NE(std::string(entry.text).find(TK_SUPPORT_EMAIL), std::string::npos);
      }
  EXPECT_EQ(naming_support, 9);
}

TEST(error_handler, builds_text_from_context_and_maps) {
  auto handler = agent_handler();
  struct text_case {
    std::wstring table;
    long record;  // 0: table context only; -1: no context
    std::string what;
    std::uint32_t code;
    std::string expected;
  };
  const text_case cases[] = {
      {L"", -1, "Provider text", 0x80E37, "The specified table does not exist."},
      {L"Sheet1$", 0, "Provider text", 0x80E37, "Sheet1$: The specified table does not exist."},
      {L"Sheet1$", 12, "Bad value", 0, "Sheet1$, record #12: Bad value"},
      {L"Лист1", 3, "Unknown code", 0x80999, "Лист1, record #3: Unknown code"},
      {L"T", 0, "", 0, "T: Unknown exception"},
      // Multi-line map texts are shown on one line.
      {L"", -1, "x", 0x80E4D, "Invalid user name or password."},
      {L"", -1, "x", 0x80E09,
       "You are not allowed to access MS SQL database. Ask your system administrator to grant "
       "you necessary privileges."},
      // The agent registers only two workbook entries: 3274 keeps its own text.
      {L"", -1, "Unrecognized database format.", 0x10CCA, "Unrecognized database format."},
      {L"", -1, "x", 0x10C76,
       "Failed to recognize table structure in the worksheet. You can migrate the data manually "
       "via CSV format. See 'CSV Files' article in the documentation for details."},
  };
  for (const text_case& c : cases) {
    if (c.record > 0) handler->set_context(c.table, c.record);
    else handler->set_context(c.table);
    EXPECT_EQ(handler->build_text(coded_exception(c.what, c.code, 0)), c.expected);
  }
}

TEST(error_handler, second_handler_is_an_internal_error) {
  auto handler = agent_handler();
  EXPECT_THROW(error_handler another(dao_error_map()), tk_mail_assertion);
  EXPECT_EQ(error_handler::instance(), handler.get());
}

TEST(error_handler, front_end_decides_for_item_errors) {
  std::vector<recording_front_end::shown> shown;
  error_handler handler(dao_error_map(), std::make_unique<recording_front_end>(shown, true));
  handler.set_context(L"Sheet2$", 5);
  // The run's own guard ends the run anyway: the front end just shows.
  EXPECT_NO_THROW(handler.handle(coded_exception("a\nb", 0, 0), true));
  // A per-record caller would go on; "Abort" stops the run instead.
  EXPECT_THROW(handler.handle(coded_exception("c", 0, 0), false), tk_final_exception);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, "Sheet2$, record #5: a b");
  EXPECT_EQ(shown[1].level, 0);
}

// Death tests match stderr: send the console there, after what the test
// framework already wrote.
void console_to_stderr() {
  std::fflush(stdout);
  dup2(2, 1);
}

// The agent's console behaviour ends the process: run it in a child.
class agent_console : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(agent_console, item_error_prints_and_the_run_goes_on) {
  testing::internal::CaptureStdout();
  {
    auto handler = agent_handler();
    handler->set_context(L"Sheet1$", 7);
    handler->handle(coded_exception("Violation", 0x80E2F, 0), false);
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error:\nSheet1$, record #7: The specified record violates the integrity "
            "constraints. See 'Troubleshooting' article of the product documentation for "
            "solution.\n");
}

TEST_F(agent_console, run_error_ends_with_status_255) {
  EXPECT_EXIT(
      {
        auto handler = agent_handler();
        console_to_stderr();
        handler->handle(coded_exception("Cannot\nopen", 0, 1), false);
        std::exit(0);
      },
      ::testing::ExitedWithCode(255), "^Error:\nCannot open\n$");
}

TEST_F(agent_console, silent_run_error_prints_nothing_and_ends_with_255) {
  EXPECT_EXIT(
      {
        auto handler = agent_handler();
        handler->set_silent(true);
        console_to_stderr();
        handler->handle(coded_exception("Cannot open", 0, 1), false);
      },
      ::testing::ExitedWithCode(255), "^$");
  testing::internal::CaptureStdout();
  {
    auto handler = agent_handler();
    handler->set_silent(true);
    handler->handle(coded_exception("Row failed", 0, 0), false);
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(agent_console, internal_error_prints_even_when_silent_and_ends_with_255) {
  EXPECT_EXIT(
      {
        auto handler = agent_handler();
        handler->set_silent(true);
        console_to_stderr();
        handler->handle(tk_mail_assertion("x", 12), false);
      },
      ::testing::ExitedWithCode(255), "Internal error: Internal error: \ncode=785c3132");
}

}  // namespace

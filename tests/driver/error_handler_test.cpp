#include <gtest/gtest.h>

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

// Records what a front end is shown and asked; answers as told.
class recording_front_end final : public run_front_end {
 public:
  struct shown {
    std::string text;
    int level;
    bool b_asked;
  };
  explicit recording_front_end(std::vector<shown>& log, error_answer answer = error_answer::go_on)
      : log_(log), answer_(answer) {}
  void show_internal_error(const std::string& what) override { log_.push_back({what, 2, false}); }
  void show_error(const std::string& text, int level) override {
    log_.push_back({text, level, false});
  }
  error_answer ask_continue(const std::string& text) override {
    log_.push_back({text, 0, true});
    return answer_;
  }
  void note_error(const std::string& text) override { noted.push_back(text); }
  void report(const std::string&) override {}
  std::vector<std::string> noted;

 private:
  std::vector<shown>& log_;
  error_answer answer_;
};

std::unique_ptr<error_handler> agent_handler() {
  auto handler = std::make_unique<error_handler>(dao_error_map());
  handler->load_err_map(odb_error_map());
  handler->load_err_map(workbook_error_map().first(2));
  return handler;
}

TEST(error_maps, have_their_sizes_and_one_support_address) {
  EXPECT_EQ(dao_error_map().size(), 7u);
  EXPECT_EQ(odb_error_map().size(), 25u);
  EXPECT_EQ(workbook_error_map().size(), 3u);
  int naming_support = 0;
  for (auto map : {dao_error_map(), odb_error_map(), workbook_error_map()})
    for (const tk_error_entry& entry : map)
      if (std::string(entry.text).find('@') != std::string::npos) {
        ++naming_support;
        EXPECT_NE(std::string(entry.text).find(TK_SUPPORT_EMAIL), std::string::npos);
      }
  EXPECT_EQ(naming_support, 7);
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
    if (c.record > 0)
      handler->set_context(c.table, c.record);
    else
      handler->set_context(c.table);
    EXPECT_EQ(handler->build_text(coded_exception(c.what, c.code, 0)), c.expected);
  }
}

TEST(error_handler, second_handler_is_an_internal_error) {
  auto handler = agent_handler();
  EXPECT_THROW(error_handler another(dao_error_map()), tk_mail_assertion);
  EXPECT_EQ(error_handler::instance(), handler.get());
}

TEST(error_handler, front_end_answers_for_item_errors_only) {
  struct answer_case {
    error_answer answer;
    bool b_throws;
    bool b_silent_after;
  };
  const answer_case cases[] = {
      {error_answer::go_on, false, false},
      {error_answer::go_on_quietly, false, true},
      {error_answer::abort_run, true, false},
  };
  for (const answer_case& c : cases) {
    std::vector<recording_front_end::shown> shown;
    auto front_end = std::make_unique<recording_front_end>(shown, c.answer);
    recording_front_end& seen = *front_end;
    error_handler handler(dao_error_map(), std::move(front_end));
    handler.set_context(L"Sheet2$", 5);
    // The run's own guard ends the run anyway: nothing to ask.
    EXPECT_NO_THROW(handler.handle(coded_exception("a\nb", 0, 0), true));
    EXPECT_NO_THROW(handler.handle(coded_exception("ends the run", 0, 1), false));
    // A per-record caller would go on: the front end decides.
    if (c.b_throws)
      EXPECT_THROW(handler.handle(coded_exception("c", 0, 0), false), tk_final_exception);
    else
      EXPECT_NO_THROW(handler.handle(coded_exception("c", 0, 0), false));
    EXPECT_EQ(handler.silent(), c.b_silent_after);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].text, "Sheet2$, record #5: a b");
    EXPECT_FALSE(shown[0].b_asked);
    EXPECT_EQ(shown[1].level, 1);
    EXPECT_FALSE(shown[1].b_asked);
    EXPECT_TRUE(shown[2].b_asked);
    // Silent or not, every text reaches the front end's list.
    handler.set_silent(true);
    handler.handle(coded_exception("quiet", 0, 0), false);
    EXPECT_EQ(shown.size(), 3u);
    EXPECT_EQ(seen.noted.size(), 4u);
  }
}

// The agent's console front end prints; nothing ends the process.
TEST(agent_console, errors_are_printed_and_the_caller_goes_on) {
  struct print_case {
    bool b_silent;
    tk_exception error;
    std::string printed;
  };
  const print_case cases[] = {
      {false, coded_exception("Violation", 0x80E2F, 0),
       "Error:\nSheet1$, record #7: The specified record violates the integrity constraints. "
       "See 'Troubleshooting' article of the product documentation for solution.\n"},
      {false, coded_exception("Cannot\nopen", 0, 1), "Error:\nSheet1$, record #7: Cannot open\n"},
      {true, coded_exception("Row failed", 0, 0), ""},
      {true, coded_exception("Cannot open", 0, 1), ""},
      // Internal errors are printed even to a silent run.
      {true, tk_mail_assertion("x", 12), "Internal error: Internal error: \ncode=785c3132\n"},
  };
  for (const print_case& c : cases) {
    testing::internal::CaptureStdout();
    {
      auto handler = agent_handler();
      handler->set_silent(c.b_silent);
      handler->set_context(L"Sheet1$", 7);
      EXPECT_NO_THROW(handler->handle(c.error, false));
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed) << c.error.what();
  }
}

}  // namespace

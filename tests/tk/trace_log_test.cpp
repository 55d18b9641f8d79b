#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "temp_folder.hpp"
#include "tk_converter.hpp"
#include "tk_exception.hpp"
#include "tk_trace.hpp"
#include "init_conversion.hpp"

namespace {

class trace_log_test : public ::testing::Test {
 protected:
  temp_folder folder;
  std::string log_path = folder.file("run.log");
};

TEST_F(trace_log_test, threshold_three_keeps_only_level_three_lines) {
  tk_trace_log log("", false, 3, false);
  tk_converter converter;
  converter.set_logfile(log_path);
  tk_trace(1, "detail %d", 1);
  tk_trace(2, "step %s", "two");
  tk_trace(3, "Converting '%s'", "Sheet1$");
  tk_trace(3, L"Converting wide %ls", L"x");
  EXPECT_EQ(read_file(log_path), "Converting 'Sheet1$'\r\nConverting wide x\r\n");
}

TEST_F(trace_log_test, old_log_is_emptied_once_not_appended_to) {
  write_file(log_path, "line from an earlier run\r\n");
  tk_trace_log log("", false, 2, false);
  tk_converter converter;
  converter.set_logfile(log_path);
  tk_trace(2, "first");
  tk_trace(2, "second");
  EXPECT_EQ(read_file(log_path), "first\r\nsecond\r\n");

  // Naming the same file again in this process does not empty it again.
  converter.set_logfile(log_path);
  tk_trace(2, "third");
  EXPECT_EQ(read_file(log_path), "first\r\nsecond\r\nthird\r\n");
}

TEST_F(trace_log_test, file_is_emptied_even_when_first_line_is_below_threshold) {
  write_file(log_path, "stale");
  tk_trace_log log("", false, 3, false);
  tk_converter converter;
  converter.set_logfile(log_path);
  tk_trace(1, "dropped");
  EXPECT_EQ(read_file(log_path), "");
}

TEST_F(trace_log_test, wide_lines_are_utf8_and_narrow_lines_keep_their_bytes) {
  tk_trace_log log("", false, 1, false);
  tk_converter converter;
  converter.set_logfile(log_path);
  tk_trace(1, L"Таблица %ls", L"Straße 日本 😀");
  tk_trace(1, "%s", "\xE9t\xE9");  // Latin-1 bytes go out unchanged
  EXPECT_EQ(read_file(log_path),
            "\xD0\xA2\xD0\xB0\xD0\xB1\xD0\xBB\xD0\xB8\xD1\x86\xD0\xB0 Stra\xC3\x9F"
            "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80\r\n\xE9t\xE9\r\n");
}

TEST_F(trace_log_test, overlong_wide_line_is_cut_without_splitting_a_character) {
  tk_trace_log log("", false, 1, false);
  tk_converter converter;
  converter.set_logfile(log_path);
  const std::wstring long_text(20000, L'ж');  // two UTF-8 bytes each
  tk_trace(1, L"%ls", long_text.c_str());
  const std::string written = read_file(log_path);
  ASSERT_GE(written.size(), 2u);
  const std::string line = written.substr(0, written.size() - 2);
  EXPECT_LE(line.size(), 10240u);
  EXPECT_EQ(line.size() % 2, 0u);
  EXPECT_EQ(line.substr(0, 2), "\xD0\xB6");
}

TEST_F(trace_log_test, a_dropped_line_evaluates_none_of_its_arguments) {
  int evaluated = 0;
  auto argument = [&evaluated] {
    ++evaluated;
    return "x";
  };
  tk_trace(3, "%s", argument());  // no log at all
  {
    tk_trace_log log("", false, 2, false);
    tk_trace(3, "%s", argument());  // a log not yet enabled
    EXPECT_EQ(evaluated, 0);
    tk_converter converter;
    converter.set_logfile(log_path);
    tk_trace(2, "%s", argument());
    tk_trace(1, "%s", argument());  // below the threshold
    EXPECT_EQ(evaluated, 1);
    EXPECT_EQ(read_file(log_path), "x\r\n");
  }
  tk_trace(3, "%s", argument());  // the log is gone
  EXPECT_EQ(evaluated, 1);
}

TEST_F(trace_log_test, default_path_is_the_program_with_log_extension) {
  tk_trace_log log("", false, 3, false);
  EXPECT_TRUE(log.path().ends_with("/tk_tests.log")) << log.path();
}

TEST_F(trace_log_test, no_log_file_named_means_nothing_is_written) {
  tk_trace_log log("", false, 1, false);
  tk_trace(3, "nothing");
  EXPECT_FALSE(std::filesystem::exists(log_path));
  EXPECT_FALSE(log.enabled());
}

TEST_F(trace_log_test, set_logfile_refuses_a_read_only_file_and_a_missing_folder) {
  write_file(log_path, "keep me");
  std::filesystem::permissions(log_path, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::group_read);
  tk_trace_log log("", false, 1, false);
  tk_converter converter;

  struct refusal {
    std::string path;
    std::string message;
  };
  const refusal cases[] = {
      {log_path, "Logfile name specifies an existing read-only file."},
      {folder.file("missing/run.log"),
       "Logfile path does not exist.\nPlease verify the correct path was given."},
  };
  for (const refusal& c : cases) {
    try {
      converter.set_logfile(c.path);
      ADD_FAILURE() << "accepted " << c.path;
    } catch (const tk_exception& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
      EXPECT_EQ(e.level(), tk_level_run);
    }
  }
  EXPECT_FALSE(log.enabled());
  EXPECT_EQ(read_file(log_path), "keep me");
  EXPECT_EQ(converter.logfile(), "");
}

TEST_F(trace_log_test, second_trace_log_is_an_internal_error) {
  tk_trace_log log("", false, 3, false);
  try {
    tk_trace_log second("", false, 3, false);
    FAIL() << "a second trace log was accepted";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.level(), tk_level_internal);
  }
  EXPECT_EQ(tk_trace_log::instance(), &log);
}

TEST_F(trace_log_test, conversion_stamps_frame_the_run_and_set_finished) {
  tk_trace_log log("", false, 3, false);
  tk_converter converter;
  converter.set_logfile(log_path);
  {
    init_conversion stamp(converter.b_finished, true);
    EXPECT_FALSE(converter.b_finished);
  }
  EXPECT_TRUE(converter.b_finished);
  const std::string text = read_file(log_path);
  // Each stamp ends with a line feed, so an empty line follows it.
  EXPECT_TRUE(text.starts_with("Conversion started on ")) << text;
  EXPECT_NE(text.find("\n\r\nConversion ended on "), std::string::npos) << text;
  EXPECT_TRUE(text.ends_with("\n\r\n")) << text;
}

}  // namespace

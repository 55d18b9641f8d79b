// tessrun_front_end: the console as tessrun's run sees it.
//
// Lines, "Error:" blocks and internal errors go to standard output as the
// console front end prints them. While a table loads, and only when the
// progress line is enabled (standard error is a terminal and the run is not
// silent), one line on standard error shows the table, rows, rows per second
// and percentage, redrawn at most four times a second and cleared before any
// other output, so nothing of it reaches logs or pipes.
//
// Owned by the error handler; used by the thread that runs the conversion.
#pragma once

#include <cstdio>

#include "progress_line.hpp"
#include "run_front_end.hpp"

class tessrun_front_end final : public console_front_end {
 public:
  // The terminal the progress line is drawn on (standard error).
  explicit tessrun_front_end(std::FILE* terminal = stderr) : terminal_(terminal) {}

  // Whether a progress line is drawn: a terminal, and not silent.
  static bool wants_progress_line(int terminal_fd, bool b_silent);
  void enable_progress_line(bool b_enabled) { b_progress_line_ = b_enabled; }

  void show_internal_error(const std::string& what) override;
  void show_error(const std::string& text, int level) override;
  error_answer ask_continue(const std::string& text) override;
  void report(const std::string& line) override;
  void show_progress(const progress_snapshot& progress) override;
  void end_progress() override;

 private:
  void clear_line();

  std::FILE* terminal_;
  bool b_progress_line_ = false;
  bool b_drawn_ = false;
  progress_line line_;
};

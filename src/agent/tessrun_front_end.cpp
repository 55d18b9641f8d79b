#include "tessrun_front_end.hpp"

#include <unistd.h>

bool tessrun_front_end::wants_progress_line(int terminal_fd, bool b_silent) {
  return !b_silent && isatty(terminal_fd) == 1;
}

void tessrun_front_end::clear_line() {
  if (!b_drawn_) return;
  // Back to the start of the line and erase it.
  std::fputs("\r\033[K", terminal_);
  std::fflush(terminal_);
  b_drawn_ = false;
}

void tessrun_front_end::show_internal_error(const std::string& what) {
  clear_line();
  console_front_end::show_internal_error(what);
}

void tessrun_front_end::show_error(const std::string& text, int level) {
  clear_line();
  console_front_end::show_error(text, level);
}

error_answer tessrun_front_end::ask_continue(const std::string& text) {
  clear_line();
  return console_front_end::ask_continue(text);
}

void tessrun_front_end::report(const std::string& line) {
  clear_line();
  console_front_end::report(line);
}

void tessrun_front_end::show_progress(const progress_snapshot& progress) {
  if (!b_progress_line_) return;
  const std::optional<std::string> text = line_.update(progress, progress_line::clock::now());
  if (!text) return;
  std::fprintf(terminal_, "\r%s\033[K", text->c_str());
  std::fflush(terminal_);
  b_drawn_ = true;
}

void tessrun_front_end::end_progress() {
  clear_line();
  line_.reset();
}

#include "error_handler.hpp"

#include <algorithm>
#include <cstdio>

#include "tk_final_exception.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

void console_front_end::show_internal_error(const std::string& what) {
  std::printf("Internal error: %s\n", what.c_str());
  std::fflush(stdout);
}

void console_front_end::show_error(const std::string& text, int /*level*/) {
  std::printf("Error:\n%s\n", text.c_str());
  std::fflush(stdout);
}

error_answer console_front_end::ask_continue(const std::string& text) {
  show_error(text, tk_level_item);
  return error_answer::go_on;
}

void console_front_end::report(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

error_handler::error_handler(std::span<const tk_error_entry> first_map,
                             std::unique_ptr<run_front_end> front_end)
    : converter_(first_map), front_end_(std::move(front_end)) {
  TK_ASSERT(front_end_ != nullptr);
  tk_trace(2, "error_handler::ctor");
}

error_handler::~error_handler() = default;

void error_handler::load_err_map(std::span<const tk_error_entry> map) {
  tk_trace(2, "error_handler::load_err_map");
  converter_.load_map(map);
}

void error_handler::set_context(const std::wstring& table_name) { context_ = tk_w2a(table_name); }

void error_handler::set_context(const std::wstring& table_name, long record_number,
                                std::int64_t line) {
  context_ = tk_w2a(table_name) + ", record #" + std::to_string(record_number);
  if (line > 0) context_ += ", line " + std::to_string(line);
}

std::string error_handler::message_for(const tk_exception& e) const {
  std::string mapped = converter_.convert(e.code());
  std::string text = context_.empty() ? std::string() : context_ + ": ";
  return text + (mapped.empty() ? std::string(e.what()) : mapped);
}

std::string error_handler::build_text(const tk_exception& e) const {
  std::string text = message_for(e);
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

void error_handler::handle(const tk_exception& e, bool b_caller_ends) {
  tk_trace(2, "error_handler::handle");
  if (e.level() >= tk_level_internal) {
    // Shown even to a silent run: nobody must miss a broken program.
    tk_trace(3, "Internal error:\n%s", e.what());
    front_end_->note_error(e.what());
    front_end_->show_internal_error(e.what());
    return;
  }

  std::string text = message_for(e);
  tk_trace(3, "Error:\n%s", text.c_str());
  std::replace(text.begin(), text.end(), '\n', ' ');
  front_end_->note_error(text);

  const bool b_item = e.level() < tk_level_run;
  tk_trace(1, b_item ? "Got 0-level error" : "Got 1-level error");
  if (b_silent_) return;
  if (!b_item || b_caller_ends) {
    front_end_->show_error(text, e.level());
    return;
  }
  switch (front_end_->ask_continue(text)) {
    case error_answer::go_on:
      break;
    case error_answer::go_on_quietly:
      b_silent_ = true;
      break;
    case error_answer::abort_run:
      throw tk_final_exception();
  }
}

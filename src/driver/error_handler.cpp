#include "error_handler.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tk_text.hpp"
#include "tk_trace.hpp"

void console_front_end::show_internal_error(const std::string& what) {
  std::printf("Internal error: %s\n", what.c_str());
}

void console_front_end::show_error(const std::string& text, int /*level*/, bool /*b_caller_ends*/,
                                   bool& silent) {
  if (!silent) std::printf("Error:\n%s\n", text.c_str());
}

error_handler::error_handler(std::span<const tk_error_entry> first_map,
                             std::unique_ptr<error_front_end> front_end)
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

void error_handler::set_context(const std::wstring& table_name, long record_number) {
  context_ = tk_w2a(table_name) + ", record #" + std::to_string(record_number);
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

void error_handler::exit_failure() {
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(exit_failure_code);
}

void error_handler::handle(const tk_exception& e, bool b_caller_ends) {
  tk_trace(2, "error_handler::handle");
  if (e.level() >= tk_level_internal) {
    tk_trace(3, "Internal error:\n%s", e.what());
    front_end_->show_internal_error(e.what());
    exit_failure();
  }

  std::string text = message_for(e);
  tk_trace(3, "Error:\n%s", text.c_str());
  std::replace(text.begin(), text.end(), '\n', ' ');

  tk_trace(1, e.level() == tk_level_run ? "Got 1-level error" : "Got 0-level error");
  front_end_->show_error(text, e.level(), b_caller_ends, b_silent_);
  if (e.level() == tk_level_run && front_end_->exits_on_run_error()) exit_failure();
}

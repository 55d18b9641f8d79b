// error_handler: the one place where a failure becomes what the user sees.
//
// It looks the exception's code up in the registered message maps, prefixes
// the text with the current context (which table, which record), traces it,
// hands it to the front end and decides by the level what happens next:
// level 0 the run goes on, level 1 the run stops (the agent ends with -1),
// level 2 (internal error) the process ends with -1. Exit status -1 is 255.
//
// One per process. Used by the thread that runs the conversion; the wizard's
// interface thread does not call it while a run is going on.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "error_front_end.hpp"
#include "tk_error_converter.hpp"
#include "tk_exception.hpp"
#include "tk_singleton.hpp"

class error_handler final : public tk_singleton<error_handler> {
 public:
  static constexpr int exit_failure_code = -1;

  explicit error_handler(std::span<const tk_error_entry> first_map,
                         std::unique_ptr<error_front_end> front_end =
                             std::make_unique<console_front_end>());
  ~error_handler();

  void load_err_map(std::span<const tk_error_entry> map);

  // The context names where the next error happened; it stays until it is
  // set again.
  void set_context(const std::wstring& table_name);
  void set_context(const std::wstring& table_name, long record_number);
  const std::string& context() const { return context_; }

  bool silent() const { return b_silent_; }
  void set_silent(bool silent) { b_silent_ = silent; }

  // Reports one failure. b_caller_ends is true when the caller stops the run
  // anyway (the run's own guard), false when it would go on (per table, per
  // record). May end the process, or raise tk_final_exception for the wizard.
  void handle(const tk_exception& e, bool b_caller_ends);

  // The text shown for an exception: context, then the mapped message or the
  // exception's own text, on one line.
  std::string build_text(const tk_exception& e) const;

  // Ends the process with the failure status after flushing the console.
  [[noreturn]] static void exit_failure();

 private:
  // Context and message, line feeds kept (the trace log keeps them).
  std::string message_for(const tk_exception& e) const;

  std::string context_;
  bool b_silent_ = false;
  tk_error_converter converter_;
  std::unique_ptr<error_front_end> front_end_;
};

// error_handler: the one place where a failure becomes what the user sees.
//
// It looks the exception's code up in the registered message maps, prefixes
// the text with the current context (which table, which record), traces it
// and hands it to the front end. It never ends the process: an error that
// ends the run (level 1) or an internal error (level 2) is shown, and the
// caller unwinds to the front end, which decides (the agent exits with 255,
// the wizard goes back to its pages). For a level-0 error whose caller would
// go on, the front end is asked whether to; "abort" raises
// tk_final_exception, which stops the run quietly.
//
// One per process; it owns the process's front end. Used by the thread that
// runs the conversion; the wizard's interface thread does not call it while a
// run is going on.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "run_front_end.hpp"
#include "tk_error_converter.hpp"
#include "tk_exception.hpp"
#include "tk_singleton.hpp"

class error_handler final : public tk_singleton<error_handler> {
 public:
  explicit error_handler(
      std::span<const tk_error_entry> first_map,
      std::unique_ptr<run_front_end> front_end = std::make_unique<console_front_end>());
  ~error_handler();

  void load_err_map(std::span<const tk_error_entry> map);

  // The context names where the next error happened; it stays until it is
  // set again.
  void set_context(const std::wstring& table_name);
  // A line above 0 (where a CSV record starts) is named after the record.
  void set_context(const std::wstring& table_name, long record_number, std::int64_t line = 0);
  const std::string& context() const { return context_; }

  bool silent() const { return b_silent_; }
  void set_silent(bool silent) { b_silent_ = silent; }

  // Reports one failure. b_caller_ends is true when the caller stops the run
  // anyway (the run's own guard), false when it would go on (per table, per
  // record); only then is the user asked, and "abort" raises
  // tk_final_exception.
  void handle(const tk_exception& e, bool b_caller_ends);

  // The text shown for an exception: context, then the mapped message or the
  // exception's own text, on one line.
  std::string build_text(const tk_exception& e) const;

  run_front_end& front_end() { return *front_end_; }

 private:
  // Context and message, line feeds kept (the trace log keeps them).
  std::string message_for(const tk_exception& e) const;

  std::string context_;
  bool b_silent_ = false;
  tk_error_converter converter_;
  std::unique_ptr<run_front_end> front_end_;
};

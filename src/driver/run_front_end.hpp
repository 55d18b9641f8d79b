// run_front_end: the one seam between the conversion engine and a program
// that shows it to a user (the console agent, the desktop wizard).
//
// The engine never prints, shows a window or ends the process by itself: it
// hands lines, progress and errors to the front end, and a failure that ends
// the run unwinds to the caller of the run, which decides what to do (the
// agent exits with 255, the wizard shows its finish page and stays alive).
//
// Every method is called on the thread that runs the conversion. A front end
// that shows windows (Qt allows widgets on its interface thread only) hands
// the call over to its interface thread; ask_continue must then wait for the
// answer before it returns, which error_question makes safe.
//
// The error handler owns the process's front end; the driver reaches it
// through the handler.
#pragma once

#include <string>

#include "conversion_progress.hpp"

// What the user decided when a table or a record failed and the run could go
// on without it.
enum class error_answer {
  go_on,          // report it and go on
  go_on_quietly,  // go on, and stop asking for the rest of the process
  abort_run,      // stop the run here; what was committed stays
};

class run_front_end {
 public:
  virtual ~run_front_end() = default;

  // An internal error (a broken assumption of the program); the run ends.
  virtual void show_internal_error(const std::string& what) = 0;
  // An error that ends the run, or a failed item the run ends for anyway.
  // Not called while the handler is silent.
  virtual void show_error(const std::string& text, int level) = 0;
  // A table or a record failed and the run could go on. Blocks until the user
  // answers. Not called while the handler is silent.
  virtual error_answer ask_continue(const std::string& text) = 0;
  // Every error's text, silent or not, in the order they happen (the wizard
  // keeps a list for its finish page).
  virtual void note_error(const std::string& /*text*/) {}

  // A line of the run's own report: what is being converted, each table's
  // summary, a stop. The driver does not call it while silent.
  virtual void report(const std::string& line) = 0;
  // The run moved on; called often (at least every few hundred records), so
  // a front end that draws throttles itself.
  virtual void show_progress(const progress_snapshot& /*progress*/) {}
  // A table finished loading (the progress line, if any, is cleared).
  virtual void end_progress() {}
};

// The agent's console: lines on standard output, "Error:" blocks and internal
// errors on standard output too.
class console_front_end : public run_front_end {
 public:
  void show_internal_error(const std::string& what) override;
  void show_error(const std::string& text, int level) override;
  // Prints the error; a console run always goes on.
  error_answer ask_continue(const std::string& text) override;
  void report(const std::string& line) override;
};

// wizard_front_end: the conversion engine's seam into the wizard.
//
// The engine calls it on the run's thread; every dialog it asks for is shown
// on the interface thread through queued calls to the shell. A question
// ("Continue" or "Abort") waits for the user's answer, and gives up with
// "abort" when the run is being stopped, so stopping never waits on a dialog.
// Errors go to the shell's list for the finish page; the run's report lines
// are kept for it too.
//
// Owned by the error handler; the shell must exist while a run goes on.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "error_question.hpp"
#include "run_front_end.hpp"

class wizard_front_end final : public run_front_end {
 public:
  wizard_front_end();

  void show_internal_error(const std::string& what) override;
  void show_error(const std::string& text, int level) override;
  error_answer ask_continue(const std::string& text) override;
  void note_error(const std::string& text) override;
  void report(const std::string& line) override;

  // Interface thread: a run is being stopped; a waiting question ends.
  void stop_asking() { question_.cancel(); }
  // Before a run: questions are asked again.
  void start_run();

  // The run's report lines (table summaries), for the finish page.
  std::vector<std::string> report_lines() const;

 private:
  error_question question_;
  mutable std::mutex lines_mutex_;
  std::vector<std::string> lines_;
};

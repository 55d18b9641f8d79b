// error_front_end: how the error handler shows errors to the user.
//
// The agent prints to the console (the default); the wizard installs a front
// end that shows dialogs. The handler has already built the text (context,
// mapped message, line feeds replaced) when these are called.
#pragma once

#include <string>

class error_front_end {
 public:
  virtual ~error_front_end() = default;

  // An internal error; the handler ends the process afterwards.
  virtual void show_internal_error(const std::string& what) = 0;

  // A level-0 or level-1 error, shown unless `silent`. b_caller_ends tells
  // whether the caller stops the run anyway. The front end may update
  // `silent`, return to let the handler go on, or raise tk_final_exception
  // to stop the run. The wizard keeps its error list here too.
  virtual void show_error(const std::string& text, int level, bool b_caller_ends,
                          bool& silent) = 0;

  // Whether the handler ends the process after a level-1 error (the agent
  // does; the wizard goes back to its pages instead).
  virtual bool exits_on_run_error() const = 0;
};

// The agent's front end: "Error:" and the text on standard output.
class console_front_end final : public error_front_end {
 public:
  void show_internal_error(const std::string& what) override;
  void show_error(const std::string& text, int level, bool b_caller_ends, bool& silent) override;
  bool exits_on_run_error() const override { return true; }
};

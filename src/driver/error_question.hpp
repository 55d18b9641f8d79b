// error_question: carries one question from the thread that runs a
// conversion to the interface thread, and the answer back.
//
// A front end whose dialogs must be shown on its interface thread implements
// run_front_end::ask_continue with it:
//
//   error_answer ask_continue(const std::string& text) override {
//     return question_.ask(text, [this](const std::string& t, unsigned long ticket) {
//       // hand over to the interface thread, e.g. a queued Qt call that shows
//       // the dialog and then calls question_.answer(ticket, choice)
//     });
//   }
//
// ask() hands the text to `deliver` and waits until answer() is called with
// the ticket it was given. It returns abort_run without an answer when
// cancel() is called or the give-up test turns true (the run is being
// stopped), so a front end that stops a run never waits for a worker that
// waits for a dialog. A late answer to an abandoned question is ignored.
//
// One question at a time; answer(), cancel() and is_waiting() may be called
// from any thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "run_front_end.hpp"

class error_question {
 public:
  // `give_up` is polled while waiting (a few times a second); without one
  // only cancel() ends a wait unanswered.
  explicit error_question(std::function<bool()> give_up = {});

  using deliver_fn = std::function<void(const std::string& text, unsigned long ticket)>;
  // Run thread: asks and waits for the answer.
  error_answer ask(const std::string& text, const deliver_fn& deliver);

  // Interface thread: the answer to the question that carried `ticket`.
  void answer(unsigned long ticket, error_answer choice);
  // Ends the wait of the question asked now, and of every later one until
  // reset(), with abort_run.
  void cancel();
  void reset();
  bool is_waiting() const;

 private:
  std::function<bool()> give_up_;
  mutable std::mutex mutex_;
  std::condition_variable answered_;
  unsigned long ticket_ = 0;  // the ticket of the question waiting, if any
  bool b_waiting_ = false;
  bool b_cancelled_ = false;
  std::optional<error_answer> answer_;
};

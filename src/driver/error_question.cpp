#include "error_question.hpp"

#include <chrono>

#include "tk_trace.hpp"

error_question::error_question(std::function<bool()> give_up) : give_up_(std::move(give_up)) {}

error_answer error_question::ask(const std::string& text, const deliver_fn& deliver) {
  unsigned long ticket = 0;
  {
    std::lock_guard lock(mutex_);
    if (b_cancelled_) return error_answer::abort_run;
    ticket = ++ticket_;
    b_waiting_ = true;
    answer_.reset();
  }
  tk_trace(1, "error_question::ask(%lu)", ticket);
  // Delivered outside the lock: a front end may answer at once, on this
  // very thread.
  deliver(text, ticket);

  std::unique_lock lock(mutex_);
  using namespace std::chrono_literals;
  while (!answer_ && !b_cancelled_) {
    answered_.wait_for(lock, 50ms);
    if (give_up_ && !answer_ && give_up_()) break;
  }
  b_waiting_ = false;
  const error_answer choice = answer_.value_or(error_answer::abort_run);
  answer_.reset();
  return choice;
}

void error_question::answer(unsigned long ticket, error_answer choice) {
  {
    std::lock_guard lock(mutex_);
    if (!b_waiting_ || ticket != ticket_) return;  // too late: nobody waits for it
    answer_ = choice;
  }
  answered_.notify_all();
}

void error_question::cancel() {
  {
    std::lock_guard lock(mutex_);
    b_cancelled_ = true;
  }
  answered_.notify_all();
}

void error_question::reset() {
  std::lock_guard lock(mutex_);
  b_cancelled_ = false;
}

bool error_question::is_waiting() const {
  std::lock_guard lock(mutex_);
  return b_waiting_;
}

#include "tk_thread.hpp"

#include <exception>

#include "tk_mail_assertion.hpp"
#include "tk_trace.hpp"

tk_thread::tk_thread(int param) : param_(param) {}

tk_thread::~tk_thread() { stop(); }

void tk_thread::stop() noexcept {
  if (thread_.joinable()) {
    if (runnable_) runnable_->request_stop();
    thread_.join();
  }
  owned_runnable_.reset();
  runnable_ = nullptr;
}

void tk_thread::start() {
  TK_ASSERT(!is_running());
  clean_up();
  TK_ASSERT(runnable_ == nullptr);
  tk_converter& runnable = make_runnable();
  runnable_ = &runnable;
  runnable.reset_stop();
  b_done_ = false;
  thread_ = std::thread([this, &runnable] {
    try {
      runnable.run();
    } catch (const std::exception& e) {
      // The driver reports its own failures; anything reaching here would
      // otherwise end the process from a worker thread.
      tk_trace(3, "Unhandled exception in worker thread: %s", e.what());
    } catch (...) {
      tk_trace(3, "Unhandled exception in worker thread");
    }
    b_done_ = true;
  });
}

bool tk_thread::is_running() const { return thread_.joinable() && !b_done_; }

void tk_thread::kill() {
  TK_ASSERT(thread_.joinable());
  if (runnable_) runnable_->request_stop();
  thread_.join();
  clean_up();
}

void tk_thread::clean_up() {
  TK_ASSERT(!is_running());
  if (thread_.joinable()) thread_.join();
  owned_runnable_.reset();
  runnable_ = nullptr;
}

tk_converter& tk_thread::make_runnable() {
  owned_runnable_ = std::make_unique<tk_converter>();
  return *owned_runnable_;
}

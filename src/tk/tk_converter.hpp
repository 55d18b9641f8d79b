// tk_converter: the runnable object a tk_thread runs, and the base of the
// conversion driver.
//
// Stopping is cooperative: request_stop() raises a flag that the driver reads
// between records and between tables. Nothing is ever terminated, so the
// destination is never left with a half-sent row or an open bulk copy.
// The finished flag and the stop flag may be read from any thread.
#pragma once

#include <atomic>
#include <string>

class tk_converter {
 public:
  tk_converter();
  virtual ~tk_converter();
  tk_converter(const tk_converter&) = delete;
  tk_converter& operator=(const tk_converter&) = delete;

  // The default polls is_ready(), idling between polls, then calls work().
  virtual void run();
  virtual bool is_ready() { return false; }
  virtual void idle();  // sleeps 100 ms
  virtual void work() {}

  // Checks and installs the trace log file. An empty path leaves tracing as
  // it is. Raises tk_exception (level 1) for a read-only file or a missing
  // folder, before anything is installed.
  void set_logfile(const std::string& path);
  const std::string& logfile() const { return log_file_path_; }

  void request_stop() noexcept { b_stop_requested_.store(true); }
  void reset_stop() noexcept { b_stop_requested_.store(false); }
  bool stop_requested() const noexcept { return b_stop_requested_.load(); }

  // Set by the end stamp of a run (init_conversion).
  std::atomic<bool> b_finished{false};

 private:
  std::string log_file_path_;
  std::atomic<bool> b_stop_requested_{false};
};

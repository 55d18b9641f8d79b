// tk_thread: runs one tk_converter on a thread of its own.
//
// The thread is never terminated: kill() asks the runnable to stop and waits
// for it to return, so whatever it holds open is closed by its own code.
// A tk_thread is used from one controlling thread.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "tk_converter.hpp"

class tk_thread {
 public:
  explicit tk_thread(int param = 0);
  virtual ~tk_thread();
  tk_thread(const tk_thread&) = delete;
  tk_thread& operator=(const tk_thread&) = delete;

  // Starts the runnable that make_runnable() supplies. Starting while a run
  // is still going on is a programming error.
  void start();
  bool is_running() const;
  // Asks the runnable to stop and waits for the thread to end.
  void kill();
  // Joins a finished thread and forgets the runnable.
  void clean_up();
  // Stops a running thread, if any, and cleans up; never throws. A derived
  // class that owns its runnable calls this in its own destructor, since the
  // runnable is gone by the time ~tk_thread runs.
  void stop() noexcept;

  int param() const { return param_; }

 protected:
  // The object the thread runs; it must outlive the run. The default is a
  // bare tk_converter owned by this thread object.
  virtual tk_converter& make_runnable();

 private:
  const int param_;
  std::thread thread_;
  std::atomic<bool> b_done_{true};
  tk_converter* runnable_ = nullptr;
  std::unique_ptr<tk_converter> owned_runnable_;
};

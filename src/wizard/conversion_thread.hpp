// conversion_thread: runs one of the wizard's workers (the connection test,
// the conversion) on the toolkit's thread object.
//
// The runnable is not owned and must outlive the thread object; the
// destructor asks a running worker to stop and waits for it.
#pragma once

#include "tk_thread.hpp"

class conversion_thread final : public tk_thread {
 public:
  explicit conversion_thread(tk_converter& runnable) : runnable_(runnable) {}
  ~conversion_thread() override { stop(); }

 protected:
  tk_converter& make_runnable() override { return runnable_; }

 private:
  tk_converter& runnable_;
};

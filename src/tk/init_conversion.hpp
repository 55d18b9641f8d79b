// init_conversion: the start and end stamps that frame every conversion run.
//
// Built at the start of a run, it writes "Conversion started on ..." to the
// trace log; destroyed at the end, "Conversion ended on ..." and it sets the
// converter's finished flag, which the wizard's progress timer watches.
#pragma once

#include <atomic>
#include <functional>

class init_conversion final {
 public:
  // There is no COM on Linux; the flag is accepted so callers keep one shape.
  init_conversion(std::atomic<bool>& finished, bool com_initialised);
  ~init_conversion();
  init_conversion(const init_conversion&) = delete;
  init_conversion& operator=(const init_conversion&) = delete;

  // Called at every start stamp; the wizard starts its progress timer here.
  static void set_start_hook(std::function<void()> hook);

 private:
  std::atomic<bool>& finished_;
};

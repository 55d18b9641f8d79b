// tk_singleton: registers the one process-wide instance of T.
//
// The trace log, the error handler, the driver and the SQL Server engine exist
// once per process; building a second one is a programming error and raises
// tk_mail_assertion. instance() is null before the first is built and after it
// is destroyed. Registration is atomic; the object itself is not made
// thread-safe by this.
#pragma once

#include <atomic>

#include "tk_mail_assertion.hpp"

template <class T>
class tk_singleton {
 public:
  static T* instance() noexcept {
    return static_cast<T*>(instance_.load(std::memory_order_acquire));
  }

  tk_singleton(const tk_singleton&) = delete;
  tk_singleton& operator=(const tk_singleton&) = delete;

 protected:
  tk_singleton() {
    // Kept as the base: the derived object does not exist yet.
    tk_singleton* expected = nullptr;
    if (!instance_.compare_exchange_strong(expected, this)) TK_FAIL();
  }
  ~tk_singleton() { instance_.store(nullptr, std::memory_order_release); }

 private:
  static inline std::atomic<tk_singleton*> instance_{nullptr};
};

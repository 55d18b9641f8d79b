// The trace log: every layer reports what it does through tk_trace().
//
// Levels: 1 detail (entries with arguments, values), 2 steps and object life,
// 3 what a user follows (stamps, "Converting ..." lines, errors).
// Only the agent builds a tk_trace_log; without one, while it is disabled, or
// for a level below its threshold, tk_trace() is one relaxed atomic load: the
// level is checked before any argument is evaluated or formatted and before
// the lock. Each line is appended and the file closed again
// within the call, so the log is on disk and readable while the program runs.
//
// Narrow formats are printf formats whose text is in the ANSI code page and is
// written unchanged; wide formats are swprintf formats (wide strings are %ls)
// written as UTF-8. A wide line is cut at 10240 characters and 10240 bytes.
// Thread-safe: lines from several threads never interleave.
#pragma once

#include <atomic>
#include <climits>
#include <cstdarg>
#include <mutex>
#include <string>

#include "tk_singleton.hpp"

class tk_trace_log final : public tk_singleton<tk_trace_log> {
 public:
  // An empty path stands for the program's own path with the extension ".log".
  // Built enabled, the file is emptied at once.
  tk_trace_log(std::string path, bool enabled, int threshold, bool time_stamps);
  ~tk_trace_log();

  // Names the log file and enables the log. The file is emptied at the next
  // trace call unless this process has already emptied a log file.
  void enable(std::string path);

  bool enabled() const;
  const std::string& path() const { return path_; }
  int threshold() const { return threshold_; }

  void write(int level, const char* format, va_list args);
  void write(int level, const wchar_t* format, va_list args);

 private:
  bool prepare(int level);  // empties the file once; false when the line is dropped
  void open_gate();         // what tk_trace lets through from now on
  void append(const std::string& text);

  mutable std::mutex mutex_;
  std::string path_;
  const int threshold_;
  const bool line_break_ = true;
  std::atomic<bool> enabled_;  // read without the lock on the fast path
  bool emptied_ = false;
  const bool time_stamps_;
};

namespace tk_trace_detail {
// The lowest level tk_trace passes on: above every level while no log is
// enabled, every level while an enabled log has still to empty its file.
inline std::atomic<int> gate{INT_MAX};
}  // namespace tk_trace_detail

inline bool tk_trace_wanted(int level) noexcept {
  return level >= tk_trace_detail::gate.load(std::memory_order_relaxed);
}

void tk_trace_line(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void tk_trace_line(int level, const wchar_t* format, ...);

// tk_trace(level, format, arguments...): a statement; the arguments are not
// evaluated when the line would be dropped.
#define tk_trace(level, ...)                                                \
  do {                                                                      \
    const int tk_trace_level_ = (level);                                    \
    if (tk_trace_wanted(tk_trace_level_)) tk_trace_line(tk_trace_level_, __VA_ARGS__); \
  } while (0)

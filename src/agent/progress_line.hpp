// progress_line: the one line a terminal shows while a table loads, e.g.
//   orders: 120500 rows, 40100 rows/s, 37%
//
// Decides when the line is due (at most four times a second) and what it
// says; the caller draws it. The rate counts the rows of the current table
// since its first report. Pure logic over the times it is given, so the
// limits are testable without waiting. One thread.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "conversion_progress.hpp"

class progress_line {
 public:
  using clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds interval{250};

  // The text to draw now, or nothing when the last one is too recent.
  std::optional<std::string> update(const progress_snapshot& progress, clock::time_point now);
  // The next table starts its count afresh.
  void reset();

  static std::string format(const std::wstring& table, long records, long rows_per_second,
                            int percent);

 private:
  std::wstring table_;
  clock::time_point table_start_{};
  std::optional<clock::time_point> last_drawn_;
};

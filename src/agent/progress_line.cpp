#include "progress_line.hpp"

#include "tk_text.hpp"

std::optional<std::string> progress_line::update(const progress_snapshot& progress,
                                                 clock::time_point now) {
  if (progress.table != table_ || !last_drawn_) {
    if (progress.table != table_) last_drawn_.reset();
    table_ = progress.table;
    table_start_ = now;
  }
  if (last_drawn_ && now - *last_drawn_ < interval) return std::nullopt;
  last_drawn_ = now;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - table_start_);
  const long rate =
      elapsed.count() > 0 ? static_cast<long>(progress.records * 1000LL / elapsed.count()) : 0;
  return format(progress.table, progress.records, rate, progress.percent);
}

void progress_line::reset() {
  table_.clear();
  last_drawn_.reset();
}

std::string progress_line::format(const std::wstring& table, long records, long rows_per_second,
                                  int percent) {
  return tk_w2a(table) + ": " + std::to_string(records) + " rows, " +
         std::to_string(rows_per_second) + " rows/s, " + std::to_string(percent) + "%";
}

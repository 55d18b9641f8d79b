#include "conversion_progress.hpp"

#include <algorithm>

void conversion_progress::start_run(int table_total) {
  {
    std::lock_guard lock(mutex_);
    table_.clear();
  }
  records_ = 0;
  percent_ = 0;
  tables_done_ = 0;
  table_total_ = table_total;
  b_finished_ = false;
}

void conversion_progress::start_table(const std::wstring& name) {
  {
    std::lock_guard lock(mutex_);
    table_ = name;
  }
  records_ = 0;
}

void conversion_progress::advance(long records, int percent) {
  records_.store(records, std::memory_order_relaxed);
  percent_.store(percent, std::memory_order_relaxed);
}

void conversion_progress::end_table() {
  const int done = ++tables_done_;
  const int total = table_total_.load();
  // A workbook advances by whole worksheets; a CSV file has said its own.
  if (total > 0) percent_ = std::max(percent_.load(), done * 100 / total);
}

void conversion_progress::finish(bool b_completed) {
  if (b_completed) percent_ = 100;
  b_finished_ = true;
}

progress_snapshot conversion_progress::snapshot() const {
  progress_snapshot s;
  {
    std::lock_guard lock(mutex_);
    s.table = table_;
  }
  s.records = records_.load();
  s.percent = percent_.load();
  s.tables_done = tables_done_.load();
  s.table_total = table_total_.load();
  s.b_finished = b_finished_.load();
  return s;
}

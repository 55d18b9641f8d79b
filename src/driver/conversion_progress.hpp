// conversion_progress: where a run stands, published by the thread that runs
// it for any other thread to read.
//
// The run thread writes (start_run, start_table, advance, end_table,
// finish); a front end's timer or progress line reads snapshot() or percent()
// from any thread at any time. Nothing here points into the source or the
// destination, so a reader never touches what the run may be closing: the
// values are copies, at worst a moment old.
//
// Counters are atomics; the table name is copied under a mutex.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

// A copy of the progress at one moment.
struct progress_snapshot {
  std::wstring table;  // the table being loaded; empty before the first one
  long records = 0;    // records of that table handed to the server so far
  int percent = 0;     // 0..100 of the file, or of the worksheets
  int tables_done = 0;
  int table_total = 0;
  bool b_finished = false;
};

class conversion_progress {
 public:
  // Run thread.
  void start_run(int table_total);
  void start_table(const std::wstring& name);
  void advance(long records, int percent);
  void end_table();
  // The run ended; a run that completed shows 100 %.
  void finish(bool b_completed);

  // Any thread.
  progress_snapshot snapshot() const;
  int percent() const { return percent_.load(std::memory_order_relaxed); }
  long records() const { return records_.load(std::memory_order_relaxed); }
  int tables_done() const { return tables_done_.load(std::memory_order_relaxed); }
  int table_total() const { return table_total_.load(std::memory_order_relaxed); }

 private:
  mutable std::mutex mutex_;  // guards table_
  std::wstring table_;
  std::atomic<long> records_{0};
  std::atomic<int> percent_{0};
  std::atomic<int> tables_done_{0};
  std::atomic<int> table_total_{0};
  std::atomic<bool> b_finished_{false};
};

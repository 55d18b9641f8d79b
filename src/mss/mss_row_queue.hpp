// mss_row_queue: the bounded hand-over of encoded row batches from the thread
// that reads and encodes records to the thread that sends them.
//
// push blocks while the queue holds its maximum of batches, so memory stays
// constant however fast the reader is; pop blocks while it is empty. After
// close, push refuses and pop returns what is left, then false. reopen makes
// a drained queue usable again. Thread-safe.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

#include "mss_fast_load.hpp"

class mss_row_queue final {
 public:
  explicit mss_row_queue(std::size_t max_batches) : max_batches_(max_batches) {}

  // False (and the batch dropped) once the queue is closed.
  bool push(std::vector<mss_bulk_row> batch) {
    std::unique_lock lock(mutex_);
    not_full_.wait(lock, [this] { return b_closed_ || batches_.size() < max_batches_; });
    if (b_closed_) return false;
    batches_.push_back(std::move(batch));
    not_empty_.notify_one();
    return true;
  }

  // False when the queue is closed and empty.
  bool pop(std::vector<mss_bulk_row>& batch) {
    std::unique_lock lock(mutex_);
    not_empty_.wait(lock, [this] { return b_closed_ || !batches_.empty(); });
    if (batches_.empty()) return false;
    batch = std::move(batches_.front());
    batches_.pop_front();
    not_full_.notify_one();
    return true;
  }

  void close() {
    std::lock_guard lock(mutex_);
    b_closed_ = true;
    not_empty_.notify_all();
    not_full_.notify_all();
  }

  void reopen() {
    std::lock_guard lock(mutex_);
    batches_.clear();
    b_closed_ = false;
  }

 private:
  const std::size_t max_batches_;
  std::mutex mutex_;
  std::condition_variable not_empty_;
  std::condition_variable not_full_;
  std::deque<std::vector<mss_bulk_row>> batches_;
  bool b_closed_ = false;
};

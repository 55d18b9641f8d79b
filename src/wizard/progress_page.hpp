// progress_page: step 4: runs the conversion on a worker thread and follows
// it on the shell's 200 ms timer; when the run has ended the wizard moves on
// to the finish page by itself.
//
// Cancel during the run stops it cooperatively: the worker finishes the
// record it is on, commits what it sent and ends; the wizard closes once it
// has, so the table holds whole batches only and the interface never waits.
#pragma once

#include <memory>

#include "wizard_page.hpp"

class QLabel;
class QProgressBar;
class conversion_thread;
class wizard_front_end;

class progress_page final : public wizard_page {
 public:
  progress_page(tessaly_convertor& conv, wizard_front_end& front_end);
  ~progress_page() override;

  void page_init() override;
  void on_timer() override;
  bool on_cancel() override;
  void shutdown() override;
  bool isComplete() const override { return b_done_; }
  int nextId() const override { return page_finish; }

  bool is_running() const;

 private:
  // The run has ended: join the worker, then close or move on.
  void run_finished();

  wizard_front_end& front_end_;
  std::unique_ptr<conversion_thread> worker_;
  QProgressBar* bar_;
  QLabel* status_;
  bool b_done_ = false;
  bool b_closing_ = false;
};

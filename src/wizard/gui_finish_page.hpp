// gui_finish_page: the last page: success, or the errors of the run (at most
// 20, one paragraph each), the run's table summaries, and "&Save Settings"
// to store everything as a profile file.
#pragma once

#include "wizard_page.hpp"

class QLabel;
class QPlainTextEdit;
class wizard_front_end;

class gui_finish_page final : public wizard_page {
 public:
  gui_finish_page(tessaly_convertor& conv, wizard_front_end& front_end);

  void page_init() override;
  int nextId() const override { return -1; }

  static const QString success_text;
  static const QString error_text;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void on_save_settings();

  wizard_front_end& front_end_;
  QLabel* message_;
  QPlainTextEdit* errors_;
  QLabel* summary_;
  bool b_focused_once_ = false;
};

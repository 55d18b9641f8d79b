// dlg_error_continue: a table or a record failed; go on with the run
// ("Continue", result 2) or stop it ("Abort", result 1), and optionally stop
// asking for the rest of the session.
#pragma once

#include "wizard_dialog.hpp"

class dlg_error_continue final : public wizard_dialog {
 public:
  enum : int { result_abort = 1, result_continue = 2 };
  explicit dlg_error_continue(const QString& text);
  bool do_not_show_again() const { return b_do_not_show_; }

 private:
  bool b_do_not_show_ = false;
};

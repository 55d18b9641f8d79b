// dlg_error_ex: an internal error, with buttons that copy it to the
// clipboard or hand it to the user's mail client as a bug report.
#pragma once

#include "wizard_dialog.hpp"

class dlg_error_ex final : public wizard_dialog {
 public:
  enum : int { result_copy = 1108, result_send_bug = 1112 };
  explicit dlg_error_ex(const QString& text);
};

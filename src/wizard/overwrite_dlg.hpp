// overwrite_dlg: how to treat a destination table that already exists:
// overwrite it, merge into it, or go back. The answer stays 0 unless the
// user chose (close box and Cancel included).
#pragma once

#include "wizard_dialog.hpp"

class overwrite_dlg final : public wizard_dialog {
 public:
  enum answer_kind { answer_cancel = 0, answer_overwrite = 1, answer_merge = 2 };
  enum : int { result_merge = 1109 };

  overwrite_dlg(int help_context, const QString& text);
  int answer() const { return answer_; }

 private:
  int answer_ = answer_cancel;
};

// overwrite_dlg2: how to treat a destination database that already exists,
// as one of the four conversion modes (overwrite the entire database, first
// and checked at start; overwrite existing tables only; skip existing tables;
// merge). The result is QDialog's 1 for OK and 2 for Cancel.
#pragma once

#include "wizard_dialog.hpp"

class QButtonGroup;

class overwrite_dlg2 final : public wizard_dialog {
 public:
  overwrite_dlg2(int help_context, const QString& text);
  int mode() const { return mode_; }

 private:
  QButtonGroup* choices_;
  int mode_ = 0;
};

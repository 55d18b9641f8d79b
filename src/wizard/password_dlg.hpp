// password_dlg: the password of an encrypted workbook. Asked when a
// workbook turns out to be encrypted; the answer lives in memory for the
// session and is never written to the settings file.
#pragma once

#include <QDialog>

class QLineEdit;

class password_dlg final : public QDialog {
 public:
  // `b_retry`: the last password was not accepted, which the dialog says.
  password_dlg(const QString& file_name, bool b_retry);
  QString password() const;

 private:
  QLineEdit* edit_;
};

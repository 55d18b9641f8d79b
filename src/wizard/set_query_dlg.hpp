// set_query_dlg: edits a stored query of the worksheet page: the table name
// it is stored as and its SELECT text.
#pragma once

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;
class tessaly_convertor;

class set_query_dlg final : public QDialog {
 public:
  set_query_dlg(tessaly_convertor& conv, const QString& table_name, const QString& query);

  QString table_name() const;
  QString query() const;

  // An empty query passes; otherwise, after leading blanks, the text must
  // start with "SELECT" in any letter case.
  static bool passes_select_test(const QString& query);

 private:
  void on_ok();
  void on_test();

  tessaly_convertor& conv_;
  QLineEdit* name_;
  QPlainTextEdit* query_;
};

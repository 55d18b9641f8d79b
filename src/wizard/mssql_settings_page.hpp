// mssql_settings_page: step 1, the server and the login; Next connects on a
// worker thread behind the "connecting" dialog and goes on only when the
// connection was made.
#pragma once

#include "wizard_page.hpp"

class QCheckBox;
class QLineEdit;
class QRadioButton;

class mssql_settings_page final : public wizard_page {
 public:
  explicit mssql_settings_page(tessaly_convertor& conv);

  void page_init() override;
  bool on_next() override;
  void on_back() override { store(); }
  int nextId() const override { return page_sel_file; }

 private:
  void store();
  void enable_login();

  QLineEdit* host_;
  QRadioButton* windows_;
  QRadioButton* sql_;
  QLineEdit* user_;
  QLineEdit* pswd_;
  QCheckBox* as_dbo_;
};

// sel_file_page: step 2, the source file and the destination database (and,
// for a CSV file, the table). Next checks them in order and asks how an
// existing destination is to be treated, which sets the conversion mode.
#pragma once

#include "wizard_page.hpp"

class QCheckBox;
class QLabel;
class QLineEdit;

class sel_file_page final : public wizard_page {
 public:
  explicit sel_file_page(tessaly_convertor& conv);

  void page_init() override;
  bool on_next() override;
  void on_back() override { store_file_info(); }
  int nextId() const override;

  enum class workbook_check { opens, not_a_workbook, cancelled };
  // Opens the workbook as a run would; asks for a password when it is
  // encrypted (kept for the session, never stored).
  workbook_check check_xls(const std::wstring& file_name);

 private:
  void store_file_info();
  void on_browse();
  // Asks how an existing destination is to be treated; false keeps the
  // user on the page.
  bool choose_mode_for_workbook();
  bool choose_mode_for_csv();

  QLabel* description_;
  QLabel* file_label_;
  QLineEdit* file_;
  QLineEdit* database_;
  QCheckBox* first_row_;
  QCheckBox* refine_;
  QLineEdit* table_;
};

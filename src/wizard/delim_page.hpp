// delim_page: step 3 for a CSV file: the delimiter (one of four, or any
// other character), the file's character set (empty: automatic), whether the
// first row names the fields, and type refinement.
#pragma once

#include "wizard_page.hpp"

class QButtonGroup;
class QCheckBox;
class QLineEdit;

class delim_page final : public wizard_page {
 public:
  explicit delim_page(tessaly_convertor& conv);

  void page_init() override;
  bool on_next() override;
  void on_back() override { store(); }
  int nextId() const override { return page_progress; }

  // Index of the "Other:" choice in the delimiter group.
  static constexpr int other_choice = 4;

 private:
  // False (with a message) when "Other:" is not one character.
  bool store();

  QButtonGroup* delimiters_;
  QLineEdit* other_;
  QLineEdit* encoding_;
  QCheckBox* first_row_;
  QCheckBox* refine_;
};

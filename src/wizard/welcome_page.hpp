// welcome_page: the first page: the source kind (a workbook or a CSV file)
// and "&Load Settings" for a profile file.
#pragma once

#include "wizard_page.hpp"

class QRadioButton;

class welcome_page final : public wizard_page {
 public:
  explicit welcome_page(tessaly_convertor& conv);

  void page_init() override;
  bool on_next() override;
  void on_back() override { on_next(); }
  int nextId() const override;

  // The filter of the profile file dialogs, with the profile extension.
  static QString profile_filter();
  static constexpr const char* profile_extension = "tsy";

 private:
  void on_load_settings();
  void set_radios();

  QRadioButton* xls_;
  QRadioButton* csv_;
};

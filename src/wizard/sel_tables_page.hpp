// sel_tables_page: step 3 for a workbook: which worksheets become tables.
// Stored queries of a profile appear among the worksheets and can be edited
// (double click in the selected list); they are never converted.
#pragma once

#include <map>
#include <string>

#include "wizard_page.hpp"

class QListWidget;

class sel_tables_page final : public wizard_page {
 public:
  explicit sel_tables_page(tessaly_convertor& conv);

  void page_init() override;
  bool on_next() override;
  int nextId() const override { return page_progress; }

  void on_add();
  void on_add_all();
  void on_delete();
  void on_del_all();
  void on_edit_query();

 private:
  bool is_query(const QString& name) const;
  // Moves the current item of `from` to `to`, then selects its neighbour.
  void move_current(QListWidget& from, QListWidget& to);
  static void move_item(QListWidget& from, int row, QListWidget& to);

  QListWidget* available_;
  QListWidget* selected_;
  // The page's copy of the stored queries: name -> SQL.
  std::map<std::wstring, std::wstring> queries_;
};

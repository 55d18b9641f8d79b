// xls_reader: the worksheets of a workbook as a user picks and converts them.
//
// Lists a workbook's worksheets under plain display names ("My data" for
// the table "'My data$'"), keeps the map from display names to table names,
// and narrows it to the worksheets selected. The conversion driver holds one,
// built on its workbook path and its selected map, and opens the workbook for
// a run with open_xls; the wizard fills its worksheet list from
// get_all_sheets.
//
// The worksheet map compares names exactly, code unit by code unit. When
// `b_console_report` is set (the console agent, unless silent),
// set_sel_sheets also writes "Worksheet <name> not found" to standard error
// for each selected name the workbook lacks.
// Refers to the path, selected map and password it was built on. Not thread-safe.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

class dao_engine;
class dao_database;

class xls_reader {
 public:
  // `password`: an encrypted workbook's, tried after Excel's built-in one.
  xls_reader(const std::wstring& file_name, std::map<std::wstring, std::wstring>& selected,
             const std::wstring& password);
  virtual ~xls_reader();

  // Opens the workbook read-only with the connect string for `b_first_row`.
  static std::unique_ptr<dao_database> open_xls(dao_engine& engine, const std::wstring& file_name,
                                                bool b_first_row,
                                                const std::wstring& password = {});
  // "Excel 5.0;", " HDR=No;" unless the first row holds names, " IMEX=1;".
  static std::wstring connect_string(bool b_first_row);

  // Fills `names` and the worksheet map from the workbook; false (and an empty
  // list) when no engine can be made. A workbook that cannot be read raises
  // dao_exception.
  bool get_all_sheets(std::vector<std::wstring>& names);
  void set_sel_sheets(const std::vector<std::wstring>& names);

  static std::wstring simplify_name(const std::wstring& name);
  static bool non_system(const std::wstring& name);

  // Display name → table name: after set_sel_sheets, the worksheets to convert.
  std::map<std::wstring, std::wstring> worksheets;
  // The names the last set_sel_sheets was given that the workbook lacks.
  std::vector<std::wstring> missing_sheets;
  bool b_console_report = false;

 protected:
  // Fills the list and the map from an open workbook (the second stage).
  void fill_sheets(const dao_database& database, std::vector<std::wstring>& names);

 private:
  const std::wstring& file_name_;
  const std::wstring& password_;
  std::map<std::wstring, std::wstring>& selected_;
};

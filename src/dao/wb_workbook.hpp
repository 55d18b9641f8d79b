// wb_workbook: an open workbook, whatever its format (.xlsx/.xlsm or .xls).
//
// Opening reads what the whole workbook shares: its sheets in order with
// their kinds and visibility, its defined names, the date system and, inside
// the format's own class, the shared strings and number formats. Sheet data is
// not read until open_sheet, which streams one sheet's cells.
// The format is told by the file's first bytes, never by its extension:
// a zip package is an .xlsx, a compound file holding a Workbook stream an
// .xls, one holding an encrypted package a password-protected .xlsx, which
// is decrypted into memory and read as any .xlsx.
// Owns its source bytes. Not copyable; not thread-safe, but the streams it
// opens are independent of each other.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "wb_bytes.hpp"
#include "wb_cell_stream.hpp"
#include "wb_types.hpp"

class wb_workbook {
 public:
  // An encrypted workbook opens with Excel's built-in password or with
  // `password`. Raises dao_exception 3161 (encrypted, and neither password
  // fits, or encrypted in a way not known here) or 3274 (not a workbook, or
  // damaged).
  static std::unique_ptr<wb_workbook> open(wb_bytes bytes, const std::wstring& password = {});

  virtual ~wb_workbook();
  wb_workbook(const wb_workbook&) = delete;
  wb_workbook& operator=(const wb_workbook&) = delete;

  const std::vector<wb_sheet_info>& sheets() const { return sheets_; }
  const std::vector<wb_defined_name>& names() const { return names_; }
  bool is_1904() const { return b_1904_; }

  virtual std::unique_ptr<wb_cell_stream> open_sheet(std::size_t index) const = 0;

 protected:
  wb_workbook() = default;

  std::vector<wb_sheet_info> sheets_;
  std::vector<wb_defined_name> names_;
  bool b_1904_ = false;
};

// xlsx_workbook: an .xlsx or .xlsm package read through libzip and libxml2.
//
// Opening follows the package's relationships to the workbook part (from
// _rels/.rels; targets absolute or relative, part names in any letter case),
// reads workbook.xml (sheets in order, their kinds and visibility, defined
// names, the 1904 date system), sharedStrings.xml (rich-text runs joined,
// phonetic runs left out) and styles.xml (which cell formats show dates,
// times or currency). Transitional and Strict OOXML are both read, since
// only namespaces differ. Each worksheet part is decompressed and parsed
// while its cells are handed out, so only the shared strings and styles stay
// in memory, both capped.
// Owns the archive. Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "wb_workbook.hpp"
#include "zip_archive.hpp"

class xlsx_workbook final : public wb_workbook {
 public:
  explicit xlsx_workbook(wb_bytes bytes);
  ~xlsx_workbook() override;

  std::unique_ptr<wb_cell_stream> open_sheet(std::size_t index) const override;

  // The shared-string table, for the sheet streams.
  std::size_t shared_count() const { return shared_offsets_.size(); }
  std::wstring_view shared_string(std::size_t index) const;
  wb_format_class style_class(std::size_t xf) const {
    return xf < xf_classes_.size() ? xf_classes_[xf] : wb_format_class::plain;
  }
  const zip_archive& archive() const { return archive_; }

 private:
  void read_shared_strings(const std::string& part);
  void read_styles(const std::string& part);

  wb_bytes bytes_;
  zip_archive archive_;
  std::wstring shared_pool_;
  std::vector<std::size_t> shared_offsets_;  // start of each string in the pool
  std::vector<wb_format_class> xf_classes_;
};

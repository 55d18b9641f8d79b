// biff_workbook: an .xls workbook (BIFF8, and BIFF5/7 where practical).
//
// Opening reads the workbook globals of the "Workbook" (or "Book") stream:
// sheets (BOUNDSHEET) with kinds and visibility, the shared-string table
// across its CONTINUE records, number formats (FORMAT) and cell formats (XF)
// to tell dates and currency, DATEMODE, CODEPAGE (for BIFF5 without one, the
// character set of its FONT records, then Windows-1252), defined names (NAME with
// EXTERNSHEET) and FILEPASS, which marks an encrypted workbook: its stream is
// then decrypted whole into memory (see biff_decryptor) and read again. A sheet's
// cells are then streamed from its own BOF to its EOF: LABELSST, LABEL,
// RSTRING, NUMBER, RK, MULRK, BOOLERR, and FORMULA with its cached result
// (and the STRING record that holds a text result). Charts embedded in a
// worksheet are skipped.
// Every length is checked against the record; a damaged file raises
// dao_exception 3274, an encrypted one 3161. Owns its source bytes and
// stream. Not thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cfb_reader.hpp"
#include "wb_workbook.hpp"

class biff_workbook final : public wb_workbook {
 public:
  // The workbook in a compound file; an encrypted one opens with Excel's
  // built-in password or with `password`.
  explicit biff_workbook(wb_bytes bytes, const std::wstring& password = {});
  // A bare workbook stream (tests and fuzzing).
  explicit biff_workbook(cfb_stream stream, const std::wstring& password = {});
  ~biff_workbook() override;

  std::unique_ptr<wb_cell_stream> open_sheet(std::size_t index) const override;

  bool is_biff8() const { return b_biff8_; }
  const std::string& charset() const { return charset_; }
  std::size_t shared_count() const { return shared_offsets_.size(); }
  std::wstring_view shared_string(std::size_t index) const;
  wb_format_class xf_class(std::size_t xf) const;
  // Text in the workbook's code page (BIFF5 strings).
  std::wstring decode(const std::uint8_t* bytes, std::size_t count) const;
  // The Windows code page of a FONT record's character set; 0 for the
  // Western set and for sets that say nothing about text.
  static std::uint16_t codepage_of_charset(std::uint8_t charset);

 private:
  void load(const std::wstring& password);
  // False when the globals stop at a FILEPASS record (kept in filepass_).
  bool read_globals();
  // Replaces the stream by its decrypted copy.
  void decrypt(const std::wstring& password);
  void set_codepage(std::uint16_t codepage);

  std::unique_ptr<wb_bytes> bytes_;
  cfb_stream stream_;
  bool b_biff8_ = true;
  std::string charset_ = "CP1252";
  std::wstring shared_pool_;
  std::vector<std::size_t> shared_offsets_;
  std::vector<std::uint16_t> xf_formats_;
  std::map<std::uint16_t, wb_format_class> custom_formats_;
  std::vector<std::uint8_t> filepass_;
  bool b_decrypted_ = false;
};

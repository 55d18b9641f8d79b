#include "wb_workbook.hpp"

#include <cstring>

#include "biff_workbook.hpp"
#include "cfb_reader.hpp"
#include "dao_exception.hpp"
#include "tk_trace.hpp"
#include "xlsx_workbook.hpp"

wb_workbook::~wb_workbook() = default;

std::unique_ptr<wb_workbook> wb_workbook::open(wb_bytes bytes) {
  tk_trace(1, "wb_workbook::open(%s)", bytes.path().c_str());
  std::uint8_t head[4] = {};
  bytes.read_at(0, head, sizeof head);
  if (std::memcmp(head, "PK\x03\x04", 4) == 0 || std::memcmp(head, "PK\x05\x06", 4) == 0)
    return std::make_unique<xlsx_workbook>(std::move(bytes));
  if (cfb_reader::has_signature(bytes)) {
    bool encrypted = false;
    {
      cfb_reader container(bytes);
      // An .xlsx protected by a password is an encrypted package inside a
      // compound file (standard or agile encryption alike).
      encrypted =
          container.has_stream(L"EncryptionInfo") || container.has_stream(L"EncryptedPackage");
    }
    if (encrypted)
      throw dao_exception(dao_exception::password_protected,
                          "The workbook is encrypted with a password", tk_level_run);
    return std::make_unique<biff_workbook>(std::move(bytes));
  }
  throw dao_exception(dao_exception::not_a_workbook,
                      "The file is neither an .xlsx nor an .xls workbook", tk_level_run);
}

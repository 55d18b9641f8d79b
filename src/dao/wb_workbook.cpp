#include "wb_workbook.hpp"

#include <cstring>

#include "biff_workbook.hpp"
#include "cfb_reader.hpp"
#include "dao_exception.hpp"
#include "ooxml_decryptor.hpp"
#include "tk_trace.hpp"
#include "wb_password.hpp"
#include "xlsx_workbook.hpp"

wb_workbook::~wb_workbook() = default;

namespace {
// The whole of a small stream (EncryptionInfo is a few kilobytes).
std::vector<std::uint8_t> read_small(cfb_stream stream) {
  if (stream.size() > (1u << 20))
    throw dao_exception(dao_exception::not_a_workbook, "The workbook's EncryptionInfo is too large",
                        tk_level_run);
  std::vector<std::uint8_t> data(static_cast<std::size_t>(stream.size()));
  stream.read(data.data(), data.size());
  return data;
}

// A password-protected .xlsx: the package, decrypted.
std::vector<std::uint8_t> decrypt_package(const cfb_reader& container,
                                          const std::wstring& password) {
  if (!container.has_stream(L"EncryptionInfo") || !container.has_stream(L"EncryptedPackage"))
    throw dao_exception(dao_exception::not_a_workbook,
                        "The encrypted workbook lacks its EncryptionInfo or EncryptedPackage",
                        tk_level_run);
  ooxml_decryptor decryptor(read_small(container.open(L"EncryptionInfo")));
  if (!wb_open_with_password(decryptor, password))
    throw dao_exception(dao_exception::password_protected,
                        "The workbook is encrypted, and the password is missing or wrong",
                        tk_level_run);
  cfb_stream package = container.open(L"EncryptedPackage");
  std::vector<std::uint8_t> plain = decryptor.decrypt(package);
  if (plain.size() < 4 || std::memcmp(plain.data(), "PK\x03\x04", 4) != 0)
    throw dao_exception(dao_exception::not_a_workbook,
                        "The decrypted workbook is not a zip package", tk_level_run);
  return plain;
}
}  // namespace

std::unique_ptr<wb_workbook> wb_workbook::open(wb_bytes bytes, const std::wstring& password) {
  tk_trace(1, "wb_workbook::open(%s)", bytes.path().c_str());
  std::uint8_t head[4] = {};
  bytes.read_at(0, head, sizeof head);
  if (std::memcmp(head, "PK\x03\x04", 4) == 0 || std::memcmp(head, "PK\x05\x06", 4) == 0)
    return std::make_unique<xlsx_workbook>(std::move(bytes));
  if (cfb_reader::has_signature(bytes)) {
    std::vector<std::uint8_t> package;
    {
      cfb_reader container(bytes);
      // An .xlsx protected by a password is an encrypted package inside a
      // compound file (standard or agile encryption alike).
      if (container.has_stream(L"EncryptionInfo") || container.has_stream(L"EncryptedPackage"))
        package = decrypt_package(container, password);
    }
    if (!package.empty())
      return std::make_unique<xlsx_workbook>(wb_bytes::from_buffer(std::move(package)));
    return std::make_unique<biff_workbook>(std::move(bytes), password);
  }
  throw dao_exception(dao_exception::not_a_workbook,
                      "The file is neither an .xlsx nor an .xls workbook", tk_level_run);
}

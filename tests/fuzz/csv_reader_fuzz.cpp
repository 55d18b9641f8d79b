// Fuzz target: splitting one CSV line with csv_record.
//
// Input: first byte picks the delimiter (tab ; , blank) and the number of
// schema columns (0: the header's empty schema); the rest is the line, as
// UTF-8. Checks that a record never holds more fields than a non-empty schema
// has columns, that each field's size is its text length and that the fields
// together never hold more characters than the line.
#include <cstdint>
#include <memory>
#include <string>

#include "csv_record.hpp"
#include "fuzz_check.hpp"
#include "tk_text.hpp"
#include "udb_schema.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const char delimiters[] = {'\t', ';', ',', ' '};
  const char delimiter = delimiters[data[0] & 3];
  const std::size_t columns = (data[0] >> 2) % 9;
  const std::wstring line =
      tk_utf82w(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));

  udb_schema schema(true);
  for (std::size_t i = 0; i < columns; ++i)
    schema.add_field(std::make_unique<t_ftd>(50, L"c" + std::to_wstring(i), VT_BSTR, false, false,
                                             ole_variant(), 0));
  const csv_record record(schema, line, delimiter);

  FUZZ_CHECK(record.field_count() >= 1);
  if (columns > 0) FUZZ_CHECK(record.field_count() <= columns);
  std::size_t total = 0;
  for (std::size_t i = 0; i < record.field_count(); ++i) {
    const udb_field& field = record.field_at(i);
    const std::wstring text = field.to_wstring();
    FUZZ_CHECK(field.get_type() == VT_BSTR);
    FUZZ_CHECK(static_cast<std::size_t>(field.size) == text.size());
    total += text.size();
  }
  FUZZ_CHECK(total <= line.size());
  return 0;
}

// Fuzz target: reading a whole CSV file with csv_file (byte-order marks,
// character sets, line ends, quoting across lines, ragged rows, header
// names, the record limit).
//
// Input: the first byte picks the delimiter, whether the first row holds
// names, the character set (the locale's UTF-8 or CP1252) and whether reads
// are a few bytes with a small record limit; the rest is the file. A
// tk_exception from opening (a header that cannot be read) is a legitimate
// end, at level 1; one from create_record is a refused record, at level 0.
// Checks that reading ends, that column names are unique ignoring case and
// never empty, that every record has exactly one field per column, and that
// progress stays within 0..100.
#include <cstdint>
#include <set>
#include <string>

#include "csv_file.hpp"
#include "fuzz_check.hpp"
#include "memory_file.hpp"
#include "tk_exception.hpp"
#include "tk_text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const wchar_t delimiters[] = {L'\t', L';', L',', L' '};
  csv_record_reader::options options;
  options.delimiter = delimiters[data[0] & 3];
  const bool names = (data[0] & 4) != 0;
  options.encoding = (data[0] & 8) ? "CP1252" : "";
  if (data[0] & 16) {
    options.read_bytes = 3;
    options.max_record_chars = 40;
  }
  const memory_file file(data + 1, size - 1);
  if (!file.ok()) return 0;
  std::unique_ptr<csv_file> csv;
  try {
    csv = std::make_unique<csv_file>(file.path(), options, names);
  } catch (const tk_exception& e) {
    FUZZ_CHECK(e.level() == tk_level_run);
    return 0;
  }
  const udb_schema& schema = csv->get_schema();
  FUZZ_CHECK(schema.field_count() >= 1);
  std::set<std::wstring> seen;
  for (std::size_t i = 0; i < schema.field_count(); ++i) {
    const std::wstring& name = schema.field_at(i).name;
    FUZZ_CHECK(!name.empty());
    FUZZ_CHECK(name.find_first_of(L"\t\r\n\v\f") == std::wstring::npos);
    FUZZ_CHECK(seen.insert(tk_to_lower(name)).second);
  }
  std::size_t records = 0;
  std::int64_t last_line = 0;
  while (!csv->is_eof()) {
    try {
      const udb_record* record = csv->create_record();
      FUZZ_CHECK(record->field_count() == schema.field_count());
    } catch (const tk_exception& e) {
      FUZZ_CHECK(e.level() == tk_level_item);
    }
    FUZZ_CHECK(csv->record_line() > last_line);
    last_line = csv->record_line();
    const int progress = csv->get_progress();
    FUZZ_CHECK(progress >= 0 && progress <= 100);
    csv->move_next();
    // Every record consumes at least one byte of the input.
    FUZZ_CHECK(++records <= size);
  }
  return 0;
}

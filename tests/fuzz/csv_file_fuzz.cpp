// Fuzz target: reading a whole CSV file with csv_file (byte-order marks,
// UTF-16, line ends, header names).
//
// Input: first byte picks the delimiter and whether the first row holds
// names; the rest is the file. A tk_exception (an over-long line) is a
// legitimate end. Checks that the reading ends, that column names are unique
// ignoring case and never empty, that no record is longer than the schema,
// and that progress stays within 0..100.
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
  static const char delimiters[] = {'\t', ';', ',', ' '};
  const char delimiter = delimiters[data[0] & 3];
  const bool names = (data[0] & 4) != 0;
  const memory_file file(data + 1, size - 1);
  if (!file.ok()) return 0;
  try {
    csv_file csv(file.path(), delimiter, names);
    const udb_schema& schema = csv.get_schema();
    FUZZ_CHECK(schema.field_count() >= 1);
    std::set<std::wstring> seen;
    for (std::size_t i = 0; i < schema.field_count(); ++i) {
      const std::wstring& name = schema.field_at(i).name;
      FUZZ_CHECK(!name.empty());
      FUZZ_CHECK(seen.insert(tk_to_lower(name)).second);
    }
    std::size_t records = 0;
    while (!csv.is_eof()) {
      const udb_record* record = csv.create_record();
      FUZZ_CHECK(record->field_count() >= 1 && record->field_count() <= schema.field_count());
      const int progress = csv.get_progress();
      FUZZ_CHECK(progress >= 0 && progress <= 100);
      csv.move_next();
      // Every record consumes at least one byte of the input.
      FUZZ_CHECK(++records <= size);
    }
  } catch (const tk_exception&) {
  }
  return 0;
}

// Fuzz target: csv_record_reader read with a tiny buffer against the same
// file read with a large one.
//
// Input: the first byte picks the delimiter (tab ; , blank |), the character
// set (the locale's UTF-8, CP1252, UTF-16LE, SHIFT_JIS), how many bytes each
// read asks for (1 to 4), and the record limit (12 characters or 64 Mi); the
// rest is the file, far longer than the small reads. Whatever the buffer,
// every read must give the same status, start line and fields: a refill
// inside a quoted field, between CR and LF or inside a multi-byte character
// must change nothing. Also checks that reading ends, that line numbers never
// go back and that no record passes the limit.
#include <cstdint>
#include <string>
#include <vector>

#include "csv_record_reader.hpp"
#include "fuzz_check.hpp"
#include "memory_file.hpp"
#include "tk_exception.hpp"

namespace {

struct read_step {
  csv_record_reader::status status;
  std::int64_t line;
  std::wstring text;
  std::vector<std::size_t> ends;
  bool operator==(const read_step&) const = default;
};

std::vector<read_step> read_all(const std::wstring& path, const csv_record_reader::options& options,
                                std::size_t input_size) {
  std::vector<read_step> steps;
  csv_record_reader reader(path, options);
  csv_fields fields;
  std::int64_t last_line = 0;
  for (;;) {
    const csv_record_reader::status status = reader.read(fields);
    FUZZ_CHECK(reader.record_line() >= last_line && reader.record_line() >= 1);
    FUZZ_CHECK(reader.next_line() >= reader.record_line());
    last_line = reader.record_line();
    if (status == csv_record_reader::status::end_of_file) break;
    if (status == csv_record_reader::status::record)
      FUZZ_CHECK(fields.text.size() <= options.max_record_chars);
    const bool b_fields = status == csv_record_reader::status::record ||
                          status == csv_record_reader::status::invalid_bytes;
    steps.push_back({status, reader.record_line(), b_fields ? fields.text : std::wstring(),
                     b_fields ? fields.ends : std::vector<std::size_t>()});
    // Every record or failure consumes at least one byte of the input.
    FUZZ_CHECK(steps.size() <= input_size);
  }
  return steps;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const wchar_t delimiters[] = {L'\t', L';', L',', L' ', L'|', L',', L';', L','};
  static const char* const encodings[] = {"", "CP1252", "UTF-16LE", "SHIFT_JIS"};
  csv_record_reader::options small;
  small.delimiter = delimiters[data[0] & 7];
  small.encoding = encodings[(data[0] >> 3) & 3];
  small.read_bytes = 1 + ((data[0] >> 5) & 3);
  small.max_record_chars = (data[0] & 0x80) ? 12 : small.max_record_chars;
  csv_record_reader::options large = small;
  large.read_bytes = 1 << 16;

  const memory_file file(data + 1, size - 1);
  if (!file.ok()) return 0;
  try {
    FUZZ_CHECK(read_all(file.path(), small, size) == read_all(file.path(), large, size));
  } catch (const tk_exception&) {
    FUZZ_CHECK(false);  // a readable file never raises
  }
  return 0;
}

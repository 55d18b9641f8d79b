#include "csv_file.hpp"

#include <array>
#include <unordered_map>
#include <unordered_set>

#include "tk_exception.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

// Makes column names unique, ignoring case, by appending the suffix cycle.
// Every name along a base name's chain up to where the last search stopped
// is known to be taken, so the next search for that base resumes there: a
// header of many equal names costs one step per column instead of a walk of
// the whole chain each time.
class unique_names {
 public:
  std::wstring make(const std::wstring& base) {
    static constexpr std::array<const wchar_t*, 6> cycle = {L"_", L"1", L"_", L"2", L"_", L"3"};
    const std::wstring base_key = tk_to_lower(base);
    chain& c = chains_[base_key];
    std::wstring key = base_key + tk_to_lower(c.suffix);
    while (taken_.count(key)) {
      c.suffix += cycle[c.next];
      key += tk_to_lower(cycle[c.next]);
      c.next = (c.next + 1) % cycle.size();
    }
    taken_.insert(std::move(key));
    return base + c.suffix;
  }

 private:
  struct chain {
    std::wstring suffix;
    std::size_t next = 0;
  };
  std::unordered_set<std::wstring> taken_;
  std::unordered_map<std::wstring, chain> chains_;
};

}  // namespace

csv_file::csv_file(const std::wstring& path, char delimiter, bool b_first_row_names)
    : udb_recordset(path, true), delimiter(delimiter) {
  tk_trace(1, L"csv_file::ctor(%ls)", path.c_str());
  input = std::make_unique<csv_line_reader>(path);
  file_size = input->size();
  tk_trace(1, "=== Got file size: %lld ===", static_cast<long long>(file_size));
  read_line();
  init_schema(b_first_row_names);
  if (b_first_row_names) read_line();
}

csv_file::~csv_file() { tk_trace(2, "csv_file::dtor"); }

void csv_file::read_line() {
  if (!input->read_line(line)) line.clear();
}

void csv_file::init_schema(bool b_first_row_names) {
  tk_trace(1, L"csv_file::init_schema(%ls)", line.c_str());
  const udb_schema header_schema(true);
  const csv_record header(header_schema, line, delimiter);
  // A SQL Server table holds at most 1,024 columns. A wider first line (most
  // often the wrong delimiter) could never load, and making thousands of
  // alike names unique costs memory that grows with the square of their count.
  if (header.field_count() > max_columns)
    throw tk_exception(L"The CSV file " + get_name() + L" has " +
                           std::to_wstring(header.field_count()) +
                           L" columns; a SQL Server table holds at most 1024. "
                           L"Check that the right delimiter was chosen.",
                       tk_level_run);
  unique_names names;
  for (std::size_t i = 0; i < header.field_count(); ++i) {
    std::wstring name;
    if (b_first_row_names) name = tk_trim(header.field_at(i).to_wstring());
    if (name.empty()) name = L"F" + std::to_wstring(i + 1);
    name = names.make(name);
    schema.add_field(
        std::make_unique<t_ftd>(column_size, name, VT_BSTR, false, false, ole_variant(), 0));
  }
}

void csv_file::append_record(udb_record&) {
  tk_trace(1, "csv_file::append_record");
  throw tk_exception("Error opening CSV file", tk_level_run);
}

udb_record* csv_file::create_record() {
  tk_trace(1, "csv_file::create_record");
  current_record.reset();
  current_record = std::make_unique<csv_record>(schema, line, delimiter);
  return current_record.get();
}

bool csv_file::is_eof() { return input->at_end() && line.empty(); }

void csv_file::move_next() {
  tk_trace(1, "csv_file::move_next");
  current_record.reset();
  read_line();
}

int csv_file::get_progress() const {
  const std::int64_t position = input->position();
  tk_trace(1, "file_size=%lld, tellg=%lg", static_cast<long long>(file_size),
           static_cast<double>(position));
  if (file_size <= 0 || position >= file_size) return 100;
  return static_cast<int>(position * 100 / file_size);
}

std::wstring csv_file::write_csv_field(const std::wstring& value, char delimiter) {
  const auto delim = static_cast<wchar_t>(static_cast<unsigned char>(delimiter));
  if (value.find(delim) == std::wstring::npos && value.find(L'"') == std::wstring::npos)
    return value;
  std::wstring quoted = L"\"";
  for (const wchar_t c : value) {
    if (c == L'"') quoted += L'"';
    quoted += c;
  }
  quoted += L'"';
  return quoted;
}

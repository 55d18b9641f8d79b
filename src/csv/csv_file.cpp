#include "csv_file.hpp"

#include <array>
#include <cstdio>
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

// A header text as a column name: tabs and line breaks (a quoted header may
// span lines) become spaces, runs of blanks one blank, and the ends are
// trimmed.
std::wstring header_name(std::wstring_view text) {
  std::wstring name;
  bool b_blank = false;
  for (const wchar_t c : text) {
    if (c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\v' || c == L'\f') {
      b_blank = true;
      continue;
    }
    if (b_blank && !name.empty()) name += L' ';
    b_blank = false;
    name += c;
  }
  return name;
}

std::string hex_byte(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

bool is_utf8(const std::string& charset) { return charset == "UTF-8" || charset == "utf-8"; }

std::string encoding_advice(const std::string& charset) {
  return "If the file is in another character set, give it with --encoding=NAME (for example "
         "--encoding=" +
         std::string(is_utf8(charset) ? "CP1252" : "UTF-8") + ").";
}

}  // namespace

csv_file::csv_file(const std::wstring& path, wchar_t delimiter, bool b_first_row_names,
                   const std::string& encoding)
    : csv_file(path, csv_record_reader::options{delimiter, encoding}, b_first_row_names) {}

csv_file::csv_file(const std::wstring& path, const csv_record_reader::options& options,
                   bool b_first_row_names)
    : udb_recordset(path, true), b_header_(b_first_row_names), record_lines_(lines_kept) {
  tk_trace(1, L"csv_file::ctor(%ls)", path.c_str());
  reader_ = std::make_unique<csv_record_reader>(path, options);
  file_size = reader_->size();
  tk_trace(1, "=== Got file size: %lld ===", static_cast<long long>(file_size));
  read_record();
  init_schema(b_first_row_names);
  current_record = std::make_unique<csv_record>(schema);
  if (b_first_row_names) {
    record_number_ = 0;
    read_record();
  }
}

csv_file::~csv_file() { tk_trace(2, "csv_file::dtor"); }

void csv_file::read_record() {
  status_ = reader_->read(fields_);
  if (status_ == csv_record_reader::status::end_of_file) return;
  ++record_number_;
  record_lines_[static_cast<std::size_t>(record_number_) % lines_kept] = reader_->record_line();
}

void csv_file::fail_first_record(bool b_first_row_names) const {
  const std::string what = b_first_row_names ? "header" : "first record";
  std::string reason;
  if (status_ == csv_record_reader::status::too_long)
    reason = "it is longer than " + std::to_string(reader_->max_record_chars()) + " characters";
  else
    reason = "a quoted field in it is not closed " +
             (reader_->quote_open_at_end()
                  ? std::string("before the end of the file")
                  : "within " + std::to_string(reader_->max_record_chars()) + " characters");
  throw tk_exception("The " + what + " of the CSV file " + tk_w2a(get_name()) + " (line " +
                         std::to_string(reader_->record_line()) + ") cannot be read: " + reason +
                         ", so the table's columns cannot be taken from it. Check the quotes "
                         "on that line.",
                     tk_level_run);
}

void csv_file::init_schema(bool b_first_row_names) {
  tk_trace(1, "csv_file::init_schema(line %lld)", static_cast<long long>(reader_->record_line()));
  using status = csv_record_reader::status;
  if (status_ == status::too_long || status_ == status::unclosed_quote)
    fail_first_record(b_first_row_names);
  if (status_ == status::invalid_bytes && b_first_row_names) {
    const csv_decoder::invalid_sequence& bad = reader_->first_invalid();
    throw tk_exception("The header (line " + std::to_string(reader_->record_line()) +
                           ") of the CSV file " + tk_w2a(get_name()) + " is not valid " +
                           reader_->encoding() + " text: byte " + hex_byte(bad.byte) +
                           " at offset " + std::to_string(bad.byte_offset) + ". " +
                           encoding_advice(reader_->encoding()),
                       tk_level_run);
  }
  // An empty file still makes one column, as an empty first line would.
  const std::size_t count = status_ == status::end_of_file ? 1 : fields_.count();
  // A SQL Server table holds at most 1,024 columns. A wider first line (most
  // often the wrong delimiter) could never load, and making thousands of
  // alike names unique costs memory that grows with the square of their count.
  if (count > max_columns)
    throw tk_exception(L"The CSV file " + get_name() + L" has " + std::to_wstring(count) +
                           L" columns; a SQL Server table holds at most 1024. "
                           L"Check that the right delimiter was chosen.",
                       tk_level_run);
  unique_names names;
  for (std::size_t i = 0; i < count; ++i) {
    std::wstring name;
    if (b_first_row_names && status_ != status::end_of_file) name = header_name(fields_.field(i));
    if (name.empty()) name = L"F" + std::to_wstring(i + 1);
    name = names.make(name);
    schema.add_field(
        std::make_unique<t_ftd>(column_size, name, VT_BSTR, false, false, ole_variant(), 0));
  }
}

std::string csv_file::failure_text() const {
  using status = csv_record_reader::status;
  const std::string limit = std::to_string(reader_->max_record_chars()) + " characters";
  const std::string went_on =
      reader_->at_end() ? ""
                        : " and reading went on at line " + std::to_string(reader_->next_line());
  switch (status_) {
    case status::invalid_bytes: {
      const csv_decoder::invalid_sequence& bad = reader_->first_invalid();
      return "Byte " + hex_byte(bad.byte) + " at offset " + std::to_string(bad.byte_offset) +
             " is not valid " + reader_->encoding() + " text, so the record was not loaded. " +
             encoding_advice(reader_->encoding());
    }
    case status::too_long:
      return "The record is longer than " + limit +
             ", the most one record may hold; it was skipped" + went_on + ".";
    case status::unclosed_quote:
      return "A quoted field in this record is not closed " +
             (reader_->quote_open_at_end() ? std::string("before the end of the file")
                                           : "within " + limit) +
             "; the record was skipped" + went_on + ". Check the quotes on that line.";
    default:
      return "Record has " + std::to_string(fields_.count()) + " fields; the " +
             (b_header_ ? "header" : "first record") + " has " +
             std::to_string(schema.field_count()) +
             ". It was not loaded: check the delimiters and quotes on that line.";
  }
}

void csv_file::append_record(udb_record&) {
  tk_trace(1, "csv_file::append_record");
  throw tk_exception("Error opening CSV file", tk_level_run);
}

udb_record* csv_file::create_record() {
  tk_trace(1, "csv_file::create_record");
  if (status_ != csv_record_reader::status::record)
    throw tk_exception(failure_text(), tk_level_item);
  // Extra fields that are all empty (a delimiter at the end of every line)
  // carry nothing; any other extra field would be lost, so the record is
  // refused instead.
  const std::size_t columns = schema.field_count();
  std::size_t used = fields_.count();
  while (used > columns && fields_.field(used - 1).empty()) --used;
  if (used > columns) throw tk_exception(failure_text(), tk_level_item);
  current_record->fill(fields_);
  return current_record.get();
}

const csv_fields* csv_file::current_fields() const {
  if (status_ != csv_record_reader::status::record) return nullptr;
  std::size_t used = fields_.count();
  while (used > schema.field_count() && fields_.field(used - 1).empty()) --used;
  return used > schema.field_count() ? nullptr : &fields_;
}

bool csv_file::is_eof() { return status_ == csv_record_reader::status::end_of_file; }

void csv_file::move_next() {
  tk_trace(1, "csv_file::move_next");
  read_record();
}

std::int64_t csv_file::line_of_record(long number) const {
  if (number < 1 || number > record_number_ ||
      static_cast<std::size_t>(record_number_ - number) >= lines_kept)
    return 0;
  return record_lines_[static_cast<std::size_t>(number) % lines_kept];
}

int csv_file::get_progress() const {
  const std::int64_t position = reader_->position();
  tk_trace(1, "file_size=%lld, tellg=%lg", static_cast<long long>(file_size),
           static_cast<double>(position));
  if (file_size <= 0 || position >= file_size) return 100;
  return static_cast<int>(position * 100 / file_size);
}

std::wstring csv_file::write_csv_field(const std::wstring& value, wchar_t delimiter) {
  if (value.find_first_of(std::wstring{delimiter, L'"', L'\r', L'\n'}) == std::wstring::npos)
    return value;
  std::wstring quoted = L"\"";
  for (const wchar_t c : value) {
    if (c == L'"') quoted += L'"';
    quoted += c;
  }
  quoted += L'"';
  return quoted;
}

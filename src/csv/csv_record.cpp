#include "csv_record.hpp"

#include <memory>

#include "tk_trace.hpp"
#include "udb_schema.hpp"

csv_record::csv_record(const udb_schema& schema, const std::wstring& line, char delimiter)
    : schema(&schema) {
  do_create(line, delimiter);
}

void csv_record::add_text(std::wstring text) {
  const std::size_t position = field_count();
  std::wstring name =
      schema->empty() ? L"F" + std::to_wstring(position + 1) : schema->field_at(position).name;
  const auto size = static_cast<std::int32_t>(text.size());
  add_field(std::make_unique<udb_field>(std::move(name), size, ole_variant(text), false, false));
}

void csv_record::do_create(const std::wstring& line, char delimiter) {
  tk_trace(1, L"csv_record::do_create(%ls)", line.c_str());
  tk_trace(1, "GOT DELIM: %02X", static_cast<unsigned>(static_cast<unsigned char>(delimiter)));
  // The delimiter is a byte of the ANSI code page; the choices (tab, ';', ',',
  // blank) are the same character in every code page.
  const auto delim = static_cast<wchar_t>(static_cast<unsigned char>(delimiter));
  const std::size_t columns = schema->field_count();
  bool in_quotes = false;
  std::wstring text;
  std::size_t field_start = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const wchar_t c = line[i];
    if (c == L'"') {
      // A field that is exactly "" is an empty quoted value, as spreadsheet
      // and database exports write an empty text; read as a doubled quote
      // it would put a stray quote character into the table.
      const bool b_empty_quoted = i == field_start && i + 1 < line.size() &&
                                  line[i + 1] == L'"' &&
                                  (i + 2 == line.size() || line[i + 2] == delim);
      if (b_empty_quoted) {
        ++i;
      } else if (i + 1 < line.size() && line[i + 1] == L'"') {
        text += L'"';
        ++i;
      } else {
        in_quotes = !in_quotes;
      }
    } else if (c == delim && !in_quotes) {
      add_text(std::move(text));
      text.clear();
      field_start = i + 1;
      if (columns != 0 && field_count() == columns) return;
    } else {
      text += c;
    }
  }
  if (columns == 0 || field_count() < columns) add_text(std::move(text));
}

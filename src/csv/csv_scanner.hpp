// csv_scanner: cuts one CSV record off the front of a text, by the dialect
// every common tool reads (RFC 4180 and its usual relaxations):
//
// - A record ends at LF, CR LF or a lone CR outside quotes; the line end is
//   not part of any value. A line with nothing on it is blank, not a record.
// - A field whose first character is a double quote is quoted: it runs to the
//   next quote that is not doubled and is followed by the delimiter, a line
//   end or the end of the text. Inside it, delimiters and line ends are data
//   (a record may span lines), "" is one quote, and any other quote is kept
//   as a character ("say "hi" now" gives say "hi" now).
// - In a field that does not start with a quote, a quote is an ordinary
//   character (ab"cd and 5'10" stay as written); blanks are kept everywhere.
//
// The scanner is a pure function of the text it is shown: when that text
// ends before the record does and more may follow, it asks for more and the
// caller shows it the record again from its start, with more text.
//
// Value type, no state beyond the delimiter; thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "csv_fields.hpp"

class csv_scanner {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  enum class outcome {
    record,          // fields filled; length includes the line end
    blank_line,      // length is the line end's
    need_more,       // the text ends inside the record; b_in_quotes says where
    unclosed_quote,  // the text ends for good inside a quoted field
    end_of_text,     // nothing left
  };

  struct result {
    outcome what = outcome::end_of_text;
    std::size_t length = 0;             // characters the record or blank line takes
    std::size_t end_length = 0;         // of which its closing line end (0, 1 or 2)
    std::int64_t line_ends = 0;         // line ends passed, the closing one included
    std::size_t first_line_end = npos;  // just past the first line end inside quotes
    bool b_in_quotes = false;           // need_more: the text ended inside a quoted field
  };

  // The delimiter may be any character but the double quote, CR and LF.
  explicit csv_scanner(wchar_t delimiter);

  // Scans the record at the start of `text`. `b_end`: nothing follows the
  // text. `fields` is cleared first.
  result scan(std::wstring_view text, bool b_end, csv_fields& fields) const;

  wchar_t delimiter() const { return delimiter_; }

 private:
  wchar_t delimiter_;
};

#include "csv_scanner.hpp"

#include "tk_mail_assertion.hpp"

namespace {

constexpr wchar_t cr = L'\r';
constexpr wchar_t lf = L'\n';
constexpr wchar_t quote = L'"';

bool is_line_end(wchar_t c) { return c == cr || c == lf; }

// The length of the line end at `p` (1 or 2); 0 when a CR ends the text and
// the next character, which may be its LF, has not been seen yet.
std::size_t line_end_length(const wchar_t* p, const wchar_t* end, bool b_end) {
  if (*p == lf) return 1;
  if (p + 1 < end) return p[1] == lf ? 2 : 1;
  return b_end ? 1 : 0;
}

}  // namespace

csv_scanner::csv_scanner(wchar_t delimiter) : delimiter_(delimiter) {
  TK_ASSERT(delimiter != quote && !is_line_end(delimiter));
}

csv_scanner::result csv_scanner::scan(std::wstring_view text, bool b_end,
                                      csv_fields& fields) const {
  fields.clear();
  result r;
  const wchar_t* const begin = text.data();
  const wchar_t* const end = begin + text.size();
  const wchar_t* p = begin;
  auto need_more = [&r](bool b_in_quotes) {
    r.what = outcome::need_more;
    r.b_in_quotes = b_in_quotes;
    return r;
  };
  auto finish = [&](outcome what, std::size_t end_length) {
    r.what = what;
    r.end_length = end_length;
    r.length = static_cast<std::size_t>(p - begin) + end_length;
    if (end_length > 0) ++r.line_ends;
    return r;
  };

  if (p == end) return b_end ? r : need_more(false);
  if (is_line_end(*p)) {
    const std::size_t n = line_end_length(p, end, b_end);
    return n == 0 ? need_more(false) : finish(outcome::blank_line, n);
  }
  for (;;) {  // one field per turn
    if (p < end && *p == quote) {
      ++p;
      for (;;) {
        const wchar_t* const run = p;
        while (p < end && *p != quote && !is_line_end(*p)) ++p;
        fields.text.append(run, p);
        if (p == end) {
          if (!b_end) return need_more(true);
          r.what = outcome::unclosed_quote;
          return r;
        }
        if (*p == quote) {
          if (p + 1 == end) {
            if (!b_end) return need_more(true);
            ++p;  // closed by the end of the text
            break;
          }
          const wchar_t next = p[1];
          if (next == quote) {
            fields.text += quote;
            p += 2;
          } else if (next == delimiter_ || is_line_end(next)) {
            ++p;
            break;
          } else {
            fields.text += quote;  // a stray quote stays a character
            ++p;
          }
          continue;
        }
        // A line end inside quotes is data, kept as written.
        const std::size_t n = line_end_length(p, end, b_end);
        if (n == 0) return need_more(true);
        fields.text.append(p, n);
        p += n;
        ++r.line_ends;
        if (r.first_line_end == npos) r.first_line_end = static_cast<std::size_t>(p - begin);
      }
    } else {
      const wchar_t* const run = p;
      while (p < end && *p != delimiter_ && !is_line_end(*p)) ++p;
      fields.text.append(run, p);
      if (p == end && !b_end) return need_more(false);
    }
    fields.ends.push_back(fields.text.size());
    if (p == end) return finish(outcome::record, 0);
    if (*p == delimiter_) {
      ++p;
      continue;
    }
    const std::size_t n = line_end_length(p, end, b_end);
    if (n == 0) return need_more(false);
    return finish(outcome::record, n);
  }
}

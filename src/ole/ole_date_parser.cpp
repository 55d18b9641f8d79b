#include "ole_date_parser.hpp"

#include <array>
#include <cctype>
#include <optional>
#include <string>

#include "ole_datetime.hpp"
#include "tk_text.hpp"

namespace {

struct date_parts {
  int year = 0, month = 0, day = 0;
  bool has_date = false;
  int hour = 0, minute = 0, second = 0;
  bool round_up = false;  // fraction of a second of one half or more
};

class cursor {
 public:
  explicit cursor(std::string_view text) : text_(text) {}

  std::size_t pos() const { return pos_; }
  void reset(std::size_t pos) { pos_ = pos; }
  bool at_end() const { return pos_ == text_.size(); }

  bool skip_blanks() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
    return pos_ != start;
  }

  bool eat(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  bool eat_nocase(char c) {
    if (pos_ < text_.size() && std::tolower(static_cast<unsigned char>(text_[pos_])) == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  // A run of min..max decimal digits, not followed by another digit.
  std::optional<int> number(std::size_t min_digits, std::size_t max_digits) {
    std::size_t n = 0;
    int value = 0;
    while (pos_ + n < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_ + n]))) {
      if (n == max_digits) return std::nullopt;
      value = value * 10 + (text_[pos_ + n] - '0');
      ++n;
    }
    if (n < min_digits) return std::nullopt;
    pos_ += n;
    return value;
  }

  std::string_view digits() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    return text_.substr(start, pos_ - start);
  }

  // An English month name, full or its first three letters; 1-12.
  std::optional<int> month_name() {
    static constexpr std::array<std::string_view, 12> names = {
        "january", "february", "march",     "april",   "may",      "june",
        "july",    "august",   "september", "october", "november", "december"};
    std::size_t n = 0;
    std::string word;
    while (pos_ + n < text_.size() && std::isalpha(static_cast<unsigned char>(text_[pos_ + n]))) {
      word += static_cast<char>(std::tolower(static_cast<unsigned char>(text_[pos_ + n])));
      ++n;
    }
    for (std::size_t m = 0; m < names.size(); ++m) {
      if (word == names[m] || word == names[m].substr(0, 3)) {
        pos_ += n;
        return static_cast<int>(m + 1);
      }
    }
    return std::nullopt;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

bool read_iso_date(cursor& c, date_parts& p) {
  auto year = c.number(4, 4);
  if (!year || !c.eat('-')) return false;
  auto month = c.number(1, 2);
  if (!month || !c.eat('-')) return false;
  auto day = c.number(1, 2);
  if (!day) return false;
  p.year = *year, p.month = *month, p.day = *day;
  return true;
}

bool read_us_date(cursor& c, date_parts& p) {
  auto month = c.number(1, 2);
  if (!month || !c.eat('/')) return false;
  auto day = c.number(1, 2);
  if (!day || !c.eat('/')) return false;
  auto year = c.number(4, 4);
  if (!year) return false;
  p.year = *year, p.month = *month, p.day = *day;
  return true;
}

bool read_day_month_name(cursor& c, date_parts& p) {
  auto day = c.number(1, 2);
  if (!day || !c.eat('-')) return false;
  auto month = c.month_name();
  if (!month || !c.eat('-')) return false;
  auto year = c.number(4, 4);
  if (!year) return false;
  p.year = *year, p.month = *month, p.day = *day;
  return true;
}

bool read_month_name_day(cursor& c, date_parts& p) {
  auto month = c.month_name();
  if (!month || !c.skip_blanks()) return false;
  auto day = c.number(1, 2);
  if (!day) return false;
  const bool comma = c.eat(',');
  if (!c.skip_blanks() && !comma) return false;
  c.skip_blanks();
  auto year = c.number(4, 4);
  if (!year) return false;
  p.year = *year, p.month = *month, p.day = *day;
  return true;
}

// h:mm[:ss[.fraction]] [AM|PM], up to the end of the text.
bool read_time(cursor& c, date_parts& p) {
  auto hour = c.number(1, 2);
  if (!hour || !c.eat(':')) return false;
  auto minute = c.number(2, 2);
  if (!minute) return false;
  int second = 0;
  if (c.eat(':')) {
    auto s = c.number(2, 2);
    if (!s) return false;
    second = *s;
    if (c.eat('.')) {
      const std::string_view fraction = c.digits();
      if (fraction.empty()) return false;
      p.round_up = fraction[0] >= '5';
    }
  }
  c.skip_blanks();
  int meridiem = 0;  // 1 AM, 2 PM
  if (c.eat_nocase('a')) {
    if (!c.eat_nocase('m')) return false;
    meridiem = 1;
  } else if (c.eat_nocase('p')) {
    if (!c.eat_nocase('m')) return false;
    meridiem = 2;
  }
  c.skip_blanks();
  if (!c.at_end()) return false;
  if (meridiem != 0) {
    if (*hour < 1 || *hour > 12) return false;
    *hour %= 12;
    if (meridiem == 2) *hour += 12;
  }
  if (*hour > 23 || *minute > 59 || second > 59) return false;
  p.hour = *hour, p.minute = *minute, p.second = second;
  return true;
}

bool read_date_time(std::string_view text, date_parts& p) {
  cursor c(text);
  c.skip_blanks();
  using reader = bool (*)(cursor&, date_parts&);
  static constexpr reader date_readers[] = {read_iso_date, read_us_date, read_day_month_name,
                                            read_month_name_day};
  for (std::size_t r = 0; r < std::size(date_readers); ++r) {
    c.reset(0);
    c.skip_blanks();
    if (!date_readers[r](c, p)) continue;
    p.has_date = true;
    const bool iso = r == 0;
    const bool blank = c.skip_blanks();
    if (c.at_end()) return true;
    if (iso && !blank && c.eat('T')) return read_time(c, p);
    return blank && read_time(c, p);
  }
  c.reset(0);
  c.skip_blanks();
  p = date_parts();
  return read_time(c, p);
}

}  // namespace

HRESULT ole_date_from_text(std::string_view text, DATE* out) {
  date_parts p;
  if (!out || !read_date_time(text, p)) return DISP_E_TYPEMISMATCH;
  SYSTEMTIME day;
  if (p.has_date) {
    if (p.year < 100 || p.day < 1 || p.day > ole_days_in_month(p.year, p.month)) {
      return DISP_E_TYPEMISMATCH;
    }
    day.wYear = static_cast<std::uint16_t>(p.year);
    day.wMonth = static_cast<std::uint16_t>(p.month);
    day.wDay = static_cast<std::uint16_t>(p.day);
  }
  DATE serial = 0;
  if (!SystemTimeToVariantTime(day, &serial)) return DISP_E_TYPEMISMATCH;
  int seconds = p.hour * 3600 + p.minute * 60 + p.second + (p.round_up ? 1 : 0);
  if (seconds == 86400) {
    seconds = 0;
    serial += 1;
    if (serial > 2958465) return DISP_E_OVERFLOW;
  }
  const double time = seconds / 86400.0;
  *out = serial >= 0 ? serial + time : serial - time;
  return S_OK;
}

HRESULT VarDateFromStr(std::wstring_view text, DATE* out) {
  return ole_date_from_text(tk_w2a(text), out);
}

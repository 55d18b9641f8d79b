#include "column_classifier.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "date_text.hpp"
#include "number_text.hpp"
#include "tk_trace.hpp"

namespace {

// Enough of a value to recognise it in a message.
constexpr std::size_t example_limit = 60;

constexpr std::uint8_t auto_orders =
    date_text::order_bit(date_order::dmy) | date_text::order_bit(date_order::mdy);

bool is_boolean(std::wstring_view text) {
  static constexpr std::wstring_view words[] = {L"true", L"false"};
  for (const std::wstring_view word : words) {
    if (text.size() != word.size()) continue;
    std::size_t i = 0;
    while (i < word.size() && (text[i] | 0x20) == word[i]) ++i;
    if (i == word.size()) return true;
  }
  return false;
}

// Length in UTF-16 code units: characters past the Basic Multilingual Plane
// take two.
std::int64_t utf16_length(std::wstring_view text) {
  std::int64_t length = static_cast<std::int64_t>(text.size());
  for (const wchar_t c : text) length += static_cast<std::uint32_t>(c) > 0xFFFF;
  return length;
}

bool is_blank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view trimmed(std::wstring_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

// A value of one of the kinds a column can be typed as.
bool is_typed_value(std::wstring_view text) {
  number_text number;
  date_text date;
  return is_boolean(text) || number_text::scan(text, number) == number_fault::none ||
         date_text::scan(text, date) == date_fault::none;
}

// Why a value cannot join the typed values before it (or, for the first
// value, why it is text).
verdict_reason why_text(std::wstring_view text) {
  if (is_typed_value(text)) return verdict_reason::mixed_kinds;
  number_text number;
  switch (number_text::scan(text, number)) {
    case number_fault::leading_zero:
      return verdict_reason::leading_zero;
    case number_fault::plus_sign:
      return verdict_reason::plus_sign;
    case number_fault::comma:
      return verdict_reason::comma;
    case number_fault::too_many_digits:
      return verdict_reason::too_many_digits;
    default:
      break;
  }
  date_text date;
  switch (date_text::scan(text, date)) {
    case date_fault::invalid_date:
      return verdict_reason::invalid_date;
    case date_fault::fraction_too_long:
      return verdict_reason::fraction_too_long;
    default:
      break;
  }
  const std::wstring_view inner = trimmed(text);
  if (inner.size() != text.size() && is_typed_value(inner)) return verdict_reason::blanks;
  return verdict_reason::text_value;
}

// datetime keeps 1/300 s: the fraction must come back the same at the
// milliseconds datetime shows.
bool fits_datetime_fraction(std::uint32_t fraction) {
  if (fraction % 10000 != 0) return false;
  const std::uint32_t milliseconds = fraction / 10000;
  const std::uint32_t ticks = (milliseconds * 3 + 5) / 10;
  return (ticks * 10 + 1) / 3 == milliseconds;
}

std::int32_t rounded_length(std::int64_t longest) {
  if (longest > column_verdict::max_text_length)
    return static_cast<std::int32_t>(std::min<std::int64_t>(longest, INT32_MAX));
  return static_cast<std::int32_t>(std::max<std::int64_t>(10, (longest + 9) / 10 * 10));
}

}  // namespace

column_classifier::column_classifier(std::wstring name) : name_(std::move(name)) {}

void column_classifier::add_text(std::wstring_view text) {
  ++values_;
  if (text.empty()) {
    ++empties_;
    return;
  }
  switch (family_) {
    case family::none:
      first_text(text);
      return;
    case family::number:
      add_number(text);
      return;
    case family::date:
    case family::time:
      add_date(text);
      return;
    case family::boolean:
      add_boolean(text);
      return;
    case family::text:
      measure(text);
      return;
    default:  // a text among typed cells
      add_cell_kind(family::text);
      measure(text);
      return;
  }
}

void column_classifier::first_text(std::wstring_view text) {
  if (is_boolean(text)) {
    family_ = family::boolean;
    longest_ = static_cast<std::int64_t>(text.size());
    return;
  }
  number_text number;
  if (number_text::scan(text, number) == number_fault::none) {
    family_ = family::number;
    take_number(number, text);
    return;
  }
  date_text date;
  if (date_text::scan(text, date) == date_fault::none) {
    family_ = date.b_date ? family::date : family::time;
    take_date(date, text);
    return;
  }
  become_text(text, why_text(text));
}

void column_classifier::add_number(std::wstring_view text) {
  number_text number;
  if (number_text::scan(text, number) == number_fault::none)
    take_number(number, text);
  else
    become_text(text, why_text(text));
}

void column_classifier::add_date(std::wstring_view text) {
  date_text date;
  if (date_text::scan(text, date) == date_fault::none)
    take_date(date, text);
  else
    become_text(text, why_text(text));
}

void column_classifier::add_boolean(std::wstring_view text) {
  if (is_boolean(text))
    longest_ = std::max(longest_, static_cast<std::int64_t>(text.size()));
  else
    become_text(text, why_text(text));
}

bool column_classifier::take_number(const number_text& number, std::wstring_view text) {
  if (number.b_exponent) {
    b_exponent_ = true;
  } else if (number.scale == 0) {
    b_all_int32_ = b_all_int32_ && number.fits_signed(32);
    b_all_int64_ = b_all_int64_ && number.fits_signed(64);
  } else {
    b_fraction_ = true;
  }
  int_digits_ = std::max(int_digits_, number.int_digits);
  scale_ = std::max(scale_, number.scale);
  // Only values of more than 15 digits need the exact check, and only until
  // the first one fails it.
  if (b_all_double_ && !number.fits_double_fast() && !number.fits_double()) {
    b_all_double_ = false;
    keep_example(inexact_example_, inexact_row_, text);
  }
  // Exponent forms, and fractions too wide for decimal, have float alone.
  const bool b_float_only = b_exponent_ || int_digits_ + scale_ > number_text::max_digits;
  if (b_float_only && !b_all_double_) {
    become_text(text, b_exponent_ ? verdict_reason::beyond_float : verdict_reason::beyond_decimal);
    text_example_ = inexact_example_;
    text_row_ = inexact_row_;
    return false;
  }
  longest_ = std::max(longest_, static_cast<std::int64_t>(text.size()));  // digits only
  return true;
}

bool column_classifier::take_date(const date_text& date, std::wstring_view text) {
  if ((date.b_date ? family::date : family::time) != family_) {
    become_text(text, verdict_reason::mixed_kinds);
    return false;
  }
  b_date_time_ = b_date_time_ || (date.b_date && date.b_time);
  fraction_digits_ = std::max(fraction_digits_, date.fraction_digits);
  if (date.orders != 0) {
    if (!b_numeric_date_) {
      b_numeric_date_ = true;
      keep_example(first_numeric_, first_numeric_row_, text);
    }
    const std::uint8_t left = orders_ & date.orders;
    for (const date_order order : {date_order::dmy, date_order::mdy, date_order::ymd}) {
      const auto index = static_cast<std::size_t>(order);
      if ((orders_ & ~left & date_text::order_bit(order)) != 0)
        keep_example(ruled_out_[index], ruled_out_row_[index], text);
    }
    orders_ = left;
    if (orders_ == 0) {
      become_text(text, verdict_reason::no_date_order);
      return false;
    }
  }
  if (date.b_date && date.earliest_year() < earliest_year_) {
    earliest_year_ = date.earliest_year();
    if (earliest_year_ < 1753 && early_example_.empty())
      keep_example(early_example_, early_row_, text);
  }
  if (date.fraction != 0 && datetime_fraction_example_.empty() &&
      !fits_datetime_fraction(date.fraction))
    keep_example(datetime_fraction_example_, datetime_fraction_row_, text);
  longest_ = std::max(longest_, static_cast<std::int64_t>(text.size()));  // ASCII only
  return true;
}

void column_classifier::become_text(std::wstring_view text, verdict_reason reason) {
  family_ = family::text;
  text_reason_ = reason;
  keep_example(text_example_, text_row_, text);
  measure(text);
}

void column_classifier::measure(std::wstring_view text) {
  // Past nvarchar(max)'s threshold nothing changes any more; and a text of
  // half the longest length cannot be longer even all in surrogate pairs.
  if (longest_ > column_verdict::max_text_length) return;
  if (2 * static_cast<std::int64_t>(text.size()) <= longest_) return;
  longest_ = std::max(longest_, utf16_length(text));
}

void column_classifier::keep_example(std::wstring& slot, std::int64_t& row,
                                     std::wstring_view text) {
  if (text.size() > example_limit) {
    slot.assign(text.substr(0, example_limit));
    slot += L"...";
  } else {
    slot.assign(text);
  }
  row = values_;
}

void column_classifier::add_cell(const VARIANT& cell) {
  ++values_;
  switch (cell.vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_ERROR:
      ++empties_;
      return;
    case VT_BSTR:
      if (cell.bstrVal.empty()) {
        ++empties_;
        return;
      }
      add_cell_kind(family::text);
      measure(cell.bstrVal);
      return;
    case VT_BOOL:
      add_cell_kind(family::boolean);
      return;
    case VT_CY:
      add_cell_kind(family::cell_money);
      return;
    case VT_DATE: {
      add_cell_kind(family::cell_date);
      // Time to the second, as dates are carried: a fraction that rounds to
      // midnight is none.
      const double seconds = std::round(std::fabs(cell.date - std::trunc(cell.date)) * 86400.0);
      if (seconds != 0 && seconds != 86400.0) b_date_time_ = true;
      return;
    }
    case VT_R4:
    case VT_R8: {
      add_cell_kind(family::cell_number);
      const double value = cell.vt == VT_R4 ? static_cast<double>(cell.fltVal) : cell.dblVal;
      if (!std::isfinite(value) || value != std::trunc(value)) {
        b_fraction_ = true;
        return;
      }
      b_all_int32_ = b_all_int32_ && value >= -2147483648.0 && value <= 2147483647.0;
      b_all_int64_ =
          b_all_int64_ && value >= -9223372036854775808.0 && value < 9223372036854775808.0;
      return;
    }
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
      add_cell_kind(family::cell_number);
      return;
    case VT_UI4:
    case VT_UINT:
    case VT_I8:
    case VT_UI8: {
      add_cell_kind(family::cell_number);
      const bool b_unsigned = cell.vt == VT_UI4 || cell.vt == VT_UINT || cell.vt == VT_UI8;
      const std::int64_t value = cell.vt == VT_I8 ? cell.llVal : 0;
      const std::uint64_t magnitude =
          cell.vt == VT_UI8 ? cell.ullVal : (b_unsigned ? cell.ulVal : 0);
      if (b_unsigned) {
        b_all_int32_ = b_all_int32_ && magnitude <= INT32_MAX;
        b_all_int64_ = b_all_int64_ && magnitude <= INT64_MAX;
      } else {
        b_all_int32_ = b_all_int32_ && value >= INT32_MIN && value <= INT32_MAX;
      }
      return;
    }
    default:
      add_cell_kind(family::declared);
      return;
  }
}

void column_classifier::add_cell_kind(family kind) {
  if (family_ == family::none) {
    family_ = kind;
  } else if (family_ != kind) {
    family_ = family::declared;
    text_reason_ = verdict_reason::mixed_cells;
  }
}

column_verdict column_classifier::verdict(const classify_options& options) const {
  column_verdict v;
  switch (family_) {
    case family::none:
      break;  // the default text column
    case family::text:
      v = text_verdict(text_reason_, text_example_, text_row_);
      break;
    case family::number:
      v = number_verdict();
      break;
    case family::boolean:
      v.type = column_type::bit;
      v.reason = verdict_reason::fits;
      break;
    case family::date:
    case family::time:
      v = date_verdict(options);
      break;
    case family::cell_number:
      v.reason = verdict_reason::fits;
      v.type = b_fraction_ || !b_all_int64_
                   ? column_type::floating
                   : (b_all_int32_ ? column_type::int32 : column_type::int64);
      break;
    case family::cell_date:
      v.reason = verdict_reason::fits;
      v.type = b_date_time_ || !options.b_server_2008 ? column_type::datetime : column_type::date;
      break;
    case family::cell_money:
      v.reason = verdict_reason::fits;
      v.type = column_type::money;
      break;
    case family::declared:
      v.type = column_type::as_declared;
      v.reason = verdict_reason::mixed_cells;
      break;
  }
  v.values = values_;
  v.empties = empties_;
  // The explanation is built only for a log that will write it.
  const tk_trace_log* log = tk_trace_log::instance();
  if (log && log->enabled() && log->threshold() <= 3)
    tk_trace(3, L"column_classifier::verdict(%ls): %ls", name_.c_str(), v.explain().c_str());
  return v;
}

column_verdict column_classifier::number_verdict() const {
  column_verdict v;
  v.reason = verdict_reason::fits;
  if (b_exponent_) {
    v.type = column_type::floating;
    v.reason = verdict_reason::float_exponent;
  } else if (!b_fraction_) {
    v.type = b_all_int32_   ? column_type::int32
             : b_all_int64_ ? column_type::int64
                            : column_type::decimal;
    if (v.type == column_type::decimal) v.precision = number_text::max_digits;
  } else if (int_digits_ + scale_ > number_text::max_digits) {
    v.type = column_type::floating;
    v.reason = verdict_reason::float_wide;
  } else {
    v.type = column_type::decimal;
    v.precision = std::max(1, int_digits_ + scale_);
    v.scale = scale_;
  }
  return v;
}

column_verdict column_classifier::date_verdict(const classify_options& options) const {
  column_verdict v;
  v.reason = verdict_reason::fits;
  if (b_numeric_date_) {
    if ((orders_ & date_text::order_bit(options.order)) != 0) {
      v.order = options.order;
      v.b_order_given = true;
    } else if ((orders_ & auto_orders) == date_text::order_bit(date_order::dmy) ||
               (orders_ & auto_orders) == date_text::order_bit(date_order::mdy)) {
      v.order = (orders_ & auto_orders) == date_text::order_bit(date_order::dmy) ? date_order::dmy
                                                                                 : date_order::mdy;
      const auto other =
          static_cast<std::size_t>(v.order == date_order::dmy ? date_order::mdy : date_order::dmy);
      v.example = ruled_out_[other];
      v.example_row = ruled_out_row_[other];
    } else {
      return text_verdict(verdict_reason::ambiguous_order, first_numeric_, first_numeric_row_);
    }
  }
  if (!options.b_server_2008) {
    if (!early_example_.empty())
      return text_verdict(verdict_reason::before_1753, early_example_, early_row_);
    if (!datetime_fraction_example_.empty())
      return text_verdict(verdict_reason::datetime_fraction, datetime_fraction_example_,
                          datetime_fraction_row_);
    v.type = column_type::datetime;
  } else if (family_ == family::time) {
    v.type = column_type::time;
    v.scale = fraction_digits_;
  } else if (b_date_time_) {
    v.type = column_type::datetime2;
    v.scale = fraction_digits_;
  } else {
    v.type = column_type::date;
  }
  return v;
}

column_verdict column_classifier::text_verdict(verdict_reason reason, const std::wstring& example,
                                               std::int64_t row) const {
  column_verdict v;
  v.type = column_type::text;
  v.reason = reason;
  v.length = rounded_length(longest_);
  v.example = example;
  v.example_row = row;
  return v;
}

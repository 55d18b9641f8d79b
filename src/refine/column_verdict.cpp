#include "column_verdict.hpp"

namespace {

std::wstring widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

const wchar_t* order_name(date_order order) {
  switch (order) {
    case date_order::dmy:
      return L"d/m/y";
    case date_order::mdy:
      return L"m/d/y";
    case date_order::ymd:
      return L"y/m/d";
    default:
      return L"";
  }
}

// The order the values ruled out beside the chosen one.
const wchar_t* other_order_name(date_order order) {
  return order_name(order == date_order::dmy ? date_order::mdy : date_order::dmy);
}

bool is_date_type(column_type type) {
  return type == column_type::date || type == column_type::datetime2 || type == column_type::time ||
         type == column_type::datetime;
}

std::wstring fits_text(const column_verdict& v) {
  switch (v.type) {
    case column_type::bit:
      return L"every value is true or false";
    case column_type::int32:
      return L"every value is a whole number within 32 bits";
    case column_type::int64:
      return L"every value is a whole number within 64 bits";
    case column_type::decimal:
      if (v.scale == 0) return L"every value is a whole number, some beyond 64 bits";
      return L"every value is a number of at most " + std::to_wstring(v.precision) + L" digits, " +
             std::to_wstring(v.scale) + L" after the point";
    case column_type::floating:
      return L"every value is a number, some with a fraction";
    case column_type::money:
      return L"every value is a currency amount";
    case column_type::date:
      return L"every value is a date";
    case column_type::datetime2:
      return L"every value is a date, some with a time of day";
    case column_type::time:
      return L"every value is a time of day";
    case column_type::datetime:
      return L"every value is a date or a time; this server has no date, datetime2 or time type";
    default:
      return L"";
  }
}

std::wstring quoted(const column_verdict& v) {
  return L"row " + std::to_wstring(v.example_row) + L" '" + v.example + L"'";
}

std::wstring reason_text(const column_verdict& v) {
  switch (v.reason) {
    case verdict_reason::fits:
      return fits_text(v);
    case verdict_reason::all_empty:
      return L"every value is empty";
    case verdict_reason::float_exponent:
      return L"numbers in exponent form, each exact in float";
    case verdict_reason::float_wide:
      return L"decimal would need more than 38 digits; each value is exact in float";
    case verdict_reason::text_value:
      return quoted(v) + L" is no number, date, time or true/false";
    case verdict_reason::mixed_kinds:
      return quoted(v) + L" is of another kind than the values before it";
    case verdict_reason::leading_zero:
      return quoted(v) + L" has a leading zero that a number would lose";
    case verdict_reason::plus_sign:
      return quoted(v) + L" has a '+' that a number would lose";
    case verdict_reason::blanks:
      return quoted(v) + L" has blanks around it that a typed value would lose";
    case verdict_reason::comma:
      return quoted(v) + L" has a comma: thousands separators and decimal commas stay text";
    case verdict_reason::too_many_digits:
      return quoted(v) + L" has more than 38 significant digits";
    case verdict_reason::beyond_float:
      return L"numbers in exponent form need float, and float cannot hold " + quoted(v) +
             L" exactly";
    case verdict_reason::beyond_decimal:
      return L"decimal would need more than 38 digits, and float cannot hold " + quoted(v) +
             L" exactly";
    case verdict_reason::invalid_date:
      return quoted(v) + L" has the form of a date or time, but no such day or time exists";
    case verdict_reason::fraction_too_long:
      return quoted(v) + L" has more than 7 digits of a second";
    case verdict_reason::no_date_order:
      return L"no one order of day, month and year fits every date; " + quoted(v) +
             L" fits none left by the values before it";
    case verdict_reason::ambiguous_order:
      return L"the dates do not show the order of day and month (" + quoted(v) +
             L"); set the date order (--date_order=dmy|mdy|ymd)";
    case verdict_reason::before_1753:
      return quoted(v) + L" is before 1753, where datetime on this server begins";
    case verdict_reason::datetime_fraction:
      return quoted(v) + L" has a fraction of a second that datetime on this server would round";
    case verdict_reason::mixed_cells:
      return L"cells of several kinds: the column keeps its type";
  }
  return L"";
}

}  // namespace

std::string column_verdict::sql_type() const {
  switch (type) {
    case column_type::text:
      return length > max_text_length ? "nvarchar(max)"
                                      : "nvarchar(" + std::to_string(length) + ")";
    case column_type::bit:
      return "bit";
    case column_type::int32:
      return "int";
    case column_type::int64:
      return "bigint";
    case column_type::decimal:
      return "decimal(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    case column_type::floating:
      return "float";
    case column_type::money:
      return "money";
    case column_type::date:
      return "date";
    case column_type::datetime2:
      return "datetime2(" + std::to_string(scale) + ")";
    case column_type::time:
      return "time(" + std::to_string(scale) + ")";
    case column_type::datetime:
      return "datetime";
    case column_type::as_declared:
      return "";
  }
  return "";
}

std::wstring column_verdict::explain() const {
  std::wstring line = type == column_type::as_declared ? L"the declared type" : widen(sql_type());
  line += L": ";
  line += reason_text(*this);
  if (is_date_type(type) && order != date_order::none) {
    line += L"; numeric dates read as ";
    line += order_name(order);
    if (b_order_given)
      line += L", as the date order option says";
    else if (!example.empty())
      line += L", since " + quoted(*this) + L" is no " + other_order_name(order) + L" date";
  }
  return line;
}

// wb_number_format: what a cell's number format says about its number.
//
// Excel stores dates, times and amounts as plain numbers; only the number
// format tells them apart. Built-in formats are known by their numbers, custom
// ones by their codes: a code that shows a day, month, year, hour, minute or
// second is a date (or time), unless an elapsed-time part ([h], [mm], [ss])
// comes first, which makes it a duration; one that shows a currency symbol is currency,
// anything else a plain number. Literal text, escapes and colours in a code
// do not count. Pure functions; thread-safe.
#pragma once

#include <string_view>

#include "wb_types.hpp"

class wb_number_format final {
 public:
  // Built-in format numbers (0..163) as Excel defines them.
  static wb_format_class builtin(unsigned id);
  // A custom format code (UTF-8).
  static wb_format_class classify(std::string_view code);
};

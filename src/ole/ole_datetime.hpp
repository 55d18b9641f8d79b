// Date numbers (OLE Automation DATE) to and from broken-down SYSTEMTIME.
//
// A date number counts days since 1899-12-30 00:00 (day 0); its fraction is
// the time of day. Before day 0 the integer part counts days backwards while
// the fraction still counts forwards from that day's midnight, so -1.25 is
// 1899-12-29 06:00 (OLE's convention: the magnitude of the fraction is the
// time). Valid dates run from 0100-01-01 to 9999-12-31. A SYSTEMTIME whose
// year, month and day are all zero is a time on day 0.
// Pure functions; thread-safe.
#pragma once

#include "ole_types.hpp"

// Fails (false) for a field out of range (month 1-12, a day that exists in
// that month, hour < 24, minute < 60, second < 60, year 100-9999). The
// milliseconds are ignored.
bool SystemTimeToVariantTime(const SYSTEMTIME& st, DATE* out);

// Fails (false) for a number that is not finite or outside 0100-01-01 ..
// 9999-12-31 23:59:59. The time is rounded to the nearest second;
// wMilliseconds is 0 and wDayOfWeek is filled in.
bool VariantTimeToSystemTime(DATE date, SYSTEMTIME* out);

// Helpers shared by the date parser.
bool ole_is_leap_year(int year);
int ole_days_in_month(int year, int month);

// The system date parser: reads the common written forms of a date and time
// into a date number, the same way in every locale.
//
// Accepted forms (blanks around the whole text and between the date and the
// time are ignored; month names are English, full or three letters, any case):
//   yyyy-mm-dd                 2010-12-31
//   yyyy-mm-ddThh:mm[:ss[.f]]  2010-12-31T23:59:59 (ISO 8601; a blank may
//                              stand for the T; no time zone)
//   m/d/yyyy [time]            12/31/2010, 12/31/2010 11:59 PM
//   d-mmm-yyyy [time]          31-Dec-2010, 1-january-2010 10:00
//   mmm d[,] yyyy [time]       Dec 31, 2010, December 31 2010 08:00:00
//   time                       23:59, 11:59:59 PM (a time on day 0, 1899-12-30)
// where time is h:mm[:ss[.fraction]] with an optional AM/PM (am/pm) after it;
// with AM/PM the hour is 1-12 (12 AM is midnight), without it 0-23. Years
// have four digits (0100-9999), months and days one or two; the day must
// exist in its month. A fraction of a second is rounded to the nearest
// second. Anything else fails with DISP_E_TYPEMISMATCH (no two-digit years,
// no day-first numeric dates: those are left to the caller's own patterns).
// Pure functions; thread-safe.
#pragma once

#include <string_view>

#include "ole_types.hpp"

HRESULT VarDateFromStr(std::wstring_view text, DATE* out);
HRESULT ole_date_from_text(std::string_view text, DATE* out);

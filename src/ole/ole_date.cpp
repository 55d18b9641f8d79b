#include "ole_date.hpp"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ole_date_parser.hpp"
#include "ole_datetime.hpp"
#include "ole_number_text.hpp"
#include "ole_variant.hpp"
#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

ole_date::ole_date(const VARIANT& value) {
  tk_trace(1, "ole_date::ole_date(VARIANT, vt=%d)", value.vt);
  switch (value.vt) {
    case VT_DATE:
      if (VariantTimeToSystemTime(value.date, &systemtime)) {
        date_kind = kind_date_time;
        refine_type();
      } else {
        tk_trace(2, "Failed to convert VARIANT->SYSTEMTIME");
        date_kind = kind_none;
      }
      break;
    case VT_EMPTY:
    case VT_NULL:
      date_kind = kind_none;
      break;
    default:
      TK_FAIL();
  }
}

ole_date::ole_date(const SYSTEMTIME& value) : date_kind(kind_date_time), systemtime(value) {
  refine_type();
}

ole_date::ole_date(const std::wstring& text) : ole_date(tk_w2a(text)) {}

ole_date::ole_date(const std::string& text) {
  tk_trace(1, "ole_date::ole_date('%s')", text.c_str());
  std::string buffer = tk_trim(text);
  tk_trace(1, "After tk_trim: %s", buffer.c_str());
  bool am = false;
  for (const char* marker : {"AM", "PM", "am", "pm"}) {
    const std::size_t pos = buffer.find(marker);
    if (pos != std::string::npos) {
      am = marker[0] == 'A' || marker[0] == 'a';
      buffer = tk_trim(std::string_view(buffer).substr(0, pos));
      break;
    }
  }
  tk_trace(1, "Again buf1=%s", buffer.c_str());
  if (buffer.size() <= 4) {
    tk_trace(2, "Invalid date/time format: '%s'", buffer.c_str());
    return;
  }
  import_from_string(buffer);
  if ((date_kind == kind_date_time || date_kind == kind_date) && systemtime.wDay > 31 &&
      systemtime.wYear < 32) {
    std::swap(systemtime.wDay, systemtime.wYear);
  }
  if (text.find("PM") != std::string::npos || text.find("pm") != std::string::npos) {
    if (systemtime.wHour <= 11) systemtime.wHour += 12;
  } else if (am && systemtime.wHour == 12) {
    // 12 AM is the first hour of the day; left at 12 it would be noon.
    systemtime.wHour = 0;
  }
}

bool ole_date::is_valid() const {
  tk_trace(1, "ole_date::is_valid");
  if (date_kind == kind_none) return false;
  const SYSTEMTIME& st = systemtime;
  if (st.wDay == 0 && st.wMonth == 0 && st.wYear == 0) {
    tk_trace(1, "DATETIME is a pute time");
  } else {
    if (st.wMonth < 1 || st.wMonth > 12) {
      tk_trace(1, "Invalid month");
      return false;
    }
    if (st.wDay == 0 || st.wYear == 0 || (st.wDay > 31 && st.wYear > 31)) {
      tk_trace(1, "Invalid day and/or year");
      return false;
    }
  }
  if (st.wHour > 60 || st.wMinute > 60 || st.wSecond > 60) {
    tk_trace(1, "Invalid time");
    return false;
  }
  return true;
}

void ole_date::refine_type() {
  const SYSTEMTIME& st = systemtime;
  if (st.wDay == 0 && st.wMonth == 0 && st.wYear == 0) {
    date_kind = kind_time;
  } else if (st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0 && st.wDay != 0 &&
             st.wMonth != 0 && st.wYear != 0) {
    date_kind = kind_date;
  }
}

void ole_date::import_from_string(const std::string& text) {
  tk_trace(1, "ole_date::import_from_string");
  const char* source = text.c_str();
  // Room for any seconds text sscanf may copy out of this input.
  std::vector<char> seconds(text.size() + 1, '\0');

  if (text.size() == 14) {
    tk_trace(1, "Trying timestamp format (1)...");
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (std::sscanf(source, "%4d%02d%02d%02d%02d%02d", &y, &mo, &d, &h, &mi, &s) == 6) {
      systemtime.wYear = static_cast<std::uint16_t>(y);
      systemtime.wMonth = static_cast<std::uint16_t>(mo);
      systemtime.wDay = static_cast<std::uint16_t>(d);
      systemtime.wHour = static_cast<std::uint16_t>(h);
      systemtime.wMinute = static_cast<std::uint16_t>(mi);
      systemtime.wSecond = static_cast<std::uint16_t>(s);
      date_kind = kind_date_time;
      if (is_valid()) return;
    }
    systemtime = SYSTEMTIME();
    date_kind = kind_none;
  }

  if (text.size() == 8) {
    tk_trace(1, "Trying timestamp format (2)...");
    int y = 0, mo = 0, d = 0;
    if (std::sscanf(source, "%4d%02d%02d", &y, &mo, &d) == 3) {
      systemtime.wYear = static_cast<std::uint16_t>(y);
      systemtime.wMonth = static_cast<std::uint16_t>(mo);
      systemtime.wDay = static_cast<std::uint16_t>(d);
      date_kind = kind_date;
      if (is_valid()) return;
    }
    systemtime = SYSTEMTIME();
    date_kind = kind_none;
  }

  tk_trace(1, "Trying pure time format...");
  {
    short h = 0, mi = 0;
    if (std::sscanf(source, "%hd:%hd:%s", &h, &mi, seconds.data()) == 3) {
      systemtime.wHour = static_cast<std::uint16_t>(h);
      systemtime.wMinute = static_cast<std::uint16_t>(mi);
      date_kind = kind_time;
      if (is_valid()) {
        process_milliseconds(seconds.data());
        return;
      }
    }
    systemtime = SYSTEMTIME();
    date_kind = kind_none;
  }

  DATE serial = 0;
  SYSTEMTIME parsed;
  if (SUCCEEDED(ole_date_from_text(text, &serial)) && VariantTimeToSystemTime(serial, &parsed)) {
    tk_trace(1, "Got datetime using Microsoft API");
    systemtime = parsed;
    date_kind = kind_date_time;
    refine_type();
    return;
  }

  static constexpr const char* patterns[] = {"%hd-%hd-%hd %hd:%hd:%s", "%hd/%hd/%hd %hd:%hd:%s",
                                             "%hd.%hd.%hd %hd:%hd:%s"};
  short y = 0, mo = 0, d = 0, h = 0, mi = 0;
  for (int i = 0; i < 3; ++i) {
    tk_trace(1, "Trying datetime format #%d", i);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int items = std::sscanf(source, patterns[i], &y, &mo, &d, &h, &mi, seconds.data());
#pragma GCC diagnostic pop
    systemtime.wYear = static_cast<std::uint16_t>(y);
    systemtime.wMonth = static_cast<std::uint16_t>(mo);
    systemtime.wDay = static_cast<std::uint16_t>(d);
    systemtime.wHour = static_cast<std::uint16_t>(h);
    systemtime.wMinute = static_cast<std::uint16_t>(mi);
    if (items == 3) {
      tk_trace(1, "Format #%d succeeded (3 items)", i);
      date_kind = kind_date;
      if (is_valid()) return;
    } else if (items == 6) {
      tk_trace(1, "Format #%d succeeded (6 items)", i);
      date_kind = kind_date_time;
      if (is_valid()) {
        process_milliseconds(seconds.data());
        refine_type();
        return;
      }
    }
  }

  systemtime = SYSTEMTIME();
  date_kind = kind_none;
  tk_trace(2, "Invalid date/time format: '%s'", text.c_str());
}

void ole_date::process_milliseconds(const char* seconds_text) {
  tk_trace(1, "ole_date::process_milliseconds");
  TK_ASSERT(seconds_text != nullptr);
  tk_trace(1, "Got row sec: '%s'", seconds_text);
  double value = ole_atof(seconds_text);
  // Nothing a SYSTEMTIME can hold lies outside; a cast from there would be undefined.
  if (!(value >= 0 && value < 65536)) value = 0;
  int second = static_cast<int>(value);
  const int milliseconds = static_cast<int>((value - second) * 1000);
  tk_trace(1, "Got sec: %d", second);
  tk_trace(1, "Got msec: %d", milliseconds);
  if (milliseconds >= 500) ++second;
  int minute = systemtime.wMinute;
  int hour = systemtime.wHour;
  if (second >= 60) {
    second -= 60;
    ++minute;
  }
  if (minute >= 60) {
    minute -= 60;
    ++hour;
  }
  if (hour >= 24) {
    const bool has_date = systemtime.wYear != 0 || systemtime.wMonth != 0 || systemtime.wDay != 0;
    if (has_date) {
      // Wrapping would move a date-and-time a whole day back; stay in the
      // last second of its own day instead.
      hour = 23;
      minute = 59;
      second = 59;
    } else {
      hour -= 24;
    }
  }
  systemtime.wSecond = static_cast<std::uint16_t>(second);
  systemtime.wMinute = static_cast<std::uint16_t>(minute);
  systemtime.wHour = static_cast<std::uint16_t>(hour);
  tk_trace(1, "After processing: %02d:%02d:%02d", hour, minute, second);
}

ole_variant ole_date::to_variant() const {
  if (date_kind == kind_none) return ole_variant();
  return ole_variant(systemtime);
}

std::string ole_date::to_string() const {
  const SYSTEMTIME& st = systemtime;
  char buffer[64];
  switch (date_kind) {
    case kind_date_time:
      tk_trace(1, "printing datetime...");
      if (b_omit_midnight && st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0) {
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", st.wYear, st.wMonth, st.wDay);
      } else {
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth,
                      st.wDay, st.wHour, st.wMinute, st.wSecond);
      }
      return buffer;
    case kind_date:
      tk_trace(1, "printing date...");
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", st.wYear, st.wMonth, st.wDay);
      return buffer;
    case kind_time:
      tk_trace(1, "printing time...");
      std::snprintf(buffer, sizeof buffer, "0000-00-00 %02d:%02d:%02d", st.wHour, st.wMinute,
                    st.wSecond);
      return buffer;
    default:
      return std::string();
  }
}

std::wstring ole_date::to_wstring() const { return tk_a2w(to_string()); }

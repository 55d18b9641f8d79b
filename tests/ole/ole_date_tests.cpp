// ole_date: parsing order, validity, classification and printing; and the
// GUID extractor.
#include <gtest/gtest.h>

#include <cstring>

#include "make_time.hpp"
#include "ole_date.hpp"
#include "ole_guid_extractor.hpp"
#include "ole_variant.hpp"
#include "tk_mail_assertion.hpp"

namespace {

struct parse_case {
  const char* text;
  int kind;
  const char* printed;
};

TEST(OleDate, ParsesTextInItsOrderOfFormats) {
  const parse_case cases[] = {
      // timestamps
      {"20101231235959", 1, "2010-12-31 23:59:59"},
      {"20101231", 2, "2010-12-31"},
      {"20101331", 0, ""},
      {"20101232", 0, ""},
      // pure time, with the seconds' fraction rounded and carried
      {"10:20:30.6", 3, "0000-00-00 10:20:31"},
      {"10:20:30.4", 3, "0000-00-00 10:20:30"},
      {"10:59:59.5", 3, "0000-00-00 11:00:00"},
      {"23:59:59.7", 3, "0000-00-00 00:00:00"},
      {"10:61:00", 0, ""},
      // AM / PM are cut wherever they stand
      {"03:15:00 PM", 3, "0000-00-00 15:15:00"},
      {"03:15:00pm", 3, "0000-00-00 15:15:00"},
      {"12:30:00 PM", 3, "0000-00-00 12:30:00"},
      {"12:30:00 AM", 3, "0000-00-00 00:30:00"},
      {"11:30:00 am", 3, "0000-00-00 11:30:00"},
      {"3:15 PM", 0, ""},
      {"12/31/2010 10:00 PM", 1, "2010-12-31 22:00:00"},
      // the system parser
      {"2010-12-31 10:00:00", 1, "2010-12-31 10:00:00"},
      {"2010-12-31T10:00:00.6", 1, "2010-12-31 10:00:01"},
      {"  2010-12-31 00:00:00  ", 2, "2010-12-31"},
      {"Dec 31, 2010", 2, "2010-12-31"},
      {"31-Dec-2010 08:30", 1, "2010-12-31 08:30:00"},
      {"10:20", 1, "1899-12-30 10:20:00"},  // a time read as a date on day 0
      // the numeric patterns, day-first texts swapped into place
      {"31.12.2010 10:00:00", 1, "2010-12-31 10:00:00"},
      {"31.12.2010", 2, "2010-12-31"},
      {"31/12/2010", 2, "2010-12-31"},
      {"1.2.2010", 2, "2010-02-01"},
      {"2010.12.31 23:59:59.5", 1, "2010-12-31 23:59:59"},  // never a day back
      {"2010/2/30", 2, "2010-02-30"},  // the patterns check ranges only, not calendars
      {"2010.13.01", 0, ""},
      {"40.12.2010", 0, ""},
      // too short or no date at all
      {"2010", 0, ""},
      {"1:00", 0, ""},
      {"abcd", 0, ""},
      {"", 0, ""},
      {"   5 PM", 0, ""},
      {"not a date at all", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const ole_date date{std::string(c.text)};
    EXPECT_EQ(date.date_kind, c.kind);
    EXPECT_EQ(date.is_valid(), c.kind != 0);
    EXPECT_EQ(date.to_string(), c.printed);
    EXPECT_EQ(ole_date(std::wstring(c.printed, c.printed + std::strlen(c.printed))).to_string(),
              c.printed)
        << "the printed form reads back as itself";
  }
}

TEST(OleDate, WideTextParsesLikeNarrow) {
  const ole_date date{std::wstring(L"31.12.2010 10:00:00")};
  EXPECT_EQ(date.to_wstring(), L"2010-12-31 10:00:00");
}

TEST(OleDate, PrintsMidnightAsDateOnlyWhenAsked) {
  ole_date date(make_time(2010, 12, 31));
  EXPECT_EQ(date.date_kind, 2);
  EXPECT_EQ(date.to_string(), "2010-12-31");
  date.date_kind = 1;
  EXPECT_TRUE(date.b_omit_midnight);
  EXPECT_EQ(date.to_string(), "2010-12-31");
  date.b_omit_midnight = false;
  EXPECT_EQ(date.to_string(), "2010-12-31 00:00:00");
  date.systemtime.wHour = 10;
  date.b_omit_midnight = true;
  EXPECT_EQ(date.to_string(), "2010-12-31 10:00:00");
  date.date_kind = 0;
  EXPECT_EQ(date.to_string(), "");
}

TEST(OleDate, RefinesKindFromTheFields) {
  const struct {
    SYSTEMTIME time;
    int kind;
  } cases[] = {
      {make_time(0, 0, 0, 10, 20, 30), 3}, {make_time(0, 0, 0), 3},
      {make_time(2010, 12, 31), 2},        {make_time(2010, 12, 31, 0, 0, 1), 1},
      {make_time(2010, 0, 31), 1},  // incomplete date: unchanged
  };
  for (const auto& c : cases) {
    ole_date date(c.time);
    EXPECT_EQ(date.date_kind, c.kind) << c.time.wYear << "/" << c.time.wHour;
  }
}

TEST(OleDate, ValidityRules) {
  const struct {
    SYSTEMTIME time;
    bool valid;
  } cases[] = {
      {make_time(0, 0, 0, 10), true},
      {make_time(2010, 12, 31), true},
      {make_time(2010, 13, 1), false},
      {make_time(2010, 0, 1), false},
      {make_time(2010, 1, 0), false},
      {make_time(0, 1, 1), false},
      {make_time(31, 12, 2010), true},
      {make_time(32, 12, 32), false},
      {make_time(2010, 1, 1, 60, 60, 60), true},
      {make_time(2010, 1, 1, 61), false},
      {make_time(2010, 1, 1, 0, 61), false},
      {make_time(0, 0, 0, 0, 0, 61), false},
  };
  for (const auto& c : cases) {
    ole_date date(c.time);
    date.date_kind = 1;
    EXPECT_EQ(date.is_valid(), c.valid)
        << c.time.wYear << "-" << c.time.wMonth << "-" << c.time.wDay << " " << c.time.wHour << ":"
        << c.time.wMinute << ":" << c.time.wSecond;
  }
  ole_date none(make_time(2010, 12, 31));
  none.date_kind = 0;
  EXPECT_FALSE(none.is_valid());
}

TEST(OleDate, ProcessMillisecondsRejectsNull) {
  ole_date date(make_time(0, 0, 0, 1));
  EXPECT_THROW(date.process_milliseconds(nullptr), tk_mail_assertion);
  date.process_milliseconds("1e300");  // nonsense becomes second 0, not undefined behaviour
  EXPECT_EQ(date.systemtime.wSecond, 0);
}

TEST(OleDate, FromVariantAndBack) {
  VARIANT v;
  v.vt = VT_DATE;
  v.date = 40543.5;
  const ole_date noon(v);
  EXPECT_EQ(noon.date_kind, 1);
  EXPECT_EQ(noon.to_string(), "2010-12-31 12:00:00");
  const ole_variant back = noon.to_variant();
  EXPECT_EQ(back.get_type(), VT_DATE);
  EXPECT_EQ(back.variant.date, 40543.5);

  v.date = 40543;
  EXPECT_EQ(ole_date(v).date_kind, 2);
  v.date = 1e9;
  EXPECT_EQ(ole_date(v).date_kind, 0);
  v.vt = VT_NULL;
  EXPECT_EQ(ole_date(v).date_kind, 0);
  EXPECT_EQ(ole_date(v).to_variant().get_type(), VT_EMPTY);
  v.vt = VT_I4;
  EXPECT_THROW(ole_date{v}, tk_mail_assertion);
}

TEST(OleGuidExtractor, FindsTheBracedGuid) {
  const struct {
    const wchar_t* text;
    bool found;
    const wchar_t* braced;
    const wchar_t* hex;
  } cases[] = {
      {L"{guid {12345678-9ABC-DEF0-1234-56789ABCDEF0}}", true,
       L"{12345678-9ABC-DEF0-1234-56789ABCDEF0}", L"123456789ABCDEF0123456789ABCDEF0"},
      {L"{GUID {0000000A-000B-000C-000D-00000000000E}}", true,
       L"{0000000A-000B-000C-000D-00000000000E}", L"0000000A000B000C000D00000000000E"},
      {L"{guid {12345678-9ABC-DEF0-1234-56789ABCDEF}}", false, L"", L""},  // 44 characters
      {L"{uuid {12345678-9ABC-DEF0-1234-56789ABCDEF0}}", false, L"", L""},
      {L"{guid  12345678-9ABC-DEF0-1234-56789ABCDEF0}}", false, L"", L""},
      {L"{guid 12345678-9ABC-DEF0-1234-56789ABC{DEF0}}", false, L"", L""},  // no room for a GUID
  };
  for (const auto& c : cases) {
    const ole_guid_extractor guid{std::wstring(c.text)};
    EXPECT_EQ(guid.b_found, c.found);
    EXPECT_EQ(guid.braced_guid(), c.braced);
    EXPECT_EQ(guid.hex_guid(), c.hex);
    if (c.found) {
      EXPECT_EQ(guid.guid_pos, 6);
    } else {
      EXPECT_EQ(guid.guid_pos, -1);
    }
  }
}

}  // namespace

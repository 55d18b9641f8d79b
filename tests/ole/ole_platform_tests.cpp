// The OLE Automation stand-ins: date numbers, currency and decimal text,
// the system date parser and VariantChangeType.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "make_time.hpp"
#include "ole_convert.hpp"
#include "ole_date_parser.hpp"
#include "ole_datetime.hpp"
#include "ole_decimal.hpp"
#include "ole_number_text.hpp"

namespace {

// ---- date numbers ----------------------------------------------------------

struct date_number_case {
  SYSTEMTIME time;
  double serial;
  int day_of_week;
};

TEST(OleDateNumber, RoundTripsBothWays) {
  const date_number_case cases[] = {
      {make_time(1899, 12, 30), 0.0, 6},
      {make_time(1899, 12, 30, 6), 0.25, 6},
      {make_time(1899, 12, 29), -1.0, 5},
      {make_time(1899, 12, 29, 6), -1.25, 5},  // the fraction counts forward from midnight
      {make_time(1899, 12, 28, 18), -2.75, 4},
      {make_time(1800, 1, 1, 12), -36522.5, 3},
      {make_time(1900, 2, 28), 60.0, 3},
      {make_time(1900, 3, 1), 61.0, 4},  // no fictitious 1900-02-29 in date numbers
      {make_time(2000, 2, 29), 36585.0, 2},
      {make_time(1904, 2, 29, 12), 1521.5, 1},
      {make_time(2100, 3, 1), 73110.0, 1},
      {make_time(2010, 12, 31, 23, 59, 59), 40543.0 + 86399.0 / 86400.0, 5},
      {make_time(100, 1, 1), -657434.0, 5},
      {make_time(9999, 12, 31), 2958465.0, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.serial);
    DATE serial = 12345;
    ASSERT_TRUE(SystemTimeToVariantTime(c.time, &serial));
    EXPECT_DOUBLE_EQ(serial, c.serial);
    SYSTEMTIME back;
    ASSERT_TRUE(VariantTimeToSystemTime(c.serial, &back));
    SYSTEMTIME expected = c.time;
    expected.wDayOfWeek = static_cast<std::uint16_t>(c.day_of_week);
    EXPECT_EQ(back, expected);
  }
}

TEST(OleDateNumber, TimeWithoutDateIsDayZero) {
  DATE serial = -1;
  ASSERT_TRUE(SystemTimeToVariantTime(make_time(0, 0, 0, 18), &serial));
  EXPECT_DOUBLE_EQ(serial, 0.75);
}

TEST(OleDateNumber, RejectsImpossibleFields) {
  const SYSTEMTIME bad[] = {
      make_time(1900, 2, 29),       make_time(2001, 2, 29),          make_time(2010, 13, 1),
      make_time(2010, 0, 1),        make_time(2010, 4, 31),          make_time(2010, 1, 0),
      make_time(99, 1, 1),          make_time(10000, 1, 1),          make_time(2010, 1, 1, 24),
      make_time(2010, 1, 1, 0, 60), make_time(2010, 1, 1, 0, 0, 60), make_time(0, 1, 0),
  };
  for (const auto& st : bad) {
    DATE serial = 0;
    EXPECT_FALSE(SystemTimeToVariantTime(st, &serial))
        << st.wYear << "-" << st.wMonth << "-" << st.wDay << " " << st.wHour;
  }
}

TEST(OleDateNumber, RoundsToTheNearestSecondAndRejectsOutOfRange) {
  SYSTEMTIME st;
  ASSERT_TRUE(VariantTimeToSystemTime(1.0 - 0.4 / 86400, &st));  // 23:59:59.6
  EXPECT_EQ(st, (SYSTEMTIME{1899, 12, 0, 31, 0, 0, 0, 0}));
  ASSERT_TRUE(VariantTimeToSystemTime(-1.0 - (86399.6 / 86400), &st));  // 1899-12-29 23:59:59.6
  EXPECT_EQ(st, (SYSTEMTIME{1899, 12, 6, 30, 0, 0, 0, 0}));
  for (double serial : {-657435.0, 2958466.0, std::nan(""), HUGE_VAL}) {
    EXPECT_FALSE(VariantTimeToSystemTime(serial, &st)) << serial;
  }
}

// ---- currency and decimal --------------------------------------------------

TEST(OleCurrency, TextRoundTrips) {
  const struct {
    const char* text;
    std::int64_t scaled;
    const char* printed;
  } cases[] = {
      {"12.5", 125000, "12.5"},
      {"-0.0001", -1, "-0.0001"},
      {"  +3 ", 30000, "3"},
      {"0.00005", 0, "0"},       // half to even: down to 0
      {"0.00015", 2, "0.0002"},  // half to even: up to 2
      {"0.000051", 1, "0.0001"},
      {"1e3", 10000000, "1000"},
      {"922337203685477.5807", std::numeric_limits<std::int64_t>::max(), "922337203685477.5807"},
      {"-922337203685477.5808", std::numeric_limits<std::int64_t>::min(), "-922337203685477.5808"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    CY cy{};
    ASSERT_EQ(ole_cy_from_text(c.text, &cy), S_OK);
    EXPECT_EQ(cy.int64, c.scaled);
    EXPECT_EQ(ole_cy_to_text(cy), c.printed);
    std::wstring wide;
    ASSERT_EQ(VarBstrFromCy(cy, &wide), S_OK);
    CY again{};
    ASSERT_EQ(VarCyFromStr(wide, &again), S_OK);
    EXPECT_EQ(again, cy);
  }
}

TEST(OleCurrency, RejectsWhatIsNoCurrency) {
  const struct {
    const char* text;
    HRESULT result;
  } cases[] = {
      {"922337203685477.5808", DISP_E_OVERFLOW},
      {"1e16", DISP_E_OVERFLOW},
      {"abc", DISP_E_TYPEMISMATCH},
      {"1,5", DISP_E_TYPEMISMATCH},
      {"1.2.3", DISP_E_TYPEMISMATCH},
      {"", DISP_E_TYPEMISMATCH},
      {"-", DISP_E_TYPEMISMATCH},
      {"1e", DISP_E_TYPEMISMATCH},
  };
  for (const auto& c : cases) {
    CY cy{};
    EXPECT_EQ(ole_cy_from_text(c.text, &cy), c.result) << c.text;
  }
}

TEST(OleDecimal, TextRoundTrips) {
  const struct {
    const char* text;
    const char* printed;
    std::uint8_t scale;
  } cases[] = {
      {"1.50", "1.5", 2},
      {"-123.456", "-123.456", 3},
      {"0", "0", 0},
      {"-0.000", "0", 3},
      {"79228162514264337593543950335", "79228162514264337593543950335", 0},  // 2^96 - 1
      {"0.0000000000000000000000000001", "0.0000000000000000000000000001", 28},
      {"1.23456789012345678901234567891", "1.2345678901234567890123456789", 28},
      {"7922816251426433759354395033.54", "7922816251426433759354395033.5", 1},
      {"7922816251426433759354395033.56", "7922816251426433759354395034", 0},  // .6 would not fit
      {"2.5e-3", "0.0025", 4},
      {"12E2", "1200", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    DECIMAL d{};
    ASSERT_EQ(ole_dec_from_text(c.text, &d), S_OK);
    EXPECT_EQ(ole_dec_to_text(d), c.printed);
    EXPECT_EQ(d.scale, c.scale);
    DECIMAL again{};
    ASSERT_EQ(ole_dec_from_text(ole_dec_to_text(d), &again), S_OK);
    EXPECT_EQ(ole_dec_to_text(again), c.printed);
  }
  DECIMAL d{};
  EXPECT_EQ(ole_dec_from_text("79228162514264337593543950336", &d), DISP_E_OVERFLOW);
  EXPECT_EQ(ole_dec_from_text("1e29", &d), DISP_E_OVERFLOW);
  EXPECT_EQ(ole_dec_from_text("12abc", &d), DISP_E_TYPEMISMATCH);
}

TEST(OleDecimal, ConvertsToAndFromDoublesAndCurrency) {
  DECIMAL d{};
  ASSERT_EQ(VarDecFromR8(0.1, &d), S_OK);
  EXPECT_EQ(ole_dec_to_text(d), "0.1");
  ASSERT_EQ(VarDecFromR8(-1e20, &d), S_OK);
  EXPECT_EQ(ole_dec_to_text(d), "-100000000000000000000");
  EXPECT_EQ(VarDecFromR8(1e30, &d), DISP_E_OVERFLOW);
  EXPECT_EQ(VarDecFromR8(std::nan(""), &d), DISP_E_OVERFLOW);

  double r = 0;
  ASSERT_EQ(ole_dec_from_text("-2.75", &d), S_OK);
  ASSERT_EQ(VarR8FromDec(d, &r), S_OK);
  EXPECT_EQ(r, -2.75);
  std::int32_t i = 0;
  ASSERT_EQ(VarI4FromDec(d, &i), S_OK);
  EXPECT_EQ(i, -3);
  ASSERT_EQ(ole_dec_from_text("2.5", &d), S_OK);
  ASSERT_EQ(VarI4FromDec(d, &i), S_OK);
  EXPECT_EQ(i, 2);  // half to even
  ASSERT_EQ(ole_dec_from_text("3000000000", &d), S_OK);
  EXPECT_EQ(VarI4FromDec(d, &i), DISP_E_OVERFLOW);

  CY cy{};
  ASSERT_EQ(VarCyFromR8(0.1, &cy), S_OK);
  EXPECT_EQ(cy.int64, 1000);
  ASSERT_EQ(VarCyFromR8(-1.00005, &cy), S_OK);
  EXPECT_EQ(cy.int64, -10000);
  EXPECT_EQ(VarCyFromR8(1e15, &cy), DISP_E_OVERFLOW);
  ASSERT_EQ(VarR8FromCy(CY{-12345}, &r), S_OK);
  EXPECT_EQ(r, -1.2345);

  ASSERT_EQ(VarDecFromCy(CY{std::numeric_limits<std::int64_t>::min()}, &d), S_OK);
  EXPECT_EQ(ole_dec_to_text(d), "-922337203685477.5808");
  EXPECT_EQ(d.scale, 4);
  ASSERT_EQ(VarCyFromDec(d, &cy), S_OK);
  EXPECT_EQ(cy.int64, std::numeric_limits<std::int64_t>::min());
  ASSERT_EQ(ole_dec_from_text("1000000000000000", &d), S_OK);
  EXPECT_EQ(VarCyFromDec(d, &cy), DISP_E_OVERFLOW);
}

// ---- numbers in text, whatever the locale ------------------------------------

TEST(OleNumberText, ReadsAndWritesLikeTheCLocale) {
  EXPECT_EQ(ole_atof("  3.5xyz"), 3.5);
  EXPECT_EQ(ole_atof("abc"), 0.0);
  EXPECT_EQ(ole_format_scientific(1.5, 15), "1.500000000000000e+00");
  EXPECT_EQ(ole_format_scientific(-2.5e-7, 6), "-2.500000e-07");
  EXPECT_EQ(ole_format_general(1e20, 15), "1E+20");
  EXPECT_EQ(ole_format_general(0.1, 15), "0.1");
  EXPECT_EQ(ole_format_general(1.0f / 3.0f, 7), "0.3333333");

  bool overflow = false;
  EXPECT_EQ(ole_read_int64(" -42abc", &overflow), -42);
  EXPECT_FALSE(overflow);
  EXPECT_EQ(ole_read_int64("x1", &overflow), std::nullopt);
  ole_read_int64("9223372036854775808", &overflow);
  EXPECT_TRUE(overflow);
  EXPECT_EQ(ole_read_int64("-9223372036854775808", &overflow),
            std::numeric_limits<std::int64_t>::min());
  EXPECT_FALSE(overflow);
  EXPECT_EQ(ole_read_uint64("18446744073709551615", &overflow),
            std::numeric_limits<std::uint64_t>::max());
  EXPECT_FALSE(overflow);
  ole_read_uint64("-1", &overflow);
  EXPECT_TRUE(overflow);
}

// ---- the system date parser --------------------------------------------------

TEST(OleDateParser, AcceptsTheDocumentedForms) {
  const double d20101231 = 40543.0;
  const struct {
    const char* text;
    double serial;
  } cases[] = {
      {"2010-12-31", d20101231},
      {"2010-12-31T23:59", d20101231 + 1439.0 / 1440},
      {"2010-12-31 23:59:59", d20101231 + 86399.0 / 86400},
      {" 2010-1-5 06:00:00.4 ", d20101231 - 360 + 0.25},
      {"2010-12-31 23:59:59.5", d20101231 + 1},
      {"12/31/2010", d20101231},
      {"12/31/2010 11:59 PM", d20101231 + 1439.0 / 1440},
      {"12/31/2010 12:00 am", d20101231},
      {"12/31/2010 12:00:00 PM", d20101231 + 0.5},
      {"31-Dec-2010", d20101231},
      {"31-december-2010 18:00", d20101231 + 0.75},
      {"Dec 31, 2010", d20101231},
      {"DECEMBER 31 2010 06:00:00", d20101231 + 0.25},
      {"29-Feb-2000", 36585},
      {"18:00", 0.75},
      {"6:00:00 PM", 0.75},
      {"12/29/1899 06:00", -1.25},
  };
  for (const auto& c : cases) {
    DATE serial = -99;
    EXPECT_EQ(ole_date_from_text(c.text, &serial), S_OK) << c.text;
    EXPECT_NEAR(serial, c.serial, 1e-9) << c.text;
  }
}

TEST(OleDateParser, RejectsEverythingElse) {
  const char* cases[] = {
      "31.12.2010",
      "31/12/2010",
      "2/29/2001",
      "2010-12-31Z",
      "2010-12-31T",
      "12/31/10",
      "2010-13-01",
      "13:00 PM",
      "0:30 AM",
      "24:00",
      "10:60",
      "Dec 32, 2010",
      "Foo 1, 2010",
      "2010-12-31 10:00 x",
      "",
      "12/31/2010T10:00",
      "1-Dec-99",
      "10:20:30.",
      "0099-01-01",
      "abc",
  };
  for (const char* text : cases) {
    DATE serial = 0;
    EXPECT_NE(ole_date_from_text(text, &serial), S_OK) << text;
  }
  DATE serial = 0;
  EXPECT_EQ(VarDateFromStr(L"2010-12-31", &serial), S_OK);
  EXPECT_EQ(serial, 40543.0);
}

// ---- VariantChangeType -------------------------------------------------------

VARIANT make(VARTYPE vt) {
  VARIANT v;
  v.vt = vt;
  return v;
}

VARIANT text(const wchar_t* s) {
  VARIANT v = make(VT_BSTR);
  v.bstrVal = s;
  return v;
}

VARIANT real(double d) {
  VARIANT v = make(VT_R8);
  v.dblVal = d;
  return v;
}

VARIANT int4(std::int32_t i) {
  VARIANT v = make(VT_I4);
  v.lVal = i;
  return v;
}

std::wstring as_text(const VARIANT& v) {
  VARIANT out;
  EXPECT_EQ(VariantChangeType(&out, &v, 0, VT_BSTR), S_OK);
  return out.bstrVal;
}

TEST(OleVariantChangeType, IntegersFromRealsRoundHalfToEvenWithinRange) {
  const struct {
    double value;
    VARTYPE vt;
    HRESULT result;
    std::int64_t expected;
  } cases[] = {
      {2.5, VT_I4, S_OK, 2},
      {3.5, VT_I4, S_OK, 4},
      {-2.5, VT_I2, S_OK, -2},
      {-2.6, VT_I2, S_OK, -3},
      {32767.4, VT_I2, S_OK, 32767},
      {32767.5, VT_I2, DISP_E_OVERFLOW, 0},
      {-128.0, VT_I1, S_OK, -128},
      {-129.0, VT_I1, DISP_E_OVERFLOW, 0},
      {255.0, VT_UI1, S_OK, 255},
      {-0.5, VT_UI1, S_OK, 0},
      {-1.0, VT_UI4, DISP_E_OVERFLOW, 0},
      {4294967295.0, VT_UI4, S_OK, 4294967295LL},
      {2147483648.0, VT_I4, DISP_E_OVERFLOW, 0},
      {2147483648.0, VT_UINT, S_OK, 2147483648LL},
      {-2147483648.0, VT_INT, S_OK, -2147483648LL},
      {9.3e18, VT_I8, DISP_E_OVERFLOW, 0},
      {std::nan(""), VT_I4, DISP_E_OVERFLOW, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " -> " << c.vt);
    const VARIANT src = real(c.value);
    VARIANT out = int4(777);
    ASSERT_EQ(VariantChangeType(&out, &src, 0, c.vt), c.result);
    if (c.result != S_OK) {
      EXPECT_EQ(out.vt, VT_I4);  // untouched on failure
      EXPECT_EQ(out.lVal, 777);
      continue;
    }
    ASSERT_EQ(out.vt, c.vt);
    VARIANT wide;
    ASSERT_EQ(VariantChangeType(&wide, &out, 0, VT_I8), S_OK);
    EXPECT_EQ(wide.llVal, c.expected);
  }
}

TEST(OleVariantChangeType, TextToNumbersIsLocaleIndependent) {
  const struct {
    const wchar_t* text;
    VARTYPE vt;
    HRESULT result;
    const wchar_t* back;
  } cases[] = {
      {L" 42 ", VT_I4, S_OK, L"42"},
      {L"-7.5", VT_I4, S_OK, L"-8"},
      {L"1e3", VT_I2, S_OK, L"1000"},
      {L"70000", VT_I2, DISP_E_OVERFLOW, nullptr},
      {L"18446744073709551615", VT_UI8, S_OK, L"18446744073709551615"},
      {L"3.25", VT_R8, S_OK, L"3.25"},
      {L"3,25", VT_R8, DISP_E_TYPEMISMATCH, nullptr},
      {L"1,000", VT_I4, DISP_E_TYPEMISMATCH, nullptr},
      {L"abc", VT_R8, DISP_E_TYPEMISMATCH, nullptr},
      {L"", VT_I4, DISP_E_TYPEMISMATCH, nullptr},
      {L"1e39", VT_R4, DISP_E_OVERFLOW, nullptr},
      {L"12.34567", VT_CY, S_OK, L"12.3457"},
      {L"-0.5", VT_DECIMAL, S_OK, L"-0.5"},
      {L"TRUE", VT_BOOL, S_OK, L"True"},
      {L"false", VT_BOOL, S_OK, L"False"},
      {L"0.0", VT_BOOL, S_OK, L"False"},
      {L"-3", VT_BOOL, S_OK, L"True"},
      {L"yes", VT_BOOL, DISP_E_TYPEMISMATCH, nullptr},
      {L"2010-12-31 10:00:00", VT_DATE, S_OK, L"2010-12-31 10:00:00"},
      {L"12/31/2010", VT_DATE, S_OK, L"2010-12-31"},
      {L"31.12.2010", VT_DATE, DISP_E_TYPEMISMATCH, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<const void*>(c.text) << " -> " << c.vt);
    const VARIANT src = text(c.text);
    VARIANT out;
    ASSERT_EQ(VariantChangeType(&out, &src, 0, c.vt), c.result);
    if (c.result == S_OK) {
      EXPECT_EQ(out.vt, c.vt);
      EXPECT_EQ(as_text(out), c.back);
    }
  }
}

TEST(OleVariantChangeType, NumbersToTextAndBetweenExactTypes) {
  VARIANT v = real(0.1);
  EXPECT_EQ(as_text(v), L"0.1");
  v = real(1e20);
  EXPECT_EQ(as_text(v), L"1E+20");
  v = make(VT_R4);
  v.fltVal = 1.1f;
  EXPECT_EQ(as_text(v), L"1.1");
  v = make(VT_BOOL);
  v.boolVal = VARIANT_TRUE;
  EXPECT_EQ(as_text(v), L"True");
  VARIANT n;
  ASSERT_EQ(VariantChangeType(&n, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(n.lVal, -1);
  v = make(VT_DATE);
  v.date = 0.75;
  EXPECT_EQ(as_text(v), L"18:00:00");
  v.date = 40543.5;
  EXPECT_EQ(as_text(v), L"2010-12-31 12:00:00");
  v = make(VT_EMPTY);
  EXPECT_EQ(as_text(v), L"");

  VARIANT cy = make(VT_CY);
  cy.cyVal.int64 = 25000;  // 2.5
  ASSERT_EQ(VariantChangeType(&n, &cy, 0, VT_I4), S_OK);
  EXPECT_EQ(n.lVal, 2);
  ASSERT_EQ(VariantChangeType(&n, &cy, 0, VT_R8), S_OK);
  EXPECT_EQ(n.dblVal, 2.5);
  ASSERT_EQ(VariantChangeType(&n, &cy, 0, VT_DECIMAL), S_OK);
  EXPECT_EQ(as_text(n), L"2.5");
  VARIANT big = int4(std::numeric_limits<std::int32_t>::max());
  ASSERT_EQ(VariantChangeType(&n, &big, 0, VT_CY), S_OK);
  EXPECT_EQ(n.cyVal.int64, 21474836470000LL);
  VARIANT huge = make(VT_UI8);
  huge.ullVal = std::numeric_limits<std::uint64_t>::max();
  EXPECT_EQ(VariantChangeType(&n, &huge, 0, VT_CY), DISP_E_OVERFLOW);
  ASSERT_EQ(VariantChangeType(&n, &huge, 0, VT_DECIMAL), S_OK);
  EXPECT_EQ(as_text(n), L"18446744073709551615");
  EXPECT_EQ(VariantChangeType(&n, &huge, 0, VT_I8), DISP_E_OVERFLOW);
}

TEST(OleVariantChangeType, RejectsNullAndUnsupportedTypes) {
  VARIANT null_value = make(VT_NULL);
  VARIANT out;
  EXPECT_EQ(VariantChangeType(&out, &null_value, 0, VT_I4), DISP_E_TYPEMISMATCH);
  VARIANT array = make(VT_ARRAY | VT_UI1);
  EXPECT_EQ(VariantChangeType(&out, &array, 0, VT_BSTR), DISP_E_BADVARTYPE);
  VARIANT number = int4(1);
  EXPECT_EQ(VariantChangeType(&out, &number, 0, VT_ERROR), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantChangeType(&out, &number, 0, VT_LPSTR), DISP_E_BADVARTYPE);
  VARIANT late = real(1e7);
  EXPECT_EQ(VariantChangeType(&out, &late, 0, VT_DATE), DISP_E_OVERFLOW);
}

TEST(OleVariantChangeType, ConvertsInPlace) {
  VARIANT v = text(L"123");
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I2), S_OK);
  EXPECT_EQ(v.vt, VT_I2);
  EXPECT_EQ(v.iVal, 123);
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(v.bstrVal, L"123");
}

}  // namespace

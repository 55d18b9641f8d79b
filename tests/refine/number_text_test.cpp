#include "number_text.hpp"

#include <gtest/gtest.h>

namespace {

struct scan_case {
  const wchar_t* text;
  number_fault fault;
  int digit_count, int_digits, scale;
  bool b_exponent;
};

TEST(number_text, scan_forms_and_faults) {
  using f = number_fault;
  const scan_case cases[] = {
      // text                                       fault  digits int scale exp
      {L"0", f::none, 0, 0, 0, false},
      {L"-0", f::none, 0, 0, 0, false},
      {L"7", f::none, 1, 1, 0, false},
      {L"-120", f::none, 3, 3, 0, false},
      {L"0.10", f::none, 2, 0, 2, false},
      {L"0.005", f::none, 1, 0, 3, false},
      {L"12345678901234567.89", f::none, 19, 17, 2, false},
      {L"1e3", f::none, 1, 1, 0, true},
      {L"-2.50E-07", f::none, 3, 1, 2, true},
      {L"1.5e+300", f::none, 2, 1, 1, true},
      {L"00", f::leading_zero, 0, 0, 0, false},
      {L"007", f::leading_zero, 0, 0, 0, false},
      {L"-01", f::leading_zero, 0, 0, 0, false},
      {L"00.5", f::leading_zero, 0, 0, 0, false},
      {L"+5", f::plus_sign, 0, 0, 0, false},
      {L"1,5", f::comma, 0, 0, 0, false},
      {L"1,000", f::comma, 0, 0, 0, false},
      {L"12345678901234567890123456789012345678", f::none, 38, 38, 0, false},
      {L"123456789012345678901234567890123456789", f::too_many_digits, 0, 0, 0, false},
      {L"0.000000000000000000000000000000000000001", f::none, 1, 0, 39, false},
      {L"", f::not_a_number, 0, 0, 0, false},
      {L"-", f::not_a_number, 0, 0, 0, false},
      {L"+", f::not_a_number, 0, 0, 0, false},
      {L".5", f::not_a_number, 0, 0, 0, false},
      {L"5.", f::not_a_number, 0, 0, 0, false},
      {L"1e", f::not_a_number, 0, 0, 0, false},
      {L"1e+", f::not_a_number, 0, 0, 0, false},
      {L" 5", f::not_a_number, 0, 0, 0, false},
      {L"5 ", f::not_a_number, 0, 0, 0, false},
      {L"1,", f::not_a_number, 0, 0, 0, false},
      {L"1.2.3", f::not_a_number, 0, 0, 0, false},
      {L"2010-12", f::not_a_number, 0, 0, 0, false},
      {L"NaN", f::not_a_number, 0, 0, 0, false},
      {L"Infinity", f::not_a_number, 0, 0, 0, false},
      {L"0x1F", f::not_a_number, 0, 0, 0, false},
      {L"\uFF11", f::not_a_number, 0, 0, 0, false},  // a fullwidth digit
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "'" << c.text << "'");
    number_text number;
    ASSERT_EQ(number_text::scan(c.text, number), c.fault);
    if (c.fault != number_fault::none) continue;
    EXPECT_EQ(number.digit_count, c.digit_count);
    EXPECT_EQ(number.int_digits, c.int_digits);
    EXPECT_EQ(number.scale, c.scale);
    EXPECT_EQ(number.b_exponent, c.b_exponent);
  }
}

struct range_case {
  const wchar_t* text;
  bool int32, int64;
};

TEST(number_text, signed_ranges_at_their_edges) {
  const range_case cases[] = {
      {L"2147483647", true, true},
      {L"2147483648", false, true},
      {L"-2147483648", true, true},
      {L"-2147483649", false, true},
      {L"9223372036854775807", false, true},
      {L"9223372036854775808", false, false},
      {L"-9223372036854775808", false, true},
      {L"-9223372036854775809", false, false},
      {L"1.0", false, false},  // a fraction, even a zero one, is no whole number
      {L"1e3", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "'" << c.text << "'");
    number_text number;
    ASSERT_EQ(number_text::scan(c.text, number), number_fault::none);
    EXPECT_EQ(number.fits_signed(32), c.int32);
    EXPECT_EQ(number.fits_signed(64), c.int64);
  }
}

struct double_case {
  const wchar_t* text;
  bool fits;
};

TEST(number_text, fits_double_only_when_the_value_comes_back) {
  const double_case cases[] = {
      {L"0", true},
      {L"123456789012345", true},   // 15 digits
      {L"9007199254740992", true},  // 2^53, every whole number up to it
      {L"9007199254740993", false},
      {L"12345678901234567", false},
      {L"0.30000000000000004", true},   // the shortest form of 0.1 + 0.2
      {L"0.30000000000000003", false},  // reads back as ...04
      {L"3.0000000000000004e-1", true},
      {L"1.7976931348623157e308", true},  // the largest double
      {L"1.8e308", false},
      {L"1e400", false},
      {L"2.2250738585072014e-308", true},       // the smallest normal double
      {L"1e-320", false},                       // subnormal: digits would be lost
      {L"1.000000000000000000000000e5", true},  // trailing zeros are no digits
      {L"1.23456789012345678e5", false},        // 18 significant digits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "'" << c.text << "'");
    number_text number;
    ASSERT_EQ(number_text::scan(c.text, number), number_fault::none);
    EXPECT_EQ(number.fits_double(), c.fits);
    // The fast check never says yes where the exact one says no.
    if (number.fits_double_fast()) {
      EXPECT_TRUE(c.fits);
    }
  }
}

}  // namespace

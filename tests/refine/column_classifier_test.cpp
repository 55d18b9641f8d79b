#include "column_classifier.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using r = verdict_reason;

struct column_case {
  const char* what;
  std::vector<std::wstring> values;
  std::string type;
  verdict_reason reason;
  std::int64_t example_row = 0;  // 0: not checked
  classify_options options = {};
};

column_verdict classify(const std::vector<std::wstring>& values,
                        const classify_options& options = {}) {
  column_classifier classifier(L"c");
  for (const auto& value : values) classifier.add_text(value);
  return classifier.verdict(options);
}

void check(const column_case& c) {
  SCOPED_TRACE(c.what);
  const column_verdict v = classify(c.values, c.options);
  EXPECT_EQ(v.sql_type(), c.type);
  EXPECT_EQ(v.reason, c.reason);
  if (c.example_row != 0) {
    EXPECT_EQ(v.example_row, c.example_row);
  }
  EXPECT_EQ(v.values, static_cast<std::int64_t>(c.values.size()));
}

TEST(column_classifier, numbers) {
  const column_case cases[] = {
      {"whole numbers", {L"1", L"-20", L"300"}, "int", r::fits},
      {"0/1 stay integers", {L"0", L"1", L"1", L"0"}, "int", r::fits},
      {"32-bit edges", {L"-2147483648", L"2147483647"}, "int", r::fits},
      {"past 32 bits", {L"1", L"2147483648"}, "bigint", r::fits},
      {"19 digits in 64 bits",
       {L"9223372036854775807", L"-9223372036854775808"},
       "bigint",
       r::fits},
      {"19 digits past 64 bits", {L"1", L"9999999999999999999"}, "decimal(38,0)", r::fits},
      {"38 digits", {L"12345678901234567890123456789012345678"}, "decimal(38,0)", r::fits},
      {"39 digits",
       {L"1", L"123456789012345678901234567890123456789"},
       "nvarchar(40)",
       r::too_many_digits,
       2},
      {"fractions keep every digit", {L"12345678901234567.89", L"0.10"}, "decimal(19,2)", r::fits},
      {"integer beside fraction", {L"1.5", L"2000"}, "decimal(5,1)", r::fits},
      {"fraction below one", {L"0.5", L"-0.25"}, "decimal(2,2)", r::fits},
      {"exponent form", {L"1e3", L"2", L"-1.5E-7"}, "float", r::float_exponent},
      {"exponent after integers", {L"1", L"2", L"3e2"}, "float", r::float_exponent},
      {"exponent out of range", {L"1e3", L"1e400"}, "nvarchar(10)", r::beyond_float, 2},
      {"17 digits float cannot hold",
       {L"12345678901234567", L"1e3"},
       "nvarchar(20)",
       r::beyond_float,
       1},
      {"16 digits float holds", {L"1234567890123456", L"1e3"}, "float", r::float_exponent},
      {"too wide for decimal, exact in float",
       {L"1234567890.5", L"0.00000000000000000000000000000001"},
       "float",
       r::float_wide},
      {"too wide for decimal, inexact in float",
       {L"0.1234567890123456789012345678901234567", L"12345"},
       "nvarchar(40)",
       r::beyond_decimal,
       1},
      {"leading zeros", {L"1", L"007"}, "nvarchar(10)", r::leading_zero, 2},
      {"leading zero first", {L"0123", L"5"}, "nvarchar(10)", r::leading_zero, 1},
      {"leading '+'", {L"+5"}, "nvarchar(10)", r::plus_sign, 1},
      {"decimal comma", {L"1,5"}, "nvarchar(10)", r::comma, 1},
      {"thousands separator", {L"999", L"1,000"}, "nvarchar(10)", r::comma, 2},
      {"blank before", {L"5", L" 5"}, "nvarchar(10)", r::blanks, 2},
      {"blank after", {L"5 "}, "nvarchar(10)", r::blanks, 1},
      {"NaN", {L"1.5", L"NaN"}, "nvarchar(10)", r::text_value, 2},
      {"Infinity", {L"Infinity"}, "nvarchar(10)", r::text_value, 1},
      {"'2010-12' is no number", {L"2010-12"}, "nvarchar(10)", r::text_value, 1},
  };
  for (const auto& c : cases) check(c);
}

TEST(column_classifier, booleans_dates_and_times) {
  const column_case cases[] = {
      {"true/false any case", {L"true", L"FALSE", L"True"}, "bit", r::fits},
      {"true beside 1", {L"true", L"1"}, "nvarchar(10)", r::mixed_kinds, 2},
      {"yes/no is text", {L"yes", L"no"}, "nvarchar(10)", r::text_value, 1},
      {"ISO dates", {L"2021-12-25", L"1999-01-01"}, "date", r::fits},
      {"dates with times", {L"2021-12-25", L"2021-12-25T10:00:00"}, "datetime2(0)", r::fits},
      {"digits of a second",
       {L"2021-12-25 10:00:00.5", L"2021-12-25 10:00:00.123"},
       "datetime2(3)",
       r::fits},
      {"seven digits", {L"2021-12-25 10:00:00.1234567"}, "datetime2(7)", r::fits},
      {"eight digits", {L"2021-12-25 10:00:00.12345678"}, "nvarchar(30)", r::fraction_too_long, 1},
      {"times", {L"10:00", L"23:59:59.5"}, "time(1)", r::fits},
      {"time among dates", {L"2021-12-25", L"10:00"}, "nvarchar(10)", r::mixed_kinds, 2},
      {"number among dates", {L"2021-12-25", L"20211225"}, "nvarchar(10)", r::mixed_kinds, 2},
      {"one bad date among good ones",
       {L"2021-12-25", L"2021-02-30", L"2021-01-01"},
       "nvarchar(10)",
       r::invalid_date,
       2},
      {"a note among dates", {L"2021-12-25", L"unknown"}, "nvarchar(10)", r::text_value, 2},
      {"day first, shown by 25/12", {L"01/02/2021", L"25/12/2021"}, "date", r::fits, 2},
      {"month first, shown by 12/25", {L"12/25/2021", L"01/02/2021"}, "date", r::fits, 1},
      {"d.m.y", {L"25.12.2021", L"01.02.2021"}, "date", r::fits},
      {"d-m-y with times", {L"25-12-2021 10:00", L"01-02-2021"}, "datetime2(0)", r::fits},
      {"two-digit years", {L"25/12/21", L"01/02/03"}, "date", r::fits},
      {"all ambiguous", {L"01/02/2003", L"03/04/2005"}, "nvarchar(10)", r::ambiguous_order, 1},
      {"no order fits all", {L"25/12/2021", L"12/25/2021"}, "nvarchar(10)", r::no_date_order, 2},
      {"month names", {L"25-Dec-2021", L"Dec 25, 2021", L"1 January 2021"}, "date", r::fits},
      {"month names beside numeric dates", {L"25-Dec-2021", L"25/12/2021"}, "date", r::fits},
      {"ymd ambiguous without the option", {L"99/12/31"}, "nvarchar(10)", r::ambiguous_order, 1},
  };
  for (const auto& c : cases) check(c);
}

TEST(column_classifier, date_order_option_settles_only_what_values_leave_open) {
  const std::vector<std::wstring> ambiguous = {L"01/02/2003", L"03/04/2005"};
  for (const date_order order : {date_order::dmy, date_order::mdy}) {
    const column_verdict v = classify(ambiguous, {order, true});
    EXPECT_EQ(v.sql_type(), "date");
    EXPECT_EQ(v.order, order);
    EXPECT_TRUE(v.b_order_given);
  }
  // The values rule out m/d/y: the option cannot turn them into text.
  const column_verdict ruled = classify({L"25/12/2021", L"01/02/2003"}, {date_order::mdy, true});
  EXPECT_EQ(ruled.sql_type(), "date");
  EXPECT_EQ(ruled.order, date_order::dmy);
  EXPECT_FALSE(ruled.b_order_given);

  const column_verdict ymd = classify({L"21/12/25", L"99/01/31"}, {date_order::ymd, true});
  EXPECT_EQ(ymd.sql_type(), "date");
  EXPECT_EQ(ymd.order, date_order::ymd);
}

TEST(column_classifier, servers_before_2008_get_datetime_where_it_holds_the_values) {
  const classify_options old_server{date_order::none, false};
  const column_case cases[] = {
      {"dates", {L"2021-12-25"}, "datetime", r::fits, 0, old_server},
      {"dates and times",
       {L"2021-12-25", L"2021-12-25 10:00:00.997"},
       "datetime",
       r::fits,
       0,
       old_server},
      {"times", {L"10:00:00.123"}, "datetime", r::fits, 0, old_server},
      {"before 1753",
       {L"2021-12-25", L"1700-01-01"},
       "nvarchar(10)",
       r::before_1753,
       2,
       old_server},
      {"a fraction datetime rounds",
       {L"10:00:00.125"},
       "nvarchar(20)",
       r::datetime_fraction,
       1,
       old_server},
      {"numbers unchanged", {L"1", L"2"}, "int", r::fits, 0, old_server},
  };
  for (const auto& c : cases) check(c);
}

TEST(column_classifier, text_length_in_utf16_units_rounded_up) {
  struct length_case {
    std::vector<std::wstring> values;
    std::string type;
  };
  const std::wstring emoji = L"\U0001F600";
  std::wstring eleven_emoji, two_thousand_emoji;
  for (int i = 0; i < 11; ++i) eleven_emoji += emoji;
  for (int i = 0; i < 2000; ++i) two_thousand_emoji += emoji;
  const length_case cases[] = {
      {{L"a"}, "nvarchar(10)"},
      {{L"abc", L"abcdefghijk"}, "nvarchar(20)"},
      {{L"123456789012", L"abc"}, "nvarchar(20)"},               // the numbers before it count too
      {{L"abcdefghi" + emoji}, "nvarchar(20)"},                  // 11 units
      {{std::wstring(20, L'a'), eleven_emoji}, "nvarchar(30)"},  // 11 characters, 22 units
      {{std::wstring(4000, L'x')}, "nvarchar(4000)"},
      {{std::wstring(3991, L'x')}, "nvarchar(4000)"},
      {{std::wstring(4001, L'x')}, "nvarchar(max)"},
      {{two_thousand_emoji}, "nvarchar(4000)"},
      {{two_thousand_emoji + L"x"}, "nvarchar(max)"},
      {{L"x", two_thousand_emoji + emoji, L"y"}, "nvarchar(max)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    EXPECT_EQ(classify(c.values).sql_type(), c.type);
  }
}

TEST(column_classifier, empty_values_decide_nothing) {
  const column_verdict none = classify({L"", L"", L""});
  EXPECT_EQ(none.sql_type(), "nvarchar(50)");
  EXPECT_EQ(none.reason, r::all_empty);
  EXPECT_EQ(none.empties, 3);
  EXPECT_EQ(classify({}).sql_type(), "nvarchar(50)");

  const column_verdict sparse = classify({L"", L"1", L"", L"3", L""});
  EXPECT_EQ(sparse.sql_type(), "int");
  EXPECT_EQ(sparse.empties, 3);
  EXPECT_EQ(classify({L"", L"2021-12-25", L""}).sql_type(), "date");
}

TEST(column_classifier, explain_names_the_deciding_value_and_its_row) {
  const column_verdict v = classify({L"1", L"2", L"007"});
  EXPECT_EQ(v.example, L"007");
  const std::wstring line = v.explain();
  EXPECT_NE(line.find(L"nvarchar(10)"), std::wstring::npos);
  EXPECT_NE(line.find(L"row 3 '007'"), std::wstring::npos);

  // Only the start of a long value is kept.
  const column_verdict long_value = classify({L"1", std::wstring(500, L'z')});
  EXPECT_LT(long_value.example.size(), 100u);

  const column_verdict order = classify({L"01/02/2021", L"25/12/2021"});
  EXPECT_NE(order.explain().find(L"row 2 '25/12/2021'"), std::wstring::npos);
}

TEST(column_classifier, workbook_cells) {
  auto number = [](double d) {
    VARIANT v;
    v.vt = VT_R8;
    v.dblVal = d;
    return v;
  };
  auto date = [](double d) {
    VARIANT v;
    v.vt = VT_DATE;
    v.date = d;
    return v;
  };
  auto text = [](const wchar_t* s) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = s;
    return v;
  };
  VARIANT empty;
  VARIANT boolean;
  boolean.vt = VT_BOOL;
  boolean.boolVal = VARIANT_TRUE;
  VARIANT money;
  money.vt = VT_CY;
  money.cyVal.int64 = 15000;
  VARIANT big;
  big.vt = VT_I8;
  big.llVal = 5000000000;

  struct cell_case {
    const char* what;
    std::vector<VARIANT> cells;
    std::string type;
    bool b_server_2008 = true;
  };
  const cell_case cases[] = {
      {"whole numbers", {number(1), empty, number(-7)}, "int"},
      {"past 32 bits", {number(1), number(3e9)}, "bigint"},
      {"64-bit integer cell", {number(1), big}, "bigint"},
      {"a fraction", {number(1), number(1.5)}, "float"},
      {"past 64 bits", {number(1e19)}, "float"},
      {"dates at midnight", {date(44555), date(1)}, "date"},
      {"a date with a time", {date(44555), date(44555.5)}, "datetime"},
      {"a second short of midnight rounds to it", {date(44555.999999999)}, "date"},
      {"dates on an old server", {date(44555)}, "datetime", false},
      {"booleans", {boolean, empty}, "bit"},
      {"currency", {money}, "money"},
      {"text", {text(L"abc"), text(L""), text(L"defghijklmn")}, "nvarchar(20)"},
      {"mixed kinds keep their type", {number(1), text(L"x")}, ""},
      {"all empty", {empty, text(L"")}, "nvarchar(50)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    column_classifier classifier;
    for (const auto& cell : c.cells) classifier.add_cell(cell);
    const column_verdict v = classifier.verdict({date_order::none, c.b_server_2008});
    EXPECT_EQ(v.sql_type(), c.type);
    if (c.type.empty()) {
      EXPECT_EQ(v.type, column_type::as_declared);
    }
  }
}

}  // namespace

// Which number formats show dates, times or currency.
#include <gtest/gtest.h>

#include "wb_number_format.hpp"
#include "wb_text.hpp"

namespace {
struct format_case {
  const char* code;
  wb_format_class expected;
};

TEST(number_format, custom_codes) {
  using F = wb_format_class;
  const format_case cases[] = {
      {"General", F::plain},
      {"0.00", F::plain},
      {"#,##0.00_);[Red](#,##0.00)", F::plain},
      {"0.00E+00", F::plain},
      {"yyyy-mm-dd", F::date},
      {"[$-409]d\\-mmm\\-yy;@", F::date},
      {"h:mm AM/PM", F::date},
      {"[h]:mm:ss", F::duration},
      {"[HH]:mm", F::duration},
      {"[mm]:ss", F::duration},
      {"[ss].00", F::duration},
      {"[Red][h]:mm", F::duration},  // a colour before the elapsed part
      {"[hm]:ss", F::date},          // not one repeated letter: a time
      {"mm:ss.0", F::date},
      {"h:mm:ss", F::date},     // a time of day, not an elapsed time
      {"\"day\" 0", F::plain},  // letters inside quotes do not count
      {"\\d0", F::plain},       // nor escaped ones
      {"[Red]0.00", F::plain},  // nor colours
      {"\"$\"#,##0.00", F::currency},
      {"[$\xE2\x82\xAC-407] #,##0.00", F::currency},
      {"#,##0.00 \xE2\x82\xAC", F::currency},
      {"[$-407]0.00", F::plain},  // a locale alone is no currency
      {"0.00;\"d\"", F::plain},   // only the first section decides
      {"", F::plain},
      {"\"unterminated", F::plain},
      {"[unterminated", F::plain},
  };
  for (const auto& c : cases) EXPECT_EQ(wb_number_format::classify(c.code), c.expected) << c.code;
}

TEST(number_format, builtin_numbers) {
  using F = wb_format_class;
  const std::pair<unsigned, F> cases[] = {
      {0, F::plain}, {2, F::plain},  {5, F::currency},  {8, F::currency}, {14, F::date},
      {22, F::date}, {37, F::plain}, {44, F::currency}, {45, F::date},    {46, F::duration},
      {47, F::date}, {49, F::plain}, {164, F::plain}};
  for (const auto& [id, expected] : cases) EXPECT_EQ(wb_number_format::builtin(id), expected) << id;
}

TEST(wb_text, references_and_areas) {
  EXPECT_EQ(wb_parse_ref("A1")->col, 0u);
  EXPECT_EQ(wb_parse_ref("XFD1048576")->col, 16383u);
  EXPECT_EQ(wb_parse_ref("XFD1048576")->row, 1048575u);
  for (const char* bad : {"", "A", "1", "A0", "XFE1", "A1048577", "A1B", "$A$1x"})
    EXPECT_FALSE(wb_parse_ref(bad).has_value()) << bad;

  std::wstring sheet;
  auto area = wb_parse_area("'It''s here'!$B$2:$D$9", sheet);
  ASSERT_TRUE(area.has_value());
  EXPECT_EQ(sheet, L"It's here");
  EXPECT_EQ(area->first_col, 1u);
  EXPECT_EQ(area->last_row, 8u);
  area = wb_parse_area("Data!$A:$C", sheet);
  ASSERT_TRUE(area.has_value());
  EXPECT_EQ(area->last_row, 1048575u);
  EXPECT_EQ(area->last_col, 2u);
  for (const char* bad : {"Data!#REF!", "SUM(Data!A1)", "Data!A1,Data!B2", "A1:B2", "Data!A1:2"})
    EXPECT_FALSE(wb_parse_area(bad, sheet).has_value()) << bad;
}

TEST(wb_text, utf8_and_escapes) {
  EXPECT_EQ(wb_from_utf8("a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"), L"a\u00e9\u4e2d\U0001F600");
  EXPECT_EQ(wb_from_utf8("\xC3"), L"\uFFFD");
  EXPECT_EQ(wb_from_utf8("\xE0\x80\x80"), L"\uFFFD\uFFFD\uFFFD");  // overlong
  EXPECT_EQ(wb_decode_escapes(L"a_x000D_b_x005F_x0041_"), L"a\rb_x0041_");
  EXPECT_EQ(wb_decode_escapes(L"_x00G0_"), L"_x00G0_");
}
}  // namespace

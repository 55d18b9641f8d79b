#include <gtest/gtest.h>

#include <clocale>

#include <cstdint>
#include <string>

#include "tk_text.hpp"

namespace {

TEST(tk_trim, only_spaces_are_trimmed) {
  struct trim_case {
    std::wstring text, left, right, both;
  };
  const trim_case cases[] = {
      {L"", L"", L"", L""},
      {L"   ", L"", L"", L""},
      {L"  a b  ", L"a b  ", L"  a b", L"a b"},
      {L"\ta\t", L"\ta\t", L"\ta\t", L"\ta\t"},
      {L" \r\n", L"\r\n", L" \r\n", L"\r\n"},
      {L"x", L"x", L"x", L"x"},
  };
  for (const trim_case& c : cases) {
    EXPECT_EQ(tk_trim_left(c.text), c.left);
    EXPECT_EQ(tk_trim_right(c.text), c.right);
    EXPECT_EQ(tk_trim(c.text), c.both);
    const std::string narrow(c.text.begin(), c.text.end());
    EXPECT_EQ(tk_trim(narrow), std::string(c.both.begin(), c.both.end()));
  }
}

TEST(tk_text, utf8_round_trip_keeps_every_plane) {
  const std::wstring text = L"Zürich Москва 東京 𝄞😀 ok";
  const std::string utf8 = tk_w2utf8(text);
  EXPECT_EQ(utf8,
            "Z\xC3\xBCrich \xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0 "
            "\xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9D\x84\x9E\xF0\x9F\x98\x80 ok");
  EXPECT_EQ(tk_utf82w(utf8), text);
}

TEST(tk_text, invalid_bytes_become_replacement_and_the_rest_is_kept) {
  EXPECT_EQ(tk_utf82w("a\xFF"
                      "b\xC3"),
            L"a\uFFFDb\uFFFD");
  EXPECT_EQ(tk_utf82w(std::string("x\0y", 3)), std::wstring(L"x\0y", 3));
}

TEST(tk_text, code_pages_by_name) {
  // Cyrillic in Windows-1251, and UTF-16LE as the bulk loader sends it.
  EXPECT_EQ(tk_charset2w("\xCF\xF0\xE8\xE2\xE5\xF2", "CP1251"), L"Привет");
  EXPECT_EQ(tk_w2charset(L"Привет", "CP1251"), "\xCF\xF0\xE8\xE2\xE5\xF2");
  EXPECT_EQ(tk_w2charset(L"A😀", "UTF-16LE"), std::string("A\0\x3D\xD8\x00\xDE", 6));
  EXPECT_EQ(tk_charset2w(std::string("A\0\x3D\xD8\x00\xDE", 6), "UTF-16LE"), L"A😀");
  // Code points no UTF-16 can carry become U+FFFD rather than a broken pair.
  EXPECT_EQ(tk_w2charset(std::wstring{L'a', static_cast<wchar_t>(0xD800), L'b'}, "UTF-16LE"),
            std::string("a\0\xFD\xFF"
                        "b\0",
                        6));
  EXPECT_EQ(tk_w2charset(std::wstring(1, static_cast<wchar_t>(0x110000)), "UTF-16LE"),
            std::string("\xFD\xFF", 2));
  // A character the target cannot hold becomes '?', not the end of the text.
  EXPECT_EQ(tk_w2charset(L"a東b", "ISO-8859-1"), "a?b");
}

TEST(tk_text, ansi_code_page_follows_a_utf8_locale) {
  // CTest runs the tests under LC_ALL=C, which Tessaly reads as UTF-8.
  ASSERT_EQ(tk_ansi_charset(), "UTF-8");
  EXPECT_EQ(tk_w2a(L"né"), "n\xC3\xA9");
  EXPECT_EQ(tk_a2w("n\xC3\xA9"), L"né");
}

TEST(tk_hex_encode, upper_case_high_nibble_first) {
  const std::uint8_t bytes[] = {0x00, 0x0A, 0xB1, 0xFF};
  EXPECT_EQ(tk_hex_encode(bytes, 4), "000AB1FF");
  EXPECT_EQ(tk_hex_encode(bytes, 0), "");
}

TEST(tk_compare_nocase, orders_and_matches_ascii_names) {
  EXPECT_EQ(tk_compare_nocase(L"Sheet1", L"SHEET1"), 0);
  EXPECT_LT(tk_compare_nocase(L"a", L"B"), 0);
  EXPECT_GT(tk_compare_nocase(L"ab", L"A"), 0);
  EXPECT_NE(tk_compare_nocase(L"name", L"name_"), 0);
}

// Under cron's LC_ALL=C the process locale folds ASCII only; sheets that the
// server's case-insensitive collation sees as one name must still be seen as
// one here, or both would be sent under the same table name.
TEST(tk_compare_nocase, folds_every_alphabet_whatever_the_process_locale) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "C");
  const struct {
    const wchar_t* a;
    const wchar_t* b;
  } same[] = {{L"Отчёт", L"ОТЧЁТ"}, {L"Ελλάδα", L"ΕΛΛΆΔΑ"}, {L"Ärger", L"äRGER"}};
  for (const auto& pair : same) {
    EXPECT_EQ(tk_compare_nocase(pair.a, pair.b), 0) << tk_w2utf8(pair.a);
    EXPECT_EQ(tk_to_lower(pair.a), tk_to_lower(pair.b)) << tk_w2utf8(pair.a);
  }
  EXPECT_NE(tk_compare_nocase(L"Отчёт", L"Отчет"), 0);
  std::setlocale(LC_ALL, before.c_str());
}

}  // namespace

#include "typed_value.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "column_classifier.hpp"

namespace {

column_verdict classify(const std::vector<std::wstring>& values,
                        const classify_options& options = {}) {
  column_classifier classifier;
  for (const auto& value : values) classifier.add_text(value);
  return classifier.verdict(options);
}

std::wstring widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// The decimal text of a 128-bit integer, for messages and comparisons.
std::string to_text(__int128 value) {
  const bool negative = value < 0;
  unsigned __int128 magnitude = negative ? static_cast<unsigned __int128>(-(value + 1)) + 1
                                         : static_cast<unsigned __int128>(value);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  return negative ? "-" + digits : digits;
}

TEST(typed_value, texts_convert_by_the_verdict) {
  // Each column is classified first; its values then convert by that verdict.
  const column_verdict ints = classify({L"-2147483648", L"7"});
  const column_verdict bigints = classify({L"-9223372036854775808", L"1"});
  const column_verdict decimals = classify({L"12345678901234567.89", L"0.10", L"-3"});
  const column_verdict floats = classify({L"1e3", L"-2.5E-7"});
  const column_verdict bits = classify({L"TRUE", L"false"});
  typed_value v;

  ASSERT_TRUE(typed_value::from_text(L"-2147483648", ints, v));
  EXPECT_EQ(v.integer, INT32_MIN);
  ASSERT_TRUE(typed_value::from_text(L"-9223372036854775808", bigints, v));
  EXPECT_EQ(v.integer, INT64_MIN);

  ASSERT_EQ(decimals.sql_type(), "decimal(19,2)");
  ASSERT_TRUE(typed_value::from_text(L"12345678901234567.89", decimals, v));
  EXPECT_EQ(to_text(v.decimal), "1234567890123456789");
  ASSERT_TRUE(typed_value::from_text(L"0.10", decimals, v));
  EXPECT_EQ(to_text(v.decimal), "10");
  ASSERT_TRUE(typed_value::from_text(L"-3", decimals, v));
  EXPECT_EQ(to_text(v.decimal), "-300");

  ASSERT_TRUE(typed_value::from_text(L"-2.5E-7", floats, v));
  EXPECT_EQ(v.real, -2.5e-7);
  ASSERT_TRUE(typed_value::from_text(L"1e3", floats, v));
  EXPECT_EQ(v.real, 1000.0);

  ASSERT_TRUE(typed_value::from_text(L"TRUE", bits, v));
  EXPECT_EQ(v.integer, 1);
  ASSERT_TRUE(typed_value::from_text(L"false", bits, v));
  EXPECT_EQ(v.integer, 0);

  // Empty values are NULL in typed columns.
  ASSERT_TRUE(typed_value::from_text(L"", decimals, v));
  EXPECT_TRUE(v.b_null);
}

TEST(typed_value, values_the_verdict_does_not_hold_are_refused) {
  const column_verdict ints = classify({L"1"});
  const column_verdict decimals = classify({L"1.25"});  // decimal(3,2)
  const column_verdict dates = classify({L"2021-12-25"});
  const column_verdict bits = classify({L"true"});
  const column_verdict text = classify({L"abc"});
  typed_value v;
  EXPECT_FALSE(typed_value::from_text(L"2147483648", ints, v));
  EXPECT_FALSE(typed_value::from_text(L"1.5", ints, v));
  EXPECT_FALSE(typed_value::from_text(L"007", ints, v));
  EXPECT_FALSE(typed_value::from_text(L"1.255", decimals, v));  // would round
  EXPECT_FALSE(typed_value::from_text(L"10.5", decimals, v));   // would overflow
  EXPECT_FALSE(typed_value::from_text(L"1e1", decimals, v));
  EXPECT_FALSE(typed_value::from_text(L"2021-12-25 10:00", dates, v));  // would lose the time
  EXPECT_FALSE(typed_value::from_text(L"yes", bits, v));
  EXPECT_FALSE(typed_value::from_text(L"abc", text, v));  // text stays as it is
}

TEST(typed_value, dates_read_in_the_verdicts_order) {
  struct date_case {
    std::vector<std::wstring> column;
    classify_options options;
    const wchar_t* value;
    int year, month, day, hour, minute, second;
    std::uint32_t fraction;
  };
  const date_case cases[] = {
      {{L"25/12/2021", L"01/02/2003"}, {}, L"01/02/2003", 2003, 2, 1, 0, 0, 0, 0},
      {{L"12/25/2021", L"01/02/2003"}, {}, L"01/02/2003", 2003, 1, 2, 0, 0, 0, 0},
      {{L"01/02/03"}, {date_order::ymd, true}, L"01/02/03", 2001, 2, 3, 0, 0, 0, 0},
      {{L"2021-12-25", L"2021-12-25T23:59:58.1234567"},
       {},
       L"2021-12-25T23:59:58.1234567",
       2021,
       12,
       25,
       23,
       59,
       58,
       1234567},
      {{L"2021-12-25", L"2021-12-25T23:59:58.5"}, {}, L"2021-12-25", 2021, 12, 25, 0, 0, 0, 0},
      {{L"11:30 PM", L"00:00:01.25"}, {}, L"11:30 PM", 0, 0, 0, 23, 30, 0, 0},
      // datetime on an old server: a time of day lands on 1900-01-01.
      {{L"10:00:00.5"}, {date_order::none, false}, L"10:00:00.5", 1900, 1, 1, 10, 0, 0, 5000000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "'" << c.value << "'");
    const column_verdict verdict = classify(c.column, c.options);
    ASSERT_FALSE(verdict.is_text()) << verdict.sql_type();
    typed_value v;
    ASSERT_TRUE(typed_value::from_text(c.value, verdict, v));
    EXPECT_EQ(v.year, c.year);
    EXPECT_EQ(v.month, c.month);
    EXPECT_EQ(v.day, c.day);
    EXPECT_EQ(v.hour, c.hour);
    EXPECT_EQ(v.minute, c.minute);
    EXPECT_EQ(v.second, c.second);
    EXPECT_EQ(v.fraction, c.fraction);
  }
}

TEST(typed_value, cells_convert_by_the_verdict) {
  VARIANT whole;
  whole.vt = VT_R8;
  whole.dblVal = 3e9;
  VARIANT day;
  day.vt = VT_DATE;
  day.date = 44555;  // 2021-12-25
  VARIANT empty;

  column_classifier numbers;
  numbers.add_cell(whole);
  numbers.add_cell(empty);
  const column_verdict bigints = numbers.verdict({});
  ASSERT_EQ(bigints.sql_type(), "bigint");
  typed_value v;
  ASSERT_TRUE(typed_value::from_cell(whole, bigints, v));
  EXPECT_EQ(v.integer, 3000000000);
  ASSERT_TRUE(typed_value::from_cell(empty, bigints, v));
  EXPECT_TRUE(v.b_null);
  whole.dblVal = 1.5;
  EXPECT_FALSE(typed_value::from_cell(whole, bigints, v));

  column_classifier dates;
  dates.add_cell(day);
  const column_verdict date_only = dates.verdict({});
  ASSERT_EQ(date_only.sql_type(), "date");
  ASSERT_TRUE(typed_value::from_cell(day, date_only, v));
  EXPECT_EQ(v.year * 10000 + v.month * 100 + v.day, 20211225);
  day.date = 44555.5;
  EXPECT_FALSE(typed_value::from_cell(day, date_only, v));
}

// A small xorshift generator: the same values on every run.
struct random_source {
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  std::uint64_t next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
};

// Columns of random values of one kind: the verdict is the expected type and
// every value converts to exactly what its text says.
TEST(typed_value, random_columns_convert_to_what_their_texts_say) {
  random_source random;
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE(round);
    std::vector<std::string> integers, decimals, floats;
    for (int i = 0; i < 200; ++i) {
      const auto wide = static_cast<std::int64_t>(random.next()) >> random.below(63);
      integers.push_back(std::to_string(wide));
      std::string fraction = std::to_string(random.next() % 1000000);
      fraction.resize(static_cast<std::size_t>(1 + random.below(6)), '0');
      decimals.push_back((random.below(2) ? "-" : "") + std::to_string(random.next() % 100000000) +
                         "." + fraction);
      const double d = static_cast<double>(static_cast<std::int64_t>(random.next())) /
                       static_cast<double>(1 + random.next() % 1000000007);
      char text[40];
      floats.emplace_back(
          text, std::to_chars(text, text + sizeof text, d, std::chars_format::scientific).ptr);
    }
    std::vector<std::wstring> column;
    for (const auto& s : integers) column.push_back(widen(s));
    const column_verdict integer_verdict = classify(column);
    EXPECT_TRUE(integer_verdict.type == column_type::int64 ||
                integer_verdict.type == column_type::int32);
    for (const auto& s : integers) {
      typed_value v;
      ASSERT_TRUE(typed_value::from_text(widen(s), integer_verdict, v)) << s;
      EXPECT_EQ(std::to_string(v.integer), s);
    }

    column.clear();
    for (const auto& s : decimals) column.push_back(widen(s));
    const column_verdict decimal_verdict = classify(column);
    ASSERT_EQ(decimal_verdict.type, column_type::decimal);
    for (const auto& s : decimals) {
      typed_value v;
      ASSERT_TRUE(typed_value::from_text(widen(s), decimal_verdict, v)) << s;
      // The unscaled integer is the text's digits padded to the column's scale.
      std::string expected = s;
      const std::size_t point = expected.find('.');
      const std::size_t places = expected.size() - point - 1;
      expected.erase(point, 1);
      expected.append(static_cast<std::size_t>(decimal_verdict.scale) - places, '0');
      while (expected.size() > 1 &&
             (expected[0] == '0' || (expected[0] == '-' && expected[1] == '0')))
        expected.erase(expected[0] == '-' ? 1 : 0, 1);
      if (expected == "-0") expected = "0";
      EXPECT_EQ(to_text(v.decimal), expected) << s;
    }

    column.clear();
    for (const auto& s : floats) column.push_back(widen(s));
    const column_verdict float_verdict = classify(column);
    ASSERT_EQ(float_verdict.sql_type(), "float");
    for (const auto& s : floats) {
      typed_value v;
      ASSERT_TRUE(typed_value::from_text(widen(s), float_verdict, v)) << s;
      double expected = 0;
      std::from_chars(s.data(), s.data() + s.size(), expected);
      EXPECT_EQ(v.real, expected) << s;
    }
  }
}

TEST(typed_value, random_dates_convert_to_their_own_fields) {
  random_source random;
  static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int round = 0; round < 20; ++round) {
    struct fields {
      int year, month, day, hour, minute, second;
    };
    std::vector<fields> expected;
    std::vector<std::wstring> column;
    for (int i = 0; i < 100; ++i) {
      const fields f{1900 + random.below(200), 1 + random.below(12), 1 + random.below(28),
                     random.below(24),         random.below(60),     random.below(60)};
      char text[64];
      switch (random.below(4)) {
        case 0:
          std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", f.year, f.month, f.day,
                        f.hour, f.minute, f.second);
          break;
        case 1:  // day first
          std::snprintf(text, sizeof text, "%d/%d/%04d %d:%02d:%02d", f.day, f.month, f.year,
                        f.hour, f.minute, f.second);
          break;
        case 2:
          std::snprintf(text, sizeof text, "%d-%s-%04d %02d:%02d:%02d", f.day, months[f.month - 1],
                        f.year, f.hour, f.minute, f.second);
          break;
        default:
          std::snprintf(text, sizeof text, "%d.%02d.%04d %02d:%02d:%02d", f.day, f.month, f.year,
                        f.hour, f.minute, f.second);
          break;
      }
      expected.push_back(f);
      column.push_back(widen(text));
    }
    column.push_back(L"25/12/2021 00:00:00");  // rules out month first
    expected.push_back({2021, 12, 25, 0, 0, 0});
    const column_verdict verdict = classify(column);
    ASSERT_EQ(verdict.sql_type(), "datetime2(0)");
    for (std::size_t i = 0; i < column.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "'" << column[i] << "'");
      typed_value v;
      ASSERT_TRUE(typed_value::from_text(column[i], verdict, v));
      const fields& f = expected[i];
      EXPECT_EQ(v.year * 10000 + v.month * 100 + v.day, f.year * 10000 + f.month * 100 + f.day);
      EXPECT_EQ(v.hour * 10000 + v.minute * 100 + v.second,
                f.hour * 10000 + f.minute * 100 + f.second);
    }
  }
}

// Whatever a one-value column is typed as, that value converts by the verdict:
// the classifier and the conversion never disagree. The texts are random runs
// of digits and the separators numbers and dates are made of.
TEST(typed_value, every_value_a_typed_verdict_counted_converts) {
  static const wchar_t* const pieces[] = {L"-", L"/",   L".",   L":",   L" ", L"T", L"e", L"E+",
                                          L",", L" PM", L" am", L"Dec", L"+", L"0", L"00"};
  random_source random;
  std::map<std::string, int> typed;
  auto digits = [&](int most) {
    std::wstring run;
    for (int count = 1 + random.below(most); count > 0; --count)
      run += static_cast<wchar_t>(L'0' + random.below(10));
    return run;
  };
  // A day, month or year, mostly in range.
  auto field = [&] {
    switch (random.below(4)) {
      case 0:
        return std::to_wstring(1900 + random.below(200));
      case 1:
        return digits(2);
      default:
        return std::to_wstring(1 + random.below(random.below(2) == 0 ? 12 : 31));
    }
  };
  auto piece = [&] { return std::wstring(pieces[random.below(sizeof pieces / sizeof pieces[0])]); };
  for (int i = 0; i < 40000; ++i) {
    std::wstring text;
    if (i % 2 == 0) {
      for (int count = 1 + random.below(7); count > 0; --count)
        text += random.below(2) == 0 ? piece() : digits(4);
    } else {
      // Shaped like a date, a time or both, with random digits and separators.
      if (random.below(3) != 0) {
        const std::wstring separator =
            random.below(5) == 0 ? piece() : std::wstring(1, L"-/."[random.below(3)]);
        text = field() + separator + field() + separator + field();
      }
      if (random.below(2) == 0) {
        if (!text.empty()) text += random.below(4) == 0 ? piece() : L" ";
        text += digits(2) + L":" + digits(2);
        if (random.below(2) == 0) text += L":" + digits(2);
        if (random.below(2) == 0) text += L"." + digits(9);
        if (random.below(4) == 0) text += piece();
      }
    }
    for (const date_order order : {date_order::none, date_order::ymd}) {
      const column_verdict verdict = classify({text}, {order, (i & 1) != 0});
      if (verdict.is_text()) continue;
      ++typed[verdict.sql_type().substr(0, 4)];
      typed_value v;
      EXPECT_TRUE(typed_value::from_text(text, verdict, v))
          << "'" << std::string(text.begin(), text.end()) << "' as " << verdict.sql_type();
    }
  }
  // The texts do reach each kind of typed column.
  for (const char* type : {"int", "bigi", "deci", "floa", "date", "time"}) {
    EXPECT_GT(typed[type], 20) << type;
  }
}

}  // namespace

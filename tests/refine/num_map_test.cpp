#include "num_map.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "udb_record.hpp"
#include "udb_schema.hpp"

namespace {

struct text_case {
  const char* text;
  bool i8, dbl, int32;
};

// is_int reads the leading number as atof does, so on its own it accepts much
// that is no integer; the maps only ask it about texts is_double accepted.
TEST(num_map, the_three_tests) {
  const text_case cases[] = {
      // text                 is_i8  is_double is_int
      {"1", false, true, true},
      {"-2147483648", false, true, true},
      {"2147483647", false, true, true},
      {"2147483648", true, true, false},
      {"-2147483649", true, true, false},
      {"5000000000", true, true, false},
      {"9223372036854775807", true, true, false},
      {"9223372036854775808", false, true, false},  // overflows 64 bits
      {"+5", false, true, true},                    // 2nd test of is_int
      {"+5000000000", false, true, false},
      {"05000000000", false, false, false},
      {"0123", false, false, true},  // atoi prints back "123": only the 2nd test
      {"01", false, true, true},
      {"00", false, true, true},
      {"0.5", false, true, false},
      {"0,5", false, true, true},
      {"1.5", false, true, false},
      {"1,5", false, true, true},  // atof stops at the comma
      {"2.0", false, true, true},
      {"1e3", false, true, true},
      {"2.000000000000000e+000", false, true, true},
      {"1e-3", false, true, false},
      {"-1.5e+10", false, true, false},
      {"1e999", false, true, false},  // infinite: never an integer
      {"2010-12", false, true, true},
      {"2010-12-31", false, false, true},
      {"1..2", false, false, true},
      {"1e2e3", false, false, true},
      {"1.", false, false, true},
      {"-", false, false, true},
      {"", false, false, true},
      {" 5", false, false, true},
      {"abc", false, false, true},  // atof gives 0, a whole number: is_double guards it
      {"4294967296", true, true, false},
      {"-0", false, true, true},
      {"12abc", false, false, true},
      {"e5", false, true, true},  // lenient: a bare exponent reads as 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(num_map::is_i8(c.text), c.i8);
    EXPECT_EQ(num_map::is_double(c.text), c.dbl);
    EXPECT_EQ(num_map::is_int(c.text), c.int32);
  }
}

struct sequence_case {
  std::vector<const char*> values;
  std::vector<int> states;  // state after each value
  bool processed;
};

TEST(num_map, state_sequences) {
  const sequence_case cases[] = {
      {{"1", "2", "3", "5000000000", "1.5", "abc", "7"}, {3, 3, 3, 2, 1, 0, 0}, true},
      {{"1.5", "2"}, {1, 1}, true},
      {{"5000000000", "1"}, {2, 2}, true},
      {{"1.5", "5000000000"}, {1, 1}, true},
      {{"0123", "1"}, {0, 0}, true},
      {{"0.5"}, {1}, true},
      {{"01"}, {3}, true},
      {{"+5"}, {3}, true},
      {{"+5000000000"}, {1}, true},
      {{"2010-12"}, {3}, true},
      {{"2010-12-31", "1"}, {0, 0}, true},
      {{"", "", ""}, {0, 0, 0}, false},
      {{"", "7", "", "x"}, {0, 3, 3, 0}, true},
      {{"3", "-4.25e2", "-4.555e2"}, {3, 3, 1}, true},
  };
  for (const auto& c : cases) {
    types_map::map_entry entry;
    for (std::size_t i = 0; i < c.values.size(); ++i) {
      SCOPED_TRACE(std::string("after ") + c.values[i]);
      num_map::add_value(entry, c.values[i]);
      EXPECT_EQ(entry.state, c.states[i]);
    }
    EXPECT_EQ(entry.b_processed, c.processed);
  }
}

std::unique_ptr<udb_record> row(const std::vector<std::wstring>& values) {
  auto record = std::make_unique<udb_record>();
  for (std::size_t i = 0; i < values.size(); ++i) {
    // An empty cell arrives as an empty value, not as an empty text.
    const ole_variant value = values[i].empty() ? ole_variant() : ole_variant(values[i]);
    record->add_field(std::make_unique<udb_field>(L"c" + std::to_wstring(i),
                                                  static_cast<std::int32_t>(values[i].size()),
                                                  value, false, false));
  }
  return record;
}

TEST(num_map, records_feed_every_column_by_position) {
  udb_schema schema(true);
  const VARTYPE types[] = {VT_BSTR, VT_I4, VT_R8, VT_I8, VT_DATE};
  for (int i = 0; i < 5; ++i)
    schema.add_field(std::make_unique<t_ftd>(50, L"c" + std::to_wstring(i), types[i], false, false,
                                             ole_variant(), 0));
  num_map map(L"T", schema);
  ASSERT_EQ(map.get_entries().size(), 5u);
  const int declared[] = {0, 3, 1, 2, 0};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(map.get_entries()[i].n_field, i);
    EXPECT_EQ(map.get_entries()[i].declared_class, declared[i]);
    EXPECT_EQ(map.get_entries()[i].name, L"c" + std::to_wstring(i));
  }
  map.add_rec_stat(*row({L"1", L"x", L"", L"2.5", L"7"}));
  map.add_rec_stat(*row({L"5000000000", L"2"}));  // a short row decides nothing past its end
  map.add_rec_stat(*row({L"", L"3", L"", L"4"}));
  const int states[] = {2, 0, 0, 1, 3};
  const bool processed[] = {true, true, false, true, true};
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(map.get_entries()[i].state, states[i]);
    EXPECT_EQ(map.get_entries()[i].b_processed, processed[i]);
  }
}

}  // namespace

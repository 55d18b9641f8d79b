#include <gtest/gtest.h>

#include <string>

#include "t_names_map.hpp"
#include "udb_names_map.hpp"

namespace {

struct lookup_case {
  std::wstring name;
  bool exact;
  std::wstring expected;
};

void fill(udb_names_map& map) {
  map.add_table(L"Sheet1$", L"Sheet1");
  map.add_table(L"SHEET1$", L"second");  // same name ignoring case: only reached exactly
  map.add_table(L"2008$", L"_2008");
  map.add_field(L"Sheet1$", L"Unit Price", L"Unit_Price");
  map.add_field(L"Sheet1$", L"unit price", L"lower");
}

class names_map_lookup : public ::testing::TestWithParam<lookup_case> {};

TEST_P(names_map_lookup, tables) {
  const lookup_case& c = GetParam();
  udb_names_map map;
  fill(map);
  EXPECT_EQ(map.get_tn_mapped_name(c.name, c.exact), c.expected);
}

INSTANTIATE_TEST_SUITE_P(cases, names_map_lookup,
                         ::testing::Values(lookup_case{L"Sheet1$", true, L"Sheet1"},
                                           lookup_case{L"SHEET1$", true, L"second"},
                                           lookup_case{L"sheet1$", true, L"sheet1$"},
                                           lookup_case{L"sheet1$", false, L"Sheet1"},
                                           lookup_case{L"SHEET1$", false, L"Sheet1"},
                                           lookup_case{L"2008$", false, L"_2008"},
                                           lookup_case{L"Sheet2$", false, L"Sheet2$"},
                                           lookup_case{L"", false, L""}));

TEST(udb_names_map, fields_by_exact_table_key) {
  udb_names_map map;
  fill(map);
  EXPECT_EQ(map.get_fn_mapped_name(L"Sheet1$", L"Unit Price", true), L"Unit_Price");
  EXPECT_EQ(map.get_fn_mapped_name(L"Sheet1$", L"unit price", true), L"lower");
  EXPECT_EQ(map.get_fn_mapped_name(L"Sheet1$", L"UNIT PRICE", false), L"Unit_Price");
  EXPECT_EQ(map.get_fn_mapped_name(L"Sheet1$", L"UNIT PRICE", true), L"UNIT PRICE");
  EXPECT_EQ(map.get_fn_mapped_name(L"Sheet1$", L"Qty", false), L"Qty");
  // The table key itself is always compared exactly.
  EXPECT_EQ(map.get_fn_mapped_name(L"sheet1$", L"Unit Price", false), L"Unit Price");
  EXPECT_EQ(map.get_fn_mapped_name(L"Other$", L"Unit Price", false), L"Unit Price");
}

TEST(t_names_map, keeps_pairs_in_order_and_first_wins) {
  t_names_map map;
  EXPECT_EQ(map.get_mapped_name(L"a", false), L"a");
  map.add(L"a", L"x");
  map.add(L"A", L"y");
  map.add(L"b", L"z");
  ASSERT_EQ(map.size(), 3u);
  EXPECT_EQ(map.at(1).first, L"A");
  EXPECT_EQ(map.at(1).second, L"y");
  EXPECT_EQ(map.get_mapped_name(L"A", false), L"x");
  EXPECT_EQ(map.get_mapped_name(L"A", true), L"y");
  EXPECT_EQ(map.get_mapped_name(L"B", false), L"z");
  EXPECT_EQ(map.get_mapped_name(L"B", true), L"B");
}

}  // namespace

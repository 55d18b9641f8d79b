// SQL Server's table-name rules: the first character, and the prefix cycle
// that resolves collisions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mss_validator.hpp"
#include "tk_mail_assertion.hpp"

namespace {

struct mss_acceptable_case {
  std::wstring name;
  bool acceptable;
};

class mss_validator_acceptable : public ::testing::TestWithParam<mss_acceptable_case> {};

TEST_P(mss_validator_acceptable, first_character_decides) {
  mss_validator v;
  EXPECT_EQ(v.is_acceptable(GetParam().name), GetParam().acceptable);
}

INSTANTIATE_TEST_SUITE_P(
    cases, mss_validator_acceptable,
    ::testing::Values(mss_acceptable_case{L"orders", true}, mss_acceptable_case{L"_2008", true},
                      mss_acceptable_case{L"_", true}, mss_acceptable_case{L"Z1 2", true},
                      mss_acceptable_case{L"2008", false}, mss_acceptable_case{L" orders", false},
                      mss_acceptable_case{L"[x]", false}, mss_acceptable_case{L"$x", false},
                      // Letters by Unicode, whatever the locale the tests run in (C).
                      mss_acceptable_case{L"\u041e\u0442\u0447\u0451\u0442", true},
                      mss_acceptable_case{L"\u00e9t\u00e9", true},
                      mss_acceptable_case{L"\u4e2d\u6587", true},
                      mss_acceptable_case{L"\u0627\u0644", true},
                      mss_acceptable_case{L"\u0661\u0662", false},  // Arabic-Indic digits
                      mss_acceptable_case{L"\u20ac5", false}));

TEST(mss_validator, empty_name_is_internal_error) {
  mss_validator v;
  EXPECT_THROW(v.is_acceptable(L""), tk_mail_assertion);
}

struct mss_safe_case {
  const char* what;
  std::vector<std::wstring> selected;
  std::vector<std::wstring> existing;
  std::wstring name;
  std::wstring safe;
};

class mss_tn_validator_safe_names : public ::testing::TestWithParam<mss_safe_case> {};

TEST_P(mss_tn_validator_safe_names, prefix_cycle) {
  const mss_safe_case& c = GetParam();
  mss_tn_validator v(c.selected, c.existing);
  EXPECT_EQ(v.get_safe_name(c.name), c.safe);
}

INSTANTIATE_TEST_SUITE_P(
    cases, mss_tn_validator_safe_names,
    ::testing::Values(
        mss_safe_case{"selected digit name", {L"2008"}, {}, L"2008", L"_2008"},
        mss_safe_case{
            "destination has the first choice", {L"2008"}, {L"_2008"}, L"2008", L"1_2008"},
        mss_safe_case{"free name unchanged", {}, {L"other"}, L"orders", L"orders"},
        mss_safe_case{"prefixes accumulate",
                      {L"orders"},
                      {L"_ORDERS", L"1_Orders", L"_1_orders"},
                      L"orders",
                      L"2_1_orders"},
        mss_safe_case{"cycle wraps after 3",
                      {L"t"},
                      {L"_t", L"1_t", L"_1_t", L"2_1_t", L"_2_1_t", L"3_2_1_t"},
                      L"t",
                      L"_3_2_1_t"},
        // Not taken but unacceptable: renamed as a colliding one would be.
        mss_safe_case{"unacceptable name nobody took", {}, {}, L"2008", L"_2008"},
        mss_safe_case{"unacceptable name, first choice taken", {}, {L"_2008"}, L"2008", L"1_2008"}),
    [](const ::testing::TestParamInfo<mss_safe_case>& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p) name += std::isalnum(*p) ? *p : '_';
      return name;
    });

TEST(mss_tn_validator, takes_selected_then_existing_names) {
  mss_tn_validator v({L"Sheet1", L"2008"}, {L"orders"});
  EXPECT_EQ(v.taken_names(), (std::vector<std::wstring>{L"Sheet1", L"2008", L"orders"}));
  EXPECT_TRUE(v.is_duplicated(L"ORDERS"));
  EXPECT_TRUE(v.is_duplicated(L"sheet1"));
  EXPECT_FALSE(v.is_duplicated(L"Sheet2"));
}

// The driver's use across worksheets: a generated name, once registered, is
// not handed out again.
TEST(mss_tn_validator, registered_generated_name_is_not_reused) {
  mss_tn_validator v({L"2008", L"_2008"}, {});
  const std::wstring first = v.get_safe_name(L"2008");
  EXPECT_EQ(first, L"1_2008");
  v.add_generated_name(first);
  v.add_taken_name(first);
  EXPECT_EQ(v.get_safe_name(L"2008"), L"_1_2008");
}

}  // namespace

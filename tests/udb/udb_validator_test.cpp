#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "mss_validator.hpp"
#include "tk_mail_assertion.hpp"
#include "trace_capture.hpp"
#include "udb_validator.hpp"

namespace {

std::wstring repeat(std::size_t count, wchar_t c = L'a') { return std::wstring(count, c); }

// ---- udb_validator ----------------------------------------------------------

struct safe_name_case {
  const char* what;
  std::size_t max_length;
  std::vector<std::wstring> taken;
  std::wstring name;
  bool acceptable;
  std::wstring safe;
};

class udb_validator_safe_names : public ::testing::TestWithParam<safe_name_case> {};

TEST_P(udb_validator_safe_names, acceptance_and_safe_name) {
  const safe_name_case& c = GetParam();
  udb_validator v(c.max_length);
  v.add_forbidden_char(L'.');
  v.add_forbidden_char(L'!');
  v.add_reserved_name(L"Select");
  for (const auto& name : c.taken) v.add_taken_name(name);

  EXPECT_EQ(v.is_acceptable(c.name), c.acceptable);
  const std::wstring safe = v.get_safe_name(c.name);
  EXPECT_EQ(safe, c.safe);
  EXPECT_TRUE(v.is_acceptable(safe));
  EXPECT_FALSE(v.is_duplicated(safe));
  // Handing out a name does not take it.
  EXPECT_EQ(v.taken_names(), c.taken);
}

INSTANTIATE_TEST_SUITE_P(
    cases, udb_validator_safe_names,
    ::testing::Values(
        safe_name_case{"free name unchanged", 64, {}, L"name", true, L"name"},
        safe_name_case{"taken name gets counter 0", 64, {L"name"}, L"name", true, L"name00000"},
        safe_name_case{"next counter when 0 is taken",
                       64,
                       {L"name", L"name00000"},
                       L"name",
                       true,
                       L"name00001"},
        safe_name_case{
            "taken ignores case", 64, {L"NAME", L"Name00000"}, L"name", true, L"name00001"},
        safe_name_case{"exactly at the limit", 64, {}, repeat(64), true, repeat(64)},
        safe_name_case{
            "one over the limit is cut to limit - 1", 64, {}, repeat(65), false, repeat(63)},
        safe_name_case{"cut name taken: stem of limit - 6 plus counter",
                       64,
                       {repeat(63)},
                       repeat(65),
                       false,
                       repeat(58) + L"00000"},
        safe_name_case{"long taken name: stem cut to 58",
                       64,
                       {repeat(60)},
                       repeat(60),
                       true,
                       repeat(58) + L"00000"},
        safe_name_case{"59 characters keep their stem and reach the limit",
                       64,
                       {repeat(59)},
                       repeat(59),
                       true,
                       repeat(59) + L"00000"},
        safe_name_case{"forbidden characters become _", 64, {}, L"a.b!c", false, L"a_b_c"},
        safe_name_case{"cleaned name taken", 64, {L"a_b"}, L"a.b", false, L"a_b00000"},
        safe_name_case{"reserved name in another case", 64, {}, L"SELECT", false, L"SELECT00000"},
        safe_name_case{"no limit keeps long names", 0, {}, repeat(300), true, repeat(300)},
        safe_name_case{"tiny limit leaves no stem", 6, {L"abcde"}, L"abcdefgh", false, L"00000"}),
    [](const ::testing::TestParamInfo<safe_name_case>& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p) name += std::isalnum(*p) ? *p : '_';
      return name;
    });

struct rejection_case {
  std::wstring name;
  std::string reason;
};

class udb_validator_rejections : public ::testing::TestWithParam<rejection_case> {};

// The checks run in a fixed order and the first failing one is reported.
TEST_P(udb_validator_rejections, first_failing_check_is_traced) {
  const rejection_case& c = GetParam();
  udb_validator v(10);
  v.add_reserved_name(L"table");
  v.add_reserved_name(L"index.x");
  v.add_reserved_name(L"reserved_and_long");
  v.add_forbidden_char(L'!');
  v.add_forbidden_char(L'.');
  trace_capture trace;
  EXPECT_FALSE(v.is_acceptable(c.name));
  EXPECT_TRUE(trace.has_line(c.reason)) << trace.text();
}

INSTANTIATE_TEST_SUITE_P(cases, udb_validator_rejections,
                         ::testing::Values(rejection_case{L"RESERVED_AND_LONG",
                                                          "The name is too long"},
                                           rejection_case{L"TABLE", "The name is restricted"},
                                           rejection_case{L"Index.X", "The name is restricted"},
                                           rejection_case{L"a.b!c", "The name contains illegal: !"},
                                           rejection_case{L"a.b", "The name contains illegal: ."}));

// get_safe_name asks the object's own checks, so a derived rule applies.
class always_taken_validator : public udb_validator {
 public:
  using udb_validator::udb_validator;
  bool is_duplicated(const std::wstring&) override {
    ++calls;
    return true;
  }
  int calls = 0;
};

TEST(udb_validator, counter_exhausted_is_internal_error) {
  always_taken_validator v(0);
  EXPECT_THROW(v.get_safe_name(L"x"), tk_mail_assertion);
  // The plain name, then counters 0 to 99999.
  EXPECT_EQ(v.calls, 1 + udb_validator::max_suffix_attempts);
}

// ---- mss_validator / mss_tn_validator ------------------------------------------

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

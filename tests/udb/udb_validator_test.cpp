#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

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

}  // namespace

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tk_cmdli.hpp"
#include "tk_mail_assertion.hpp"

namespace {

constexpr tk_cmd_option options[] = {
    {0, "--as_dbo"}, {1, "--csv_delim="}, {8, "--mode="}, {12, "--src="}, {-1, ""},
};

struct parsed {
  std::vector<std::pair<int, std::string>> seen;
  std::vector<std::string> unrecognised;
  int unrecognised_count;
};

parsed walk(std::vector<const char*> args) {
  args.insert(args.begin(), "tessrun");
  tk_cmdli cursor(static_cast<int>(args.size()), args.data(), options);
  parsed result;
  for (; cursor.has_more(); cursor.next()) result.seen.emplace_back(cursor.id(), cursor.value());
  result.unrecognised = cursor.unrecognised();
  result.unrecognised_count = cursor.unrecognised_count();
  return result;
}

TEST(tk_cmdli, matches_the_first_prefix_and_keeps_the_rest_as_value) {
  const parsed p = walk({"--mode=3", "--mode=", "--as_dbo_and_more", "--src=a=b.xls", "--csv_delim=02"});
  const std::vector<std::pair<int, std::string>> expected = {
      {8, "3"}, {8, ""}, {0, "_and_more"}, {12, "a=b.xls"}, {1, "02"}};
  EXPECT_EQ(p.seen, expected);
  EXPECT_EQ(p.unrecognised_count, 0);
}

TEST(tk_cmdli, unknown_arguments_are_collected_case_sensitively) {
  const parsed p = walk({"--MODE=1", "src=x", "", "--src=ok"});
  ASSERT_EQ(p.seen.size(), 4u);
  EXPECT_EQ(p.seen[0].first, tk_cmdli::unrecognised_id);
  EXPECT_EQ(p.seen[3].first, 12);
  EXPECT_EQ(p.unrecognised, (std::vector<std::string>{"--MODE=1", "src=x", ""}));
  EXPECT_EQ(p.unrecognised_count, 3);
}

TEST(tk_cmdli, more_than_twenty_unknown_arguments_are_counted_not_stored) {
  std::vector<const char*> args(25, "--bogus");
  const parsed p = walk(args);
  EXPECT_EQ(p.unrecognised.size(), tk_cmdli::max_unrecognised);
  EXPECT_EQ(p.unrecognised_count, 25);
}

TEST(tk_cmdli, reading_past_the_end_is_an_internal_error) {
  const char* args[] = {"tessrun"};
  tk_cmdli cursor(1, args, options);
  EXPECT_FALSE(cursor.has_more());
  EXPECT_THROW(cursor.id(), tk_mail_assertion);
  EXPECT_THROW(cursor.value(), tk_mail_assertion);
  EXPECT_THROW(cursor.next(), tk_mail_assertion);
}

}  // namespace

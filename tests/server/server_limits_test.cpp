// SQL Server's size limits as the server enforces them: names are sysname (at most 128 UTF-16
// units, error 103 at compile time) and a table has at most 1,024 columns (error 1702).
#include <gtest/gtest.h>

#include "test_support.hpp"

namespace tds_test {
namespace {

class server_limits : public ::testing::Test {
 protected:
  void SetUp() override {
    client_ = std::make_unique<dblib_client>(server_.port());
    ASSERT_TRUE(client_->connected());
    ASSERT_TRUE(client_->exec("CREATE DATABASE limits; USE limits")) << client_->last_error_text();
  }
  dblib_client& db() { return *client_; }

  // The only error of the last batch; number 0 when there was none.
  server_message only_error() {
    const auto errors = db().errors();
    EXPECT_LE(errors.size(), 1u);
    return errors.empty() ? server_message{} : errors.front();
  }

  server_process server_;
  std::unique_ptr<dblib_client> client_;
};

std::string repeat(const std::string& piece, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) out += piece;
  return out;
}

struct name_case {
  const char* what;
  const char* sql;  // `@` stands for the name under test
  std::string name;
  bool b_accepted;
  std::string shown;  // the name's first 128 units, as error 103 quotes it
};

// SQL Server counts a name in UTF-16 units, not in bytes nor in code points: 128 Cyrillic letters
// (256 bytes of UTF-8) are a valid name and 65 emoji (130 units) are not.
TEST_F(server_limits, names_longer_than_128_units_are_refused_with_103) {
  const std::string a128 = std::string(128, 'a');
  const std::string zh128 = repeat("ж", 128);
  const name_case cases[] = {
      {"bracketed table of 128", "CREATE TABLE [@] (a int)", a128, true, ""},
      {"bracketed table of 129", "CREATE TABLE [@] (a int)", a128 + "b", false, a128},
      {"plain table of 129", "CREATE TABLE @ (a int)", a128 + "b", false, a128},
      {"column of 129", "CREATE TABLE t1 ([@] int)", a128 + "b", false, a128},
      {"schema part of 129", "CREATE TABLE [@].[t2] (a int)", a128 + "b", false, a128},
      {"index of 129", "CREATE TABLE t3 (a int); CREATE INDEX [@] ON t3 (a)", a128 + "b", false,
       a128},
      {"128 two-byte letters", "CREATE TABLE [@] (a int)", zh128, true, ""},
      {"129 two-byte letters", "CREATE TABLE [@] (a int)", zh128 + "ж", false, zh128},
      {"64 emoji are 128 units", "CREATE TABLE [@] (a int)", repeat("😀", 64), true, ""},
      {"65 emoji are 130 units", "CREATE TABLE [@] (a int)", repeat("😀", 65), false,
       repeat("😀", 64)},
      {"a long string is no name", "SELECT N'@'", std::string(300, 's'), true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string sql = c.sql;
    sql.replace(sql.find('@'), 1, c.name);
    EXPECT_EQ(db().exec(sql), c.b_accepted) << db().last_error_text();
    const server_message e = only_error();
    if (c.b_accepted) continue;
    EXPECT_EQ(e.number, 103);
    EXPECT_EQ(e.severity, 15);
    EXPECT_EQ(e.text, "The identifier that starts with '" + c.shown +
                          "' is too long. Maximum length is 128.");
  }
}

TEST_F(server_limits, a_long_name_fails_the_whole_batch_before_anything_runs) {
  EXPECT_FALSE(db().exec("CREATE TABLE first_one (a int); CREATE TABLE [" + std::string(200, 'x') +
                         "] (a int)"));
  EXPECT_EQ(only_error().number, 103);
  EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM sys.tables WHERE name = N'first_one'"), "0");
}

TEST_F(server_limits, double_quoted_text_is_a_name_only_under_quoted_identifier) {
  const std::string quoted = "\"" + std::string(129, 'q') + "\"";
  EXPECT_TRUE(db().exec("SELECT " + quoted)) << "a string while QUOTED_IDENTIFIER is off";
  EXPECT_FALSE(db().exec("SET QUOTED_IDENTIFIER ON; CREATE TABLE " + quoted + " (a int)"));
  EXPECT_EQ(only_error().number, 103);
}

// Column lists "c1 int, c2 int, ..." of `count` columns.
std::string columns(int count) {
  std::string out;
  for (int i = 1; i <= count; ++i) out += (i > 1 ? ", c" : "c") + std::to_string(i) + " int";
  return out;
}

TEST_F(server_limits, a_table_holds_at_most_1024_columns) {
  EXPECT_TRUE(db().exec("CREATE TABLE widest (" + columns(1024) + ")")) << db().last_error_text();
  EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM sys.columns WHERE object_id = OBJECT_ID(N'widest')"),
            "1024");
  for (int count : {1025, 16384}) {
    SCOPED_TRACE(count);
    EXPECT_FALSE(db().exec("CREATE TABLE too_wide (" + columns(count) + ")"));
    const server_message e = only_error();
    EXPECT_EQ(e.number, 1702);
    EXPECT_EQ(e.severity, 16);
    EXPECT_EQ(e.text,
              "CREATE TABLE failed because column 'c1025' in table 'too_wide' exceeds the maximum "
              "of 1024 columns.");
    EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM sys.tables WHERE name = N'too_wide'"), "0");
  }
}

}  // namespace
}  // namespace tds_test

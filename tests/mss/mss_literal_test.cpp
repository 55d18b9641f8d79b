// SQL text the destination writes: safe default values, defaults read back,
// bracketed names, server forms, version levels and error codes.
#include <gtest/gtest.h>

#include "mss_engine.hpp"
#include "mss_table.hpp"
#include "mss_table_columns.hpp"
#include "odb_connection.hpp"
#include "odb_exception.hpp"
#include "t_ftd.hpp"

TEST(mss_literal, safe_values) {
  ole_variant old_date = ole_variant::from_string("1700-05-01", VT_DATE);
  ole_variant safe = mssql_get_safe_variant(old_date);
  SYSTEMTIME st;
  ASSERT_TRUE(safe.get_systemtime(st));
  EXPECT_EQ(st.wYear, 9999);
  EXPECT_EQ(st.wMonth, 12);
  EXPECT_EQ(st.wDay, 30);

  struct row {
    double in, out;
  } reals[] = {
      {1e-320, 2.23e-308}, {-1e-320, -2.23e-308}, {1.795e308, 1.79e308}, {0.0, 0.0}, {-5.5, -5.5}};
  for (const auto& r : reals)
    EXPECT_EQ(mssql_get_safe_variant(ole_variant(r.in)).variant.dblVal, r.out) << r.in;
}

TEST(mss_literal, defaults_read_back) {
  EXPECT_EQ(mss_table_columns::default_value(VT_I4, L"((0))").to_string(), "0");
  EXPECT_EQ(mss_table_columns::default_value(VT_BSTR, L"('abc')").to_wstring(), L"abc");
  EXPECT_EQ(mss_table_columns::default_value(VT_BSTR, L"('it''s')").to_wstring(), L"it's");
  EXPECT_EQ(mss_table_columns::default_value(VT_BSTR, L"(N'Ж')").to_wstring(), L"Ж");
  EXPECT_EQ(mss_table_columns::default_value(VT_DATE, L"('nonsense')").get_type(), VT_EMPTY);
}

TEST(mss_names, bracketing_and_splitting) {
  EXPECT_EQ(mss_bracket(L"a]b"), L"[a]]b]");
  EXPECT_EQ(mss_bracket(L"x]; DROP TABLE t; --"), L"[x]]; DROP TABLE t; --]");
  struct row {
    std::wstring name;
    bool ok;
    std::wstring table, owner;
  } rows[] = {{L"[dbo].[orders]", true, L"orders", L"dbo"},
              {L"[orders]", true, L"orders", L""},
              {L"[a]]b]", true, L"a]b", L""},
              {L"[o]].x].[t]].y]", true, L"t].y", L"o].x"},
              {L"orders", false, L"", L""},
              {L"[]", false, L"", L""},
              {L"[a] junk", false, L"", L""}};
  for (const auto& r : rows) {
    std::wstring table, owner;
    EXPECT_EQ(mss_split_tab_name(r.name, table, owner), r.ok);
    EXPECT_EQ(table, r.table);
    EXPECT_EQ(owner, r.owner);
  }
}

TEST(mss_engine_rules, server_forms) {
  struct row {
    std::wstring server;
    std::string expected;
  } rows[] = {{L"", "127.0.0.1:1433"},       {L"db1", "db1"},
              {L"db1:1500", "db1:1500"},     {L"db1,1500", "db1:1500"},
              {L"db1 , 1500", "db1:1500"},   {L"db1\\SQLEXPRESS", "db1\\SQLEXPRESS"},
              {L"(local)", "127.0.0.1:1433"}};
  for (const auto& r : rows) EXPECT_EQ(odb_parse_server(r.server).host_port, r.expected);
}

TEST(mss_engine_rules, version_levels) {
  struct row {
    const char* text;
    int level;
  } rows[] = {
      {"Microsoft SQL Server  2000 - 8.00.2039 (Intel X86)", 3},
      {"Microsoft SQL Server 2005 - 9.00.5000.00 (Intel X86)", 4},
      {"Microsoft SQL Server 2008 R2 (RTM) - 10.50.1600.1", 5},
      {"Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64)", 5},
      {"Microsoft SQL Server 2022 (RTM) - 16.0.1000.6 (X64)", 5},
      {"Microsoft SQL Server  7.00 - 7.00.623 (Intel X86)", 2},
      {"Microsoft SQL Azure (RTM) - 12.0.2000.8", 5},
      {"Microsoft SQL Server", 0},
      {"Something else entirely, long enough to pass", 0},
  };
  for (const auto& r : rows) EXPECT_EQ(mss_engine::version_from_text(r.text), r.level) << r.text;
  EXPECT_EQ(mss_engine::version_from_product("16.0.1000.6"), 5);
  EXPECT_EQ(mss_engine::version_from_product("9.00.5000"), 4);
  EXPECT_EQ(mss_engine::version_from_product("8.00.194"), 3);
  EXPECT_EQ(mss_engine::version_from_product(""), 1);
}

TEST(mss_errors, server_numbers_to_codes) {
  struct row {
    int number;
    std::uint32_t code;
  } rows[] = {{2714, 0x80E3F}, {208, 0x80E37},  {18456, 0x80E4D}, {2627, 0x80E2F},
              {2601, 0x80E2F}, {547, 0x80E2F},  {515, 0x80E2F},   {245, 0x80E07},
              {8114, 0x80E07}, {8115, 0x80E57}, {8152, 0x80E57},  {2628, 0x80E57},
              {229, 0x80E09},  {262, 0x80E09},  {1913, 0x80E34},  {102, 0x80E14}};
  for (const auto& r : rows) EXPECT_EQ(odb_code_for_server_error(r.number), r.code) << r.number;
}

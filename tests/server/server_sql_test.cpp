// SQL batches through DB-Library and tsql: types, catalog queries and SQL Server's error messages.
#include <gtest/gtest.h>

#include "test_support.hpp"

namespace tds_test {
namespace {

class server_sql : public ::testing::Test {
 protected:
  void SetUp() override {
    client_ = std::make_unique<dblib_client>(server_.port());
    ASSERT_TRUE(client_->connected());
    ASSERT_TRUE(client_->exec("CREATE DATABASE [sql test]; USE [sql test]"))
        << client_->last_error_text();
  }
  dblib_client& db() { return *client_; }

  server_process server_;
  std::unique_ptr<dblib_client> client_;
};

struct type_case {
  const char* type;
  const char* literal;
  const char* expected;
};

// Each literal goes in through INSERT and comes back through SELECT as the client decodes it.
const type_case k_type_cases[] = {
    {"bit", "1", "1"},
    {"bit", "'false'", "0"},
    {"tinyint", "255", "255"},
    {"smallint", "-32768", "-32768"},
    {"int", "2147483647", "2147483647"},
    {"int", "'  42 '", "42"},
    {"bigint", "-9223372036854775807", "-9223372036854775807"},
    {"real", "1.5", "1.5"},
    {"float", "-1.25e-3", "-0.00125"},
    {"float", "N'3.5'", "3.5"},
    {"money", "922337203685477.5807", "922337203685477.5807"},
    {"money", "-12.5", "-12.5000"},
    {"smallmoney", "214748.3647", "214748.3647"},
    {"decimal(10,2)", "12.345", "12.35"},
    {"decimal(10,2)", "-12.345", "-12.35"},
    {"numeric(38,0)", "99999999999999999999999999999999999999",
     "99999999999999999999999999999999999999"},
    {"decimal(5,5)", "'0.12345'", "0.12345"},
    {"datetime", "'2024-02-29 13:45:10.123'", "2024-02-29 13:45:10.1230000"},
    {"datetime", "'20240229'", "2024-02-29 00:00:00.0000000"},
    {"datetime", "'1753-01-01T00:00:00'", "1753-01-01 00:00:00.0000000"},
    {"datetime", "'12/31/9999 11:59:59 PM'", "9999-12-31 23:59:59.0000000"},
    {"smalldatetime", "'2079-06-06 23:59:00'", "2079-06-06 23:59:00.0000000"},
    {"smalldatetime", "'2000-01-01 10:20:29'", "2000-01-01 10:20:00.0000000"},
    {"datetime2", "'0001-01-01 00:00:00.1234567'", "0001-01-01 00:00:00.1234567"},
    {"datetime2(3)", "'2024-01-01 10:00:00.1235'", "2024-01-01 10:00:00.1240000"},
    {"date", "'9999-12-31'", "9999-12-31"},
    {"time", "'23:59:59.9999999'", "23:59:59.9999999"},
    {"time(0)", "'12:34:56'", "12:34:56.0000000"},
    {"char(5)", "'ab'", "ab   "},
    {"varchar(10)", "'café'", "café"},
    {"varchar(max)", "'long text'", "long text"},
    {"nchar(3)", "N'Ж'", "Ж  "},
    {"nvarchar(20)", "N'東京 O''Brien'", "東京 O'Brien"},
    {"nvarchar(5)", "N'😀x'", "😀x"},
    {"nvarchar(max)", "N'Привет'", "Привет"},
    {"text", "'old text'", "old text"},
    {"ntext", "N'Ünïcode'", "Ünïcode"},
    {"binary(4)", "0x0102", "0x01020000"},
    {"varbinary(10)", "0xDEADBEEF", "0xDEADBEEF"},
    {"varbinary(max)", "0x00FF", "0x00FF"},
    {"image", "0x0A0B", "0x0A0B"},
    {"uniqueidentifier", "'6F9619FF-8B86-D011-B42D-00C04FC964FF'",
     "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
    {"uniqueidentifier", "N'{6f9619ff-8b86-d011-b42d-00c04fc964ff}'",
     "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
    // Implicit conversions between kinds.
    {"int", "12.99", "12"},
    {"bit", "-5", "1"},
    {"decimal(4,1)", "'  -0.05 '", "-0.1"},
    {"money", "N'1234.56789'", "1234.5679"},
    {"float", "12", "12"},
    {"datetime", "1", "1900-01-02 00:00:00.0000000"},
    {"datetime", "2.5", "1900-01-03 12:00:00.0000000"},
    {"datetime", "'2024-01-01 23:59:59.999'", "2024-01-02 00:00:00.0000000"},
    {"datetime", "'7/4/2024 1:02 PM'", "2024-07-04 13:02:00.0000000"},
    {"datetime2", "'2024-02-29T08:00:00'", "2024-02-29 08:00:00.0000000"},
    {"date", "'2024-02-29 18:30'", "2024-02-29"},
    {"time(3)", "'2024-02-29 18:30:01.2345'", "18:30:01.2350000"},
    {"varchar(10)", "123", "123"},
    {"nvarchar(30)", "12.50", "12.50"},
    {"varchar(5)", "'ab   '", "ab   "},
    {"nvarchar(3)", "N'abc      '", "abc"},
    {"varchar(10)", "N'Ж€'", "?€"},
};

TEST_F(server_sql, every_type_round_trips_through_insert_and_select) {
  int n = 0;
  for (const auto& c : k_type_cases) {
    std::string table = "[t" + std::to_string(++n) + "]";
    SCOPED_TRACE(std::string(c.type) + " " + c.literal);
    ASSERT_TRUE(db().exec("CREATE TABLE " + table + " ([v] " + c.type + " NULL)"))
        << db().last_error_text();
    ASSERT_TRUE(db().exec("INSERT INTO " + table + " ([v]) VALUES (" + c.literal + ")"))
        << db().last_error_text();
    ASSERT_TRUE(db().exec("INSERT INTO " + table + " ([v]) VALUES (NULL)"))
        << db().last_error_text();
    ASSERT_TRUE(db().exec("SELECT [v] FROM " + table));
    ASSERT_EQ(db().results().size(), 1u);
    ASSERT_EQ(db().results()[0].rows.size(), 2u);
    EXPECT_EQ(db().results()[0].rows[0][0], c.expected);
    EXPECT_EQ(db().results()[0].rows[1][0], "NULL");
  }
}

struct error_case {
  const char* name;
  const char* setup;
  const char* statement;
  int number;
  const char* text;
};

const error_case k_error_cases[] = {
    {"unknown_table", "", "SELECT * FROM [nope]", 208, "Invalid object name 'nope'."},
    {"unknown_column", "CREATE TABLE t (a int)", "SELECT b FROM t", 207,
     "Invalid column name 'b'."},
    {"insert_unknown_column", "CREATE TABLE t (a int)", "INSERT INTO t (b) VALUES (1)", 207,
     "Invalid column name 'b'."},
    {"table_exists", "CREATE TABLE t (a int)", "CREATE TABLE [t] (b int)", 2714,
     "There is already an object named 't' in the database."},
    {"database_exists", "", "CREATE DATABASE [sql test]", 1801,
     "Database 'sql test' already exists. Choose a different database name."},
    {"primary_key",
     "CREATE TABLE t (a int NOT NULL, CONSTRAINT [PK_t] PRIMARY KEY (a)); INSERT INTO t VALUES (1)",
     "INSERT INTO t VALUES (1)", 2627,
     "Violation of PRIMARY KEY constraint 'PK_t'. Cannot insert duplicate key in object 'dbo.t'. "
     "The duplicate key value is (1)."},
    {"unique_text_ignores_case",
     "CREATE TABLE t (a nvarchar(10), b int, CONSTRAINT [UQ_t] UNIQUE (a, b)); INSERT INTO t "
     "VALUES (N'x', 1)",
     "INSERT INTO t VALUES (N'X', 1)", 2627,
     "Violation of UNIQUE KEY constraint 'UQ_t'. Cannot insert duplicate key in object 'dbo.t'. "
     "The duplicate key value is (X, 1)."},
    {"unique_index",
     "CREATE TABLE t (a int); CREATE UNIQUE INDEX [ix] ON t (a); INSERT INTO t VALUES (5)",
     "INSERT INTO t VALUES (5)", 2601,
     "Cannot insert duplicate key row in object 'dbo.t' with unique index 'ix'. The duplicate key "
     "value is (5)."},
    {"null_into_not_null", "CREATE TABLE t (a int NOT NULL)", "INSERT INTO t (a) VALUES (NULL)",
     515,
     "Cannot insert the value NULL into column 'a', table '%db%.dbo.t'; column does not allow "
     "nulls. INSERT fails."},
    {"identity_insert_off", "CREATE TABLE t (id int IDENTITY(1,1), a int)",
     "INSERT INTO t (id, a) VALUES (7, 1)", 544,
     "Cannot insert explicit value for identity column in table 't' when IDENTITY_INSERT is set to "
     "OFF."},
    {"text_to_int", "CREATE TABLE t (a int)", "INSERT INTO t VALUES ('abc')", 245,
     "Conversion failed when converting the varchar value 'abc' to data type int."},
    {"ntext_to_int", "CREATE TABLE t (a int)", "INSERT INTO t VALUES (N'1.5')", 245,
     "Conversion failed when converting the nvarchar value '1.5' to data type int."},
    {"text_to_decimal", "CREATE TABLE t (a decimal(10,2))", "INSERT INTO t VALUES ('1,5')", 8114,
     "Error converting data type varchar to numeric."},
    {"text_to_float", "CREATE TABLE t (a float)", "INSERT INTO t VALUES ('x1')", 8114,
     "Error converting data type varchar to float."},
    {"decimal_overflow", "CREATE TABLE t (a decimal(5,2))", "INSERT INTO t VALUES (1234.5)", 8115,
     "Arithmetic overflow error converting numeric to data type numeric."},
    {"int_overflow", "CREATE TABLE t (a int)", "INSERT INTO t VALUES (2147483648)", 8115,
     "Arithmetic overflow error converting expression to data type int."},
    {"tinyint_overflow", "CREATE TABLE t (a tinyint)", "INSERT INTO t VALUES (256)", 220,
     "Arithmetic overflow error for data type tinyint, value = 256."},
    {"smallint_overflow", "CREATE TABLE t (a smallint)", "INSERT INTO t VALUES (-32769)", 220,
     "Arithmetic overflow error for data type smallint, value = -32769."},
    {"truncation", "CREATE TABLE t (a nvarchar(3))", "INSERT INTO t VALUES (N'abcdef')", 2628,
     "String or binary data would be truncated in table '%db%.dbo.t', column 'a'. Truncated value: "
     "'abc'."},
    {"binary_truncation", "CREATE TABLE t (a varbinary(2))", "INSERT INTO t VALUES (0x010203)",
     2628,
     "String or binary data would be truncated in table '%db%.dbo.t', column 'a'. Truncated value: "
     "'0x0102'."},
    {"datetime_range", "CREATE TABLE t (a datetime)", "INSERT INTO t VALUES ('1752-12-31')", 242,
     "The conversion of a varchar data type to a datetime data type resulted in an out-of-range "
     "value."},
    {"smalldatetime_range", "CREATE TABLE t (a smalldatetime)",
     "INSERT INTO t VALUES ('2079-06-07')", 242,
     "The conversion of a varchar data type to a smalldatetime data type resulted in an "
     "out-of-range value."},
    {"bad_date_text", "CREATE TABLE t (a datetime)", "INSERT INTO t VALUES ('2023-02-29')", 241,
     "Conversion failed when converting date and/or time from character string."},
    {"index_exists", "CREATE TABLE t (a int); CREATE INDEX [ix_a] ON t (a)",
     "CREATE INDEX [ix_a] ON t (a)", 1913,
     "The operation failed because an index or statistics with name 'ix_a' already exists on table "
     "'dbo.t'."},
    {"foreign_key_insert",
     "CREATE TABLE p (id int PRIMARY KEY); CREATE TABLE c (pid int); ALTER TABLE [c] ADD "
     "CONSTRAINT [FK_c_p] FOREIGN KEY ([pid]) REFERENCES [p]([id])",
     "INSERT INTO c VALUES (9)", 547,
     "The INSERT statement conflicted with the FOREIGN KEY constraint \"FK_c_p\". The conflict "
     "occurred in database \"%db%\", table \"dbo.p\", column 'id'."},
    {"foreign_key_orphans",
     "CREATE TABLE p (id int PRIMARY KEY); CREATE TABLE c (pid int); INSERT INTO c VALUES (3)",
     "ALTER TABLE [c] ADD CONSTRAINT [FK_c_p] FOREIGN KEY ([pid]) REFERENCES [p]([id])", 547,
     "The ALTER TABLE statement conflicted with the FOREIGN KEY constraint \"FK_c_p\". The "
     "conflict occurred in database \"%db%\", table \"dbo.p\", column 'id'."},
    {"alter_column_truncates", "CREATE TABLE t (a nvarchar(10)); INSERT INTO t VALUES (N'abcdef')",
     "ALTER TABLE t ALTER COLUMN a nvarchar(2)", 2628,
     "String or binary data would be truncated in table '%db%.dbo.t', column 'a'. Truncated value: "
     "'ab'."},
    {"syntax", "", "SELEC 1", 102, "Incorrect syntax near 'SELEC'."},
    {"unsupported_statement", "CREATE TABLE t (a int)", "DELETE FROM t", 102,
     "Incorrect syntax near 'DELETE'."},
    {"unknown_database", "", "USE [no such db]", 911,
     "Database 'no such db' does not exist. Make sure that the name is entered correctly."},
    {"unclosed_string", "", "SELECT 'abc", 105,
     "Unclosed quotation mark after the character string 'abc'."},
    {"surrogate_pair_counts_twice", "CREATE TABLE t (a nvarchar(1))", "INSERT INTO t VALUES (N'😀')",
     2628,
     "String or binary data would be truncated in table '%db%.dbo.t', column 'a'. Truncated value: "
     "''."},
    {"text_to_guid", "CREATE TABLE t (a uniqueidentifier)", "INSERT INTO t VALUES ('not a guid')",
     8169, "Conversion failed when converting from a character string to uniqueidentifier."},
    {"text_to_varbinary", "CREATE TABLE t (a varbinary(10))", "INSERT INTO t VALUES ('ab')", 257,
     "Implicit conversion from data type varchar to varbinary is not allowed. Use the CONVERT "
     "function to run this query."},
    {"text_overflows_tinyint", "CREATE TABLE t (a tinyint)", "INSERT INTO t VALUES ('300')", 244,
     "The conversion of the varchar value '300' overflowed an INT1 column. Use a larger integer "
     "column."},
    {"int_to_date", "CREATE TABLE t (a date)", "INSERT INTO t VALUES (5)", 206,
     "Operand type clash: int is incompatible with date"},
    {"money_syntax", "CREATE TABLE t (a money)", "INSERT INTO t VALUES ('12,5')", 235,
     "Cannot convert a char value to money. The char value has incorrect syntax."},
    {"values_count", "CREATE TABLE t (a int, b int)", "INSERT INTO t (a, b) VALUES (1)", 109,
     "There are fewer columns in the INSERT statement than values specified in the VALUES clause. "
     "The number of values in the VALUES clause must match the number of columns specified in the "
     "INSERT statement."},
    {"drop_missing_table", "", "DROP TABLE [gone]", 3701,
     "Cannot drop the table 'gone', because it does not exist or you do not have permission."},
    {"second_primary_key", "CREATE TABLE t (a int PRIMARY KEY, b int NOT NULL)",
     "ALTER TABLE t ADD CONSTRAINT [PK2] PRIMARY KEY (b)", 1779,
     "Table 't' already has a primary key defined on it."},
    {"unique_index_over_duplicates", "CREATE TABLE t (a int); INSERT INTO t VALUES (1), (1)",
     "CREATE UNIQUE INDEX [ux] ON t (a)", 1505,
     "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for the "
     "object name 'dbo.t' and the index name 'ux'. The duplicate key value is (1)."},
    {"ambiguous_column", "CREATE TABLE a (id int); CREATE TABLE b (id int)",
     "SELECT id FROM a JOIN b ON a.id = b.id", 209, "Ambiguous column name 'id'."},
    {"aggregate_arguments", "CREATE TABLE t (a int)", "SELECT MIN() FROM t", 174,
     "The min function requires 1 argument(s)."},
    {"identity_insert_on_two_tables",
     "CREATE TABLE a (id int IDENTITY); CREATE TABLE b (id int IDENTITY); SET IDENTITY_INSERT a ON",
     "SET IDENTITY_INSERT b ON", 8107,
     "IDENTITY_INSERT is already ON for table '%db%.dbo.a'. Cannot perform SET operation for table "
     "'b'."},
    {"identity_insert_without_identity", "CREATE TABLE t (a int)", "SET IDENTITY_INSERT t ON", 8106,
     "Table 'dbo.t' does not have the identity property. Cannot perform SET operation."},
};

TEST_F(server_sql, errors_carry_sql_server_numbers_and_texts) {
  int n = 0;
  for (const auto& c : k_error_cases) {
    SCOPED_TRACE(c.name);
    std::string database = "[e" + std::to_string(++n) + "]";
    ASSERT_TRUE(db().exec("USE [sql test]; CREATE DATABASE " + database + "; USE " + database))
        << db().last_error_text();
    if (*c.setup) {
      ASSERT_TRUE(db().exec(c.setup)) << db().last_error_text();
    }
    if (std::string(c.name) == "database_exists") db().exec("USE [sql test]");
    db().clear_messages();
    EXPECT_FALSE(db().exec(c.statement));
    auto errors = db().errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, c.number);
    std::string expected = c.text;
    if (size_t at = expected.find("%db%"); at != std::string::npos)
      expected.replace(at, 4, database.substr(1, database.size() - 2));
    EXPECT_EQ(errors[0].text, expected);
    EXPECT_GE(errors[0].severity, 11);
  }
}

TEST_F(server_sql, row_counts_unless_nocount) {
  ASSERT_TRUE(db().exec("CREATE TABLE t (a int)"));
  ASSERT_EQ(dbcmd(db().proc(), "INSERT INTO t VALUES (1), (2), (3)"), SUCCEED);
  ASSERT_EQ(dbsqlexec(db().proc()), SUCCEED);
  ASSERT_EQ(dbresults(db().proc()), SUCCEED);
  EXPECT_EQ(DBCOUNT(db().proc()), 3);
  ASSERT_EQ(dbresults(db().proc()), NO_MORE_RESULTS);
  ASSERT_EQ(dbcmd(db().proc(), "SET NOCOUNT ON; INSERT INTO t VALUES (4)"), SUCCEED);
  ASSERT_EQ(dbsqlexec(db().proc()), SUCCEED);
  while (dbresults(db().proc()) == SUCCEED) EXPECT_EQ(DBCOUNT(db().proc()), -1);
}

TEST_F(server_sql, a_failed_row_leaves_a_multi_row_insert_out_whole) {
  ASSERT_TRUE(db().exec("CREATE TABLE t (a int PRIMARY KEY)"));
  EXPECT_FALSE(db().exec("INSERT INTO t VALUES (1), (2), (1)"));
  ASSERT_EQ(db().infos().size(), 1u);
  EXPECT_EQ(db().infos()[0].number, 3621);
  EXPECT_EQ(db().infos()[0].text, "The statement has been terminated.");
  EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM t"), "0");
}

TEST_F(server_sql, constraint_errors_end_the_statement_conversion_errors_the_batch) {
  ASSERT_TRUE(db().exec("CREATE TABLE t (a int PRIMARY KEY)"));
  db().exec("INSERT INTO t VALUES (1); INSERT INTO t VALUES (1); INSERT INTO t VALUES (2)");
  EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM t"), "2");
  db().exec("INSERT INTO t VALUES ('x'); INSERT INTO t VALUES (3)");
  EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM t"), "2");
}

TEST_F(server_sql, identity_defaults_and_identity_insert) {
  ASSERT_TRUE(
      db().exec("CREATE TABLE [o]]x] ([id] int IDENTITY(10,5) NOT NULL, [n] nvarchar(10) NOT NULL "
                "DEFAULT (N'none'), "
                "[q] int NULL DEFAULT ((7)), CONSTRAINT [PK_o] PRIMARY KEY CLUSTERED ([id]))"));
  ASSERT_TRUE(
      db().exec("INSERT INTO [o]]x] ([q]) VALUES (1); INSERT INTO [o]]x] ([n]) VALUES (N'two')"));
  ASSERT_TRUE(db().exec(
      "SET IDENTITY_INSERT [dbo].[o]]x] ON; INSERT INTO [o]]x] ([id], [n]) VALUES (100, N'x'); "
      "SET IDENTITY_INSERT [dbo].[o]]x] OFF; INSERT INTO [o]]x] ([n]) VALUES (N'next')"))
      << db().last_error_text();
  ASSERT_TRUE(db().exec("SELECT id, n, q FROM [o]]x] ORDER BY id DESC"));
  const auto& rows = db().results()[0].rows;
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"105", "next", "7"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"100", "x", "7"}));
  EXPECT_EQ(rows[2], (std::vector<std::string>{"15", "two", "7"}));
  EXPECT_EQ(rows[3], (std::vector<std::string>{"10", "none", "1"}));
}

TEST_F(server_sql, select_filters_orders_and_counts) {
  ASSERT_TRUE(
      db().exec("CREATE TABLE t (a int, b nvarchar(10)); INSERT INTO t VALUES (3, N'c'), (1, "
                "N'a'), (2, NULL), (4, N'abc')"));
  ASSERT_TRUE(
      db().exec("SELECT a FROM t WHERE b LIKE N'a%' OR (a >= 3 AND NOT b IS NULL) ORDER BY a"));
  ASSERT_EQ(db().results()[0].rows.size(), 3u);
  EXPECT_EQ(db().results()[0].rows[0][0], "1");
  EXPECT_EQ(db().results()[0].rows[2][0], "4");
  EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM (SELECT a FROM t WHERE b IS NULL) AS x"), "1");
  EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM t WHERE a IN (1, 2, 9)"), "2");
  EXPECT_EQ(db().scalar("SELECT TOP 1 b FROM t ORDER BY a DESC"), "abc");
}

TEST_F(server_sql, cast_convert_and_aggregates_for_checking_results) {
  ASSERT_TRUE(db().exec(
      "CREATE TABLE t (d datetime, m decimal(9,2), n int, s nvarchar(10)); INSERT INTO t VALUES "
      "('2024-02-29 13:45:10.123', 1.25, 7, N'abcdef'), ('2023-01-01', 2.50, NULL, N'x')"));
  ASSERT_TRUE(
      db().exec("SELECT CONVERT(varchar(23), d, 121), CAST(s AS nvarchar(3)), "
                "CAST(m AS int), CONVERT(varbinary(2), 'AB') FROM t ORDER BY d DESC"))
      << db().last_error_text();
  const auto& rows = db().results()[0].rows;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"2024-02-29 13:45:10.123", "abc", "1", "0x4142"}));
  EXPECT_EQ(rows[1][0], "2023-01-01 00:00:00.000");
  ASSERT_TRUE(db().exec("SELECT SUM(m), SUM(n), AVG(m), MIN(d), MAX(s), COUNT(n) FROM t"));
  EXPECT_EQ(
      db().results()[0].rows[0],
      (std::vector<std::string>{"3.75", "7", "1.875000", "2023-01-01 00:00:00.0000000", "x", "1"}));
  EXPECT_FALSE(db().exec("SELECT CAST(s AS int) FROM t"));
  EXPECT_EQ(db().errors()[0].number, 245);
}

TEST_F(server_sql, double_quotes_follow_quoted_identifier) {
  ASSERT_TRUE(db().exec("CREATE TABLE [q t] (v varchar(10))"));
  EXPECT_EQ(db().scalar("SELECT \"text\""), "text") << "DB-Library sessions start with it OFF";
  EXPECT_FALSE(db().exec("SELECT COUNT(*) FROM \"q t\""));
  ASSERT_TRUE(db().exec("SET QUOTED_IDENTIFIER ON; INSERT INTO \"q t\" VALUES ('x')"))
      << db().last_error_text();
  EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM \"q t\""), "1") << "the setting lasts";
  ASSERT_TRUE(db().exec("SET ANSI_NULLS, QUOTED_IDENTIFIER OFF"));
  EXPECT_EQ(db().scalar("SELECT \"again\""), "again");
}

TEST_F(server_sql, like_patterns) {
  struct like_case {
    const char* value;
    const char* pattern;
    bool match;
  };
  const like_case cases[] = {
      {"abc", "a%", true},    {"abc", "%C", true},      {"abc", "a_c", true},
      {"abc", "a_", false},   {"abc", "[a-b]bc", true}, {"abc", "[^a]bc", false},
      {"a%c", "a[%]c", true}, {"Ünï", "_n_", true},     {"", "%", true},
      {"aaa", "%%a%%", true}, {"ab", "%b%b", false},    {"東京", "東%", true},
  };
  ASSERT_TRUE(db().exec("CREATE TABLE t (id int, v nvarchar(20))"));
  int n = 0;
  for (const auto& c : cases) {
    std::string value = std::string(c.value);
    ASSERT_TRUE(db().exec("INSERT INTO t VALUES (" + std::to_string(++n) + ", N'" + value + "')"));
  }
  n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.value) + " LIKE " + c.pattern);
    EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM t WHERE id = " + std::to_string(++n) +
                          " AND v LIKE N'" + c.pattern + "'"),
              c.match ? "1" : "0");
  }
  // A long value against many wildcards answers at once and does not exhaust the stack.
  ASSERT_TRUE(db().exec("CREATE TABLE big (v nvarchar(max)); INSERT INTO big VALUES (N'" +
                        std::string(200000, 'a') + "')"));
  EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM big WHERE v LIKE N'%a%a%a%a%a%a%a%a%b'"), "0");
}

TEST_F(server_sql, version_properties_and_database_tests) {
  EXPECT_EQ(db().scalar("SELECT @@VERSION").rfind("Microsoft SQL Server 2019", 0), 0u);
  EXPECT_EQ(db().scalar("SELECT SERVERPROPERTY('ProductVersion')"), "15.0.2000.5");
  EXPECT_NE(db().scalar("SELECT DB_ID(N'sql test')"), "NULL");
  EXPECT_EQ(db().scalar("SELECT DB_ID(N'missing')"), "NULL");
  EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM sys.databases WHERE name = N'sql test'"), "1");
  ASSERT_TRUE(db().exec("USE master; DROP DATABASE [sql test]"));
  EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM master.sys.databases WHERE name = N'sql test'"), "0");
}

TEST_F(server_sql, alter_column_widens_to_text_and_keeps_values) {
  ASSERT_TRUE(
      db().exec("CREATE TABLE [dbo].[orders] ([note] nvarchar(255) NULL); INSERT INTO orders "
                "VALUES (N'short ünï')"));
  ASSERT_TRUE(db().exec("ALTER TABLE [dbo].[orders] ALTER COLUMN [note] TEXT"))
      << db().last_error_text();
  std::string long_value(300, 'x');
  ASSERT_TRUE(db().exec("INSERT INTO orders VALUES ('" + long_value + "')"));
  ASSERT_TRUE(db().exec("SELECT note FROM orders"));
  EXPECT_EQ(db().results()[0].types[0], SYBTEXT);
  EXPECT_EQ(db().results()[0].rows[0][0], "short ünï");
  EXPECT_EQ(db().results()[0].rows[1][0], long_value);
}

TEST_F(server_sql, keys_follow_a_column_through_alter_column) {
  ASSERT_TRUE(
      db().exec("CREATE TABLE t (k int NOT NULL, CONSTRAINT [PK_t] PRIMARY KEY (k)); "
                "INSERT INTO t VALUES (1), (2)"));
  ASSERT_TRUE(db().exec("ALTER TABLE t ALTER COLUMN k nvarchar(5) NOT NULL"))
      << db().last_error_text();
  EXPECT_FALSE(db().exec("INSERT INTO t VALUES (N'1')"));
  ASSERT_FALSE(db().errors().empty());
  EXPECT_EQ(db().errors()[0].number, 2627);
  EXPECT_TRUE(db().exec("INSERT INTO t VALUES (N'3')")) << db().last_error_text();
}

TEST_F(server_sql, sp_columns_reports_the_documented_layout) {
  ASSERT_TRUE(
      db().exec("CREATE TABLE [dbo].[p] ([id] int IDENTITY(1,1) NOT NULL, [price] decimal(12,3) "
                "NULL DEFAULT ((0)), "
                "[name] nvarchar(40) NOT NULL DEFAULT ('abc'))"));
  ASSERT_TRUE(db().exec("EXEC sp_columns @table_name=[p], @table_owner=[dbo]"));
  ASSERT_EQ(db().results().size(), 1u);
  const result_set& rs = db().results()[0];
  ASSERT_EQ(rs.names.size(), 19u);
  EXPECT_EQ(rs.names[3], "COLUMN_NAME");
  EXPECT_EQ(rs.names[5], "TYPE_NAME");
  EXPECT_EQ(rs.names[12], "COLUMN_DEF");
  ASSERT_EQ(rs.rows.size(), 3u);
  EXPECT_EQ(rs.rows[0][5], "int identity");
  EXPECT_EQ(rs.rows[1][3], "price");
  EXPECT_EQ(rs.rows[1][6], "12");  // PRECISION
  EXPECT_EQ(rs.rows[1][8], "3");   // SCALE
  EXPECT_EQ(rs.rows[1][12], "((0))");
  EXPECT_EQ(rs.rows[2][12], "('abc')");
  EXPECT_EQ(rs.rows[2][10], "0");  // NULLABLE
}

TEST_F(server_sql, information_schema_lists_tables_keys_and_foreign_keys) {
  ASSERT_TRUE(
      db().exec("CREATE TABLE p (id int NOT NULL, CONSTRAINT [PK_p] PRIMARY KEY (id)); CREATE "
                "TABLE c (pid int); "
                "ALTER TABLE [c] ADD CONSTRAINT [FK_c] FOREIGN KEY ([pid]) REFERENCES [p]([id]) ON "
                "DELETE CASCADE"));
  EXPECT_EQ(
      db().scalar("SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_TYPE = 'BASE TABLE'"),
      "2");
  EXPECT_EQ(db().scalar("SELECT COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE WHERE "
                        "CONSTRAINT_NAME = N'PK_p'"),
            "id");
  EXPECT_EQ(db().scalar("SELECT DELETE_RULE FROM INFORMATION_SCHEMA.REFERENTIAL_CONSTRAINTS WHERE "
                        "CONSTRAINT_NAME = N'FK_c'"),
            "CASCADE");
  EXPECT_EQ(db().scalar("SELECT name FROM sys.indexes WHERE object_id = OBJECT_ID(N'[dbo].[p]') "
                        "AND is_primary_key = 1"),
            "PK_p");
  EXPECT_FALSE(db().exec("DROP TABLE p"));
  EXPECT_EQ(db().errors().back().number, 3726);
}

TEST_F(server_sql, catalog_joins_answer_key_index_and_foreign_key_queries) {
  ASSERT_TRUE(
      db().exec("CREATE TABLE p (a int NOT NULL, b nvarchar(10) NOT NULL, c int NULL, CONSTRAINT "
                "[PK_p] PRIMARY KEY (b, a)); "
                "CREATE INDEX [ix_c] ON p (c); CREATE TABLE ch (x int, pa int, pb nvarchar(10)); "
                "ALTER TABLE [ch] ADD CONSTRAINT [FK_ch_p] FOREIGN KEY ([pb], [pa]) REFERENCES "
                "[p]([b], [a])"));
  ASSERT_TRUE(db().exec(
      "SELECT kcu.COLUMN_NAME FROM INFORMATION_SCHEMA.TABLE_CONSTRAINTS tc "
      "JOIN INFORMATION_SCHEMA.KEY_COLUMN_USAGE AS kcu ON tc.CONSTRAINT_NAME = kcu.CONSTRAINT_NAME "
      "WHERE tc.CONSTRAINT_TYPE = 'PRIMARY KEY' AND tc.TABLE_NAME = N'p' ORDER BY "
      "kcu.ORDINAL_POSITION"))
      << db().last_error_text();
  EXPECT_EQ(db().results()[0].rows, (std::vector<std::vector<std::string>>{{"b"}, {"a"}}));
  ASSERT_TRUE(db().exec(
      "SELECT i.name, c.name, i.is_primary_key FROM sys.indexes i "
      "INNER JOIN sys.index_columns ic ON ic.object_id = i.object_id AND ic.index_id = i.index_id "
      "JOIN sys.columns c ON c.object_id = ic.object_id AND c.column_id = ic.column_id "
      "WHERE i.object_id = OBJECT_ID(N'[dbo].[p]') ORDER BY i.index_id, ic.key_ordinal"))
      << db().last_error_text();
  EXPECT_EQ(db().results()[0].rows,
            (std::vector<std::vector<std::string>>{
                {"PK_p", "b", "1"}, {"PK_p", "a", "1"}, {"ix_c", "c", "0"}}));
  ASSERT_TRUE(
      db().exec("SELECT fk.name, pc.name, rc.name FROM sys.foreign_keys fk "
                "JOIN sys.foreign_key_columns fkc ON fkc.constraint_object_id = fk.object_id "
                "JOIN sys.columns pc ON pc.object_id = fkc.parent_object_id AND pc.column_id = "
                "fkc.parent_column_id "
                "JOIN sys.columns rc ON rc.object_id = fkc.referenced_object_id AND rc.column_id = "
                "fkc.referenced_column_id "
                "ORDER BY fkc.constraint_column_id"))
      << db().last_error_text();
  EXPECT_EQ(db().results()[0].rows, (std::vector<std::vector<std::string>>{
                                        {"FK_ch_p", "pb", "b"}, {"FK_ch_p", "pa", "a"}}));
  ASSERT_TRUE(
      db().exec("SELECT t.name, fk.name FROM sys.tables t LEFT OUTER JOIN sys.foreign_keys fk "
                "ON fk.parent_object_id = t.object_id ORDER BY t.name"));
  EXPECT_EQ(db().results()[0].rows,
            (std::vector<std::vector<std::string>>{{"ch", "FK_ch_p"}, {"p", "NULL"}}));
}

TEST_F(server_sql, generated_ddl_and_one_row_inserts_as_a_loader_writes_them) {
  ASSERT_TRUE(db().exec(
      "CREATE TABLE [dbo].[orders] ([id] int IDENTITY(1,1) NOT NULL, [when] datetime NULL, "
      "[blob] varbinary(max) NULL, [g] uniqueidentifier NULL, [n] nvarchar(20) NULL, "
      "CONSTRAINT [PK_orders] PRIMARY KEY CLUSTERED ([id] ASC) WITH (PAD_INDEX = OFF) ON "
      "[PRIMARY]) "
      "ON [PRIMARY] TEXTIMAGE_ON [PRIMARY]"))
      << db().last_error_text();
  ASSERT_TRUE(db().exec(
      "CREATE NONCLUSTERED INDEX [ix_when] ON [dbo].[orders] ([when] ASC, [n] DESC) ON [PRIMARY]"))
      << db().last_error_text();
  ASSERT_TRUE(db().exec(
      "SET QUOTED_IDENTIFIER OFF; SET IDENTITY_INSERT [dbo].[orders] ON; INSERT INTO "
      "[dbo].[orders]([id], [when], [blob], [g], [n]) VALUES( 5, '18991230 10:30:00', 0x0A0B, "
      "'6F9619FF-8B86-D011-B42D-00C04FC964FF', N'it''s')"))
      << db().last_error_text();
  ASSERT_TRUE(db().exec(
      "SET QUOTED_IDENTIFIER OFF; SET IDENTITY_INSERT [dbo].[orders] ON; INSERT INTO "
      "[dbo].[orders]([id], [when], [blob], [g], [n]) VALUES( 6, '20240229', 1234, NULL, '')"))
      << db().last_error_text();
  ASSERT_TRUE(db().exec("SELECT * FROM [dbo].[orders] ORDER BY [id]"));
  const auto& rows = db().results()[0].rows;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"5", "1899-12-30 10:30:00.0000000", "0x0A0B",
                                               "6F9619FF-8B86-D011-B42D-00C04FC964FF", "it's"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"6", "2024-02-29 00:00:00.0000000", "0x000004D2",
                                               "NULL", ""}));
}

TEST_F(server_sql, fmtonly_returns_metadata_without_rows) {
  ASSERT_TRUE(
      db().exec("CREATE TABLE t (id int IDENTITY(1,1) NOT NULL, v decimal(9,3) NULL); INSERT INTO "
                "t (v) VALUES (1.5)"));
  ASSERT_TRUE(db().exec("SET FMTONLY ON select * from t SET FMTONLY OFF"));
  ASSERT_EQ(db().results().size(), 1u);
  EXPECT_EQ(db().results()[0].names, (std::vector<std::string>{"id", "v"}));
  EXPECT_EQ(db().results()[0].types, (std::vector<int>{SYBINT4, SYBDECIMAL}));
  EXPECT_TRUE(db().results()[0].rows.empty());
  EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM t"), "1");
}

TEST_F(server_sql, tsql_sees_the_same_server) {
  ASSERT_TRUE(db().exec("CREATE TABLE t (a nvarchar(20)); INSERT INTO t VALUES (N'from dblib')"));
  std::string out = tsql(server_.port(), "USE [sql test]\ngo\nSELECT a FROM t");
  EXPECT_NE(out.find("from dblib"), std::string::npos) << out;
}

TEST(server_login, bad_password_and_unknown_database_are_refused) {
  server_process server({"--login", "loader:secret", "--log", "/dev/null"});
  dblib_client wrong(server.port(), "", "loader", "nope");
  EXPECT_FALSE(wrong.connected());
  ASSERT_FALSE(wrong.errors().empty());
  EXPECT_EQ(wrong.errors().back().number, 18456);
  EXPECT_EQ(wrong.errors().back().text, "Login failed for user 'loader'.");
  dblib_client sa(server.port(), "", "sa", k_password);
  EXPECT_FALSE(sa.connected()) << "a custom --login replaces the default one";
  dblib_client missing(server.port(), "nowhere", "loader", "secret");
  EXPECT_FALSE(missing.connected());
  ASSERT_FALSE(missing.errors().empty());
  EXPECT_EQ(missing.errors().front().number, 4060);
  dblib_client right(server.port(), "", "LOADER", "secret");
  EXPECT_TRUE(right.connected()) << "login names ignore case";
  dblib_client wrong_case(server.port(), "", "loader", "SECRET");
  EXPECT_FALSE(wrong_case.connected()) << "passwords do not";
}

TEST(server_options, version_text_and_statement_log) {
  std::string log = write_temp_file("");
  {
    server_process server(
        {"--version", "Microsoft SQL Server 2008 R2 (RTM) - 10.50.1600.1", "--log", log});
    dblib_client db(server.port());
    ASSERT_TRUE(db.connected());
    EXPECT_EQ(db.scalar("SELECT @@VERSION"), "Microsoft SQL Server 2008 R2 (RTM) - 10.50.1600.1");
    ASSERT_TRUE(db.exec("SET QUOTED_IDENTIFIER ON;\nSELECT\n1"));
    EXPECT_EQ(server.stop(), 0) << "SIGTERM ends the server cleanly";
  }
  std::string text = run_command("cat '" + log + "'").output;
  EXPECT_NE(text.find("SELECT @@VERSION\n"), std::string::npos) << text;
  EXPECT_NE(text.find("SET QUOTED_IDENTIFIER ON\nSELECT 1\n"), std::string::npos) << text;
  unlink(log.c_str());
}

}  // namespace
}  // namespace tds_test

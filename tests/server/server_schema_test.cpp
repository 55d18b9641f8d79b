// Schemas, database users and name resolution as SQL Server has them since 2005: a schema exists
// only once created, a login that creates a database is dbo in it, other logins are the users
// CREATE USER made (with their default schema) or have no access, and an unqualified name means
// the default schema first, then dbo.
#include <gtest/gtest.h>
#include <unistd.h>

#include "test_support.hpp"

namespace tds_test {
namespace {

class server_schema : public ::testing::Test {
 protected:
  void SetUp() override {
    sa_ = std::make_unique<dblib_client>(server_.port(), "", "sa", k_password);
    ASSERT_TRUE(sa_->connected());
    ASSERT_TRUE(sa_->exec("CREATE DATABASE shop; USE shop")) << sa_->last_error_text();
  }
  dblib_client& sa() { return *sa_; }
  // A connection of `login` (password "pw") to `database`.
  std::unique_ptr<dblib_client> as(const std::string& login, const std::string& database = "") {
    return std::make_unique<dblib_client>(server_.port(), database, login, "pw");
  }
  static int first_error(const dblib_client& c) {
    return c.errors().empty() ? 0 : c.errors().front().number;
  }

  server_process server_{
      {"--login", "sa:" + std::string(k_password), "--login", "loader:pw", "--login", "clerk:pw"}};
  std::unique_ptr<dblib_client> sa_;
};

TEST_F(server_schema, a_database_starts_with_its_system_schemas_and_gets_others_by_create_schema) {
  EXPECT_EQ(sa().scalar("SELECT COUNT(*) FROM sys.schemas"), "4");
  for (const char* name : {"dbo", "guest", "INFORMATION_SCHEMA", "sys"})
    EXPECT_EQ(
        sa().scalar(std::string("SELECT COUNT(*) FROM sys.schemas WHERE name = N'") + name + "'"),
        "1")
        << name;
  ASSERT_TRUE(sa().exec("CREATE SCHEMA sales AUTHORIZATION dbo")) << sa().last_error_text();
  EXPECT_EQ(sa().scalar("SELECT schema_id FROM sys.schemas WHERE name = N'sales'"), "5");
  EXPECT_EQ(sa().scalar("SELECT SCHEMA_ID(N'sales')"), "5");
  EXPECT_EQ(sa().scalar("SELECT SCHEMA_NAME(5)"), "sales");

  EXPECT_FALSE(sa().exec("CREATE SCHEMA [SALES]"));
  EXPECT_EQ(first_error(sa()), 2714) << "schema names ignore case, as the default collation does";
  EXPECT_FALSE(sa().exec("SELECT 1; CREATE SCHEMA other"));
  EXPECT_EQ(first_error(sa()), 111);
  EXPECT_EQ(sa().scalar("SELECT COUNT(*) FROM sys.schemas WHERE name = N'other'"), "0");
}

TEST_F(server_schema, create_table_needs_a_schema_that_exists) {
  struct create_case {
    const char* sql;
    int error;  // 0: accepted
  } cases[] = {
      {"CREATE TABLE [loader].[t] (a int)", 2760},
      {"CREATE TABLE sys.t (a int)", 2760},
      {"CREATE TABLE INFORMATION_SCHEMA.t (a int)", 2760},
      {"CREATE TABLE shop.nowhere.t (a int)", 2760},
      {"CREATE TABLE [dbo].[t] (a int)", 0},
      {"CREATE TABLE t (a int)", 2714},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(sa().exec(c.sql), c.error == 0) << sa().last_error_text();
    EXPECT_EQ(first_error(sa()), c.error);
  }
  EXPECT_FALSE(sa().exec("CREATE TABLE [loader].[u] (a int)"));
  ASSERT_EQ(sa().errors().size(), 1u);
  EXPECT_EQ(sa().errors()[0].severity, 16);
  EXPECT_EQ(sa().errors()[0].text,
            "The specified schema name \"loader\" either does not exist or you do not have "
            "permission to use it.");
  ASSERT_TRUE(sa().exec("CREATE SCHEMA loader"));
  EXPECT_TRUE(sa().exec("CREATE TABLE [loader].[t] (b int)")) << "a name is unique per schema";
  EXPECT_EQ(sa().scalar("SELECT COUNT(*) FROM sys.tables t JOIN sys.schemas s ON s.schema_id = "
                        "t.schema_id WHERE t.name = N't' AND s.name = N'loader'"),
            "1");
  EXPECT_EQ(sa().scalar("SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = N't'"),
            "2");
}

TEST_F(server_schema, the_login_that_creates_a_database_is_dbo_there) {
  auto loader = as("loader");
  ASSERT_TRUE(loader->connected());
  ASSERT_TRUE(loader->exec("CREATE DATABASE own; USE own")) << loader->last_error_text();
  EXPECT_EQ(loader->scalar("SELECT USER_NAME()"), "dbo");
  EXPECT_EQ(loader->scalar("SELECT SCHEMA_NAME()"), "dbo");
  EXPECT_EQ(loader->scalar("SELECT SUSER_SNAME()"), "loader");
  EXPECT_FALSE(loader->exec("CREATE TABLE [loader].[t] (a int)"));
  EXPECT_EQ(first_error(*loader), 2760) << "no schema is named after the login";
  ASSERT_TRUE(loader->exec("CREATE TABLE t (a int)"));
  EXPECT_EQ(loader->scalar("SELECT SCHEMA_NAME(schema_id) FROM sys.tables WHERE name = N't'"),
            "dbo");

  // Its owner and sa may drop it; another login may not even open it.
  auto clerk = as("clerk");
  EXPECT_FALSE(clerk->exec("USE own"));
  EXPECT_EQ(first_error(*clerk), 916);
  EXPECT_FALSE(clerk->exec("DROP DATABASE own"));
  EXPECT_EQ(first_error(*clerk), 3701);
  EXPECT_FALSE(as("clerk", "own")->connected()) << "nor log in to it";
  ASSERT_TRUE(loader->exec("USE master; DROP DATABASE own")) << loader->last_error_text();
}

TEST_F(server_schema, other_logins_are_the_users_made_for_them_with_their_default_schema) {
  EXPECT_FALSE(as("loader", "shop")->connected()) << "no user, no access";
  ASSERT_TRUE(sa().exec("CREATE USER loader WITH DEFAULT_SCHEMA = loader"));
  ASSERT_TRUE(sa().exec("CREATE USER [clerk_user] FOR LOGIN clerk"));
  EXPECT_FALSE(sa().exec("CREATE USER ghost"));
  EXPECT_EQ(first_error(sa()), 15007) << "no such login";
  EXPECT_FALSE(sa().exec("CREATE USER loader"));
  EXPECT_EQ(first_error(sa()), 15023);
  EXPECT_FALSE(sa().exec("CREATE USER second_name FOR LOGIN loader"));
  EXPECT_EQ(first_error(sa()), 15063) << "one user per login";

  struct who_case {
    const char* login;
    const char* user;
    const char* schema;
  } cases[] = {
      {"sa", "dbo", "dbo"}, {"loader", "loader", "loader"}, {"clerk", "clerk_user", "dbo"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.login);
    auto client = c.login == std::string("sa")
                      ? std::make_unique<dblib_client>(server_.port(), "shop", "sa", k_password)
                      : as(c.login, "shop");
    ASSERT_TRUE(client->connected());
    EXPECT_EQ(client->scalar("SELECT USER_NAME()"), c.user);
    EXPECT_EQ(client->scalar("SELECT SCHEMA_NAME()"), c.schema);
  }
  EXPECT_EQ(sa().scalar("SELECT default_schema_name FROM sys.database_principals WHERE name = "
                        "N'loader'"),
            "loader");

  // Unqualified, loader's table goes to its default schema, which must exist first.
  auto loader = as("loader", "shop");
  EXPECT_FALSE(loader->exec("CREATE TABLE t (a int)"));
  EXPECT_EQ(first_error(*loader), 2760);
  ASSERT_TRUE(sa().exec("CREATE SCHEMA loader"));
  ASSERT_TRUE(loader->exec("CREATE TABLE t (a int)")) << loader->last_error_text();
  EXPECT_EQ(sa().scalar("SELECT COUNT(*) FROM loader.t"), "0");

  ASSERT_TRUE(sa().exec("ALTER USER loader WITH DEFAULT_SCHEMA = dbo"));
  EXPECT_EQ(as("loader", "shop")->scalar("SELECT SCHEMA_NAME()"), "dbo");
  EXPECT_FALSE(sa().exec("ALTER USER nobody WITH DEFAULT_SCHEMA = dbo"));
  EXPECT_EQ(first_error(sa()), 15151);
}

TEST_F(server_schema, unqualified_names_mean_the_default_schema_first_then_dbo) {
  ASSERT_TRUE(sa().exec("CREATE SCHEMA loader"));
  ASSERT_TRUE(sa().exec("CREATE USER loader WITH DEFAULT_SCHEMA = loader"));
  ASSERT_TRUE(
      sa().exec("CREATE TABLE dbo.both (v nvarchar(10)); CREATE TABLE loader.both (v "
                "nvarchar(10)); CREATE TABLE dbo.only_dbo (v nvarchar(10)); INSERT INTO "
                "dbo.both VALUES (N'dbo'); INSERT INTO loader.both VALUES (N'loader'); "
                "INSERT INTO only_dbo VALUES (N'dbo')"));
  auto loader = as("loader", "shop");
  EXPECT_EQ(loader->scalar("SELECT v FROM both"), "loader");
  EXPECT_EQ(loader->scalar("SELECT v FROM only_dbo"), "dbo");
  EXPECT_EQ(sa().scalar("SELECT v FROM both"), "dbo") << "sa's default schema is dbo";
  EXPECT_EQ(loader->scalar("SELECT OBJECT_ID(N'both')"),
            sa().scalar("SELECT OBJECT_ID(N'[loader].[both]')"));
  EXPECT_NE(sa().scalar("SELECT OBJECT_ID(N'both')"),
            sa().scalar("SELECT OBJECT_ID(N'loader.both')"));

  ASSERT_TRUE(loader->exec("DROP TABLE both")) << loader->last_error_text();
  EXPECT_EQ(sa().scalar("SELECT COUNT(*) FROM sys.tables WHERE name = N'both'"), "1");
  EXPECT_EQ(loader->scalar("SELECT v FROM both"), "dbo") << "now dbo's is the one found";
  EXPECT_FALSE(loader->exec("DROP TABLE loader.only_dbo"));
  EXPECT_EQ(first_error(*loader), 3701);
}

TEST_F(server_schema, catalog_views_describe_keys_of_one_schema_qualified_table) {
  ASSERT_TRUE(sa().exec("CREATE SCHEMA s"));
  ASSERT_TRUE(sa().exec(
      "CREATE TABLE s.p (id int NOT NULL, CONSTRAINT [PK_p] PRIMARY KEY (id)); "
      "CREATE TABLE s.c (id int NOT NULL, code nvarchar(5) NULL, pid int NULL, CONSTRAINT [PK_c] "
      "PRIMARY KEY (id)); CREATE UNIQUE INDEX ix_code ON s.c (code); "
      "ALTER TABLE s.c ADD CONSTRAINT fk_p FOREIGN KEY (pid) REFERENCES s.p (id); "
      "CREATE TABLE dbo.c (x int NOT NULL, CONSTRAINT [PK_c] PRIMARY KEY (x))"))
      << sa().last_error_text();
  ASSERT_TRUE(sa().exec(
      "SELECT i.name, i.is_unique, i.is_primary_key, col.name FROM sys.indexes i "
      "JOIN sys.index_columns ic ON ic.object_id = i.object_id AND ic.index_id = i.index_id "
      "JOIN sys.columns col ON col.object_id = ic.object_id AND col.column_id = ic.column_id "
      "WHERE i.object_id = OBJECT_ID(N'[s].[c]') AND ic.key_ordinal > 0 "
      "ORDER BY i.index_id, ic.key_ordinal"));
  EXPECT_EQ(sa().results()[0].rows, (std::vector<std::vector<std::string>>{
                                        {"PK_c", "1", "1", "id"}, {"ix_code", "1", "0", "code"}}));
  ASSERT_TRUE(sa().exec(
      "SELECT fk.name, rt.name, rs.name FROM sys.foreign_keys fk "
      "JOIN sys.tables rt ON rt.object_id = fk.referenced_object_id "
      "JOIN sys.schemas rs ON rs.schema_id = rt.schema_id "
      "WHERE fk.parent_object_id = OBJECT_ID(N'[s].[c]') AND fk.schema_id = SCHEMA_ID(N's')"));
  EXPECT_EQ(sa().results()[0].rows, (std::vector<std::vector<std::string>>{{"fk_p", "p", "s"}}));
  EXPECT_EQ(
      sa().scalar("SELECT UNIQUE_CONSTRAINT_SCHEMA FROM "
                  "INFORMATION_SCHEMA.REFERENTIAL_CONSTRAINTS WHERE CONSTRAINT_NAME = N'fk_p'"),
      "s");
  // A parent another schema's table refers to cannot be dropped.
  EXPECT_FALSE(sa().exec("DROP TABLE s.p"));
  EXPECT_EQ(first_error(sa()), 3726);
}

TEST_F(server_schema, bulk_load_reaches_a_table_in_the_logins_schema) {
  ASSERT_TRUE(sa().exec("CREATE SCHEMA loader"));
  ASSERT_TRUE(sa().exec("CREATE USER loader WITH DEFAULT_SCHEMA = loader"));
  ASSERT_TRUE(
      sa().exec("CREATE TABLE loader.rows (id int NOT NULL, v nvarchar(10) NULL); CREATE "
                "TABLE dbo.rows (id int NOT NULL)"));
  const std::string file = write_temp_file("1\tone\n2\ttwo\n");
  const std::string out =
      run_command("TDSVER=7.4 freebcp 'shop.loader.rows' in '" + file +
                  "' -c -S 127.0.0.1:" + std::to_string(server_.port()) + " -U loader -P pw")
          .output;
  EXPECT_NE(out.find("2 rows copied"), std::string::npos) << out;
  EXPECT_EQ(sa().scalar("SELECT COUNT(*) FROM loader.rows"), "2");
  EXPECT_EQ(sa().scalar("SELECT COUNT(*) FROM dbo.rows"), "0");
  unlink(file.c_str());
}

}  // namespace
}  // namespace tds_test

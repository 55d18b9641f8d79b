// Reading an existing table's keys through the sys catalog views, and the
// schema a run's tables belong to, against tds_test_server.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "mss_database.hpp"
#include "mss_engine.hpp"
#include "mss_table.hpp"
#include "odb_meta_data.hpp"
#include "temp_folder.hpp"
#include "test_server.hpp"

namespace {

// Runs statements as sa on their own connection.
void run_as_sa(const test_server& server, const std::wstring& database,
               const std::vector<std::string>& statements) {
  odb_login login(test_server::user, test_server::password, false);
  odb_connection connection(server.address(), login, database);
  for (const auto& sql : statements) connection.execute(sql);
}

// Statements the server logged that mention `text`.
std::vector<std::string> logged(const std::string& log, const std::string& text) {
  std::vector<std::string> found;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);)
    if (line.find(text) != std::string::npos) found.push_back(line);
  return found;
}

const udb_index* index_named(const udb_recordset& table, const std::wstring& name) {
  for (const auto& i : table.get_indexes())
    if (i.name == name) return &i;
  return nullptr;
}

}  // namespace

// The table's own keys, and nothing of another table's that share names;
// each kind of metadata costs one query however many keys there are.
TEST(mss_catalog, an_existing_table_reads_its_keys_indexes_and_foreign_keys) {
  temp_folder folder;
  const std::string log = folder.file("server.log");
  test_server server({"--log", log});
  mss_engine engine;
  engine.connect(server.address(), test_server::user, test_server::password, true);
  engine.create_db(L"shop");
  run_as_sa(server, L"shop",
            {"CREATE TABLE [par'ent] (a int NOT NULL, b int NOT NULL, CONSTRAINT [PK_par'ent] "
             "PRIMARY KEY (a, b))",
             "CREATE TABLE [o]]rders] (k int NOT NULL, code nvarchar(10) NULL, day datetime NULL, "
             "pa int NULL, pb int NULL, CONSTRAINT [PK_orders] PRIMARY KEY (k))",
             "CREATE UNIQUE INDEX [ix_code] ON [o]]rders] (code)",
             "CREATE INDEX [ix_day] ON [o]]rders] (day, code)",
             "ALTER TABLE [o]]rders] ADD CONSTRAINT [fk_parent] FOREIGN KEY (pb, pa) REFERENCES "
             "[par'ent] (a, b) ON DELETE CASCADE",
             "CREATE TABLE other (code nvarchar(10) NULL, x int NULL)",
             "CREATE INDEX [ix_other] ON other (x)"});
  const std::size_t indexes_before = logged(log, "sys.indexes").size();
  const std::size_t keys_before = logged(log, "sys.foreign_keys").size();

  auto db = engine.open_db(L"shop", mss_database::mode_append);
  auto table = db->get_mss_table(L"o]rders", 2);
  const udb_indexes& indexes = table->get_indexes();
  ASSERT_EQ(indexes.size(), 3u);
  EXPECT_TRUE(table->has_primary_key());
  const udb_index* pk = index_named(*table, L"PK_orders");
  ASSERT_NE(pk, nullptr);
  EXPECT_TRUE(pk->b_primary);
  EXPECT_EQ(pk->columns, std::vector<std::wstring>{L"k"});
  const udb_index* code = index_named(*table, L"ix_code");
  ASSERT_NE(code, nullptr);
  EXPECT_TRUE(code->b_unique);
  EXPECT_FALSE(code->b_primary);
  const udb_index* day = index_named(*table, L"ix_day");
  ASSERT_NE(day, nullptr);
  EXPECT_FALSE(day->b_unique);
  EXPECT_EQ(day->columns, (std::vector<std::wstring>{L"day", L"code"}));
  EXPECT_EQ(index_named(*table, L"ix_other"), nullptr);

  ASSERT_EQ(db->get_relationships().size(), 1u);
  const udb_relationship& fk = db->get_relationships().at(0);
  EXPECT_EQ(fk.name, L"fk_parent");
  EXPECT_EQ(fk.referencing_table, L"o]rders");
  EXPECT_EQ(fk.referenced_table, L"par'ent");
  EXPECT_EQ(fk.referencing_columns, (std::vector<std::wstring>{L"pb", L"pa"}));
  EXPECT_EQ(fk.referenced_columns, (std::vector<std::wstring>{L"a", L"b"}));

  EXPECT_EQ(logged(log, "sys.indexes").size(), indexes_before + 1);
  EXPECT_EQ(logged(log, "sys.foreign_keys").size(), keys_before + 1);
  EXPECT_TRUE(logged(log, "INFORMATION_SCHEMA").empty());
}

TEST(mss_catalog, readers_answer_for_the_named_schema_only) {
  test_server server;
  mss_engine engine;
  engine.connect(server.address(), test_server::user, test_server::password, true);
  engine.create_db(L"shop");
  run_as_sa(server, L"shop", {"CREATE SCHEMA [it's]"});
  run_as_sa(server, L"shop",
            {"CREATE TABLE t (a int NOT NULL, CONSTRAINT [PK_dbo] PRIMARY KEY (a))",
             "CREATE TABLE [it's].t (b int NOT NULL, CONSTRAINT [PK_its] PRIMARY KEY (b))",
             "CREATE TABLE [it's].u (c int NULL)"});
  odb_login login(test_server::user, test_server::password, false);
  odb_connection connection(server.address(), login, L"shop");
  struct row {
    const wchar_t* owner;
    const wchar_t* expected_key;
  } rows[] = {{L"dbo", L"PK_dbo"}, {L"it's", L"PK_its"}, {L"", L"PK_dbo"}};
  for (const auto& r : rows) {
    odb_pk_meta_data pk(connection, L"t", r.owner);
    ASSERT_FALSE(pk.is_eof()) << r.owner;
    EXPECT_EQ(pk.get_item().field_at(0).to_wstring(), r.expected_key) << r.owner;
  }
  odb_tl_meta_data tables(connection, L"it's");
  std::vector<std::wstring> names;
  for (; !tables.is_eof(); tables.move_next())
    names.push_back(tables.get_item().field_at(0).to_wstring());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"t", L"u"}));
}

// The schema tables go to, for each kind of login.
TEST(mss_catalog, tables_belong_to_the_sessions_default_schema) {
  test_server server({"--login", "sa:pw", "--login", "bob:pw", "--login", "eve:pw"});
  {
    odb_login login(L"sa", L"pw", false);
    odb_connection sa(server.address(), login, L"");
    sa.execute("CREATE DATABASE by_sa");
  }
  {
    odb_login login(L"sa", L"pw", false);
    odb_connection sa(server.address(), login, L"by_sa");
    sa.execute("CREATE USER bob WITH DEFAULT_SCHEMA = bob_schema");
    sa.execute("CREATE USER eve");
  }
  struct row {
    const wchar_t* user;
    bool b_as_dbo;
    const wchar_t* database;
    const wchar_t* owner;
  } rows[] = {
      {L"SA", false, L"by_sa", L"dbo"},   {L"bob", false, L"by_sa", L"bob_schema"},
      {L"bob", true, L"by_sa", L"dbo"},   {L"eve", false, L"by_sa", L"dbo"},
      {L"bob", false, L"by_bob", L"dbo"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::wstring(r.user) + L" in " + r.database);
    mss_engine engine;
    engine.connect(server.address(), r.user, L"pw", true);
    engine.set_as_dbo(r.b_as_dbo);
    // A login that creates its database owns it, and so is dbo there.
    if (!engine.is_db_exist(r.database)) engine.create_db(r.database);
    auto db = engine.open_db(r.database, 2);
    EXPECT_EQ(db->owner(), r.owner);
    EXPECT_EQ(db->safe_name(L"t"), L"[" + std::wstring(r.owner) + L"].[t]");
  }
}

// A database the login has no user in looks missing; creating it then fails,
// and the message says why it cannot be opened instead of "already exists".
TEST(mss_catalog, a_database_the_login_cannot_open_is_explained) {
  test_server server({"--login", "sa:pw", "--login", "bob:pw"});
  {
    odb_login login(L"sa", L"pw", false);
    odb_connection sa(server.address(), login, L"");
    sa.execute("CREATE DATABASE closed");
  }
  mss_engine engine;
  engine.connect(server.address(), L"bob", L"pw", true);
  EXPECT_FALSE(engine.is_db_exist(L"closed"));
  try {
    engine.create_db(L"closed");
    ADD_FAILURE() << "created a database that exists";
  } catch (const odb_exception& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open database \"closed\" requested by the login. The login failed. The "
              "database exists, but login 'bob' cannot open it: its owner can give the login a "
              "user in it (CREATE USER), or connect with a login that has one.");
    EXPECT_EQ(e.level(), tk_level_run);
  }
}

TEST(mss_catalog, owner_qualified_names_pass_and_others_are_qualified) {
  struct row {
    const wchar_t* name;
    const wchar_t* owner;
    const wchar_t* expected;
  } rows[] = {{L"t", L"dbo", L"[dbo].[t]"},
              {L"[t]", L"bob", L"[bob].[t]"},
              {L"[o].[t]", L"bob", L"[o].[t]"},
              {L"a]b", L"b]ob", L"[b]]ob].[a]]b]"},
              {L"t", L"", L"[dbo].[t]"}};
  for (const auto& r : rows)
    EXPECT_EQ(mss_engine::get_safe_tname(r.name, r.owner), r.expected) << r.name;
}

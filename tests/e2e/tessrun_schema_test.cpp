// tessrun logged in as a login that is not sa: where CSV and workbook tables
// land in every mode, with and without --as_dbo. In a database the login
// created it is dbo, so tables go to dbo; in a database sa made, with a user
// whose default schema is "staging", they go to staging, or to dbo with
// --as_dbo, and the same-named table of the other schema is never touched.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "run_process.hpp"
#include "temp_folder.hpp"
#include "test_support.hpp"

namespace {

using tds_test::dblib_client;
using tds_test::k_password;
using tds_test::server_process;
using table_rows = std::vector<std::vector<std::string>>;

enum class source { csv, xlsx };

const table_rows k_file_rows = {{"1", "one"}, {"2", "two"}, {"3", "three"}};

// Python that writes sheet "t" with the file's rows; argument: the path.
const char* const k_write_xlsx = R"(
import openpyxl, sys
wb = openpyxl.Workbook()
ws = wb.active
ws.title = 't'
ws.append(['id', 'name'])
for i, n in [(1, 'one'), (2, 'two'), (3, 'three')]:
    ws.append([i, n])
wb.save(sys.argv[1])
)";

class tessrun_schema : public ::testing::TestWithParam<std::tuple<source, bool>> {
 protected:
  source kind() const { return std::get<0>(GetParam()); }
  bool as_dbo() const { return std::get<1>(GetParam()); }
  // Where the run's table belongs in the database sa made, and the schema it
  // must leave alone.
  std::string owner() const { return as_dbo() ? "dbo" : "staging"; }
  std::string other() const { return as_dbo() ? "staging" : "dbo"; }

  void SetUp() override {
    if (kind() == source::csv) {
      file_ = folder_.write("t.csv", "id,name\n1,one\n2,two\n3,three\n");
    } else {
      file_ = folder_.file("t.xlsx");
      const process_result r = run_process("/usr/bin/python3", {"-c", k_write_xlsx, file_});
      ASSERT_EQ(r.status, 0) << r.err;
    }
  }

  // sa's database "shop" with schema staging, loader's default schema.
  void make_shared_database() {
    sa("", "CREATE DATABASE shop");
    sa("shop", "CREATE SCHEMA staging");
    sa("shop", "CREATE USER loader WITH DEFAULT_SCHEMA = staging");
  }

  void sa(const std::string& database, const std::string& sql) {
    dblib_client client(server_.port(), database, "sa", k_password);
    ASSERT_TRUE(client.exec(sql)) << sql << ": " << client.last_error_text();
  }

  table_rows rows(const std::string& schema) {
    dblib_client client(server_.port(), "shop", "sa", k_password);
    const std::string sql = "SELECT id, name FROM [" + schema + "].[t] ORDER BY id";
    EXPECT_TRUE(client.exec(sql)) << sql << ": " << client.last_error_text();
    return client.results().empty() ? table_rows{} : client.results().front().rows;
  }

  // Runs tessrun as loader on the test's file; the run must succeed quietly.
  process_result load(int mode, const std::string& file = "") {
    std::vector<std::string> args = {"--src=" + (file.empty() ? file_ : file),
                                     "--dest=shop",
                                     "--extr_fn",
                                     "--mode=" + std::to_string(mode),
                                     "--host=127.0.0.1:" + std::to_string(server_.port()),
                                     "--user=loader",
                                     "--pswd=pw"};
    if (kind() == source::csv) {
      args.push_back("--from_csv");
      args.push_back("--tab_name=t");
      args.push_back("--csv_delim=2");
    }
    if (as_dbo()) args.push_back("--as_dbo");
    process_result r = run_process(TESSRUN_PATH, args, {"LC_ALL=C.UTF-8"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
    return r;
  }

  server_process server_{{"--login", "sa:" + std::string(k_password), "--login", "loader:pw"}};
  temp_folder folder_;
  std::string file_;
};

std::string case_name(const ::testing::TestParamInfo<std::tuple<source, bool>>& info) {
  return std::string(std::get<0>(info.param) == source::csv ? "csv" : "xlsx") +
         (std::get<1>(info.param) ? "_as_dbo" : "_default_schema");
}

// Mode 0 drops and recreates the database, which loader may do to one it
// created: it is dbo there, so its tables are dbo's with or without --as_dbo.
TEST_P(tessrun_schema, overwriting_its_own_database_lands_in_dbo) {
  load(0);
  EXPECT_EQ(rows("dbo"), k_file_rows);
  load(0);
  EXPECT_EQ(rows("dbo"), k_file_rows) << "the second run starts from a new database";
  dblib_client loader(server_.port(), "shop", "loader", "pw");
  EXPECT_EQ(loader.scalar("SELECT USER_NAME()"), "dbo");
}

TEST_P(tessrun_schema, overwriting_a_table_replaces_the_owners_table_only) {
  make_shared_database();
  sa("shop",
     "CREATE TABLE staging.t (id int NOT NULL, name nvarchar(20) NULL); INSERT INTO staging.t "
     "VALUES (10, N'old staging'); CREATE TABLE dbo.t (id int NOT NULL, name nvarchar(20) NULL); "
     "INSERT INTO dbo.t VALUES (20, N'old dbo')");
  const table_rows other_before = rows(other());
  load(1);
  EXPECT_EQ(rows(owner()), k_file_rows);
  EXPECT_EQ(rows(other()), other_before);
}

TEST_P(tessrun_schema, skipping_sees_only_the_owners_tables) {
  make_shared_database();
  // A table of the same name in the other schema is not the run's table: it
  // is not skipped, a new one is created where the run's tables belong.
  sa("shop", "CREATE TABLE [" + other() +
                 "].t (id int NOT NULL, name nvarchar(20) NULL); INSERT INTO [" + other() +
                 "].t VALUES (20, N'other')");
  load(2);
  EXPECT_EQ(rows(owner()), k_file_rows);
  EXPECT_EQ(rows(other()), (table_rows{{"20", "other"}}));
  // Now that the owner has one, the next run skips it.
  sa("shop", "INSERT INTO [" + owner() + "].t VALUES (30, N'kept')");
  const process_result r = load(2);
  EXPECT_EQ(rows(owner()).size(), 4u);
  if (kind() == source::csv) {
    EXPECT_NE(r.out.find("exists and was skipped"), std::string::npos) << r.out;
  }
}

TEST_P(tessrun_schema, merging_appends_to_the_owners_table) {
  make_shared_database();
  sa("shop",
     "CREATE TABLE staging.t (id int NOT NULL, name nvarchar(20) NULL); INSERT INTO staging.t "
     "VALUES (10, N'old staging'); CREATE TABLE dbo.t (id int NOT NULL, name nvarchar(20) NULL); "
     "INSERT INTO dbo.t VALUES (20, N'old dbo')");
  const table_rows owner_before = rows(owner());
  const table_rows other_before = rows(other());
  load(3);
  table_rows expected = k_file_rows;  // ids 1-3, before the old row's
  expected.insert(expected.end(), owner_before.begin(), owner_before.end());
  EXPECT_EQ(rows(owner()), expected);
  EXPECT_EQ(rows(other()), other_before);
}

// A table with a foreign key and a unique index: a merge reads its keys and
// loses only the row the index refuses; overwriting it drops and recreates it
// from the file while the table it refers to stays as it was.
TEST_P(tessrun_schema, a_table_with_a_foreign_key_and_a_unique_index_merges_and_is_replaced) {
  make_shared_database();
  const std::string o = "[" + owner() + "]";
  sa("shop", "CREATE TABLE " + o +
                 ".parent (id int NOT NULL, CONSTRAINT [PK_parent] PRIMARY KEY (id)); INSERT "
                 "INTO " +
                 o + ".parent VALUES (1), (2)");
  sa("shop", "CREATE TABLE " + o +
                 ".t (id int NOT NULL, name nvarchar(20) NULL, pid int NULL, CONSTRAINT [PK_t] "
                 "PRIMARY KEY (id)); CREATE UNIQUE INDEX [ix_name] ON " +
                 o + ".t (name); ALTER TABLE " + o +
                 ".t ADD CONSTRAINT [fk_t_parent] FOREIGN KEY (pid) REFERENCES " + o +
                 ".parent (id); INSERT INTO " + o + ".t VALUES (10, N'two', 1)");
  std::string file;
  if (kind() == source::csv) {
    file = folder_.write("keyed.csv", "id,name,pid\n1,one,1\n2,two,2\n3,three,1\n");
  } else {
    file = folder_.file("keyed.xlsx");
    const std::string script =
        "import openpyxl, sys\nwb = openpyxl.Workbook()\nws = wb.active\nws.title = 't'\n"
        "ws.append(['id', 'name', 'pid'])\nfor r in [(1, 'one', 1), (2, 'two', 2), (3, 'three', "
        "1)]:\n    ws.append(r)\nwb.save(sys.argv[1])\n";
    ASSERT_EQ(run_process("/usr/bin/python3", {"-c", script, file}).status, 0);
  }

  {
    std::vector<std::string> args = {"--src=" + file,
                                     "--dest=shop",
                                     "--extr_fn",
                                     "--mode=3",
                                     "--host=127.0.0.1:" + std::to_string(server_.port()),
                                     "--user=loader",
                                     "--pswd=pw"};
    if (kind() == source::csv)
      args.insert(args.end(), {"--from_csv", "--tab_name=t", "--csv_delim=2"});
    if (as_dbo()) args.push_back("--as_dbo");
    const process_result r = run_process(TESSRUN_PATH, args, {"LC_ALL=C.UTF-8"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    // "two" is in the table already: that record alone fails, named by number
    // (and, in a CSV file, by the line where it starts).
    const std::string where = kind() == source::csv ? "t, record #2, line 3:" : "t, record #2:";
    EXPECT_NE(r.out.find(where), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("violates the integrity constraints"), std::string::npos) << r.out;
  }
  EXPECT_EQ(rows(owner()), (table_rows{{"1", "one"}, {"3", "three"}, {"10", "two"}}));

  load(1, file);
  EXPECT_EQ(rows(owner()), k_file_rows);
  dblib_client client(server_.port(), "shop", "sa", k_password);
  EXPECT_EQ(client.scalar("SELECT COUNT(*) FROM " + o + ".parent"), "2");
  EXPECT_EQ(client.scalar("SELECT COUNT(*) FROM sys.foreign_keys WHERE parent_object_id = "
                          "OBJECT_ID(N'" +
                          o + ".[t]')"),
            "0")
      << "the table was recreated from the file, which has no keys";
}

INSTANTIATE_TEST_SUITE_P(sources, tessrun_schema,
                         ::testing::Combine(::testing::Values(source::csv, source::xlsx),
                                            ::testing::Bool()),
                         case_name);

}  // namespace

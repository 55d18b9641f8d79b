// Bulk load as freebcp and DB-Library's bcp API send it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "test_support.hpp"

namespace tds_test {
namespace {

// UTF-8 → UTF-16LE for the ASCII, BMP and astral characters these tests use.
std::string utf16le(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    auto b = static_cast<unsigned char>(utf8[i]);
    uint32_t cp;
    int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    cp = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
    for (int k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += static_cast<size_t>(n);
    auto put = [&](uint32_t u) {
      out.push_back(static_cast<char>(u & 0xFF));
      out.push_back(static_cast<char>(u >> 8));
    };
    if (cp >= 0x10000) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

class server_bulk : public ::testing::Test {
 protected:
  void SetUp() override {
    client_ = std::make_unique<dblib_client>(server_.port());
    ASSERT_TRUE(client_->connected());
    ASSERT_TRUE(client_->exec("CREATE DATABASE bulk; USE bulk")) << client_->last_error_text();
  }
  dblib_client& db() { return *client_; }
  std::string freebcp(const std::string& table, const std::string& file,
                      const std::string& extra = "") {
    return run_command("TDSVER=7.4 freebcp '" + table + "' in '" + file + "' -c " + extra +
                       " -S 127.0.0.1:" + std::to_string(server_.port()) + " -U sa -P '" +
                       k_password + "'")
        .output;
  }

  server_process server_;
  std::unique_ptr<dblib_client> client_;
};

struct bulk_type_case {
  const char* type;
  const char* field;  // as freebcp reads it from a character-format file
  const char* expected;
};

const bulk_type_case k_bulk_types[] = {
    {"bit", "1", "1"},
    {"tinyint", "200", "200"},
    {"smallint", "-300", "-300"},
    {"int", "-2147483648", "-2147483648"},
    {"bigint", "9223372036854775807", "9223372036854775807"},
    {"real", "0.25", "0.25"},
    {"float", "123456.789", "123456.789"},
    {"money", "-1234.5678", "-1234.5678"},
    {"smallmoney", "12.34", "12.3400"},
    {"decimal(18,4)", "-98765.4321", "-98765.4321"},
    {"numeric(5,0)", "99999", "99999"},
    {"datetime", "2024-02-29 23:59:59.997", "2024-02-29 23:59:59.9970000"},
    {"smalldatetime", "1999-12-31 23:59:00", "1999-12-31 23:59:00.0000000"},
    {"datetime2", "2024-05-06 07:08:09.1234567", "2024-05-06 07:08:09.1234567"},
    {"date", "9999-12-31", "9999-12-31"},  // FreeTDS itself turns years before 1753 into 1900
    {"time", "01:02:03.5", "01:02:03.5000000"},
    {"char(4)", "ab", "ab  "},
    {"varchar(20)", "plain text", "plain text"},
    {"varchar(max)", "long varchar", "long varchar"},
    {"nchar(2)", "é", "é "},
    {"nvarchar(30)", "Ünïcødé Иван 東京", "Ünïcødé Иван 東京"},
    {"nvarchar(max)", "max Ж", "max Ж"},
    {"text", "some text", "some text"},
    {"ntext", "ntext Ж", "ntext Ж"},
    {"binary(3)", "0A0B0C", "0x0A0B0C"},
    {"varbinary(8)", "DEADBEEF", "0xDEADBEEF"},
    {"varbinary(max)", "00FF", "0x00FF"},
    {"image", "CAFE", "0xCAFE"},
    {"uniqueidentifier", "6F9619FF-8B86-D011-B42D-00C04FC964FF",
     "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
};

TEST_F(server_bulk, every_type_round_trips_through_freebcp_and_select) {
  std::string create = "CREATE TABLE [all types] ([id] int NOT NULL";
  std::string line = "1";
  int n = 0;
  for (const auto& c : k_bulk_types) {
    create += ", [c" + std::to_string(++n) + "] " + c.type + " NULL";
    line += std::string("\t") + c.field;
  }
  ASSERT_TRUE(db().exec(create + ")")) << db().last_error_text();
  std::string nulls = "2" + std::string(n, '\t');
  std::string file = write_temp_file(line + "\n" + nulls + "\n");
  std::string out = freebcp("bulk.dbo.[all types]", file);
  unlink(file.c_str());
  ASSERT_NE(out.find("2 rows copied"), std::string::npos) << out;
  ASSERT_TRUE(db().exec("SELECT * FROM [all types] ORDER BY id"));
  const auto& rows = db().results()[0].rows;
  ASSERT_EQ(rows.size(), 2u);
  for (int i = 0; i < n; ++i) {
    SCOPED_TRACE(k_bulk_types[i].type);
    EXPECT_EQ(rows[0][static_cast<size_t>(i) + 1], k_bulk_types[i].expected);
    EXPECT_EQ(rows[1][static_cast<size_t>(i) + 1], "NULL");
  }
}

// Binds the columns of [loaded] (id int, name nvarchar(40), at datetime) the way the product does:
// text as UTF-16LE bytes through SYBCHAR, dates as DBDATETIME.
class bcp_loader {
 public:
  explicit bcp_loader(DBPROCESS* proc) : proc_(proc) {}
  bool init(const char* table) {
    if (bcp_init(proc_, table, nullptr, nullptr, DB_IN) == FAIL) return false;
    return bcp_bind(proc_, reinterpret_cast<BYTE*>(&id_), 0, -1, nullptr, 0, SYBINT4, 1) != FAIL &&
           bcp_bind(proc_, reinterpret_cast<BYTE*>(name_.data()), 0, 0, nullptr, 0, SYBCHAR, 2) !=
               FAIL &&
           bcp_bind(proc_, reinterpret_cast<BYTE*>(&at_), 0, -1, nullptr, 0, SYBDATETIME, 3) !=
               FAIL;
  }
  bool send(int id, const std::string& name_utf8, int days_since_1900) {
    id_ = id;
    name_ = utf16le(name_utf8);
    bcp_colptr(proc_, reinterpret_cast<BYTE*>(name_.data()), 2);
    bcp_collen(proc_, static_cast<DBINT>(name_.size()), 2);
    at_.dtdays = days_since_1900;
    at_.dttime = 300 * 3600;  // 01:00
    return bcp_sendrow(proc_) != FAIL;
  }

 private:
  DBPROCESS* proc_;
  DBINT id_ = 0;
  std::string name_ = std::string(80, '\0');
  DBDATETIME at_{};
};

TEST_F(server_bulk, ten_thousand_rows_in_batches_of_a_thousand_land_whole) {
  ASSERT_TRUE(
      db().exec("CREATE TABLE [loaded] ([id] int NOT NULL PRIMARY KEY, [name] nvarchar(40) NULL, "
                "[at] datetime NULL)"));
  bcp_loader loader(db().proc());
  ASSERT_TRUE(loader.init("[bulk].[dbo].[loaded]"));
  const std::string names[] = {"Иван", "東京", "emoji 😀", "plain"};
  for (int i = 1; i <= 10000; ++i) {
    ASSERT_TRUE(loader.send(i, names[i % 4] + " " + std::to_string(i), 45000 + i % 100));
    if (i % 1000 == 0) {
      ASSERT_EQ(bcp_batch(db().proc()), 1000) << "batch ending at row " << i;
    }
  }
  EXPECT_EQ(bcp_done(db().proc()), 0);
  EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM loaded"), "10000");
  ASSERT_TRUE(db().exec("SELECT name, at FROM loaded WHERE id = 4002"));
  EXPECT_EQ(db().results()[0].rows[0][0], "emoji 😀 4002");
  EXPECT_EQ(db().results()[0].rows[0][1], "2023-03-19 01:00:00.0000000");
}

TEST_F(server_bulk, a_duplicate_key_rejects_its_whole_batch_only) {
  ASSERT_TRUE(
      db().exec("CREATE TABLE [loaded] ([id] int NOT NULL PRIMARY KEY, [name] nvarchar(40) NULL, "
                "[at] datetime NULL)"));
  bcp_loader loader(db().proc());
  ASSERT_TRUE(loader.init("[bulk].[dbo].[loaded]"));
  for (int i = 1; i <= 1000; ++i) ASSERT_TRUE(loader.send(i, "ok", 1));
  ASSERT_EQ(bcp_batch(db().proc()), 1000);
  for (int i = 1001; i <= 2000; ++i) ASSERT_TRUE(loader.send(i == 1500 ? 7 : i, "dup", 1));
  EXPECT_EQ(bcp_batch(db().proc()), -1);
  auto errors = db().errors();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0].number, 2627);
  bcp_done(db().proc());
  EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM loaded"), "1000");
  EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM loaded WHERE name = N'dup'"), "0");
}

TEST_F(server_bulk, nulls_take_the_default_and_fail_without_one) {
  ASSERT_TRUE(
      db().exec("CREATE TABLE [t] ([id] int NOT NULL, [v] nvarchar(5) NOT NULL DEFAULT (N'd'), [w] "
                "int NULL)"));
  std::string with_default = write_temp_file("1\tx\t1\n2\t\t2\n");
  EXPECT_NE(freebcp("bulk.dbo.t", with_default).find("2 rows copied"), std::string::npos);
  unlink(with_default.c_str());
  ASSERT_TRUE(db().exec("SELECT v FROM t ORDER BY id"));
  EXPECT_EQ(db().results()[0].rows, (std::vector<std::vector<std::string>>{{"x"}, {"d"}}));
  // (A NULL for a NOT NULL int makes freebcp itself abort: such columns travel as fixed-size
  // types.)
  ASSERT_TRUE(db().exec("CREATE TABLE [u] ([id] int NULL, [n] nvarchar(5) NOT NULL)"));
  std::string without_default = write_temp_file("1\ta\n2\t\n");
  std::string out = freebcp("bulk.dbo.u", without_default);
  unlink(without_default.c_str());
  EXPECT_NE(out.find("515"), std::string::npos) << out;
  EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM u"), "0");
}

TEST_F(server_bulk, keys_are_enforced_but_foreign_keys_are_not) {
  ASSERT_TRUE(db().exec(
      "CREATE TABLE p (id int PRIMARY KEY); CREATE TABLE c (id int PRIMARY KEY, pid int); "
      "ALTER TABLE c ADD CONSTRAINT [FK_c] FOREIGN KEY (pid) REFERENCES p (id)"));
  std::string orphans = write_temp_file("1\t10\n2\t20\n");
  EXPECT_NE(freebcp("bulk.dbo.c", orphans).find("2 rows copied"), std::string::npos);
  std::string out = freebcp("bulk.dbo.c", orphans);
  unlink(orphans.c_str());
  EXPECT_NE(out.find("2627"), std::string::npos) << out;
  EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM c"), "2");
  EXPECT_FALSE(db().exec("INSERT INTO c VALUES (3, 30)")) << "INSERT checks the foreign key";
  EXPECT_EQ(db().errors()[0].number, 547);
}

TEST_F(server_bulk, identity_columns_are_generated_unless_kept) {
  ASSERT_TRUE(db().exec("CREATE TABLE [t] ([id] int IDENTITY(1,1) NOT NULL, [v] int NULL)"));
  std::string file = write_temp_file("50\t1\n60\t2\n");
  EXPECT_NE(freebcp("bulk.dbo.t", file).find("2 rows copied"), std::string::npos);
  EXPECT_NE(freebcp("bulk.dbo.t", file, "-E").find("2 rows copied"), std::string::npos);
  unlink(file.c_str());
  ASSERT_TRUE(db().exec("SELECT id FROM t ORDER BY id"));
  const auto& rows = db().results()[0].rows;
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0][0], "1");
  EXPECT_EQ(rows[1][0], "2");
  EXPECT_EQ(rows[2][0], "50");
  EXPECT_EQ(rows[3][0], "60");
}

TEST(server_no_bulk, bulk_load_is_refused_but_insert_works) {
  server_process server({"--no-bulk"});
  dblib_client db(server.port());
  ASSERT_TRUE(
      db.exec("CREATE DATABASE b; USE b; CREATE TABLE [loaded] ([id] int NOT NULL, [name] "
              "nvarchar(40) NULL, [at] datetime NULL)"));
  bcp_loader loader(db.proc());
  bool ok = loader.init("[b].[dbo].[loaded]") && loader.send(1, "x", 1) && bcp_done(db.proc()) >= 0;
  EXPECT_FALSE(ok);
  bool saw_4834 = false;
  for (const auto& e : db.errors()) saw_4834 |= e.number == 4834;
  EXPECT_TRUE(saw_4834);
  dblib_client again(server.port(), "b");
  ASSERT_TRUE(again.exec("INSERT INTO loaded (id) VALUES (1)")) << again.last_error_text();
  EXPECT_EQ(again.scalar("SELECT COUNT(*) FROM loaded"), "1");
}

}  // namespace
}  // namespace tds_test

// Table creation: column types, nullability, defaults and the keys the
// server can hold.
#include <gtest/gtest.h>

#include <memory>

#include "mss_database.hpp"
#include "mss_engine.hpp"
#include "mss_table.hpp"
#include "test_server.hpp"

namespace {

std::string column_sql(const t_ftd& field, const udb_indexes& indexes = udb_indexes()) {
  udb_schema schema(true);
  schema.add_field(std::make_unique<t_ftd>(field));
  return odb_database::create_table_sql(L"[dbo].[t]", schema, indexes);
}

}  // namespace

TEST(mss_create, column_text) {
  struct row {
    t_ftd field;
    std::string expected;
  } rows[] = {
      {t_ftd(50, L"a", VT_BSTR, false, false, ole_variant(), 0), "[a] nvarchar(50) NULL"},
      {t_ftd(0, L"a", VT_BSTR, false, false, ole_variant(), 0), "[a] nvarchar(max) NULL"},
      {t_ftd(8000, L"a", VT_BSTR, false, false, ole_variant(), 0), "[a] nvarchar(max) NULL"},
      {t_ftd(4000, L"a", VT_BSTR, true, false, ole_variant(L"it's"), 0),
       "[a] nvarchar(4000) NOT NULL DEFAULT N'it''s'"},
      {t_ftd(0, L"b", VT_BLOB, false, false, ole_variant(), 0), "[b] varbinary(max) NULL"},
      {t_ftd(0, L"n", VT_DECIMAL, false, false, ole_variant(), 30 * 256 + 2), "[n] float NULL"},
      {t_ftd(0, L"n", VT_DECIMAL, false, false, ole_variant(), 5 * 256 + 2),
       "[n] numeric(5, 2) NULL"},
      {t_ftd(0, L"i", VT_I4, false, true, ole_variant(), 0), "[i] int IDENTITY(1,1) NOT NULL"},
      {t_ftd(0, L"i", VT_I8, false, false, ole_variant(5), 0), "[i] bigint NULL DEFAULT 5"},
      {t_ftd(0, L"f", VT_BOOL, false, false, ole_variant(true), 0), "[f] bit NULL DEFAULT 1"},
      {t_ftd(0, L"d", VT_DATE, false, false, ole_variant(), 0), "[d] datetime NULL"},
      {t_ftd(0, L"x]y", VT_R8, false, false, ole_variant(), 0), "[x]]y] float NULL"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(column_sql(r.field), "CREATE TABLE [dbo].[t] (" + r.expected + ")") << r.expected;
}

TEST(mss_create, key_columns_are_not_null) {
  udb_indexes indexes;
  indexes.add(udb_index{L"pk", true, true, {L"k"}});
  EXPECT_EQ(column_sql(t_ftd(10, L"k", VT_BSTR, false, false, ole_variant(), 0), indexes),
            "CREATE TABLE [dbo].[t] ([k] nvarchar(10) NOT NULL)");
}

TEST(mss_create, wide_keys_are_skipped_and_narrow_ones_created) {
  test_server server;
  mss_engine engine;
  engine.connect(server.address(), test_server::user, test_server::password, true);
  auto db = engine.create_db(L"keys");
  for (int width : {300, 200}) {
    udb_schema schema(true);
    schema.add_field(std::make_unique<t_ftd>(width, L"a", VT_BSTR, false, false, ole_variant(), 0));
    schema.add_field(std::make_unique<t_ftd>(width, L"b", VT_BSTR, false, false, ole_variant(), 0));
    udb_indexes indexes;
    indexes.add(udb_index{L"pk", true, true, {L"a", L"b"}});
    const std::wstring name = L"t" + std::to_wstring(width);
    db->create_mss_table(name, schema, indexes);
    odb_result r = db->connection().query(
        "SELECT CONSTRAINT_NAME FROM INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE TABLE_NAME = N'" +
        std::string(width == 300 ? "t300" : "t200") + "'");
    if (width == 300) {
      EXPECT_TRUE(r.rows.empty());  // 1,200 bytes: beyond the server's key limit
    } else {
      ASSERT_EQ(r.rows.size(), 1u);
      EXPECT_EQ(r.rows[0][0].bytes, "PK_t200");
      // Reopened, the table knows its primary key.
      EXPECT_TRUE(db->get_mss_table(name, 2)->has_primary_key());
    }
  }
}

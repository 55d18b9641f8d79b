// Loading through FreeTDS into tds_test_server: both paths, text intact,
// names verbatim, rows that fail alone, columns that widen step by step.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mss_database.hpp"
#include "mss_engine.hpp"
#include "mss_field_upsizer.hpp"
#include "mss_table.hpp"
#include "odb_exception.hpp"
#include "test_server.hpp"
#include "tk_text.hpp"
#include "udb_record.hpp"
#include "udb_schema.hpp"

namespace {

struct failure {
  std::uint32_t code;
  long record;
  std::string text;
};

class mss_load : public ::testing::TestWithParam<bool> {
 protected:
  void start(const std::vector<std::string>& options = {}) {
    server_ = std::make_unique<test_server>(options);
    engine_ = std::make_unique<mss_engine>();
    engine_->connect(server_->address(), test_server::user, test_server::password, bulk());
    db_ = engine_->create_db(L"dest");
  }
  void TearDown() override {
    db_.reset();
    engine_.reset();
    server_.reset();
  }
  bool bulk() const { return GetParam(); }

  std::unique_ptr<mss_table> create(const std::wstring& name,
                                    std::vector<std::pair<std::wstring, VARTYPE>> cols,
                                    std::int32_t text_size = 50,
                                    const udb_indexes& indexes = udb_indexes()) {
    udb_schema schema(true);
    for (auto& [n, vt] : cols)
      schema.add_field(std::make_unique<t_ftd>(vt == VT_BSTR ? text_size : 0, n, vt, false, false,
                                               ole_variant(), vt == VT_DECIMAL ? 10 * 256 + 2 : 0));
    auto t = db_->create_mss_table(name, schema, indexes);
    t->set_created(true);
    t->set_error_sink([this](const tk_exception& e, const std::wstring&, long n) {
      failures_.push_back({e.code(), n, e.what()});
    });
    return t;
  }

  static std::unique_ptr<udb_record> record(const udb_schema& schema,
                                            const std::vector<ole_variant>& values) {
    auto r = std::make_unique<udb_record>();
    for (std::size_t i = 0; i < values.size(); ++i) {
      const std::int32_t size = static_cast<std::int32_t>(values[i].to_wstring().size());
      r->add_field(
          std::make_unique<udb_field>(schema.field_at(i).name, size, values[i], false, false));
    }
    return r;
  }

  // Appends a row; a failure of the row itself is recorded like the
  // driver's error handler would.
  void append(mss_table& t, const std::vector<ole_variant>& values, long n,
              mss_field_upsizer* upsizer = nullptr) {
    auto r = record(t.get_schema(), values);
    try {
      if (upsizer) upsizer->process(*r);
      t.append_record(*r, n);
    } catch (const tk_exception& e) {
      failures_.push_back({e.code(), n, e.what()});
    }
  }

  odb_result select(const std::string& sql) { return db_->connection().query(sql); }

  std::unique_ptr<test_server> server_;
  std::unique_ptr<mss_engine> engine_;
  std::unique_ptr<mss_database> db_;
  std::vector<failure> failures_;
};

ole_variant text(const std::wstring& s) { return ole_variant(s); }

}  // namespace

TEST_P(mss_load, text_lands_intact_on_both_paths) {
  start();
  auto t = create(L"texts", {{L"id", VT_I4}, {L"s", VT_BSTR}});
  const std::vector<std::wstring> texts = {
      L"Привет, мир", L"漢字かな交じり", L"emoji 😀🎉 outside the BMP", L"",
      L"O'Neil",      L"trailing  "};
  for (std::size_t i = 0; i < texts.size(); ++i)
    append(*t, {ole_variant(static_cast<int>(i)), text(texts[i])}, static_cast<long>(i + 1));
  t->close();
  EXPECT_TRUE(failures_.empty());
  odb_result r = select("SELECT id, s FROM [dbo].[texts]");
  ASSERT_EQ(r.rows.size(), texts.size());
  for (const auto& row : r.rows) {
    const std::size_t i = static_cast<std::size_t>(std::stoi(row[0].bytes));
    EXPECT_FALSE(row[1].b_null) << i;
    EXPECT_EQ(tk_utf82w(row[1].bytes), texts[i]) << i;
  }
}

TEST_P(mss_load, mixed_types_and_batch_boundary) {
  start();
  auto t = create(L"mixed", {{L"i", VT_I4},
                             {L"r", VT_R8},
                             {L"d", VT_DATE},
                             {L"b", VT_BOOL},
                             {L"m", VT_DECIMAL},
                             {L"s", VT_BSTR}});
  const long rows = bulk() ? 2001 : 120;
  for (long n = 1; n <= rows; ++n)
    append(*t,
           {ole_variant(static_cast<int>(n)), ole_variant(n / 4.0),
            ole_variant::from_string("2024-02-29 13:45:10", VT_DATE), ole_variant(n % 2 == 0),
            ole_variant::from_string("12345.67", VT_DECIMAL), text(L"row " + std::to_wstring(n))},
           n);
  // Nothing of an unfinished batch is visible before the table is closed.
  if (bulk()) {
    // The table's own session is busy with the bulk copy: look from another.
    auto other = engine_->test_connection(L"dest");
    // The rows are sent by the table's own thread: how many whole batches
    // it has committed by now varies, never a part of one.
    const long seen =
        std::stol(other->query("SELECT COUNT(*) FROM [dbo].[mixed]").rows[0][0].bytes);
    EXPECT_EQ(seen % 1000, 0) << seen;
    EXPECT_LE(seen, 2000);
  }
  t->close();
  EXPECT_TRUE(failures_.empty()) << failures_.front().text;
  EXPECT_EQ(std::stol(select("SELECT COUNT(*) FROM [dbo].[mixed]").rows[0][0].bytes), rows);
  odb_result r = select("SELECT i, r, d, b, m, s FROM [dbo].[mixed] WHERE i = 7");
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0][1].bytes, "1.75");
  EXPECT_EQ(r.rows[0][2].bytes.substr(0, 19), "2024-02-29 13:45:10");
  EXPECT_EQ(r.rows[0][3].bytes, "0");
  EXPECT_EQ(r.rows[0][4].bytes, "12345.67");
  EXPECT_EQ(r.rows[0][5].bytes, "row 7");
}

TEST_P(mss_load, names_with_brackets_quotes_and_letters_land_verbatim) {
  start();
  const std::wstring table = L"Заказы ]x' \"q";
  const std::wstring column = L"колонка ]] 'c'";
  auto t = create(table, {{column, VT_BSTR}});
  append(*t, {text(L"v")}, 1);
  t->close();
  EXPECT_TRUE(failures_.empty());
  odb_result r =
      select("SELECT " + mss_bracket_utf8(column) + " FROM [dbo]." + mss_bracket_utf8(table));
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0][0].bytes, "v");
  EXPECT_EQ(tk_utf82w(r.columns[0].name), column);
}

TEST_P(mss_load, a_duplicate_key_loses_only_its_row) {
  start();
  udb_indexes indexes;
  indexes.add(udb_index{L"pk", true, true, {L"id"}});
  auto t = create(L"keyed", {{L"id", VT_I4}, {L"s", VT_BSTR}}, 50, indexes);
  for (long n = 1; n <= 1500; ++n) {
    const int id = n == 700 ? 5 : static_cast<int>(n);  // record 700 repeats key 5
    append(*t, {ole_variant(id), text(L"x")}, n);
  }
  t->close();
  ASSERT_EQ(failures_.size(), 1u);
  EXPECT_EQ(failures_[0].record, 700);
  EXPECT_EQ(failures_[0].code, 0x80E2Fu);
  EXPECT_EQ(std::stol(select("SELECT COUNT(*) FROM [dbo].[keyed]").rows[0][0].bytes), 1499);
}

TEST_P(mss_load, a_value_longer_than_an_existing_column_fails_its_row) {
  start();
  db_->execute("CREATE TABLE [dbo].[narrow] ([s] nvarchar(10) NULL)");
  db_ = engine_->open_db(L"dest", mss_database::mode_append);  // merge into what exists
  udb_schema schema(true);
  schema.add_field(std::make_unique<t_ftd>(50, L"s", VT_BSTR, false, false, ole_variant(), 0));
  auto t =
      db_->create_mss_table(L"narrow", schema, udb_indexes());  // an existing table: merged into
  t->set_error_sink([this](const tk_exception& e, const std::wstring&, long n) {
    failures_.push_back({e.code(), n, e.what()});
  });
  mss_field_upsizer upsizer(*db_, *t);
  append(*t, {text(L"ten chars!")}, 1, &upsizer);
  append(*t, {text(L"twelve chars")}, 2, &upsizer);
  append(*t, {text(L"short")}, 3, &upsizer);
  t->close();
  ASSERT_EQ(failures_.size(), 1u);
  EXPECT_EQ(failures_[0].record, 2);
  EXPECT_EQ(failures_[0].code, 0x80E57u);
  EXPECT_NE(failures_[0].text.find("String or binary data would be truncated"), std::string::npos);
  EXPECT_EQ(upsizer.statements(), 0);
  EXPECT_EQ(std::stol(select("SELECT COUNT(*) FROM [dbo].[narrow]").rows[0][0].bytes), 2);
}

TEST_P(mss_load, columns_widen_once_per_step_and_keep_every_character) {
  start();
  auto t = create(L"widen", {{L"a", VT_BSTR}, {L"b", VT_BSTR}});
  mss_field_upsizer upsizer(*db_, *t);
  const std::vector<std::size_t> lengths = {50, 51, 255, 256, 5000, 300};
  long n = 0;
  for (std::size_t len : lengths) {
    std::wstring v(len, L'ж');
    v.back() = L'!';
    append(*t, {text(v), text(L"b")}, ++n, &upsizer);
  }
  t->close();
  EXPECT_TRUE(failures_.empty());
  EXPECT_EQ(upsizer.statements(), 2);  // nvarchar(255), then nvarchar(max), column a only
  odb_result r = select("SELECT a FROM [dbo].[widen]");
  ASSERT_EQ(r.rows.size(), lengths.size());
  std::vector<std::size_t> got;
  for (const auto& row : r.rows) {
    const std::wstring v = tk_utf82w(row[0].bytes);
    EXPECT_EQ(v.back(), L'!');
    got.push_back(v.size());
  }
  std::sort(got.begin(), got.end());
  std::vector<std::size_t> want = lengths;
  std::sort(want.begin(), want.end());
  EXPECT_EQ(got, want);
  odb_result c = select(
      "SELECT CHARACTER_MAXIMUM_LENGTH FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = N'widen' "
      "AND "
      "COLUMN_NAME = N'a'");
  ASSERT_EQ(c.rows.size(), 1u);
  EXPECT_EQ(c.rows[0][0].bytes, "-1");
}

TEST_P(mss_load, defaults_and_not_null_columns) {
  start();
  db_->execute(
      "CREATE TABLE [dbo].[defs] ([n] int NOT NULL DEFAULT ((0)), [s] nvarchar(20) NOT NULL "
      "DEFAULT ('abc'), "
      "[q] nvarchar(20) NULL DEFAULT ('it''s'))");
  db_->add_table_name(L"defs");
  auto t = db_->get_mss_table(L"defs", 2);
  const udb_schema& s = t->get_schema();
  ASSERT_EQ(s.field_count(), 3u);
  EXPECT_EQ(s.field_at(0).def_value.to_string(), "0");
  EXPECT_EQ(s.field_at(1).def_value.to_wstring(), L"abc");
  EXPECT_EQ(s.field_at(2).def_value.to_wstring(), L"it's");
  EXPECT_TRUE(s.field_at(1).b_not_null);
  t->set_error_sink([this](const tk_exception& e, const std::wstring&, long n) {
    failures_.push_back({e.code(), n, e.what()});
  });
  append(*t, {ole_variant(), text(L""), ole_variant()}, 1);
  t->close();
  EXPECT_TRUE(failures_.empty());
  odb_result r = select("SELECT n, s, q FROM [dbo].[defs]");
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0][0].bytes, "0");
  EXPECT_FALSE(r.rows[0][1].b_null);
  EXPECT_EQ(r.rows[0][1].bytes, "");
  EXPECT_TRUE(r.rows[0][2].b_null);
}

TEST_P(mss_load, identity_tables_load_one_after_another_on_one_session) {
  start();
  for (const char* table : {"first", "second"})
    db_->execute(std::string("CREATE TABLE [dbo].[") + table +
                 "] ([id] int IDENTITY(1,1) NOT NULL, [v] nvarchar(10) NULL)");
  for (const wchar_t* table : {L"first", L"second"}) {
    db_->add_table_name(table);
    auto t = db_->get_mss_table(table, 2);
    ASSERT_TRUE(t->has_identity());
    append(*t, {ole_variant(7), text(L"x")}, 1);
    // The session leaves IDENTITY_INSERT on for one table at most; the
    // second table can only be loaded when the first turned it off.
    t->close();
  }
  EXPECT_TRUE(failures_.empty()) << (failures_.empty() ? "" : failures_[0].text);
  for (const char* table : {"first", "second"}) {
    odb_result r = select(std::string("SELECT id, v FROM [dbo].[") + table + "]");
    ASSERT_EQ(r.rows.size(), 1u) << table;
    EXPECT_EQ(r.rows[0][0].bytes, "7") << table;
  }
}

INSTANTIATE_TEST_SUITE_P(paths, mss_load, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "bulk" : "insert"; });

TEST(mss_connect, failures_carry_the_codes_the_messages_are_mapped_from) {
  test_server server;
  mss_engine engine;
  try {
    engine.connect(server.address(), L"sa", L"wrong", true);
    FAIL() << "a bad password connected";
  } catch (const odb_exception& e) {
    EXPECT_EQ(e.code(), 0x80E4Du);
  }
  EXPECT_FALSE(engine.is_connected());
  try {
    engine.connect(L"127.0.0.1,1", L"sa", L"x", true);
    FAIL() << "a closed port connected";
  } catch (const odb_exception& e) {
    EXPECT_EQ(e.code(), 0x84005u);
  }
  engine.connect(server.address(), L"sa", test_server::password, true);
  EXPECT_EQ(engine.version_level(), 5);
  EXPECT_FALSE(engine.is_db_exist(L"nowhere"));
  engine.create_db(L"made]here");
  EXPECT_TRUE(engine.is_db_exist(L"made]here"));
  engine.delete_db(L"made]here");
  EXPECT_FALSE(engine.is_db_exist(L"made]here"));
}

TEST(mss_connect, a_server_without_bulk_copy_loads_by_insert) {
  test_server server({"--no-bulk"});
  mss_engine engine;
  engine.connect(server.address(), L"sa", test_server::password, true);
  auto db = engine.create_db(L"nb");
  udb_schema schema(true);
  schema.add_field(std::make_unique<t_ftd>(50, L"s", VT_BSTR, false, false, ole_variant(), 0));
  auto t = db->create_mss_table(L"t", schema, udb_indexes());
  for (int i = 0; i < 3; ++i) {
    udb_record r;
    r.add_field(std::make_unique<udb_field>(L"s", 1, ole_variant(L"v"), false, false));
    t->append_record(r);
  }
  t->close();
  EXPECT_EQ(t->rows_by_sql(), 3);
  EXPECT_EQ(db->connection().query("SELECT COUNT(*) FROM [dbo].[t]").rows[0][0].bytes, "3");
}

TEST(mss_pipeline, refused_rows_are_reported_in_record_order_and_the_rest_land) {
  // Many batches, with a duplicate key every 700 rows: refused batches are
  // replayed on the sending thread while the reader goes on encoding, and
  // every failure still reaches the sink on the reader's thread, in order.
  test_server server;
  mss_engine engine;
  engine.connect(server.address(), test_server::user, test_server::password, true);
  auto db = engine.create_db(L"pipe");
  db->execute("CREATE TABLE [dbo].[k] ([id] int NOT NULL PRIMARY KEY, [s] nvarchar(20) NULL)");
  db->add_table_name(L"k");
  auto t = db->get_mss_table(L"k", 2);
  const std::thread::id reader = std::this_thread::get_id();
  std::vector<long> refused;
  t->set_error_sink([&](const tk_exception& e, const std::wstring&, long n) {
    EXPECT_EQ(std::this_thread::get_id(), reader);
    EXPECT_EQ(e.code(), 0x80E2Fu) << e.what();
    refused.push_back(n);
  });
  const long rows = 10000;
  std::vector<long> expected;
  for (long n = 1; n <= rows; ++n) {
    const bool b_duplicate = n % 700 == 0;
    if (b_duplicate) expected.push_back(n);
    udb_record r;
    r.add_field(std::make_unique<udb_field>(L"id", 0, ole_variant(static_cast<int>(b_duplicate ? 1 : n)),
                                            false, false));
    r.add_field(std::make_unique<udb_field>(L"s", 0, ole_variant(L"x"), false, false));
    t->append_record(r, n);
  }
  t->close();
  EXPECT_EQ(refused, expected);
  EXPECT_EQ(t->rows_loaded(), rows - static_cast<long>(expected.size()));
  EXPECT_EQ(std::stol(db->connection().query("SELECT COUNT(*) FROM [dbo].[k]").rows[0][0].bytes),
            rows - static_cast<long>(expected.size()));
}

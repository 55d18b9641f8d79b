#include "csv_field_upsizer.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "t_ftd.hpp"
#include "tk_exception.hpp"
#include "udb_database.hpp"

namespace {

class null_database : public udb_database {
 public:
  null_database() : udb_database(L"db", 0, false) {}
  std::unique_ptr<udb_recordset> create_table(const std::wstring&, const udb_schema&,
                                              const udb_indexes&) override {
    return nullptr;
  }
  std::unique_ptr<udb_recordset> get_table(const std::wstring&, int) override { return nullptr; }
  std::unique_ptr<udb_recordset> get_table(const std::wstring&, const std::wstring&, int) override {
    return nullptr;
  }
};

class table : public udb_recordset {
 public:
  explicit table(int columns) : udb_recordset(L"t", true) {
    for (int i = 0; i < columns; ++i)
      schema.add_field(std::make_unique<t_ftd>(50, L"c" + std::to_wstring(i), VT_BSTR, false, false,
                                               ole_variant(), 0));
  }
  void append_record(udb_record&) override {}
};

class recording_upsizer : public csv_field_upsizer {
 public:
  using csv_field_upsizer::csv_field_upsizer;
  std::vector<std::wstring> widened;
  int failures_left = 0;

 protected:
  void do_upsize(t_ftd& field) override {
    if (failures_left > 0) {
      --failures_left;
      throw tk_exception("ALTER failed", tk_level_item);
    }
    widened.push_back(field.name);
  }
};

std::unique_ptr<udb_record> row(const std::vector<std::size_t>& lengths) {
  auto r = std::make_unique<udb_record>();
  for (std::size_t n : lengths) {
    const std::wstring text(n, L'x');
    r->add_field(std::make_unique<udb_field>(L"f", static_cast<std::int32_t>(n), ole_variant(text),
                                             false, false));
  }
  return r;
}

TEST(csv_field_upsizer, widens_each_long_column_once_in_column_order) {
  struct {
    const char* what;
    std::vector<std::vector<std::size_t>> records;
    std::vector<std::wstring> widened;
  } cases[] = {
      {"255 is short, 256 is long", {{255, 256, 0}}, {L"c1"}},
      {"a column is widened once", {{300, 1}, {400, 1}, {256, 256}}, {L"c0", L"c1"}},
      {"two columns in one record, in column order", {{1, 999, 999}}, {L"c1", L"c2"}},
      {"a short record", {{300}}, {L"c0"}},
      {"nothing long", {{10, 20, 30}, {}}, {}},
  };
  null_database db;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    table t(3);
    recording_upsizer upsizer(&db, &t);
    for (const auto& lengths : c.records) upsizer.process(*row(lengths));
    EXPECT_EQ(upsizer.widened, c.widened);
  }
}

TEST(csv_field_upsizer, a_failed_widening_is_tried_again_on_the_next_long_value) {
  null_database db;
  table t(2);
  recording_upsizer upsizer(&db, &t);
  upsizer.failures_left = 1;
  EXPECT_THROW(upsizer.process(*row({1, 300})), tk_exception);
  EXPECT_FALSE(upsizer.is_upsized(1));
  upsizer.process(*row({1, 300}));
  EXPECT_TRUE(upsizer.is_upsized(1));
  EXPECT_EQ(upsizer.widened, std::vector<std::wstring>{L"c1"});
}

TEST(csv_field_upsizer, values_past_a_narrower_table_are_ignored) {
  // A merge into an existing table with fewer columns than the file.
  null_database db;
  table t(1);
  recording_upsizer upsizer(&db, &t);
  upsizer.process(*row({300, 300, 300}));
  EXPECT_EQ(upsizer.widened, std::vector<std::wstring>{L"c0"});
}

}  // namespace

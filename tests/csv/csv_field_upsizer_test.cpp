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
    schema.add_field(std::make_unique<t_ftd>(0, L"number", VT_R8, false, false, ole_variant(), 0));
  }
  void append_record(udb_record&) override {}
};

// Records each widening as "column:new size".
class recording_upsizer : public csv_field_upsizer {
 public:
  using csv_field_upsizer::csv_field_upsizer;
  std::vector<std::wstring> widened;
  int failures_left = 0;

 protected:
  void do_upsize(std::size_t position, std::int32_t new_size) override {
    if (failures_left > 0) {
      --failures_left;
      throw tk_exception("ALTER failed", tk_level_item);
    }
    widened.push_back(get_table()->get_schema().field_at(position).name + L":" +
                      std::to_wstring(new_size));
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

TEST(csv_field_upsizer, widens_a_column_once_per_step_when_a_value_outgrows_it) {
  struct {
    const char* what;
    std::vector<std::vector<std::size_t>> records;
    std::vector<std::wstring> widened;
  } cases[] = {
      {"50 fits, 51 takes 255, 256 takes long text", {{50, 51, 256}}, {L"c1:255", L"c2:0"}},
      {"one step at a time, each once",
       {{51}, {100}, {255}, {256}, {5000}},
       {L"c0:255", L"c0:0"}},
      {"straight to long text", {{5000}, {51}}, {L"c0:0"}},
      {"two columns in one record, in column order", {{1, 999, 60}}, {L"c1:0", L"c2:255"}},
      {"nothing long, or an empty record", {{10, 20, 30}, {}}, {}},
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

TEST(csv_field_upsizer, the_table_size_follows_each_step) {
  null_database db;
  table t(1);
  recording_upsizer upsizer(&db, &t);
  upsizer.process(*row({60}));
  EXPECT_EQ(t.get_schema().field_at(0).size, 255);
  upsizer.process(*row({300}));
  EXPECT_EQ(t.get_schema().field_at(0).size, 0);
}

TEST(csv_field_upsizer, a_failed_widening_is_tried_again_on_the_next_long_value) {
  null_database db;
  table t(2);
  recording_upsizer upsizer(&db, &t);
  upsizer.failures_left = 1;
  EXPECT_THROW(upsizer.process(*row({1, 300})), tk_exception);
  EXPECT_EQ(t.get_schema().field_at(1).size, 50);  // unchanged
  upsizer.process(*row({1, 300}));
  EXPECT_EQ(upsizer.widened, std::vector<std::wstring>{L"c1:0"});
}

TEST(csv_field_upsizer, only_text_columns_of_the_table_are_looked_at) {
  // A merge into an existing table with fewer columns than the file, whose
  // last column is a number.
  null_database db;
  table t(1);
  recording_upsizer upsizer(&db, &t);
  upsizer.process(*row({300, 300, 300}));
  EXPECT_EQ(upsizer.widened, std::vector<std::wstring>{L"c0:0"});
}

}  // namespace

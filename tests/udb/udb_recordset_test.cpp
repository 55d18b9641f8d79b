#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ole_exceptions.hpp"
#include "tk_mail_assertion.hpp"
#include "udb_index.hpp"
#include "udb_recordset.hpp"

namespace {

// The smallest destination: keeps the converted rows' texts.
class memory_table : public udb_recordset {
 public:
  using udb_recordset::udb_recordset;

  void add_column(const std::wstring& name, VARTYPE type) {
    schema.add_field(std::make_unique<t_ftd>(0, name, type, false, false, ole_variant(), 0));
  }
  void append_record(udb_record& record) override {
    convert_record(record);
    std::vector<std::wstring> row;
    for (std::size_t i = 0; i < record.field_count(); ++i) {
      row.push_back(record.field_at(i).to_wstring());
    }
    rows.push_back(row);
  }

  std::vector<std::vector<std::wstring>> rows;
};

udb_index index(const std::wstring& name, bool unique, bool primary,
                std::vector<std::wstring> columns = {L"id"}) {
  return udb_index{name, unique, primary, std::move(columns)};
}

std::unique_ptr<udb_field> text(const std::wstring& name, const std::wstring& value) {
  return std::make_unique<udb_field>(name, static_cast<std::int32_t>(value.size()),
                                     ole_variant(value), false, false);
}

// ---- indexes and key_index -------------------------------------------------------

struct key_index_case {
  const char* what;
  std::vector<udb_index> added;
  int key_index;
  std::vector<std::wstring> kept;
};

class recordset_key_index : public ::testing::TestWithParam<key_index_case> {};

TEST_P(recordset_key_index, first_primary_or_unique_wins) {
  const key_index_case& c = GetParam();
  memory_table table(L"t", true);
  for (const udb_index& i : c.added) table.add_index(i);
  EXPECT_EQ(table.get_key_index(), c.key_index);
  std::vector<std::wstring> kept;
  for (const udb_index& i : table.get_indexes()) kept.push_back(i.name);
  EXPECT_EQ(kept, c.kept);
}

INSTANTIATE_TEST_SUITE_P(
    cases, recordset_key_index,
    ::testing::Values(key_index_case{"none", {}, -1, {}},
                      key_index_case{"plain indexes only",
                                     {index(L"IX_A", false, false), index(L"IX_B", false, false)},
                                     -1,
                                     {L"IX_A", L"IX_B"}},
                      key_index_case{"primary then unique",
                                     {index(L"PK_A", true, true), index(L"IX_B", true, false)},
                                     0,
                                     {L"PK_A", L"IX_B"}},
                      key_index_case{"unique then primary",
                                     {index(L"IX_B", true, false), index(L"PK_A", true, true)},
                                     0,
                                     {L"IX_B", L"PK_A"}},
                      key_index_case{"plain then primary",
                                     {index(L"IX_A", false, false), index(L"PK_A", true, true)},
                                     1,
                                     {L"IX_A", L"PK_A"}},
                      key_index_case{"primary flag alone counts",
                                     {index(L"IX_A", false, false), index(L"PK", false, true)},
                                     1,
                                     {L"IX_A", L"PK"}},
                      key_index_case{"same name in another case is dropped",
                                     {index(L"PK_A", true, true), index(L"pk_a", true, false)},
                                     0,
                                     {L"PK_A"}},
                      key_index_case{"dropped key does not set key_index",
                                     {index(L"IX_A", false, false), index(L"ix_a", true, true),
                                      index(L"IX_C", true, false)},
                                     1,
                                     {L"IX_A", L"IX_C"}}),
    [](const ::testing::TestParamInfo<key_index_case>& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p) name += std::isalnum(*p) ? *p : '_';
      return name;
    });

TEST(udb_recordset, clean_indexes_forgets_the_key) {
  memory_table table(L"t", true);
  table.add_index(index(L"IX_A", false, false));
  table.add_index(index(L"UQ_B", true, false));
  ASSERT_EQ(table.get_key_index(), 1);
  table.clean_indexes();
  EXPECT_EQ(table.get_key_index(), -1);
  EXPECT_TRUE(table.get_indexes().empty());
  // Names are free again after cleaning.
  table.add_index(index(L"uq_b", true, true));
  EXPECT_EQ(table.get_key_index(), 0);
  EXPECT_EQ(table.get_indexes().size(), 1u);
}

TEST(udb_indexes, key_columns_and_primary_key) {
  udb_indexes indexes;
  EXPECT_EQ(indexes.find_primary(), -1);
  EXPECT_FALSE(indexes.is_idx_field(indexes.find_primary(), L"id"));
  EXPECT_TRUE(indexes.add(index(L"UQ_Code", true, false, {L"Code"})));
  EXPECT_TRUE(indexes.add(index(L"PK_T", true, true, {L"Id", L"Part"})));
  EXPECT_FALSE(indexes.add(index(L"Pk_t", true, true, {L"Other"})));
  EXPECT_FALSE(indexes.is_acceptable_name(L"UQ_CODE"));
  EXPECT_TRUE(indexes.is_acceptable_name(L"UQ_CODE2"));

  const int pk = indexes.find_primary();
  ASSERT_EQ(pk, 1);
  EXPECT_TRUE(indexes.is_idx_field(pk, L"ID"));
  EXPECT_TRUE(indexes.is_idx_field(pk, L"part"));
  EXPECT_FALSE(indexes.is_idx_field(pk, L"Code"));
  EXPECT_FALSE(indexes.is_idx_field(pk, L"Other"));
  EXPECT_TRUE(indexes.is_idx_field(indexes.key_index(), L"code"));
  EXPECT_THROW(indexes.is_idx_field(2, L"Id"), tk_mail_assertion);
}

// ---- convert_record --------------------------------------------------------------

class convert_record_test : public ::testing::Test {
 protected:
  void SetUp() override {
    table.add_column(L"Id", VT_I8);
    table.add_column(L"Price", VT_R8);
    table.add_column(L"Note", VT_BSTR);
  }
  memory_table table{L"dest", true};
};

TEST_F(convert_record_test, each_value_takes_the_type_of_its_column_by_position) {
  udb_record record;
  record.add_field(std::make_unique<udb_field>(L"a", 0, ole_variant(12), false, false));
  record.add_field(text(L"b", L"2.5"));
  record.add_field(std::make_unique<udb_field>(L"c", 0, ole_variant(7), false, false));
  table.convert_record(record);
  EXPECT_EQ(record.field_at(0).get_type(), VT_I8);
  EXPECT_EQ(record.field_at(0).i8_value, 12);
  EXPECT_EQ(record.field_at(1).get_type(), VT_R8);
  EXPECT_DOUBLE_EQ(record.field_at(1).to_double(), 2.5);
  EXPECT_EQ(record.field_at(2).get_type(), VT_BSTR);
  EXPECT_EQ(record.field_at(2).to_wstring(), L"7");
  // Names are traced, never compared or changed.
  EXPECT_EQ(record.field_at(0).name, L"a");
}

TEST_F(convert_record_test, short_record_converts_the_fields_it_has) {
  udb_record record;
  record.add_field(std::make_unique<udb_field>(L"Id", 0, ole_variant(5), false, false));
  table.append_record(record);
  ASSERT_EQ(table.rows.size(), 1u);
  EXPECT_EQ(table.rows[0], (std::vector<std::wstring>{L"5"}));
  EXPECT_EQ(record.field_at(0).get_type(), VT_I8);

  udb_record empty;
  EXPECT_NO_THROW(table.convert_record(empty));
}

TEST_F(convert_record_test, fields_beyond_the_schema_are_left_alone) {
  udb_record record;
  for (int i = 0; i < 4; ++i) {
    record.add_field(std::make_unique<udb_field>(L"f", 0, ole_variant(i), false, false));
  }
  table.convert_record(record);
  EXPECT_EQ(record.field_at(2).get_type(), VT_BSTR);
  EXPECT_EQ(record.field_at(3).get_type(), VT_I4);
}

TEST_F(convert_record_test, empty_value_stays_empty) {
  udb_record record;
  record.add_field(std::make_unique<udb_field>());
  table.convert_record(record);
  EXPECT_EQ(record.field_at(0).get_type(), VT_EMPTY);
}

TEST_F(convert_record_test, text_that_is_no_integer_raises_cast_exception) {
  udb_record record;
  record.add_field(text(L"Id", L"abc"));
  EXPECT_THROW(table.append_record(record), ole_cast_exception);
  EXPECT_TRUE(table.rows.empty());
}

}  // namespace

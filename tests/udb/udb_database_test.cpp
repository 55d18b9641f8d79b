#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tk_mail_assertion.hpp"
#include "udb_custom_conversion.hpp"
#include "udb_database.hpp"
#include "udb_relationships.hpp"

namespace {

// The base class's bookkeeping only; opening tables is not what these tests
// are about.
class listed_database : public udb_database {
 public:
  listed_database(bool case_sensitive, const std::vector<std::wstring>& tables)
      : udb_database(L"db", 2, case_sensitive) {
    for (const auto& t : tables) add_table_name(t);
  }
  std::unique_ptr<udb_recordset> create_table(const std::wstring&, const udb_schema&,
                                              const udb_indexes&) override {
    return nullptr;
  }
  std::unique_ptr<udb_recordset> get_table(const std::wstring&, int) override { return nullptr; }
  std::unique_ptr<udb_recordset> get_table(const std::wstring&, const std::wstring&, int) override {
    return nullptr;
  }
};

// ---- table list ------------------------------------------------------------------

struct exist_case {
  bool case_sensitive;
  std::wstring name;
  bool exists;
};

class database_table_list : public ::testing::TestWithParam<exist_case> {};

TEST_P(database_table_list, is_table_exist_follows_the_case_rule) {
  const exist_case& c = GetParam();
  listed_database db(c.case_sensitive, {L"customers", L"orders"});
  EXPECT_EQ(db.is_table_exist(c.name), c.exists);
}

INSTANTIATE_TEST_SUITE_P(
    cases, database_table_list,
    ::testing::Values(exist_case{false, L"orders", true}, exist_case{false, L"ORDERS", true},
                      exist_case{false, L"Customers", true}, exist_case{false, L"order", false},
                      exist_case{true, L"orders", true}, exist_case{true, L"ORDERS", false},
                      exist_case{true, L"Customers", false}, exist_case{false, L"", false}));

TEST(udb_database, delete_tab_removes_one_name_and_keeps_the_order) {
  listed_database db(false, {L"a", L"B", L"c", L"b"});
  EXPECT_TRUE(db.delete_tab(L"b"));  // the first equal name ignoring case
  EXPECT_EQ(db.get_tables(), (std::vector<std::wstring>{L"a", L"c", L"b"}));
  EXPECT_TRUE(db.delete_tab(L"A"));
  EXPECT_TRUE(db.delete_tab(L"c"));
  EXPECT_TRUE(db.delete_tab(L"b"));
  EXPECT_TRUE(db.get_tables().empty());
  EXPECT_FALSE(db.is_table_exist(L"b"));
}

TEST(udb_database, deleting_an_unlisted_table_is_internal_error) {
  listed_database db(false, {L"orders"});
  EXPECT_TRUE(db.delete_tab(L"orders"));
  EXPECT_THROW(db.delete_tab(L"orders"), tk_mail_assertion);

  listed_database exact(true, {L"orders"});
  EXPECT_THROW(exact.delete_tab(L"ORDERS"), tk_mail_assertion);
  EXPECT_EQ(exact.get_tables().size(), 1u);
}

// ---- relationships ---------------------------------------------------------------

udb_relationship relationship(const std::wstring& parent, const std::wstring& child) {
  udb_relationship r;
  r.referenced_table = parent;
  r.referencing_table = child;
  r.referencing_columns = {L"parent_id"};
  r.referenced_columns = {L"id"};
  return r;
}

TEST(udb_relationships, names_grow_through_the_suffix_cycle) {
  udb_relationships list;
  std::vector<std::wstring> names;
  for (int i = 0; i < 8; ++i) {
    udb_relationship r = relationship(L"a", L"b");
    r.name = list.gen_relship_name(r);
    names.push_back(r.name);
    list.add(r);
  }
  EXPECT_EQ(names, (std::vector<std::wstring>{L"FK_a_b", L"FK_a_b_", L"FK_a_b_1", L"FK_a_b_1_",
                                              L"FK_a_b_1_2", L"FK_a_b_1_2_", L"FK_a_b_1_2_3",
                                              L"FK_a_b_1_2_3_"}));
}

TEST(udb_relationships, names_compare_ignoring_case) {
  udb_relationships list;
  udb_relationship r = relationship(L"Orders", L"Lines");
  r.name = L"fk_orders_lines";
  list.add(r);
  EXPECT_FALSE(list.is_acceptable_name(L"FK_Orders_Lines"));
  EXPECT_TRUE(list.is_acceptable_name(L"FK_Lines_Orders"));
  EXPECT_EQ(list.gen_relship_name(relationship(L"Orders", L"Lines")), L"FK_Orders_Lines_");
  EXPECT_EQ(list.gen_relship_name(relationship(L"Lines", L"Orders")), L"FK_Lines_Orders");
  EXPECT_EQ(&list.get_index(L"FK_ORDERS_LINES"), &list.at(0));
  EXPECT_EQ(list.get_index(L"FK_ORDERS_LINES").referenced_columns,
            (std::vector<std::wstring>{L"id"}));
  EXPECT_THROW(list.get_index(L"FK_missing"), tk_mail_assertion);
}

// ---- custom conversion rules ------------------------------------------------------

t_ftd text_column(const std::wstring& name) {
  return t_ftd(10, name, VT_BSTR, false, false, ole_variant(), 0);
}

TEST(udb_custom_conversion, without_registry_every_hook_finds_no_rule) {
  ASSERT_EQ(udb_custom_conversion::instance(), nullptr);
  const t_ftd column = text_column(L"c");
  udb_column_desc desc;
  desc.provider_type = 130;
  desc.size = 10;
  EXPECT_FALSE(udb_custom_conversion::is_acceptable1(column));
  EXPECT_FALSE(udb_custom_conversion::is_acceptable2(ole_variant(1)));
  udb_custom_conversion::handle1_1(column, desc);
  EXPECT_EQ(desc.provider_type, 130);
  EXPECT_EQ(desc.size, 10u);
  EXPECT_EQ(udb_custom_conversion::handle2(ole_variant(1)), L"");

  // An empty registry behaves the same.
  udb_custom_conversion registry;
  EXPECT_FALSE(udb_custom_conversion::is_acceptable1(column));
  EXPECT_FALSE(udb_custom_conversion::is_acceptable2(ole_variant(1)));
  EXPECT_EQ(udb_custom_conversion::handle2(ole_variant(1)), L"");
}

// Accepts columns and values whose name / text starts with its prefix.
class prefix_rule : public udb_custom_rule {
 public:
  prefix_rule(std::wstring prefix, std::wstring label)
      : prefix_(std::move(prefix)), label_(std::move(label)) {}
  bool accepts_field(const t_ftd& field) const override {
    return field.name.rfind(prefix_, 0) == 0;
  }
  bool accepts_value(const ole_variant& value) const override {
    return value.to_wstring().rfind(prefix_, 0) == 0;
  }
  std::wstring value_text(const ole_variant& value) const override {
    return label_ + L":" + value.to_wstring();
  }
  void describe_column(const t_ftd&, udb_column_desc& column) const override {
    column.name = label_;
  }

 private:
  std::wstring prefix_;
  std::wstring label_;
};

TEST(udb_custom_conversion, first_accepting_rule_in_registration_order_handles) {
  udb_custom_conversion registry;
  registry.add_rule(std::make_unique<prefix_rule>(L"ab", L"first"));
  registry.add_rule(std::make_unique<prefix_rule>(L"a", L"second"));

  EXPECT_TRUE(udb_custom_conversion::is_acceptable1(text_column(L"ax")));
  EXPECT_FALSE(udb_custom_conversion::is_acceptable1(text_column(L"x")));
  EXPECT_TRUE(udb_custom_conversion::is_acceptable2(ole_variant(std::wstring(L"abc"))));

  udb_column_desc desc;
  udb_custom_conversion::handle1_1(text_column(L"abc"), desc);
  EXPECT_EQ(desc.name, L"first");
  udb_custom_conversion::handle1_1(text_column(L"ax"), desc);
  EXPECT_EQ(desc.name, L"second");
  desc.name = L"unchanged";
  udb_custom_conversion::handle1_1(text_column(L"x"), desc);
  EXPECT_EQ(desc.name, L"unchanged");

  EXPECT_EQ(udb_custom_conversion::handle2(ole_variant(std::wstring(L"abc"))), L"first:abc");
  EXPECT_EQ(udb_custom_conversion::handle2(ole_variant(std::wstring(L"az"))), L"second:az");
  EXPECT_THROW(udb_custom_conversion::handle2(ole_variant(std::wstring(L"z"))), tk_mail_assertion);
  EXPECT_THROW(registry.add_rule(nullptr), tk_mail_assertion);
}

TEST(udb_custom_conversion, second_registry_is_internal_error) {
  udb_custom_conversion registry;
  EXPECT_THROW(udb_custom_conversion(), tk_mail_assertion);
  EXPECT_EQ(udb_custom_conversion::instance(), &registry);
}

}  // namespace

#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <string>

#include "t_ftd.hpp"
#include "tk_mail_assertion.hpp"
#include "udb_field.hpp"
#include "udb_record.hpp"
#include "udb_schema.hpp"

namespace {

std::unique_ptr<t_ftd> column(const std::wstring& name, VARTYPE type, std::int32_t size) {
  return std::make_unique<t_ftd>(size, name, type, false, false, ole_variant(), 0);
}

std::unique_ptr<udb_field> text_field(const std::wstring& name, const std::wstring& text) {
  return std::make_unique<udb_field>(name, static_cast<std::int32_t>(text.size()),
                                     ole_variant(text), false, false);
}

// ---- udb_field, t_ftd -----------------------------------------------------------

TEST(udb_field, keeps_its_own_copy_of_the_value) {
  ole_variant value(std::wstring(L"abc"));
  const udb_field f(L"Name", 3, value, true, false);
  value.attach_wstring(L"changed");
  EXPECT_EQ(f.to_wstring(), L"abc");
  EXPECT_EQ(f.get_type(), VT_BSTR);
  EXPECT_EQ(f.name, L"Name");
  EXPECT_EQ(f.size, 3);
  EXPECT_TRUE(f.b_not_null);
  EXPECT_FALSE(f.b_auto_increment);
}

TEST(t_ftd, from_field_takes_name_size_flags_and_type) {
  const udb_field f(L"Id", 8, ole_variant(42LL), true, true);
  const t_ftd d(f, ole_variant(7), 3);
  EXPECT_EQ(d.name, L"Id");
  EXPECT_EQ(d.size, 8);
  EXPECT_EQ(d.vartype, VT_I8);
  EXPECT_TRUE(d.b_not_null);
  EXPECT_TRUE(d.b_auto_increment);
  EXPECT_EQ(d.def_value.get_type(), VT_I4);
  EXPECT_EQ(d.extra, 3);
}

// ---- udb_schema ----------------------------------------------------------------

class schema_lookup : public ::testing::Test {
 protected:
  void SetUp() override {
    schema.add_field(column(L"Name", VT_BSTR, 50));
    schema.add_field(column(L"Price", VT_R8, 8));
    schema.add_field(column(L"PRICE", VT_I4, 4));  // shadowed by the first match
  }
  udb_schema schema{true};
};

struct lookup_case {
  std::wstring name;
  bool found;
  std::int32_t size;
  VARTYPE type;
};

class schema_lookup_cases : public schema_lookup,
                            public ::testing::WithParamInterface<lookup_case> {};

TEST_P(schema_lookup_cases, ignores_case_first_match_wins) {
  const lookup_case& c = GetParam();
  EXPECT_EQ(schema.find_field(c.name), c.found);
  if (c.found) {
    EXPECT_EQ(schema.get_field_size(c.name), c.size);
    EXPECT_EQ(schema.get_field_type(c.name), c.type);
    EXPECT_EQ(&schema.get_field(c.name), &schema.field_at(c.type == VT_BSTR ? 0 : 1));
  } else {
    EXPECT_THROW(schema.get_field_size(c.name), tk_mail_assertion);
    EXPECT_THROW(schema.get_field_type(c.name), tk_mail_assertion);
    EXPECT_THROW(schema.get_field(c.name), tk_mail_assertion);
  }
}

INSTANTIATE_TEST_SUITE_P(cases, schema_lookup_cases,
                         ::testing::Values(lookup_case{L"PRICE", true, 8, VT_R8},
                                           lookup_case{L"price", true, 8, VT_R8},
                                           lookup_case{L"nAME", true, 50, VT_BSTR},
                                           lookup_case{L"Pric", false, 0, VT_EMPTY},
                                           lookup_case{L"Price ", false, 0, VT_EMPTY},
                                           lookup_case{L"", false, 0, VT_EMPTY}));

TEST_F(schema_lookup, positions_follow_column_order) {
  ASSERT_EQ(schema.field_count(), 3u);
  EXPECT_EQ(schema.field_at(0).name, L"Name");
  EXPECT_EQ(schema.field_at(2).name, L"PRICE");
  EXPECT_THROW(schema.field_at(3), tk_mail_assertion);
}

// Names compare in the user's locale, not byte by byte.
TEST(udb_schema, lookup_folds_case_beyond_ascii) {
  const char* old = std::setlocale(LC_CTYPE, nullptr);
  const std::string saved = old ? old : "C";
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale";
  udb_schema schema(true);
  schema.add_field(column(L"\u00dcbersicht", VT_BSTR, 10));  // Übersicht
  const bool found = schema.find_field(L"\u00fcBERSICHT");   // üBERSICHT
  std::setlocale(LC_CTYPE, saved.c_str());
  EXPECT_TRUE(found);
}

TEST(udb_schema, non_owning_schema_leaves_definitions_alive) {
  auto kept = column(L"Kept", VT_I4, 4);
  {
    udb_schema view(false);
    view.add_field(*kept);
    EXPECT_TRUE(view.find_field(L"kept"));
    EXPECT_FALSE(view.owns_fields());
  }
  // Under AddressSanitizer a definition deleted by the view fails here.
  kept->name = L"still here";
  EXPECT_EQ(kept->name, L"still here");
}

TEST(udb_schema, definition_of_the_wrong_ownership_is_refused) {
  udb_schema owning(true);
  udb_schema view(false);
  auto d = column(L"a", VT_I4, 4);
  EXPECT_THROW(owning.add_field(*d), tk_mail_assertion);
  EXPECT_THROW(view.add_field(column(L"b", VT_I4, 4)), tk_mail_assertion);
  EXPECT_THROW(owning.add_field(std::unique_ptr<t_ftd>()), tk_mail_assertion);
  EXPECT_EQ(owning.field_count(), 0u);
  EXPECT_EQ(view.field_count(), 0u);
}

// ---- udb_record ----------------------------------------------------------------

// A reader-specific field that counts its destruction.
class counted_field : public udb_field {
 public:
  counted_field(const std::wstring& name, int& destroyed)
      : udb_field(name, 0, ole_variant(), false, false), destroyed_(destroyed) {}
  ~counted_field() override { ++destroyed_; }

 private:
  int& destroyed_;
};

TEST(udb_record, destroying_a_record_deletes_every_field) {
  int destroyed = 0;
  {
    udb_record record;
    for (int i = 0; i < 3; ++i) {
      record.add_field(std::make_unique<counted_field>(L"F" + std::to_wstring(i), destroyed));
    }
    EXPECT_EQ(record.field_count(), 3u);
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 3);
}

TEST(udb_record, lookups_ignore_case_and_take_the_first_field) {
  udb_record record;
  record.add_field(text_field(L"Name", L"first"));
  record.add_field(text_field(L"NAME", L"second"));
  record.add_field(text_field(L"Qty", L"3"));

  EXPECT_TRUE(record.find_field(L"name"));
  EXPECT_TRUE(record.find_field(L"QTY"));
  EXPECT_FALSE(record.find_field(L"Price"));
  EXPECT_EQ(record.get_field(L"nAmE").to_wstring(), L"first");
  EXPECT_EQ(&record.get_field(L"qty"), &record.field_at(2));
  EXPECT_THROW(record.field_at(3), tk_mail_assertion);
}

// A reader's reusable row names its fields by the schema it was read
// against; a record built field by field names them itself.
TEST(udb_record, names_come_from_the_schema_when_there_is_one) {
  udb_schema schema(true);
  schema.add_field(std::make_unique<t_ftd>(50, L"Name", VT_BSTR, false, false, ole_variant(), 0));
  schema.add_field(std::make_unique<t_ftd>(8, L"Qty", VT_I4, false, false, ole_variant(), 0));
  udb_record record(schema);
  record.add_field(std::make_unique<udb_field>());
  record.add_field(std::make_unique<udb_field>(L"ignored", 0, ole_variant(3), false, false));
  EXPECT_EQ(record.field_name(0), L"Name");
  EXPECT_EQ(record.field_name(1), L"Qty");
  EXPECT_TRUE(record.find_field(L"qty"));
  EXPECT_FALSE(record.find_field(L"ignored"));
  EXPECT_EQ(&record.get_field(L"QTY"), &record.field_at(1));
  // Renaming the column renames the record's field with it.
  schema.field_at(0).name = L"Title";
  EXPECT_TRUE(record.find_field(L"title"));
  EXPECT_THROW(record.field_name(2), tk_mail_assertion);

  udb_record built;
  built.add_field(text_field(L"Own", L"x"));
  EXPECT_EQ(built.field_name(0), L"Own");
}

TEST(udb_record, missing_name_yields_an_empty_field) {
  udb_record record;
  record.add_field(text_field(L"Name", L"x"));
  const udb_field& missing = record.get_field(L"Price");
  EXPECT_EQ(missing.get_type(), VT_EMPTY);
  EXPECT_TRUE(missing.name.empty());
  EXPECT_EQ(missing.size, 0);
  EXPECT_EQ(missing.to_wstring(), L"");
  EXPECT_TRUE(udb_record().get_field(L"anything").name.empty());
  EXPECT_THROW(record.add_field(nullptr), tk_mail_assertion);
}

}  // namespace

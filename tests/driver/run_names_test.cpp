// The names a run gives the server, and the lines it reports, without a
// server.
#include <gtest/gtest.h>

#include "run_messages.hpp"
#include "run_names.hpp"

namespace {

TEST(run_names, table_names_are_unique_in_a_run_ignoring_case_and_fit_128_units) {
  const std::wstring long_name(140, L'x');
  const std::wstring emoji_name = std::wstring(127, L'e') + L"\U0001F600";  // 129 units
  struct name_case {
    std::wstring source;
    std::wstring expected;
  };
  // In order: each name is taken before the next is asked for.
  const name_case cases[] = {
      {L"DATA", L"DATA"},
      {L"Data", L"Data_"},
      {L"data", L"data_1"},
      {L"Data_", L"Data__"},
      {L"2024", L"_2024"},  // the validator's rule: a name starts with a letter or "_"
      {long_name, std::wstring(128, L'x')},
      {long_name, std::wstring(127, L'x') + L"_"},
      {long_name, std::wstring(126, L'x') + L"_1"},
      // A character outside the BMP takes two units: it does not fit at 128.
      {emoji_name, std::wstring(127, L'e')},
      {L"", L"_"},
  };
  run_names names({}, {L"existing"});
  for (const name_case& c : cases) {
    bool b_generated = false;
    const std::wstring name = names.table_name(c.source, b_generated);
    EXPECT_EQ(name, c.expected) << c.source.size();
    EXPECT_EQ(b_generated, name != c.source);
    EXPECT_LE(run_names::utf16_length(name), run_names::max_name_length);
    names.take(name, b_generated);
  }
  // An existing table keeps its name: loading into it is what the modes do.
  bool b_generated = true;
  EXPECT_EQ(names.table_name(L"existing", b_generated), L"existing");
  EXPECT_FALSE(b_generated);
}

TEST(run_names, only_columns_over_the_limit_are_renamed_and_never_onto_a_neighbour) {
  udb_schema schema(true);
  const std::wstring long_name(200, L'c');
  for (const std::wstring& name : {std::wstring(L"id"), long_name, std::wstring(128, L'c')})
    schema.add_field(std::make_unique<t_ftd>(50, name, VT_BSTR, false, false, ole_variant(), 0));
  udb_indexes indexes;
  indexes.add({L"pk", true, true, {long_name}});
  const fitted_columns fitted = fit_column_names(schema, indexes);
  ASSERT_TRUE(fitted.schema);
  ASSERT_EQ(fitted.renamed.size(), 1u);
  const std::wstring expected = std::wstring(127, L'c') + L"_";
  EXPECT_EQ(fitted.schema->field_at(0).name, L"id");
  EXPECT_EQ(fitted.schema->field_at(1).name, expected);
  EXPECT_EQ(fitted.schema->field_at(2).name, std::wstring(128, L'c'));
  EXPECT_EQ(fitted.indexes.at(0).columns, std::vector<std::wstring>{expected});

  udb_schema fine(true);
  fine.add_field(std::make_unique<t_ftd>(50, L"a", VT_BSTR, false, false, ole_variant(), 0));
  EXPECT_FALSE(fit_column_names(fine, {}).schema);
}

TEST(run_messages, summary_and_stop_lines) {
  EXPECT_EQ(table_summary_text(L"orders", 1499, 1),
            "Table orders: 1499 rows loaded, 1 rows refused");
  EXPECT_EQ(table_summary_text(L"Sheet", 3, 0, 2),
            "Table Sheet: 3 rows loaded, 0 rows refused, 2 error cells stored as NULL");
  EXPECT_EQ(stopped_text(L"orders", 17676), "Stopped: 17676 rows of orders loaded");
  EXPECT_EQ(stopped_text(L"", 0), "Stopped: nothing was loaded");
}

}  // namespace

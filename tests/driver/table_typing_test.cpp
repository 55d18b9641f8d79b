#include "table_typing.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "t_ftd.hpp"
#include "tk_exception.hpp"
#include "udb_field.hpp"
#include "udb_record.hpp"
#include "udb_schema.hpp"

namespace {

// One column fed `values`; the typing of that single column.
table_typing typing_of(const std::vector<std::wstring>& values, bool b_server_2008 = true) {
  std::vector<column_classifier> columns;
  columns.emplace_back(L"c");
  for (const auto& value : values) columns[0].add_text(value);
  classify_options options;
  options.b_server_2008 = b_server_2008;
  return table_typing(L"t", columns, options, false);
}

std::unique_ptr<udb_record> record_of(const std::wstring& text) {
  auto record = std::make_unique<udb_record>();
  record->add_field(std::make_unique<udb_field>(L"c", static_cast<std::int32_t>(text.size()),
                                                ole_variant(text), false, false));
  return record;
}

struct sent_case {
  std::vector<std::wstring> column;  // every value of the column
  std::wstring value;                // the one converted
  VARTYPE type;                      // what is sent
  std::string text;                  // its written form
};

// What each kind of typed column sends for a value: integers as integers,
// decimals and dates in a form with every digit kept.
TEST(table_typing, values_are_sent_in_their_column_type) {
  const sent_case cases[] = {
      {{L"1", L"-7"}, L"-7", VT_I4, "-7"},
      {{L"5000000000", L"1"}, L"5000000000", VT_I8, "5000000000"},
      {{L"true", L"FALSE"}, L"FALSE", VT_BOOL, "0"},
      {{L"1e3", L"2.5e-1"}, L"2.5e-1", VT_R8, "0.25"},
      {{L"0.10", L"-1.5"}, L"-1.5", VT_BSTR, "-1.50"},
      {{L"0.05", L"1.25"}, L"0.05", VT_BSTR, "0.05"},
      {{L"-0.001", L"3"}, L"-0.001", VT_BSTR, "-0.001"},
      {{L"123456789012345678901234567890"}, L"123456789012345678901234567890", VT_BSTR,
       "123456789012345678901234567890"},
      {{L"25/12/2021", L"01/02/2003"}, L"01/02/2003", VT_BSTR, "2003-02-01"},
      {{L"0001-01-01"}, L"0001-01-01", VT_BSTR, "0001-01-01"},
      {{L"2021-12-25 10:00", L"2021-12-25 10:00:00.25"}, L"2021-12-25 10:00", VT_BSTR,
       "2021-12-25 10:00:00.00"},
      {{L"2021-12-25T23:59:59"}, L"2021-12-25T23:59:59", VT_BSTR, "2021-12-25 23:59:59"},
      {{L"10:30 PM", L"01:02:03.1234567"}, L"10:30 PM", VT_BSTR, "22:30:00.0000000"},
  };
  for (const sent_case& c : cases) {
    SCOPED_TRACE(std::string(c.value.begin(), c.value.end()));
    const table_typing typing = typing_of(c.column);
    ASSERT_TRUE(typing.is_typed()) << typing.verdicts()[0].sql_type();
    const std::unique_ptr<udb_record> record = record_of(c.value);
    typing.convert(*record);
    EXPECT_EQ(record->field_at(0).get_type(), c.type);
    if (c.type == VT_R8)
      EXPECT_EQ(record->field_at(0).to_double(), std::stod(c.text));
    else
      EXPECT_EQ(record->field_at(0).to_string(), c.text);
  }
}

// Servers before SQL Server 2008 get datetime in the form every language reads alike.
TEST(table_typing, dates_for_datetime_use_the_t_form) {
  const table_typing dates = typing_of({L"2021-12-25", L"2000-01-01 10:00:00.5"}, false);
  const table_typing times = typing_of({L"10:30"}, false);
  ASSERT_EQ(dates.verdicts()[0].sql_type(), "datetime");
  ASSERT_EQ(times.verdicts()[0].sql_type(), "datetime");
  const std::tuple<const table_typing*, std::wstring, std::string> cases[] = {
      {&dates, L"2021-12-25", "2021-12-25T00:00:00.000"},
      {&dates, L"2000-01-01 10:00:00.5", "2000-01-01T10:00:00.500"},
      {&times, L"10:30", "1900-01-01T10:30:00.000"},
  };
  for (const auto& [typing, value, text] : cases) {
    const std::unique_ptr<udb_record> record = record_of(value);
    typing->convert(*record);
    EXPECT_EQ(record->field_at(0).to_string(), text);
  }
}

TEST(table_typing, empty_values_are_null_in_typed_columns_and_kept_in_text_ones) {
  const table_typing numbers = typing_of({L"1", L"", L"2"});
  const std::unique_ptr<udb_record> empty = record_of(L"");
  numbers.convert(*empty);
  EXPECT_EQ(empty->field_at(0).get_type(), VT_NULL);

  const table_typing texts = typing_of({L"007", L""});
  EXPECT_FALSE(texts.is_typed());
  const std::unique_ptr<udb_record> kept = record_of(L"");
  texts.convert(*kept);
  EXPECT_EQ(kept->field_at(0).get_type(), VT_BSTR);
}

// A value the classifier never saw (the file changed between the passes)
// fails its row, naming the column, the value and the type.
TEST(table_typing, a_value_that_does_not_convert_fails_its_row) {
  const table_typing typing = typing_of({L"1", L"2"});
  const std::unique_ptr<udb_record> record = record_of(L"x1");
  try {
    typing.convert(*record);
    FAIL() << "converted";
  } catch (const tk_exception& e) {
    EXPECT_EQ(std::string(e.what()),
              "Column 'c': the value 'x1' does not convert to int, so the row was not loaded.");
    EXPECT_EQ(e.level(), tk_level_item);
  }
}

TEST(table_typing, the_typed_schema_carries_each_columns_type) {
  std::vector<column_classifier> columns;
  columns.emplace_back(L"n");
  columns.emplace_back(L"d");
  columns.emplace_back(L"s");
  for (const wchar_t* n : {L"1.5", L"22.25"}) columns[0].add_text(n);
  columns[1].add_text(L"2021-12-25");
  columns[2].add_text(std::wstring(4001, L'x'));
  const table_typing typing(L"t", columns, classify_options{}, false);

  udb_schema source(true);
  for (const wchar_t* name : {L"n", L"d", L"s"})
    source.add_field(
        std::make_unique<t_ftd>(50, name, VT_BSTR, false, false, ole_variant(L"dflt"), 0));
  const std::unique_ptr<udb_schema> typed = typing.typed_schema(source);
  ASSERT_EQ(typed->field_count(), 3u);
  EXPECT_EQ(typed->field_at(0).sql_type, "decimal(4,2)");
  EXPECT_EQ(typed->field_at(0).vartype, VT_DECIMAL);
  EXPECT_EQ(typed->field_at(0).extra, 4 * 256 + 2);
  // A text default is no default of a number column.
  EXPECT_EQ(typed->field_at(0).def_value.get_type(), VT_EMPTY);
  EXPECT_EQ(typed->field_at(1).sql_type, "date");
  EXPECT_EQ(typed->field_at(2).sql_type, "nvarchar(max)");
  EXPECT_EQ(typed->field_at(2).size, 0);
}

}  // namespace

#include "dates_map.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "udb_record.hpp"
#include "udb_schema.hpp"

namespace {

struct sequence_case {
  std::vector<const wchar_t*> values;
  std::vector<int> states;
  bool processed;
};

TEST(dates_map, state_sequences) {
  const sequence_case cases[] = {
      {{L"2010-12-31", L"2011-01-01 10:00:00"}, {2, 1}, true},
      {{L"2011-01-01 10:00:00", L"2010-12-31"}, {1, 1}, true},
      {{L"10:00:00", L"2010-12-31"}, {3, 0}, true},
      {{L"10:00:00", L"11:30:00", L"no date"}, {3, 3, 0}, true},
      {{L"2010-12-31", L"no date", L"2011-01-02"}, {2, 2, 2}, true},
      {{L"2011-01-01 10:00:00", L"garbage"}, {1, 1}, true},
      {{L"2010-12-31", L"10:00:00", L"2010-12-31"}, {2, 0, 0}, true},
      {{L"abc", L"2010-12-31"}, {0, 0}, true},
      {{L"", L""}, {0, 0}, false},
  };
  for (const auto& c : cases) {
    types_map::map_entry entry;
    for (std::size_t i = 0; i < c.values.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "case starting " << c.values[0] << ", value " << i);
      dates_map::add_value(entry, c.values[i]);
      EXPECT_EQ(entry.state, c.states[i]);
    }
    EXPECT_EQ(entry.b_processed, c.processed);
  }
}

TEST(dates_map, kind_transitions_table) {
  // rows: state before; columns: kind of the later value 0..3
  const int expected[4][4] = {
      {0, 0, 0, 0},  // text is final
      {1, 1, 1, 0},  // date and time
      {2, 1, 2, 0},  // date only
      {0, 0, 0, 3},  // time only
  };
  for (int state = 0; state < 4; ++state) {
    for (int kind = 0; kind < 4; ++kind) {
      types_map::map_entry entry;
      entry.b_processed = true;
      entry.state = state;
      dates_map::add_kind(entry, kind);
      EXPECT_EQ(entry.state, expected[state][kind]) << "state " << state << " kind " << kind;
    }
  }
}

TEST(dates_map, dates_only_watches_declared_date_columns) {
  udb_schema schema(true);
  const VARTYPE types[] = {VT_BSTR, VT_DATE, VT_I4, VT_DATE};
  for (int i = 0; i < 4; ++i)
    schema.add_field(std::make_unique<t_ftd>(50, L"c" + std::to_wstring(i), types[i], false, false,
                                             ole_variant(), 0));
  const dates_map all(L"T", schema, false);
  ASSERT_EQ(all.get_entries().size(), 4u);
  EXPECT_EQ(all.get_entries()[0].declared_class, 0);
  EXPECT_EQ(all.get_entries()[1].declared_class, 1);

  dates_map only(L"T", schema, true);
  ASSERT_EQ(only.get_entries().size(), 2u);
  EXPECT_EQ(only.get_entries()[0].n_field, 1);
  EXPECT_EQ(only.get_entries()[1].n_field, 3);

  udb_record record;
  for (const wchar_t* v : {L"x", L"10:00:00", L"1", L"2010-12-31"})
    record.add_field(std::make_unique<udb_field>(L"c", 0, ole_variant(v), false, false));
  only.add_rec_stat(record);
  EXPECT_EQ(only.get_entries()[0].state, 3);
  EXPECT_EQ(only.get_entries()[1].state, 2);
}

}  // namespace

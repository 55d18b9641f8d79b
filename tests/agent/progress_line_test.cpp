// The terminal's progress line: how often it is drawn and what it says.
#include <gtest/gtest.h>

#include "progress_line.hpp"

namespace {

using namespace std::chrono_literals;

progress_snapshot at(const std::wstring& table, long records, int percent) {
  progress_snapshot p;
  p.table = table;
  p.records = records;
  p.percent = percent;
  return p;
}

TEST(progress_line, draws_at_most_four_times_a_second_and_counts_each_table_afresh) {
  progress_line line;
  const progress_line::clock::time_point start{};
  struct step {
    std::chrono::milliseconds when;
    progress_snapshot progress;
    const char* drawn;  // nullptr: not drawn
  };
  const step steps[] = {
      {0ms, at(L"orders", 64, 1), "orders: 64 rows, 0 rows/s, 1%"},
      {100ms, at(L"orders", 640, 2), nullptr},
      {249ms, at(L"orders", 1000, 3), nullptr},
      {250ms, at(L"orders", 1064, 4), "orders: 1064 rows, 4256 rows/s, 4%"},
      {1250ms, at(L"orders", 5064, 40), "orders: 5064 rows, 4051 rows/s, 40%"},
      // The next table is drawn at once and its rate starts from there.
      {1260ms, at(L"Заказы", 64, 50), "Заказы: 64 rows, 0 rows/s, 50%"},
      {2260ms, at(L"Заказы", 2064, 75), "Заказы: 2064 rows, 2064 rows/s, 75%"},
  };
  for (const step& s : steps) {
    const std::optional<std::string> text = line.update(s.progress, start + s.when);
    if (s.drawn) {
      ASSERT_TRUE(text.has_value()) << s.when.count();
      EXPECT_EQ(*text, s.drawn);
    } else {
      EXPECT_FALSE(text.has_value()) << s.when.count();
    }
  }
}

}  // namespace

#include "csv_record.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "csv_file.hpp"
#include "udb_schema.hpp"

namespace {

std::vector<std::wstring> values(const udb_record& record) {
  std::vector<std::wstring> out;
  for (std::size_t i = 0; i < record.field_count(); ++i)
    out.push_back(record.field_at(i).to_wstring());
  return out;
}

std::unique_ptr<udb_schema> schema_of(int columns) {
  auto schema = std::make_unique<udb_schema>(true);
  for (int i = 0; i < columns; ++i)
    schema->add_field(std::make_unique<t_ftd>(50, L"col" + std::to_wstring(i), VT_BSTR, false,
                                              false, ole_variant(), 0));
  return schema;
}

struct split_case {
  const wchar_t* line;
  char delimiter;
  int columns;  // 0: the header's empty schema
  std::vector<std::wstring> expected;
};

TEST(csv_record, splitting) {
  const split_case cases[] = {
      {LR"(a;"b;c";"d""e")", ';', 0, {L"a", L"b;c", L"d\"e"}},
      // A field that is exactly "" is an empty quoted text, not a quote.
      {LR"("")", ';', 0, {L""}},
      {LR"(a,"",b,"")", ',', 0, {L"a", L"", L"b", L""}},
      {LR"(""x)", ';', 0, {L"\"x"}},
      {LR"(ab"c"d)", ';', 0, {L"abcd"}},
      {LR"(a""b)", ',', 0, {L"a\"b"}},
      {LR"("a,b)", ',', 0, {L"a,b"}},  // an unbalanced quote runs to the end
      {LR"(x,"y,z)", ',', 0, {L"x", L"y,z"}},
      {L" a ; b ", ';', 0, {L" a ", L" b "}},  // blanks kept in values
      {L"", ';', 0, {L""}},
      {L";", ';', 0, {L"", L""}},
      {L"a\tb\t", '\t', 0, {L"a", L"b", L""}},
      {L"a b", ' ', 0, {L"a", L"b"}},
      {L"a;b", ',', 0, {L"a;b"}},
      {L"a;b", ';', 3, {L"a", L"b"}},  // short line: fewer fields
      {L"a;b;", ';', 3, {L"a", L"b", L""}},
      {L"a;b;c", ';', 3, {L"a", L"b", L"c"}},
      {L"a;b;c;d;e", ';', 3, {L"a", L"b", L"c"}},  // extra fields dropped
      {LR"(a;"b;c;d";e)", ';', 2, {L"a", L"b;c;d"}},
      {L"", ';', 3, {L""}},
      {L"\x0444;\x4e2d\x6587", ';', 0, {L"\x0444", L"\x4e2d\x6587"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "line [" << c.line << "] columns " << c.columns);
    const auto schema = schema_of(c.columns);
    const csv_record record(*schema, c.line, c.delimiter);
    EXPECT_EQ(values(record), c.expected);
    EXPECT_EQ(record.schema, schema.get());
    for (std::size_t i = 0; i < record.field_count(); ++i) {
      const udb_field& f = record.field_at(i);
      EXPECT_EQ(f.get_type(), VT_BSTR);
      EXPECT_EQ(f.size, static_cast<std::int32_t>(c.expected[i].size()));
      EXPECT_EQ(f.name, c.columns ? L"col" + std::to_wstring(i) : L"F" + std::to_wstring(i + 1));
      EXPECT_FALSE(f.b_not_null);
      EXPECT_FALSE(f.b_auto_increment);
    }
  }
}

TEST(csv_record, write_field_quotes_only_what_needs_it_and_splits_back) {
  const struct {
    const wchar_t* value;
    const wchar_t* written;
  } cases[] = {
      {L"plain", L"plain"}, {L"a;b", L"\"a;b\""}, {L"say \"hi\"", L"\"say \"\"hi\"\"\""},
      {L"", L""},           {L"a,b", L"a,b"},  // not the delimiter
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const std::wstring written = csv_file::write_csv_field(c.value, ';');
    EXPECT_EQ(written, c.written);
    const auto schema = schema_of(0);
    const csv_record back(*schema, written, ';');
    EXPECT_EQ(values(back), std::vector<std::wstring>{c.value});
  }
}

}  // namespace

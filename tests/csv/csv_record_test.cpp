#include "csv_record.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "csv_file.hpp"
#include "csv_scanner.hpp"
#include "udb_schema.hpp"

namespace {

std::unique_ptr<udb_schema> schema_of(int columns) {
  auto schema = std::make_unique<udb_schema>(true);
  for (int i = 0; i < columns; ++i)
    schema->add_field(std::make_unique<t_ftd>(50, L"col" + std::to_wstring(i), VT_BSTR, false,
                                              false, ole_variant(), 0));
  return schema;
}

csv_fields fields_of(const std::vector<std::wstring>& texts) {
  csv_fields fields;
  for (const std::wstring& t : texts) {
    fields.text += t;
    fields.ends.push_back(fields.text.size());
  }
  return fields;
}

TEST(csv_record, one_field_per_column_with_null_for_the_missing_ones) {
  const struct {
    int columns;  // 0: the header's empty schema
    std::vector<std::wstring> fields;
    std::vector<const wchar_t*> expected;  // null: a NULL value
  } cases[] = {
      {3, {L"a", L"", L"c"}, {L"a", L"", L"c"}},
      {3, {L"a"}, {L"a", nullptr, nullptr}},
      {2, {L"a", L"b", L""}, {L"a", L"b"}},  // the caller vets extra fields
      {0, {L"x", L"", L"y"}, {L"x", L"", L"y"}},
      {2, {L"\x0444 ", L"\x4e2d\x6587"}, {L"\x0444 ", L"\x4e2d\x6587"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.columns << " columns, " << c.fields.size() << " fields");
    const auto schema = schema_of(c.columns);
    const csv_record record(*schema, fields_of(c.fields));
    EXPECT_EQ(record.schema, schema.get());
    ASSERT_EQ(record.field_count(), c.expected.size());
    for (std::size_t i = 0; i < record.field_count(); ++i) {
      const udb_field& f = record.field_at(i);
      EXPECT_EQ(record.field_name(i),
                c.columns ? L"col" + std::to_wstring(i) : L"F" + std::to_wstring(i + 1));
      EXPECT_FALSE(f.b_not_null || f.b_auto_increment);
      if (c.expected[i] == nullptr) {
        EXPECT_EQ(f.get_type(), VT_NULL);
        continue;
      }
      EXPECT_EQ(f.get_type(), VT_BSTR);
      EXPECT_EQ(f.to_wstring(), c.expected[i]);
      EXPECT_EQ(f.size, static_cast<std::int32_t>(std::wstring(c.expected[i]).size()));
    }
  }
}

TEST(csv_record, written_fields_read_back_unchanged) {
  const struct {
    const wchar_t* value;
    const wchar_t* written;
  } cases[] = {
      {L"plain", L"plain"},
      {L"a;b", L"\"a;b\""},
      {L"say \"hi\"", L"\"say \"\"hi\"\"\""},
      {L"two\r\nlines", L"\"two\r\nlines\""},
      {L"", L""},
      {L"a,b", L"a,b"},  // not the delimiter
  };
  const csv_scanner scanner(L';');
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const std::wstring written = csv_file::write_csv_field(c.value, L';');
    EXPECT_EQ(written, c.written);
    csv_fields fields;
    const csv_scanner::result r = scanner.scan(written + L";x\n", true, fields);
    ASSERT_EQ(r.what, csv_scanner::outcome::record);
    ASSERT_EQ(fields.count(), 2u);
    EXPECT_EQ(fields.field(0), c.value);
  }
}

}  // namespace

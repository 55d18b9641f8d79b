// Reading a table row by row allocates nothing per value once the row buffer
// has seen the longest texts: the heap calls made while reading 200 records
// and while reading 2,000 are the same. Checked with a counting replacement
// of the global operator new in this test program, for a CSV file and for
// a worksheet.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "csv_file.hpp"
#include "dao_recordset.hpp"
#include "wb_bytes.hpp"
#include "wb_fuzz_support.hpp"
#include "wb_workbook.hpp"

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Heap calls made while reading `count` records after the first `warm_up`;
// every value is looked at as a consumer would.
long allocations_reading(udb_recordset& table, long warm_up, long count) {
  long long checksum = 0;
  auto read_one = [&] {
    const udb_record* record = table.create_record();
    for (std::size_t i = 0; i < record->field_count(); ++i)
      checksum += record->field_at(i).get_type() + record->field_at(i).size;
    table.move_next();
  };
  for (long i = 0; i < warm_up && !table.is_eof(); ++i) read_one();
  const long before = allocations.load();
  long read = 0;
  for (; read < count && !table.is_eof(); ++read) read_one();
  const long made = allocations.load() - before;
  EXPECT_EQ(read, count);
  EXPECT_NE(checksum, 0);
  return made;
}

// A number of six digits, so that a record's length depends only on the
// shapes below, which all repeat within the first 100 records.
std::string six(long n) {
  std::string text = std::to_string(n);
  return std::string(6 - text.size(), '0') + text;
}

// Rows whose texts vary in length, with short rows and empty fields, so that
// the buffers must cope with every shape without growing for good.
std::string csv_text(long rows) {
  std::string text = "id,name,note,amount\r\n";
  for (long r = 0; r < rows; ++r) {
    text += six(r) + ",name " + std::string(static_cast<std::size_t>(r % 17), 'x');
    if (r % 5 == 0) {
      text += "\r\n";  // a short row: NULLs for the rest
      continue;
    }
    text += ",\"quoted, \"\"note\"\" " + six(r * 7) + "\",";
    text += r % 3 == 0 ? "" : six(r) + ".25";
    text += "\r\n";
  }
  return text;
}

TEST(row_buffer, csv_rows_allocate_nothing_once_warm) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("row_buffer_" + std::to_string(::getpid()) + ".csv");
  { std::ofstream(path, std::ios::binary) << csv_text(3000); }
  for (const long count : {200L, 2000L}) {
    SCOPED_TRACE(count);
    csv_file file(path.wstring(), L',', true);
    EXPECT_EQ(allocations_reading(file, 100, count), 0);
  }
  std::filesystem::remove(path);
}

std::string sheet_rows(long rows) {
  std::string xml;
  for (long r = 1; r <= rows; ++r) {
    const std::string n = std::to_string(r);
    xml += "<row r=\"" + n + "\"><c r=\"A" + n + "\"><v>" + n + "</v></c>";
    xml += "<c r=\"B" + n + "\" t=\"s\"><v>" + std::to_string(r % 3) + "</v></c>";
    xml += "<c r=\"C" + n + "\" t=\"inlineStr\"><is><t>note " +
           std::string(static_cast<std::size_t>(r % 13), 'y') + "</t></is></c>";
    if (r % 4 != 0)
      xml += "<c r=\"D" + n + "\" s=\"1\"><v>" + std::to_string(40000 + r) + "</v></c>";
    // A mixed column: numbers and texts both kept as text.
    xml += r % 2 ? "<c r=\"E" + n + "\"><v>" + six(r) + ".5</v></c>"
                 : "<c r=\"E" + n + "\" t=\"inlineStr\"><is><t>e" + six(r) + "</t></is></c>";
    xml += "</row>";
  }
  return xml;
}

TEST(row_buffer, worksheet_rows_allocate_nothing_once_warm) {
  const std::vector<std::pair<std::string, std::string>> parts = {
      {"_rels/.rels",
       "<Relationships><Relationship Id=\"r\" Type=\"x/officeDocument\" "
       "Target=\"xl/workbook.xml\"/></Relationships>"},
      {"xl/workbook.xml",
       "<workbook xmlns:r=\"y/relationships\"><sheets><sheet name=\"S\" r:id=\"s\"/></sheets>"
       "</workbook>"},
      {"xl/_rels/workbook.xml.rels",
       "<Relationships><Relationship Id=\"s\" Type=\"x/worksheet\" Target=\"s.xml\"/>"
       "<Relationship Id=\"t\" Type=\"x/styles\" Target=\"styles.xml\"/>"
       "<Relationship Id=\"u\" Type=\"x/sharedStrings\" Target=\"strings.xml\"/>"
       "</Relationships>"},
      {"xl/styles.xml",
       "<styleSheet><cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/>"
       "</cellXfs></styleSheet>"},
      {"xl/strings.xml", "<sst><si><t>red</t></si><si><t>green</t></si><si><t>blue</t></si></sst>"},
      {"xl/s.xml", "<worksheet><sheetData>" + sheet_rows(3000) + "</sheetData></worksheet>"}};
  const std::unique_ptr<wb_workbook> book =
      wb_workbook::open(wb_bytes::from_buffer(wb_fuzz_zip(parts)));
  for (const long count : {200L, 2000L}) {
    SCOPED_TRACE(count);
    dao_recordset sheet(L"S$", L"", *book, 0, std::nullopt, false);
    EXPECT_EQ(allocations_reading(sheet, 100, count), 0);
  }
}

}  // namespace

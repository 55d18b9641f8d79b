// Fuzz target: the .xlsx worksheet parser. The input is the XML of one
// worksheet part, packed with fixed workbook, shared-string and style parts
// into an .xlsx held in memory.
#include <cstdint>
#include <string>
#include <vector>

#include "wb_fuzz_support.hpp"

namespace {
const char* const rels =
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
    "relationships/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
const char* const workbook =
    "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
    "<sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets>"
    "<definedNames><definedName name=\"N\">S!$B$2:$D$40</definedName></definedNames></workbook>";
const char* const workbook_rels =
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
    "relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
    "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
    "relationships/sharedStrings\" Target=\"sharedStrings.xml\"/>"
    "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
    "relationships/styles\" Target=\"styles.xml\"/></Relationships>";
const char* const shared = "<sst><si><t>a</t></si><si><r><t>b</t></r></si><si><t></t></si></sst>";
const char* const styles =
    "<styleSheet><numFmts><numFmt numFmtId=\"164\" formatCode=\"yyyy-mm-dd\"/></numFmts>"
    "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"164\"/><xf numFmtId=\"7\"/><xf numFmtId=\"21\"/>"
    "</cellXfs></styleSheet>";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string sheet(reinterpret_cast<const char*>(data), size);
  std::vector<std::uint8_t> package = wb_fuzz_zip({{"_rels/.rels", rels},
                                                   {"xl/workbook.xml", workbook},
                                                   {"xl/_rels/workbook.xml.rels", workbook_rels},
                                                   {"xl/sharedStrings.xml", shared},
                                                   {"xl/styles.xml", styles},
                                                   {"xl/worksheets/sheet1.xml", sheet}});
  try {
    auto book = wb_workbook::open(wb_bytes::from_buffer(std::move(package)));
    FUZZ_CHECK(book->sheets().size() == 1);
    wb_fuzz_read_all(*book);
  } catch (const dao_exception& e) {
    FUZZ_CHECK(e.number() == 3274 || e.number() == 3190);
  }
  return 0;
}

// Fuzz target: the BIFF record reader. The input is a bare workbook stream
// (the "Workbook" stream of an .xls): globals, shared strings across
// CONTINUE records, and every sheet's cell records.
#include <cstdint>
#include <vector>

#include "biff_workbook.hpp"
#include "wb_fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    biff_workbook book(cfb_stream::from_memory(std::vector<std::uint8_t>(data, data + size)));
    wb_fuzz_read_all(book);
  } catch (const dao_exception& e) {
    FUZZ_CHECK(e.number() == 3161 || e.number() == 3274 || e.number() == 3190);
  }
  return 0;
}

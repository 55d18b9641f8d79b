// Fuzz target: opening a workbook from bytes, whatever its format, and
// reading every worksheet and defined name. Refusal is a dao_exception with
// 3161 or 3274 (3190 for one unreadable sheet); anything else is a fault.
#include <cstdint>
#include <vector>

#include "wb_fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    auto book =
        wb_workbook::open(wb_bytes::from_buffer(std::vector<std::uint8_t>(data, data + size)));
    wb_fuzz_read_all(*book);
  } catch (const dao_exception& e) {
    FUZZ_CHECK(e.number() == 3161 || e.number() == 3274 || e.number() == 3190);
  }
  return 0;
}

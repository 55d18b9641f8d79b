#include "biff_cursor.hpp"

#include "dao_exception.hpp"

namespace biff {
void fail(const std::string& text) {
  throw dao_exception(dao_exception::not_a_workbook, "The workbook is damaged: " + text);
}

biff_cursor gather(biff_record_reader& reader, std::uint64_t cap) {
  biff_cursor cursor;
  std::uint64_t total = reader.data().size();
  cursor.add(reader.data());
  while (reader.peek_type() == biff_record_reader::rec_continue) {
    reader.next();
    total += reader.data().size();
    if (total > cap) fail("a record with its continuations is too large");
    cursor.add(reader.data());
  }
  return cursor;
}
}  // namespace biff

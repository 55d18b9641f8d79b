// biff_record_reader: the records of a BIFF workbook stream, one at a time.
//
// A record is a 2-byte type, a 2-byte length and that many bytes; BIFF8
// never writes more than 8,224 bytes in one record, so a longer one marks a
// damaged file. Long strings and the shared-string table continue in
// CONTINUE records; peek_type lets a reader gather them.
// Owns its stream. Not thread-safe.
#pragma once

#include <cstdint>
#include <vector>

#include "cfb_reader.hpp"

class biff_record_reader final {
 public:
  enum : std::uint16_t { rec_continue = 0x003C };
  static constexpr std::size_t max_record = 8224;

  explicit biff_record_reader(cfb_stream stream);

  void seek(std::uint64_t pos);
  // The next record; false at the end of the stream. A record cut short by the
  // end of the stream or longer than BIFF allows raises dao_exception 3274.
  bool next();
  // The type of the record after the current one; 0xFFFF at the end.
  std::uint16_t peek_type();

  std::uint16_t type() const { return type_; }
  const std::vector<std::uint8_t>& data() const { return data_; }
  std::uint64_t stream_size() const { return stream_.size(); }

 private:
  cfb_stream stream_;
  std::uint16_t type_ = 0;
  std::vector<std::uint8_t> data_;
};

#include "biff_record_reader.hpp"

#include <utility>

#include "dao_exception.hpp"

biff_record_reader::biff_record_reader(cfb_stream stream) : stream_(std::move(stream)) {
  data_.reserve(max_record);
}

void biff_record_reader::seek(std::uint64_t pos) { stream_.seek(pos); }

bool biff_record_reader::next() {
  std::uint8_t head[4];
  std::size_t got = stream_.read(head, 4);
  if (got == 0) return false;
  if (got < 4)
    throw dao_exception(dao_exception::not_a_workbook, "The workbook stream is truncated");
  type_ = static_cast<std::uint16_t>(head[0] | head[1] << 8);
  std::size_t length = static_cast<std::size_t>(head[2] | head[3] << 8);
  if (length > max_record)
    throw dao_exception(dao_exception::not_a_workbook,
                        "The workbook stream holds a record longer than BIFF allows");
  data_.resize(length);
  if (stream_.read(data_.data(), length) != length)
    throw dao_exception(dao_exception::not_a_workbook, "The workbook stream is truncated");
  return true;
}

std::uint16_t biff_record_reader::peek_type() {
  std::uint64_t at = stream_.tell();
  std::uint8_t head[2];
  std::size_t got = stream_.read(head, 2);
  stream_.seek(at);
  if (got < 2) return 0xFFFF;
  return static_cast<std::uint16_t>(head[0] | head[1] << 8);
}

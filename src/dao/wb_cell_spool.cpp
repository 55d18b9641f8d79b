#include "wb_cell_spool.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "dao_exception.hpp"
#include "tk_trace.hpp"

namespace {
// A cell is kept in 1 to 21 bytes before its text. The first byte holds the
// kind (bits 0-2), the number format's class (bits 3-4) and three flags:
// the cell lies on the row of the cell before it (the row is left out), in
// the column after it (the column is left out), its text is a shared string.
// Then, as the flags say: column (2), row (4); the number (8); for texts the
// length (4) and either
// the code units (4 bytes each) or, for a shared string, where it starts in
// the workbook's table (8): the table outlives the spool, and a sheet of few
// distinct texts stays small.
constexpr std::uint8_t same_row = 0x20;
constexpr std::uint8_t next_col = 0x40;
constexpr std::uint8_t shared_text = 0x80;
constexpr std::size_t flush_size = 1u << 20;
constexpr std::size_t longest_head = 1 + 2 + 4 + 8 + 4 + sizeof(const wchar_t*);

[[noreturn]] void fail(const char* what) {
  throw dao_exception(dao_exception::bad_table,
                      std::string("Cannot keep the worksheet's cells in a temporary file: ") +
                          what + ": " + std::strerror(errno));
}
}  // namespace

class wb_spool_stream final : public wb_cell_stream {
 public:
  explicit wb_spool_stream(const wb_cell_spool& spool) : spool_(spool) {}

  bool next(wb_cell& cell) override {
    std::uint8_t tag = 0;
    if (!take(&tag, 1)) return false;
    cell.kind = static_cast<wb_kind>(tag & 0x07);
    cell.format = static_cast<wb_format_class>((tag >> 3) & 0x03);
    if (tag & next_col) {
      ++col_;
    } else {
      std::uint16_t col = 0;
      must_take(&col, 2);
      col_ = col;
    }
    if (!(tag & same_row)) must_take(&row_, 4);
    cell.row = row_;
    cell.col = col_;
    must_take(&cell.number, 8);
    cell.shared = {};
    if (cell.kind != wb_kind::text) {
      cell.text.clear();
      return true;
    }
    std::uint32_t length = 0;
    must_take(&length, 4);
    if (tag & shared_text) {
      const wchar_t* start = nullptr;
      must_take(&start, sizeof start);
      cell.text.clear();
      cell.shared = std::wstring_view(start, length);
      return true;
    }
    cell.text.resize(length);
    if (length > 0) must_take(cell.text.data(), length * sizeof(wchar_t));
    return true;
  }

 private:
  void must_take(void* out, std::size_t count) {
    if (!take(out, count))
      throw dao_exception(dao_exception::bad_table, "The worksheet's kept cells are cut short");
  }

  // Copies the next `count` bytes; false at the end.
  bool take(void* out, std::size_t count) {
    if (count <= size_ - at_) {  // the usual case: all in the current piece
      std::memcpy(out, data_ + at_, count);
      at_ += count;
      return true;
    }
    auto* dst = static_cast<std::uint8_t*>(out);
    while (count > 0) {
      if (at_ == size_ && !refill()) return false;
      std::size_t n = std::min(count, size_ - at_);
      std::memcpy(dst, data_ + at_, n);
      at_ += n;
      dst += n;
      count -= n;
    }
    return true;
  }

  // The next piece: from the file while it lasts, then the in-memory tail,
  // read where it lies.
  bool refill() {
    at_ = 0;
    if (spool_.file_ && offset_ < spool_.file_size_) {
      std::size_t want = static_cast<std::size_t>(
          std::min<std::uint64_t>(flush_size, spool_.file_size_ - offset_));
      window_.resize(want);
      ssize_t got =
          ::pread(fileno(spool_.file_.get()), window_.data(), want, static_cast<off_t>(offset_));
      if (got <= 0) fail("read");
      offset_ += static_cast<std::uint64_t>(got);
      data_ = window_.data();
      size_ = static_cast<std::size_t>(got);
      return true;
    }
    if (!tail_done_) {
      tail_done_ = true;
      data_ = spool_.buffer_.data();
      size_ = spool_.buffer_.size();
      return size_ > 0;
    }
    data_ = nullptr;
    size_ = 0;
    return false;
  }

  const wb_cell_spool& spool_;
  std::vector<std::uint8_t> window_;    // a piece read from the file
  const std::uint8_t* data_ = nullptr;  // the current piece
  std::size_t size_ = 0;
  std::size_t at_ = 0;
  std::uint64_t offset_ = 0;
  bool tail_done_ = false;
  std::uint32_t row_ = 0;  // of the cell before
  std::uint32_t col_ = 0;
};

wb_cell_spool::wb_cell_spool(std::size_t memory_budget) : budget_(memory_budget) {}

void wb_cell_spool::append(const wb_cell& cell) {
  const bool b_text = cell.kind == wb_kind::text;
  const bool b_shared = b_text && cell.text.empty() && !cell.shared.empty();
  const std::wstring_view text = cell.str();
  const auto length = static_cast<std::uint32_t>(text.size());
  const std::size_t body = !b_text    ? 0
                           : b_shared ? sizeof(const wchar_t*)
                                      : length * sizeof(wchar_t);
  const std::size_t at = buffer_.size();
  if (buffer_.capacity() < at + longest_head + body)
    buffer_.reserve(std::max(2 * buffer_.capacity(), at + longest_head + body));
  buffer_.resize(at + longest_head + body);
  std::uint8_t* const first = buffer_.data() + at;
  std::uint8_t* p = first + 1;
  std::uint8_t tag = static_cast<std::uint8_t>(static_cast<std::uint8_t>(cell.kind) |
                                               (static_cast<std::uint8_t>(cell.format) << 3));
  if (b_any_ && cell.row == last_row_) tag |= same_row;
  if (b_any_ && cell.col == last_col_ + 1) {
    tag |= next_col;
  } else {
    const auto col = static_cast<std::uint16_t>(cell.col);
    std::memcpy(p, &col, 2);
    p += 2;
  }
  if (!(tag & same_row)) {
    std::memcpy(p, &cell.row, 4);
    p += 4;
  }
  std::memcpy(p, &cell.number, 8);
  p += 8;
  if (b_text) {
    std::memcpy(p, &length, 4);
    p += 4;
    if (b_shared) {
      tag |= shared_text;
      const wchar_t* start = text.data();
      std::memcpy(p, &start, sizeof start);
      p += sizeof start;
    } else if (length > 0) {
      std::memcpy(p, text.data(), length * sizeof(wchar_t));
      p += length * sizeof(wchar_t);
    }
  }
  *first = tag;
  buffer_.resize(static_cast<std::size_t>(p - buffer_.data()));
  b_any_ = true;
  last_row_ = cell.row;
  last_col_ = cell.col;
  if (file_ ? buffer_.size() >= flush_size : buffer_.size() > budget_) flush();
}

void wb_cell_spool::flush() {
  if (!file_) {
    tk_trace(1, "wb_cell_spool: the cells go to a temporary file");
    file_.reset(std::tmpfile());
    if (!file_) fail("create");
  }
  if (!buffer_.empty() &&
      std::fwrite(buffer_.data(), 1, buffer_.size(), file_.get()) != buffer_.size())
    fail("write");
  file_size_ += buffer_.size();
  if (buffer_.capacity() > 2 * flush_size) {
    // From here on only a flush's worth is ever held.
    std::vector<std::uint8_t>().swap(buffer_);
    buffer_.reserve(flush_size + longest_head);
  }
  buffer_.clear();
}

void wb_cell_spool::finish() {
  if (file_ && std::fflush(file_.get()) != 0) fail("write");
}

std::unique_ptr<wb_cell_stream> wb_cell_spool::replay() const {
  return std::make_unique<wb_spool_stream>(*this);
}

#include "wb_cell_spool.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "dao_exception.hpp"
#include "tk_trace.hpp"

namespace {
// Record: row (4), col (2), kind (1), format (1), number (8), text length (4),
// then the text's code units (4 bytes each), or, for a shared string (the
// kind's top bit set), where it starts in the workbook's table (8): the table
// outlives the spool, and a sheet of few distinct texts stays small.
constexpr std::size_t head_size = 20;
constexpr std::uint8_t shared_flag = 0x80;
constexpr std::size_t flush_size = 1u << 20;

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
    std::uint8_t head[head_size];
    if (!take(head, head_size)) return false;
    std::uint32_t length = 0;
    std::memcpy(&cell.row, head, 4);
    std::uint16_t col = 0;
    std::memcpy(&col, head + 4, 2);
    cell.col = col;
    cell.kind = static_cast<wb_kind>(head[6] & ~shared_flag);
    cell.format = static_cast<wb_format_class>(head[7]);
    std::memcpy(&cell.number, head + 8, 8);
    std::memcpy(&length, head + 16, 4);
    cell.shared = {};
    if (head[6] & shared_flag) {
      const wchar_t* start = nullptr;
      if (!take(&start, sizeof start)) cut_short();
      cell.text.clear();
      cell.shared = std::wstring_view(start, length);
      return true;
    }
    cell.text.resize(length);
    if (length > 0 && !take(cell.text.data(), length * sizeof(wchar_t))) cut_short();
    return true;
  }

 private:
  [[noreturn]] static void cut_short() {
    throw dao_exception(dao_exception::bad_table, "The worksheet's kept cells are cut short");
  }

  // Copies the next `count` bytes; false at the end.
  bool take(void* out, std::size_t count) {
    auto* dst = static_cast<std::uint8_t*>(out);
    while (count > 0) {
      if (at_ == window_.size() && !refill()) return false;
      std::size_t n = std::min(count, window_.size() - at_);
      std::memcpy(dst, window_.data() + at_, n);
      at_ += n;
      dst += n;
      count -= n;
    }
    return true;
  }

  // The next piece: from the file while it lasts, then the in-memory tail.
  bool refill() {
    at_ = 0;
    if (spool_.file_ && offset_ < spool_.file_size_) {
      std::size_t want = static_cast<std::size_t>(
          std::min<std::uint64_t>(flush_size, spool_.file_size_ - offset_));
      window_.resize(want);
      ssize_t got =
          ::pread(fileno(spool_.file_.get()), window_.data(), want, static_cast<off_t>(offset_));
      if (got <= 0) fail("read");
      window_.resize(static_cast<std::size_t>(got));
      offset_ += static_cast<std::uint64_t>(got);
      return true;
    }
    if (!tail_done_) {
      tail_done_ = true;
      window_.assign(spool_.buffer_.begin(), spool_.buffer_.end());
      return !window_.empty();
    }
    window_.clear();
    return false;
  }

  const wb_cell_spool& spool_;
  std::vector<std::uint8_t> window_;
  std::size_t at_ = 0;
  std::uint64_t offset_ = 0;
  bool tail_done_ = false;
};

wb_cell_spool::wb_cell_spool(std::size_t memory_budget) : budget_(memory_budget) {}

void wb_cell_spool::append(const wb_cell& cell) {
  const bool b_shared = cell.text.empty() && !cell.shared.empty();
  std::wstring_view text = cell.str();
  std::uint32_t length = static_cast<std::uint32_t>(text.size());
  std::uint16_t col = static_cast<std::uint16_t>(cell.col);
  std::size_t at = buffer_.size();
  const std::size_t body = b_shared ? sizeof(const wchar_t*) : length * sizeof(wchar_t);
  buffer_.resize(at + head_size + body);
  std::uint8_t* p = buffer_.data() + at;
  std::memcpy(p, &cell.row, 4);
  std::memcpy(p + 4, &col, 2);
  p[6] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(cell.kind) |
                                   (b_shared ? shared_flag : 0));
  p[7] = static_cast<std::uint8_t>(cell.format);
  std::memcpy(p + 8, &cell.number, 8);
  std::memcpy(p + 16, &length, 4);
  if (b_shared) {
    const wchar_t* start = text.data();
    std::memcpy(p + head_size, &start, sizeof start);
  } else if (length > 0) {
    std::memcpy(p + head_size, text.data(), length * sizeof(wchar_t));
  }
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
    buffer_.reserve(flush_size + head_size);
  }
  buffer_.clear();
}

void wb_cell_spool::finish() {
  if (file_ && std::fflush(file_.get()) != 0) fail("write");
}

std::unique_ptr<wb_cell_stream> wb_cell_spool::replay() const {
  return std::make_unique<wb_spool_stream>(*this);
}

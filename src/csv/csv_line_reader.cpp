#include "csv_line_reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tk_exception.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

constexpr std::size_t buffer_bytes = 256 * 1024;

std::string error_text(int error_number) {
  char buffer[256] = {};
  // GNU strerror_r may return a static string instead of filling the buffer.
  return strerror_r(error_number, buffer, sizeof buffer);
}

}  // namespace

csv_line_reader::csv_line_reader(const std::wstring& path)
    : path_(tk_w2a(path)), buffer_(buffer_bytes) {
  tk_trace(1, L"csv_line_reader::ctor(%ls)", path.c_str());
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd_ < 0)
    throw tk_exception("Cannot open CSV file '" + path_ + "': " + error_text(errno), tk_level_run);
  struct stat info {};
  if (::fstat(fd_, &info) != 0 || S_ISDIR(info.st_mode)) {
    const int error_number = S_ISDIR(info.st_mode) ? EISDIR : errno;
    ::close(fd_);
    fd_ = -1;
    throw tk_exception("Cannot open CSV file '" + path_ + "': " + error_text(error_number),
                       tk_level_run);
  }
  size_ = S_ISREG(info.st_mode) ? static_cast<std::int64_t>(info.st_size) : 0;

  // Enough bytes to see a byte-order mark, unless the file is shorter.
  while (end_ < 3 && fill()) {
  }
  const auto* b = reinterpret_cast<const unsigned char*>(buffer_.data());
  std::size_t mark = 0;
  if (end_ >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    encoding_ = encoding::utf8;
    mark = 3;
  } else if (end_ >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    encoding_ = encoding::utf16le;
    mark = 2;
  } else if (end_ >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    encoding_ = encoding::utf16be;
    mark = 2;
  }
  begin_ = mark;
  position_.store(static_cast<std::int64_t>(mark), std::memory_order_relaxed);
  tk_trace(1, "csv_line_reader::ctor - encoding %d, byte-order mark %zu bytes",
           static_cast<int>(encoding_), mark);
}

csv_line_reader::~csv_line_reader() {
  if (fd_ >= 0) ::close(fd_);
}

bool csv_line_reader::fill() {
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  for (;;) {
    const ssize_t n = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
    if (n > 0) {
      end_ += static_cast<std::size_t>(n);
      return true;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    throw tk_exception("Cannot read CSV file '" + path_ + "': " + error_text(errno), tk_level_run);
  }
}

void csv_line_reader::fail_long_line() const {
  throw tk_exception(
      "CSV file '" + path_ + "': line " + std::to_string(line_number_) + " is longer than " +
          std::to_string(max_line_units) +
          (encoding_ == encoding::utf16le || encoding_ == encoding::utf16be ? " characters"
                                                                            : " bytes"),
      tk_level_run);
}

bool csv_line_reader::read_line(std::wstring& line) {
  line.clear();
  bytes_.clear();
  const bool wide = encoding_ == encoding::utf16le || encoding_ == encoding::utf16be;
  const std::size_t unit = wide ? 2 : 1;
  const std::size_t lf_at = encoding_ == encoding::utf16be ? 1 : 0;  // byte of the LF unit
  // Room for the text, a CR and nothing else: anything longer cannot fit.
  const std::size_t most = (max_line_units + 1) * unit;
  ++line_number_;
  bool any = false;
  bool ended = false;
  std::int64_t consumed = 0;
  while (!ended) {
    if (end_ - begin_ < unit) {
      if (at_end_ || !fill()) {
        at_end_ = true;
        // An odd byte left over in a UTF-16 file decodes as a bad character.
        if (begin_ < end_) {
          bytes_.append(buffer_.data() + begin_, end_ - begin_);
          consumed += static_cast<std::int64_t>(end_ - begin_);
          begin_ = end_;
          any = true;
        }
        break;
      }
      if (end_ - begin_ < unit) continue;
    }
    any = true;
    const char* start = buffer_.data() + begin_;
    const std::size_t available = (end_ - begin_) / unit * unit;
    std::size_t take = available;
    if (!wide) {
      if (const void* lf = std::memchr(start, '\n', available)) {
        take = static_cast<std::size_t>(static_cast<const char*>(lf) - start);
        ended = true;
      }
    } else {
      for (std::size_t i = 0; i < available; i += 2) {
        if (start[i + lf_at] == '\n' && start[i + 1 - lf_at] == '\0') {
          take = i;
          ended = true;
          break;
        }
      }
    }
    if (bytes_.size() + take > most) fail_long_line();
    bytes_.append(start, take);
    const std::size_t step = take + (ended ? unit : 0);
    begin_ += step;
    consumed += static_cast<std::int64_t>(step);
  }
  if (!any) {
    --line_number_;
    return false;
  }
  // The CR of a CR LF line end.
  if (ended && bytes_.size() >= unit) {
    const char* last = bytes_.data() + bytes_.size() - unit;
    if (last[lf_at] == '\r' && (!wide || last[1 - lf_at] == '\0')) {
      bytes_.pop_back();
      if (wide) bytes_.pop_back();
    }
  }
  if (bytes_.size() > max_line_units * unit) fail_long_line();
  position_.fetch_add(consumed, std::memory_order_relaxed);

  switch (encoding_) {
    case encoding::ansi:
      line = tk_a2w(bytes_);
      break;
    case encoding::utf8:
      line = tk_utf82w(bytes_);
      break;
    case encoding::utf16le:
      line = tk_charset2w(bytes_, "UTF-16LE");
      break;
    case encoding::utf16be:
      line = tk_charset2w(bytes_, "UTF-16BE");
      break;
  }
  return true;
}

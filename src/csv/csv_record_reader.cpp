#include "csv_record_reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tk_exception.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

std::string error_text(int error_number) {
  char buffer[256] = {};
  // GNU strerror_r may return a static string instead of filling the buffer.
  return strerror_r(error_number, buffer, sizeof buffer);
}

int open_for_reading(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0)
    throw tk_exception("Cannot open CSV file '" + path + "': " + error_text(errno), tk_level_run);
  return fd;
}

// Bytes that a byte-order mark may take.
constexpr std::size_t longest_bom = 4;

}  // namespace

csv_record_reader::descriptor::~descriptor() {
  if (fd_ >= 0) ::close(fd_);
}

csv_record_reader::csv_record_reader(const std::wstring& path, const options& options)
    : options_(options),
      scanner_(options.delimiter),
      path_(tk_w2a(path)),
      file_(open_for_reading(path_)) {
  tk_trace(1, L"csv_record_reader::ctor(%ls)", path.c_str());
  options_.read_bytes = std::max<std::size_t>(options_.read_bytes, 1);
  options_.max_record_chars = std::max<std::size_t>(options_.max_record_chars, 1);
  struct stat info {};
  if (::fstat(file_.get(), &info) != 0 || S_ISDIR(info.st_mode)) {
    const int error_number = S_ISDIR(info.st_mode) ? EISDIR : errno;
    throw tk_exception("Cannot open CSV file '" + path_ + "': " + error_text(error_number),
                       tk_level_run);
  }
  size_ = S_ISREG(info.st_mode) ? static_cast<std::int64_t>(info.st_size) : 0;

  while (bytes_end_ < longest_bom && read_more_bytes()) {
  }
  const csv_decoder::bom mark = csv_decoder::sniff_bom(std::string_view(bytes_.data(), bytes_end_));
  const std::string& charset = !mark.charset.empty()        ? mark.charset
                               : !options_.encoding.empty() ? options_.encoding
                                                            : tk_ansi_charset();
  decoder_ = std::make_unique<csv_decoder>(charset, static_cast<std::int64_t>(mark.length));
  bytes_begin_ = mark.length;
  position_.store(static_cast<std::int64_t>(mark.length), std::memory_order_relaxed);
  tk_trace(1, "csv_record_reader::ctor - %s, byte-order mark %zu bytes", charset.c_str(),
           mark.length);
}

csv_record_reader::~csv_record_reader() = default;

bool csv_record_reader::read_more_bytes() {
  if (b_bytes_done_) return false;
  // The undecoded end of the last piece moves to the front.
  if (bytes_begin_ > 0) {
    std::memmove(bytes_.data(), bytes_.data() + bytes_begin_, bytes_end_ - bytes_begin_);
    bytes_end_ -= bytes_begin_;
    bytes_begin_ = 0;
  }
  if (bytes_.size() - bytes_end_ < options_.read_bytes)
    bytes_.resize(bytes_end_ + options_.read_bytes);
  for (;;) {
    const ssize_t n = ::read(file_.get(), bytes_.data() + bytes_end_, options_.read_bytes);
    if (n > 0) {
      bytes_end_ += static_cast<std::size_t>(n);
      return true;
    }
    if (n == 0) {
      b_bytes_done_ = true;
      return false;
    }
    if (errno != EINTR)
      throw tk_exception("Cannot read CSV file '" + path_ + "': " + error_text(errno),
                         tk_level_run);
  }
}

bool csv_record_reader::refill(std::size_t chars) {
  if (b_decoded_all_) return false;
  if (begin_ > 0) {
    std::memmove(chars_.data(), chars_.data() + begin_, waiting() * sizeof(wchar_t));
    base_ += static_cast<std::int64_t>(begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  // After a record far longer than usual, give the memory back.
  const std::size_t usual = options_.read_bytes + 64;
  if (chars_.size() > 8 * usual && end_ * 4 < chars_.size()) {
    chars_.resize(std::max(end_, usual));
    chars_.shrink_to_fit();
  }
  const std::size_t target = end_ + chars;
  const std::size_t before = end_;
  while (end_ < target && !b_decoded_all_) {
    const bool b_last = !read_more_bytes();
    const std::string_view undecoded(bytes_.data() + bytes_begin_, bytes_end_ - bytes_begin_);
    bytes_begin_ += decoder_->decode(undecoded, b_last, chars_, end_);
    b_decoded_all_ = b_last;
  }
  return end_ > before;
}

void csv_record_reader::consume(std::size_t chars) { begin_ += chars; }

bool csv_record_reader::skip_line() {
  for (;;) {
    const wchar_t* const first = chars_.data() + begin_;
    const wchar_t* const last = chars_.data() + end_;
    const wchar_t* const found =
        std::find_if(first, last, [](wchar_t c) { return c == L'\r' || c == L'\n'; });
    consume(static_cast<std::size_t>(found - first));
    if (found == last) {
      if (b_decoded_all_) return false;
      refill(options_.read_bytes);
      continue;
    }
    if (*found == L'\r' && found + 1 == last && !b_decoded_all_) {
      refill(1);  // its LF may follow
      continue;
    }
    consume(*found == L'\r' && found + 1 < last && found[1] == L'\n' ? 2 : 1);
    return true;
  }
}

csv_record_reader::status csv_record_reader::read(csv_fields& fields) {
  // A record and its CR LF: the most the scanner is ever shown.
  const std::size_t window = options_.max_record_chars + 2;
  for (;;) {
    const bool b_cut = waiting() > window;
    const std::wstring_view text(chars_.data() + begin_, b_cut ? window : waiting());
    const csv_scanner::result scanned = scanner_.scan(text, b_decoded_all_ && !b_cut, fields);
    switch (scanned.what) {
      case csv_scanner::outcome::end_of_text:
        record_line_ = line_;
        position_.store(std::max(size_, decoder_->byte_offset()), std::memory_order_relaxed);
        return status::end_of_file;
      case csv_scanner::outcome::blank_line:
        consume(scanned.length);
        line_ += scanned.line_ends;
        break;
      case csv_scanner::outcome::need_more:
        if (b_cut) return give_up(scanned, text.size(), status::too_long);
        // At least double what is waiting, so that a long record is scanned
        // a bounded number of times, but never decode far past the limit.
        refill(std::min(std::max(waiting(), options_.read_bytes), window + 1 - waiting()));
        break;
      case csv_scanner::outcome::unclosed_quote:
        return give_up(scanned, text.size(), status::unclosed_quote);
      case csv_scanner::outcome::record:
        return finish_record(scanned);
    }
  }
}

csv_record_reader::status csv_record_reader::finish_record(const csv_scanner::result& scanned) {
  record_line_ = line_;
  const std::int64_t start = base_ + static_cast<std::int64_t>(begin_);
  consume(scanned.length);
  line_ += scanned.line_ends;
  const std::int64_t stop = base_ + static_cast<std::int64_t>(begin_);
  status result = status::record;
  if (scanned.length - scanned.end_length > options_.max_record_chars) {
    result = status::too_long;
  } else {
    drop_invalid_before(start);
    std::deque<csv_decoder::invalid_sequence>& invalid = decoder_->invalid();
    if (!invalid.empty() && invalid.front().char_index < stop) {
      first_invalid_ = invalid.front();
      result = status::invalid_bytes;
    }
  }
  drop_invalid_before(stop);
  publish_position();
  return result;
}

csv_record_reader::status csv_record_reader::give_up(const csv_scanner::result& scanned,
                                                     std::size_t scanned_length, status why) {
  record_line_ = line_;
  b_quote_open_at_end_ = why == status::unclosed_quote;
  // A CR where the text was cut may be the first half of a CR LF: leave it
  // for skip_line, which sees what follows.
  if (scanned_length > 0 && chars_[begin_ + scanned_length - 1] == L'\r') --scanned_length;
  if (why == status::too_long && !scanned.b_in_quotes) {
    // Cut outside quotes: the rest of its line still belongs to the record.
    consume(scanned_length);
    line_ += scanned.line_ends;
    if (skip_line()) ++line_;
  } else {
    // A quote left open: go on at the line after the one the record began on.
    why = status::unclosed_quote;
    if (scanned.first_line_end != csv_scanner::npos) {
      consume(scanned.first_line_end);
    } else {
      consume(scanned_length);
      skip_line();
    }
    line_ = record_line_ + 1;
  }
  drop_invalid_before(base_ + static_cast<std::int64_t>(begin_));
  publish_position();
  return why;
}

void csv_record_reader::drop_invalid_before(std::int64_t char_index) {
  std::deque<csv_decoder::invalid_sequence>& invalid = decoder_->invalid();
  while (!invalid.empty() && invalid.front().char_index < char_index) invalid.pop_front();
}

void csv_record_reader::publish_position() {
  // Characters decoded but not yet read as records stand for about as many
  // bytes each as the characters decoded so far did.
  const std::int64_t decoded_bytes = decoder_->byte_offset() - decoder_->first_byte_offset();
  const std::int64_t decoded_chars = decoder_->char_count();
  double position = static_cast<double>(decoder_->byte_offset());
  if (decoded_chars > 0)
    position -= static_cast<double>(waiting()) * static_cast<double>(decoded_bytes) /
                static_cast<double>(decoded_chars);
  const auto bytes = static_cast<std::int64_t>(position);
  position_.store(std::clamp<std::int64_t>(bytes, 0, std::max(size_, bytes)),
                  std::memory_order_relaxed);
}

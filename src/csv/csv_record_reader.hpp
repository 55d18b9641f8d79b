// csv_record_reader: reads a CSV file record by record, as fields.
//
// The file's bytes are decoded as they are read (csv_decoder): a byte-order
// mark decides the character set when there is one (UTF-8, UTF-16 or UTF-32,
// either byte order), else the caller's encoding, else the ANSI code page.
// Records are cut by csv_scanner; blank lines are skipped. Lines are counted
// from 1 over LF, CR LF and lone CR alike, inside quotes too, so that every
// record can be named by the line where it starts.
//
// A record that cannot be read whole costs that record, never the rest of
// the file; read() says what went wrong and the next read() goes on:
// - invalid_bytes: the record holds bytes that are not valid in the character
//   set; its fields are cut as usual, and first_invalid() says where;
// - too_long: the record runs past max_record_chars characters; reading goes
//   on after it (after the rest of its line when the cut fell outside quotes);
// - unclosed_quote: a quoted field is not closed before the end of the file,
//   or, when the limit cut it, within the limit; reading goes on at the line
//   after the one where the record began.
//
// Memory: a fixed read buffer plus the record being read (at most about
// twice the longest record), whatever the file size.
//
// Ownership: owns its file descriptor and buffers. Thread-safety: one reading
// thread; size() and position() may be read from another thread at any time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "csv_decoder.hpp"
#include "csv_fields.hpp"
#include "csv_scanner.hpp"

class csv_record_reader {
 public:
  struct options {
    wchar_t delimiter = L',';
    // An iconv name; empty: the ANSI code page. A byte-order mark wins.
    std::string encoding;
    std::size_t read_bytes = 256 * 1024;  // bytes asked of the file at a time
    std::size_t max_record_chars = std::size_t{64} * 1024 * 1024;
  };

  enum class status { record, end_of_file, invalid_bytes, too_long, unclosed_quote };

  // Raises tk_exception (level 1) when the file cannot be opened or read, is
  // a folder, or the encoding is unknown.
  csv_record_reader(const std::wstring& path, const options& options);
  ~csv_record_reader();
  csv_record_reader(const csv_record_reader&) = delete;
  csv_record_reader& operator=(const csv_record_reader&) = delete;

  // Reads the next record into `fields` (filled for record and
  // invalid_bytes). A read error raises tk_exception.
  status read(csv_fields& fields);

  // The line where the record last read began, from 1.
  std::int64_t record_line() const { return record_line_; }
  // The line where the next record will be looked for.
  std::int64_t next_line() const { return line_; }
  // Whether every character of the file has been read.
  bool at_end() const { return b_decoded_all_ && begin_ == end_; }
  // After invalid_bytes: the first invalid sequence of that record.
  const csv_decoder::invalid_sequence& first_invalid() const { return first_invalid_; }
  // After unclosed_quote: whether the end of the file, not the limit, left
  // the quote open.
  bool quote_open_at_end() const { return b_quote_open_at_end_; }
  // The character set in use.
  const std::string& encoding() const { return decoder_->charset(); }
  std::size_t max_record_chars() const { return options_.max_record_chars; }

  // Size of the file in bytes, taken when it was opened.
  std::int64_t size() const { return size_; }
  // Bytes read so far as records: about where the next record starts.
  std::int64_t position() const { return position_.load(std::memory_order_relaxed); }

 private:
  bool read_more_bytes();  // false at the end of the file
  // Decodes until at least `chars` more characters are waiting, or the file
  // ends; false when nothing more can come.
  bool refill(std::size_t chars);
  std::size_t waiting() const { return end_ - begin_; }
  void consume(std::size_t chars);
  // Skips to just past the next line end; false when the file ended first.
  bool skip_line();
  status give_up(const csv_scanner::result& scanned, std::size_t scanned_length, status why);
  status finish_record(const csv_scanner::result& scanned);
  void drop_invalid_before(std::int64_t char_index);
  void publish_position();

  // An open file descriptor, closed with its owner.
  class descriptor final {
   public:
    explicit descriptor(int fd) : fd_(fd) {}
    ~descriptor();
    descriptor(const descriptor&) = delete;
    descriptor& operator=(const descriptor&) = delete;
    int get() const { return fd_; }

   private:
    int fd_;
  };

  options options_;
  csv_scanner scanner_;
  std::string path_;  // in the ANSI code page, for messages
  descriptor file_;
  std::int64_t size_ = 0;
  std::atomic<std::int64_t> position_{0};

  std::vector<char> bytes_;  // undecoded bytes are bytes_[bytes_begin_, bytes_end_)
  std::size_t bytes_begin_ = 0;
  std::size_t bytes_end_ = 0;
  bool b_bytes_done_ = false;  // the file has been read to its end
  std::unique_ptr<csv_decoder> decoder_;
  bool b_decoded_all_ = false;

  std::vector<wchar_t> chars_;  // waiting characters are chars_[begin_, end_)
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::int64_t base_ = 0;  // the decoder's index of chars_[0]

  std::int64_t line_ = 1;
  std::int64_t record_line_ = 0;
  csv_decoder::invalid_sequence first_invalid_;
  bool b_quote_open_at_end_ = false;
};

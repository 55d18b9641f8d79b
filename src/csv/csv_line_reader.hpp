// csv_line_reader: reads a CSV file line by line as wide text.
//
// A line ends at LF; the LF, and a CR right before it, are not part of the
// line (a CR LF file reads like a LF file). The bytes are decoded from the
// ANSI code page, unless the file opens with a byte-order mark: UTF-8 (the mark
// is dropped and the file read as UTF-8 whatever the locale) or UTF-16 little-
// or big-endian (as spreadsheet "Unicode Text" exports write them). The reader
// never holds more than one line and a fixed buffer, whatever the file size.
//
// A line longer than max_line_units (bytes; UTF-16 code units in a UTF-16
// file) raises tk_exception naming its line number, so that a file without
// line ends cannot turn into an endless run of empty lines.
//
// Ownership: owns its file descriptor. Thread-safety: one reading thread;
// position() and size() may be read from another thread at any time.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class csv_line_reader {
 public:
  enum class encoding { ansi, utf8, utf16le, utf16be };

  static constexpr std::size_t max_line_units = 65535;

  // Raises tk_exception when the file does not exist, is a folder or cannot
  // be opened for reading.
  explicit csv_line_reader(const std::wstring& path);
  ~csv_line_reader();
  csv_line_reader(const csv_line_reader&) = delete;
  csv_line_reader& operator=(const csv_line_reader&) = delete;

  // Reads the next line into `line`. False when the end of the file was
  // reached before any character of a line: `line` is then empty. A read
  // error or an over-long line raises tk_exception.
  bool read_line(std::wstring& line);

  // True once a read has met the end of the file (the last line may have
  // ended there without a line end).
  bool at_end() const { return at_end_; }

  encoding file_encoding() const { return encoding_; }
  // Size of the file in bytes, taken when it was opened.
  std::int64_t size() const { return size_; }
  // Bytes consumed so far: the start of the next line.
  std::int64_t position() const { return position_.load(std::memory_order_relaxed); }
  // Number of the line last read, from 1.
  std::int64_t line_number() const { return line_number_; }

 private:
  bool fill();  // false at end of file
  void fail_long_line() const;

  std::string path_;  // in the ANSI code page, for messages
  int fd_ = -1;
  encoding encoding_ = encoding::ansi;
  std::int64_t size_ = 0;
  std::atomic<std::int64_t> position_{0};
  std::int64_t line_number_ = 0;
  bool at_end_ = false;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // unread bytes are buffer_[begin_, end_)
  std::size_t end_ = 0;
  std::string bytes_;  // the raw bytes of the current line
};

// csv_decoder: turns the bytes of a text file into wide characters, checking
// that every byte belongs to a valid character of the file's character set.
//
// Bytes are fed in file order, in pieces of any size; a character split
// between two pieces is completed by the next one. Nothing is replaced
// silently: each invalid sequence becomes one U+FFFD in the output and is
// listed with its place in the output and in the file, so that a reader can
// refuse the record that holds it and say where. A run of invalid sequences
// with nothing valid between them is listed once (its first), so the list
// never outgrows the text it describes.
//
// UTF-8 and the single-byte sets whose first 128 codes are ASCII take a fast
// path that copies ASCII runs and hands only the rest to iconv; every other
// set (UTF-16, Shift-JIS, stateful sets) goes through iconv whole. Every
// conversion goes through tk_iconv.
//
// Ownership: owns its iconv descriptor. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "tk_iconv.hpp"

class csv_decoder final {
 public:
  struct invalid_sequence {
    std::int64_t char_index = 0;   // its U+FFFD in the output, from 0
    std::int64_t byte_offset = 0;  // its first byte in the file, from 0
    unsigned char byte = 0;        // that byte
  };

  // A byte-order mark: the character set it announces and its length; an
  // empty set and 0 when the text starts with none.
  struct bom {
    std::string charset;
    std::size_t length = 0;
  };
  static bom sniff_bom(std::string_view head);

  // A whole small text (a table list): its byte-order mark decides, else
  // `charset`, else the ANSI code page. Raises tk_exception for an unknown
  // character set.
  struct text {
    std::wstring chars;
    std::string charset;
    std::vector<invalid_sequence> invalid;  // the first of each run
  };
  static text decode_text(std::string_view bytes, const std::string& charset);

  // Raises tk_exception (level 1) when iconv does not know `charset`.
  // `first_byte_offset` is where in the file the first byte fed stands.
  csv_decoder(const std::string& charset, std::int64_t first_byte_offset);

  csv_decoder(const csv_decoder&) = delete;
  csv_decoder& operator=(const csv_decoder&) = delete;

  // Decodes `bytes` into out[out_end, ...), growing `out` when needed, and
  // advances out_end. Returns the bytes consumed: all of them, except an
  // incomplete character at the end while `b_last` is false (feed it again in
  // front of the next bytes). With b_last an incomplete end is invalid.
  std::size_t decode(std::string_view bytes, bool b_last, std::vector<wchar_t>& out,
                     std::size_t& out_end);

  const std::string& charset() const { return charset_; }
  // Invalid sequences found so far and not yet taken off by the reader.
  std::deque<invalid_sequence>& invalid() { return invalid_; }
  // The file offset just past the last byte consumed.
  std::int64_t byte_offset() const { return byte_offset_; }
  std::int64_t first_byte_offset() const { return first_byte_offset_; }
  // Characters written so far.
  std::int64_t char_count() const { return char_count_; }

 private:
  // Decodes a piece through iconv; see decode().
  std::size_t decode_through_iconv(std::string_view bytes, bool b_last, std::vector<wchar_t>& out,
                                   std::size_t& out_end);
  void mark_invalid(unsigned char byte, std::vector<wchar_t>& out, std::size_t& out_end);

  std::string charset_;
  tk_iconv iconv_;
  bool b_ascii_runs_ = false;  // the fast path applies
  std::int64_t first_byte_offset_ = 0;
  std::int64_t byte_offset_ = 0;
  std::int64_t char_count_ = 0;
  std::int64_t last_invalid_char_ = -2;
  std::deque<invalid_sequence> invalid_;
};

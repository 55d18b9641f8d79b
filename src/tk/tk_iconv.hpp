// tk_iconv: an owned iconv descriptor that converts whole texts, or streams.
//
// convert(): invalid input bytes become U+FFFD in the target and characters
// the target cannot hold become '?', so a conversion always yields the whole
// text. convert_step(): replaces nothing; it stops where the input is invalid
// or incomplete and lets the caller decide, for readers that must report bad
// bytes rather than repair them. Not thread-safe: iconv descriptors carry
// shift state; use one per thread.
#pragma once

#include <iconv.h>

#include <span>
#include <string>
#include <string_view>

class tk_iconv final {
 public:
  // Raises tk_exception when iconv does not know one of the character sets.
  tk_iconv(const std::string& to, const std::string& from);
  ~tk_iconv();
  tk_iconv(tk_iconv&& other) noexcept;
  tk_iconv& operator=(tk_iconv&& other) noexcept;
  tk_iconv(const tk_iconv&) = delete;
  tk_iconv& operator=(const tk_iconv&) = delete;

  std::string convert(std::string_view input);

  // Why convert_step stopped.
  enum class step_end { input_done, output_full, invalid_input, incomplete_input };
  // Converts from the front of `in` into the front of `out`, dropping from
  // both what was used. invalid_input and incomplete_input leave `in` at the
  // offending sequence (incomplete: it runs to the end of `in`).
  step_end convert_step(std::string_view& in, std::span<char>& out);
  // Writes what a stateful source set still holds back at the end of the
  // input; input_done or output_full.
  step_end finish(std::span<char>& out);
  // Back to the initial shift state, after an invalid sequence was skipped.
  void reset();
  // Bytes that make one code unit of the source set (2 for UTF-16, ...).
  std::size_t input_unit() const { return input_unit_; }

  // Whether iconv converts from `charset` to wide characters.
  static bool knows(const std::string& charset);

 private:
  std::string encode_fallback(std::string_view replacement_utf8) const;

  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
  std::string to_;
  std::string from_;
  std::string invalid_input_;    // U+FFFD in the target, or '?' when it has none
  std::size_t input_unit_ = 1;   // bytes to skip past an invalid input sequence
};

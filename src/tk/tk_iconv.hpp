// tk_iconv: an owned iconv descriptor that converts whole texts.
//
// Invalid input bytes become U+FFFD in the target and characters the target
// cannot hold become '?', so a conversion always yields the whole text. Not
// thread-safe: iconv descriptors carry shift state; use one per thread.
#pragma once

#include <iconv.h>

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

 private:
  std::string encode_fallback(std::string_view replacement_utf8) const;

  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
  std::string to_;
  std::string from_;
  std::string invalid_input_;    // U+FFFD in the target, or '?' when it has none
  std::size_t input_unit_ = 1;   // bytes to skip past an invalid input sequence
};

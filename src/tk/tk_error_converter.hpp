// tk_error_converter: turns error codes into the messages users read.
//
// Each program registers tables of (code, text) at start. The first text
// registered for a code wins, so a program can put its own wording ahead of a
// shared table. Not thread-safe while loading; read-only afterwards.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>

struct tk_error_entry {
  std::uint32_t code;
  const char* text;
};

class tk_error_converter {
 public:
  explicit tk_error_converter(std::span<const tk_error_entry> table);

  void load_map(std::span<const tk_error_entry> table);
  // The registered text, or an empty text when the code is unknown.
  std::string convert(std::uint32_t code) const;

 private:
  std::map<std::uint32_t, std::string> messages_;
};

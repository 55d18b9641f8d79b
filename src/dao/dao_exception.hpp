// dao_exception: a workbook the reader refuses, with the engine's error number.
//
// Carries the Jet error number the error maps know (3161 for an encrypted or
// password-protected workbook, 3274 for a file that is not a readable
// workbook, 3190 for a table whose structure cannot be read) and the reader's
// own description. The code is the number with the DAO kind in the upper 16
// bits, as every workbook failure is looked up by it. Level 0 by default: one
// worksheet failed; opening a workbook raises it at level 1.
// Raised by value, caught by reference; thread-safe as any value.
#pragma once

#include <cstdint>
#include <string>

#include "tk_exception.hpp"

class dao_exception : public tk_exception {
 public:
  enum : std::uint32_t {
    password_protected = 3161,  // encrypted or password-protected workbook
    bad_table = 3190,           // a table whose structure cannot be read
    not_a_workbook = 3274,      // not a workbook, or a damaged one
  };

  dao_exception(std::uint32_t number, const std::string& text, int level = tk_level_item);

  // The Jet number alone (the code without its kind).
  std::uint32_t number() const noexcept { return code() & 0xFFFFu; }
};

// tk_exception_ex: a failed system call, described by errno and its text.
#pragma once

#include "tk_exception.hpp"

class tk_exception_ex : public tk_exception {
 public:
  // Reads errno at construction; raise it right after the failing call.
  tk_exception_ex();
  explicit tk_exception_ex(int error_number);
};

// tk_mail_assertion: a violated precondition, i.e. a programming error.
//
// Its message names where it happened in a form users can mail to support
// without the source tree: "Internal error: \ncode=" followed by the hex codes
// of the text "<source>\<line>". Always level 2 (the program ends).
#pragma once

#include <string>

#include "tk_exception.hpp"

class tk_mail_assertion : public tk_exception {
 public:
  tk_mail_assertion(const char* source, int line);

  // "<source>\<line>" with each character written as lower-case hex digits.
  static std::string code_text(const std::string& source, int line);
};

// The source name of a file: its base name without folder or extension.
std::string tk_source_name(const char* path);

// Raises tk_mail_assertion naming this file and line when cond is false.
#define TK_ASSERT(cond)                                                \
  do {                                                                 \
    if (!(cond)) throw tk_mail_assertion(tk_source_name(__FILE__).c_str(), __LINE__); \
  } while (false)

#define TK_FAIL() throw tk_mail_assertion(tk_source_name(__FILE__).c_str(), __LINE__)

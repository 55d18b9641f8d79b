#include "tk_mail_assertion.hpp"

#include <cstdio>

tk_mail_assertion::tk_mail_assertion(const char* source, int line)
    : tk_exception(tk_level_internal) {
  set_message("Internal error: \ncode=" + code_text(source ? source : "", line));
}

std::string tk_mail_assertion::code_text(const std::string& source, int line) {
  const std::string plain = source + "\\" + std::to_string(line);
  std::string hex;
  for (unsigned char c : plain) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%x", c);
    hex += digits;
  }
  return hex;
}

std::string tk_source_name(const char* path) {
  std::string name = path ? path : "";
  if (auto slash = name.find_last_of('/'); slash != std::string::npos) name.erase(0, slash + 1);
  if (auto dot = name.find_last_of('.'); dot != std::string::npos) name.erase(dot);
  return name;
}

// tk_exception: the one way failures travel through Tessaly.
//
// Every failure carries a text, a numeric code and a level. The code's upper 16
// bits name the kind of source (1 workbook access, 8 SQL Server access), the
// lower 16 bits that source's own number; 0 means no code. The level tells the
// error handler what happens next:
//   0  the current item (worksheet, record) failed, the run may go on;
//   1  the run cannot go on;
//   2  internal error: the program ends.
// Raised by value, caught by reference. Safe to use from any thread.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

enum tk_error_level : int {
  tk_level_item = 0,
  tk_level_run = 1,
  tk_level_internal = 2,
};

// Kinds of source, in the upper 16 bits of a code.
inline constexpr std::uint32_t tk_code_kind_dao = 0x10000;
inline constexpr std::uint32_t tk_code_kind_odb = 0x80000;

class tk_exception : public std::exception {
 public:
  explicit tk_exception(int level);
  tk_exception(const std::string& text, int level);
  tk_exception(const std::wstring& text, int level);
  tk_exception(const char* text, int level) : tk_exception(std::string(text ? text : ""), level) {}
  tk_exception(const wchar_t* text, int level)
      : tk_exception(std::wstring(text ? text : L""), level) {}

  const char* what() const noexcept override { return message_.c_str(); }
  std::uint32_t code() const noexcept { return code_; }
  int level() const noexcept { return level_; }

 protected:
  void set_message(std::string text);
  void set_code(std::uint32_t code) { code_ = code; }

 private:
  std::string message_;
  std::uint32_t code_ = 0;
  int level_ = tk_level_run;
};

#include "udb_validator.hpp"

#include <cwchar>

#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

udb_validator::udb_validator(std::size_t max_length) : max_length_(max_length) {
  tk_trace(1, "udb_validator::ctor");
}

bool udb_validator::is_acceptable(const std::wstring& name) {
  tk_trace(1, L"udb_validator::is_acceptable(%ls)", name.c_str());
  if (max_length_ != 0 && name.size() > max_length_) {
    tk_trace(1, "The name is too long");
    return false;
  }
  for (const std::wstring& reserved : reserved_names_) {
    if (tk_compare_nocase(name, reserved) == 0) {
      tk_trace(1, "The name is restricted");
      return false;
    }
  }
  // The first forbidden character in list order is the one reported.
  for (wchar_t c : forbidden_chars_) {
    if (name.find(c) != std::wstring::npos) {
      tk_trace(1, L"The name contains illegal: %lc", static_cast<wint_t>(c));
      return false;
    }
  }
  return true;
}

bool udb_validator::is_duplicated(const std::wstring& name) {
  tk_trace(1, L"udb_validator::is_duplicated(%ls)", name.c_str());
  for (const std::wstring& taken : taken_names_) {
    tk_trace(1, L"Processing %ls", taken.c_str());
    if (tk_compare_nocase(name, taken) == 0) return true;
  }
  return false;
}

std::wstring udb_validator::get_safe_name(const std::wstring& name) {
  tk_trace(1, L"udb_validator::get_safe_name(%ls)", name.c_str());
  std::wstring safe = name;
  // One character short of the limit, so that a later suffix still has room.
  if (max_length_ != 0 && safe.size() > max_length_) safe.resize(max_length_ - 1);
  for (wchar_t& c : safe) {
    for (wchar_t forbidden : forbidden_chars_) {
      if (c == forbidden) {
        c = L'_';
        break;
      }
    }
  }
  if (is_acceptable(safe) && !is_duplicated(safe)) return safe;

  // The stem leaves room for the five counter digits within the limit. A limit
  // too small for any stem leaves the digits alone rather than wrapping below
  // zero.
  if (max_length_ != 0 && safe.size() + 5 > max_length_) {
    safe.resize(max_length_ > 6 ? max_length_ - 6 : 0);
  }
  for (int counter = 0; counter < max_suffix_attempts; ++counter) {
    wchar_t digits[16];
    std::swprintf(digits, sizeof digits / sizeof digits[0], L"%05d", counter);
    const std::wstring candidate = safe + digits;
    if (is_acceptable(candidate) && !is_duplicated(candidate)) return candidate;
  }
  TK_FAIL();
}

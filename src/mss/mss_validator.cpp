#include "mss_validator.hpp"

#include <locale.h>

#include <cwctype>

#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

constexpr const wchar_t* prefix_cycle[] = {L"_", L"1", L"_", L"2", L"_", L"3"};
constexpr std::size_t prefix_cycle_size = sizeof prefix_cycle / sizeof prefix_cycle[0];

// The zero of each run of ten Unicode decimal digits (category Nd) outside
// ASCII, Unicode 14. glibc counts these among the letters, since its digit
// class may hold only 0-9; SQL Server does not.
constexpr char32_t digit_zeros[] = {
    0x660,   0x6F0,   0x7C0,   0x966,   0x9E6,   0xA66,   0xAE6,   0xB66,   0xBE6,   0xC66,
    0xCE6,   0xD66,   0xDE6,   0xE50,   0xED0,   0xF20,   0x1040,  0x1090,  0x17E0,  0x1810,
    0x1946,  0x19D0,  0x1A80,  0x1A90,  0x1B50,  0x1BB0,  0x1C40,  0x1C50,  0xA620,  0xA8D0,
    0xA900,  0xA9D0,  0xA9F0,  0xAA50,  0xABF0,  0xFF10,  0x104A0, 0x10D30, 0x11066, 0x110F0,
    0x11136, 0x111D0, 0x112F0, 0x11450, 0x114D0, 0x11650, 0x116C0, 0x11730, 0x118E0, 0x11950,
    0x11C50, 0x11D50, 0x11DA0, 0x16A60, 0x16AC0, 0x16B50, 0x1D7CE, 0x1D7D8, 0x1D7E2, 0x1D7EC,
    0x1D7F6, 0x1E140, 0x1E2F0, 0x1E950, 0x1FBF0};

bool is_other_digit(wchar_t c) {
  const auto code = static_cast<char32_t>(c);
  for (char32_t zero : digit_zeros)
    if (code >= zero && code < zero + 10) return true;
  return false;
}

// Whether a character is a letter must not depend on the user's locale: a
// run from cron (LC_ALL=C) has to name tables as an interactive one does.
bool is_letter(wchar_t c) {
  const locale_t unicode = tk_unicode_ctype();
  if (unicode != static_cast<locale_t>(0))
    return iswalpha_l(static_cast<wint_t>(c), unicode) != 0 && !is_other_digit(c);
  // Without that locale, ASCII letters at least are letters everywhere.
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
         (c > 0x7F && std::iswalpha(static_cast<wint_t>(c)));
}

}  // namespace

bool mss_validator::is_acceptable(const std::wstring& name) {
  tk_trace(1, L"mss_validator::is_acceptable(%ls)", name.c_str());
  TK_ASSERT(!name.empty());
  return is_letter(name[0]) || name[0] == L'_';
}

std::wstring mss_validator::get_safe_name(const std::wstring& name) {
  tk_trace(1, L"mss_validator::get_safe_name(%ls)", name.c_str());
  std::wstring safe = name;
  for (std::size_t k = 0;; ++k) {
    const bool duplicated = is_duplicated(safe);
    // A name that breaks the rule but collides with nothing would otherwise
    // come back unchanged; it gets the first prefix like a colliding one.
    // Later prefixes only ever resolve collisions.
    if (!duplicated && (k > 0 || is_acceptable(safe))) return safe;
    if (duplicated) tk_trace(1, "Duplicate table name was found");
    safe.insert(0, prefix_cycle[k % prefix_cycle_size]);
  }
}

mss_tn_validator::mss_tn_validator(const std::vector<std::wstring>& selected,
                                   const std::vector<std::wstring>& existing) {
  tk_trace(1, "mss_tn_validator::ctor");
  for (const std::wstring& name : selected) add_taken_name(name);
  for (const std::wstring& name : existing) add_taken_name(name);
}

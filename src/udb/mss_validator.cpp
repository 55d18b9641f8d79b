#include "mss_validator.hpp"

#include <cwctype>

#include "tk_mail_assertion.hpp"
#include "tk_trace.hpp"

namespace {

constexpr const wchar_t* prefix_cycle[] = {L"_", L"1", L"_", L"2", L"_", L"3"};
constexpr std::size_t prefix_cycle_size = sizeof prefix_cycle / sizeof prefix_cycle[0];

}  // namespace

bool mss_validator::is_acceptable(const std::wstring& name) {
  tk_trace(1, L"mss_validator::is_acceptable(%ls)", name.c_str());
  TK_ASSERT(!name.empty());
  return std::iswalpha(static_cast<wint_t>(name[0])) || name[0] == L'_';
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

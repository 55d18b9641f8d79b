// Fuzz target: udb_profile::load on arbitrary bytes.
//
// Loading may only return true or false, or refuse a line longer than its
// buffer with the profile error (never an internal assertion). What was loaded must survive store
// and reload unchanged, so a profile re-saved by the wizard keeps its meaning. The one pair that
// cannot survive is a "Selected Tables" entry with an empty name and no value: it is written as the
// empty key alone, an empty line, which reads as nothing; such an entry names no table.
#include <cstdint>
#include <string>

#include "fuzz_check.hpp"
#include "memory_file.hpp"
#include "tk_mail_assertion.hpp"
#include "udb_profile.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const memory_file file(data, size);
  if (!file.ok()) return 0;
  udb_profile profile;
  try {
    profile.load(file.path());
  } catch (const tk_mail_assertion&) {
    FUZZ_CHECK(false);
  } catch (const tk_exception&) {
    return 0;
  }
  const std::string text = profile.to_text();
  const memory_file copy(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  udb_profile back;
  FUZZ_CHECK(back.load(copy.path()));
  udb_profile::sections expected = profile.all_sections();
  auto& selected = expected[udb_profile::selected_tables];
  if (auto it = selected.find(L""); it != selected.end() && it->second.empty()) selected.erase(it);
  FUZZ_CHECK(back.all_sections() == expected);
  return 0;
}

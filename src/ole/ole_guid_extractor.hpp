// ole_guid_extractor: finds the GUID in the text form in which the workbook
// driver reports GUID values, "{guid {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}}",
// and returns it braced or as 32 bare hexadecimal digits. Immutable after
// construction; thread-safe.
#pragma once

#include <cstdint>
#include <string>

class ole_guid_extractor {
 public:
  explicit ole_guid_extractor(const std::wstring& text);

  std::wstring braced_guid() const;  // "" when none was found
  std::wstring hex_guid() const;     // "" when none was found

  std::int32_t guid_pos = -1;
  std::wstring text;
  bool b_found = false;
};

#include "ole_guid_extractor.hpp"

#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

constexpr std::size_t reported_length = 45;  // "{guid {" + 36 + "}}"
constexpr std::size_t braced_length = 38;

}  // namespace

ole_guid_extractor::ole_guid_extractor(const std::wstring& value) : text(value) {
  tk_trace(1, "ole_guid_extractor::ctor(%s)", tk_w2a(value).c_str());
  if (text.size() < reported_length) return;
  std::size_t word = text.find(L"guid");
  if (word == std::wstring::npos) word = text.find(L"GUID");
  tk_trace(1, "Locating 'guid' (%d : %d)", word == std::wstring::npos ? -1 : static_cast<int>(word),
           static_cast<int>(text.size()));
  if (word == std::wstring::npos) return;
  const std::size_t brace = text.find(L'{', word + 4);
  // A brace too close to the end holds no whole GUID; reading one would run
  // past the text.
  if (brace == std::wstring::npos || brace + braced_length > text.size()) return;
  guid_pos = static_cast<std::int32_t>(brace);
  b_found = true;
}

std::wstring ole_guid_extractor::braced_guid() const {
  if (!b_found) return std::wstring();
  return text.substr(static_cast<std::size_t>(guid_pos), braced_length);
}

std::wstring ole_guid_extractor::hex_guid() const {
  if (!b_found) return std::wstring();
  const std::size_t p = static_cast<std::size_t>(guid_pos);
  return text.substr(p + 1, 8) + text.substr(p + 10, 4) + text.substr(p + 15, 4) +
         text.substr(p + 20, 4) + text.substr(p + 25, 12);
}

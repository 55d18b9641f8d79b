#include "tk_error_converter.hpp"

#include "tk_mail_assertion.hpp"
#include "tk_trace.hpp"

tk_error_converter::tk_error_converter(std::span<const tk_error_entry> table) {
  tk_trace(2, "tk_error_converter::ctor (map size=%d)", static_cast<int>(table.size()));
  load_map(table);
}

void tk_error_converter::load_map(std::span<const tk_error_entry> table) {
  tk_trace(2, "tk_error_converter::load_map (map size=%d)", static_cast<int>(table.size()));
  for (const tk_error_entry& entry : table) {
    TK_ASSERT(entry.text != nullptr);
    messages_.emplace(entry.code, entry.text);
  }
}

std::string tk_error_converter::convert(std::uint32_t code) const {
  tk_trace(2, "tk_error_converter::convert(%d)", static_cast<int>(code));
  const auto found = messages_.find(code);
  if (found == messages_.end()) {
    tk_trace(1, "Error message not found!");
    return {};
  }
  tk_trace(1, "Error message has been found: %s", found->second.c_str());
  return found->second;
}

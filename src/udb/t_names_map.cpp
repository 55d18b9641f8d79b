#include "t_names_map.hpp"

#include "tk_text.hpp"
#include "tk_trace.hpp"

void t_names_map::add(const std::wstring& source, const std::wstring& destination) {
  tk_trace(1, L"t_names_map::add(%ls,%ls)", source.c_str(), destination.c_str());
  pairs_.emplace_back(source, destination);
}

std::wstring t_names_map::get_mapped_name(const std::wstring& name, bool exact) const {
  tk_trace(1, L"t_names_map::get_mapped_name(%ls)", name.c_str());
  return find(name, exact);
}

std::wstring t_names_map::find(const std::wstring& name, bool exact) const {
  for (const auto& [source, destination] : pairs_) {
    tk_trace(1, L"Comparing with (%ls,%ls)", source.c_str(), destination.c_str());
    const bool equal = exact ? source == name : tk_compare_nocase(source, name) == 0;
    if (equal) {
      tk_trace(1, L"Got mapped name: %ls", destination.c_str());
      return destination;
    }
  }
  return name;
}

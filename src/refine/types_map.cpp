#include "types_map.hpp"

#include "tk_trace.hpp"

types_map::types_map(const std::wstring& table_name) : table_name_(table_name) {
  tk_trace(2, L"types_map::ctor(%ls)", table_name.c_str());
}

types_map::~types_map() = default;

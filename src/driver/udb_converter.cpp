#include "udb_converter.hpp"

#include "tk_trace.hpp"

udb_converter::udb_converter() { tk_trace(2, "udb_converter::ctor"); }

udb_converter::~udb_converter() = default;

void udb_converter::set_mode(int new_mode) {
  tk_trace(1, "udb_converter::set_mode(%d)", new_mode);
  mode = new_mode;
}

bool udb_converter::load_profile(const std::wstring& path) {
  tk_trace(1, "udb_converter::load_profile");
  udb_profile profile;
  if (!profile.load(path)) return false;
  return load_profile(profile);
}

bool udb_converter::store_profile(const std::wstring& path) {
  udb_profile profile;
  return store_profile(profile) && profile.store(path);
}

udb_profile_keys::settings udb_converter::to_profile_settings() const {
  udb_profile_keys::settings s;
  s.src = src;
  s.dest = dest;
  s.mode = mode;
  s.skip_indexes = b_skip_indexes;
  s.only_definitions = b_only_definitions;
  s.x_fnames = x_fnames;
  s.refine_types = refine_types;
  s.from_xls = from_xls;
  s.selected = selected;
  s.pushed_back = pushed_back;
  s.available_queries = available_queries;
  return s;
}

void udb_converter::from_profile_settings(const udb_profile_keys::settings& s) {
  src = s.src;
  dest = s.dest;
  mode = s.mode;
  b_skip_indexes = s.skip_indexes;
  b_only_definitions = s.only_definitions;
  x_fnames = s.x_fnames;
  refine_types = s.refine_types;
  from_xls = s.from_xls;
  selected = s.selected;
  pushed_back = s.pushed_back;
  available_queries = s.available_queries;
}

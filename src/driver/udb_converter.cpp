#include "udb_converter.hpp"

#include <sys/stat.h>

#include "tk_exception.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

udb_converter::udb_converter() { tk_trace(2, "udb_converter::ctor"); }

udb_converter::~udb_converter() = default;

void udb_converter::set_mode(int new_mode) {
  tk_trace(1, "udb_converter::set_mode(%d)", new_mode);
  mode = new_mode;
}

namespace {

// Whether a file has any setting of the sections a profile is made of.
bool has_profile_settings(const udb_profile& profile) {
  for (const wchar_t* name :
       {udb_profile::available_queries, udb_profile::selected_tables, udb_profile::generic_settings,
        udb_profile_keys::mssql_section, udb_profile_keys::excel_section})
    if (profile.has_section(name) && !profile.get_section(name).empty()) return true;
  return false;
}

// The environment variables that would keep a profile's passwords out of it:
// the server's, a workbook's, or both; empty when it holds none.
std::string password_variables(const udb_profile& profile) {
  const bool server = !profile.get_value(udb_profile_keys::mssql_section, L"password").empty();
  const bool workbook = !profile.get_value(udb_profile_keys::excel_section, L"password").empty();
  if (server && workbook) return "variables TESSALY_PASSWORD and TESSALY_SRC_PASSWORD";
  if (server) return "variable TESSALY_PASSWORD";
  if (workbook) return "variable TESSALY_SRC_PASSWORD";
  return {};
}

}  // namespace

wchar_t udb_converter::csv_delimiter() const {
  if (csv_delimiter_char != 0) return csv_delimiter_char;
  return n_comma >= 0 && n_comma < csv_delimiter_count ? csv_delimiters[n_comma] : 0;
}

void udb_converter::set_csv_delimiter(wchar_t delimiter) {
  for (int i = 0; i < csv_delimiter_count; ++i) {
    if (csv_delimiters[i] == delimiter) {
      n_comma = i;
      csv_delimiter_char = 0;
      return;
    }
  }
  csv_delimiter_char = delimiter;
}

bool udb_converter::load_profile(const std::wstring& path) {
  tk_trace(1, "udb_converter::load_profile");
  profile_warning.clear();
  udb_profile profile;
  const std::string narrow = tk_w2a(path);
  if (!profile.load(path) || !has_profile_settings(profile))
    throw tk_exception(narrow +
                           " is not a Tessaly profile: it holds none of the sections [Generic "
                           "settings], [MS SQL Server settings], [MS Excel settings], [Selected "
                           "Tables]. Please verify the correct path/name was given.",
                       tk_level_run);
  struct stat info {};
  const std::string variables = password_variables(profile);
  if (!variables.empty() && ::stat(narrow.c_str(), &info) == 0 &&
      (info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    profile_warning = "Warning: the profile " + narrow +
                      " holds a password and other users may read it; "
                      "run 'chmod 600 " +
                      narrow +
                      "', or leave the password out of the profile "
                      "and give it in the environment " +
                      variables + ".";
    tk_trace(3, "%s", profile_warning.c_str());
  }
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
  s.src_password = src_pswd;
  s.refine_types = refine_types;
  s.date_order = date_order_key(date_order_setting);
  s.from_xls = from_xls;
  s.n_comma = n_comma;
  if (csv_delimiter_char != 0) s.delimiter.assign(1, csv_delimiter_char);
  s.encoding = tk_a2w(encoding);
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
  src_pswd = s.src_password;
  refine_types = s.refine_types;
  if (!parse_date_order(s.date_order, date_order_setting)) date_order_setting = date_order::none;
  from_xls = s.from_xls;
  n_comma = s.n_comma;
  csv_delimiter_char = s.delimiter.size() == 1 ? s.delimiter[0] : 0;
  encoding = tk_w2a(s.encoding);
  selected = s.selected;
  pushed_back = s.pushed_back;
  available_queries = s.available_queries;
}

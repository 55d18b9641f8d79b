#include "udb_profile_keys.hpp"

#include "tk_trace.hpp"

namespace {

const wchar_t* flag(bool value) { return value ? L"1" : L"0"; }

// "skip indexes" and "only definitions": anything but "0" is true.
void load_unless_zero(const udb_profile& profile, const wchar_t* section, const wchar_t* key,
                      bool& to) {
  const std::wstring value = profile.get_value(section, key);
  if (!value.empty()) to = value != L"0";
}

// The other flags: only "1" is true.
void load_only_one(const udb_profile& profile, const wchar_t* section, const wchar_t* key,
                   bool& to) {
  const std::wstring value = profile.get_value(section, key);
  if (!value.empty()) to = value == L"1";
}

void load_text(const udb_profile& profile, const wchar_t* section, const wchar_t* key,
               std::wstring& to) {
  std::wstring value = profile.get_value(section, key);
  if (!value.empty()) to = std::move(value);
}

void store_if_set(udb_profile& profile, const wchar_t* section, const wchar_t* key,
                  const std::wstring& value) {
  if (!value.empty()) profile.set_value(section, key, value);
}

void load_seconds(const udb_profile& profile, const wchar_t* section, const wchar_t* key, int& to) {
  const std::wstring value = profile.get_value(section, key);
  if (value.empty()) return;
  const int seconds = udb_profile_keys::parse_seconds(value);
  if (seconds >= 0)
    to = seconds;
  else
    tk_trace(2, L"Ignored %ls '%ls'", key, value.c_str());
}

}  // namespace

int udb_profile_keys::parse_seconds(const std::wstring& text) {
  if (text.empty() || text.size() > 9) return -1;
  long long seconds = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return -1;
    seconds = seconds * 10 + (c - L'0');
  }
  return seconds <= max_timeout ? static_cast<int>(seconds) : -1;
}

void udb_profile_keys::store_generic(udb_profile& profile, const settings& from) {
  tk_trace(2, "udb_profile_keys::store_generic");
  for (const auto& [name, text] : from.available_queries) {
    tk_trace(1, L"Available Query: (%ls,%ls)", name.c_str(), text.c_str());
    profile.set_value(udb_profile::available_queries, name, text);
  }
  for (const auto& [name, value] : from.selected) {
    tk_trace(1, L"Selected Query: (%ls,%ls)", name.c_str(), value.c_str());
    profile.set_value(udb_profile::selected_tables, name, value);
  }
  const wchar_t* generic = udb_profile::generic_settings;
  profile.set_value(generic, L"src", from.src);
  profile.set_value(generic, L"dest", from.dest);
  profile.set_value(generic, L"skip indexes", flag(from.skip_indexes));
  profile.set_value(generic, L"only definitions", flag(from.only_definitions));
  // A mode outside 0-3 cannot come from the driver; clamp it rather than
  // writing a character that no reader would take.
  const int mode = from.mode >= 0 && from.mode <= 3 ? from.mode : 0;
  profile.set_value(generic, L"mode", std::wstring(1, static_cast<wchar_t>(L'0' + mode)));
}

void udb_profile_keys::load_generic(const udb_profile& profile, settings& to) {
  tk_trace(2, "udb_profile_keys::load_generic");
  for (const auto& [name, text] : profile.get_section(udb_profile::available_queries)) {
    tk_trace(1, L"Available Query: (%ls,%ls)", name.c_str(), text.c_str());
    to.available_queries[name] = text;
  }
  for (const auto& [name, value] : profile.get_section(udb_profile::selected_tables)) {
    tk_trace(1, L"Selected Query: (%ls,%ls)", name.c_str(), value.c_str());
    to.selected[name] = value;
    if (value.empty()) {
      tk_trace(1, L"Push back table '%ls'", name.c_str());
      to.pushed_back.push_back(name);
    }
  }
  const wchar_t* generic = udb_profile::generic_settings;
  load_text(profile, generic, L"src", to.src);
  load_text(profile, generic, L"dest", to.dest);
  // Only one character is taken, and only a mode that exists: anything else
  // would send the driver down a path that has no meaning.
  const std::wstring mode = profile.get_value(generic, L"mode");
  if (mode.size() == 1 && mode[0] >= L'0' && mode[0] <= L'3')
    to.mode = mode[0] - L'0';
  else if (!mode.empty())
    tk_trace(2, L"Ignored mode '%ls'", mode.c_str());
  load_unless_zero(profile, generic, L"skip indexes", to.skip_indexes);
  load_unless_zero(profile, generic, L"only definitions", to.only_definitions);
}

void udb_profile_keys::store_mssql(udb_profile& profile, const settings& from) {
  tk_trace(2, "udb_profile_keys::store_mssql");
  store_if_set(profile, mssql_section, L"server", from.server);
  store_if_set(profile, mssql_section, L"login", from.login);
  store_if_set(profile, mssql_section, L"password", from.password);
  profile.set_value(mssql_section, L"windows authentication", flag(from.windows_authentication));
  profile.set_value(mssql_section, L"connect as DBO", flag(from.as_dbo));
  if (from.login_timeout != default_login_timeout)
    profile.set_value(mssql_section, L"login timeout", std::to_wstring(from.login_timeout));
  if (from.timeout != default_timeout)
    profile.set_value(mssql_section, L"timeout", std::to_wstring(from.timeout));
}

void udb_profile_keys::load_mssql(const udb_profile& profile, settings& to) {
  tk_trace(2, "udb_profile_keys::load_mssql");
  load_text(profile, mssql_section, L"server", to.server);
  load_text(profile, mssql_section, L"login", to.login);
  load_text(profile, mssql_section, L"password", to.password);
  load_only_one(profile, mssql_section, L"windows authentication", to.windows_authentication);
  load_only_one(profile, mssql_section, L"connect as DBO", to.as_dbo);
  load_seconds(profile, mssql_section, L"login timeout", to.login_timeout);
  load_seconds(profile, mssql_section, L"timeout", to.timeout);
}

void udb_profile_keys::store_excel(udb_profile& profile, const settings& from) {
  tk_trace(2, "udb_profile_keys::store_excel");
  profile.set_value(excel_section, L"extract field names", flag(from.x_fnames));
  profile.set_value(excel_section, L"refine types", flag(from.refine_types));
  profile.set_value(excel_section, L"convert from xls", flag(from.from_xls));
  if (from.n_comma >= 0 && from.n_comma <= 3)
    profile.set_value(excel_section, L"n_comma",
                      std::wstring(1, static_cast<wchar_t>(L'0' + from.n_comma)));
  if (from.delimiter.size() == 1 && is_delimiter_char(from.delimiter[0]))
    profile.set_value(excel_section, L"delimiter", from.delimiter);
  store_if_set(profile, excel_section, L"encoding", from.encoding);
  store_if_set(profile, excel_section, L"date order", from.date_order);
  store_if_set(profile, excel_section, L"password", from.src_password);
}

bool udb_profile_keys::is_delimiter_char(wchar_t c) {
  return c != 0 && c != L'"' && c != L'\r' && c != L'\n' && c != 0xFFFD && (c < L'0' || c > L'9');
}

void udb_profile_keys::load_excel(const udb_profile& profile, settings& to) {
  tk_trace(2, "udb_profile_keys::load_excel");
  load_only_one(profile, excel_section, L"extract field names", to.x_fnames);
  load_only_one(profile, excel_section, L"refine types", to.refine_types);
  load_only_one(profile, excel_section, L"convert from xls", to.from_xls);
  const std::wstring n_comma = profile.get_value(excel_section, L"n_comma");
  if (n_comma.size() == 1 && n_comma[0] >= L'0' && n_comma[0] <= L'3') {
    to.n_comma = n_comma[0] - L'0';
    to.delimiter.clear();
  } else if (!n_comma.empty()) {
    tk_trace(2, L"Ignored n_comma '%ls'", n_comma.c_str());
  }
  const std::wstring delimiter = profile.get_value(excel_section, L"delimiter");
  if (delimiter.size() == 1 && is_delimiter_char(delimiter[0]))
    to.delimiter = delimiter;
  else if (!delimiter.empty())
    tk_trace(2, L"Ignored delimiter '%ls'", delimiter.c_str());
  load_text(profile, excel_section, L"encoding", to.encoding);
  load_text(profile, excel_section, L"date order", to.date_order);
  load_text(profile, excel_section, L"password", to.src_password);
}

void udb_profile_keys::store_all(udb_profile& profile, const settings& from) {
  store_generic(profile, from);
  store_mssql(profile, from);
  store_excel(profile, from);
}

void udb_profile_keys::load_all(const udb_profile& profile, settings& to) {
  load_generic(profile, to);
  load_mssql(profile, to);
  load_excel(profile, to);
}

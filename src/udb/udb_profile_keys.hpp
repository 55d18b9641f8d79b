// udb_profile_keys: what the conversion settings look like inside a profile.
//
// The conversion driver copies its settings into a udb_profile_keys::settings,
// stores them into a profile, and reads them back the same way. Each group of
// keys has its own store/load pair so that the driver can call them from the
// layer that owns those settings (source-independent part, SQL Server part,
// workbook part); the driver traces its own operation names around them.
//
// Written forms: booleans are "1" or "0"; the mode is one digit. When loading,
// a key that is missing or empty leaves its setting as it was.
//
// Ownership: plain functions over caller-owned objects. Thread-safety: none
// beyond that of the objects passed in.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "udb_profile.hpp"

class udb_profile_keys {
 public:
  static constexpr int default_login_timeout = 30;
  static constexpr int default_timeout = 600;
  // Longest wait a setting may ask for, in seconds (a week).
  static constexpr int max_timeout = 7 * 24 * 3600;
  // Seconds from text: plain digits up to max_timeout; -1 otherwise.
  static int parse_seconds(const std::wstring& text);

  struct settings {
    // Generic settings
    std::wstring src;
    std::wstring dest;
    int mode = 0;  // 0 overwrite database, 1 overwrite tables, 2 skip tables, 3 merge
    bool skip_indexes = false;
    bool only_definitions = false;
    // MS SQL Server settings
    std::wstring server;
    std::wstring login;
    std::wstring password;
    bool windows_authentication = false;
    bool as_dbo = false;
    // Seconds; written only when they differ from these defaults.
    int login_timeout = default_login_timeout;
    int timeout = default_timeout;
    // MS Excel settings
    bool x_fnames = false;
    bool refine_types = false;
    std::wstring date_order;    // "dmy", "mdy" or "ymd"; empty: none given
    bool from_xls = false;
    int n_comma = -1;           // CSV delimiter: 0 tab, 1 ";", 2 ",", 3 space; -1 none
    std::wstring delimiter;     // any other delimiter, one character; empty: none
    std::wstring encoding;      // the CSV file's character set; empty: the locale's
    std::wstring src_password;  // an encrypted workbook's
    // Selected Tables: display name -> value (empty for a worksheet).
    std::map<std::wstring, std::wstring> selected;
    // Names from "Selected Tables" whose value is empty, in file order; load
    // appends to it.
    std::vector<std::wstring> pushed_back;
    // Available Queries: name -> query text.
    std::map<std::wstring, std::wstring> available_queries;
  };

  static constexpr const wchar_t* mssql_section = L"MS SQL Server settings";
  static constexpr const wchar_t* excel_section = L"MS Excel settings";

  // "Available Queries", "Selected Tables" and "Generic settings".
  static void store_generic(udb_profile& profile, const settings& from);
  static void load_generic(const udb_profile& profile, settings& to);

  // "MS SQL Server settings": server, login and password only when not empty;
  // "login timeout" and "timeout" only when they are not the defaults.
  static void store_mssql(udb_profile& profile, const settings& from);
  static void load_mssql(const udb_profile& profile, settings& to);

  // Whether a character may separate CSV fields: not a double quote, a line
  // end, NUL, U+FFFD or a digit (a digit would be mistaken for n_comma).
  static bool is_delimiter_char(wchar_t c);

  // "MS Excel settings". "n_comma" is one digit 0-3; "delimiter" one
  // character that is_delimiter_char takes, and it wins over "n_comma".
  // "password" (an encrypted workbook's) is written only when not empty.
  static void store_excel(udb_profile& profile, const settings& from);
  static void load_excel(const udb_profile& profile, settings& to);

  // The three groups in the order above.
  static void store_all(udb_profile& profile, const settings& from);
  static void load_all(const udb_profile& profile, settings& to);
};

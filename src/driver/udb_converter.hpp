// udb_converter: the source-independent settings of a conversion and the
// tables chosen for it.
//
// Both front ends fill these settings (the agent from its options, the wizard
// from its pages and the settings store); the driver reads them during a run.
// The profile glue copies them to and from profile files. Settings are plain
// fields written by the front end before a run and read by the run's thread.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "date_text.hpp"
#include "tk_converter.hpp"
#include "udb_profile.hpp"
#include "udb_profile_keys.hpp"

// How an existing destination is treated.
enum conversion_mode : int {
  mode_overwrite_database = 0,
  mode_overwrite_tables = 1,
  mode_skip_tables = 2,
  mode_merge = 3,
};

// Opening flags of a destination database: tables are created in it (4), or
// existing tables are reused and loaded into (append, 8).
inline constexpr int dest_mode_create = 4;

// CSV delimiters by index: 0 tab, 1 ";", 2 ",", 3 space.
inline constexpr wchar_t csv_delimiters[] = {L'\t', L';', L',', L' '};
inline constexpr int csv_delimiter_count = 4;

class udb_converter : public tk_converter {
 public:
  udb_converter();
  ~udb_converter() override;

  virtual void set_silent(bool silent) { b_silent = silent; }
  // The delimiter of a CSV run: csv_delimiter_char, else the one n_comma
  // names; 0 when neither is set.
  wchar_t csv_delimiter() const;
  // One of the four named delimiters sets n_comma, any other character
  // csv_delimiter_char.
  void set_csv_delimiter(wchar_t delimiter);
  void set_mode(int mode);
  // Whether a query text can be run against the source; this system runs none.
  virtual bool is_query(const std::wstring& query) = 0;

  // Loads a profile file. Settings it carries override the current ones;
  // missing or empty keys leave them as they are. A file that is missing,
  // cannot be read, is too large or is not a profile raises tk_exception
  // (level 1) naming the file. A profile holding a password that group or
  // others may read loads with profile_warning set (the front end shows it).
  bool load_profile(const std::wstring& path);
  bool store_profile(const std::wstring& path);

  // Profile glue: the driver copies every layer's settings in and out.
  virtual bool load_profile(const udb_profile& profile) = 0;
  virtual bool store_profile(udb_profile& profile) = 0;

  // Set by the last load_profile(path): what the user should fix, or empty.
  std::string profile_warning;

  // Settings.
  std::wstring src;
  std::wstring dest;
  int mode = mode_overwrite_database;
  bool from_xls = true;
  bool x_fnames = false;
  int n_comma = -1;
  // A delimiter other than the four n_comma names; 0 when n_comma decides.
  wchar_t csv_delimiter_char = 0;
  // The character set of a CSV file and of the table list, an iconv name;
  // empty for the ANSI code page. A byte-order mark in the file wins.
  std::string encoding;
  bool refine_types = true;
  // How numeric dates that read in several orders throughout a column are
  // read; none leaves such a column text.
  date_order date_order_setting = date_order::none;
  std::wstring tab_name;
  // The password of an encrypted workbook (never traced).
  std::wstring src_pswd;
  bool b_silent = false;
  bool b_only_definitions = false;
  bool b_skip_indexes = false;

  // Selections: display name -> value (empty for a worksheet).
  std::map<std::wstring, std::wstring> selected;
  // Worksheet names from a profile's selected tables, in profile order.
  std::vector<std::wstring> pushed_back;
  // Carried through profiles only.
  std::map<std::wstring, std::wstring> available_queries;

 protected:
  // The settings in the profile layer's shape, and back.
  udb_profile_keys::settings to_profile_settings() const;
  void from_profile_settings(const udb_profile_keys::settings& from);
};

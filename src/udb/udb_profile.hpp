// udb_profile: a whole set of conversion settings as a profile file.
//
// A profile is an INI-like text file in the ANSI code page: "[section]" lines,
// then "key=value" lines, each section closed by an empty line, lines ended by
// CR LF. In memory it is an ordered map of sections, each an ordered map of
// key/value pairs; both are ordered by plain code-unit comparison (capitals
// before small letters) and looked up exactly, with case. The wizard stores
// profiles and both programs load them; the converter-side meaning of the keys
// lives in udb_profile_keys.hpp.
//
// Ownership: a value type; it owns its maps and nothing else.
// Thread-safety: none; use one profile from one thread at a time.
#pragma once

#include <map>
#include <string>

class udb_profile {
 public:
  using section = std::map<std::wstring, std::wstring>;
  using sections = std::map<std::wstring, section>;

  // The sections every profile starts with.
  static constexpr const wchar_t* available_queries = L"Available Queries";
  static constexpr const wchar_t* selected_tables = L"Selected Tables";
  static constexpr const wchar_t* generic_settings = L"Generic settings";

  // Longest line load() accepts, in bytes without its line end.
  static constexpr std::size_t max_line_bytes = 4095;
  // Largest file load() reads: a profile holds a few settings and a list of
  // worksheets, so anything larger is the wrong file.
  static constexpr long long max_file_bytes = 16LL * 1024 * 1024;

  // Holds the three sections above, empty.
  udb_profile();

  // Adds an empty section unless one of that name exists.
  void add_section(const std::wstring& name);

  // Adds the section when missing, then the pair; a key already present keeps
  // its first value.
  void set_value(const std::wstring& section_name, const std::wstring& key,
                 const std::wstring& value);

  // Empty when the section or the key is missing.
  std::wstring get_value(const std::wstring& section_name, const std::wstring& key) const;

  // The pairs of a section; a missing section raises tk_exception (every
  // profile starts with "Available Queries" and "Selected Tables").
  const section& get_section(const std::wstring& name) const;

  bool has_section(const std::wstring& name) const { return sections_.count(name) != 0; }
  const sections& all_sections() const { return sections_; }

  // Reads a profile file into this profile (pairs already present keep their
  // values). A pair before any section header returns false (the pairs read
  // so far stay): the file is not a profile. Raises tk_exception (level 1),
  // naming the file, when it does not exist, cannot be read (with the
  // system's reason), is larger than max_file_bytes or has a line longer than
  // max_line_bytes.
  bool load(const std::wstring& path);

  // Writes the profile (created or truncated). A profile that holds a password
  // is written with mode 0600, since the format keeps it in plain text.
  // Returns false when the file could not be opened or written; nothing else
  // is reported.
  bool store(const std::wstring& path) const;

  // The file text store() writes, in the ANSI code page.
  std::string to_text() const;

 private:
  bool holds_password() const;

  sections sections_;
};

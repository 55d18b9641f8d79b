// tk_reg_key: the wizard's settings store, in place of a registry key.
//
// Keys and their typed values (32-bit integers, strings) live in one text file,
// $XDG_CONFIG_HOME/Quorvane/Tessaly.conf (~/.config when unset), one
// "[key path]" section per key, "name=dword:N" or "name=sz:text" per value,
// in UTF-8 with \\, \r and \n escaped. The file may hold a password, so it is
// written with mode 0600, always whole, through a temporary file and a
// rename: a crash never leaves it half-written.
//
// Results are system error codes: 0 success, tk_reg_not_found for a missing
// value, an errno value when the file cannot be written. Not thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

enum class tk_reg_root { current_user };

inline constexpr long tk_reg_ok = 0;
inline constexpr long tk_reg_not_found = 2;      // ERROR_FILE_NOT_FOUND
inline constexpr long tk_reg_invalid_handle = 6; // ERROR_INVALID_HANDLE
inline constexpr long tk_reg_bad_type = 13;      // ERROR_INVALID_DATA

class tk_reg_key final {
 public:
  tk_reg_key() = default;
  ~tk_reg_key() { close(); }
  tk_reg_key(const tk_reg_key&) = delete;
  tk_reg_key& operator=(const tk_reg_key&) = delete;

  // Opens the key, creating it when missing; closes the previous key first.
  long open(tk_reg_root root, const std::string& sub_key);
  void close();
  bool is_open() const { return open_; }

  long get_value(std::uint32_t& value, const std::string& name);
  long get_value(std::wstring& value, const std::string& name);
  long set_value(const std::string& name, std::uint32_t value);
  long set_value(const std::string& name, const std::wstring& value);

  // Store when b_store is true, load otherwise; false when no key is open or
  // the call fails. Loading a missing or empty string leaves it unchanged.
  bool exchange(bool b_store, const std::string& name, int& value);
  bool exchange(bool b_store, const std::string& name, bool& value);
  bool exchange(bool b_store, const std::string& name, std::wstring& value);

  // Where the settings live now.
  static std::string settings_path();

 private:
  using section = std::map<std::string, std::string>;  // name -> "dword:N" / "sz:text"
  using sections = std::map<std::string, section>;

  std::optional<std::string> read_raw(const std::string& name) const;
  long write_raw(const std::string& name, const std::string& raw);
  static sections load_file(const std::string& path);
  static long save_file(const std::string& path, const sections& all);

  bool open_ = false;
  std::string key_path_;
};

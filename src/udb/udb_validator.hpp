// udb_validator: turns source names into names a destination accepts.
//
// A validator knows the destination's rules for one kind of name (a maximum
// length, characters that may not appear, reserved words) and the names that
// are already taken, and generates a safe replacement for a name that breaks a
// rule or collides: the name cut and cleaned, then, when still unusable, a stem
// followed by a five-digit counter (name00000, name00001, ...).
//
// The three checks are virtual so that a destination can replace the rules
// (see mss_validator); get_safe_name always asks the object's own overrides.
// The validator never records the names it hands out: the caller registers the
// name it actually uses with add_taken_name (and add_generated_name when it
// came from get_safe_name).
//
// Owns its lists. Not thread-safe: one conversion step uses one validator.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class udb_validator {
 public:
  // max_length 0 means no length limit.
  explicit udb_validator(std::size_t max_length = 0);
  virtual ~udb_validator() = default;

  udb_validator(const udb_validator&) = delete;
  udb_validator& operator=(const udb_validator&) = delete;

  virtual bool is_acceptable(const std::wstring& name);
  virtual bool is_duplicated(const std::wstring& name);
  virtual std::wstring get_safe_name(const std::wstring& name);

  // Configuration; the lists keep the order of the calls.
  void add_forbidden_char(wchar_t c) { forbidden_chars_.push_back(c); }
  void add_reserved_name(const std::wstring& name) { reserved_names_.push_back(name); }

  // Bookkeeping of the names in use.
  void add_taken_name(const std::wstring& name) { taken_names_.push_back(name); }
  void add_generated_name(const std::wstring& name) { generated_names_.push_back(name); }

  std::size_t max_length() const { return max_length_; }
  const std::vector<wchar_t>& forbidden_chars() const { return forbidden_chars_; }
  const std::vector<std::wstring>& reserved_names() const { return reserved_names_; }
  const std::vector<std::wstring>& taken_names() const { return taken_names_; }
  const std::vector<std::wstring>& generated_names() const { return generated_names_; }

  // Number of counter values get_safe_name tries before it gives up.
  static constexpr int max_suffix_attempts = 100000;

 private:
  std::size_t max_length_;
  std::vector<wchar_t> forbidden_chars_;
  std::vector<std::wstring> reserved_names_;
  std::vector<std::wstring> taken_names_;
  std::vector<std::wstring> generated_names_;
};

// t_names_map: which source name became which destination name.
//
// An ordered list of (source, destination) pairs. A lookup walks the pairs in
// the order they were added and returns the destination name of the first
// pair whose source name matches, exactly or ignoring case; a name that was
// never mapped maps to itself. A name may be added twice: the first pair wins.
//
// Value type, owns its strings. Not thread-safe.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

class t_names_map {
 public:
  void add(const std::wstring& source, const std::wstring& destination);

  // The destination name of source; the name itself when it is not mapped.
  std::wstring get_mapped_name(const std::wstring& name, bool exact) const;

  std::size_t size() const { return pairs_.size(); }
  const std::pair<std::wstring, std::wstring>& at(std::size_t i) const { return pairs_.at(i); }

 private:
  friend class udb_names_map;
  std::wstring find(const std::wstring& name, bool exact) const;

  std::vector<std::pair<std::wstring, std::wstring>> pairs_;
};

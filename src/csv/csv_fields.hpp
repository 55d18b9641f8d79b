// csv_fields: the fields of one CSV record, as the reader cut them.
//
// All field texts sit one after another in one buffer, with the end of each,
// so that a record costs no allocation per field once the buffers have grown
// to the longest record; field(i) is a view into that buffer, valid until the
// fields are read into again. Value type; not thread-safe.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct csv_fields {
  std::wstring text;              // every field's characters, in order
  std::vector<std::size_t> ends;  // where each field ends in `text`

  std::size_t count() const { return ends.size(); }
  std::wstring_view field(std::size_t i) const {
    const std::size_t begin = i == 0 ? 0 : ends[i - 1];
    return std::wstring_view(text).substr(begin, ends[i] - begin);
  }
  void clear() {
    text.clear();
    ends.clear();
  }
};

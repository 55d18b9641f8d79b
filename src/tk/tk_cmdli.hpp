// tk_cmdli: a cursor over a program's arguments that matches each one against
// a table of option prefixes.
//
// The first table entry whose prefix begins the argument wins (case-sensitive,
// no separator required); its identifier is the current id and the rest of the
// argument the current value. An argument that matches no prefix gets id -1
// and is kept in the unrecognised list. The table ends with an empty prefix.
// The cursor does not own the table or the arguments; both must outlive it.
#pragma once

#include <string>
#include <vector>

struct tk_cmd_option {
  int id;
  const char* prefix;
};

class tk_cmdli {
 public:
  static constexpr int unrecognised_id = -1;
  static constexpr std::size_t max_unrecognised = 20;

  // Positions the cursor on argv[1], if there is one.
  tk_cmdli(int argc, const char* const* argv, const tk_cmd_option* options);

  bool has_more() const { return left_ > 0; }
  int id() const;
  const std::string& value() const;
  void next();

  // Unrecognised arguments seen so far. Only the first max_unrecognised are
  // kept; the count goes on past that.
  const std::vector<std::string>& unrecognised() const { return unrecognised_; }
  int unrecognised_count() const { return unrecognised_count_; }

 private:
  void parse_current();

  const tk_cmd_option* options_;
  const char* const* cursor_;
  int left_;
  int id_ = unrecognised_id;
  std::string value_;
  std::vector<std::string> unrecognised_;
  int unrecognised_count_ = 0;
};

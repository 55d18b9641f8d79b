#include "tk_cmdli.hpp"

#include <cstring>

#include "tk_mail_assertion.hpp"

tk_cmdli::tk_cmdli(int argc, const char* const* argv, const tk_cmd_option* options)
    : options_(options), cursor_(argv + 1), left_(argc > 0 ? argc - 1 : 0) {
  TK_ASSERT(options_ != nullptr);
  TK_ASSERT(argv != nullptr || argc == 0);
  if (has_more()) parse_current();
}

int tk_cmdli::id() const {
  TK_ASSERT(has_more());
  return id_;
}

const std::string& tk_cmdli::value() const {
  TK_ASSERT(has_more());
  return value_;
}

void tk_cmdli::next() {
  TK_ASSERT(has_more());
  ++cursor_;
  --left_;
  if (has_more()) parse_current();
}

void tk_cmdli::parse_current() {
  const char* argument = *cursor_ ? *cursor_ : "";
  for (const tk_cmd_option* option = options_;; ++option) {
    const std::size_t length = std::strlen(option->prefix);
    if (length == 0) break;  // the table's end: nothing matched
    if (std::strncmp(argument, option->prefix, length) == 0) {
      id_ = option->id;
      value_ = argument + length;
      return;
    }
  }
  id_ = unrecognised_id;
  value_.clear();
  if (unrecognised_.size() < max_unrecognised) unrecognised_.emplace_back(argument);
  ++unrecognised_count_;
}

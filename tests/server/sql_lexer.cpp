// The T-SQL tokenizer: names, literals, operators, comments.
#include "sql_parser.hpp"

#include <cctype>

#include "tds_text.hpp"

namespace tds::sql {
namespace {

[[noreturn]] void syntax_error(std::string_view near) {
  throw sql_error(102, 15, 1, "Incorrect syntax near '" + std::string(near) + "'.");
}

bool is_ident_start(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '#' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool is_ident_char(char c) {
  return is_ident_start(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '$' || c == '@';
}

}  // namespace

void check_identifier_length(std::string_view name) {
  if (utf16_length(name) <= k_max_identifier) return;
  throw sql_error(103, 15, 4,
                  "The identifier that starts with '" +
                      utf8_prefix_units(name, k_max_identifier, true) +
                      "' is too long. Maximum length is " + std::to_string(k_max_identifier) + ".");
}

std::string object_name::text() const {
  std::string out;
  if (!database.empty()) out += database + ".";
  if (!schema.empty() || !database.empty()) out += schema + ".";
  return out + name;
}

std::vector<tok> tokenize(std::string_view s) {
  std::vector<tok> out;
  size_t p = 0;
  while (p < s.size()) {
    char c = s[p];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++p;
      continue;
    }
    if (c == '-' && p + 1 < s.size() && s[p + 1] == '-') {
      while (p < s.size() && s[p] != '\n') ++p;
      continue;
    }
    if (c == '/' && p + 1 < s.size() && s[p + 1] == '*') {
      int depth = 0;
      while (p < s.size()) {
        if (s.compare(p, 2, "/*") == 0) {
          ++depth;
          p += 2;
        } else if (s.compare(p, 2, "*/") == 0) {
          p += 2;
          if (--depth == 0) break;
        } else
          ++p;
      }
      if (depth != 0) throw sql_error(113, 15, 1, "Missing end comment mark '*/'.");
      continue;
    }
    tok t;
    t.begin = p;
    if ((c == 'N' || c == 'n') && p + 1 < s.size() && s[p + 1] == '\'') {
      t.kind = tok_kind::nstring;
      ++p;
      c = '\'';
    }
    if (c == '\'') {
      if (t.kind != tok_kind::nstring) t.kind = tok_kind::string;
      ++p;
      for (;;) {
        if (p >= s.size())
          throw sql_error(105, 15, 1,
                          "Unclosed quotation mark after the character string '" + t.text + "'.");
        if (s[p] == '\'') {
          if (p + 1 < s.size() && s[p + 1] == '\'') {
            t.text += '\'';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        t.text += s[p++];
      }
    } else if (c == '[') {
      t.kind = tok_kind::quoted_ident;
      ++p;
      for (;;) {
        if (p >= s.size())
          throw sql_error(105, 15, 1,
                          "Unclosed quotation mark after the character string '" + t.text + "'.");
        if (s[p] == ']') {
          if (p + 1 < s.size() && s[p + 1] == ']') {
            t.text += ']';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        t.text += s[p++];
      }
    } else if (c == '"') {
      t.kind = tok_kind::quoted_ident;
      t.double_quoted = true;
      ++p;
      for (;;) {
        if (p >= s.size())
          throw sql_error(105, 15, 1,
                          "Unclosed quotation mark after the character string '" + t.text + "'.");
        if (s[p] == '"') {
          if (p + 1 < s.size() && s[p + 1] == '"') {
            t.text += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        t.text += s[p++];
      }
    } else if (c == '0' && p + 1 < s.size() && (s[p + 1] == 'x' || s[p + 1] == 'X')) {
      t.kind = tok_kind::binary;
      p += 2;
      while (p < s.size() && std::isxdigit(static_cast<unsigned char>(s[p]))) t.text += s[p++];
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && p + 1 < s.size() &&
                std::isdigit(static_cast<unsigned char>(s[p + 1])))) {
      t.kind = tok_kind::number;
      while (p < s.size() && (std::isdigit(static_cast<unsigned char>(s[p])) || s[p] == '.'))
        t.text += s[p++];
      if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
        t.text += s[p++];
        if (p < s.size() && (s[p] == '+' || s[p] == '-')) t.text += s[p++];
        while (p < s.size() && std::isdigit(static_cast<unsigned char>(s[p]))) t.text += s[p++];
      }
    } else if (c == '@') {
      t.kind = tok_kind::variable;
      while (p < s.size() && (s[p] == '@' || is_ident_char(s[p]))) t.text += s[p++];
    } else if (is_ident_start(c)) {
      t.kind = tok_kind::ident;
      while (p < s.size() && is_ident_char(s[p])) t.text += s[p++];
    } else {
      t.kind = tok_kind::op;
      static const char* two[] = {"<>", "!=", "<=", ">=", "!<", "!>"};
      t.text = std::string(1, c);
      for (const char* op : two)
        if (s.compare(p, 2, op) == 0) t.text = op;
      if (std::string_view("(),.;*=<>+-/%!").find(c) == std::string_view::npos)
        syntax_error(t.text);
      p += t.text.size();
    }
    t.end = p;
    // A double-quoted token is a string unless QUOTED_IDENTIFIER is on: the parser checks it.
    if ((t.kind == tok_kind::ident || t.kind == tok_kind::quoted_ident) && !t.double_quoted)
      check_identifier_length(t.text);
    out.push_back(std::move(t));
  }
  tok e;
  e.begin = e.end = s.size();
  out.push_back(e);
  return out;
}

}  // namespace tds::sql

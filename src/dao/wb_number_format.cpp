#include "wb_number_format.hpp"

#include <cctype>

wb_format_class wb_number_format::builtin(unsigned id) {
  if (id == 46) return wb_format_class::duration;  // [h]:mm:ss
  if ((id >= 14 && id <= 22) || id == 45 || id == 47 || (id >= 27 && id <= 36) ||
      (id >= 50 && id <= 58))
    return wb_format_class::date;
  if ((id >= 5 && id <= 8) || id == 42 || id == 44) return wb_format_class::currency;
  return wb_format_class::plain;
}

namespace {
bool starts_with_nocase(std::string_view text, std::size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[at + i])) != word[i]) return false;
  return true;
}

bool has_currency_symbol(std::string_view text) {
  static constexpr std::string_view symbols[] = {
      "$", "\xE2\x82\xAC", "\xC2\xA3", "\xC2\xA5", "\xC2\xA4", "\xE2\x82\xBD", "\xE2\x82\xB9"};
  for (std::string_view s : symbols)
    if (text.find(s) != std::string_view::npos) return true;
  return false;
}
}  // namespace

wb_format_class wb_number_format::classify(std::string_view code) {
  bool currency = false;
  for (std::size_t i = 0; i < code.size(); ++i) {
    char c = code[i];
    switch (c) {
      case ';':  // only the first section (positive numbers) decides
        return currency ? wb_format_class::currency : wb_format_class::plain;
      case '"': {
        std::size_t end = code.find('"', i + 1);
        std::string_view literal = code.substr(
            i + 1, end == std::string_view::npos ? std::string_view::npos : end - i - 1);
        if (has_currency_symbol(literal)) currency = true;
        if (end == std::string_view::npos)
          return currency ? wb_format_class::currency : wb_format_class::plain;
        i = end;
        break;
      }
      case '\\':
      case '_':
      case '*':
        if (i + 1 < code.size()) {
          if (c == '\\' && code[i + 1] == '$') currency = true;
          ++i;
        }
        break;
      case '[': {
        std::size_t end = code.find(']', i + 1);
        if (end == std::string_view::npos) return wb_format_class::plain;
        std::string_view inside = code.substr(i + 1, end - i - 1);
        if (!inside.empty() && inside[0] == '$') {
          // [$<symbol>-<locale>]: a currency when a symbol precedes the locale.
          std::size_t dash = inside.find('-');
          if (dash == std::string_view::npos ? inside.size() > 1 : dash > 1) currency = true;
        } else if (!inside.empty()) {
          char k = static_cast<char>(std::tolower(static_cast<unsigned char>(inside[0])));
          bool elapsed = k == 'h' || k == 'm' || k == 's';
          for (char e : inside)
            if (std::tolower(static_cast<unsigned char>(e)) != k) elapsed = false;
          if (elapsed) return wb_format_class::duration;
        }
        i = end;
        break;
      }
      case '$':
        currency = true;
        break;
      default:
        if (starts_with_nocase(code, i, "general")) {
          i += 6;
          break;
        }
        switch (std::tolower(static_cast<unsigned char>(c))) {
          case 'd':
          case 'm':
          case 'y':
          case 'h':
          case 's':
            return wb_format_class::date;
          case 'a':
            if (starts_with_nocase(code, i, "am/pm") || starts_with_nocase(code, i, "a/p"))
              return wb_format_class::date;
            break;
          default:
            if (static_cast<unsigned char>(c) >= 0x80 && has_currency_symbol(code.substr(i, 3)))
              currency = true;
        }
    }
  }
  return currency ? wb_format_class::currency : wb_format_class::plain;
}

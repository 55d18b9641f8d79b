#include "tk_text.hpp"

#include <langinfo.h>
#include <wctype.h>

#include <clocale>
#include <cwctype>
#include <map>
#include <utility>

#include "tk_iconv.hpp"
#include "tk_trace.hpp"

namespace {

constexpr const char* wide_charset = "WCHAR_T";

std::string choose_ansi_charset() {
  // The program may not have called setlocale yet; read the user's locale
  // without disturbing the process-wide one.
  std::string charset;
  if (locale_t user = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0))) {
    charset = nl_langinfo_l(CODESET, user);
    freelocale(user);
  }
  if (charset.empty() || charset == "ANSI_X3.4-1968" || charset == "ASCII") charset = "UTF-8";
  return charset;
}

// iconv descriptors carry state, so each thread keeps its own.
tk_iconv& converter(const std::string& to, const std::string& from) {
  thread_local std::map<std::pair<std::string, std::string>, tk_iconv> cache;
  auto key = std::make_pair(to, from);
  auto it = cache.find(key);
  if (it == cache.end()) it = cache.emplace(key, tk_iconv(to, from)).first;
  return it->second;
}

template <class Char>
bool is_ascii(std::basic_string_view<Char> text) {
  for (Char c : text)
    if (static_cast<std::make_unsigned_t<Char>>(c) >= 0x80) return false;
  return true;
}

// UTF-16LE is what every text value bound for an nvarchar column becomes, so
// it is encoded here directly rather than through iconv's general machinery.
std::string to_utf16le(std::wstring_view text) {
  std::string out(text.size() * 4, '\0');  // room for a surrogate pair each
  char* at = out.data();
  auto unit = [&at](std::uint32_t u) {
    *at++ = static_cast<char>(u & 0xFF);
    *at++ = static_cast<char>(u >> 8);
  };
  for (wchar_t c : text) {
    auto code = static_cast<std::uint32_t>(c);
    if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) code = 0xFFFD;
    if (code < 0x10000) {
      unit(code);
    } else {
      code -= 0x10000;
      unit(0xD800 + (code >> 10));
      unit(0xDC00 + (code & 0x3FF));
    }
  }
  out.resize(static_cast<std::size_t>(at - out.data()));
  return out;
}

std::string wide_to(std::wstring_view text, const std::string& charset, bool ascii_compatible) {
  if (ascii_compatible && is_ascii(text)) return std::string(text.begin(), text.end());
  if (charset == "UTF-16LE") return to_utf16le(text);
  std::string_view bytes(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  return converter(charset, wide_charset).convert(bytes);
}

std::wstring wide_from(std::string_view bytes, const std::string& charset, bool ascii_compatible) {
  if (ascii_compatible && is_ascii(bytes)) return std::wstring(bytes.begin(), bytes.end());
  const std::string wide = converter(wide_charset, charset).convert(bytes);
  return std::wstring(reinterpret_cast<const wchar_t*>(wide.data()), wide.size() / sizeof(wchar_t));
}

template <class Char>
std::basic_string<Char> trim_left(std::basic_string_view<Char> text) {
  const auto first = text.find_first_not_of(Char(' '));
  return first == text.npos ? std::basic_string<Char>()
                            : std::basic_string<Char>(text.substr(first));
}

template <class Char>
std::basic_string<Char> trim_right(std::basic_string_view<Char> text) {
  const auto last = text.find_last_not_of(Char(' '));
  if (last == text.npos) {
    if (!text.empty()) tk_trace(1, "Special processing for all-spaces-string");
    return {};
  }
  return std::basic_string<Char>(text.substr(0, last + 1));
}

}  // namespace

const std::string& tk_ansi_charset() {
  static const std::string charset = choose_ansi_charset();
  return charset;
}

std::string tk_w2a(std::wstring_view text) { return wide_to(text, tk_ansi_charset(), true); }
std::wstring tk_a2w(std::string_view text) { return wide_from(text, tk_ansi_charset(), true); }
std::string tk_w2utf8(std::wstring_view text) { return wide_to(text, "UTF-8", true); }
std::wstring tk_utf82w(std::string_view text) { return wide_from(text, "UTF-8", true); }

std::string tk_w2charset(std::wstring_view text, const std::string& charset) {
  return wide_to(text, charset, false);
}

std::wstring tk_charset2w(std::string_view bytes, const std::string& charset) {
  return wide_from(bytes, charset, false);
}

std::string tk_trim_left(std::string_view text) { return trim_left(text); }
std::string tk_trim_right(std::string_view text) { return trim_right(text); }
std::string tk_trim(std::string_view text) { return tk_trim_right(tk_trim_left(text)); }
std::wstring tk_trim_left(std::wstring_view text) { return trim_left(text); }
std::wstring tk_trim_right(std::wstring_view text) { return trim_right(text); }
std::wstring tk_trim(std::wstring_view text) { return tk_trim_right(tk_trim_left(text)); }

std::string tk_hex_encode(const std::uint8_t* bytes, std::size_t count) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    hex += digits[bytes[i] >> 4];
    hex += digits[bytes[i] & 0x0F];
  }
  return hex;
}

locale_t tk_unicode_ctype() {
  static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return unicode;
}

namespace {

wint_t fold(wchar_t c) {
  const auto code = static_cast<wint_t>(c);
  if (code < 0x80) return code >= L'A' && code <= L'Z' ? code + (L'a' - L'A') : code;
  const locale_t unicode = tk_unicode_ctype();
  return unicode != static_cast<locale_t>(0) ? towlower_l(code, unicode) : std::towlower(code);
}

}  // namespace

std::wstring tk_to_lower(std::wstring_view text) {
  std::wstring lower(text);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(fold(c));
  return lower;
}

int tk_compare_nocase(std::wstring_view a, std::wstring_view b) {
  if (a == b) return 0;  // the common case when a row's names match its table's
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const wint_t x = fold(a[i]);
    const wint_t y = fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

#include "udb_profile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <system_error>

#include "tk_exception.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

constexpr const wchar_t* mssql_settings = L"MS SQL Server settings";

// Reads one line up to LF into `line`: the LF and a CR right before it are
// dropped, as a text-mode read of a CR LF file would. Text after a NUL byte is
// dropped, as it would be from a C string buffer. False at end of file when
// nothing was read; `b_too_long` is set, and false returned, for a line
// longer than the format allows (no profile Tessaly writes has one). The read
// never grows beyond that limit.
bool read_line(std::streambuf& in, std::string& line, bool& b_too_long) {
  line.clear();
  bool any = false;
  bool nul_seen = false;
  std::size_t length = 0;  // bytes of the line, NULs and what follows included
  for (;;) {
    const int c = in.sbumpc();
    if (c == std::char_traits<char>::eof()) break;
    any = true;
    if (c == '\n') break;
    if (length == udb_profile::max_line_bytes) {
      // One more byte is allowed only when it is the CR of a CR LF end.
      if (c == '\r' && in.sgetc() == '\n') {
        in.sbumpc();
        return true;
      }
      b_too_long = true;
      return false;
    }
    ++length;
    if (c == '\0') nul_seen = true;
    if (!nul_seen) line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r' && length == line.size()) line.pop_back();
  return any;
}

// Passwords are kept out of the trace log, whatever its level.
bool is_secret(const std::wstring& key) { return key == L"password"; }

[[noreturn]] void throw_unreadable(const std::string& path, int error) {
  throw tk_exception(
      "Profile " + path + " cannot be read: " + std::generic_category().message(error) + ".",
      tk_level_run);
}

}  // namespace

udb_profile::udb_profile() {
  tk_trace(2, "udb_profile::ctor");
  add_section(available_queries);
  add_section(selected_tables);
  add_section(generic_settings);
}

void udb_profile::add_section(const std::wstring& name) {
  tk_trace(1, L"udb_profile::add_section(%ls)", name.c_str());
  sections_.try_emplace(name);
}

void udb_profile::set_value(const std::wstring& section_name, const std::wstring& key,
                            const std::wstring& value) {
  tk_trace(1, L"udb_profile::set_value(%ls, %ls, %ls)", section_name.c_str(), key.c_str(),
           is_secret(key) ? L"***" : value.c_str());
  sections_[section_name].try_emplace(key, value);
}

std::wstring udb_profile::get_value(const std::wstring& section_name,
                                    const std::wstring& key) const {
  tk_trace(1, L"udb_profile::get_value(%ls, %ls)", section_name.c_str(), key.c_str());
  const auto s = sections_.find(section_name);
  if (s == sections_.end()) return {};
  const auto v = s->second.find(key);
  return v == s->second.end() ? std::wstring() : v->second;
}

const udb_profile::section& udb_profile::get_section(const std::wstring& name) const {
  tk_trace(1, L"udb_profile::get_section(%ls)", name.c_str());
  const auto s = sections_.find(name);
  if (s == sections_.end())
    throw tk_exception(L"Profile section '" + name + L"' is missing", tk_level_run);
  return s->second;
}

bool udb_profile::load(const std::wstring& path) {
  tk_trace(2, L"udb_profile::load(%ls)", path.c_str());
  const std::string narrow = tk_w2a(path);
  // Missing and unreadable are told apart: "does not exist" for a file that
  // is there but denied sends the user looking in the wrong place.
  struct stat info {};
  if (::stat(narrow.c_str(), &info) != 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR)
      throw tk_exception(
          "Profile " + narrow + " does not exist. Please verify the correct path/name was given.",
          tk_level_run);
    throw_unreadable(narrow, error);
  }
  if (S_ISDIR(info.st_mode)) throw_unreadable(narrow, EISDIR);
  if (info.st_size > max_file_bytes)
    throw tk_exception("Profile " + narrow + " is " + std::to_string(info.st_size / (1024 * 1024)) +
                           " MB; a profile holds a few settings and is never larger than 16 MB. "
                           "Please verify the correct path/name was given.",
                       tk_level_run);
  std::ifstream file(narrow, std::ios::in | std::ios::binary);
  if (!file.is_open()) throw_unreadable(narrow, errno);

  std::string raw;
  section* current = nullptr;
  bool b_too_long = false;
  long line_number = 0;
  while (read_line(*file.rdbuf(), raw, b_too_long)) {
    ++line_number;
    const std::wstring text = tk_trim(tk_a2w(raw));
    if (text.empty()) continue;
    if (text.size() >= 2 && text.front() == L'[' && text.back() == L']') {
      current = &sections_[text.substr(1, text.size() - 2)];
      continue;
    }
    if (!current) {
      tk_trace(2, "udb_profile::load - a pair before any section");
      return false;
    }
    const auto eq = text.find(L'=');
    if (eq == std::wstring::npos)
      current->try_emplace(text, std::wstring());
    else
      current->try_emplace(tk_trim(std::wstring_view(text).substr(0, eq)), text.substr(eq + 1));
  }
  if (b_too_long)
    throw tk_exception("Line " + std::to_string(line_number + 1) + " of profile " + narrow +
                           " is longer than " + std::to_string(max_line_bytes) +
                           " bytes, which no profile has. Please verify the correct path/name "
                           "was given.",
                       tk_level_run);
  return true;
}

bool udb_profile::holds_password() const {
  // The server's password, or an encrypted workbook's.
  for (const wchar_t* section : {mssql_settings, L"MS Excel settings"}) {
    const auto s = sections_.find(section);
    if (s == sections_.end()) continue;
    const auto v = s->second.find(L"password");
    if (v != s->second.end() && !v->second.empty()) return true;
  }
  return false;
}

std::string udb_profile::to_text() const {
  std::string text;
  for (const auto& [name, pairs] : sections_) {
    text += tk_w2a(L"[" + name + L"]");
    text += "\r\n";
    const bool keys_alone = name == selected_tables;
    for (const auto& [key, value] : pairs) {
      text += tk_w2a(keys_alone && value.empty() ? key : key + L"=" + value);
      text += "\r\n";
    }
    text += "\r\n";
  }
  return text;
}

bool udb_profile::store(const std::wstring& path) const {
  tk_trace(2, "udb_profile::store)");
  const std::string narrow = tk_w2a(path);
  const bool secret = holds_password();
  const int fd =
      ::open(narrow.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, secret ? 0600 : 0666);
  if (fd < 0) {
    tk_trace(2, "udb_profile::store - cannot open '%s' (errno %d)", narrow.c_str(), errno);
    return false;
  }
  // The password is kept in plain text: an existing file is narrowed to its
  // owner before anything is truncated or written.
  bool ok = !secret || ::fchmod(fd, 0600) == 0;
  ok = ok && ::ftruncate(fd, 0) == 0;
  if (ok) {
    const std::string text = to_text();
    std::size_t done = 0;
    while (ok && done < text.size()) {
      const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      if (ok) done += static_cast<std::size_t>(n);
    }
  }
  if (::close(fd) != 0) ok = false;
  if (!ok) tk_trace(2, "udb_profile::store - writing '%s' failed", narrow.c_str());
  return ok;
}

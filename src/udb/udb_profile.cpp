#include "udb_profile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "tk_exception.hpp"
#include "tk_file.hpp"
#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

constexpr const wchar_t* mssql_settings = L"MS SQL Server settings";

// Reads one line up to LF into `line`: the LF and a CR right before it are
// dropped, as a text-mode read of a CR LF file would. Text after a NUL byte is
// dropped, as it would be from a C string buffer. False at end of file when
// nothing was read. A line longer than the buffer allows is a programming
// limit of the format, hence the assertion; the read never grows beyond it.
bool read_line(std::streambuf& in, std::string& line) {
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
      TK_FAIL();
    }
    ++length;
    if (c == '\0') nul_seen = true;
    if (!nul_seen) line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r' && length == line.size()) line.pop_back();
  return any;
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
           value.c_str());
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
  if (!tk_is_file_exist(path, 0))
    throw tk_exception("Profile does not exist. Please verify the correct path/name was given.",
                       tk_level_run);
  std::ifstream file(tk_w2a(path), std::ios::in | std::ios::binary);
  if (!file.is_open()) return false;

  std::string raw;
  section* current = nullptr;
  while (read_line(*file.rdbuf(), raw)) {
    const std::wstring text = tk_trim(tk_a2w(raw));
    if (text.empty()) continue;
    if (text.size() >= 2 && text.front() == L'[' && text.back() == L']') {
      current = &sections_[text.substr(1, text.size() - 2)];
      continue;
    }
    if (!current) {
      tk_trace(2, L"udb_profile::load - pair '%ls' before any section", text.c_str());
      return false;
    }
    const auto eq = text.find(L'=');
    if (eq == std::wstring::npos)
      current->try_emplace(text, std::wstring());
    else
      current->try_emplace(tk_trim(std::wstring_view(text).substr(0, eq)), text.substr(eq + 1));
  }
  return true;
}

bool udb_profile::holds_password() const {
  const auto s = sections_.find(mssql_settings);
  if (s == sections_.end()) return false;
  const auto v = s->second.find(L"password");
  return v != s->second.end() && !v->second.empty();
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

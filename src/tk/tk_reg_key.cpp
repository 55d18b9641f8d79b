#include "tk_reg_key.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

std::string escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::string unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

bool write_all(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string tk_reg_key::settings_path() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (config && *config == '/') {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home ? home : "") + "/.config";
  }
  return base + "/Quorvane/Tessaly.conf";
}

long tk_reg_key::open(tk_reg_root root, const std::string& sub_key) {
  TK_ASSERT(root == tk_reg_root::current_user);
  close();
  key_path_ = sub_key;
  open_ = true;
  return tk_reg_ok;
}

void tk_reg_key::close() {
  open_ = false;
  key_path_.clear();
}

tk_reg_key::sections tk_reg_key::load_file(const std::string& path) {
  sections all;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  section* current = nullptr;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      current = &all[unescape(line.substr(1, line.size() - 2))];
    } else if (const auto eq = line.find('='); current && eq != std::string::npos) {
      current->emplace(unescape(line.substr(0, eq)), line.substr(eq + 1));
    }
  }
  return all;
}

long tk_reg_key::save_file(const std::string& path, const sections& all) {
  std::ostringstream text;
  for (const auto& [key, values] : all) {
    text << '[' << escape(key) << "]\n";
    for (const auto& [name, raw] : values) text << escape(name) << '=' << raw << '\n';
  }
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  const std::string temporary = path + ".tmp" + std::to_string(::getpid());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return errno;
  const bool written = write_all(fd, text.str()) && ::fchmod(fd, 0600) == 0 && ::fsync(fd) == 0;
  const int write_error = errno;
  ::close(fd);
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = written ? errno : write_error;
    ::unlink(temporary.c_str());
    return error ? error : EIO;
  }
  return tk_reg_ok;
}

std::optional<std::string> tk_reg_key::read_raw(const std::string& name) const {
  const sections all = load_file(settings_path());
  const auto key = all.find(key_path_);
  if (key == all.end()) return std::nullopt;
  const auto value = key->second.find(name);
  if (value == key->second.end()) return std::nullopt;
  return value->second;
}

long tk_reg_key::write_raw(const std::string& name, const std::string& raw) {
  TK_ASSERT(open_);
  // Read again right before writing, so values stored by another instance of
  // the program since this key was opened are kept.
  const std::string path = settings_path();
  sections all = load_file(path);
  all[key_path_][name] = raw;
  return save_file(path, all);
}

long tk_reg_key::get_value(std::uint32_t& value, const std::string& name) {
  tk_trace(2, "tk_reg_key::get_value(ulong, %s)", name.c_str());
  if (!open_) return tk_reg_invalid_handle;
  const auto raw = read_raw(name);
  if (!raw) return tk_reg_not_found;
  tk_trace(1, "type=%d, size=%d", raw->rfind("dword:", 0) == 0 ? 4 : 1, 4);
  if (raw->rfind("dword:", 0) != 0) return tk_reg_bad_type;
  value = static_cast<std::uint32_t>(std::strtoul(raw->c_str() + 6, nullptr, 10));
  return tk_reg_ok;
}

long tk_reg_key::get_value(std::wstring& value, const std::string& name) {
  tk_trace(2, "tk_reg_key::get_value(LPWSTR, %s)", name.c_str());
  if (!open_) return tk_reg_invalid_handle;
  const auto raw = read_raw(name);
  if (!raw) return tk_reg_not_found;
  if (raw->rfind("sz:", 0) != 0) return tk_reg_bad_type;
  value = tk_utf82w(unescape(raw->substr(3)));
  return tk_reg_ok;
}

long tk_reg_key::set_value(const std::string& name, std::uint32_t value) {
  return write_raw(name, "dword:" + std::to_string(value));
}

long tk_reg_key::set_value(const std::string& name, const std::wstring& value) {
  return write_raw(name, "sz:" + escape(tk_w2utf8(value)));
}

bool tk_reg_key::exchange(bool b_store, const std::string& name, int& value) {
  if (!open_) return false;
  if (b_store) return set_value(name, static_cast<std::uint32_t>(value)) == tk_reg_ok;
  std::uint32_t stored = 0;
  if (get_value(stored, name) != tk_reg_ok) return false;
  value = static_cast<int>(stored);
  return true;
}

bool tk_reg_key::exchange(bool b_store, const std::string& name, bool& value) {
  int number = value ? 1 : 0;
  if (!exchange(b_store, name, number)) return false;
  if (!b_store) value = number != 0;
  return true;
}

bool tk_reg_key::exchange(bool b_store, const std::string& name, std::wstring& value) {
  if (!open_) return false;
  if (b_store) return set_value(name, value) == tk_reg_ok;
  std::wstring stored;
  if (get_value(stored, name) != tk_reg_ok || stored.empty()) return false;
  value = stored;
  return true;
}

#include "tk_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <vector>

#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

bool tk_is_file_exist(const std::string& path, int mode) {
  tk_trace(1, "tk_is_file_exist(%s)", path.c_str());
  const int fd = ::open(path.c_str(), (mode == 1 ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY);
  bool ok = fd >= 0;
  if (ok) {
    struct stat info {};
    ok = ::fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode) &&
         (mode != 1 || (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0);
    ::close(fd);
  }
  if (!ok) tk_trace(1, "File not exists!");
  return ok;
}

bool tk_is_file_exist(const std::wstring& path, int mode) {
  return tk_is_file_exist(tk_w2a(path), mode);
}

bool tk_is_path_exist(const std::string& folder) {
  tk_trace(1, "tk_is_path_exist(%s)", folder.c_str());
  struct stat info {};
  return !folder.empty() && ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         ::access(folder.c_str(), X_OK) == 0;
}

bool tk_is_path_exist(const std::wstring& folder) { return tk_is_path_exist(tk_w2a(folder)); }

std::string tk_program_path() {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  TK_ASSERT(n > 0);
  return std::string(buffer.data(), static_cast<std::size_t>(n));
}

std::wstring tk_program_wpath() { return tk_a2w(tk_program_path()); }

tk_cur_dir_keeper::tk_cur_dir_keeper(const std::string& folder) {
  std::vector<char> buffer(PATH_MAX + 1);
  if (::getcwd(buffer.data(), buffer.size())) previous_ = buffer.data();
  b_changed_ = !previous_.empty() && ::chdir(folder.c_str()) == 0;
}

tk_cur_dir_keeper::~tk_cur_dir_keeper() {
  if (b_changed_ && ::chdir(previous_.c_str()) != 0) tk_trace(2, "Failed to restore the current folder");
}

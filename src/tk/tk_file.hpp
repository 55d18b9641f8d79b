// Files, folders and the program's own path.
//
// These helpers report failures of the system calls by their return value, as
// the callers (log-file checks, option checks) decide what a failure means.
#pragma once

#include <string>

// mode 0: the file exists and can be opened for reading.
// mode 1: it can also be opened for writing. A file without any write
// permission bit counts as read-only even for root, who could write it anyway:
// users mark a file read-only to keep Tessaly from overwriting it.
bool tk_is_file_exist(const std::string& path, int mode);
bool tk_is_file_exist(const std::wstring& path, int mode);

// True when the folder exists and the process may enter it. Unlike changing
// the current folder and back, this leaves other threads undisturbed.
bool tk_is_path_exist(const std::string& folder);
bool tk_is_path_exist(const std::wstring& folder);

// Full path of the running program (/proc/self/exe).
std::string tk_program_path();
std::wstring tk_program_wpath();

// Changes the current folder for the keeper's lifetime and restores it after.
class tk_cur_dir_keeper final {
 public:
  explicit tk_cur_dir_keeper(const std::string& folder);
  ~tk_cur_dir_keeper();
  tk_cur_dir_keeper(const tk_cur_dir_keeper&) = delete;
  tk_cur_dir_keeper& operator=(const tk_cur_dir_keeper&) = delete;

  bool changed() const { return b_changed_; }

 private:
  std::string previous_;
  bool b_changed_ = false;
};

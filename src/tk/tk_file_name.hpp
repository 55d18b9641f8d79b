// tk_file_wname / tk_file_name: a path split into drive, folder, name and
// extension, and rebuilt from them.
//
// The drive is always empty on Linux; it is kept so that callers written for
// drive letters need no special case. The folder has a leading and a trailing
// separator; the extension keeps its leading ".".
#pragma once

#include <string>

template <class Char>
class tk_basic_file_name {
 public:
  using string = std::basic_string<Char>;

  // An empty path stands for the program's own path (extension left empty);
  // any other path is made absolute against the current folder.
  void initialize(const string& path);

  // Drive + folder: where the file lives.
  string folder() const { return drive_ + dir_; }
  // Drive + folder + name + extension.
  string full_path() const { return drive_ + dir_ + name_ + ext_; }
  // An empty text clears the extension; a missing leading "." is added.
  void set_extension(const string& ext);

  const string& name() const { return name_; }
  const string& drive() const { return drive_; }
  const string& extension() const { return ext_; }
  const string& dir() const { return dir_; }

 private:
  string name_;
  string drive_;
  string ext_;
  string dir_;
};

using tk_file_wname = tk_basic_file_name<wchar_t>;
using tk_file_name = tk_basic_file_name<char>;

extern template class tk_basic_file_name<char>;
extern template class tk_basic_file_name<wchar_t>;

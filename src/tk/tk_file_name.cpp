#include "tk_file_name.hpp"

#include <filesystem>

#include "tk_file.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

std::string to_narrow(const std::string& text) { return text; }
std::string to_narrow(const std::wstring& text) { return tk_w2a(text); }

template <class Char>
std::basic_string<Char> from_narrow(const std::string& text) {
  if constexpr (std::is_same_v<Char, char>) return text;
  else return tk_a2w(text);
}

}  // namespace

template <class Char>
void tk_basic_file_name<Char>::initialize(const string& path) {
  if constexpr (std::is_same_v<Char, char>) tk_trace(1, "tk_file_wname::initialize(%s)", path.c_str());
  else tk_trace(1, L"tk_file_wname::initialize(%ls)", path.c_str());

  namespace fs = std::filesystem;
  const bool own_path = path.empty();
  std::error_code error;
  fs::path absolute =
      fs::absolute(fs::path(own_path ? tk_program_path() : to_narrow(path)), error).lexically_normal();

  std::string dir = absolute.parent_path().string();
  if (dir.empty() || dir.back() != '/') dir += '/';
  std::string file = absolute.filename().string();
  std::string ext;
  if (!file.empty() && file != "." && file != "..") {
    ext = fs::path(file).extension().string();
    file = fs::path(file).stem().string();
  } else {
    file.clear();
  }
  if (own_path) ext.clear();

  drive_.clear();
  dir_ = from_narrow<Char>(dir);
  name_ = from_narrow<Char>(file);
  ext_ = from_narrow<Char>(ext);
}

template <class Char>
void tk_basic_file_name<Char>::set_extension(const string& ext) {
  if (ext.empty() || ext.front() == Char('.')) ext_ = ext;
  else ext_ = Char('.') + ext;
}

template class tk_basic_file_name<char>;
template class tk_basic_file_name<wchar_t>;

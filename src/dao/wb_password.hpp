// The passwords an encrypted workbook is tried with.
//
// Excel encrypts a workbook that is only write-protected with its built-in
// password "VelvetSweatshop", so that it opens without asking; that one is
// tried first and silently, then the password the user gave, if any. The
// password is never traced. Header-only; thread-safe.
#pragma once

#include <string>

inline constexpr const wchar_t* wb_builtin_password = L"VelvetSweatshop";

// `decryptor.open(password)` is true when the password fits.
template <typename Decryptor>
bool wb_open_with_password(Decryptor& decryptor, const std::wstring& password) {
  if (decryptor.open(wb_builtin_password)) return true;
  return !password.empty() && password != wb_builtin_password && decryptor.open(password);
}

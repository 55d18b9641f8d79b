// Services the desktop provides: the clipboard, a bug report by e-mail and
// the version of a shared library.
//
// The toolkit cannot reach the desktop itself; the wizard installs handlers
// for the clipboard and for mail. Without a handler the calls only trace.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// One bug report as the mail client should show it.
struct tk_bug_mail {
  std::string subject;        // "Bug report on " + the caller's subject
  std::string body;
  std::string received_date;  // local time, "%d/%d/%d %d:%d"
  std::string recipient;      // "mailto:" + the support address
};

using tk_clipboard_handler = std::function<bool(const std::wstring&)>;
using tk_mail_handler = std::function<int(const tk_bug_mail&)>;

void tk_set_clipboard_handler(tk_clipboard_handler handler);
void tk_set_mail_handler(tk_mail_handler handler);

// Puts the text on the clipboard; false when there is no handler or it fails.
bool tk_copy_to_clipboard2(const std::wstring& text);
// Hands a bug report to the user's mail client. The result is not reported.
void tk_send_bug(const std::string& subject, const std::string& body);

// The version record a library's DllGetVersion fills (size field first).
struct tk_dll_version_info {
  std::uint32_t size;
  std::uint32_t major;
  std::uint32_t minor;
  std::uint32_t build;
  std::uint32_t platform;
};

// major * 65536 + minor from the library's exported DllGetVersion, which
// returns 0 on success; 0 when the library or the function is missing.
std::uint32_t get_dll_version(const std::string& library);

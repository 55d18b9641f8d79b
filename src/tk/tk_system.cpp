#include "tk_system.hpp"

#include <dlfcn.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>

#include "tk_support.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

std::mutex handler_mutex;
tk_clipboard_handler clipboard_handler;
tk_mail_handler mail_handler;

struct library_closer {
  void operator()(void* handle) const { dlclose(handle); }
};

}  // namespace

void tk_set_clipboard_handler(tk_clipboard_handler handler) {
  std::lock_guard lock(handler_mutex);
  clipboard_handler = std::move(handler);
}

void tk_set_mail_handler(tk_mail_handler handler) {
  std::lock_guard lock(handler_mutex);
  mail_handler = std::move(handler);
}

bool tk_copy_to_clipboard2(const std::wstring& text) {
  tk_trace(2, L"tk_copy_to_clipboard2(%ls)", text.c_str());
  tk_clipboard_handler handler;
  {
    std::lock_guard lock(handler_mutex);
    handler = clipboard_handler;
  }
  if (!handler) return false;
  const bool ok = handler(text);
  tk_trace(1, ok ? "OpenClipboard succeeded" : "Clipboard is not available");
  return ok;
}

void tk_send_bug(const std::string& subject, const std::string& body) {
  tk_trace(2, "tk_send_bug(%s|%s)", subject.c_str(), body.c_str());
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  char date[64];
  std::snprintf(date, sizeof date, "%d/%d/%d %d:%d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min);
  const tk_bug_mail mail{"Bug report on " + subject, body, date,
                         std::string("mailto:") + TK_SUPPORT_EMAIL};
  tk_mail_handler handler;
  {
    std::lock_guard lock(handler_mutex);
    handler = mail_handler;
  }
  if (!handler) {
    tk_trace(2, "No mail client is available");
    return;
  }
  // Called outside the trace: a dropped trace line evaluates no argument.
  const int result = handler(mail);
  tk_trace(2, "The mail handler returned %d", result);
}

std::uint32_t get_dll_version(const std::string& library) {
  std::unique_ptr<void, library_closer> handle(dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!handle) {
    tk_trace(1, "get_dll_version failed to load DLL");
    return 0;
  }
  using get_version_fn = int (*)(tk_dll_version_info*);
  auto get_version = reinterpret_cast<get_version_fn>(dlsym(handle.get(), "DllGetVersion"));
  if (!get_version) {
    tk_trace(1, "get_dll_version failed to obtain DllGetVersion");
    return 0;
  }
  tk_dll_version_info info{};
  info.size = sizeof info;
  if (get_version(&info) != 0) return 0;
  return info.major * 65536 + info.minor;
}

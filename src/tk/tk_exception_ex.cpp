#include "tk_exception_ex.hpp"

#include <cerrno>
#include <cstring>

#include "tk_trace.hpp"

tk_exception_ex::tk_exception_ex() : tk_exception_ex(errno) {}

tk_exception_ex::tk_exception_ex(int error_number) : tk_exception(tk_level_run) {
  tk_trace(2, "tk_exception_ex::ctor");
  set_code(static_cast<std::uint32_t>(error_number));
  char buffer[256] = {};
  // GNU strerror_r may return a static string instead of filling the buffer.
  const char* text = error_number ? strerror_r(error_number, buffer, sizeof buffer) : nullptr;
  set_message(text ? text : "");
  tk_trace(2, "GetLastError: %s", what());
}

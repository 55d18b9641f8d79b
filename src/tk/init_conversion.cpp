#include "init_conversion.hpp"

#include <ctime>
#include <mutex>

#include "tk_trace.hpp"

namespace {

std::mutex hook_mutex;
std::function<void()>& start_hook() {
  static std::function<void()> hook;
  return hook;
}

void stamp(const char* format) {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  tk_trace(3, format, t.tm_mday, t.tm_mon + 1, t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
}

}  // namespace

init_conversion::init_conversion(std::atomic<bool>& finished, bool /*com_initialised*/)
    : finished_(finished) {
  tk_trace(2, "init_conversion::ctor");
  stamp("Conversion started on %02d/%02d/%04d at %02d:%02d:%02d\n");
  std::function<void()> hook;
  {
    std::lock_guard lock(hook_mutex);
    hook = start_hook();
  }
  if (hook) hook();
}

init_conversion::~init_conversion() {
  tk_trace(2, "init_conversion::dtor");
  stamp("Conversion ended on %02d/%02d/%04d at %02d:%02d:%02d\n");
  finished_ = true;
}

void init_conversion::set_start_hook(std::function<void()> hook) {
  std::lock_guard lock(hook_mutex);
  start_hook() = std::move(hook);
}

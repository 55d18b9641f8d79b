#include "tk_trace.hpp"

#include <cstdio>
#include <filesystem>
#include <cwchar>
#include <ctime>
#include <vector>

#include "tk_file.hpp"
#include "tk_text.hpp"

namespace {

constexpr std::size_t max_wide_line = 10240;
constexpr std::size_t max_utf8_line = 10240;

// Built without tracing: the log registers itself before its members exist.
std::string default_log_path() {
  return std::filesystem::path(tk_program_path()).replace_extension(".log").string();
}

// Formats a wide line, cut to max_wide_line - 1 characters.
std::wstring format_wide(const wchar_t* format, va_list args) {
  std::vector<wchar_t> buffer(max_wide_line);
  for (;;) {
    va_list copy;
    va_copy(copy, args);
    const int n = std::vswprintf(buffer.data(), buffer.size(), format, copy);
    va_end(copy);
    if (n >= 0) return std::wstring(buffer.data(), static_cast<std::size_t>(n)).substr(0, max_wide_line - 1);
    // -1: the text did not fit (or holds an encoding error). Grow a bounded
    // number of times, then keep what an oversized buffer holds.
    if (buffer.size() >= 64 * max_wide_line) {
      buffer.back() = L'\0';
      return std::wstring(buffer.data()).substr(0, max_wide_line - 1);
    }
    buffer.assign(buffer.size() * 4, L'\0');
  }
}

// Cuts UTF-8 text to at most max bytes without splitting a character.
std::string cut_utf8(std::string text, std::size_t max) {
  if (text.size() <= max) return text;
  std::size_t end = max;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

}  // namespace

tk_trace_log::tk_trace_log(std::string path, bool enabled, int threshold, bool time_stamps)
    : path_(path.empty() ? default_log_path() : std::move(path)),
      threshold_(threshold),
      enabled_(enabled),
      time_stamps_(time_stamps) {
  if (enabled_) {
    std::lock_guard lock(mutex_);
    prepare(threshold_);
    open_gate();
  }
}

tk_trace_log::~tk_trace_log() { tk_trace_detail::gate.store(INT_MAX, std::memory_order_relaxed); }

void tk_trace_log::enable(std::string path) {
  std::lock_guard lock(mutex_);
  path_ = std::move(path);
  enabled_ = true;
  open_gate();
}

void tk_trace_log::open_gate() {
  // Until the file has been emptied any line, even one below the threshold,
  // must come in to empty it.
  tk_trace_detail::gate.store(!enabled_ ? INT_MAX : emptied_ ? threshold_ : INT_MIN,
                              std::memory_order_relaxed);
}

bool tk_trace_log::enabled() const { return enabled_.load(std::memory_order_relaxed); }

bool tk_trace_log::prepare(int level) {
  if (!enabled_) return false;
  if (!emptied_) {
    if (std::FILE* file = std::fopen(path_.c_str(), "wb")) std::fclose(file);
    emptied_ = true;
    open_gate();
  }
  return level >= threshold_;
}

void tk_trace_log::append(const std::string& text) {
  std::FILE* file = std::fopen(path_.c_str(), "ab");
  if (!file) return;  // a lost line must not stop the run
  if (time_stamps_) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::fprintf(file, "%02d:%02d:%02d ", local.tm_hour, local.tm_min, local.tm_sec);
  }
  std::fwrite(text.data(), 1, text.size(), file);
  if (line_break_) std::fwrite("\r\n", 1, 2, file);
  std::fclose(file);
}

void tk_trace_log::write(int level, const char* format, va_list args) {
  std::lock_guard lock(mutex_);
  if (!prepare(level)) return;
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n < 0) return;
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<std::size_t>(n));
  append(text);
}

void tk_trace_log::write(int level, const wchar_t* format, va_list args) {
  std::lock_guard lock(mutex_);
  if (!prepare(level)) return;
  append(cut_utf8(tk_w2utf8(format_wide(format, args)), max_utf8_line));
}

void tk_trace_line(int level, const char* format, ...) {
  tk_trace_log* log = tk_trace_log::instance();
  if (!log || !format || !log->enabled()) return;
  va_list args;
  va_start(args, format);
  log->write(level, format, args);
  va_end(args);
}

void tk_trace_line(int level, const wchar_t* format, ...) {
  tk_trace_log* log = tk_trace_log::instance();
  if (!log || !format || !log->enabled()) return;
  va_list args;
  va_start(args, format);
  log->write(level, format, args);
  va_end(args);
}

// Captures the trace lines written while it lives, for tests that check which
// rule decided an outcome. Builds the process's trace log, so only one may
// exist at a time.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tk_trace.hpp"

class trace_capture {
 public:
  trace_capture()
      : path_((std::filesystem::temp_directory_path() /
               ("tessaly-udb-trace-" + std::to_string(::getpid()) + ".log"))
                  .string()),
        log_(path_, true, 1, false) {}
  ~trace_capture() { std::remove(path_.c_str()); }

  trace_capture(const trace_capture&) = delete;
  trace_capture& operator=(const trace_capture&) = delete;

  std::string text() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool has_line(const std::string& line) const {
    return ("\n" + text()).find("\n" + line + "\r\n") != std::string::npos;
  }

 private:
  std::string path_;
  tk_trace_log log_;
};

#include "tk_converter.hpp"

#include <chrono>
#include <thread>

#include "tk_exception.hpp"
#include "tk_file.hpp"
#include "tk_file_name.hpp"
#include "tk_trace.hpp"

tk_converter::tk_converter() { tk_trace(2, "tk_converter::ctor"); }

tk_converter::~tk_converter() = default;

void tk_converter::run() {
  while (!is_ready() && !stop_requested()) idle();
  if (!stop_requested()) work();
}

void tk_converter::idle() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

void tk_converter::set_logfile(const std::string& path) {
  tk_trace(1, "tk_convertor::set_logfile(%s)", path.c_str());
  if (!path.empty()) {
    if (tk_is_file_exist(path, 0) && !tk_is_file_exist(path, 1))
      throw tk_exception("Logfile name specifies an existing read-only file.", tk_level_run);
    tk_file_name name;
    name.initialize(path);
    if (!tk_is_path_exist(name.folder()))
      throw tk_exception("Logfile path does not exist.\nPlease verify the correct path was given.",
                         tk_level_run);
  }
  log_file_path_ = path;
  if (path.empty()) return;
  if (tk_trace_log* log = tk_trace_log::instance()) log->enable(path);
}

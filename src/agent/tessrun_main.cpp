// tessrun: runs one conversion from the command line, without a user
// interface. It reports on standard output and standard error and through its
// exit status: 0 when the run ended, 255 (-1) when it could not start or
// could not go on, 130 or 143 when SIGINT or SIGTERM stopped it.
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <exception>
#include <memory>

#include "error_handler.hpp"
#include "error_maps.hpp"
#include "tessaly_convertor.hpp"
#include "tessrun_front_end.hpp"
#include "tessrun_options.hpp"
#include "tessrun_signals.hpp"
#include "tk_trace.hpp"

namespace {

// The exit status of a run that has ended.
int status_of(const tessaly_convertor& conv) {
  switch (conv.outcome()) {
    case run_outcome::completed:
      return 0;
    case run_outcome::stopped:
      if (stop_signal() != 0) return 128 + stop_signal();
      return tessrun_exit_failed;
    default:
      return tessrun_exit_failed;
  }
}

// The exit status of a run.
int run(int argc, const char* const* argv, tessaly_convertor& conv, error_handler& handler,
        tessrun_front_end& front_end) {
  if (argc <= 1 || !parse_cmd_line(argc, argv)) exit_with_message(usage_text());
  front_end.enable_progress_line(
      tessrun_front_end::wants_progress_line(STDERR_FILENO, conv.b_silent));
  try {
    conv.mssql.connect_mssql_server();
  } catch (const tk_exception& e) {
    // A run that could not even connect has failed, whatever the level of
    // the server's message.
    handler.handle(e, true);
    return tessrun_exit_failed;
  }
  set_run_active(true);
  conv();
  set_run_active(false);
  return status_of(conv);
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  tk_trace_log trace_log("", false, 3, false);
  auto console = std::make_unique<tessrun_front_end>();
  tessrun_front_end& front_end = *console;
  error_handler handler(dao_error_map(), std::move(console));
  handler.load_err_map(odb_error_map());
  handler.load_err_map(workbook_error_map().first(2));
  int status = tessrun_exit_failed;
  {
    tessaly_convertor conv;
    install_stop_signals(conv);
    try {
      status = run(argc, argv, conv, handler, front_end);
    } catch (const tk_exception& e) {
      handler.handle(e, true);
      status = tessrun_exit_failed;
    } catch (const std::exception& e) {
      exit_with_message(e.what());
    }
  }
  std::fflush(stdout);
  return status;
}

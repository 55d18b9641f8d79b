// tessrun: runs one conversion from the command line, without a user
// interface. It reports on standard output and standard error and through its
// exit status: 0 when the run ended, 255 (-1) when it could not start or
// could not go on.
#include <clocale>
#include <cstdio>
#include <exception>
#include <memory>

#include "error_handler.hpp"
#include "error_maps.hpp"
#include "tessaly_convertor.hpp"
#include "tessrun_options.hpp"
#include "tk_trace.hpp"

namespace {

// The exit status of a run.
int run(int argc, const char* const* argv, tessaly_convertor& conv, error_handler& handler) {
  if (argc <= 1 || !parse_cmd_line(argc, argv)) exit_with_message(usage_text());
  try {
    conv.mssql.connect_mssql_server();
  } catch (const tk_exception& e) {
    // A run that could not even connect has failed, whatever the level of
    // the server's message.
    handler.handle(e, true);
    return tessrun_exit_failed;
  }
  conv();
  return conv.outcome() == run_outcome::completed ? 0 : tessrun_exit_failed;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  tk_trace_log trace_log("", false, 3, false);
  error_handler handler(dao_error_map());
  handler.load_err_map(odb_error_map());
  handler.load_err_map(workbook_error_map().first(2));
  int status = tessrun_exit_failed;
  {
    tessaly_convertor conv;
    try {
      status = run(argc, argv, conv, handler);
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

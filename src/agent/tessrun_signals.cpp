#include "tessrun_signals.hpp"

#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "tk_converter.hpp"

namespace {

std::atomic<tk_converter*> g_converter{nullptr};
std::atomic<bool> g_run_active{false};
std::atomic<int> g_signal{0};

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "a signal handler may use lock-free atomics only");

extern "C" void on_stop_signal(int signal_number) {
  tk_converter* converter = g_converter.load();
  const int earlier = g_signal.exchange(signal_number);
  if (earlier != 0 || !g_run_active.load() || !converter) _exit(128 + signal_number);
  converter->request_stop();
}

}  // namespace

void install_stop_signals(tk_converter& converter) {
  g_converter = &converter;
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  // Calls the server waits in are resumed: the stop is taken between records.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void set_run_active(bool b_active) { g_run_active = b_active; }

int stop_signal() { return g_signal.load(); }

#include "test_server.hpp"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

test_server::test_server(const std::vector<std::string>& options) {
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    std::vector<const char*> argv = {TDS_TEST_SERVER, "--port", "0"};
    for (const auto& o : options) argv.push_back(o.c_str());
    argv.push_back(nullptr);
    execv(argv[0], const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  close(out[1]);
  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  port_ = std::atoi(line.c_str());
  if (port_ <= 0) throw std::runtime_error("tds_test_server did not print its port");
}

test_server::~test_server() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
}

std::wstring test_server::address() const { return L"127.0.0.1," + std::to_wstring(port_); }

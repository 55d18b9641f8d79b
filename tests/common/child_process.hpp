// A built program running beside the test: the test reads its standard
// output as it comes, can signal it, and collects its exit status. Standard
// error goes to a pipe too, or to a pseudo-terminal when the test wants the
// program to believe it talks to a terminal.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

class child_process {
 public:
  // Starts program with args (argv[0] is the program) under the extra
  // environment; standard input from /dev/null.
  child_process(const std::string& program, const std::vector<std::string>& args,
                const std::vector<std::string>& env = {}, bool b_stderr_on_terminal = false) {
    int out[2];
    int err[2] = {-1, -1};
    int terminal = -1;
    int terminal_side = -1;
    if (pipe(out) != 0) return;
    if (b_stderr_on_terminal) {
      if (openpty(&terminal, &terminal_side, nullptr, nullptr, nullptr) != 0) return;
    } else if (pipe(err) != 0) {
      return;
    }
    std::vector<std::string> arguments{program};
    arguments.insert(arguments.end(), args.begin(), args.end());
    pid_ = fork();
    if (pid_ == 0) {
      const int in = open("/dev/null", O_RDONLY);
      dup2(in, 0);
      dup2(out[1], 1);
      dup2(b_stderr_on_terminal ? terminal_side : err[1], 2);
      for (const std::string& setting : env) putenv(const_cast<char*>(setting.c_str()));
      std::vector<char*> argv;
      for (std::string& a : arguments) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    out_ = out[0];
    if (b_stderr_on_terminal) {
      close(terminal_side);
      err_ = terminal;
    } else {
      close(err[1]);
      err_ = err[0];
    }
  }
  ~child_process() {
    if (pid_ > 0 && status_ < -1) {
      kill(pid_, SIGKILL);
      wait();
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
  }
  child_process(const child_process&) = delete;
  child_process& operator=(const child_process&) = delete;

  pid_t pid() const { return pid_; }
  void signal(int number) const { kill(pid_, number); }

  // Reads standard output until it holds `text` or `seconds` pass; true when
  // it does.
  bool wait_for_output(const std::string& text, int seconds = 60) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (out.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() >= deadline || !pump(100)) return false;
    }
    return true;
  }

  // Reads both streams to their end and returns the exit status (-1 when the
  // program did not exit normally).
  int wait() {
    while (pump(100)) {
    }
    if (status_ < -1) {
      int status = 0;
      waitpid(pid_, &status, 0);
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return status_;
  }

  std::string out;
  std::string err;

 private:
  // Reads what either stream has within `ms`; false once both have ended.
  bool pump(int ms) {
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (out_ < 0 && err_ < 0) return false;
    if (poll(fds, 2, ms) < 0) return false;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? out : err).append(buffer, static_cast<std::size_t>(n));
      } else {
        // End of the stream (a terminal reports EIO once the child is gone).
        close(fds[i].fd);
        (i == 0 ? out_ : err_) = -1;
      }
    }
    return out_ >= 0 || err_ >= 0;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  int status_ = -2;  // -2: not collected yet
};

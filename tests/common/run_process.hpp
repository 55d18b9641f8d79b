// Runs a built program as a child process and captures what it says.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct process_result {
  int status = -1;  // exit status, or -1 when the child did not exit normally
  std::string out;
  std::string err;
};

// Runs program with args (argv[0] is the program), standard input from
// /dev/null, under the given extra environment ("NAME=value").
inline process_result run_process(const std::string& program, const std::vector<std::string>& args,
                                  const std::vector<std::string>& env = {}) {
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / "tessaly-run-XXXXXX").string();
  const fs::path folder = mkdtemp(pattern.data());
  const std::string out_path = (folder / "out").string();
  const std::string err_path = (folder / "err").string();

  std::vector<std::string> arguments{program};
  arguments.insert(arguments.end(), args.begin(), args.end());

  const pid_t child = fork();
  if (child == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    for (const std::string& setting : env) putenv(const_cast<char*>(setting.c_str()));
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  process_result result;
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
    result.status = WEXITSTATUS(status);
  auto slurp = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  result.out = slurp(out_path);
  result.err = slurp(err_path);
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return result;
}

// An anonymous in-memory file holding the fuzz input, opened by path through
// /proc/self/fd so that readers that take a path can read it. Owns its
// descriptor.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

class memory_file {
 public:
  memory_file(const std::uint8_t* data, std::size_t size)
      : fd_(::memfd_create("fuzz-input", MFD_CLOEXEC)) {
    std::size_t done = 0;
    while (fd_ >= 0 && done < size) {
      const ssize_t n = ::write(fd_, data + done, size - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
  }
  ~memory_file() {
    if (fd_ >= 0) ::close(fd_);
  }
  memory_file(const memory_file&) = delete;
  memory_file& operator=(const memory_file&) = delete;

  bool ok() const { return fd_ >= 0; }
  std::wstring path() const {
    const std::string p = "/proc/self/fd/" + std::to_string(fd_);
    return std::wstring(p.begin(), p.end());
  }

 private:
  int fd_;
};

#include "wb_bytes.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "dao_exception.hpp"
#include "tk_trace.hpp"

wb_bytes wb_bytes::from_file(const std::string& path) {
  tk_trace(1, "wb_bytes::from_file(%s)", path.c_str());
  wb_bytes bytes;
  bytes.fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (bytes.fd_ < 0)
    throw dao_exception(dao_exception::not_a_workbook,
                        "Cannot open the workbook '" + path + "': " + std::strerror(errno),
                        tk_level_run);
  struct stat st {};
  if (::fstat(bytes.fd_, &st) != 0 || !S_ISREG(st.st_mode))
    throw dao_exception(dao_exception::not_a_workbook,
                        "The workbook '" + path + "' is not a regular file", tk_level_run);
  bytes.size_ = static_cast<std::uint64_t>(st.st_size);
  bytes.path_ = path;
  return bytes;
}

wb_bytes wb_bytes::from_buffer(std::vector<std::uint8_t> data) {
  wb_bytes bytes;
  bytes.size_ = data.size();
  bytes.buffer_ = std::move(data);
  return bytes;
}

wb_bytes::wb_bytes(wb_bytes&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      size_(std::exchange(other.size_, 0)),
      path_(std::move(other.path_)),
      buffer_(std::move(other.buffer_)) {}

wb_bytes& wb_bytes::operator=(wb_bytes&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    size_ = std::exchange(other.size_, 0);
    path_ = std::move(other.path_);
    buffer_ = std::move(other.buffer_);
  }
  return *this;
}

wb_bytes::~wb_bytes() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t wb_bytes::read_at(std::uint64_t offset, void* out, std::size_t count) const {
  if (offset >= size_ || count == 0) return 0;
  count = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
  if (fd_ < 0) {
    std::memcpy(out, buffer_.data() + offset, count);
    return count;
  }
  std::size_t done = 0;
  while (done < count) {
    ssize_t got = ::pread(fd_, static_cast<char*>(out) + done, count - done,
                          static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0)
      throw dao_exception(dao_exception::not_a_workbook,
                          "Cannot read the workbook '" + path_ + "': " + std::strerror(errno));
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

// wb_bytes: random access to the bytes of a workbook, a file or a buffer.
//
// The compound-file reader reads sectors where it needs them, so an .xls is
// never loaded whole; tests and fuzz targets hand the same readers a buffer.
// Owns the file descriptor (closed on destruction) or a copy of the buffer.
// Movable, not copyable. read_at is safe from several threads (pread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class wb_bytes final {
 public:
  // Raises dao_exception 3274 ("not a workbook") when the file cannot be opened.
  static wb_bytes from_file(const std::string& path);
  static wb_bytes from_buffer(std::vector<std::uint8_t> bytes);

  wb_bytes(wb_bytes&& other) noexcept;
  wb_bytes& operator=(wb_bytes&& other) noexcept;
  wb_bytes(const wb_bytes&) = delete;
  wb_bytes& operator=(const wb_bytes&) = delete;
  ~wb_bytes();

  std::uint64_t size() const { return size_; }
  // Reads up to `count` bytes at `offset`; the count actually read (short at
  // the end of the data). A failing read raises dao_exception 3274.
  std::size_t read_at(std::uint64_t offset, void* out, std::size_t count) const;

  const std::string& path() const { return path_; }  // empty for a buffer
  const std::vector<std::uint8_t>& buffer() const { return buffer_; }
  bool is_file() const { return fd_ >= 0; }

 private:
  wb_bytes() = default;

  int fd_ = -1;
  std::uint64_t size_ = 0;
  std::string path_;
  std::vector<std::uint8_t> buffer_;
};

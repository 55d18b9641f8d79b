// zip_archive: the entries of a zip file (an .xlsx package), read as streams.
//
// Owns the libzip archive handle (zip_t) and, for an archive opened from a
// buffer, the buffer the zip source reads. Entries are found by name ignoring
// letter case and with "\" taken as "/", since packages written by other
// programs do not always agree on either. An entry is read through
// zip_entry_stream, which owns its zip_file_t and never hands out more bytes
// than the caller's cap, whatever size the archive claims.
// Final, movable, not copyable. Not thread-safe: one reader at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct zip;
struct zip_file;

class wb_bytes;
class zip_entry_stream;

class zip_archive final {
 public:
  // Raises dao_exception 3274 when the bytes are not a readable zip archive.
  explicit zip_archive(const wb_bytes& bytes);
  ~zip_archive();
  zip_archive(zip_archive&& other) noexcept;
  zip_archive& operator=(zip_archive&& other) noexcept;
  zip_archive(const zip_archive&) = delete;
  zip_archive& operator=(const zip_archive&) = delete;

  // The entry's index, or nothing; `name` without a leading "/".
  std::optional<std::uint64_t> find(const std::string& name) const;
  // The entry's own name as stored.
  std::string entry_name(std::uint64_t index) const;
  bool has_entry(const std::string& name) const { return find(name).has_value(); }

  // Opens an entry; reading beyond `cap` uncompressed bytes raises
  // dao_exception 3274.
  zip_entry_stream open(std::uint64_t index, std::uint64_t cap) const;
  // Reads a whole entry (at most `cap` bytes) into memory.
  std::string read_all(std::uint64_t index, std::uint64_t cap) const;

  // Lower-case, "/"-separated form used for lookups.
  static std::string fold_name(const std::string& name);

 private:
  struct zip_closer {
    void operator()(zip* archive) const;
  };
  std::unique_ptr<std::vector<std::uint8_t>> buffer_;  // must outlive handle_
  std::unique_ptr<zip, zip_closer> handle_;
  std::map<std::string, std::uint64_t> names_;
};

class zip_entry_stream final {
 public:
  ~zip_entry_stream();
  zip_entry_stream(zip_entry_stream&& other) noexcept;
  zip_entry_stream& operator=(zip_entry_stream&& other) noexcept;
  zip_entry_stream(const zip_entry_stream&) = delete;
  zip_entry_stream& operator=(const zip_entry_stream&) = delete;

  // Up to `count` bytes; 0 at the end of the entry. A damaged entry (bad
  // data, wrong checksum) or one longer than the cap raises dao_exception.
  std::size_t read(void* out, std::size_t count);

 private:
  friend class zip_archive;
  zip_entry_stream(zip_file* file, std::uint64_t cap, std::string name);

  struct file_closer {
    void operator()(zip_file* file) const;
  };
  std::unique_ptr<zip_file, file_closer> file_;
  std::uint64_t cap_ = 0;
  std::uint64_t done_ = 0;
  std::string name_;
};

// cfb_reader: the streams of a compound file (the container of an .xls).
//
// Reads the header, the sector allocation tables (FAT, DIFAT, mini FAT) and
// the directory, and opens a top-level stream by name (ignoring case), such
// as "Workbook", "Book" or, in an encrypted .xlsx, "EncryptedPackage".
// Large streams are read sector by sector from the source; a stream kept in
// the mini stream is under 4 KB and read whole. Every sector number, chain
// and size is checked against the file: a loop, a chain that runs past the
// end or a size the chain cannot hold raises dao_exception 3274.
// Refers to the wb_bytes it was built on (which must outlive it and its
// streams). Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class wb_bytes;

class cfb_stream final {
 public:
  // A stream over bytes held in memory (a workbook stream handed over whole).
  static cfb_stream from_memory(std::vector<std::uint8_t> data);

  std::uint64_t size() const { return size_; }
  std::uint64_t tell() const { return pos_; }
  void seek(std::uint64_t pos) { pos_ = pos; }
  // Up to `count` bytes from the current position; fewer only at the end.
  std::size_t read(void* out, std::size_t count);

 private:
  friend class cfb_reader;
  const wb_bytes* bytes_ = nullptr;
  std::vector<std::uint32_t> chain_;  // sectors of a regular stream
  std::uint32_t sector_size_ = 512;
  // The data of a mini stream or of bytes handed over whole, shared by the
  // copies of the stream (each sheet of a decrypted workbook reads one).
  std::shared_ptr<const std::vector<std::uint8_t>> small_;
  bool b_small_ = false;
  std::uint64_t size_ = 0;
  std::uint64_t pos_ = 0;
};

class cfb_reader final {
 public:
  // The 8 bytes every compound file starts with.
  static bool has_signature(const wb_bytes& bytes);

  explicit cfb_reader(const wb_bytes& bytes);

  // Names of the top-level streams, as stored.
  const std::vector<std::wstring>& stream_names() const { return names_; }
  bool has_stream(const std::wstring& name) const;
  // Raises dao_exception 3274 when there is no such stream.
  cfb_stream open(const std::wstring& name) const;

 private:
  struct entry {
    std::wstring name;
    std::uint8_t type = 0;
    std::uint32_t left = 0, right = 0, child = 0;
    std::uint32_t start = 0;
    std::uint64_t size = 0;
  };
  std::vector<std::uint32_t> chain(std::uint32_t start, const std::vector<std::uint32_t>& table,
                                   std::uint64_t limit) const;
  std::vector<std::uint8_t> read_chain(const std::vector<std::uint32_t>& sectors) const;
  const entry* find(const std::wstring& name) const;

  const wb_bytes& bytes_;
  std::uint32_t sector_size_ = 512;
  std::uint32_t mini_size_ = 64;
  std::uint32_t mini_cutoff_ = 4096;
  std::uint64_t sector_count_ = 0;  // sectors the file holds
  std::vector<std::uint32_t> fat_;
  std::vector<std::uint32_t> mini_fat_;
  std::vector<entry> entries_;
  std::vector<std::uint32_t> top_;  // top-level entries
  std::vector<std::wstring> names_;
  std::vector<std::uint32_t> mini_chain_;  // sectors of the mini stream container
};

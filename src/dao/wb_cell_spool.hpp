// wb_cell_spool: the cells of one typing pass, kept for the reading pass.
//
// The typing pass has to see every cell before the first record can be
// typed; keeping what it decoded spares the reading pass a second
// decompression and XML parse. Cells are stored compactly in memory up to a
// fixed budget and in an anonymous temporary file beyond it, so memory stays
// flat however large the sheet. Any number of readers can replay the cells
// independently, in the order they were appended. A shared string is kept
// as its place in the workbook's table, so the workbook must outlive the
// spool (as it outlives its tables).
// Owns its buffer and file. Not copyable. Appending is not thread-safe;
// readers made after finish() only read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "wb_cell_stream.hpp"

class wb_cell_spool final {
 public:
  // `memory_budget`: bytes kept in memory before the cells go to a file.
  explicit wb_cell_spool(std::size_t memory_budget = 8u << 20);
  wb_cell_spool(const wb_cell_spool&) = delete;
  wb_cell_spool& operator=(const wb_cell_spool&) = delete;

  void append(const wb_cell& cell);
  // Ends the appending; raises dao_exception when the file cannot be written.
  void finish();
  // A stream over the cells appended so far (after finish()).
  std::unique_ptr<wb_cell_stream> replay() const;
  bool spilled() const { return file_ != nullptr; }

 private:
  friend class wb_spool_stream;
  struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  void flush();

  std::size_t budget_;
  std::vector<std::uint8_t> buffer_;  // everything (in memory) or the unwritten tail
  std::unique_ptr<std::FILE, file_closer> file_;
  std::uint64_t file_size_ = 0;
  bool b_any_ = false;  // a cell has been appended; its place follows
  std::uint32_t last_row_ = 0;
  std::uint32_t last_col_ = 0;
};

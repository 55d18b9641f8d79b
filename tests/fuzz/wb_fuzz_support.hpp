// Shared pieces of the workbook-reader fuzz targets: a stored (uncompressed)
// zip writer, so that a target can wrap its input as one part of an .xlsx
// package, and a reader that drains every table of a workbook while
// checking what must hold for any input.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "dao_exception.hpp"
#include "fuzz_check.hpp"
#include "wb_table.hpp"
#include "wb_workbook.hpp"

inline std::uint32_t wb_fuzz_crc32(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// A zip archive of the given (name, content) entries, stored uncompressed.
inline std::vector<std::uint8_t> wb_fuzz_zip(
    const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string out, central;
  auto u16 = [](std::string& s, std::uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
  };
  auto u32 = [&](std::string& s, std::uint32_t v) {
    u16(s, static_cast<std::uint16_t>(v & 0xFFFF));
    u16(s, static_cast<std::uint16_t>(v >> 16));
  };
  for (const auto& [name, data] : entries) {
    std::uint32_t offset = static_cast<std::uint32_t>(out.size());
    std::uint32_t crc = wb_fuzz_crc32(data);
    out += "PK\x03\x04";
    u16(out, 20);
    u16(out, 0);
    u16(out, 0);  // stored
    u16(out, 0);
    u16(out, 0);
    u32(out, crc);
    u32(out, static_cast<std::uint32_t>(data.size()));
    u32(out, static_cast<std::uint32_t>(data.size()));
    u16(out, static_cast<std::uint16_t>(name.size()));
    u16(out, 0);
    out += name + data;
    central += "PK\x01\x02";
    u16(central, 20);
    u16(central, 20);
    u16(central, 0);
    u16(central, 0);
    u16(central, 0);
    u16(central, 0);
    u32(central, crc);
    u32(central, static_cast<std::uint32_t>(data.size()));
    u32(central, static_cast<std::uint32_t>(data.size()));
    u16(central, static_cast<std::uint16_t>(name.size()));
    u16(central, 0);
    u16(central, 0);
    u16(central, 0);
    u16(central, 0);
    u32(central, 0);
    u32(central, offset);
    central += name;
  }
  std::uint32_t central_offset = static_cast<std::uint32_t>(out.size());
  out += central;
  out += "PK\x05\x06";
  u16(out, 0);
  u16(out, 0);
  u16(out, static_cast<std::uint16_t>(entries.size()));
  u16(out, static_cast<std::uint16_t>(entries.size()));
  u32(out, static_cast<std::uint32_t>(central.size()));
  u32(out, central_offset);
  u16(out, 0);
  return std::vector<std::uint8_t>(out.begin(), out.end());
}

// Reads one table whole: the rows handed out must be exactly the records
// counted by the typing pass, each as wide as the column list.
inline void wb_fuzz_drain(const wb_workbook& book, std::size_t sheet, std::optional<wb_area> area,
                          bool b_header) {
  wb_table table(book, sheet, area, b_header);
  auto cursor = table.rows();
  std::vector<wb_value> values;
  std::uint32_t rows = 0;
  while (cursor->next(values)) {
    FUZZ_CHECK(values.size() == table.columns().size());
    ++rows;
  }
  FUZZ_CHECK(rows == table.record_count());
  FUZZ_CHECK(table.columns().size() <= wb_table::max_table_columns);
}

// Every worksheet and defined name of a workbook, with and without header names.
inline void wb_fuzz_read_all(const wb_workbook& book) {
  for (std::size_t i = 0; i < book.sheets().size(); ++i) {
    if (book.sheets()[i].kind != wb_sheet_kind::worksheet) continue;
    try {
      wb_fuzz_drain(book, i, std::nullopt, true);
      wb_fuzz_drain(book, i, std::nullopt, false);
    } catch (const tk_exception&) {  // a damaged sheet, or one too wide for a table
    }
  }
  for (const auto& name : book.names()) {
    if (name.area_sheet < 0) continue;
    FUZZ_CHECK(static_cast<std::size_t>(name.area_sheet) < book.sheets().size());
    try {
      wb_fuzz_drain(book, static_cast<std::size_t>(name.area_sheet), name.area, true);
    } catch (const tk_exception&) {
    }
  }
}

// biff_cursor: reading across a BIFF record and its CONTINUE records, and
// the record numbers and byte helpers the BIFF readers share.
//
// A string's characters may break at a record boundary; the next record then
// starts with a new option byte saying whether the rest is compressed (one
// byte a character) or not. Every read is checked against what remains: a
// short record raises dao_exception 3274.
// Owns copies of the records it was given. Not thread-safe.
#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "biff_record_reader.hpp"

namespace biff {
enum : std::uint16_t {
  rec_formula = 0x0006,
  rec_eof = 0x000A,
  rec_externsheet = 0x0017,
  rec_name = 0x0018,
  rec_datemode = 0x0022,
  rec_filepass = 0x002F,
  rec_font = 0x0031,
  rec_codepage = 0x0042,
  rec_boundsheet = 0x0085,
  rec_mulrk = 0x00BD,
  rec_rstring = 0x00D6,
  rec_xf = 0x00E0,
  rec_sst = 0x00FC,
  rec_labelsst = 0x00FD,
  rec_number = 0x0203,
  rec_label = 0x0204,
  rec_boolerr = 0x0205,
  rec_string = 0x0207,
  rec_array = 0x0221,
  rec_table = 0x0236,
  rec_shrfmla = 0x04BC,
  rec_rk = 0x027E,
  rec_format = 0x041E,
  rec_bof8 = 0x0809,
};

// Raises dao_exception 3274, "The workbook is damaged: " and the text.
[[noreturn]] void fail(const std::string& text);

inline std::uint16_t u16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t u32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline double f64(const std::uint8_t* p) {
  std::uint64_t bits = static_cast<std::uint64_t>(u32(p)) | static_cast<std::uint64_t>(u32(p + 4))
                                                                << 32;
  return std::bit_cast<double>(bits);
}

inline void need(const std::vector<std::uint8_t>& data, std::size_t size, const char* what) {
  if (data.size() < size) fail(std::string("a ") + what + " record is too short");
}

class biff_cursor {
 public:
  void add(const std::vector<std::uint8_t>& segment) { segments_.push_back(segment); }
  void add(std::vector<std::uint8_t>&& segment) { segments_.push_back(std::move(segment)); }
  bool at_end() {
    settle();
    return seg_ >= segments_.size();
  }
  std::uint8_t byte() {
    settle();
    if (seg_ >= segments_.size()) fail("a record ends too early");
    return segments_[seg_][off_++];
  }
  std::uint16_t word() {
    std::uint8_t a = byte();
    return static_cast<std::uint16_t>(a | byte() << 8);
  }
  std::uint32_t dword() {
    std::uint32_t a = word();
    return a | static_cast<std::uint32_t>(word()) << 16;
  }
  void skip(std::uint64_t n) {
    while (n > 0) {
      settle();
      if (seg_ >= segments_.size()) fail("a record ends too early");
      std::uint64_t here = std::min<std::uint64_t>(n, segments_[seg_].size() - off_);
      off_ += static_cast<std::size_t>(here);
      n -= here;
    }
  }
  // `count` characters, compressed or not as `high` says at first.
  void chars(std::size_t count, bool high, std::wstring& out) {
    while (count > 0) {
      if (seg_ < segments_.size() && off_ >= segments_[seg_].size()) {
        // The characters go on in the next record, behind a fresh option byte.
        ++seg_;
        off_ = 0;
        if (seg_ >= segments_.size() || segments_[seg_].empty()) fail("a string ends too early");
        high = (segments_[seg_][off_++] & 1) != 0;
        continue;
      }
      if (seg_ >= segments_.size()) fail("a string ends too early");
      const std::vector<std::uint8_t>& s = segments_[seg_];
      std::size_t width = high ? 2 : 1;
      std::size_t fit = std::min(count, (s.size() - off_) / width);
      if (fit == 0) fail("a string is split inside a character");
      for (std::size_t i = 0; i < fit; ++i) {
        wchar_t c = high ? static_cast<wchar_t>(u16(s.data() + off_ + 2 * i))
                         : static_cast<wchar_t>(s[off_ + i]);
        out += c;
      }
      off_ += fit * width;
      count -= fit;
    }
  }
  // An XLUnicodeString: 16-bit (or 8-bit) count, option byte, characters,
  // then the rich-text runs and phonetic data it announces.
  std::wstring unicode_string(bool short_count) {
    std::size_t count = short_count ? byte() : word();
    std::uint8_t flags = byte();
    std::uint16_t runs = (flags & 0x08) ? word() : 0;
    std::uint32_t ext = (flags & 0x04) ? dword() : 0;
    std::wstring out;
    out.reserve(count);
    chars(count, (flags & 1) != 0, out);
    skip(4ull * runs + ext);
    return out;
  }
  std::uint64_t remaining() const {
    std::uint64_t n = 0;
    for (std::size_t i = seg_; i < segments_.size(); ++i)
      n += segments_[i].size() - (i == seg_ ? off_ : 0);
    return n;
  }

 private:
  void settle() {
    while (seg_ < segments_.size() && off_ >= segments_[seg_].size()) {
      ++seg_;
      off_ = 0;
    }
  }
  std::vector<std::vector<std::uint8_t>> segments_;
  std::size_t seg_ = 0;
  std::size_t off_ = 0;
};

// A record with the CONTINUE records that follow it, at most `cap` bytes.
biff_cursor gather(biff_record_reader& reader, std::uint64_t cap);
}  // namespace biff

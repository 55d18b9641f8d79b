// Bounded little-endian readers and writers for the TDS wire format.
//
// tds_reader never reads past the buffer it was given: every overrun throws tds_protocol_error,
// which ends the connection that sent the bytes and nothing else. tds_writer appends to a
// caller-owned string. Neither class is shared between threads.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tds {

// Malformed client input: the connection is closed, the server goes on.
class protocol_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The input ended inside an item: more bytes may complete it (a bulk row cut by a packet boundary).
class truncated_error final : public protocol_error {
 public:
  truncated_error() : protocol_error("truncated message") {}
};

class reader final {
 public:
  explicit reader(std::string_view data) : data_(data) {}

  size_t remaining() const { return data_.size() - pos_; }
  size_t position() const { return pos_; }
  bool at_end() const { return pos_ >= data_.size(); }

  std::string_view bytes(size_t count) {
    need(count);
    std::string_view out = data_.substr(pos_, count);
    pos_ += count;
    return out;
  }
  void skip(size_t count) { bytes(count); }
  uint8_t u8() { return static_cast<uint8_t>(bytes(1)[0]); }
  uint16_t u16() { return static_cast<uint16_t>(le(2)); }
  uint32_t u32() { return static_cast<uint32_t>(le(4)); }
  uint64_t u64() { return le(8); }
  uint16_t u16_be() {
    std::string_view b = bytes(2);
    return static_cast<uint16_t>((static_cast<uint8_t>(b[0]) << 8) | static_cast<uint8_t>(b[1]));
  }
  uint64_t le(size_t count) {
    std::string_view b = bytes(count);
    uint64_t v = 0;
    for (size_t i = count; i-- > 0;) v = (v << 8) | static_cast<uint8_t>(b[i]);
    return v;
  }

 private:
  void need(size_t count) const {
    if (count > remaining()) throw truncated_error();
  }
  std::string_view data_;
  size_t pos_ = 0;
};

class writer final {
 public:
  explicit writer(std::string& out) : out_(out) {}
  void u8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void u16(uint16_t v) { le(v, 2); }
  void u32(uint32_t v) { le(v, 4); }
  void u64(uint64_t v) { le(v, 8); }
  void le(uint64_t v, size_t count) {
    for (size_t i = 0; i < count; ++i) out_.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
  }
  void raw(std::string_view b) { out_.append(b); }
  size_t size() const { return out_.size(); }
  // Patches a 16-bit little-endian length written earlier as a placeholder.
  void patch_u16(size_t at, uint16_t v) {
    out_[at] = static_cast<char>(v & 0xff);
    out_[at + 1] = static_cast<char>(v >> 8);
  }
  std::string& str() { return out_; }

 private:
  std::string& out_;
};

}  // namespace tds

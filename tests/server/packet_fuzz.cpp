#include "packet_fuzz.hpp"

#include <cstring>

#include "session.hpp"
#include "tds_text.hpp"

namespace {

class memory_stream final : public tds::byte_stream {
 public:
  memory_stream(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool read(char* out, size_t n) override {
    if (pos_ == size_) return false;
    if (n > size_ - pos_) throw tds::protocol_error("input ends inside a read");
    std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return true;
  }
  void write(const char* data, size_t n) override {
    if (written_.size() < (1u << 20)) written_.append(data, n);
  }
  const std::string& written() const { return written_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  std::string written_;
};

void put16(std::string& s, uint16_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8));
}
void put32(std::string& s, uint32_t v) {
  put16(s, static_cast<uint16_t>(v & 0xFFFF));
  put16(s, static_cast<uint16_t>(v >> 16));
}

}  // namespace

namespace tds_fuzz {
std::string converse_bytes(const uint8_t* data, size_t size);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tds_fuzz::converse_bytes(data, size);
  return 0;
}

std::string tds_fuzz::converse_bytes(const uint8_t* data, size_t size) {
  tds::engine engine;
  tds::server_config config;
  config.logins["SA"] = "pw";
  config.version = "Microsoft SQL Server 2019";
  memory_stream stream(data, size);
  tds::session session(stream, engine, config, 51);
  try {
    session.run();
  } catch (const tds::protocol_error&) {
    // Closing the connection is the expected answer to malformed input.
  }
  return stream.written();
}

namespace tds_fuzz {

std::string converse(const std::string& input) {
  return converse_bytes(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

std::string packet(uint8_t type, const std::string& payload, bool last) {
  std::string p;
  p.push_back(static_cast<char>(type));
  p.push_back(last ? 1 : 0);
  uint16_t len = static_cast<uint16_t>(payload.size() + 8);
  p.push_back(static_cast<char>(len >> 8));
  p.push_back(static_cast<char>(len & 0xFF));
  p.append("\0\0\1\0", 4);
  return p + payload;
}

std::string login7(const std::string& user, const std::string& password,
                   const std::string& database) {
  std::string fixed(94, '\0');
  std::string data;
  std::string pw = tds::utf8_to_utf16le(password);
  for (char& c : pw) {
    auto b = static_cast<uint8_t>(c);
    c = static_cast<char>((((b << 4) | (b >> 4)) & 0xFF) ^ 0xA5);
  }
  const std::string fields[] = {tds::utf8_to_utf16le("host"),
                                tds::utf8_to_utf16le(user),
                                pw,
                                tds::utf8_to_utf16le("fuzz"),
                                tds::utf8_to_utf16le("server"),
                                "",
                                tds::utf8_to_utf16le("lib"),
                                "",
                                tds::utf8_to_utf16le(database)};
  for (size_t i = 0; i < 9; ++i) {
    std::string entry;
    put16(entry, static_cast<uint16_t>(94 + data.size()));
    put16(entry, static_cast<uint16_t>(fields[i].size() / 2));
    fixed.replace(36 + 4 * i, 4, entry);
    data += fields[i];
  }
  std::string head;
  put32(head, static_cast<uint32_t>(94 + data.size()));
  put32(head, 0x74000004);
  put32(head, 4096);
  fixed.replace(0, 12, head);
  return fixed + data;
}

std::string sql_batch(const std::string& sql) {
  std::string headers;
  put32(headers, 22);
  put32(headers, 18);
  put16(headers, 2);
  headers.append(8, '\0');
  put32(headers, 1);
  return headers + tds::utf8_to_utf16le(sql);
}

std::string seed_login_and_table(const std::string& password) {
  std::string prelogin = {0, 0, 6, 0, 6, static_cast<char>(0xFF), 7, 0, 0, 0, 0, 0};
  return packet(18, prelogin) + packet(16, login7("sa", password)) +
         packet(
             1,
             sql_batch(
                 "CREATE TABLE t (a int NOT NULL PRIMARY KEY, b nvarchar(10), c decimal(9,2), d "
                 "datetime2(3)); "
                 "insert bulk t ([a] int, [b] nvarchar(10), [c] decimal(9,2), [d] datetime2(3))"));
}

std::string seed_bulk_tokens(uint32_t rows) {
  std::string bulk;
  bulk.push_back(static_cast<char>(0x81));
  put16(bulk, 4);
  auto column = [&](const std::string& type_info, const std::string& name) {
    put32(bulk, 0);
    put16(bulk, 0x09);
    bulk += type_info;
    bulk.push_back(static_cast<char>(name.size()));
    bulk += tds::utf8_to_utf16le(name);
  };
  column(std::string("\x38", 1), "a");
  column(std::string("\xE7\x14\x00\x09\x04\xD0\x00\x34", 8), "b");
  column(std::string("\x6A\x05\x09\x02", 4), "c");
  column(std::string("\x2A\x03", 2), "d");
  for (uint32_t i = 1; i <= rows; ++i) {
    bulk.push_back(static_cast<char>(0xD1));
    put32(bulk, i);
    std::string text = tds::utf8_to_utf16le("row " + std::to_string(i));
    put16(bulk, static_cast<uint16_t>(text.size()));
    bulk += text;
    bulk += std::string("\x05\x01", 2);
    put32(bulk, 12345 * i);
    // datetime2(3): 4 time bytes, 3 date bytes
    bulk += std::string("\x07\x12\x34\x56\x01\x00\x96\x0a", 8);
  }
  return bulk;
}

std::string seed_conversation() {
  std::string bulk = seed_bulk_tokens(3);
  bulk.push_back(static_cast<char>(0xFD));
  bulk.append(12, '\0');
  // Split across two packets so a row straddles the boundary.
  return seed_login_and_table("pw") + packet(7, bulk.substr(0, 40), false) +
         packet(7, bulk.substr(40)) +
         packet(
             1,
             sql_batch(
                 "SELECT * FROM t WHERE a > 1 ORDER BY b DESC; EXEC sp_columns @table_name = t"));
}

}  // namespace tds_fuzz

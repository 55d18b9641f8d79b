// TDS 7.4 message formats: PRELOGIN, LOGIN7, the response tokens, TYPE_INFO and column values.
//
// Encoders append to a caller-owned buffer; decoders read from a bounded tds::reader and throw
// protocol_error on anything malformed. Stateless apart from their arguments; safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tds_bytes.hpp"
#include "tds_value.hpp"

namespace tds {

enum packet_type : uint8_t {
  pkt_sql_batch = 1,
  pkt_rpc = 3,
  pkt_reply = 4,
  pkt_attention = 6,
  pkt_bulk = 7,
  pkt_transaction = 14,
  pkt_login7 = 16,
  pkt_prelogin = 18,
};

enum token : uint8_t {
  tok_returnstatus = 0x79,
  tok_colmetadata = 0x81,
  tok_error = 0xAA,
  tok_info = 0xAB,
  tok_loginack = 0xAD,
  tok_row = 0xD1,
  tok_nbcrow = 0xD2,
  tok_envchange = 0xE3,
  tok_done = 0xFD,
  tok_doneproc = 0xFE,
  tok_doneinproc = 0xFF,
};

enum done_status : uint16_t {
  done_final = 0x00,
  done_more = 0x01,
  done_error = 0x02,
  done_count = 0x10,
  done_attn = 0x20,
};

constexpr size_t k_header_size = 8;
constexpr size_t k_max_packet_size = 32767;

// A column as it travels: name, type and flags.
struct wire_column {
  std::string name;
  sql_type type;
  bool nullable = true;
  bool identity = false;
  std::string table;  // the table name text/ntext/image columns carry in COLMETADATA
};

struct login_request {
  uint32_t tds_version = 0;
  uint32_t packet_size = 4096;
  std::string host, user, password, app, server, library, language, database;
};

// Reads LOGIN7's payload (the whole message, without packet headers).
login_request parse_login7(std::string_view payload);
// Undoes LOGIN7's password obfuscation (nibble swap and XOR 0xA5 per byte).
std::string decode_password(std::string_view obfuscated);
// The server's PRELOGIN answer: version, no encryption, no instance, no MARS.
std::string prelogin_response();
// Checks that a PRELOGIN message is well-formed (option list terminated, offsets inside).
void parse_prelogin(std::string_view payload);
// Strips the ALL_HEADERS block of an SQL batch and returns the text as UTF-8.
std::string parse_sql_batch(std::string_view payload);

void write_done(std::string& out, uint8_t tok, uint16_t status, uint16_t cur_cmd, uint64_t rows);
void write_message(std::string& out, bool error, int number, int state, int cls,
                   std::string_view text, std::string_view server, std::string_view proc,
                   uint32_t line);
void write_env_string(std::string& out, uint8_t type, std::string_view new_value,
                      std::string_view old_value);
void write_env_collation(std::string& out);
void write_loginack(std::string& out, std::string_view program, uint32_t version,
                    uint32_t tds_version);
void write_return_status(std::string& out, int32_t status);

void write_colmetadata(std::string& out, const std::vector<wire_column>& columns);
// Writes one ROW token; `values` must already be of the columns' kinds (NULLs allowed anywhere).
void write_row(std::string& out, const std::vector<wire_column>& columns,
               const std::vector<value>& values);

// The collation every character column carries: SQL_Latin1_General_CP1_CI_AS.
extern const char k_collation[5];

// Decoding of what a bulk-load client sends: the COLMETADATA token (after its token byte) and the
// values of a ROW token, column by column.
struct bulk_column {
  wire_column column;
  uint8_t wire_type = 0;
  uint32_t max_length = 0;
  bool plp = false;
  bool text_pointer = false;  // text, ntext, image: value preceded by a text pointer and timestamp
};
std::vector<bulk_column> read_colmetadata(reader& in);
value read_value(reader& in, const bulk_column& column);

// Largest single value accepted from a client (a varbinary(max) of a bulk row, say).
constexpr size_t k_max_value_bytes = 64u << 20;

}  // namespace tds

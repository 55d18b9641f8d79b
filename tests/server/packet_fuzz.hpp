// The packet-parser fuzz entry point, shared by the libFuzzer target (clang) and the mutation test
// that runs under gcc in CI. One call serves one whole client conversation from `data` against a
// fresh engine; malformed input must end in protocol_error, never a crash or another exception.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace tds_fuzz {
// Serves `input` as one client connection and returns what the server wrote back.
std::string converse(const std::string& input);
// A client conversation that logs in, creates a table and bulk-loads three rows: the seed the
// mutations start from, so they reach the bulk and SQL paths behind the login.
std::string seed_conversation();
// Its parts: PRELOGIN, LOGIN7 and the batch that creates [t] and announces the bulk load; then the
// bulk-load tokens (COLMETADATA and `rows` ROW tokens, no DONE).
std::string seed_login_and_table(const std::string& password);
std::string seed_bulk_tokens(uint32_t rows);
std::string packet(uint8_t type, const std::string& payload, bool last = true);
std::string login7(const std::string& user, const std::string& password,
                   const std::string& database = "");
std::string sql_batch(const std::string& sql);
}  // namespace tds_fuzz

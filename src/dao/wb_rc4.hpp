// wb_rc4: an RC4 key stream (OpenSSL's, from its legacy provider).
//
// Binary Office documents encrypt with RC4 and start a new key every block
// of the stream, so a decryptor makes one wb_rc4 per block and skips into
// it to the byte it needs. Owns its cipher context (freed on destruction).
// Movable, not copyable; not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "wb_crypto.hpp"

class wb_rc4 final {
 public:
  explicit wb_rc4(wb_byte_span key);

  // XORs the next `count` bytes of the key stream into `data`.
  void apply(std::uint8_t* data, std::size_t count);
  // Moves the key stream on by `count` bytes.
  void skip(std::size_t count);

 private:
  struct context_deleter {
    void operator()(struct evp_cipher_ctx_st* ctx) const;
  };
  std::unique_ptr<struct evp_cipher_ctx_st, context_deleter> ctx_;
};

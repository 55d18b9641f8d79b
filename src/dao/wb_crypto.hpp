// wb_crypto: the hashes and block ciphers that encrypted workbooks use,
// through OpenSSL 3.
//
// Office's password schemes derive keys with MD5, SHA-1 or the SHA-2 family
// and decrypt with AES (ECB or CBC, no padding) or RC4 (see wb_rc4). RC4 and
// MD5 live in OpenSSL's legacy and default providers, which are loaded into
// a library context of this module's own, so nothing of the process-wide
// OpenSSL state changes. A failure of OpenSSL itself (a provider missing)
// raises tk_exception at level 1; wrong keys are not failures here.
// Stateless functions; thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using wb_byte_span = std::span<const std::uint8_t>;
using wb_byte_vector = std::vector<std::uint8_t>;

enum class wb_hash : std::uint8_t { md5, sha1, sha256, sha384, sha512 };

class wb_crypto final {
 public:
  // The hash of the parts, one after the other.
  static wb_byte_vector digest(wb_hash hash, std::initializer_list<wb_byte_span> parts);
  static std::size_t digest_size(wb_hash hash);
  // H(salt + password), then `rounds` times H(round as 32-bit LE + H): the
  // spun hash the ECMA-376 schemes derive their keys from.
  static wb_byte_vector spun_digest(wb_hash hash, wb_byte_span salt, wb_byte_span password,
                                    std::uint32_t rounds);
  // A hash named as an agile EncryptionInfo names it ("SHA512"); false when
  // it is none of those above.
  static bool hash_by_name(std::string_view name, wb_hash& hash);

  // A password as Office's schemes hash it: UTF-16LE, characters beyond the
  // Basic Multilingual Plane as surrogate pairs.
  static wb_byte_vector password_bytes(const std::wstring& password);

  // Base64 as agile EncryptionInfo stores its values; empty when malformed.
  static wb_byte_vector base64(std::string_view text);

  // AES with a 128-, 192- or 256-bit key over whole 16-byte blocks.
  static wb_byte_vector aes_ecb_decrypt(wb_byte_span key, wb_byte_span data);
  static wb_byte_vector aes_cbc_decrypt(wb_byte_span key, wb_byte_span iv, wb_byte_span data);
  // The same the other way, for tests that build encrypted samples.
  static wb_byte_vector aes_cbc_encrypt(wb_byte_span key, wb_byte_span iv, wb_byte_span data);

  // The library context holding the providers (for wb_rc4).
  static struct ossl_lib_ctx_st* library();
};

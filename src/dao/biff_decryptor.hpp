// biff_decryptor: the record data of an encrypted .xls workbook stream.
//
// A FILEPASS record in the workbook globals says how the rest of the stream
// is encrypted: XOR obfuscation (BIFF5 and BIFF8), RC4 with an MD5-derived
// key, or RC4 CryptoAPI with a SHA-1-derived key. open() checks passwords
// against the record's verifier; decrypt() then turns the stream into plain
// BIFF in place. Record headers are never encrypted, nor are the records
// Excel leaves in the clear (BOF, FILEPASS, INTERFACEHDR, USREXCL, FILELOCK,
// RRDINFO, RRDHEAD) and the stream offset that opens each BOUNDSHEET; the
// key stream still runs over them, since it follows stream positions.
// Holds only keys; copyable value. Not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wb_crypto.hpp"

class biff_decryptor final {
 public:
  enum class method : std::uint8_t { xor_obfuscation, rc4, rc4_cryptoapi };

  // The FILEPASS payload; `b_biff8` tells its layout (BIFF5 knows only XOR).
  // Raises dao_exception 3161 for an encryption this reader does not know.
  biff_decryptor(wb_byte_span filepass, bool b_biff8);

  // True, and the key kept, when the password opens the workbook.
  bool open(const std::wstring& password);
  // Decrypts every encrypted byte of the whole workbook stream in place.
  void decrypt(std::vector<std::uint8_t>& stream) const;

  method kind() const { return method_; }

  // The parts of XOR obfuscation, exposed for tests.
  static std::vector<std::uint8_t> xor_password_bytes(const std::wstring& password);
  static std::uint16_t xor_verifier(const std::vector<std::uint8_t>& password);
  static std::uint16_t xor_key(const std::vector<std::uint8_t>& password);
  static std::vector<std::uint8_t> xor_array(const std::vector<std::uint8_t>& password);

 private:
  wb_byte_vector block_key(std::uint32_t block) const;
  void decrypt_rc4(std::vector<std::uint8_t>& stream) const;
  void decrypt_xor(std::vector<std::uint8_t>& stream) const;

  method method_ = method::rc4;
  // XOR: the stored key and verifier; then the array from the password.
  std::uint16_t xor_key_ = 0, xor_verifier_ = 0;
  std::vector<std::uint8_t> xor_array_;
  // RC4 and RC4 CryptoAPI.
  wb_byte_vector salt_, encrypted_verifier_, encrypted_verifier_hash_;
  std::uint32_t key_bits_ = 128;  // CryptoAPI key size
  wb_byte_vector key_base_;       // what each block's key is derived from
};

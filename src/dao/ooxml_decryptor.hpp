// ooxml_decryptor: the package of a password-protected .xlsx.
//
// Excel stores an encrypted .xlsx as a compound file holding EncryptionInfo
// (how the key is derived and checked) and EncryptedPackage (the zip
// package, AES-encrypted, behind its 8-byte size). Both ECMA-376 schemes are
// read: Standard (binary EncryptionInfo, SHA-1 with 50,000 rounds, AES-ECB)
// and Agile (XML EncryptionInfo, a hash and spin count of its own choice,
// AES-CBC over 4,096-byte segments). open() checks a password against the
// stored verifier and keeps the key; decrypt() returns the plain package.
// The agile data-integrity HMAC is not checked: a damaged package fails
// when its zip is read.
// Holds only keys; copyable value. Not thread-safe.
#pragma once

#include <cstdint>
#include <string>

#include "wb_crypto.hpp"

class cfb_stream;

class ooxml_decryptor final {
 public:
  // The EncryptionInfo stream. Raises dao_exception 3161 for a scheme this
  // reader does not know, 3274 for a damaged one.
  explicit ooxml_decryptor(wb_byte_span info);

  bool open(const std::wstring& password);
  // The package (after a successful open).
  wb_byte_vector decrypt(cfb_stream& package) const;

  bool is_agile() const { return b_agile_; }

 private:
  void read_standard(wb_byte_span info);
  void read_agile(wb_byte_span xml);
  bool open_standard(const wb_byte_vector& password);
  bool open_agile(const wb_byte_vector& password);

  bool b_agile_ = false;
  // Standard.
  std::uint32_t key_bits_ = 128;
  wb_byte_vector salt_, encrypted_verifier_, encrypted_verifier_hash_;
  // Agile: the password key encryptor, and the package's own key data.
  struct agile_params {
    wb_hash hash = wb_hash::sha512;
    std::uint32_t key_bits = 256, block_size = 16, hash_size = 64, spin_count = 100000;
    wb_byte_vector salt;
  };
  agile_params password_, data_;
  wb_byte_vector encrypted_verifier_input_, encrypted_verifier_value_, encrypted_key_;
  wb_byte_vector key_;  // the package key, once open
};

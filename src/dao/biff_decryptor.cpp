#include "biff_decryptor.hpp"

#include <algorithm>
#include <memory>

#include "dao_exception.hpp"
#include "tk_trace.hpp"
#include "wb_rc4.hpp"

namespace {
constexpr std::size_t block_size = 1024;  // RC4 takes a new key every 1,024 bytes

[[noreturn]] void unsupported(const std::string& what) {
  throw dao_exception(dao_exception::password_protected,
                      "The workbook is encrypted in a way this reader does not know: " + what,
                      tk_level_run);
}

std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t u32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(u16(p)) | static_cast<std::uint32_t>(u16(p + 2)) << 16;
}

wb_byte_vector take(wb_byte_span data, std::size_t at, std::size_t count) {
  if (at + count > data.size()) unsupported("its FILEPASS record is too short");
  return wb_byte_vector(data.begin() + static_cast<long>(at),
                        data.begin() + static_cast<long>(at + count));
}

wb_byte_vector le32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

std::uint8_t rotate_left(std::uint8_t v, int n) {
  return static_cast<std::uint8_t>((v << n) | (v >> (8 - n)));
}

// Records whose data Excel never encrypts.
bool in_the_clear(std::uint16_t type) {
  switch (type) {
    case 0x0809:  // BOF (BIFF5 and BIFF8)
    case 0x002F:  // FILEPASS
    case 0x00E1:  // INTERFACEHDR
    case 0x0194:  // USREXCL
    case 0x0195:  // FILELOCK
    case 0x0196:  // RRDINFO
    case 0x0138:  // RRDHEAD
      return true;
    default:
      return false;
  }
}

// Calls `span(first, end, record_length)` for every encrypted run of bytes.
template <typename F>
void for_each_encrypted(const std::vector<std::uint8_t>& stream, F&& span) {
  std::size_t at = 0;
  while (at + 4 <= stream.size()) {
    const std::uint16_t type = u16(stream.data() + at);
    const std::size_t length = u16(stream.data() + at + 2);
    const std::size_t data = at + 4;
    if (data + length > stream.size()) break;  // a cut record: the reader reports it
    if (!in_the_clear(type)) {
      // BOUNDSHEET keeps its stream offset readable.
      const std::size_t first = type == 0x0085 ? data + std::min<std::size_t>(4, length) : data;
      if (first < data + length) span(first, data + length, length);
    }
    at = data + length;
  }
}

constexpr std::uint16_t initial_code[] = {0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C,
                                          0x0E10, 0xF1CE, 0x313E, 0x1872, 0xE139,
                                          0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3};
constexpr std::uint16_t xor_matrix[] = {
    0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7,
    0x9DCF, 0x2BBF, 0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375, 0x06EA, 0x0DD4,
    0x1BA8, 0x3750, 0x6EA0, 0xDD40, 0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5, 0x6F45,
    0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A, 0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC,
    0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0, 0xB861, 0x60E3, 0xC1C6, 0x93AD,
    0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10, 0xAA51, 0x4483,
    0x8906, 0x022D, 0x045A, 0x08B4, 0x1168, 0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C,
    0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373,
    0x06E6, 0x0DCC, 0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4};
constexpr std::uint8_t pad_array[] = {0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80,
                                      0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00};
}  // namespace

biff_decryptor::biff_decryptor(wb_byte_span filepass, bool b_biff8) {
  tk_trace(1, "biff_decryptor::biff_decryptor(%zu bytes)", filepass.size());
  std::size_t at = 0;
  std::uint16_t type = 0;  // BIFF5 has XOR obfuscation only, without a type
  if (b_biff8) {
    if (filepass.size() < 2) unsupported("its FILEPASS record is too short");
    type = u16(filepass.data());
    at = 2;
  }
  if (type == 0) {
    method_ = method::xor_obfuscation;
    wb_byte_vector fields = take(filepass, at, 4);
    xor_key_ = u16(fields.data());
    xor_verifier_ = u16(fields.data() + 2);
    return;
  }
  if (type != 1) unsupported("encryption type " + std::to_string(type));
  wb_byte_vector version = take(filepass, at, 4);
  const std::uint16_t major = u16(version.data()), minor = u16(version.data() + 2);
  at += 4;
  if (major == 1 && minor == 1) {
    method_ = method::rc4;
    salt_ = take(filepass, at, 16);
    encrypted_verifier_ = take(filepass, at + 16, 16);
    encrypted_verifier_hash_ = take(filepass, at + 32, 16);
    return;
  }
  if (major < 2 || major > 4 || minor != 2)
    unsupported("version " + std::to_string(major) + "." + std::to_string(minor));
  method_ = method::rc4_cryptoapi;
  wb_byte_vector head = take(filepass, at, 8);
  const std::uint32_t header_size = u32(head.data() + 4);
  at += 8;
  wb_byte_vector header = take(filepass, at, std::max<std::uint32_t>(header_size, 20));
  const std::uint32_t algorithm = u32(header.data() + 8), hash = u32(header.data() + 12);
  if ((algorithm != 0 && algorithm != 0x6801) || (hash != 0 && hash != 0x8004))
    unsupported("a CryptoAPI algorithm other than RC4 with SHA-1");
  key_bits_ = u32(header.data() + 16);
  if (key_bits_ == 0) key_bits_ = 40;
  if (key_bits_ < 40 || key_bits_ > 128 || key_bits_ % 8 != 0)
    unsupported("an RC4 key of " + std::to_string(key_bits_) + " bits");
  at += header_size;
  wb_byte_vector verifier = take(filepass, at, 4);
  const std::uint32_t salt_size = u32(verifier.data());
  if (salt_size != 16) unsupported("a salt of " + std::to_string(salt_size) + " bytes");
  salt_ = take(filepass, at + 4, 16);
  encrypted_verifier_ = take(filepass, at + 20, 16);
  encrypted_verifier_hash_ = take(filepass, at + 40, 20);
}

std::vector<std::uint8_t> biff_decryptor::xor_password_bytes(const std::wstring& password) {
  // One byte a character: the low one, or the high one when the low is 0.
  std::vector<std::uint8_t> bytes;
  for (wchar_t c : password) {
    const auto code = static_cast<std::uint32_t>(c);
    bytes.push_back(
        static_cast<std::uint8_t>((code & 0xFF) != 0 ? code & 0xFF : (code >> 8) & 0xFF));
  }
  return bytes;
}

std::uint16_t biff_decryptor::xor_verifier(const std::vector<std::uint8_t>& password) {
  std::uint16_t verifier = 0;
  std::vector<std::uint8_t> all = {static_cast<std::uint8_t>(password.size())};
  all.insert(all.end(), password.begin(), password.end());
  for (auto it = all.rbegin(); it != all.rend(); ++it) {
    const std::uint16_t carry = (verifier & 0x4000) != 0 ? 1 : 0;
    verifier = static_cast<std::uint16_t>((((verifier << 1) & 0x7FFF) | carry) ^ *it);
  }
  return static_cast<std::uint16_t>(verifier ^ 0xCE4B);
}

std::uint16_t biff_decryptor::xor_key(const std::vector<std::uint8_t>& password) {
  if (password.empty() || password.size() > 15) return 0;
  std::uint16_t key = initial_code[password.size() - 1];
  int element = 0x68;
  for (auto it = password.rbegin(); it != password.rend(); ++it) {
    std::uint8_t c = *it;
    for (int bit = 0; bit < 7; ++bit, --element) {
      if ((c & 0x40) != 0) key ^= xor_matrix[element];
      c = static_cast<std::uint8_t>(c << 1);
    }
  }
  return key;
}

std::vector<std::uint8_t> biff_decryptor::xor_array(const std::vector<std::uint8_t>& password) {
  // The password, padded, XORed with the key's bytes in turn and rotated:
  // the array Excel itself uses (which differs from the written method).
  std::vector<std::uint8_t> array(16, 0);
  std::copy(password.begin(), password.end(), array.begin());
  for (std::size_t i = password.size(), k = 0; i < 16 && k < std::size(pad_array); ++i, ++k)
    array[i] = pad_array[k];
  const std::uint16_t key = xor_key(password);
  for (std::size_t i = 0; i < 16; ++i) {
    const auto key_byte = static_cast<std::uint8_t>(i % 2 == 0 ? key & 0xFF : key >> 8);
    array[i] = rotate_left(static_cast<std::uint8_t>(array[i] ^ key_byte), 2);
  }
  return array;
}

wb_byte_vector biff_decryptor::block_key(std::uint32_t block) const {
  if (method_ == method::rc4) {
    wb_byte_vector hash = wb_crypto::digest(wb_hash::md5, {key_base_, le32(block)});
    return hash;  // all 128 bits
  }
  wb_byte_vector hash = wb_crypto::digest(wb_hash::sha1, {key_base_, le32(block)});
  hash.resize(key_bits_ / 8);
  // A 40-bit key is used as 128 bits, the rest zero.
  if (key_bits_ == 40) hash.resize(16, 0);
  return hash;
}

bool biff_decryptor::open(const std::wstring& password) {
  tk_trace(1, "biff_decryptor::open");  // never the password itself
  if (method_ == method::xor_obfuscation) {
    const std::vector<std::uint8_t> bytes = xor_password_bytes(password);
    if (bytes.empty() || bytes.size() > 15) return false;
    if (xor_verifier(bytes) != xor_verifier_ || xor_key(bytes) != xor_key_) return false;
    xor_array_ = xor_array(bytes);
    return true;
  }
  const wb_byte_vector text = wb_crypto::password_bytes(password);
  if (text.size() > 510) return false;  // 255 characters at most
  if (method_ == method::rc4) {
    wb_byte_vector h0 = wb_crypto::digest(wb_hash::md5, {text});
    h0.resize(5);
    wb_byte_vector repeated;
    for (int i = 0; i < 16; ++i) {
      repeated.insert(repeated.end(), h0.begin(), h0.end());
      repeated.insert(repeated.end(), salt_.begin(), salt_.end());
    }
    key_base_ = wb_crypto::digest(wb_hash::md5, {repeated});
    key_base_.resize(5);
  } else {
    key_base_ = wb_crypto::digest(wb_hash::sha1, {salt_, text});
  }
  // The verifier and its hash are one run of the block-0 key stream.
  wb_byte_vector check = encrypted_verifier_;
  check.insert(check.end(), encrypted_verifier_hash_.begin(), encrypted_verifier_hash_.end());
  wb_rc4 cipher(block_key(0));
  cipher.apply(check.data(), check.size());
  const wb_hash hash = method_ == method::rc4 ? wb_hash::md5 : wb_hash::sha1;
  const wb_byte_vector expected =
      wb_crypto::digest(hash, {wb_byte_span(check.data(), encrypted_verifier_.size())});
  return std::equal(expected.begin(), expected.end(), check.begin() + 16, check.end());
}

void biff_decryptor::decrypt(std::vector<std::uint8_t>& stream) const {
  if (method_ == method::xor_obfuscation)
    decrypt_xor(stream);
  else
    decrypt_rc4(stream);
}

void biff_decryptor::decrypt_xor(std::vector<std::uint8_t>& stream) const {
  for_each_encrypted(stream, [&](std::size_t first, std::size_t end, std::size_t length) {
    for (std::size_t at = first; at < end; ++at)
      stream[at] =
          static_cast<std::uint8_t>(rotate_left(stream[at], 3) ^ xor_array_[(at + length) % 16]);
  });
}

void biff_decryptor::decrypt_rc4(std::vector<std::uint8_t>& stream) const {
  // The key stream follows stream positions: block by block, skipping the
  // bytes that stay in the clear.
  std::uint64_t block = UINT64_MAX;
  std::size_t used = 0;  // key stream bytes taken from the current block
  std::unique_ptr<wb_rc4> cipher;
  for_each_encrypted(stream, [&](std::size_t first, std::size_t end, std::size_t) {
    std::size_t at = first;
    while (at < end) {
      const std::uint64_t here = at / block_size;
      const std::size_t offset = at % block_size;
      if (here != block || offset < used) {
        cipher = std::make_unique<wb_rc4>(block_key(static_cast<std::uint32_t>(here)));
        block = here;
        used = 0;
      }
      cipher->skip(offset - used);
      const std::size_t count = std::min(end - at, block_size - offset);
      cipher->apply(stream.data() + at, count);
      used = offset + count;
      at += count;
    }
  });
}

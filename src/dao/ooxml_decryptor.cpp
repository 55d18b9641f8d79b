#include "ooxml_decryptor.hpp"

#include <algorithm>
#include <charconv>
#include <map>

#include "cfb_reader.hpp"
#include "dao_exception.hpp"
#include "tk_trace.hpp"
#include "wb_limits.hpp"
#include "xml_push_parser.hpp"

namespace {
constexpr std::size_t segment_size = 4096;
constexpr std::uint32_t standard_spin_count = 50000;
// Block keys of the agile scheme (ECMA-376 agile encryption).
constexpr std::uint8_t verifier_input_block[] = {0xfe, 0xa7, 0xd2, 0x76, 0x3b, 0x4b, 0x9e, 0x79};
constexpr std::uint8_t verifier_value_block[] = {0xd7, 0xaa, 0x0f, 0x6d, 0x30, 0x61, 0x34, 0x4e};
constexpr std::uint8_t key_value_block[] = {0x14, 0x6e, 0x0b, 0xe7, 0xab, 0xac, 0xd0, 0xd6};

[[noreturn]] void unsupported(const std::string& what) {
  throw dao_exception(dao_exception::password_protected,
                      "The workbook is encrypted in a way this reader does not know: " + what,
                      tk_level_run);
}

[[noreturn]] void damaged(const std::string& what) {
  throw dao_exception(dao_exception::not_a_workbook,
                      "The workbook's encryption data is damaged: " + what, tk_level_run);
}

std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t u32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(u16(p)) | static_cast<std::uint32_t>(u16(p + 2)) << 16;
}

wb_byte_vector le32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

wb_byte_vector slice(wb_byte_span data, std::size_t at, std::size_t count) {
  if (at > data.size() || count > data.size() - at) damaged("EncryptionInfo is too short");
  return wb_byte_vector(data.begin() + static_cast<long>(at),
                        data.begin() + static_cast<long>(at + count));
}

// Cut or padded with 0x36, as the agile scheme sizes keys and vectors.
wb_byte_vector fit(wb_byte_vector bytes, std::size_t size) {
  bytes.resize(size, 0x36);
  return bytes;
}

// The attributes of <keyData> and of the password's <encryptedKey>.
class info_handler final : public xml_handler {
 public:
  struct element {
    bool b_seen = false;
    std::map<std::string, std::string> attributes;
  };
  void on_start(std::string_view name, const xml_attribute* a, std::size_t n) override {
    element* target = name == "keyData"        ? &key_data
                      : name == "encryptedKey" ? &encrypted_key
                                               : nullptr;
    if (target == nullptr || target->b_seen) return;
    target->b_seen = true;
    for (std::size_t i = 0; i < n; ++i)
      target->attributes[std::string(a[i].name)] = std::string(a[i].value);
  }
  void on_end(std::string_view) override {}
  void on_text(std::string_view) override {}

  element key_data, encrypted_key;
};

std::uint32_t number(const info_handler::element& e, const char* name, std::uint32_t max) {
  auto it = e.attributes.find(name);
  std::uint32_t value = 0;
  if (it == e.attributes.end()) damaged(std::string("no ") + name);
  auto [end, ec] = std::from_chars(it->second.data(), it->second.data() + it->second.size(), value);
  if (ec != std::errc() || end != it->second.data() + it->second.size() || value > max)
    damaged(std::string("a wrong ") + name);
  return value;
}

wb_byte_vector bytes_of(const info_handler::element& e, const char* name) {
  auto it = e.attributes.find(name);
  if (it == e.attributes.end()) damaged(std::string("no ") + name);
  wb_byte_vector out = wb_crypto::base64(it->second);
  if (out.empty()) damaged(std::string("a wrong ") + name);
  return out;
}
}  // namespace

ooxml_decryptor::ooxml_decryptor(wb_byte_span info) {
  tk_trace(1, "ooxml_decryptor::ooxml_decryptor(%zu bytes)", info.size());
  if (info.size() < 8) damaged("EncryptionInfo is too short");
  const std::uint16_t major = u16(info.data()), minor = u16(info.data() + 2);
  if (major == 4 && minor == 4) {
    b_agile_ = true;
    read_agile(info.subspan(8));
  } else if ((major == 3 || major == 4) && minor == 2) {
    read_standard(info);
  } else {
    unsupported("EncryptionInfo version " + std::to_string(major) + "." + std::to_string(minor));
  }
}

void ooxml_decryptor::read_standard(wb_byte_span info) {
  const std::uint32_t header_size = u32(slice(info, 8, 4).data());
  if (header_size < 32 || header_size > info.size()) damaged("a wrong header size");
  const wb_byte_vector header = slice(info, 12, 32);
  const std::uint32_t algorithm = u32(header.data() + 8), hash = u32(header.data() + 12);
  key_bits_ = u32(header.data() + 16);
  // AES-128, -192 or -256 (0x660E..0x6610) with SHA-1.
  if (algorithm < 0x660E || algorithm > 0x6610 || (hash != 0 && hash != 0x8004))
    unsupported("standard encryption other than AES with SHA-1");
  if (key_bits_ != 128 && key_bits_ != 192 && key_bits_ != 256)
    unsupported("an AES key of " + std::to_string(key_bits_) + " bits");
  const std::size_t at = 12 + header_size;
  if (u32(slice(info, at, 4).data()) != 16) unsupported("a salt that is not 16 bytes");
  salt_ = slice(info, at + 4, 16);
  encrypted_verifier_ = slice(info, at + 20, 16);
  encrypted_verifier_hash_ = slice(info, at + 40, 32);
}

void ooxml_decryptor::read_agile(wb_byte_span xml) {
  info_handler handler;
  xml_push_parser parser(handler, "EncryptionInfo");
  parser.feed(reinterpret_cast<const char*>(xml.data()), xml.size(), true);
  if (!handler.key_data.b_seen || !handler.encrypted_key.b_seen)
    unsupported("no password key in EncryptionInfo (a certificate, perhaps)");
  auto params = [](const info_handler::element& e, agile_params& out) {
    const auto find = [&](const char* name) {
      auto it = e.attributes.find(name);
      return it == e.attributes.end() ? std::string() : it->second;
    };
    if (!wb_crypto::hash_by_name(find("hashAlgorithm"), out.hash))
      unsupported("the hash " + find("hashAlgorithm"));
    if (find("cipherAlgorithm") != "AES" || find("cipherChaining") != "ChainingModeCBC")
      unsupported("the cipher " + find("cipherAlgorithm") + " " + find("cipherChaining"));
    out.key_bits = number(e, "keyBits", 256);
    out.block_size = number(e, "blockSize", 64);
    out.hash_size = number(e, "hashSize", 64);
    out.salt = bytes_of(e, "saltValue");
    if (out.block_size != 16) unsupported("AES blocks of " + std::to_string(out.block_size));
    if (out.hash_size != wb_crypto::digest_size(out.hash)) damaged("a wrong hashSize");
  };
  params(handler.key_data, data_);
  params(handler.encrypted_key, password_);
  // Excel writes 100,000; far more would only make a hostile file slow.
  password_.spin_count = number(handler.encrypted_key, "spinCount", 1000000);
  encrypted_verifier_input_ = bytes_of(handler.encrypted_key, "encryptedVerifierHashInput");
  encrypted_verifier_value_ = bytes_of(handler.encrypted_key, "encryptedVerifierHashValue");
  encrypted_key_ = bytes_of(handler.encrypted_key, "encryptedKeyValue");
}

bool ooxml_decryptor::open(const std::wstring& password) {
  tk_trace(1, "ooxml_decryptor::open");  // never the password itself
  const wb_byte_vector text = wb_crypto::password_bytes(password);
  if (text.size() > 510) return false;  // 255 characters at most
  return b_agile_ ? open_agile(text) : open_standard(text);
}

bool ooxml_decryptor::open_standard(const wb_byte_vector& password) {
  const wb_byte_vector h =
      wb_crypto::spun_digest(wb_hash::sha1, salt_, password, standard_spin_count);
  const wb_byte_vector final_hash = wb_crypto::digest(wb_hash::sha1, {h, le32(0)});
  // The key: SHA-1 of the hash XORed into 64 bytes of 0x36, then of 0x5C.
  wb_byte_vector inner(64, 0x36), outer(64, 0x5C);
  for (std::size_t i = 0; i < final_hash.size(); ++i) {
    inner[i] ^= final_hash[i];
    outer[i] ^= final_hash[i];
  }
  wb_byte_vector key = wb_crypto::digest(wb_hash::sha1, {inner});
  const wb_byte_vector second = wb_crypto::digest(wb_hash::sha1, {outer});
  key.insert(key.end(), second.begin(), second.end());
  key.resize(key_bits_ / 8);
  const wb_byte_vector verifier = wb_crypto::aes_ecb_decrypt(key, encrypted_verifier_);
  const wb_byte_vector verifier_hash = wb_crypto::aes_ecb_decrypt(key, encrypted_verifier_hash_);
  const wb_byte_vector expected = wb_crypto::digest(wb_hash::sha1, {verifier});
  if (verifier_hash.size() < expected.size() ||
      !std::equal(expected.begin(), expected.end(), verifier_hash.begin()))
    return false;
  key_ = key;
  return true;
}

bool ooxml_decryptor::open_agile(const wb_byte_vector& password) {
  const agile_params& p = password_;
  const wb_byte_vector h = wb_crypto::spun_digest(p.hash, p.salt, password, p.spin_count);
  const auto key_for = [&](wb_byte_span block) {
    return fit(wb_crypto::digest(p.hash, {h, block}), p.key_bits / 8);
  };
  const wb_byte_vector iv = fit(p.salt, p.block_size);
  wb_byte_vector input =
      wb_crypto::aes_cbc_decrypt(key_for(verifier_input_block), iv, encrypted_verifier_input_);
  input.resize(std::min<std::size_t>(input.size(), p.salt.size()));
  const wb_byte_vector value =
      wb_crypto::aes_cbc_decrypt(key_for(verifier_value_block), iv, encrypted_verifier_value_);
  const wb_byte_vector expected = wb_crypto::digest(p.hash, {input});
  if (value.size() < expected.size() ||
      !std::equal(expected.begin(), expected.end(), value.begin()))
    return false;
  wb_byte_vector key = wb_crypto::aes_cbc_decrypt(key_for(key_value_block), iv, encrypted_key_);
  if (key.size() < data_.key_bits / 8) damaged("the package key is too short");
  key.resize(data_.key_bits / 8);
  key_ = key;
  return true;
}

wb_byte_vector ooxml_decryptor::decrypt(cfb_stream& package) const {
  std::uint8_t head[8];
  package.seek(0);
  if (package.read(head, 8) != 8) damaged("EncryptedPackage is too short");
  const std::uint64_t size =
      static_cast<std::uint64_t>(u32(head)) | static_cast<std::uint64_t>(u32(head + 4)) << 32;
  if (size > package.size() - 8 || size > wb_limits::max_sheet_part)
    damaged("EncryptedPackage claims more than it holds");
  wb_byte_vector plain;
  plain.reserve(static_cast<std::size_t>(size) + segment_size);
  wb_byte_vector segment(segment_size);
  for (std::uint32_t index = 0; plain.size() < size; ++index) {
    const std::size_t got = package.read(segment.data(), segment.size());
    if (got == 0) damaged("EncryptedPackage ends early");
    const wb_byte_span chunk(segment.data(), got);
    const wb_byte_vector out =
        b_agile_
            ? wb_crypto::aes_cbc_decrypt(
                  key_, fit(wb_crypto::digest(data_.hash, {data_.salt, le32(index)}), 16), chunk)
            : wb_crypto::aes_ecb_decrypt(key_, chunk);
    plain.insert(plain.end(), out.begin(), out.end());
  }
  plain.resize(static_cast<std::size_t>(size));
  return plain;
}

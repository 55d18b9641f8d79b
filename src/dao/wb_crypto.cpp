#include "wb_crypto.hpp"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <memory>
#include <string>

#include "tk_exception.hpp"
#include "wb_rc4.hpp"

namespace {
[[noreturn]] void openssl_failed(const std::string& what) {
  throw tk_exception("Cannot decrypt the workbook: OpenSSL failed to " + what +
                         " (is the OpenSSL library complete, with its legacy provider?)",
                     tk_level_run);
}

struct cipher_ctx_deleter {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
struct md_ctx_deleter {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct cipher_deleter {
  void operator()(EVP_CIPHER* cipher) const { EVP_CIPHER_free(cipher); }
};
struct md_deleter {
  void operator()(EVP_MD* md) const { EVP_MD_free(md); }
};

const char* hash_name(wb_hash hash) {
  switch (hash) {
    case wb_hash::md5:
      return "MD5";
    case wb_hash::sha1:
      return "SHA1";
    case wb_hash::sha256:
      return "SHA256";
    case wb_hash::sha384:
      return "SHA384";
    case wb_hash::sha512:
      return "SHA512";
  }
  return "SHA1";
}

std::string aes_name(std::size_t key_size, const char* mode) {
  if (key_size != 16 && key_size != 24 && key_size != 32)
    throw tk_exception("The workbook's encryption names an AES key of " +
                           std::to_string(key_size * 8) + " bits, which AES does not have",
                       tk_level_run);
  return "AES-" + std::to_string(key_size * 8) + "-" + mode;
}

wb_byte_vector aes(wb_byte_span key, const char* mode, wb_byte_span iv, wb_byte_span data,
                   bool b_encrypt) {
  std::unique_ptr<EVP_CIPHER, cipher_deleter> cipher(
      EVP_CIPHER_fetch(wb_crypto::library(), aes_name(key.size(), mode).c_str(), nullptr));
  if (!cipher) openssl_failed("provide AES");
  std::unique_ptr<EVP_CIPHER_CTX, cipher_ctx_deleter> ctx(EVP_CIPHER_CTX_new());
  if (!ctx ||
      EVP_CipherInit_ex2(ctx.get(), cipher.get(), key.data(), iv.empty() ? nullptr : iv.data(),
                         b_encrypt ? 1 : 0, nullptr) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1)
    openssl_failed("start AES");
  // Whole blocks only: a tail that is no block is left out.
  const std::size_t whole = data.size() / 16 * 16;
  wb_byte_vector out(whole + 16);
  int written = 0;
  if (whole > 0 &&
      EVP_CipherUpdate(ctx.get(), out.data(), &written, data.data(), static_cast<int>(whole)) != 1)
    openssl_failed("run AES");
  out.resize(static_cast<std::size_t>(written));
  return out;
}
}  // namespace

ossl_lib_ctx_st* wb_crypto::library() {
  // Loaded once; the providers stay for the life of the process.
  struct library_holder {
    OSSL_LIB_CTX* ctx = OSSL_LIB_CTX_new();
    bool b_ready = ctx != nullptr && OSSL_PROVIDER_load(ctx, "default") != nullptr &&
                   OSSL_PROVIDER_load(ctx, "legacy") != nullptr;
  };
  static const library_holder holder;
  if (!holder.b_ready) openssl_failed("load its default and legacy providers");
  return holder.ctx;
}

std::size_t wb_crypto::digest_size(wb_hash hash) {
  switch (hash) {
    case wb_hash::md5:
      return 16;
    case wb_hash::sha1:
      return 20;
    case wb_hash::sha256:
      return 32;
    case wb_hash::sha384:
      return 48;
    case wb_hash::sha512:
      return 64;
  }
  return 20;
}

bool wb_crypto::hash_by_name(std::string_view name, wb_hash& hash) {
  static const std::pair<std::string_view, wb_hash> names[] = {
      {"MD5", wb_hash::md5},       {"SHA1", wb_hash::sha1},     {"SHA-1", wb_hash::sha1},
      {"SHA256", wb_hash::sha256}, {"SHA384", wb_hash::sha384}, {"SHA512", wb_hash::sha512}};
  for (const auto& [text, value] : names)
    if (text == name) {
      hash = value;
      return true;
    }
  return false;
}

wb_byte_vector wb_crypto::digest(wb_hash hash, std::initializer_list<wb_byte_span> parts) {
  std::unique_ptr<EVP_MD, md_deleter> md(EVP_MD_fetch(library(), hash_name(hash), nullptr));
  std::unique_ptr<EVP_MD_CTX, md_ctx_deleter> ctx(EVP_MD_CTX_new());
  if (!md || !ctx || EVP_DigestInit_ex2(ctx.get(), md.get(), nullptr) != 1)
    openssl_failed(std::string("provide ") + hash_name(hash));
  for (wb_byte_span part : parts)
    if (!part.empty() && EVP_DigestUpdate(ctx.get(), part.data(), part.size()) != 1)
      openssl_failed("hash");
  wb_byte_vector out(static_cast<std::size_t>(EVP_MAX_MD_SIZE));
  unsigned size = 0;
  if (EVP_DigestFinal_ex(ctx.get(), out.data(), &size) != 1) openssl_failed("hash");
  out.resize(size);
  return out;
}

wb_byte_vector wb_crypto::spun_digest(wb_hash hash, wb_byte_span salt, wb_byte_span password,
                                      std::uint32_t rounds) {
  // One context for every round: a fetch per round would cost more than
  // the hashing.
  std::unique_ptr<EVP_MD, md_deleter> md(EVP_MD_fetch(library(), hash_name(hash), nullptr));
  std::unique_ptr<EVP_MD_CTX, md_ctx_deleter> ctx(EVP_MD_CTX_new());
  if (!md || !ctx) openssl_failed(std::string("provide ") + hash_name(hash));
  wb_byte_vector h(static_cast<std::size_t>(EVP_MAX_MD_SIZE));
  unsigned size = 0;
  auto run = [&](wb_byte_span first, wb_byte_span second) {
    if (EVP_DigestInit_ex2(ctx.get(), md.get(), nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), first.data(), first.size()) != 1 ||
        EVP_DigestUpdate(ctx.get(), second.data(), second.size()) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), h.data(), &size) != 1)
      openssl_failed("hash");
  };
  run(salt, password);
  std::uint8_t round[4];
  wb_byte_vector previous;
  for (std::uint32_t i = 0; i < rounds; ++i) {
    for (int k = 0; k < 4; ++k) round[k] = static_cast<std::uint8_t>(i >> (8 * k));
    previous.assign(h.begin(), h.begin() + size);
    run(round, previous);
  }
  h.resize(size);
  return h;
}

wb_byte_vector wb_crypto::password_bytes(const std::wstring& password) {
  wb_byte_vector out;
  out.reserve(password.size() * 2);
  for (wchar_t c : password) {
    auto code = static_cast<std::uint32_t>(c);
    if (code > 0xFFFF) {  // a surrogate pair
      code -= 0x10000;
      const std::uint32_t high = 0xD800 + (code >> 10), low = 0xDC00 + (code & 0x3FF);
      out.insert(out.end(), {static_cast<std::uint8_t>(high), static_cast<std::uint8_t>(high >> 8),
                             static_cast<std::uint8_t>(low), static_cast<std::uint8_t>(low >> 8)});
    } else {
      out.push_back(static_cast<std::uint8_t>(code));
      out.push_back(static_cast<std::uint8_t>(code >> 8));
    }
  }
  return out;
}

wb_byte_vector wb_crypto::base64(std::string_view text) {
  std::string clean;
  for (char c : text)
    if (c != ' ' && c != '\n' && c != '\r' && c != '\t') clean += c;
  if (clean.size() % 4 != 0) return {};
  wb_byte_vector out(clean.size() / 4 * 3 + 1);
  const int size = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(clean.data()),
                                   static_cast<int>(clean.size()));
  if (size < 0) return {};
  // EVP_DecodeBlock counts the bytes that padding stands for.
  std::size_t length = static_cast<std::size_t>(size);
  for (std::size_t i = clean.size(); i > 0 && clean[i - 1] == '=' && length > 0; --i) --length;
  out.resize(length);
  return out;
}

wb_byte_vector wb_crypto::aes_ecb_decrypt(wb_byte_span key, wb_byte_span data) {
  return aes(key, "ECB", {}, data, false);
}

wb_byte_vector wb_crypto::aes_cbc_decrypt(wb_byte_span key, wb_byte_span iv, wb_byte_span data) {
  return aes(key, "CBC", iv, data, false);
}

wb_byte_vector wb_crypto::aes_cbc_encrypt(wb_byte_span key, wb_byte_span iv, wb_byte_span data) {
  return aes(key, "CBC", iv, data, true);
}

void wb_rc4::context_deleter::operator()(evp_cipher_ctx_st* ctx) const { EVP_CIPHER_CTX_free(ctx); }

wb_rc4::wb_rc4(wb_byte_span key) : ctx_(EVP_CIPHER_CTX_new()) {
  std::unique_ptr<EVP_CIPHER, cipher_deleter> cipher(
      EVP_CIPHER_fetch(wb_crypto::library(), "RC4", nullptr));
  if (!cipher) openssl_failed("provide RC4");
  if (!ctx_ || EVP_CipherInit_ex2(ctx_.get(), cipher.get(), nullptr, nullptr, 0, nullptr) != 1 ||
      EVP_CIPHER_CTX_set_key_length(ctx_.get(), static_cast<int>(key.size())) != 1 ||
      EVP_CipherInit_ex2(ctx_.get(), nullptr, key.data(), nullptr, 0, nullptr) != 1)
    openssl_failed("start RC4");
}

void wb_rc4::apply(std::uint8_t* data, std::size_t count) {
  while (count > 0) {
    const int now = static_cast<int>(count < (1u << 20) ? count : (1u << 20));
    int written = 0;
    if (EVP_CipherUpdate(ctx_.get(), data, &written, data, now) != 1 || written != now)
      openssl_failed("run RC4");
    data += now;
    count -= static_cast<std::size_t>(now);
  }
}

void wb_rc4::skip(std::size_t count) {
  std::uint8_t scratch[256] = {};
  while (count > 0) {
    const std::size_t now = count < sizeof scratch ? count : sizeof scratch;
    apply(scratch, now);
    count -= now;
  }
}

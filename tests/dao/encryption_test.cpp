// Encrypted workbooks in every scheme Excel writes: the right password (or
// Excel's built-in one) reads the same table as the plain workbook, a wrong
// or missing one is refused with 3161, and damaged encryption data fails
// cleanly. The samples are made by office_crypto.py, whose output a second
// implementation decrypts as well (all schemes but XOR).
#include <gtest/gtest.h>

#include "biff_decryptor.hpp"
#include "dao_exception.hpp"
#include "wb_crypto.hpp"
#include "wb_test_support.hpp"

namespace {
using rows_t = std::vector<std::vector<std::string>>;

const std::wstring password = L"S3cret \u00e9t\u00e9";

struct encrypted_case {
  const char* file;
  std::wstring password;  // the one that opens it; empty: the built-in one
};

class encrypted : public ::testing::TestWithParam<encrypted_case> {};

TEST_P(encrypted, opens_with_its_password_and_reads_every_row) {
  auto book = wb_workbook::open(wb_bytes::from_file(fixture(GetParam().file)), GetParam().password);
  ASSERT_EQ(book->sheets().size(), 1u);
  EXPECT_EQ(book->sheets()[0].name, L"Locked");
  wb_table table(*book, 0, std::nullopt, true);
  EXPECT_EQ(table.record_count(), 300u);
  const rows_t rows = read_rows(table);
  ASSERT_EQ(rows.size(), 300u);
  // Rows from the first and the last 1,024-byte blocks of the stream.
  EXPECT_EQ(rows[0], (std::vector<std::string>{"n:1", "t:row 1 \u00fc", "n:1.5"}));
  EXPECT_EQ(rows[299], (std::vector<std::string>{"n:300", "t:row 300 \u00fc", "n:450"}));
}

TEST_P(encrypted, a_wrong_or_missing_password_is_refused_with_3161) {
  if (GetParam().password.empty()) GTEST_SKIP() << "opens with the built-in password";
  for (const std::wstring& wrong : {std::wstring(), std::wstring(L"S3cret ete"),
                                    GetParam().password + L"x", std::wstring(300, L'p')}) {
    try {
      wb_workbook::open(wb_bytes::from_file(fixture(GetParam().file)), wrong);
      ADD_FAILURE() << GetParam().file << " opened with a wrong password";
    } catch (const dao_exception& e) {
      EXPECT_EQ(e.number(), 3161u) << e.what();
      EXPECT_EQ(e.level(), tk_level_run);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    schemes, encrypted,
    ::testing::Values(encrypted_case{"rc4.xls", password}, encrypted_case{"rc4_velvet.xls", L""},
                      encrypted_case{"cryptoapi.xls", password},
                      encrypted_case{"cryptoapi40.xls", password},
                      encrypted_case{"xor.xls", L"S3cret"}, encrypted_case{"xor_velvet.xls", L""},
                      encrypted_case{"standard.xlsx", password},
                      encrypted_case{"agile.xlsx", password},
                      encrypted_case{"agile_velvet.xlsx", L""}),
    [](const auto& info) {
      std::string name = info.param.file;
      return name.substr(0, name.find('.')) + (name.find(".xlsx") != std::string::npos ? "_x" : "");
    });

TEST(encrypted_biff5, xor_obfuscated_excel_95_keeps_its_code_page) {
  auto book = wb_workbook::open(wb_bytes::from_file(fixture("xor95.xls")), L"S3cret");
  ASSERT_EQ(book->sheets().size(), 1u);
  EXPECT_EQ(book->sheets()[0].name, L"\u041e\u0442\u0447\u0451\u0442");
  wb_table table(*book, 0, std::nullopt, true);
  EXPECT_EQ(read_rows(table),
            (rows_t{{"t:\u041e\u0442\u0447\u0451\u0442", "n:12.5"}, {"t:\u0401\u0436", "n:-3"}}));
}

TEST(encrypted_biff5, xor_password_bytes_take_the_low_byte_else_the_high_one) {
  EXPECT_EQ(biff_decryptor::xor_password_bytes(L"Ab\u00e9\u0400"),
            (std::vector<std::uint8_t>{'A', 'b', 0xE9, 0x04}));
  // The verifier and key are 16-bit values of the password alone.
  const auto bytes = biff_decryptor::xor_password_bytes(L"S3cret");
  EXPECT_NE(biff_decryptor::xor_verifier(bytes), biff_decryptor::xor_verifier({'s'}));
  EXPECT_EQ(biff_decryptor::xor_key({}), 0u);
  EXPECT_EQ(biff_decryptor::xor_array(bytes).size(), 16u);
}

// Cuts and flipped bytes of each encrypted container: read or refused with
// a dao_exception, never anything else (sanitizers watch the rest).
TEST(encrypted_damage, cut_or_flipped_containers_fail_cleanly) {
  // Standard encryption spins 50,000 rounds per try: fewer tries for it.
  const std::pair<const char*, std::size_t> files[] = {{"rc4.xls", 61},
                                                       {"cryptoapi.xls", 61},
                                                       {"xor.xls", 61},
                                                       {"agile_fast.xlsx", 61},
                                                       {"standard.xlsx", 7}};
  for (const auto& [file, tries] : files) {
    const wb_bytes whole = wb_bytes::from_file(fixture(file));
    std::vector<std::uint8_t> data(whole.size());
    whole.read_at(0, data.data(), data.size());
    const std::size_t step = data.size() / tries + 1;
    for (std::size_t cut = 512; cut < data.size(); cut += step) {
      std::vector<std::uint8_t> part(data.begin(), data.begin() + static_cast<long>(cut));
      try {
        auto book = wb_workbook::open(wb_bytes::from_buffer(part), password);
        for (std::size_t i = 0; i < book->sheets().size(); ++i)
          wb_table(*book, i, std::nullopt, true);
      } catch (const dao_exception&) {
      }
    }
    for (std::size_t at = 512 + step / 2; at < data.size(); at += step) {
      std::vector<std::uint8_t> flipped = data;
      flipped[at] ^= 0x5A;
      try {
        auto book = wb_workbook::open(wb_bytes::from_buffer(flipped), password);
        for (std::size_t i = 0; i < book->sheets().size(); ++i)
          wb_table(*book, i, std::nullopt, true);
      } catch (const dao_exception&) {
      }
    }
  }
}

TEST(wb_crypto_test, digests_and_aes_match_published_vectors) {
  auto hex = [](const wb_byte_vector& v) {
    std::string out;
    char buf[3];
    for (auto b : v) {
      std::snprintf(buf, sizeof buf, "%02x", b);
      out += buf;
    }
    return out;
  };
  const std::string abc = "abc";
  const wb_byte_span text(reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size());
  EXPECT_EQ(hex(wb_crypto::digest(wb_hash::md5, {text})), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(hex(wb_crypto::digest(wb_hash::sha1, {text})),
            "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(hex(wb_crypto::digest(wb_hash::sha1, {text.first(1), text.subspan(1)})),
            "a9993e364706816aba3e25717850c26c9cd0d89d");
  // FIPS-197 appendix C.1: AES-128.
  wb_byte_vector key(16), plain(16);
  for (int i = 0; i < 16; ++i) {
    key[i] = static_cast<std::uint8_t>(i);
    plain[i] = static_cast<std::uint8_t>(i * 0x11);
  }
  const wb_byte_vector zero_iv(16, 0);
  const wb_byte_vector cipher = wb_crypto::aes_cbc_encrypt(key, zero_iv, plain);
  EXPECT_EQ(hex(cipher), "69c4e0d86a7b0430d8cdb78070b4c55a");
  EXPECT_EQ(wb_crypto::aes_ecb_decrypt(key, cipher), plain);
  EXPECT_EQ(wb_crypto::base64("aGVsbG8="), (wb_byte_vector{'h', 'e', 'l', 'l', 'o'}));
  EXPECT_TRUE(wb_crypto::base64("a").empty());
}
}  // namespace

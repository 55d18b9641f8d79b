// Runs the packet-parser fuzz entry point on the seed conversation and on many mutations of it, so
// that CI (gcc, no libFuzzer) still exercises malformed input under the sanitizers.
#include <gtest/gtest.h>

#include <random>

#include "packet_fuzz.hpp"

namespace {

void run(const std::string& input) {
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

TEST(packet_fuzz, seed_conversation_reaches_the_bulk_load_and_the_query) {
  // The mutations are only worth something if the unmutated seed gets past login and bulk load.
  std::string reply = tds_fuzz::converse(tds_fuzz::seed_conversation());
  const std::string row3 = std::string(
      "r\0o\0w\0 \0"
      "3\0",
      10);
  EXPECT_NE(reply.find(row3), std::string::npos)
      << "the SELECT after the bulk load did not return row 3";
  EXPECT_EQ(reply.find('\xAA'), std::string::npos) << "no ERROR token expected";
}

TEST(packet_fuzz, mutations_of_the_seed_only_end_the_connection) {
  const std::string seed = tds_fuzz::seed_conversation();
  std::mt19937 rng(20261207);
  for (int round = 0; round < 3000; ++round) {
    std::string input = seed;
    int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
      size_t at = rng() % input.size();
      switch (rng() % 5) {
        case 0:
          input[at] = static_cast<char>(input[at] ^ (1 << (rng() % 8)));
          break;
        case 1:
          input[at] = static_cast<char>(rng());
          break;
        case 2:
          input.resize(at);
          break;
        case 3:
          input.insert(at, std::string(1 + rng() % 8, static_cast<char>(rng())));
          break;
        default:
          input[at] = static_cast<char>(0xFF);
          break;
      }
      if (input.empty()) input = "x";
    }
    run(input);
  }
}

TEST(packet_fuzz, random_bytes_and_hostile_lengths_are_refused) {
  std::mt19937 rng(7);
  for (int round = 0; round < 500; ++round) {
    std::string input(rng() % 200, '\0');
    for (char& c : input) c = static_cast<char>(rng());
    run(input);
  }
  const std::string login = tds_fuzz::packet(16, tds_fuzz::login7("sa", "pw"));
  // A LOGIN7 whose declared length and field offsets point far outside the message.
  std::string bad_login = tds_fuzz::login7("sa", "pw");
  bad_login[0] = '\xFF';
  bad_login[1] = '\xFF';
  run(tds_fuzz::packet(16, bad_login));
  std::string bad_offsets = tds_fuzz::login7("sa", "pw");
  bad_offsets[40] = '\xF0';
  bad_offsets[41] = '\xFF';
  run(tds_fuzz::packet(16, bad_offsets));
  // A packet header that claims 64 KB, then one that claims less than its own header.
  run(std::string("\x01\x01\xFF\xFF\x00\x00\x01\x00", 8) + std::string(100, 'a'));
  run(std::string("\x01\x01\x00\x03\x00\x00\x01\x00", 8));
  // A message that never ends: packets without the end-of-message bit past the size limit.
  std::string endless = login;
  std::string chunk = tds_fuzz::packet(1, std::string(32000, 'a'), false);
  for (int i = 0; i < 600; ++i) endless += chunk;
  run(endless);
  // A bulk column count of 65535 and a varbinary(max) value claiming 4 GB.
  run(login +
      tds_fuzz::packet(
          1, tds_fuzz::sql_batch(
                 "CREATE TABLE t (a varbinary(max)); insert bulk t ([a] varbinary(max))")) +
      tds_fuzz::packet(7, std::string("\x81\xFF\xFF", 3)));
  std::string plp =
      std::string("\x81\x01\x00\x00\x00\x00\x00\x09\x00\xA5\xFF\xFF\x01\x61\x00\xD1", 16) +
      std::string("\x00\x00\x00\x00\x01\x00\x00\x00\xFF\xFF\xFF\xFF", 12);
  run(login +
      tds_fuzz::packet(
          1, tds_fuzz::sql_batch(
                 "CREATE TABLE t (a varbinary(max)); insert bulk t ([a] varbinary(max))")) +
      tds_fuzz::packet(7, plp));
}

}  // namespace

// odb_exception: a failure reported by SQL Server or by the client library.
//
// Built from what a connection recorded while one DB-Library call ran (the
// server's messages of severity 11 and above and the library's own errors).
// The code is 0x80000 | the low word of the result the classic provider gives
// for that server error, so that the error handler's SQL Server message map
// turns it into user text; errors without a mapped number keep the server's
// own text under the generic code 0x80E14. Value type; no shared state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tk_exception.hpp"

// One message as DB-Library's handlers report it.
struct odb_message {
  int number = 0;  // server error number, or DB-Library's own error number
  int state = 0;
  int severity = 0;
  std::string text;  // UTF-8
  std::string procedure;
  int line = 0;
  bool b_client = false;  // raised by the client library, not by the server
};

// Low words of the provider results the system knows by number.
inline constexpr std::uint32_t odb_low_integrity = 0x0E2F;
inline constexpr std::uint32_t odb_low_no_table = 0x0E37;
inline constexpr std::uint32_t odb_low_table_exists = 0x0E3F;
inline constexpr std::uint32_t odb_low_bad_login = 0x0E4D;
inline constexpr std::uint32_t odb_low_conversion = 0x0E07;
inline constexpr std::uint32_t odb_low_overflow = 0x0E57;
inline constexpr std::uint32_t odb_low_permission = 0x0E09;
inline constexpr std::uint32_t odb_low_index_exists = 0x0E34;
inline constexpr std::uint32_t odb_low_unreachable = 0x4005;
inline constexpr std::uint32_t odb_low_other = 0x0E14;

// The exception code for a server error number (0x80000 | low word).
std::uint32_t odb_code_for_server_error(int number);

// Whether the client library's error `number` means that the session broke
// or could not be made (as opposed to a refused statement).
bool odb_is_connection_error(int number);
// Whether the messages a failed call left say that the session broke.
bool odb_is_connection_failure(const std::vector<odb_message>& messages);

class odb_exception : public tk_exception {
 public:
  // From the messages one failed call left; the first error among them
  // decides the code and the text. No message at all gives the generic code
  // with `fallback` as text.
  odb_exception(const std::vector<odb_message>& messages, const std::string& fallback,
                int level = tk_level_item);
  // A failure detected on the client side with an explicit code.
  odb_exception(std::uint32_t code, const std::string& text, int level = tk_level_item);

  // Server error number of the deciding message; 0 for client-side failures.
  int server_number() const { return server_number_; }
  // The client library's own number when it decided; 0 otherwise.
  int client_number() const { return client_number_; }
  // The server did not answer within the time allowed.
  bool is_timeout() const;
  // The session broke, or no session could be made.
  bool is_connection_failure() const;
  const std::string& source() const { return source_; }
  const std::string& description() const { return description_; }
  std::uint32_t low_word() const { return code() & 0xFFFF; }

 private:
  int server_number_ = 0;
  int client_number_ = 0;
  std::string source_;
  std::string description_;
};

// A tds_test_server process for one test: started on a free loopback port,
// ended (by its own pid) when the object goes.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

class test_server {
 public:
  explicit test_server(const std::vector<std::string>& options = {});
  ~test_server();
  test_server(const test_server&) = delete;
  test_server& operator=(const test_server&) = delete;

  int port() const { return port_; }
  std::wstring address() const;  // "127.0.0.1,<port>"

  static constexpr const wchar_t* user = L"sa";
  static constexpr const wchar_t* password = L"Tessaly!2026";

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

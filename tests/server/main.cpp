// tds_test_server: a loopback-only TDS 7.4 server with an in-memory table engine, the local
// stand-in for SQL Server in the end-to-end tests and the demo. See README.md beside this file.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <string>
#include <thread>

#include "session.hpp"
#include "tds_text.hpp"

namespace {

const char* k_default_password = "Tessaly!2026";
const char* k_default_version =
    "Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64) \n\tSep 24 2019 13:48:23 \n\tCopyright "
    "(C) 2019 Microsoft "
    "Corporation\n\tDeveloper Edition (64-bit) on Linux (Debian GNU/Linux 12 (bookworm)) <X64>";

std::atomic<bool> g_stop{false};
int g_wake[2] = {-1, -1};

void on_signal(int) {
  g_stop = true;
  char b = 1;
  ssize_t ignored = write(g_wake[1], &b, 1);
  (void)ignored;
}

// The socket of one connection; reads return false when the peer has gone.
class socket_stream final : public tds::byte_stream {
 public:
  explicit socket_stream(int fd) : fd_(fd) {}
  ~socket_stream() override { close(fd_); }
  socket_stream(const socket_stream&) = delete;
  socket_stream& operator=(const socket_stream&) = delete;
  // Reads through a buffer: a bulk load arrives as thousands of small packets, and one recv per
  // header and per payload would cost more than parsing them.
  bool read(char* out, size_t n) override {
    size_t got = 0;
    while (got < n) {
      if (begin_ == end_) {
        ssize_t r = ::recv(fd_, buffer_, sizeof buffer_, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
          if (got == 0) return false;
          throw tds::protocol_error("connection closed inside a packet");
        }
        begin_ = 0;
        end_ = static_cast<size_t>(r);
      }
      size_t take = std::min(n - got, end_ - begin_);
      std::memcpy(out + got, buffer_ + begin_, take);
      begin_ += take;
      got += take;
    }
    return true;
  }
  void write(const char* data, size_t n) override {
    size_t sent = 0;
    while (sent < n) {
      ssize_t r = ::send(fd_, data + sent, n - sent, MSG_NOSIGNAL);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) throw tds::protocol_error("connection lost while writing");
      sent += static_cast<size_t>(r);
    }
  }
  int fd() const { return fd_; }

 private:
  int fd_;
  char buffer_[65536];
  size_t begin_ = 0, end_ = 0;
};

void usage() {
  std::fprintf(stderr,
               "usage: tds_test_server [--port N] [--login NAME:PASSWORD]... [--version TEXT] "
               "[--no-bulk] [--log FILE]\n"
               "  --port 0 picks a free port and prints it on the first line of standard output.\n"
               "  Default login: sa / %s\n",
               k_default_password);
}

}  // namespace

int main(int argc, char** argv) {
  int port = 1433;
  tds::server_config config;
  config.version = k_default_version;
  bool custom_logins = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto need = [&]() -> std::string {
      if (i + 1 >= argc) {
        usage();
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--port") {
      port = std::atoi(need().c_str());
    } else if (a == "--login") {
      std::string l = need();
      size_t colon = l.find(':');
      if (colon == std::string::npos || colon == 0) {
        usage();
        return 2;
      }
      if (!custom_logins) config.logins.clear();
      custom_logins = true;
      config.logins[tds::fold_case(l.substr(0, colon))] = l.substr(colon + 1);
    } else if (a == "--version") {
      config.version = need();
    } else if (a == "--no-bulk") {
      config.bulk_allowed = false;
    } else if (a == "--log") {
      std::string file = need();
      config.log = std::fopen(file.c_str(), "a");
      if (!config.log) {
        std::fprintf(stderr, "tds_test_server: cannot open log file %s: %s\n", file.c_str(),
                     std::strerror(errno));
        return 2;
      }
    } else if (a == "--help" || a == "-h") {
      usage();
      return 0;
    } else {
      std::fprintf(stderr, "tds_test_server: unknown option %s\n", a.c_str());
      usage();
      return 2;
    }
  }
  if (!custom_logins) config.logins["SA"] = k_default_password;

  int listener = socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener, 64) != 0) {
    std::fprintf(stderr, "tds_test_server: cannot listen on 127.0.0.1:%d: %s\n", port,
                 std::strerror(errno));
    return 1;
  }
  socklen_t len = sizeof addr;
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  std::printf("%d\n", ntohs(addr.sin_port));
  std::fflush(stdout);

  if (pipe(g_wake) != 0) return 1;
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  tds::engine engine;
  struct connection {
    std::thread thread;
    std::atomic<bool> done{false};
    int fd = -1;
  };
  std::list<connection> connections;
  std::mutex connections_mutex;
  int next_spid = 51;
  while (!g_stop) {
    pollfd fds[2] = {{listener, POLLIN, 0}, {g_wake[0], POLLIN, 0}};
    if (poll(fds, 2, 1000) < 0 && errno != EINTR) break;
    {
      std::lock_guard<std::mutex> lock(connections_mutex);
      for (auto it = connections.begin(); it != connections.end();) {
        if (it->done) {
          it->thread.join();
          it = connections.erase(it);
        } else {
          ++it;
        }
      }
    }
    if (g_stop || !(fds[0].revents & POLLIN)) continue;
    int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) continue;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard<std::mutex> lock(connections_mutex);
    connections.emplace_back();
    connection& c = connections.back();
    c.fd = fd;
    int spid = next_spid++;
    c.thread = std::thread([&c, &engine, &config, spid] {
      socket_stream stream(c.fd);
      try {
        tds::session s(stream, engine, config, spid);
        s.run();
      } catch (const tds::protocol_error& e) {
        if (config.log) config.log_statement(std::string("-- connection closed: ") + e.what());
      } catch (const std::exception& e) {
        std::fprintf(stderr, "tds_test_server: connection %d ended: %s\n", spid, e.what());
      }
      c.done = true;
    });
  }
  close(listener);
  {
    std::lock_guard<std::mutex> lock(connections_mutex);
    for (auto& c : connections) shutdown(c.fd, SHUT_RDWR);
  }
  for (auto& c : connections) c.thread.join();
  if (config.log) std::fclose(config.log);
  return 0;
}

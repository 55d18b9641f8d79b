// The server over real sockets: malformed packets close only their own connection, several clients
// work at once, attention cancels a request.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "packet_fuzz.hpp"
#include "test_support.hpp"

namespace tds_test {
namespace {

// Sends `bytes` on a fresh connection and tells whether the server closed it within two seconds.
bool server_closes_after(int port, const std::string& bytes) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return false;
  }
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  shutdown(fd, SHUT_WR);  // a truncated packet stays truncated
  bool closed = false;
  char buf[4096];
  for (int i = 0; i < 200 && !closed; ++i) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 10) > 0) {
      ssize_t n = recv(fd, buf, sizeof buf, 0);
      closed = n <= 0;
    }
  }
  close(fd);
  return closed;
}

struct malformed_case {
  const char* name;
  std::string bytes;
};

TEST(server_protocol, malformed_input_closes_only_that_connection) {
  server_process server;
  using namespace tds_fuzz;
  std::string login = packet(16, login7("sa", k_password));
  std::string bad_login = login7("sa", k_password);
  bad_login[44] = '\xF0';  // password offset far outside the message
  bad_login[45] = '\x7F';
  const malformed_case cases[] = {
      {"random_bytes", std::string("\x13\x37\xde\xad\xbe\xef\x00\x01\x02\x03garbage", 15)},
      {"length_below_header", std::string("\x12\x01\x00\x04\x00\x00\x01\x00", 8)},
      {"length_above_limit",
       std::string("\x12\x01\xFF\xFF\x00\x00\x01\x00", 8) + std::string(64, 'x')},
      {"truncated_packet", std::string("\x12\x01\x00\x40\x00\x00\x01\x00\x00\x00", 10)},
      {"unterminated_prelogin", packet(18, std::string("\x00\x00\x06\x00\x06", 5))},
      {"login_fields_outside", packet(16, bad_login)},
      {"batch_before_login", packet(1, sql_batch("SELECT 1"))},
      {"unknown_packet_type", login + packet(99, "x")},
      {"bulk_token_garbage",
       login + packet(1, sql_batch("CREATE TABLE t (a int); insert bulk t ([a] int)")) +
           packet(7, std::string("\x81\x01\x00\x00\x00\x00\x00\x09\x00\x99", 10))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(server_closes_after(server.port(), c.bytes));
    dblib_client still_there(server.port());
    ASSERT_TRUE(still_there.connected());
    EXPECT_EQ(still_there.scalar("SELECT 1"), "1");
  }
}

TEST(server_protocol, a_bulk_load_cut_short_leaves_no_rows_and_no_keys) {
  server_process server;
  // Two complete rows arrive, then the client vanishes before the end of the message.
  std::string cut = tds_fuzz::seed_login_and_table(k_password) +
                    tds_fuzz::packet(7, tds_fuzz::seed_bulk_tokens(2), false);
  EXPECT_TRUE(server_closes_after(server.port(), cut));
  dblib_client db(server.port());
  EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM t"), "0");
  EXPECT_TRUE(db.exec("INSERT INTO t (a) VALUES (1)")) << db.last_error_text();
}

// Sends `bytes` on a fresh connection and returns what the server answered.
std::string exchange(int port, const std::string& bytes) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size())) {
    char buf[4096];
    // Up to a second; once something has arrived, 100 ms of silence ends the reply.
    for (int i = 0, quiet = 0; i < 100 && !(quiet >= 10 && !reply.empty()); ++i) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 10) <= 0) {
        ++quiet;
        continue;
      }
      quiet = 0;
      ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      reply.append(buf, static_cast<size_t>(n));
    }
  }
  close(fd);
  return reply;
}

TEST(server_protocol, attention_inside_a_bulk_load_drops_the_batch) {
  server_process server;
  std::string bytes = tds_fuzz::seed_login_and_table(k_password) +
                      tds_fuzz::packet(7, tds_fuzz::seed_bulk_tokens(2), false) +
                      tds_fuzz::packet(6, "") +
                      tds_fuzz::packet(1, tds_fuzz::sql_batch("SELECT 42"));
  std::string reply = exchange(server.port(), bytes);
  // DONE with the attention bit, then the answer to the batch sent after it.
  EXPECT_NE(reply.find(std::string("\xFD\x20\x00", 3)), std::string::npos);
  EXPECT_NE(reply.find(std::string("\xD1\x04\x2A\x00\x00\x00", 6)), std::string::npos)
      << "the connection must go on after the attention";
  dblib_client db(server.port());
  EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM t"), "0");
  EXPECT_TRUE(db.exec("INSERT INTO t (a) VALUES (2)")) << db.last_error_text();
}

TEST(server_protocol, deeply_nested_sql_is_refused_not_a_crash) {
  server_process server;
  dblib_client db(server.port());
  ASSERT_TRUE(db.connected());
  std::string nested = "SELECT " + std::string(20000, '(') + "1" + std::string(20000, ')');
  EXPECT_FALSE(db.exec(nested));
  ASSERT_FALSE(db.errors().empty());
  EXPECT_EQ(db.errors()[0].number, 191);
  EXPECT_EQ(db.scalar("SELECT 1"), "1");
}

TEST(server_protocol, two_clients_work_at_once) {
  server_process server;
  {
    dblib_client setup(server.port());
    ASSERT_TRUE(setup.exec("CREATE DATABASE shared; USE shared; CREATE TABLE t (who int, n int)"));
  }
  auto worker = [&](int who, bool* ok) {
    dblib_client db(server.port(), "shared");
    *ok = db.connected();
    for (int i = 0; i < 100 && *ok; ++i)
      *ok = db.exec("INSERT INTO t VALUES (" + std::to_string(who) + ", " + std::to_string(i) +
                    "); SELECT COUNT(*) FROM t");
  };
  bool ok1 = false, ok2 = false;
  std::thread a(worker, 1, &ok1), b(worker, 2, &ok2);
  // A third client, tsql, runs while the two DB-Library clients insert.
  std::string out = tsql(server.port(), "SELECT @@VERSION");
  a.join();
  b.join();
  EXPECT_TRUE(ok1);
  EXPECT_TRUE(ok2);
  EXPECT_NE(out.find("Microsoft SQL Server"), std::string::npos) << out;
  dblib_client check(server.port(), "shared");
  EXPECT_EQ(check.scalar("SELECT COUNT(*) FROM t WHERE who = 1"), "100");
  EXPECT_EQ(check.scalar("SELECT COUNT(*) FROM t WHERE who = 2"), "100");
}

TEST(server_protocol, attention_cancels_and_the_connection_goes_on) {
  server_process server;
  dblib_client db(server.port());
  ASSERT_TRUE(db.exec("CREATE DATABASE a; USE a; CREATE TABLE t (n int)"));
  std::string values;
  for (int i = 0; i < 500; ++i) values += (i ? ",(" : "(") + std::to_string(i) + ")";
  ASSERT_TRUE(db.exec("INSERT INTO t VALUES " + values));
  ASSERT_EQ(dbcmd(db.proc(), "SELECT n FROM t; SELECT n FROM t"), SUCCEED);
  ASSERT_EQ(dbsqlexec(db.proc()), SUCCEED);
  ASSERT_EQ(dbresults(db.proc()), SUCCEED);
  ASSERT_EQ(dbnextrow(db.proc()), REG_ROW);
  EXPECT_EQ(dbcancel(db.proc()), SUCCEED);
  EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM t"), "500");
}

}  // namespace
}  // namespace tds_test

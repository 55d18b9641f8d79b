// tessrun driven by profile files, as the wizard stores them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run_process.hpp"
#include "temp_folder.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using tds_test::dblib_client;
using tds_test::k_password;
using tds_test::server_process;

class tessrun_profile : public ::testing::Test {
 protected:
  void SetUp() override { csv_ = write("items.csv", "id,name\r\n1,pen\r\n2,ink\r\n"); }

  std::string write(const std::string& name, const std::string& bytes) {
    return folder_.write(name, bytes);
  }

  // A profile as the wizard writes it: sections in code-unit order, CR LF.
  std::string profile(int port, const std::string& dest, const std::string& mode) {
    return write("run.tsp",
                 "[Available Queries]\r\n\r\n"
                 "[Generic settings]\r\ndest=" +
                     dest + "\r\nmode=" + mode +
                     "\r\nonly definitions=0\r\nskip indexes=0\r\nsrc=" + csv_ +
                     "\r\n\r\n"
                     "[MS Excel settings]\r\nconvert from xls=0\r\nextract field names=1\r\n"
                     "refine types=1\r\n\r\n"
                     "[MS SQL Server settings]\r\nconnect as DBO=0\r\nlogin=sa\r\npassword=" +
                     std::string(k_password) + "\r\nserver=127.0.0.1:" + std::to_string(port) +
                     "\r\nwindows authentication=0\r\n\r\n"
                     "[Selected Tables]\r\n\r\n");
  }

  static process_result tessrun(const std::vector<std::string>& args) {
    return run_process(TESSRUN_PATH, args, {"LC_ALL=C.UTF-8"});
  }

  static std::string count(int port, const std::string& database, const std::string& table) {
    dblib_client client(port, database);
    return client.scalar("SELECT COUNT(*) FROM " + table);
  }

  temp_folder folder_;
  std::string csv_;
};

TEST_F(tessrun_profile, options_after_the_profile_win_its_connection_included) {
  server_process server;
  // The profile names a server nobody answers on and a wrong login; the
  // options after it name the right ones, and they are the ones used.
  std::string text = read_file(profile(server.port(), "from_profile", "1"));
  const std::string right_server = "server=127.0.0.1:" + std::to_string(server.port());
  text.replace(text.find(right_server), right_server.size(), "server=127.0.0.1:1");
  text.replace(text.find("login=sa"), 8, "login=nobody");
  const std::string path = write("elsewhere.tsp", text);
  const process_result r =
      tessrun({"--profile=" + path, "--dest=from_command_line", "--tab_name=items", "--csv_delim=2",
               "--host=127.0.0.1:" + std::to_string(server.port()), "--user=sa",
               std::string("--pswd=") + k_password});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(count(server.port(), "from_command_line", "items"), "2");
  // Without them the profile's server is the one tried.
  const process_result alone = tessrun({"--profile=" + path, "--tab_name=items", "--csv_delim=2"});
  EXPECT_EQ(alone.status, 255);
  EXPECT_NE(alone.out.find("127.0.0.1"), std::string::npos) << alone.out;
}

TEST_F(tessrun_profile, options_before_the_profile_are_overridden) {
  server_process server;
  const std::string path = profile(server.port(), "from_profile", "1");
  const process_result r =
      tessrun({"--dest=ignored", "--profile=" + path, "--tab_name=items", "--csv_delim=2"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(count(server.port(), "from_profile", "items"), "2");
}

TEST_F(tessrun_profile, profile_mode_merge_appends) {
  server_process server;
  const std::string path = profile(server.port(), "shop", "3");
  const std::vector<std::string> args = {"--profile=" + path, "--tab_name=items", "--csv_delim=2"};
  ASSERT_EQ(tessrun(args).status, 0);
  ASSERT_EQ(tessrun(args).status, 0);
  EXPECT_EQ(count(server.port(), "shop", "items"), "4");
}

TEST_F(tessrun_profile, profiles_that_cannot_be_used_are_named_with_the_reason) {
  const std::string missing = folder_.file("none.tsp");
  const std::string big = write("big.tsp", "[Generic settings]\r\n");
  std::filesystem::resize_file(big, 17 * 1024 * 1024);
  const std::string notes = write("notes.txt", "shopping list\r\nmilk=2\r\n");
  const std::string other_ini = write("other.ini", "[Window]\r\nwidth=3\r\n");
  struct refused_case {
    std::string path;
    std::string message;
  };
  const refused_case cases[] = {
      {missing, "Profile " + missing + " does not exist."},
      {big, "Profile " + big + " is 17 MB; a profile holds a few settings"},
      {notes, notes + " is not a Tessaly profile"},
      {other_ini, other_ini + " is not a Tessaly profile"},
  };
  for (const refused_case& c : cases) {
    const process_result r = tessrun({"--profile=" + c.path, "--src=x"});
    EXPECT_EQ(r.status, 255) << c.path;
    EXPECT_EQ(r.out.rfind("Error:\n" + c.message, 0), 0u) << r.out;
  }
}

TEST_F(tessrun_profile, a_password_others_may_read_is_warned_about) {
  server_process server;
  const std::string path = profile(server.port(), "shop", "1");
  const std::vector<std::string> args = {"--profile=" + path, "--tab_name=items", "--csv_delim=2"};
  std::filesystem::permissions(path, std::filesystem::perms(0644));
  const process_result readable = tessrun(args);
  EXPECT_EQ(readable.status, 0) << readable.out << readable.err;
  EXPECT_EQ(readable.err, "Warning: the profile " + path +
                              " holds a password and other users may read it; run 'chmod 600 " +
                              path +
                              "', or leave the password out of the profile and give it in the "
                              "environment variable TESSALY_PASSWORD.\n");
  EXPECT_EQ(readable.err.find(k_password), std::string::npos);
  std::filesystem::permissions(path, std::filesystem::perms(0600));
  const process_result owner_only = tessrun(args);
  EXPECT_EQ(owner_only.status, 0);
  EXPECT_EQ(owner_only.err, "");
}

}  // namespace

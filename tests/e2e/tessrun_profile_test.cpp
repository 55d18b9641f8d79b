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
  void SetUp() override {
    csv_ = write("items.csv", "id,name\r\n1,pen\r\n2,ink\r\n");
  }

  std::string write(const std::string& name, const std::string& bytes) {
    return folder_.write(name, bytes);
  }

  // A profile as the wizard writes it: sections in code-unit order, CR LF.
  std::string profile(int port, const std::string& dest, const std::string& mode) {
    return write("run.tsp",
                 "[Available Queries]\r\n\r\n"
                 "[Generic settings]\r\ndest=" + dest + "\r\nmode=" + mode +
                     "\r\nonly definitions=0\r\nskip indexes=0\r\nsrc=" + csv_ + "\r\n\r\n"
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

TEST_F(tessrun_profile, options_after_the_profile_win_and_its_connection_is_kept) {
  server_process server;
  const std::string path = profile(server.port(), "from_profile", "1");
  // The later --dest wins; --host/--user/--pswd are ignored with a profile,
  // so the run still reaches the profile's server with its login.
  const process_result r = tessrun({"--profile=" + path, "--dest=from_command_line",
                                    "--tab_name=items", "--csv_delim=2", "--host=127.0.0.1:1",
                                    "--user=nobody", "--pswd=wrong"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(count(server.port(), "from_command_line", "items"), "2");
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

TEST_F(tessrun_profile, missing_profile_is_an_error) {
  const process_result r = tessrun({"--profile=" + folder_.file("none.tsp"), "--src=x"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out,
            "Error:\nProfile does not exist. Please verify the correct path/name was given.\n");
}

}  // namespace

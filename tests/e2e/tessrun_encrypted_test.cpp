// tessrun loading encrypted workbooks into the stand-in: each scheme with
// its password (option, environment or profile), Excel's built-in password
// without asking, and a wrong or missing password refused with exit 255.
// The password never reaches the trace log.
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>

#include "workbook_run.hpp"

namespace {

const std::string password = "S3cret été";

std::string fixture(const std::string& name) { return std::string(DAO_FIXTURES) + "/" + name; }

const char* refused_text =
    "Error:\nThe workbook and/or one of its worksheets is password protected. You should "
    "unprotect it first. Open it with MS Excel, remove the password and run Tessaly again. \n";

class tessrun_encrypted : public tessrun_workbook {
 protected:
  // The table every encrypted sample holds: 300 rows.
  void expect_locked(const std::string& database) {
    EXPECT_EQ(query(database, "SELECT COUNT(*), SUM(id), MAX(amount) FROM Locked"),
              (table_rows{{"300", "45150", "450"}}));
    EXPECT_EQ(query(database, "SELECT name FROM Locked WHERE id = 300"),
              (table_rows{{"row 300 ü"}}));
  }
};

TEST_F(tessrun_encrypted, every_scheme_opens_with_its_password_and_refuses_a_wrong_one) {
  const struct {
    const char* file;
    std::string password;
  } cases[] = {{"rc4.xls", password},
               {"cryptoapi.xls", password},
               {"xor.xls", "S3cret"},
               {"standard.xlsx", password},
               {"agile.xlsx", password}};
  int n = 0;
  for (const auto& c : cases) {
    const std::string database = "enc" + std::to_string(n++);
    const process_result right = load(fixture(c.file), database, {"--src_pswd=" + c.password});
    EXPECT_EQ(right.status, 0) << c.file << "\n" << right.out << right.err;
    expect_locked(database);

    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"--src_pswd=wrong"}, std::vector<std::string>{}}) {
      const process_result r = load(fixture(c.file), database + "_wrong", wrong);
      EXPECT_EQ(r.status, 255) << c.file;
      EXPECT_EQ(r.out, refused_text) << c.file;
    }
  }
}

TEST_F(tessrun_encrypted, write_protected_workbooks_open_without_asking) {
  for (const char* file : {"rc4_velvet.xls", "xor_velvet.xls", "agile_velvet.xlsx"}) {
    const std::string database = std::string("velvet_") + file[0] + file[1];
    const process_result r = load(fixture(file), database);
    EXPECT_EQ(r.status, 0) << file << "\n" << r.out << r.err;
    expect_locked(database);
  }
}

TEST_F(tessrun_encrypted, the_password_comes_from_the_environment_or_a_profile_never_the_log) {
  const std::string log = folder_.file("trace.log");
  const process_result from_env = load(fixture("agile.xlsx"), "from_env", {"--logfile=" + log},
                                       {"TESSALY_SRC_PASSWORD=" + password});
  EXPECT_EQ(from_env.status, 0) << from_env.out << from_env.err;
  expect_locked("from_env");

  // An option given wins over the environment.
  const process_result option_wins =
      load(fixture("agile.xlsx"), "option_wins", {"--src_pswd=" + password},
           {"TESSALY_SRC_PASSWORD=wrong"});
  EXPECT_EQ(option_wins.status, 0) << option_wins.out;

  const std::string profile = folder_.write(
      "locked.tsp",
      "[Generic settings]\r\ndest=from_profile\r\nmode=0\r\nsrc=" + fixture("rc4.xls") +
          "\r\n\r\n[MS Excel settings]\r\nconvert from xls=1\r\nextract field names=1\r\n"
          "password=" +
          password +
          "\r\n\r\n"
          "[MS SQL Server settings]\r\nlogin=sa\r\npassword=" +
          std::string(tds_test::k_password) + "\r\nserver=127.0.0.1:" +
          std::to_string(server_.port()) + "\r\n\r\n[Selected Tables]\r\nLocked\r\n\r\n");
  ::chmod(profile.c_str(), 0600);
  const process_result from_profile = run_process(
      TESSRUN_PATH, {"--profile=" + profile, "--logfile=" + log + "2"}, {"LC_ALL=C.UTF-8"});
  EXPECT_EQ(from_profile.status, 0) << from_profile.out << from_profile.err;
  EXPECT_NE(from_profile.out.find("Table Locked: 300 rows loaded"), std::string::npos)
      << from_profile.out << from_profile.err;
  expect_locked("from_profile");

  for (const std::string& file : {log, log + "2"}) {
    std::ifstream in(file, std::ios::binary);
    const std::string trace((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_FALSE(trace.empty()) << file;
    EXPECT_EQ(trace.find("S3cret"), std::string::npos) << file;
  }
}

}  // namespace

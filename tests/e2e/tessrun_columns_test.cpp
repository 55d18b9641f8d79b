// A workbook's column sizes are known before its table is created: the
// table is created with them, and no mode ever sends ALTER COLUMN for it.
// Text columns are as wide as their longest value rounded up to ten.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "run_process.hpp"
#include "temp_folder.hpp"
#include "test_support.hpp"

namespace {

using tds_test::dblib_client;
using tds_test::k_password;
using tds_test::server_process;

// Sheet "notes": a short text column, a text column with one value of 300
// characters (past 255, so long text) and a number.
const char* const k_write_xlsx = R"(
import openpyxl, sys
wb = openpyxl.Workbook()
ws = wb.active
ws.title = 'notes'
ws.append(['short', 'long', 'n'])
ws.append(['a', 'b', 1])
ws.append(['c' * 255, 'd' * 300, 2])
wb.save(sys.argv[1])
)";

std::vector<std::string> lines_with(const std::string& path, const std::string& text) {
  std::vector<std::string> found;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);)
    if (line.find(text) != std::string::npos) found.push_back(line);
  return found;
}

TEST(tessrun_columns, workbook_tables_are_created_at_their_final_size_in_every_mode) {
  temp_folder folder;
  const std::string log = folder.file("server.log");
  server_process server({"--log", log});
  const std::string book = folder.file("notes.xlsx");
  ASSERT_EQ(run_process("/usr/bin/python3", {"-c", k_write_xlsx, book}).status, 0);

  for (int mode : {0, 1, 3, 2, 0}) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    const process_result r =
        run_process(TESSRUN_PATH,
                    {"--src=" + book, "--dest=wb", "--extr_fn", "--mode=" + std::to_string(mode),
                     "--host=127.0.0.1:" + std::to_string(server.port()), "--user=sa",
                     std::string("--pswd=") + k_password},
                    {"LC_ALL=C.UTF-8"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
  }
  const std::vector<std::string> creates = lines_with(log, "CREATE TABLE");
  ASSERT_FALSE(creates.empty());
  for (const std::string& create : creates) {
    EXPECT_NE(create.find("[short] nvarchar(260)"), std::string::npos) << create;
    EXPECT_NE(create.find("[long] nvarchar(300)"), std::string::npos) << create;
    EXPECT_NE(create.find("[n] int"), std::string::npos) << create;
  }
  EXPECT_TRUE(lines_with(log, "ALTER COLUMN").empty()) << lines_with(log, "ALTER COLUMN").front();
  dblib_client client(server.port(), "wb");
  EXPECT_EQ(client.scalar("SELECT COUNT(*) FROM notes"), "2");
}

}  // namespace

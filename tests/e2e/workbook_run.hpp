// The fixture of the end-to-end workbook tests: a stand-in server, a
// temporary folder, workbooks written by Python scripts, tessrun runs against
// the server and queries of what landed.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "run_process.hpp"
#include "temp_folder.hpp"
#include "test_support.hpp"

using table_rows = std::vector<std::vector<std::string>>;

class tessrun_workbook : public ::testing::Test {
 protected:
  // Runs a Python script that writes the workbook named by its argument.
  std::string make(const std::string& name, const std::string& script) {
    const std::string path = folder_.file(name);
    const process_result r = run_process("/usr/bin/python3", {"-c", script, path});
    EXPECT_EQ(r.status, 0) << r.err;
    return path;
  }

  // Loads a workbook with header names; `env` adds to the environment, whose
  // locale is C.UTF-8 unless it says otherwise.
  process_result load(const std::string& book, const std::string& database,
                      std::vector<std::string> extra = {}, std::vector<std::string> env = {}) {
    std::vector<std::string> args = {
        "--src=" + book, "--dest=" + database,
        "--extr_fn",     "--host=127.0.0.1:" + std::to_string(server_.port()),
        "--user=sa",     std::string("--pswd=") + tds_test::k_password};
    args.insert(args.end(), extra.begin(), extra.end());
    env.insert(env.begin(), "LC_ALL=C.UTF-8");
    return run_process(TESSRUN_PATH, args, env);
  }

  table_rows query(const std::string& database, const std::string& sql) {
    tds_test::dblib_client client(server_.port(), database);
    EXPECT_TRUE(client.exec(sql)) << sql << ": " << client.last_error_text();
    return client.results().empty() ? table_rows{} : client.results().front().rows;
  }

  // Column name -> "type(length)" as the server reports it.
  std::map<std::string, std::string> column_types(const std::string& database,
                                                  const std::string& table) {
    std::map<std::string, std::string> types;
    for (const auto& row : query(database,
                                 "SELECT COLUMN_NAME, DATA_TYPE, CHARACTER_MAXIMUM_LENGTH "
                                 "FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = N'" +
                                     table + "'"))
      types[row[0]] = row[1] + (row[2] == "NULL" ? "" : "(" + row[2] + ")");
    return types;
  }

  tds_test::server_process server_;
  temp_folder folder_;
};

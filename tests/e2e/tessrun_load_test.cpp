// tessrun loading CSV files through both of the server's load paths: bulk copy,
// and row-by-row INSERT when the server refuses bulk load (--no-bulk). Each
// case runs once per path and reads the table back through DB-Library.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
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
using table_rows = std::vector<std::vector<std::string>>;

enum class load_path { bulk, insert };

std::string path_name(const ::testing::TestParamInfo<load_path>& info) {
  return info.param == load_path::bulk ? "bulk_copy" : "insert";
}

// A UTF-8 string of `count` copies of `piece`.
std::string repeat(const std::string& piece, std::size_t count) {
  std::string out;
  out.reserve(piece.size() * count);
  for (std::size_t i = 0; i < count; ++i) out += piece;
  return out;
}

class tessrun_load : public ::testing::TestWithParam<load_path> {
 protected:
  void SetUp() override {
    log_ = folder_.path() / "server.log";
    std::vector<std::string> args = {"--log", log_.string()};
    if (GetParam() == load_path::insert) args.push_back("--no-bulk");
    server_ = std::make_unique<server_process>(args);
  }
  void TearDown() override { server_.reset(); }

  int port() const { return server_->port(); }

  std::string write(const std::string& name, const std::string& bytes) {
    return folder_.write(name, bytes);
  }

  // Loads a comma-separated file with a header line into shop.<table>.
  process_result load_csv(const std::string& csv, const std::string& table,
                          std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--from_csv",
                                     "--src=" + csv,
                                     "--dest=shop",
                                     "--tab_name=" + table,
                                     "--csv_delim=2",
                                     "--extr_fn",
                                     "--host=127.0.0.1:" + std::to_string(port()),
                                     "--user=sa",
                                     std::string("--pswd=") + k_password};
    args.insert(args.end(), extra.begin(), extra.end());
    return run_process(TESSRUN_PATH, args, {"LC_ALL=C.UTF-8"});
  }

  table_rows rows(const std::string& sql) {
    dblib_client client(port(), "shop");
    EXPECT_TRUE(client.exec(sql)) << sql << ": " << client.last_error_text();
    return client.results().empty() ? table_rows{} : client.results().front().rows;
  }

  void exec(const std::string& sql, const std::string& database = "shop") {
    dblib_client client(port(), database);
    ASSERT_TRUE(client.exec(sql)) << sql << ": " << client.last_error_text();
  }

  // Statements the server received that change the table's columns.
  std::vector<std::string> alter_statements() const {
    std::vector<std::string> found;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);)
      if (line.find("ALTER TABLE") != std::string::npos) found.push_back(line);
    return found;
  }

  temp_folder folder_;
  fs::path log_;
  std::unique_ptr<server_process> server_;
};

const char* const k_names[] = {"Ångström", "Zoë", "Иван", "東京", "plain name", "O'Brien"};

// Rows of mixed types; one CSV line per row. Texts carry a comma and a quote
// now and then, so the reader's quoting is part of what is checked.
std::string mixed_csv(int count) {
  std::string csv = "id,code,name,qty,price,day,note\r\n";
  char line[256];
  for (int i = 1; i <= count; ++i) {
    const char* note = i % 7 == 0 ? "\"say \"\"hi\"\", then go\"" : "ok";
    std::snprintf(line, sizeof line, "%d,C%08d,%s %d,%d,%d.%02d,20%02d-%02d-%02d,%s\r\n", i, i,
                  k_names[i % 6], i, (i * 37) % 30000 - 15000, (i * 7919) % 100000, i % 100,
                  10 + i % 20, 1 + i % 12, 1 + i % 28, note);
    csv += line;
  }
  return csv;
}

// The rows of a table and its column types, as two servers would be compared.
struct loaded_table {
  table_rows contents;
  table_rows columns;
};

// The rows cross the 1,000-row bulk batch boundary twice and end in a partial
// batch; the INSERT path must land the same values in the same column types.
// (A sanitized build loads a few thousand rows a second at best, so 100,000
// rows would take minutes here; bench/load_csv loads a million rows in a
// Release build.)
TEST(tessrun_load_paths, large_file_lands_the_same_through_bulk_copy_and_insert) {
  constexpr int count = 2500;
  std::string pattern = (fs::temp_directory_path() / "tessrun-large-XXXXXX").string();
  const fs::path folder = mkdtemp(pattern.data());
  const std::string csv = (folder / "big.csv").string();
  std::ofstream(csv, std::ios::binary) << mixed_csv(count);

  auto load = [&](bool bulk) {
    server_process server(bulk ? std::vector<std::string>{}
                               : std::vector<std::string>{"--no-bulk"});
    const process_result r =
        run_process(TESSRUN_PATH,
                    {"--from_csv", "--src=" + csv, "--dest=shop", "--tab_name=big", "--csv_delim=2",
                     "--extr_fn", "--host=127.0.0.1:" + std::to_string(server.port()), "--user=sa",
                     std::string("--pswd=") + k_password},
                    {"LC_ALL=C.UTF-8"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out,
              "Converting CSV file " + csv + "\nTable big: 2500 rows loaded, 0 rows refused\n")
        << (bulk ? "bulk" : "insert");
    dblib_client client(server.port(), "shop");
    loaded_table t;
    EXPECT_TRUE(client.exec("SELECT * FROM big")) << client.last_error_text();
    if (!client.results().empty()) t.contents = client.results().front().rows;
    // CSV columns are text, so the server would order the ids as strings.
    std::sort(t.contents.begin(), t.contents.end(),
              [](const auto& a, const auto& b) { return std::stol(a.at(0)) < std::stol(b.at(0)); });
    EXPECT_TRUE(client.exec(
        "SELECT COLUMN_NAME, DATA_TYPE, CHARACTER_MAXIMUM_LENGTH, IS_NULLABLE FROM "
        "INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = N'big' ORDER BY ORDINAL_POSITION"));
    if (!client.results().empty()) t.columns = client.results().front().rows;
    EXPECT_EQ(client.scalar("SELECT COUNT(*) FROM big"), std::to_string(count));
    return t;
  };
  const loaded_table bulk = load(true);
  const loaded_table insert = load(false);
  std::error_code ignored;
  fs::remove_all(folder, ignored);

  ASSERT_EQ(bulk.contents.size(), static_cast<std::size_t>(count));
  EXPECT_EQ(bulk.columns, insert.columns);
  ASSERT_EQ(bulk.columns.size(), 7u);
  EXPECT_TRUE(bulk.contents == insert.contents) << "the two paths landed different rows";

  // Identity and texts are compared with the file itself, so that both paths
  // agreeing on a wrong value would still fail.
  std::size_t mismatches = 0;
  for (int i = 1; i <= count && mismatches < 5; ++i) {
    const std::vector<std::string>& row = bulk.contents[i - 1];
    ASSERT_EQ(row.size(), 7u);
    char code[16];
    std::snprintf(code, sizeof code, "C%08d", i);
    const std::string name = std::string(k_names[i % 6]) + " " + std::to_string(i);
    const std::string note = i % 7 == 0 ? "say \"hi\", then go" : "ok";
    const std::vector<std::string> want_text = {std::to_string(i), code, name, note};
    const std::vector<std::string> got_text = {row[0], row[1], row[2], row[6]};
    if (got_text != want_text) {
      ++mismatches;
      ADD_FAILURE() << "row " << i << ": " << row[0] << "|" << row[1] << "|" << row[2] << "|"
                    << row[6];
    }
  }
}

TEST_P(tessrun_load, text_of_every_length_lands_whole_and_widens_once_per_step) {
  // Lengths around the created size (50) and the first widening step (255),
  // then one far beyond it; two-byte UTF-8 letters so that bytes and
  // characters differ, and a distinct last character to catch any cut.
  const std::vector<std::size_t> lengths = {50, 51, 255, 256, 5000, 60};
  std::string csv = "id,body,tag\n";
  std::vector<std::string> values;
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    values.push_back(repeat("ж", lengths[i] - 1) + "!");
    csv += std::to_string(i + 1) + "," + values.back() + ",t\n";
  }
  // Widening is what untyped loading does; a typed load sizes the column
  // from all values before creating it.
  const process_result r = load_csv(write("long.csv", csv), "long_text", {"--no_refine"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;

  const table_rows got = rows("SELECT id, body FROM long_text ORDER BY id");
  ASSERT_EQ(got.size(), values.size());
  for (std::size_t i = 0; i < values.size(); ++i)
    EXPECT_TRUE(got[i][1] == values[i])
        << "value of " << lengths[i] << " characters came back as " << got[i][1].size() << " bytes";

  EXPECT_EQ(rows("SELECT DATA_TYPE, CHARACTER_MAXIMUM_LENGTH FROM INFORMATION_SCHEMA.COLUMNS "
                 "WHERE TABLE_NAME = N'long_text' AND COLUMN_NAME = N'body'"),
            (table_rows{{"nvarchar", "-1"}}));
  // One ALTER to nvarchar(255) at 51 characters, one to nvarchar(max) at 256;
  // 255, 5,000 and the short rows after them change nothing.
  const std::vector<std::string> alters = alter_statements();
  ASSERT_EQ(alters.size(), 2u) << (alters.empty() ? "" : alters.front());
  EXPECT_NE(alters[0].find("[body] NVARCHAR(255)"), std::string::npos) << alters[0];
  EXPECT_NE(alters[1].find("[body] NVARCHAR(MAX)"), std::string::npos) << alters[1];
}

TEST_P(tessrun_load, too_long_value_for_an_existing_column_fails_its_row_by_table_and_record) {
  exec("CREATE DATABASE shop", "");
  exec("CREATE TABLE narrow (id int NOT NULL, s nvarchar(10) NULL)");
  const std::string csv = write("narrow.csv", "id,s\n1,ten chars!\n2,twelve chars\n3,short\n");
  const process_result r = load_csv(csv, "narrow", {"--mode=3"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  // One error, naming the table, the record and its line, worded the same on
  // both paths.
  EXPECT_EQ(r.out, "Converting CSV file " + csv +
                       "\nError:\nnarrow, record #2, line 3: String or binary data would be "
                       "truncated in table '[dbo].[narrow]', column 's'. Truncated value: "
                       "'twelve cha'.\nTable narrow: 2 rows loaded, 1 rows refused\n");
  EXPECT_EQ(rows("SELECT id, s FROM narrow ORDER BY id"),
            (table_rows{{"1", "ten chars!"}, {"3", "short"}}));
  EXPECT_TRUE(alter_statements().empty()) << "an existing narrow column is not widened";
}

TEST_P(tessrun_load, duplicate_key_in_merge_fails_that_row_and_the_rest_land) {
  // 1,500 rows: on the bulk path the duplicate sits in the second batch, which
  // the server refuses whole; every other row of that batch must still land.
  exec("CREATE DATABASE shop", "");
  exec("CREATE TABLE keyed (id int NOT NULL PRIMARY KEY, who nvarchar(20) NULL)");
  exec("INSERT INTO keyed (id, who) VALUES (1200, N'already here')");
  std::string csv = "id,who\n";
  for (int i = 1001; i <= 2500; ++i)
    csv += std::to_string(i) + ",O'Neil " + std::to_string(i) + "\n";
  const process_result r = load_csv(write("keyed.csv", csv), "keyed", {"--mode=3"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  // id 1200 is the 200th record of the file, on its 201st line; the bulk
  // path reports it after the batch failed, and still knows the line.
  const std::string error_head = "Error:\nkeyed, record #200, line 201: ";
  ASSERT_NE(r.out.find(error_head), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("violates the integrity constraints"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Error:", r.out.find(error_head) + 1), std::string::npos)
      << "only the duplicate fails: " << r.out;
  // The replayed batch counts the rows the server took, not the rows sent.
  EXPECT_TRUE(r.out.ends_with("Table keyed: 1499 rows loaded, 1 rows refused\n")) << r.out;

  EXPECT_EQ(rows("SELECT COUNT(*) FROM keyed"), (table_rows{{"1500"}}));
  EXPECT_EQ(rows("SELECT who FROM keyed WHERE id = 1200"), (table_rows{{"already here"}}));
  EXPECT_EQ(rows("SELECT who FROM keyed WHERE id = 1199 OR id = 1201 OR id = 2500 ORDER BY id"),
            (table_rows{{"O'Neil 1199"}, {"O'Neil 1201"}, {"O'Neil 2500"}}));
}

TEST_P(tessrun_load, cyrillic_cjk_emoji_and_empty_text_land_intact) {
  struct text_case {
    const char* what;
    std::string value;
  };
  const std::vector<text_case> cases = {
      {"Cyrillic", "Съешь же ещё этих мягких французских булок"},
      {"CJK", "東京都の天気は晴れ、한국어도"},
      {"emoji outside the BMP", "ok 😀🎉 𝄞 done"},
      {"accents", "Ångström, Zoë, façade"},
      {"empty", ""},
  };
  // The table exists with a NOT NULL text column: an empty field must arrive
  // as an empty string, not as NULL (which the column would refuse).
  exec("CREATE DATABASE shop", "");
  exec("CREATE TABLE texts (id int NOT NULL, body nvarchar(100) NOT NULL)");
  // The empty one is written as nothing between the delimiter and the line
  // end: the reader takes a lone "" for an escaped quote.
  std::string csv = "id,body\n";
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string field = cases[i].value.empty() ? "" : "\"" + cases[i].value + "\"";
    csv += std::to_string(i + 1) + "," + field + "\n";
  }
  const process_result r = load_csv(write("texts.csv", csv), "texts", {"--mode=3"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;

  const table_rows got = rows("SELECT id, body, LEN(body) FROM texts ORDER BY id");
  ASSERT_EQ(got.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(got[i][1], cases[i].value) << cases[i].what;
}

TEST_P(tessrun_load, texts_land_intact_in_a_table_tessrun_creates) {
  const std::string cyrillic = "Привет, мир";
  const std::string cjk = "漢字かなカナ";
  const std::string emoji = "🚀 launch 👩‍💻";
  const std::string csv = "id,body\n1,\"" + cyrillic + "\"\n2," + cjk + "\n3," + emoji + "\n";
  const process_result r = load_csv(write("created.csv", csv), "made");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(rows("SELECT body FROM made ORDER BY id"), (table_rows{{cyrillic}, {cjk}, {emoji}}));
  EXPECT_EQ(rows("SELECT DATA_TYPE FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = N'made' "
                 "AND COLUMN_NAME = N'body'"),
            (table_rows{{"nvarchar"}}));
}

TEST_P(tessrun_load, table_and_column_names_land_verbatim) {
  const std::string table = "Order's \"list\" ]x Заказы";
  const std::vector<std::string> columns = {"unit price", "a]b",  "say \"hi\"",
                                            "it's",       "цена", "名前"};
  std::string header;
  for (const std::string& c : columns) {
    std::string quoted = "\"";
    for (char ch : c) quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    header += (header.empty() ? "" : ",") + quoted + "\"";
  }
  const std::string csv = header + "\n1,2,3,4,5,6\n7,8,9,10,11,12\n";
  const process_result r = load_csv(write("names.csv", csv), table);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;

  // Names are compared as the server's catalog holds them.
  EXPECT_EQ(rows("SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES"), (table_rows{{table}}));
  table_rows want_columns;
  for (const std::string& c : columns) want_columns.push_back({c});
  EXPECT_EQ(rows("SELECT COLUMN_NAME FROM INFORMATION_SCHEMA.COLUMNS ORDER BY ORDINAL_POSITION"),
            want_columns);
  EXPECT_EQ(rows("SELECT [unit price], [a]]b], [цена] FROM [Order's \"list\" ]]x Заказы] "
                 "ORDER BY [unit price]"),
            (table_rows{{"1", "2", "5"}, {"7", "8", "11"}}));
}

TEST(tessrun_load_paths, unreachable_server_is_reported_and_ends_with_255) {
  // A port nobody listens on: bound, then closed again.
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const int port = ntohs(address.sin_port);
  close(listener);

  const std::string csv = tds_test::write_temp_file("id\n1\n");
  const process_result r = run_process(TESSRUN_PATH,
                                       {"--from_csv", "--src=" + csv, "--dest=shop", "--tab_name=t",
                                        "--csv_delim=2", "--host=127.0.0.1:" + std::to_string(port),
                                        "--user=sa", std::string("--pswd=") + k_password},
                                       {"LC_ALL=C.UTF-8"});
  std::remove(csv.c_str());
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out.rfind("Error:\nUnable to connect: ", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("Connection refused"), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(paths, tessrun_load, ::testing::Values(load_path::bulk, load_path::insert),
                         path_name);

}  // namespace

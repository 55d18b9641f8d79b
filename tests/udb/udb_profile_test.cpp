#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tk_exception.hpp"
#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "udb_profile.hpp"
#include "udb_profile_keys.hpp"

namespace {

namespace fs = std::filesystem;

class profile_files : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tessaly_profile_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::wstring write(const std::string& text, const char* name = "p.tsp") {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << text;
    return p.wstring();
  }
  std::string read(const std::wstring& path) {
    std::ifstream in{fs::path(path), std::ios::binary};
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::wstring path(const char* name) { return (dir_ / name).wstring(); }

  fs::path dir_;
};

TEST(udb_profile, starts_with_three_empty_sections_in_code_unit_order) {
  udb_profile p;
  EXPECT_EQ(p.to_text(),
            "[Available Queries]\r\n\r\n[Generic settings]\r\n\r\n[Selected Tables]\r\n\r\n");
}

TEST(udb_profile, first_value_wins_and_lookups_are_exact) {
  udb_profile p;
  p.set_value(L"S", L"key", L"one");
  p.set_value(L"S", L"key", L"two");
  EXPECT_EQ(p.get_value(L"S", L"key"), L"one");
  EXPECT_EQ(p.get_value(L"S", L"KEY"), L"");
  EXPECT_EQ(p.get_value(L"s", L"key"), L"");
  EXPECT_EQ(p.get_value(L"missing", L"key"), L"");
  EXPECT_THROW(p.get_section(L"missing"), tk_exception);
  EXPECT_TRUE(p.get_section(udb_profile::selected_tables).empty());
}

struct load_case {
  const char* what;
  std::string text;
  bool result;
  // section, key, expected value ("<none>" when the key must be absent)
  std::vector<std::tuple<std::wstring, std::wstring, std::wstring>> expect;
};

TEST_F(profile_files, load_cases) {
  const std::wstring none = L"<none>";
  const load_case cases[] = {
      {"pairs without a header", "a=1\r\nb=2\r\n", false, {}},
      {"blanks around the brackets",
       "  [Generic settings]  \r\nmode=2\r\n",
       true,
       {{L"Generic settings", L"mode", L"2"}}},
      {"an unclosed bracket is a key", "[S]\r\n[abc\r\n", true, {{L"S", L"[abc", L""}}},
      {"first of duplicate keys wins",
       "[S]\r\nk=first\r\nk=second\r\n",
       true,
       {{L"S", L"k", L"first"}}},
      {"key trimmed, blanks after = kept",
       "[S]\r\n  k  =  v w  \r\n",
       true,
       {{L"S", L"k", L"  v w"}}},
      {"value keeps later equal signs", "[S]\r\nq=a=b\r\n", true, {{L"S", L"q", L"a=b"}}},
      {"section name is not trimmed inside",
       "[ S ]\r\nk=v\r\n",
       true,
       {{L" S ", L"k", L"v"}, {L"S", L"k", none}}},
      {"a section given twice collects both",
       "[S]\r\na=1\r\n[T]\r\n[S]\r\nb=2\r\na=3\r\n",
       true,
       {{L"S", L"a", L"1"}, {L"S", L"b", L"2"}}},
      {"LF-only line ends", "[S]\nk=v\n\nx\n", true, {{L"S", L"k", L"v"}, {L"S", L"x", L""}}},
      {"no final line end", "[S]\r\nk=v", true, {{L"S", L"k", L"v"}}},
      {"empty brackets name the empty section", "[]\r\nk=v\r\n", true, {{L"", L"k", L"v"}}},
      {"a lone CR inside a value stays", "[S]\r\nk=a\rb\r\n", true, {{L"S", L"k", L"a\rb"}}},
      {"text after a NUL byte is dropped",
       std::string("[S]\r\nk=ab\0cd\r\n", 14),
       true,
       {{L"S", L"k", L"ab"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    udb_profile p;
    EXPECT_EQ(p.load(write(c.text)), c.result);
    for (const auto& [section, key, value] : c.expect) {
      if (value == none) {
        EXPECT_TRUE(!p.has_section(section) || !p.get_section(section).count(key));
      } else {
        ASSERT_TRUE(p.has_section(section));
        ASSERT_TRUE(p.get_section(section).count(key));
        EXPECT_EQ(p.get_value(section, key), value);
      }
    }
  }
}

TEST_F(profile_files, a_pair_before_any_header_ends_the_load) {
  // Later sections are not read: the file is not a profile.
  udb_profile p;
  EXPECT_FALSE(p.load(write("k=v\r\n[S]\r\na=1\r\n")));
  EXPECT_FALSE(p.has_section(L"S"));
}

// The message a failed load gives, or "" when it loads.
std::string load_error(const std::wstring& file) {
  udb_profile p;
  try {
    p.load(file);
  } catch (const tk_mail_assertion&) {
    return "internal assertion";
  } catch (const tk_exception& e) {
    return e.what();
  }
  return "";
}

TEST_F(profile_files, missing_and_unreadable_are_told_apart) {
  const std::string missing = tk_w2a(path("nope.tsp"));
  EXPECT_EQ(
      load_error(path("nope.tsp")),
      "Profile " + missing + " does not exist. Please verify the correct path/name was given.");
  EXPECT_EQ(load_error(path("nope.tsp/inner.tsp")),
            "Profile " + missing +
                "/inner.tsp does not exist. Please verify the correct path/name "
                "was given.");
  EXPECT_EQ(load_error(dir_.wstring()),
            "Profile " + dir_.string() + " cannot be read: Is a directory.");
}

// A profile the user may not read (root reads everything, so the load runs
// in a child that has given up root).
TEST_F(profile_files, a_file_without_read_permission_says_so_with_the_reason) {
  const std::wstring file = write("[Generic settings]\r\nsrc=a.xls\r\n");
  fs::permissions(dir_, fs::perms::all);
  fs::permissions(file, fs::perms::none);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && ::seteuid(65534) != 0) ::_exit(2);
    const std::string expected = "Profile " + tk_w2a(file) + " cannot be read: Permission denied.";
    ::_exit(load_error(file) == expected ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: wrong message, 2: could not drop root";
}

TEST_F(profile_files, a_file_larger_than_any_profile_is_refused_unread) {
  const std::wstring file = write("[S]\r\nk=v\r\n");
  std::filesystem::resize_file(file, udb_profile::max_file_bytes + 1);
  udb_profile p;
  try {
    p.load(file);
    ADD_FAILURE() << "no exception";
  } catch (const tk_exception& e) {
    EXPECT_NE(std::string(e.what()).find("is 16 MB; a profile holds a few settings"),
              std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(p.has_section(L"S"));
}

TEST_F(profile_files, line_length_limit) {
  struct {
    std::size_t line_bytes;  // key "k=" included
    const char* end;
    bool fits;
  } cases[] = {
      {4095, "\r\n", true},  {4095, "\n", true}, {4095, "", true},
      {4096, "\r\n", false}, {4096, "", false},  {100000, "\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line_bytes);
    const std::string line = "k=" + std::string(c.line_bytes - 2, 'x');
    const std::string tail = *c.end ? std::string(c.end) + "z=1\r\n" : "";
    const std::wstring file = write("[S]\r\n" + line + tail);
    udb_profile p;
    if (c.fits) {
      EXPECT_TRUE(p.load(file));
      EXPECT_EQ(p.get_value(L"S", L"k").size(), c.line_bytes - 2);
      if (*c.end) {
        EXPECT_EQ(p.get_value(L"S", L"z"), L"1");
      }
    } else {
      // Not a profile: said as such, not as an internal error.
      try {
        p.load(file);
        ADD_FAILURE() << "no exception";
      } catch (const tk_mail_assertion&) {
        ADD_FAILURE() << "internal error";
      } catch (const tk_exception& e) {
        EXPECT_NE(std::string(e.what()).find("Line 2 of profile "), std::string::npos) << e.what();
      }
    }
  }
}

TEST_F(profile_files, store_writes_map_order_crlf_and_bare_selected_keys) {
  udb_profile p;
  p.set_value(L"Selected Tables", L"Sheet1$", L"");
  p.set_value(L"Selected Tables", L"Query", L"SELECT 1");
  p.set_value(L"MS SQL Server settings", L"server", L"db1");
  p.set_value(L"MS Excel settings", L"refine types", L"1");
  p.set_value(L"Generic settings", L"src", L"");
  p.set_value(L"Generic settings", L"dest", L"Db");
  const std::wstring file = path("out.tsp");
  ASSERT_TRUE(p.store(file));
  EXPECT_EQ(read(file),
            "[Available Queries]\r\n\r\n"
            "[Generic settings]\r\ndest=Db\r\nsrc=\r\n\r\n"
            "[MS Excel settings]\r\nrefine types=1\r\n\r\n"
            "[MS SQL Server settings]\r\nserver=db1\r\n\r\n"
            "[Selected Tables]\r\nQuery=SELECT 1\r\nSheet1$\r\n\r\n");
  udb_profile back;
  ASSERT_TRUE(back.load(file));
  EXPECT_EQ(back.to_text(), p.to_text());
}

TEST_F(profile_files, password_profile_is_private_others_are_not_narrowed) {
  const std::wstring open_file = write("old contents that are longer than the new ones\r\n", "a");
  const std::wstring secret_file = write("old\r\n", "b");
  ::chmod(fs::path(open_file).c_str(), 0644);
  ::chmod(fs::path(secret_file).c_str(), 0644);

  udb_profile plain;
  plain.set_value(L"MS SQL Server settings", L"login", L"sa");
  ASSERT_TRUE(plain.store(open_file));
  udb_profile secret;
  secret.set_value(L"MS SQL Server settings", L"password", L"p@ss");
  ASSERT_TRUE(secret.store(secret_file));
  ASSERT_TRUE(secret.store(path("new")));
  // A workbook's password is as secret as the server's.
  udb_profile workbook_secret;
  workbook_secret.set_value(L"MS Excel settings", L"password", L"book");
  ASSERT_TRUE(workbook_secret.store(path("book")));
  struct stat book_st {};
  ASSERT_EQ(::stat(fs::path(path("book")).c_str(), &book_st), 0);
  EXPECT_EQ(book_st.st_mode & 0777, 0600u);

  struct stat st {};
  ASSERT_EQ(::stat(fs::path(open_file).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(read(open_file), plain.to_text());  // truncated, not overlaid
  for (const std::wstring& f : {secret_file, path("new")}) {
    ASSERT_EQ(::stat(fs::path(f).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(read(f), secret.to_text());
  }
}

TEST_F(profile_files, store_to_an_unopenable_path_reports_false_and_writes_nothing) {
  udb_profile p;
  EXPECT_FALSE(p.store(path("no/such/folder/p.tsp")));
  EXPECT_FALSE(fs::exists(dir_ / "no"));
}

TEST_F(profile_files, binary_garbage_loads_to_a_stable_profile) {
  // Whatever a damaged file holds, what is loaded must survive a store and a
  // reload unchanged, so that a profile re-saved by the wizard means the same.
  unsigned state = 12345;
  for (int round = 0; round < 20; ++round) {
    std::string bytes = "[S]\n";
    for (int i = 0; i < 4000; ++i) {
      state = state * 1103515245u + 12345u;
      bytes += (i % 61 == 60) ? '\n' : static_cast<char>(state >> 16);
    }
    udb_profile p;
    p.load(write(bytes));
    const std::wstring copy = path("copy.tsp");
    ASSERT_TRUE(p.store(copy));
    udb_profile back;
    ASSERT_TRUE(back.load(copy));
    EXPECT_EQ(back.to_text(), p.to_text()) << "round " << round;
  }
}

// ---- the converter-side keys ------------------------------------------------

TEST_F(profile_files, key_table_load_rules) {
  struct {
    const char* lines;
    void (*check)(const udb_profile_keys::settings&);
  } cases[] = {
      {"[Generic settings]\nmode=12\n", [](const auto& s) { EXPECT_EQ(s.mode, 1); }},
      {"[Generic settings]\nmode=2\n", [](const auto& s) { EXPECT_EQ(s.mode, 2); }},
      {"[Generic settings]\nmode=7\n", [](const auto& s) { EXPECT_EQ(s.mode, 1); }},
      {"[Generic settings]\nmode=\n", [](const auto& s) { EXPECT_EQ(s.mode, 1); }},
      {"[Generic settings]\nskip indexes=no\nonly definitions=0\n",
       [](const auto& s) {
         EXPECT_TRUE(s.skip_indexes);
         EXPECT_FALSE(s.only_definitions);
       }},
      {"[MS Excel settings]\nrefine types=yes\nextract field names=1\nconvert from xls=0\n",
       [](const auto& s) {
         EXPECT_FALSE(s.refine_types);
         EXPECT_TRUE(s.x_fnames);
         EXPECT_FALSE(s.from_xls);
       }},
      {"[MS Excel settings]\nn_comma=3\nencoding=ISO-8859-7\n",
       [](const auto& s) {
         EXPECT_EQ(s.n_comma, 3);
         EXPECT_EQ(s.delimiter, L"");  // n_comma replaces an earlier character
         EXPECT_EQ(s.encoding, L"ISO-8859-7");
       }},
      {"[MS Excel settings]\nn_comma=2\ndelimiter=|\n",
       [](const auto& s) {
         EXPECT_EQ(s.n_comma, 2);
         EXPECT_EQ(s.delimiter, L"|");  // the character wins
       }},
      {"[MS Excel settings]\nn_comma=4\ndelimiter=ab\nencoding=\n",
       [](const auto& s) {
         EXPECT_EQ(s.n_comma, -1);
         EXPECT_EQ(s.delimiter, L"^");
         EXPECT_EQ(s.encoding, L"CP1252");
       }},
      {"[MS Excel settings]\ndelimiter=\"\n", [](const auto& s) { EXPECT_EQ(s.delimiter, L"^"); }},
      {"[MS Excel settings]\ndelimiter=5\n", [](const auto& s) { EXPECT_EQ(s.delimiter, L"^"); }},
      {"[MS SQL Server settings]\nwindows authentication=true\nconnect as DBO=1\nlogin=\n",
       [](const auto& s) {
         EXPECT_FALSE(s.windows_authentication);
         EXPECT_TRUE(s.as_dbo);
         EXPECT_EQ(s.login, L"keep");
       }},
      // Time limits: plain seconds up to a week; anything else is ignored.
      {"[MS SQL Server settings]\nlogin timeout=5\ntimeout=0\n",
       [](const auto& s) {
         EXPECT_EQ(s.login_timeout, 5);
         EXPECT_EQ(s.timeout, 0);
       }},
      {"[MS SQL Server settings]\nlogin timeout=-5\ntimeout=604801\n",
       [](const auto& s) {
         EXPECT_EQ(s.login_timeout, 30);
         EXPECT_EQ(s.timeout, 600);
       }},
      {"[Selected Tables]\nSheet1$\nQ=SELECT 1\n'My Sheet$'\n",
       [](const auto& s) {
         EXPECT_EQ(s.selected.size(), 3u);
         EXPECT_EQ(s.selected.at(L"Q"), L"SELECT 1");
         // in the file's (map) order, without the entry that has a value
         EXPECT_EQ(s.pushed_back, (std::vector<std::wstring>{L"'My Sheet$'", L"Sheet1$"}));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    udb_profile p;
    ASSERT_TRUE(p.load(write(c.lines)));
    udb_profile_keys::settings s;
    s.mode = 1;
    s.windows_authentication = true;
    s.refine_types = true;
    s.from_xls = true;
    s.login = L"keep";
    s.delimiter = L"^";
    s.encoding = L"CP1252";
    udb_profile_keys::load_all(p, s);
    c.check(s);
  }
}

TEST_F(profile_files, key_table_round_trip_and_empty_login_has_no_line) {
  udb_profile_keys::settings s;
  s.src = L"/data/in.csv";
  s.dest = L"Sales";
  s.mode = 3;
  s.server = L"host,1433";
  s.windows_authentication = true;
  s.x_fnames = true;
  s.selected = {{L"Sheet1$", L""}, {L"Q", L"SELECT 1"}};
  s.available_queries = {{L"Q", L"SELECT 1"}};
  s.n_comma = 1;
  s.delimiter = L"|";
  s.encoding = L"SHIFT_JIS";
  udb_profile p;
  udb_profile_keys::store_all(p, s);
  const std::wstring file = path("keys.tsp");
  ASSERT_TRUE(p.store(file));
  const std::string text = read(file);
  EXPECT_EQ(text.find("login"), std::string::npos);
  EXPECT_EQ(text.find("password"), std::string::npos);
  EXPECT_NE(text.find("[MS SQL Server settings]\r\nconnect as DBO=0\r\nserver=host,1433\r\n"
                      "windows authentication=1\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("mode=3\r\n"), std::string::npos);
  EXPECT_EQ(text.find("timeout"), std::string::npos) << "defaults are not written";
  EXPECT_NE(text.find("[MS Excel settings]\r\nconvert from xls=0\r\ndelimiter=|\r\n"
                      "encoding=SHIFT_JIS\r\nextract field names=1\r\nn_comma=1\r\n"),
            std::string::npos)
      << text;

  udb_profile back;
  ASSERT_TRUE(back.load(file));
  udb_profile_keys::settings r;
  udb_profile_keys::load_all(back, r);
  EXPECT_EQ(r.src, s.src);
  EXPECT_EQ(r.dest, s.dest);
  EXPECT_EQ(r.mode, 3);
  EXPECT_EQ(r.server, s.server);
  EXPECT_TRUE(r.windows_authentication);
  EXPECT_TRUE(r.x_fnames);
  EXPECT_FALSE(r.refine_types);
  EXPECT_EQ(r.selected, s.selected);
  EXPECT_EQ(r.available_queries, s.available_queries);
  EXPECT_EQ(r.pushed_back, std::vector<std::wstring>{L"Sheet1$"});
  EXPECT_EQ(r.n_comma, 1);
  EXPECT_EQ(r.delimiter, L"|");
  EXPECT_EQ(r.encoding, L"SHIFT_JIS");
  EXPECT_TRUE(r.src_password.empty());

  // A workbook's password goes with the workbook settings and comes back.
  s.src_password = L"S3cret \u00e9t\u00e9";
  udb_profile with_password;
  udb_profile_keys::store_all(with_password, s);
  EXPECT_EQ(with_password.get_value(L"MS Excel settings", L"password"), s.src_password);
  EXPECT_TRUE(with_password.get_value(L"MS SQL Server settings", L"password").empty());
  udb_profile_keys::settings r2;
  udb_profile_keys::load_all(with_password, r2);
  EXPECT_EQ(r2.src_password, s.src_password);
}

}  // namespace

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "temp_folder.hpp"
#include "tk_file.hpp"
#include "tk_file_name.hpp"

namespace {

namespace fs = std::filesystem;

TEST(tk_is_file_exist, read_only_file_passes_read_and_fails_read_write) {
  temp_folder folder;
  const std::string path = folder.file("readonly.log");
  write_file(path, "x");
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_TRUE(tk_is_file_exist(path, 0));
  EXPECT_FALSE(tk_is_file_exist(path, 1));
  EXPECT_TRUE(tk_is_file_exist(fs::path(path).wstring(), 0));
}

TEST(tk_is_file_exist, writable_missing_and_folder) {
  temp_folder folder;
  const std::string path = folder.file("writable.log");
  write_file(path, "x");
  EXPECT_TRUE(tk_is_file_exist(path, 0));
  EXPECT_TRUE(tk_is_file_exist(path, 1));
  EXPECT_FALSE(tk_is_file_exist(folder.file("missing.log"), 0));
  EXPECT_FALSE(tk_is_file_exist(folder.path().string(), 0));
}

TEST(tk_is_path_exist, tells_folders_from_files_and_keeps_current_folder) {
  temp_folder folder;
  write_file(folder.file("plain"), "x");
  const fs::path before = fs::current_path();
  EXPECT_TRUE(tk_is_path_exist(folder.path().string()));
  EXPECT_TRUE(tk_is_path_exist(folder.path().wstring()));
  EXPECT_FALSE(tk_is_path_exist(folder.file("nowhere")));
  EXPECT_FALSE(tk_is_path_exist(folder.file("plain")));
  EXPECT_FALSE(tk_is_path_exist(std::string()));
  EXPECT_EQ(fs::current_path(), before);
}

TEST(tk_cur_dir_keeper, restores_the_previous_folder) {
  temp_folder folder;
  const fs::path before = fs::current_path();
  {
    tk_cur_dir_keeper keeper(folder.path().string());
    EXPECT_TRUE(keeper.changed());
    EXPECT_EQ(fs::canonical(fs::current_path()), fs::canonical(folder.path()));
  }
  EXPECT_EQ(fs::current_path(), before);
  tk_cur_dir_keeper failed(folder.file("missing"));
  EXPECT_FALSE(failed.changed());
  EXPECT_EQ(fs::current_path(), before);
}

TEST(tk_program_path, names_this_test_program) {
  EXPECT_EQ(fs::path(tk_program_path()).filename(), "tk_tests");
  EXPECT_EQ(fs::path(tk_program_wpath()).filename(), "tk_tests");
}

TEST(tk_file_name, splits_absolute_and_relative_paths) {
  const std::string cwd = fs::current_path().string() + "/";
  struct split_case {
    std::string path, dir, name, ext;
  };
  const split_case cases[] = {
      {"/tmp/data/book.xlsx", "/tmp/data/", "book", ".xlsx"},
      {"/tmp/data/archive.tar.gz", "/tmp/data/", "archive.tar", ".gz"},
      {"/tmp/data/README", "/tmp/data/", "README", ""},
      {"/tmp/data/", "/tmp/data/", "", ""},
      {"/tmp/./data/../run.log", "/tmp/", "run", ".log"},
      {"/book.csv", "/", "book", ".csv"},
      {"rel/book.csv", cwd + "rel/", "book", ".csv"},
  };
  for (const split_case& c : cases) {
    tk_file_name name;
    name.initialize(c.path);
    EXPECT_EQ(name.dir(), c.dir) << c.path;
    EXPECT_EQ(name.name(), c.name) << c.path;
    EXPECT_EQ(name.extension(), c.ext) << c.path;
    EXPECT_EQ(name.drive(), "") << c.path;
    EXPECT_EQ(name.folder(), c.dir) << c.path;
    EXPECT_EQ(name.full_path(), c.dir + c.name + c.ext) << c.path;
  }
}

TEST(tk_file_name, empty_path_is_the_program_without_extension) {
  tk_file_wname name;
  name.initialize(L"");
  const fs::path program = tk_program_path();
  EXPECT_EQ(name.name(), L"tk_tests");
  EXPECT_EQ(name.extension(), L"");
  EXPECT_EQ(name.full_path(), program.wstring());

  name.set_extension(L"log");
  EXPECT_EQ(name.extension(), L".log");
  EXPECT_EQ(name.full_path(), program.wstring() + L".log");
  name.set_extension(L".html");
  EXPECT_EQ(name.extension(), L".html");
  name.set_extension(L"");
  EXPECT_EQ(name.extension(), L"");
}

TEST(tk_file_name, wide_paths_keep_non_ascii_names) {
  tk_file_wname name;
  name.initialize(L"/tmp/Отчёт 2024/Книга.xls");
  EXPECT_EQ(name.dir(), L"/tmp/Отчёт 2024/");
  EXPECT_EQ(name.name(), L"Книга");
  EXPECT_EQ(name.extension(), L".xls");
}

}  // namespace

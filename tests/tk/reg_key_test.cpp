#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "temp_folder.hpp"
#include "tk_reg_key.hpp"

namespace {

class reg_key_test : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    if (old) saved_ = old;
    had_ = old != nullptr;
    setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    ASSERT_EQ(key.open(tk_reg_root::current_user, "Software\\Quorvane\\Tessaly"), tk_reg_ok);
  }
  void TearDown() override {
    if (had_) setenv("XDG_CONFIG_HOME", saved_.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
  }

  temp_folder folder;
  tk_reg_key key;
  std::string saved_;
  bool had_ = false;
};

TEST_F(reg_key_test, values_round_trip_through_the_settings_file) {
  bool flag = true;
  int mode = 3;
  std::wstring password = L"p\\ss=word\nwith 'quotes' и ünïcode";
  EXPECT_TRUE(key.exchange(true, "Windows authentication", flag));
  EXPECT_TRUE(key.exchange(true, "Mode", mode));
  EXPECT_TRUE(key.exchange(true, "Password", password));

  tk_reg_key again;
  ASSERT_EQ(again.open(tk_reg_root::current_user, "Software\\Quorvane\\Tessaly"), tk_reg_ok);
  bool loaded_flag = false;
  int loaded_mode = 0;
  std::wstring loaded_password;
  EXPECT_TRUE(again.exchange(false, "Windows authentication", loaded_flag));
  EXPECT_TRUE(again.exchange(false, "Mode", loaded_mode));
  EXPECT_TRUE(again.exchange(false, "Password", loaded_password));
  EXPECT_TRUE(loaded_flag);
  EXPECT_EQ(loaded_mode, 3);
  EXPECT_EQ(loaded_password, password);
}

TEST_F(reg_key_test, missing_values_leave_the_target_unchanged) {
  std::wstring text = L"unchanged";
  int number = 42;
  EXPECT_FALSE(key.exchange(false, "Nothing here", text));
  EXPECT_FALSE(key.exchange(false, "Nothing here", number));
  EXPECT_EQ(text, L"unchanged");
  EXPECT_EQ(number, 42);

  std::wstring empty;
  EXPECT_TRUE(key.exchange(true, "Empty", empty));
  EXPECT_FALSE(key.exchange(false, "Empty", text));
  EXPECT_EQ(text, L"unchanged");

  std::uint32_t value = 0;
  EXPECT_EQ(key.get_value(value, "Empty"), tk_reg_bad_type);
}

TEST_F(reg_key_test, file_is_private_and_replaced_whole) {
  ASSERT_EQ(key.set_value("Host", L"server"), tk_reg_ok);
  ASSERT_EQ(key.set_value("Port", 1433u), tk_reg_ok);
  const std::string path = tk_reg_key::settings_path();
  EXPECT_EQ(path, folder.file("Quorvane/Tessaly.conf"));
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  // Nothing but the settings file is left behind.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator(folder.path() / "Quorvane"))
    ++entries;
  EXPECT_EQ(entries, 1);
}

TEST_F(reg_key_test, keys_are_kept_apart) {
  tk_reg_key other;
  ASSERT_EQ(other.open(tk_reg_root::current_user, "Software\\Quorvane\\Other"), tk_reg_ok);
  ASSERT_EQ(key.set_value("Name", L"first"), tk_reg_ok);
  ASSERT_EQ(other.set_value("Name", L"second"), tk_reg_ok);
  std::wstring a, b;
  EXPECT_EQ(key.get_value(a, "Name"), tk_reg_ok);
  EXPECT_EQ(other.get_value(b, "Name"), tk_reg_ok);
  EXPECT_EQ(a, L"first");
  EXPECT_EQ(b, L"second");
}

TEST_F(reg_key_test, closed_key_refuses_exchanges) {
  key.close();
  int number = 1;
  EXPECT_FALSE(key.exchange(true, "Mode", number));
  EXPECT_FALSE(key.exchange(false, "Mode", number));
}

}  // namespace

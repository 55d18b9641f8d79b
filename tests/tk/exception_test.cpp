#include <gtest/gtest.h>

#include <cerrno>

#include "tk_exception.hpp"
#include "tk_exception_ex.hpp"
#include "tk_final_exception.hpp"
#include "tk_mail_assertion.hpp"

namespace {

TEST(tk_exception, text_level_and_code) {
  EXPECT_STREQ(tk_exception(1).what(), "Unknown exception");
  EXPECT_STREQ(tk_exception(std::string(), 0).what(), "Unknown exception");
  EXPECT_STREQ(tk_exception(L"Ошибка", 1).what(), "\xD0\x9E\xD1\x88\xD0\xB8\xD0\xB1\xD0\xBA\xD0\xB0");
  const tk_exception e("Table exists", 0);
  EXPECT_EQ(e.level(), 0);
  EXPECT_EQ(e.code(), 0u);
}

TEST(tk_exception_ex, carries_errno_and_its_text) {
  const tk_exception_ex e(ENOENT);
  EXPECT_EQ(e.code(), static_cast<std::uint32_t>(ENOENT));
  EXPECT_STREQ(e.what(), "No such file or directory");
  EXPECT_EQ(e.level(), tk_level_run);
  EXPECT_STREQ(tk_exception_ex(0).what(), "Unknown exception");
}

TEST(tk_mail_assertion, code_is_hex_of_source_and_line) {
  const tk_mail_assertion e("x", 12);
  EXPECT_STREQ(e.what(), "Internal error: \ncode=785c3132");
  EXPECT_EQ(e.level(), tk_level_internal);
  EXPECT_EQ(tk_mail_assertion::code_text("ole_var", 7), "6f6c655f7661725c37");
}

TEST(tk_mail_assertion, assert_macro_names_this_file) {
  const int line = __LINE__ + 2;
  try {
    TK_ASSERT(1 + 1 == 3);
    FAIL() << "assertion did not fire";
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(std::string(e.what()),
              "Internal error: \ncode=" + tk_mail_assertion::code_text("exception_test", line));
  }
  EXPECT_NO_THROW(TK_ASSERT(true));
  EXPECT_EQ(tk_source_name("/a/b/c/tk_file.cpp"), "tk_file");
}

TEST(tk_final_exception, is_not_a_tk_exception) {
  // Handlers that catch tk_exception must let a user's stop pass.
  bool caught_as_tk = false;
  try {
    try {
      throw tk_final_exception();
    } catch (const tk_exception&) {
      caught_as_tk = true;
    }
  } catch (const std::exception&) {
  }
  EXPECT_FALSE(caught_as_tk);
}

}  // namespace

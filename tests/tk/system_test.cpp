#include <gtest/gtest.h>

#include "tk_support.hpp"
#include "tk_system.hpp"

namespace {

TEST(get_dll_version, reads_major_and_minor_from_the_library) {
  EXPECT_EQ(get_dll_version(TEST_VERSION_LIB), 5u * 65536 + 80);
  EXPECT_EQ(get_dll_version("libc.so.6"), 0u);  // no DllGetVersion
  EXPECT_EQ(get_dll_version("/nonexistent/libnothing.so"), 0u);
}

TEST(tk_send_bug, hands_the_mail_to_the_installed_client) {
  tk_bug_mail sent;
  tk_set_mail_handler([&](const tk_bug_mail& mail) {
    sent = mail;
    return 0;
  });
  tk_send_bug("tessrun 3.4", "details");
  tk_set_mail_handler(nullptr);
  EXPECT_EQ(sent.subject, "Bug report on tessrun 3.4");
  EXPECT_EQ(sent.body, "details");
  EXPECT_EQ(sent.recipient, std::string("mailto:") + TK_SUPPORT_EMAIL);
  EXPECT_FALSE(sent.received_date.empty());
  tk_send_bug("no client", "only traced");  // must not fail without a client
}

TEST(tk_copy_to_clipboard2, reports_whether_a_clipboard_took_the_text) {
  EXPECT_FALSE(tk_copy_to_clipboard2(L"no clipboard"));
  std::wstring copied;
  tk_set_clipboard_handler([&](const std::wstring& text) {
    copied = text;
    return true;
  });
  EXPECT_TRUE(tk_copy_to_clipboard2(L"Ошибка"));
  tk_set_clipboard_handler(nullptr);
  EXPECT_EQ(copied, L"Ошибка");
}

}  // namespace

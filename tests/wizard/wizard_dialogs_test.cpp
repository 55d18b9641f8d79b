// The wizard's dialogs and the shell's services: answers and flags, captions
// before and after the wizard is up, the clipboard and bug-report hooks, the
// help file, the error list's limit and the query check.
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QUrl>

#include "dlg_error_continue.hpp"
#include "dlg_error_ex.hpp"
#include "overwrite_dlg.hpp"
#include "overwrite_dlg2.hpp"
#include "set_query_dlg.hpp"
#include "tk_system.hpp"
#include "wizard_fixture.hpp"

namespace {

using namespace wizard_test;

class wizard_dialogs : public wizard_fixture {};

// Receives the URLs the shell asks the desktop to open.
class url_catcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls << url; }
};

TEST_F(wizard_dialogs, overwrite_answers_and_modes) {
  {
    overwrite_dlg dialog(1019, QStringLiteral("exists"));
    dialog.reject();  // the close box
    EXPECT_EQ(dialog.answer(), overwrite_dlg::answer_cancel);
  }
  {
    overwrite_dlg dialog(1019, QStringLiteral("exists"));
    EXPECT_EQ(click(dialog, "1109"), overwrite_dlg::result_merge);
    EXPECT_EQ(dialog.answer(), overwrite_dlg::answer_merge);
  }
  {
    overwrite_dlg dialog(1019, QStringLiteral("exists"));
    EXPECT_EQ(click(dialog, "1"), QDialog::Accepted);
    EXPECT_EQ(dialog.answer(), overwrite_dlg::answer_overwrite);
  }
  for (int mode = 0; mode < 4; ++mode) {
    overwrite_dlg2 dialog(1019, QStringLiteral("exists"));
    // Untouched, the first choice (mode 0) is taken.
    if (mode > 0) dialog.findChild<QRadioButton*>(QString::number(1329 + mode))->setChecked(true);
    EXPECT_EQ(click(dialog, "1"), QDialog::Accepted);
    EXPECT_EQ(dialog.mode(), mode);
  }
  overwrite_dlg2 cancelled(1019, QStringLiteral("exists"));
  EXPECT_EQ(click(cancelled, "2"), 2);
}

TEST_F(wizard_dialogs, continue_dialog_flag_follows_the_check_box) {
  dlg_error_continue dialog(QStringLiteral("orders, record #7: refused"));
  auto* check = dialog.findChild<QCheckBox*>(QStringLiteral("1222"));
  ASSERT_NE(check, nullptr);
  check->click();
  check->click();
  EXPECT_FALSE(dialog.do_not_show_again());
  check->click();
  EXPECT_TRUE(dialog.do_not_show_again());
  EXPECT_EQ(click(dialog, "1"), dlg_error_continue::result_abort);
}

TEST_F(wizard_dialogs, captions_name_the_wizard_only_once_it_is_up) {
  dlg_error_ex early(QStringLiteral("broken"));
  EXPECT_EQ(early.windowTitle(), "Error");
  for (auto show : {&wizard_shell::error, &wizard_shell::message}) show(QStringLiteral("before"));
  wizard_shell::question(QStringLiteral("before?"));
  ASSERT_EQ(seen_.size(), 3u);
  EXPECT_EQ(seen_[0].caption, "Error");
  EXPECT_EQ(seen_[1].caption, "Message");
  EXPECT_EQ(seen_[2].caption, "Question");

  open_wizard(false);
  wizard_shell::error(QStringLiteral("after"));
  EXPECT_EQ(seen_.back().caption, "Tessaly 3.4  Error");
  EXPECT_EQ(shell_->windowTitle(), "Tessaly 3.4 ");
  dlg_error_ex late(QStringLiteral("broken"));
  EXPECT_EQ(late.windowTitle(), "Tessaly 3.4  Error");
}

TEST_F(wizard_dialogs, internal_error_copies_and_reports_through_the_desktop_hooks) {
  std::wstring copied;
  tk_bug_mail mailed;
  tk_set_clipboard_handler([&](const std::wstring& text) {
    copied = text;
    return true;
  });
  tk_set_mail_handler([&](const tk_bug_mail& mail) {
    mailed = mail;
    return 0;
  });
  open_wizard(false);
  {
    dlg_error_ex dialog(QStringLiteral("Internal error: \ncode=61"));
    EXPECT_EQ(click(dialog, "1108"), dlg_error_ex::result_copy);
  }
  EXPECT_EQ(copied, L"Internal error: \ncode=61");
  {
    dlg_error_ex dialog(QStringLiteral("Internal error: \ncode=62"));
    EXPECT_EQ(click(dialog, "1112"), dlg_error_ex::result_send_bug);
  }
  EXPECT_EQ(mailed.subject, "Bug report on Tessaly 3.4 ");
  EXPECT_EQ(mailed.body, "Internal error: \ncode=62");
  tk_set_clipboard_handler({});
  tk_set_mail_handler({});

  // The program's own hook puts the text on Qt's clipboard.
  install_desktop_hooks();
  EXPECT_TRUE(tk_copy_to_clipboard2(L"copied text"));
  tk_set_clipboard_handler({});
  tk_set_mail_handler({});
}

TEST_F(wizard_dialogs, help_opens_the_page_topic_or_says_the_file_is_missing) {
  open_wizard(false);
  const QString help = wizard_shell::help_path();
  QFile::remove(help);
  wizard_shell::display_help(1012);
  EXPECT_EQ(last_text(), "Help file does not exist. Reinstall the program.");

  {
    QFile file(help);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<html></html>");
  }
  url_catcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
  seen_.clear();
  shell_->setCurrentId(page_welcome);
  emit shell_->helpRequested();
  wizard_shell::display_help(help_default_topic);
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  QFile::remove(help);
  EXPECT_TRUE(seen_.empty()) << seen_texts();
  ASSERT_EQ(catcher.urls.size(), 2);
  EXPECT_EQ(catcher.urls[0].fragment(), "ctx1012");
  EXPECT_EQ(catcher.urls[0].toLocalFile(), help);
  EXPECT_FALSE(catcher.urls[1].hasFragment());
}

TEST_F(wizard_dialogs, the_error_list_keeps_twenty) {
  open_wizard(false);
  for (int i = 1; i <= 21; ++i) shell_->append_error("error " + std::to_string(i));
  const std::vector<std::string> errors = shell_->errors();
  ASSERT_EQ(errors.size(), 20u);
  EXPECT_EQ(errors.back(), "error 20");
}

TEST_F(wizard_dialogs, select_test_of_queries) {
  struct query_case {
    const char* text;
    bool b_passes;
  };
  for (const query_case& c : std::vector<query_case>{{"", true},
                                                     {"SELECT * FROM t", true},
                                                     {" \t\r\n select a from b", true},
                                                     {"Select", true},
                                                     {"selec", false},
                                                     {"   ", false},
                                                     {"UPDATE t SET a=1", false},
                                                     {"xSELECT", false}}) {
    EXPECT_EQ(set_query_dlg::passes_select_test(QString::fromLatin1(c.text)), c.b_passes) << c.text;
  }
}

TEST_F(wizard_dialogs, query_dialog_refuses_what_it_cannot_store) {
  struct ok_case {
    const char* name;
    const char* query;
    const char* kind;
    const char* text;
  };
  for (const ok_case& c :
       std::vector<ok_case>{{"", "SELECT 1", "Message", "Table name is empty!"},
                            {"t", "DELETE FROM x", "Error", "The query must start with SELECT."},
                            {"t", "", "Error", "Query is empty!"}}) {
    seen_.clear();
    set_query_dlg dialog(*conv_, QString::fromLatin1(c.name), QString::fromLatin1(c.query));
    click(dialog, "1");
    EXPECT_EQ(dialog.result(), QDialog::Rejected) << c.text;
    ASSERT_EQ(seen_.size(), 1u);
    EXPECT_EQ(seen_[0].kind, c.kind);
    EXPECT_EQ(seen_[0].text, c.text);
  }
  set_query_dlg dialog(*conv_, QStringLiteral("t"), QStringLiteral("SELECT 1"));
  seen_.clear();
  click(dialog, "129");
  ASSERT_EQ(seen_.size(), 1u);
  EXPECT_TRUE(seen_[0].text.startsWith("You have an error in your query syntax.")) << seen_texts();
  EXPECT_EQ(click(dialog, "1"), QDialog::Accepted);
}

}  // namespace

#include "wizard_dialogs_test.moc"

// What the wizard remembers: the defaults of a first session, the settings
// kept from one session to the next (and what is never kept), and a profile
// filling every page.
#include <sys/stat.h>

#include <filesystem>

#include "tk_reg_key.hpp"
#include "wizard_fixture.hpp"

namespace {

using namespace wizard_test;

class wizard_settings : public wizard_fixture {
 protected:
  wizard_page& shown(int id) {
    auto& p = *static_cast<wizard_page*>(shell_->page(id));
    p.page_init();
    return p;
  }
};

TEST_F(wizard_settings, a_first_session_shows_the_defaults) {
  open_wizard();
  shown(page_welcome);
  EXPECT_TRUE(widget<QRadioButton>(page_welcome, "1329").isChecked());
  shown(page_mssql);
  EXPECT_TRUE(widget<QRadioButton>(page_mssql, "1329").isChecked());
  EXPECT_FALSE(widget<QLineEdit>(page_mssql, "1012").isEnabled());
  EXPECT_EQ(widget<QLineEdit>(page_mssql, "1014").text(), "");
  shown(page_sel_file);
  EXPECT_TRUE(widget<QCheckBox>(page_sel_file, "1222").isChecked());
  EXPECT_TRUE(widget<QCheckBox>(page_sel_file, "1203").isChecked());
  shown(page_delim);
  EXPECT_TRUE(widget<QRadioButton>(page_delim, "1330").isChecked());  // Semicolon
}

TEST_F(wizard_settings, settings_are_kept_between_sessions_but_not_passwords_of_workbooks) {
  open_wizard();
  auto& welcome = shown(page_welcome);
  widget<QRadioButton>(page_welcome, "1330").setChecked(true);
  welcome.on_back();
  auto& mssql = shown(page_mssql);
  widget<QRadioButton>(page_mssql, "1330").setChecked(true);
  set_text(page_mssql, "1014", QStringLiteral("db.example:1433"));
  set_text(page_mssql, "1012", QStringLiteral("loader"));
  set_text(page_mssql, "1013", QStringLiteral("s3cret"));
  widget<QCheckBox>(page_mssql, "1202").setChecked(true);
  mssql.on_back();
  auto& source = shown(page_sel_file);
  set_text(page_sel_file, "1003", QStringLiteral("/data/in.csv"));
  set_text(page_sel_file, "1004", QStringLiteral("shop"));
  set_text(page_sel_file, "1005", QStringLiteral("orders"));
  source.on_back();
  auto& delim = shown(page_delim);
  widget<QRadioButton>(page_delim, "1335").setChecked(true);
  set_text(page_delim, "1336", QStringLiteral("|"));
  set_text(page_delim, "1338", QStringLiteral("CP1251"));
  widget<QCheckBox>(page_delim, "1222").setChecked(false);
  delim.on_back();
  conv_->src_pswd = L"book secret";
  close_wizard();

  // The settings file is the user's alone and holds no workbook password.
  const std::string path = tk_reg_key::settings_path();
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(read_file(path).find("book secret"), std::string::npos);

  conv_.reset();
  conv_ = std::make_unique<tessaly_convertor>();
  open_wizard();
  shown(page_welcome);
  EXPECT_TRUE(widget<QRadioButton>(page_welcome, "1330").isChecked());
  shown(page_mssql);
  EXPECT_TRUE(widget<QRadioButton>(page_mssql, "1330").isChecked());
  EXPECT_EQ(widget<QLineEdit>(page_mssql, "1014").text(), "db.example:1433");
  EXPECT_EQ(widget<QLineEdit>(page_mssql, "1012").text(), "loader");
  EXPECT_EQ(widget<QLineEdit>(page_mssql, "1013").text(), "s3cret");
  // Connecting as owner is not kept.
  EXPECT_FALSE(widget<QCheckBox>(page_mssql, "1202").isChecked());
  shown(page_sel_file);
  EXPECT_EQ(widget<QLineEdit>(page_sel_file, "1003").text(), "/data/in.csv");
  EXPECT_EQ(widget<QLineEdit>(page_sel_file, "1004").text(), "shop");
  EXPECT_EQ(widget<QLineEdit>(page_sel_file, "1005").text(), "orders");
  shown(page_delim);
  EXPECT_TRUE(widget<QRadioButton>(page_delim, "1335").isChecked());
  EXPECT_EQ(widget<QLineEdit>(page_delim, "1336").text(), "|");
  EXPECT_EQ(widget<QLineEdit>(page_delim, "1338").text(), "CP1251");
  EXPECT_FALSE(widget<QCheckBox>(page_delim, "1222").isChecked());
  EXPECT_TRUE(conv_->src_pswd.empty());
}

TEST_F(wizard_settings, a_profile_preloads_every_page_and_save_settings_writes_one) {
  const std::string profile = files_.write(
      "night.tsy",
      "[Generic settings]\nsrc=/data/night.csv\ndest=warehouse\nmode=3\n"
      "[MS SQL Server settings]\nserver=sql.example\nlogin=night\nwindows authentication=0\n"
      "connect as DBO=1\n"
      "[MS Excel settings]\nextract field names=0\nrefine types=0\nconvert from xls=0\n"
      "delimiter=|\nencoding=ISO-8859-1\n");
  open_wizard();
  wizard_shell::set_file_hook([&](bool b_save, const QString& caption) {
    EXPECT_EQ(caption, "Select Profile File");
    return b_save ? QString::fromStdString(files_.file("saved")) : QString::fromStdString(profile);
  });
  shown(page_welcome);
  ctrl<QAbstractButton>(*shell_->page(page_welcome), "1115").click();
  EXPECT_TRUE(widget<QRadioButton>(page_welcome, "1330").isChecked()) << seen_texts();
  shown(page_mssql);
  EXPECT_EQ(widget<QLineEdit>(page_mssql, "1014").text(), "sql.example");
  EXPECT_EQ(widget<QLineEdit>(page_mssql, "1012").text(), "night");
  EXPECT_TRUE(widget<QRadioButton>(page_mssql, "1330").isChecked());
  EXPECT_TRUE(widget<QCheckBox>(page_mssql, "1202").isChecked());
  shown(page_sel_file);
  EXPECT_EQ(widget<QLineEdit>(page_sel_file, "1003").text(), "/data/night.csv");
  EXPECT_EQ(widget<QLineEdit>(page_sel_file, "1004").text(), "warehouse");
  shown(page_delim);
  EXPECT_TRUE(widget<QRadioButton>(page_delim, "1335").isChecked());
  EXPECT_EQ(widget<QLineEdit>(page_delim, "1336").text(), "|");
  EXPECT_EQ(widget<QLineEdit>(page_delim, "1338").text(), "ISO-8859-1");
  EXPECT_FALSE(widget<QCheckBox>(page_delim, "1222").isChecked());
  EXPECT_FALSE(widget<QCheckBox>(page_delim, "1203").isChecked());
  EXPECT_EQ(conv_->mode, mode_merge);

  // Saved with the extension added; tessrun reads the same keys.
  shown(page_finish);
  ctrl<QAbstractButton>(*shell_->page(page_finish), "1116").click();
  const std::string saved = read_file(files_.file("saved.tsy"));
  EXPECT_NE(saved.find("server=sql.example"), std::string::npos) << saved;
  EXPECT_NE(saved.find("delimiter=|"), std::string::npos) << saved;
  EXPECT_NE(saved.find("mode=3"), std::string::npos) << saved;
}

TEST_F(wizard_settings, a_profile_that_cannot_be_read_says_why_and_changes_nothing) {
  open_wizard();
  conv_->mssql.host = L"kept";
  wizard_shell::set_file_hook(
      [&](bool, const QString&) { return QString::fromStdString(files_.file("none.tsy")); });
  shown(page_welcome);
  ctrl<QAbstractButton>(*shell_->page(page_welcome), "1115").click();
  ASSERT_FALSE(seen_.empty());
  EXPECT_EQ(seen_.back().kind, "Error");
  EXPECT_NE(seen_.back().text.indexOf(QStringLiteral("none.tsy")), -1) << seen_texts();
  EXPECT_EQ(conv_->mssql.host, L"kept");
}

}  // namespace

// The pages as a user meets them: what each validation says, the worksheet
// lists, the CSV page's delimiters, the source kind changing the controls.
#include <filesystem>

#include "delim_page.hpp"
#include "dlg_error_continue.hpp"
#include "overwrite_dlg.hpp"
#include "overwrite_dlg2.hpp"
#include "run_process.hpp"
#include "sel_tables_page.hpp"
#include "test_support.hpp"
#include "wizard_fixture.hpp"

namespace {

using namespace wizard_test;

class wizard_pages : public wizard_fixture {
 protected:
  // Fills the connection page for the stand-in server and goes on.
  void connect_to(const tds_test::server_process& server) {
    widget<QRadioButton>(page_mssql, "1330").setChecked(true);
    set_text(page_mssql, "1014", QStringLiteral("127.0.0.1:%1").arg(server.port()));
    set_text(page_mssql, "1012", QStringLiteral("sa"));
    set_text(page_mssql, "1013", QString::fromLatin1(tds_test::k_password));
    ASSERT_EQ(next(), page_sel_file) << seen_texts();
  }

  void go_to_source_page(const tds_test::server_process& server, bool b_csv) {
    open_wizard();
    widget<QRadioButton>(page_welcome, b_csv ? "1330" : "1329").setChecked(true);
    ASSERT_EQ(next(), page_mssql);
    connect_to(server);
  }

  std::string make_workbook(const std::string& name, const std::string& script) {
    const std::string path = files_.file(name);
    const process_result r = run_process(
        "/usr/bin/python3", {"-c", "import sys, openpyxl\npath = sys.argv[1]\n" + script, path});
    EXPECT_EQ(r.status, 0) << r.err;
    return path;
  }

  std::string three_sheets() {
    return make_workbook("book.xlsx",
                         "wb = openpyxl.Workbook()\n"
                         "ws = wb.active\nws.title = 'Orders'\nws.append(['id'])\nws.append([1])\n"
                         "for n in ['Stock', 'Notes']:\n"
                         "    s = wb.create_sheet(n)\n    s.append(['v'])\n    s.append([2])\n"
                         "wb.save(path)\n");
  }

  QStringList items(const char* id) {
    QStringList out;
    auto& list = widget<QListWidget>(page_sel_tables, id);
    for (int row = 0; row < list.count(); ++row) out << list.item(row)->text();
    return out;
  }
};

TEST_F(wizard_pages, connection_failures_keep_the_user_on_the_page_with_the_reason) {
  tds_test::server_process server;
  open_wizard();
  ASSERT_EQ(next(), page_mssql);
  widget<QRadioButton>(page_mssql, "1330").setChecked(true);
  set_text(page_mssql, "1012", QStringLiteral("sa"));

  // Nothing listens on port 1.
  set_text(page_mssql, "1014", QStringLiteral("127.0.0.1:1"));
  EXPECT_EQ(next(), page_mssql);
  EXPECT_EQ(last_text(),
            "MS SQL Server does not exist or access denied.\nCheck to verify the correct host was "
            "given.");

  set_text(page_mssql, "1014", QStringLiteral("127.0.0.1:%1").arg(server.port()));
  set_text(page_mssql, "1013", QStringLiteral("wrong"));
  EXPECT_EQ(next(), page_mssql);
  EXPECT_EQ(seen_.back().kind, "Error");
  EXPECT_EQ(last_text(), "Invalid user name or password.");

  set_text(page_mssql, "1013", QString::fromLatin1(tds_test::k_password));
  EXPECT_EQ(next(), page_sel_file) << seen_texts();
  EXPECT_EQ(conv_->mssql.host, L"127.0.0.1:" + std::to_wstring(server.port()));
  EXPECT_FALSE(conv_->mssql.sec_log);
}

TEST_F(wizard_pages, windows_authentication_disables_login_and_password) {
  open_wizard(false);
  next();
  widget<QRadioButton>(page_mssql, "1329").setChecked(true);
  EXPECT_FALSE(widget<QLineEdit>(page_mssql, "1012").isEnabled());
  EXPECT_FALSE(widget<QLineEdit>(page_mssql, "1013").isEnabled());
  widget<QRadioButton>(page_mssql, "1330").setChecked(true);
  EXPECT_TRUE(widget<QLineEdit>(page_mssql, "1012").isEnabled());
  EXPECT_TRUE(widget<QLineEdit>(page_mssql, "1013").isEnabled());
}

// Each check of the source page in its order, with the words it says.
TEST_F(wizard_pages, source_page_checks_say_what_is_missing) {
  tds_test::server_process server;
  const std::string csv = files_.write("rows.csv", "a;b\n1;2\n");
  struct step {
    bool b_csv;
    std::string src, dest, table;
    QString kind, text;
  };
  const std::vector<step> steps = {
      {false, "", "shop", "", "Message", "You should enter the source file name"},
      {false, "x.xlsx", "", "", "Message", "You should enter MS SQL database name"},
      {true, csv, "shop", "", "Message", "You should specify MS SQL table name"},
      {false, files_.file("missing.xlsx"), "shop", "", "Error",
       "Source file doesn't comply with MS Excel format"},
      {false, csv, "shop", "", "Error", "Source file doesn't comply with MS Excel format"},
      {true, files_.file("missing.csv"), "shop", "t", "Error",
       "Source file does not exist.\r\nPlease verify the correct file name was given."},
  };
  for (const step& s : steps) {
    SCOPED_TRACE(s.text.toStdString());
    seen_.clear();
    go_to_source_page(server, s.b_csv);
    set_text(page_sel_file, "1003", QString::fromStdString(s.src));
    set_text(page_sel_file, "1004", QString::fromStdString(s.dest));
    if (s.b_csv) set_text(page_sel_file, "1005", QString::fromStdString(s.table));
    EXPECT_EQ(next(), page_sel_file);
    ASSERT_FALSE(seen_.empty());
    EXPECT_EQ(seen_.back().kind, s.kind);
    EXPECT_EQ(seen_.back().text, s.text);
    shell_.reset();
  }
}

TEST_F(wizard_pages, source_kind_changes_the_labels_and_hidden_controls) {
  open_wizard(false);
  auto& welcome = *static_cast<wizard_page*>(shell_->page(page_welcome));
  auto& page = *static_cast<wizard_page*>(shell_->page(page_sel_file));
  for (bool b_csv : {false, true, false}) {
    widget<QRadioButton>(page_welcome, b_csv ? "1330" : "1329").setChecked(true);
    ASSERT_TRUE(welcome.on_next());
    page.page_init();
    EXPECT_EQ(widget<QLabel>(page_sel_file, "1333").text(),
              b_csv ? "&Comma separated values (CSV) file name:" : "MS &Excel spreadsheet name:");
    EXPECT_EQ(ctrl<QWidget>(page, "1005").isHidden(), !b_csv);
    EXPECT_EQ(ctrl<QWidget>(page, "1310").isHidden(), !b_csv);
    EXPECT_EQ(ctrl<QWidget>(page, "1222").isHidden(), b_csv);
    EXPECT_EQ(ctrl<QWidget>(page, "1203").isHidden(), b_csv);
    EXPECT_EQ(page.nextId(), b_csv ? page_delim : page_sel_tables);
  }
}

TEST_F(wizard_pages, browse_puts_the_file_and_its_base_name_in_place) {
  open_wizard(false);
  conv_->from_xls = true;
  static_cast<wizard_page*>(shell_->page(page_sel_file))->page_init();
  set_text(page_sel_file, "1004", QStringLiteral("old"));
  wizard_shell::set_file_hook([](bool b_save, const QString& caption) {
    EXPECT_FALSE(b_save);
    EXPECT_EQ(caption, "Select data source to convert");
    return QStringLiteral("/data/Sales 2024.xlsx");
  });
  ctrl<QAbstractButton>(*shell_->page(page_sel_file), "1107").click();
  EXPECT_EQ(widget<QLineEdit>(page_sel_file, "1003").text(), "/data/Sales 2024.xlsx");
  EXPECT_EQ(widget<QLineEdit>(page_sel_file, "1004").text(), "Sales 2024");
}

TEST_F(wizard_pages, an_existing_database_asks_for_the_mode) {
  tds_test::server_process server;
  {
    tds_test::dblib_client client(server.port());
    ASSERT_TRUE(client.exec("CREATE DATABASE book"));
  }
  const std::string book = three_sheets();
  go_to_source_page(server, false);
  set_text(page_sel_file, "1003", QString::fromStdString(book));
  set_text(page_sel_file, "1004", QStringLiteral("book"));

  // Cancel stays; a choice becomes the mode; untouched radios mean mode 0.
  answer_next([](QDialog& d) { return click(d, "2"); });
  EXPECT_EQ(next(), page_sel_file);
  EXPECT_EQ(seen_.back().text,
            "The destination database already exists. Select one of the\noptions below. Click "
            "'Help' button for more information.");
  EXPECT_EQ(seen_.back().caption, "Tessaly 3.4  Warning");
  answer_next([](QDialog& d) {
    d.findChild<QRadioButton*>(QStringLiteral("1331"))->setChecked(true);
    return click(d, "1");
  });
  EXPECT_EQ(next(), page_sel_tables);
  EXPECT_EQ(conv_->mode, mode_skip_tables);
  shell_->back();
  answer_next([](QDialog& d) { return click(d, "1"); });
  EXPECT_EQ(next(), page_sel_tables);
  EXPECT_EQ(conv_->mode, mode_overwrite_database);
}

TEST_F(wizard_pages, csv_destination_questions) {
  tds_test::server_process server;
  const std::string csv = files_.write("rows.csv", "a;b\n1;2\n");
  go_to_source_page(server, true);
  set_text(page_sel_file, "1003", QString::fromStdString(csv));
  set_text(page_sel_file, "1004", QStringLiteral("shop"));
  set_text(page_sel_file, "1005", QStringLiteral("rows"));

  // No database: asked to create it; No (the default) stays.
  EXPECT_EQ(next(), page_sel_file);
  EXPECT_EQ(last_text(), "Destination database doesn't exist. Create?");
  answer_yes();
  EXPECT_EQ(next(), page_delim);
  EXPECT_EQ(conv_->mode, mode_overwrite_database);
  shell_->back();

  {
    tds_test::dblib_client client(server.port());
    ASSERT_TRUE(client.exec("CREATE DATABASE shop"));
    ASSERT_TRUE(client.exec("USE shop CREATE TABLE rows (a int NULL)"));
  }
  answer_next([](QDialog& d) { return click(d, "2"); });
  EXPECT_EQ(next(), page_sel_file);
  EXPECT_EQ(last_text(),
            "Table with the same name already exists. Click 'Help' button\nfor more information.");
  answer_next([](QDialog& d) { return click(d, "1109"); });
  EXPECT_EQ(next(), page_delim);
  EXPECT_EQ(conv_->mode, mode_merge);
  shell_->back();
  answer_next([](QDialog& d) { return click(d, "1"); });
  EXPECT_EQ(next(), page_delim);
  EXPECT_EQ(conv_->mode, mode_overwrite_tables);
}

TEST_F(wizard_pages, worksheet_lists_move_items_both_ways) {
  open_wizard(false);
  conv_->src = std::filesystem::path(three_sheets()).wstring();
  conv_->selected = {{L"Stock", L""}, {L"Gone", L""}};
  conv_->available_queries = {{L"big orders", L"SELECT * FROM [Orders$]"}, {L"empty", L""}};
  auto& page = dynamic_cast<sel_tables_page&>(*shell_->page(page_sel_tables));
  page.page_init();
  // A selected name the workbook lacks is in neither list; an empty query is left out.
  EXPECT_EQ(items("1317"), QStringList({"big orders", "Notes", "Orders"}));
  EXPECT_EQ(items("1318"), QStringList({"Stock"}));
  EXPECT_TRUE(ctrl<QWidget>(page, "1114").isHidden());

  auto& available = widget<QListWidget>(page_sel_tables, "1317");
  available.setCurrentRow(1);
  page.on_add();
  EXPECT_EQ(items("1318"), QStringList({"Notes", "Stock"}));
  EXPECT_EQ(available.currentRow(), 1);  // the next item is ready to add
  page.on_add_all();
  EXPECT_TRUE(items("1317").isEmpty());
  EXPECT_EQ(items("1318").size(), 4);
  widget<QListWidget>(page_sel_tables, "1318").setCurrentRow(0);
  page.on_delete();
  EXPECT_EQ(items("1317"), QStringList({"big orders"}));
  page.on_del_all();
  EXPECT_EQ(items("1318"), QStringList());
  EXPECT_EQ(items("1317").size(), 4);

  // Nothing selected: asked, and No stays.
  shell_->setStartId(page_sel_tables);
  EXPECT_FALSE(page.on_next());
  EXPECT_EQ(last_text(), "There are no tables selected. Continue anyway?");
  available.setCurrentRow(0);  // "big orders"
  page.on_add();
  available.setCurrentRow(1);  // "Orders"
  page.on_add();
  answer_yes();
  ASSERT_TRUE(page.on_next());
  // Queries are never converted; only the worksheet is.
  EXPECT_EQ(conv_->worksheets.size(), 1u);
  EXPECT_EQ(conv_->worksheets.count(L"Orders"), 1u);
}

TEST_F(wizard_pages, a_stored_query_is_edited_from_the_selected_list) {
  open_wizard(false);
  conv_->src = std::filesystem::path(three_sheets()).wstring();
  conv_->available_queries = {{L"q", L"SELECT 1"}};
  auto& page = dynamic_cast<sel_tables_page&>(*shell_->page(page_sel_tables));
  page.page_init();
  auto& available = widget<QListWidget>(page_sel_tables, "1317");
  available.setCurrentItem(available.findItems(QStringLiteral("q"), Qt::MatchExactly).front());
  page.on_add();
  widget<QListWidget>(page_sel_tables, "1318").setCurrentRow(0);
  answer_next([](QDialog& d) {
    d.findChild<QLineEdit*>(QStringLiteral("1019"))->setText(QStringLiteral("renamed"));
    return click(d, "1");
  });
  page.on_edit_query();
  EXPECT_EQ(items("1318"), QStringList({"renamed"}));
  answer_yes();  // nothing but a query is selected: still fine to go on
  ASSERT_TRUE(page.on_next());
  EXPECT_EQ(conv_->available_queries.count(L"renamed"), 1u);
  EXPECT_EQ(conv_->available_queries.count(L"q"), 0u);
}

TEST_F(wizard_pages, csv_page_maps_every_delimiter_choice) {
  open_wizard(false);
  conv_->from_xls = false;
  auto& page = dynamic_cast<delim_page&>(*shell_->page(page_delim));
  struct choice {
    const char* radio;
    QString other;
    wchar_t delimiter;
    int n_comma;
  };
  const std::vector<choice> choices = {{"1329", {}, L'\t', 0}, {"1330", {}, L';', 1},
                                       {"1331", {}, L',', 2},  {"1332", {}, L' ', 3},
                                       {"1335", "|", L'|', 3}, {"1335", ",", L',', 2}};
  for (const choice& c : choices) {
    SCOPED_TRACE(c.radio);
    page.page_init();
    widget<QRadioButton>(page_delim, c.radio).setChecked(true);
    set_text(page_delim, "1336", c.other);
    set_text(page_delim, "1338", QStringLiteral("CP1252"));
    ASSERT_TRUE(page.on_next());
    EXPECT_EQ(conv_->csv_delimiter(), c.delimiter);
    EXPECT_EQ(conv_->n_comma, c.n_comma);
    EXPECT_EQ(conv_->encoding, "CP1252");
  }
  // The page shows what was stored.
  page.page_init();
  EXPECT_TRUE(widget<QRadioButton>(page_delim, "1331").isChecked());

  // "Other:" needs its one character.
  conv_->set_csv_delimiter(L'|');
  page.page_init();
  EXPECT_TRUE(widget<QRadioButton>(page_delim, "1335").isChecked());
  EXPECT_EQ(widget<QLineEdit>(page_delim, "1336").text(), "|");
  set_text(page_delim, "1336", QString());
  EXPECT_FALSE(page.on_next());
  EXPECT_EQ(seen_.back().kind, "Message");
}

TEST_F(wizard_pages, cancel_asks_first_and_no_keeps_the_wizard_open) {
  open_wizard(false);
  next();
  shell_->reject();
  EXPECT_EQ(last_text(), "Are you sure you want to exit the wizard?");
  EXPECT_TRUE(shell_->isVisible());
  answer_yes();
  shell_->reject();
  EXPECT_FALSE(shell_->isVisible());
}

}  // namespace

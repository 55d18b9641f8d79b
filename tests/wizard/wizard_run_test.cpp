// Whole conversions through the wizard's pages against tds_test_server: the
// four steps, the run on its worker thread followed by the progress page, the
// finish page's verdict, and a user who answers "Abort" or cancels mid-run.
#include <QPlainTextEdit>
#include <algorithm>
#include <QProgressBar>
#include <filesystem>
#include <fstream>

#include "dlg_error_continue.hpp"
#include "gui_finish_page.hpp"
#include "password_dlg.hpp"
#include "progress_page.hpp"
#include "run_process.hpp"
#include "test_support.hpp"
#include "wizard_fixture.hpp"

namespace {

using namespace wizard_test;
using table_rows = std::vector<std::vector<std::string>>;

class wizard_run : public wizard_fixture {
 protected:
  // Welcome, connection and source pages filled in; on the step-3 page.
  void steps_1_and_2(bool b_csv, const std::string& src, const QString& database,
                     const QString& table = {}) {
    open_wizard();
    widget<QRadioButton>(page_welcome, b_csv ? "1330" : "1329").setChecked(true);
    ASSERT_EQ(next(), page_mssql);
    widget<QRadioButton>(page_mssql, "1330").setChecked(true);
    set_text(page_mssql, "1014", QStringLiteral("127.0.0.1:%1").arg(server_.port()));
    set_text(page_mssql, "1012", QStringLiteral("sa"));
    set_text(page_mssql, "1013", QString::fromLatin1(tds_test::k_password));
    ASSERT_EQ(next(), page_sel_file) << seen_texts();
    set_text(page_sel_file, "1003", QString::fromStdString(src));
    set_text(page_sel_file, "1004", database);
    if (b_csv) set_text(page_sel_file, "1005", table);
    ASSERT_EQ(next(), b_csv ? page_delim : page_sel_tables) << seen_texts();
  }

  // Next on step 3, then waits for the finish page.
  void run_to_finish() {
    ASSERT_EQ(next(), page_progress) << seen_texts();
    EXPECT_FALSE(shell_->button(QWizard::BackButton)->isEnabled());
    EXPECT_FALSE(shell_->button(QWizard::NextButton)->isEnabled());
    ASSERT_TRUE(wait_for([&] { return shell_->currentId() == page_finish; })) << seen_texts();
  }

  QString finish_message() { return widget<QLabel>(page_finish, "1314").text(); }
  QString finish_errors() { return widget<QPlainTextEdit>(page_finish, "1016").toPlainText(); }

  table_rows query(const std::string& sql, const std::string& database) {
    tds_test::dblib_client client(server_.port(), database);
    EXPECT_TRUE(client.exec(sql)) << sql << ": " << client.last_error_text();
    return client.results().empty() ? table_rows{} : client.results().front().rows;
  }

  std::string write_csv(const std::string& name, int first, int last) {
    const std::string path = files_.file(name);
    std::ofstream out(path, std::ios::binary);
    out << "id;name\n";
    for (int i = first; i <= last; ++i) out << i << ";name " << i << "\n";
    return path;
  }

  void make_table_with_key(int rows) {
    tds_test::dblib_client client(server_.port());
    ASSERT_TRUE(client.exec("CREATE DATABASE shop"));
    std::string sql =
        "USE shop CREATE TABLE rows (id int NOT NULL PRIMARY KEY, name nvarchar(50) NULL)";
    for (int i = 1; i <= rows; ++i)
      sql += " INSERT INTO rows VALUES (" + std::to_string(i) + ", N'old')";
    ASSERT_TRUE(client.exec(sql)) << client.last_error_text();
  }

  tds_test::server_process server_;
};

TEST_F(wizard_run, a_workbook_converts_with_progress_to_100_and_success) {
  const std::string book = files_.file("sales.xlsx");
  const process_result made = run_process(
      "/usr/bin/python3",
      {"-c",
       "import sys, openpyxl\nwb = openpyxl.Workbook()\nws = wb.active\nws.title = 'Orders'\n"
       "ws.append(['id', 'item'])\nws.append([1, 'Tea'])\nws.append([2, 'Café'])\n"
       "s = wb.create_sheet('Stock')\ns.append(['qty'])\ns.append([5])\nwb.save(sys.argv[1])\n",
       book});
  ASSERT_EQ(made.status, 0) << made.err;
  steps_1_and_2(false, book, QStringLiteral("sales"));
  auto& available = widget<QListWidget>(page_sel_tables, "1317");
  available.setCurrentItem(available.findItems(QStringLiteral("Orders"), Qt::MatchExactly).front());
  ctrl<QAbstractButton>(*shell_->page(page_sel_tables), "1101").click();
  run_to_finish();
  EXPECT_EQ(widget<QProgressBar>(page_progress, "1321").value(), 100);
  EXPECT_EQ(finish_message(), gui_finish_page::success_text) << finish_errors().toStdString();
  EXPECT_TRUE(widget<QPlainTextEdit>(page_finish, "1016").isHidden());
  EXPECT_FALSE(shell_->button(QWizard::CancelButton)->isEnabled());
  EXPECT_EQ(query("SELECT id, item FROM Orders ORDER BY id", "sales"),
            (table_rows{{"1", "Tea"}, {"2", "Café"}}));
  // Only the selected worksheet became a table.
  EXPECT_EQ(query("SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES", "sales"), (table_rows{{"1"}}));
}

TEST_F(wizard_run, a_csv_file_converts_with_another_delimiter) {
  const std::string csv = files_.write("in.csv", "id|name\n1|Anna\n2|Олег\n");
  answer_yes();  // the database does not exist: create it
  steps_1_and_2(true, csv, QStringLiteral("shop"), QStringLiteral("people"));
  widget<QRadioButton>(page_delim, "1335").setChecked(true);
  set_text(page_delim, "1336", QStringLiteral("|"));
  run_to_finish();
  EXPECT_EQ(widget<QProgressBar>(page_progress, "1321").value(), 100);
  EXPECT_EQ(finish_message(), gui_finish_page::success_text) << finish_errors().toStdString();
  EXPECT_EQ(query("SELECT id, name FROM people ORDER BY id", "shop"),
            (table_rows{{"1", "Anna"}, {"2", "Олег"}}));
}

TEST_F(wizard_run, a_merge_lists_each_duplicate_key_and_keeps_twenty) {
  make_table_with_key(25);
  const std::string csv = write_csv("more.csv", 1, 30);
  answer_next([](QDialog& d) { return click(d, "1109"); });  // merge
  steps_1_and_2(true, csv, QStringLiteral("shop"), QStringLiteral("rows"));
  ASSERT_EQ(conv_->mode, mode_merge);
  // The first refused record asks; "do not show again" and Continue.
  answer_next([](QDialog& d) {
    d.findChild<QCheckBox*>(QStringLiteral("1222"))->click();
    return click(d, "2");
  });
  run_to_finish();
  EXPECT_EQ(finish_message(), gui_finish_page::error_text);
  const QStringList entries = finish_errors().split(QStringLiteral("\n\n"), Qt::SkipEmptyParts);
  EXPECT_EQ(entries.size(), 20) << finish_errors().toStdString();
  EXPECT_TRUE(entries.front().startsWith(QStringLiteral("rows, record #1")))
      << entries.front().toStdString();
  EXPECT_EQ(query("SELECT COUNT(*) FROM rows", "shop"), (table_rows{{"30"}}));
  int asked = 0;
  for (const shown_dialog& d : seen_) asked += d.text.contains(QStringLiteral("record #"));
  EXPECT_EQ(asked, 1) << seen_texts();
}

TEST_F(wizard_run, abort_in_the_continue_dialog_ends_the_run) {
  make_table_with_key(3);
  // Two batches: the first holds the duplicates, the second never goes.
  const std::string csv = write_csv("more.csv", 1, 2500);
  answer_next([](QDialog& d) { return click(d, "1109"); });
  steps_1_and_2(true, csv, QStringLiteral("shop"), QStringLiteral("rows"));
  answer_next([](QDialog& d) { return click(d, "1"); });  // Abort
  run_to_finish();
  EXPECT_EQ(conv_->outcome(), run_outcome::stopped);
  EXPECT_EQ(finish_message(), gui_finish_page::error_text);
  const table_rows count = query("SELECT COUNT(*) FROM rows", "shop");
  ASSERT_EQ(count.size(), 1u);
  // Rows past the refused batch were never sent.
  EXPECT_LT(std::stoi(count[0][0]), 2500);
}

TEST_F(wizard_run, cancel_during_a_long_load_stops_between_records_and_closes) {
  const std::string csv = write_csv("long.csv", 1, 300000);
  answer_yes();  // create the database
  steps_1_and_2(true, csv, QStringLiteral("shop"), QStringLiteral("rows"));
  seen_.clear();
  ASSERT_EQ(next(), page_progress) << seen_texts();
  auto& progress = dynamic_cast<progress_page&>(*shell_->page(page_progress));
  ASSERT_TRUE(wait_for([&] { return conv_->progress().records >= 2000; }));
  answer_yes();
  shell_->reject();
  EXPECT_EQ(last_text(), "Are you sure you want to exit the wizard?");
  ASSERT_TRUE(wait_for([&] { return !shell_->isVisible(); }));
  EXPECT_FALSE(progress.is_running());
  EXPECT_EQ(conv_->outcome(), run_outcome::stopped);
  // What landed is whole: ids 1..n without a gap, each row complete.
  const table_rows rows =
      query("SELECT COUNT(*), MAX(CAST(id AS int)), COUNT(name) FROM rows", "shop");
  ASSERT_EQ(rows.size(), 1u);
  const int count = std::stoi(rows[0][0]);
  EXPECT_GT(count, 0);
  EXPECT_LT(count, 300000);
  EXPECT_EQ(rows[0][1], rows[0][0]);
  EXPECT_EQ(rows[0][2], rows[0][0]);
}

TEST_F(wizard_run, a_run_that_cannot_go_on_is_shown_and_the_wizard_stays) {
  const std::string csv = files_.write("in.csv", "id;name\n1;Anna\n");
  answer_yes();  // create the database
  steps_1_and_2(true, csv, QStringLiteral("shop"), QStringLiteral("people"));
  set_text(page_delim, "1338", QStringLiteral("NO-SUCH-CHARSET"));
  run_to_finish();
  EXPECT_EQ(conv_->outcome(), run_outcome::failed);
  EXPECT_EQ(finish_message(), gui_finish_page::error_text);
  const QString listed = finish_errors();
  EXPECT_NE(listed.indexOf(QStringLiteral("NO-SUCH-CHARSET")), -1) << listed.toStdString();
  // The same text was shown as an error box while the run ended.
  ASSERT_TRUE(wait_for([&] {
    return std::any_of(seen_.begin(), seen_.end(), [](const shown_dialog& d) {
      return d.kind == "Error" && d.text.contains(QStringLiteral("NO-SUCH-CHARSET"));
    });
  })) << seen_texts();
  EXPECT_TRUE(shell_->isVisible());
}

TEST_F(wizard_run, an_encrypted_workbook_asks_for_its_password_until_it_opens) {
  const std::string book = std::string(DAO_FIXTURES) + "/agile.xlsx";
  const QString right = QStringLiteral("S3cret été");
  open_wizard();
  widget<QRadioButton>(page_welcome, "1329").setChecked(true);
  ASSERT_EQ(next(), page_mssql);
  widget<QRadioButton>(page_mssql, "1330").setChecked(true);
  set_text(page_mssql, "1014", QStringLiteral("127.0.0.1:%1").arg(server_.port()));
  set_text(page_mssql, "1012", QStringLiteral("sa"));
  set_text(page_mssql, "1013", QString::fromLatin1(tds_test::k_password));
  ASSERT_EQ(next(), page_sel_file) << seen_texts();
  set_text(page_sel_file, "1003", QString::fromStdString(book));
  set_text(page_sel_file, "1004", QStringLiteral("locked"));

  // Cancel stays on the page without another word.
  answer_next([](QDialog& d) { return click(d, "2"); });
  EXPECT_EQ(next(), page_sel_file);
  ASSERT_EQ(seen_.size(), 1u) << seen_texts();

  std::vector<QString> prompts;
  for (const QString& typed : {QStringLiteral("wrong"), right}) {
    answer_next([&prompts, typed](QDialog& d) {
      prompts.push_back(d.findChild<QLabel*>(QStringLiteral("1341"))->text());
      d.findChild<QLineEdit*>(QStringLiteral("1340"))->setText(typed);
      return click(d, "1");
    });
  }
  ASSERT_EQ(next(), page_sel_tables) << seen_texts();
  ASSERT_EQ(prompts.size(), 2u);
  EXPECT_EQ(prompts[0].indexOf(QStringLiteral("not accepted")), -1);
  EXPECT_NE(prompts[1].indexOf(QStringLiteral("not accepted")), -1);
  EXPECT_EQ(conv_->src_pswd, right.toStdWString());

  ctrl<QAbstractButton>(*shell_->page(page_sel_tables), "1102").click();
  run_to_finish();
  EXPECT_EQ(finish_message(), gui_finish_page::success_text) << finish_errors().toStdString();
  EXPECT_EQ(query("SELECT COUNT(*) FROM Locked", "locked"), (table_rows{{"300"}}));
}

}  // namespace

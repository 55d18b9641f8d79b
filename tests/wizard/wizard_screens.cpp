// Takes a picture of every page of the wizard, filled in as a user would,
// for the README: scripts/wizard-screenshots runs it under Xvfb.
//
//   wizard_screens OUTPUT_FOLDER
//
// It starts tds_test_server, writes a small workbook and a CSV file, walks
// the pages with the real widgets and saves one PNG per page (and one of the
// dialog that asks how an existing database is treated).
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QRadioButton>
#include <QTest>
#include <cstdio>
#include <fstream>
#include <memory>

#include "error_handler.hpp"
#include "error_maps.hpp"
#include "overwrite_dlg2.hpp"
#include "run_process.hpp"
#include "temp_folder.hpp"
#include "tessaly_convertor.hpp"
#include "test_support.hpp"
#include "wizard_front_end.hpp"
#include "wizard_page.hpp"
#include "wizard_shell.hpp"
#include "wizard_window.hpp"

namespace {

QString out_folder;

void save(QWidget& widget, const char* name) {
  QTest::qWait(150);
  const QString path = out_folder + QStringLiteral("/") + QString::fromLatin1(name) + ".png";
  if (!widget.grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  std::printf("%s\n", qPrintable(path));
}

void set_text(wizard_shell& shell, int page, const char* id, const QString& text) {
  ctrl<QLineEdit>(*shell.page(page), id).setText(text);
}

void fill_connection(wizard_shell& shell, int port) {
  ctrl<QRadioButton>(*shell.page(page_mssql), "1330").setChecked(true);
  set_text(shell, page_mssql, "1014", QStringLiteral("127.0.0.1:%1").arg(port));
  set_text(shell, page_mssql, "1012", QStringLiteral("sa"));
  set_text(shell, page_mssql, "1013", QString::fromLatin1(tds_test::k_password));
}

// Waits, handling events, until `done` or a minute has passed.
bool wait_for(const std::function<bool()>& done) {
  for (int waited = 0; !done(); waited += 20) {
    if (waited > 60000) return false;
    QTest::qWait(20);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: wizard_screens OUTPUT_FOLDER\n");
    return 2;
  }
  out_folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out_folder);
  temp_folder files;
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(files.path().string()));
  const std::string book = files.file("Sales 2024.xlsx");
  run_process("/usr/bin/python3",
              {"-c",
               "import sys, openpyxl\nwb = openpyxl.Workbook()\nws = wb.active\n"
               "ws.title = 'Orders'\nws.append(['id', 'item'])\nws.append([1, 'Tea'])\n"
               "for n in ['Stock', 'Customers', 'Notes']:\n"
               "    s = wb.create_sheet(n)\n    s.append(['v'])\n    s.append([1])\n"
               "wb.save(sys.argv[1])\n",
               book});
  const std::string csv = files.file("orders.csv");
  {
    std::ofstream out(csv);
    out << "id;customer;amount\n";
    for (int i = 1; i <= 400000; ++i) out << i << ";customer " << i << ";" << i % 97 << "\n";
  }

  tds_test::server_process server;
  {
    tds_test::dblib_client client(server.port());
    client.exec("CREATE DATABASE [Sales 2024]");
  }
  auto owned = std::make_unique<wizard_front_end>();
  wizard_front_end& front_end = *owned;
  error_handler handler(dao_error_map(), std::move(owned));
  handler.load_err_map(odb_error_map());
  handler.load_err_map(workbook_error_map());
  tessaly_convertor conv;
  conv.b_profile_selects_sheets = false;
  conv.serialize(false);

  bool b_dialog_shot = false;
  wizard_shell::set_dialog_hook([&](QDialog& dialog) {
    if (auto* choose = dynamic_cast<overwrite_dlg2*>(&dialog)) {
      choose->show();
      if (!b_dialog_shot) save(*choose, "dialog-existing-database");
      b_dialog_shot = true;
      choose->findChild<QRadioButton*>(QStringLiteral("1330"))->setChecked(true);
      choose->findChild<QAbstractButton*>(QStringLiteral("1"))->click();
      return choose->result();
    }
    if (qobject_cast<QMessageBox*>(&dialog)) return int(QMessageBox::Yes);
    return dialog.exec();
  });

  {
    // A workbook: every page up to the finish.
    wizard_shell shell;
    add_wizard_pages(shell, conv, front_end);
    shell.resize(720, 520);
    shell.show();
    save(shell, "1-welcome");
    shell.next();
    fill_connection(shell, server.port());
    save(shell, "2-connection");
    shell.next();
    set_text(shell, page_sel_file, "1003", QString::fromStdString(book));
    set_text(shell, page_sel_file, "1004", QStringLiteral("Sales 2024"));
    save(shell, "3-source");
    shell.next();
    auto& available = ctrl<QListWidget>(*shell.page(page_sel_tables), "1317");
    available.setCurrentRow(0);
    ctrl<QAbstractButton>(*shell.page(page_sel_tables), "1101").click();
    available.setCurrentRow(1);
    ctrl<QAbstractButton>(*shell.page(page_sel_tables), "1101").click();
    save(shell, "4-worksheets");
    shell.next();
    wait_for([&] { return shell.currentId() == page_finish; });
    save(shell, "7-finish");
  }
  {
    // A CSV file: its formatting page and the progress of a long load.
    wizard_shell shell;
    add_wizard_pages(shell, conv, front_end);
    shell.resize(720, 520);
    shell.show();
    ctrl<QRadioButton>(*shell.page(page_welcome), "1330").setChecked(true);
    shell.next();
    fill_connection(shell, server.port());
    shell.next();
    set_text(shell, page_sel_file, "1003", QString::fromStdString(csv));
    set_text(shell, page_sel_file, "1004", QStringLiteral("Shop"));
    set_text(shell, page_sel_file, "1005", QStringLiteral("orders"));
    shell.next();
    set_text(shell, page_delim, "1338", QStringLiteral("UTF-8"));
    save(shell, "5-csv");
    shell.next();
    wait_for([&] { return conv.progress().percent >= 30; });
    save(shell, "6-progress");
    wait_for([&] { return shell.currentId() == page_finish; });
  }
  wizard_shell::set_dialog_hook({});
  return 0;
}

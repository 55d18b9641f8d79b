#include "wizard_window.hpp"

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>

#include "delim_page.hpp"
#include "gui_finish_page.hpp"
#include "mssql_settings_page.hpp"
#include "progress_page.hpp"
#include "sel_file_page.hpp"
#include "sel_tables_page.hpp"
#include "tk_system.hpp"
#include "welcome_page.hpp"
#include "wizard_shell.hpp"

void add_wizard_pages(wizard_shell& shell, tessaly_convertor& conv, wizard_front_end& front_end) {
  shell.setPage(page_welcome, new welcome_page(conv));
  shell.setPage(page_mssql, new mssql_settings_page(conv));
  shell.setPage(page_sel_file, new sel_file_page(conv));
  shell.setPage(page_sel_tables, new sel_tables_page(conv));
  shell.setPage(page_delim, new delim_page(conv));
  shell.setPage(page_progress, new progress_page(conv, front_end));
  shell.setPage(page_finish, new gui_finish_page(conv, front_end));
  shell.setStartId(page_welcome);
}

void install_desktop_hooks() {
  tk_set_clipboard_handler([](const std::wstring& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    clipboard->setText(QString::fromStdWString(text));
    return true;
  });
  tk_set_mail_handler([](const tk_bug_mail& mail) {
    const QString address =
        QString::fromStdString(mail.recipient).remove(QStringLiteral("mailto:"));
    const bool b_started = QProcess::startDetached(
        QStringLiteral("xdg-email"),
        {QStringLiteral("--subject"), QString::fromLocal8Bit(mail.subject),
         QStringLiteral("--body"), QString::fromLocal8Bit(mail.body), address});
    return b_started ? 0 : 1;
  });
}

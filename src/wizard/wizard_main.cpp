// tessaly-wizard: converts a workbook or a CSV file into a SQL Server
// database in four steps. The one optional argument names a profile file
// whose settings preload the pages. The settings of the last session are
// kept in the settings file; the exit status is the wizard's result
// (1 finished, 0 cancelled).
#include <QApplication>
#include <clocale>
#include <memory>

#include "error_handler.hpp"
#include "error_maps.hpp"
#include "tessaly_convertor.hpp"
#include "tk_exception.hpp"
#include "wizard_front_end.hpp"
#include "wizard_shell.hpp"
#include "wizard_window.hpp"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::setlocale(LC_ALL, "");
  auto owned_front_end = std::make_unique<wizard_front_end>();
  wizard_front_end& front_end = *owned_front_end;
  error_handler handler(dao_error_map(), std::move(owned_front_end));
  handler.load_err_map(odb_error_map());
  handler.load_err_map(workbook_error_map());
  install_desktop_hooks();

  int status = 0;
  {
    tessaly_convertor conv;
    // The worksheet page resolves a profile's worksheets when it is shown.
    conv.b_profile_selects_sheets = false;
    conv.serialize(false);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1) {
      try {
        conv.load_profile(arguments.at(1).toStdWString());
        if (!conv.profile_warning.empty())
          wizard_shell::message(QString::fromLocal8Bit(conv.profile_warning));
      } catch (const tk_exception& e) {
        wizard_shell::error(QString::fromLocal8Bit(e.what()));
      }
    }
    {
      wizard_shell shell;
      add_wizard_pages(shell, conv, front_end);
      status = shell.exec();
    }
    conv.serialize(true);
  }
  return status;
}

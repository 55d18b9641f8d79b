#include "overwrite_dlg.hpp"

#include <QApplication>
#include <QPushButton>

#include "tk_trace.hpp"
#include "wizard_shell.hpp"

overwrite_dlg::overwrite_dlg(int help_context, const QString& text)
    : wizard_dialog(wizard_shell::title() + QStringLiteral(" Warning"), text,
                    QMessageBox::Warning) {
  tk_trace(1, "overwrite_dlg::overwrite_dlg");
  connect(add_button(QStringLiteral("&Overwrite"), QDialog::Accepted, true), &QPushButton::clicked,
          this, [this] {
            answer_ = answer_overwrite;
            done(QDialog::Accepted);
          });
  connect(add_button(QStringLiteral("&Merge"), result_merge), &QPushButton::clicked, this, [this] {
    answer_ = answer_merge;
    done(result_merge);
  });
  connect(add_button(QStringLiteral("Cancel"), 2), &QPushButton::clicked, this,
          [this] { done(2); });
  connect(add_button(QStringLiteral("Help"), 9), &QPushButton::clicked, this,
          [help_context] { wizard_shell::display_help(help_context); });
  QApplication::beep();
}

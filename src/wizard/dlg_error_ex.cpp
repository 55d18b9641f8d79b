#include "dlg_error_ex.hpp"

#include <QPushButton>

#include "tk_system.hpp"
#include "tk_trace.hpp"
#include "wizard_shell.hpp"

dlg_error_ex::dlg_error_ex(const QString& text)
    : wizard_dialog(error_caption(), text, QMessageBox::Critical) {
  tk_trace(2, "dlg_error_ex::ctor");
  connect(add_button(QStringLiteral("Send bug"), result_send_bug, true), &QPushButton::clicked,
          this, [this, text] {
            const QString subject =
                wizard_shell::is_initialized() ? wizard_shell::title() : QString();
            tk_send_bug(subject.toLocal8Bit().toStdString(), text.toLocal8Bit().toStdString());
            done(result_send_bug);
          });
  connect(add_button(QStringLiteral("OK"), QDialog::Accepted), &QPushButton::clicked, this,
          [this] { done(QDialog::Accepted); });
  connect(add_button(QStringLiteral("Copy to clipboard"), result_copy), &QPushButton::clicked, this,
          [this, text] {
            tk_copy_to_clipboard2(text.toStdWString());
            done(result_copy);
          });
}

#include "dlg_error_continue.hpp"

#include <QBoxLayout>
#include <QCheckBox>
#include <QPushButton>

#include "tk_trace.hpp"

dlg_error_continue::dlg_error_continue(const QString& text)
    : wizard_dialog(error_caption(), text, QMessageBox::Critical) {
  tk_trace(2, "dlg_error_continue::ctor");
  auto* check = new QCheckBox(QStringLiteral("&Do not show this dialog box again"));
  check->setObjectName(QStringLiteral("1222"));
  body().addWidget(check);
  connect(check, &QCheckBox::toggled, this, [this](bool b_on) { b_do_not_show_ = b_on; });
  connect(add_button(QStringLiteral("Continue"), result_continue, true), &QPushButton::clicked,
          this, [this] { done(result_continue); });
  connect(add_button(QStringLiteral("Abort"), result_abort), &QPushButton::clicked, this,
          [this] { done(result_abort); });
}

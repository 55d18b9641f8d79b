#include "password_dlg.hpp"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "wizard_shell.hpp"

password_dlg::password_dlg(const QString& file_name, bool b_retry)
    : QDialog(wizard_shell::instance()) {
  setWindowTitle(wizard_shell::title() + QStringLiteral(" Password"));
  auto* layout = new QVBoxLayout(this);
  QString text = QStringLiteral("The workbook '%1' is protected with a password.").arg(file_name);
  if (b_retry) text += QStringLiteral("\nThe password given was not accepted; try again.");
  auto* label = new QLabel(text + QStringLiteral("\n\n&Password to open it:"));
  label->setObjectName(QStringLiteral("1341"));
  label->setWordWrap(true);
  layout->addWidget(label);
  edit_ = new QLineEdit;
  edit_->setObjectName(QStringLiteral("1340"));
  edit_->setEchoMode(QLineEdit::Password);
  label->setBuddy(edit_);
  layout->addWidget(edit_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("1"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("2"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

QString password_dlg::password() const { return edit_->text(); }

#include "overwrite_dlg2.hpp"

#include <QApplication>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QPushButton>
#include <QRadioButton>

#include "tk_trace.hpp"
#include "wizard_shell.hpp"

overwrite_dlg2::overwrite_dlg2(int help_context, const QString& text)
    : wizard_dialog(wizard_shell::title() + QStringLiteral(" Warning"), text, QMessageBox::Warning),
      choices_(new QButtonGroup(this)) {
  tk_trace(2, "overwrite_dlg2::ctor");
  const char* captions[] = {"&Overwrite the entire database", "Overwrite existing &tables only",
                            "&Skip existing tables", "&Merge"};
  for (int mode = 0; mode < 4; ++mode) {
    auto* radio = new QRadioButton(QString::fromLatin1(captions[mode]));
    radio->setObjectName(QString::number(1329 + mode));
    choices_->addButton(radio, mode);
    body().addWidget(radio);
  }
  choices_->button(0)->setChecked(true);
  connect(add_button(QStringLiteral("OK"), QDialog::Accepted, true), &QPushButton::clicked, this,
          [this] {
            mode_ = choices_->checkedId();
            done(QDialog::Accepted);
          });
  connect(add_button(QStringLiteral("Cancel"), 2), &QPushButton::clicked, this,
          [this] { done(2); });
  connect(add_button(QStringLiteral("Help"), 9), &QPushButton::clicked, this,
          [help_context] { wizard_shell::display_help(help_context); });
  QApplication::beep();
}

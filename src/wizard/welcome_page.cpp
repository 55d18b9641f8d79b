#include "welcome_page.hpp"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "tessaly_convertor.hpp"
#include "tk_exception.hpp"
#include "tk_trace.hpp"
#include "wizard_art.hpp"
#include "wizard_shell.hpp"

welcome_page::welcome_page(tessaly_convertor& conv) : wizard_page(conv, page_welcome, 1012) {
  // The watermark belongs to the first and last pages only.
  setPixmap(QWizard::WatermarkPixmap, wizard_art::watermark());
  auto* layout = new QVBoxLayout(this);
  auto* big = new QLabel(QStringLiteral("Welcome to the Database\nConversion Wizard\n"));
  big->setObjectName(QStringLiteral("1337"));
  set_title_font(*big);
  layout->addWidget(big);
  layout->addWidget(
      new QLabel(QStringLiteral("This wizard helps you convert MS Excel spreadsheet into\n"
                                "MS SQL database. Click 'Next' to continue.")));
  layout->addWidget(
      new QLabel(QStringLiteral("WARNING: conversion productivity strongly depends\n"
                                "on amount of available memory. It is recommended that\n"
                                "you exit all programs before continue with the wizard.")));
  layout->addSpacing(12);
  layout->addWidget(new QLabel(QStringLiteral("Select data source type:")));
  xls_ = new QRadioButton(QStringLiteral("MS &Excel spreadsheet"));
  xls_->setObjectName(QStringLiteral("1329"));
  csv_ = new QRadioButton(QStringLiteral("&CSV file"));
  csv_->setObjectName(QStringLiteral("1330"));
  layout->addWidget(xls_);
  layout->addWidget(csv_);
  layout->addStretch(1);
  auto* load = new QPushButton(QStringLiteral("&Load Settings"));
  load->setObjectName(QStringLiteral("1115"));
  connect(load, &QPushButton::clicked, this, [this] { on_load_settings(); });
  auto* row = new QHBoxLayout;
  row->addWidget(load);
  row->addStretch(1);
  layout->addLayout(row);
}

QString welcome_page::profile_filter() {
  return QStringLiteral("Profile Files (.%1) (*.%1);;All Files (*.*) (*)")
      .arg(QString::fromLatin1(profile_extension));
}

void welcome_page::set_radios() {
  xls_->setChecked(conv_.from_xls);
  csv_->setChecked(!conv_.from_xls);
}

void welcome_page::page_init() {
  tk_trace(1, "welcome_page::page_init");
  set_radios();
}

bool welcome_page::on_next() {
  tk_trace(1, "welcome_page::on_next");
  conv_.from_xls = xls_->isChecked();
  tk_trace(1, "from_xls=%d", conv_.from_xls ? 1 : 0);
  return true;
}

int welcome_page::nextId() const { return page_mssql; }

void welcome_page::on_load_settings() {
  const QString path = wizard_shell::ask_file(false, QStringLiteral("Select Profile File"),
                                              profile_filter(), QString());
  if (path.isEmpty()) return;
  try {
    conv_.load_profile(path.toStdWString());
  } catch (const tk_exception& e) {
    wizard_shell::error(QString::fromLocal8Bit(e.what()));
    return;
  }
  if (!conv_.profile_warning.empty())
    wizard_shell::message(QString::fromLocal8Bit(conv_.profile_warning));
  set_radios();
}

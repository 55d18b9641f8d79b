#include "mssql_settings_page.hpp"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "connecting_dlg.hpp"
#include "connection_test.hpp"
#include "conversion_thread.hpp"
#include "tessaly_convertor.hpp"
#include "tk_trace.hpp"
#include "wizard_shell.hpp"

namespace {

constexpr int max_text = 260;

QLineEdit* make_edit(const char* id) {
  auto* edit = new QLineEdit;
  edit->setObjectName(QString::fromLatin1(id));
  edit->setMaxLength(max_text);
  return edit;
}

}  // namespace

mssql_settings_page::mssql_settings_page(tessaly_convertor& conv)
    : wizard_page(conv, page_mssql, 1010, QStringLiteral("Step 1 of 4"),
                  QStringLiteral("Connect to MSSQL server")) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(
      QStringLiteral("Provide necessary information to establish MS SQL server connection.")));
  layout->addWidget(
      new QLabel(QStringLiteral("Leave 'MS SQL Server' field empty to connect to local server.")));
  auto* server_row = new QGridLayout;
  host_ = make_edit("1014");
  auto* host_label = new QLabel(QStringLiteral("MS &SQL Server:"));
  host_label->setBuddy(host_);
  server_row->addWidget(host_label, 0, 0);
  server_row->addWidget(host_, 0, 1);
  layout->addLayout(server_row);

  auto* group = new QGroupBox(QStringLiteral(" Connect using: "));
  auto* grid = new QGridLayout(group);
  windows_ = new QRadioButton(QStringLiteral("&Windows authentication"));
  windows_->setObjectName(QStringLiteral("1329"));
  sql_ = new QRadioButton(QStringLiteral("S&QL Server authentication"));
  sql_->setObjectName(QStringLiteral("1330"));
  grid->addWidget(windows_, 0, 0, 1, 2);
  grid->addWidget(sql_, 1, 0, 1, 2);
  user_ = make_edit("1012");
  pswd_ = make_edit("1013");
  pswd_->setEchoMode(QLineEdit::Password);
  auto* user_label = new QLabel(QStringLiteral("&Login name:"));
  user_label->setBuddy(user_);
  auto* pswd_label = new QLabel(QStringLiteral("&Password:"));
  pswd_label->setBuddy(pswd_);
  grid->addWidget(user_label, 2, 0);
  grid->addWidget(user_, 2, 1);
  grid->addWidget(pswd_label, 3, 0);
  grid->addWidget(pswd_, 3, 1);
  layout->addWidget(group);
  as_dbo_ = new QCheckBox(QStringLiteral("&Connect as database owner"));
  as_dbo_->setObjectName(QStringLiteral("1202"));
  layout->addWidget(as_dbo_);
  layout->addStretch(1);
  connect(windows_, &QRadioButton::toggled, this, [this] { enable_login(); });
}

void mssql_settings_page::enable_login() {
  user_->setEnabled(sql_->isChecked());
  pswd_->setEnabled(sql_->isChecked());
}

void mssql_settings_page::page_init() {
  tk_trace(1, "mssql_settings_page::page_init");
  host_->setText(QString::fromStdWString(conv_.mssql.host));
  user_->setText(QString::fromStdWString(conv_.mssql.user));
  pswd_->setText(QString::fromStdWString(conv_.mssql.pswd));
  windows_->setChecked(conv_.mssql.sec_log);
  sql_->setChecked(!conv_.mssql.sec_log);
  enable_login();
  as_dbo_->setChecked(conv_.mssql.as_dbo());
}

void mssql_settings_page::store() {
  conv_.mssql.sec_log = windows_->isChecked();
  conv_.mssql.host = host_->text().trimmed().toStdWString();
  conv_.mssql.user = user_->text().toStdWString();
  conv_.mssql.pswd = pswd_->text().toStdWString();
  conv_.mssql.set_as_dbo(as_dbo_->isChecked());
}

bool mssql_settings_page::on_next() {
  store();
  connection_test test(conv_.mssql);
  conversion_thread worker(test);
  worker.start();
  connecting_dlg dialog([&worker] { return !worker.is_running(); });
  dialog.exec();
  worker.clean_up();
  if (!test.ok()) wizard_shell::error(test.error_text());
  return test.ok();
}

#include "set_query_dlg.hpp"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "tessaly_convertor.hpp"
#include "tk_support.hpp"
#include "tk_trace.hpp"
#include "wizard_shell.hpp"

namespace {

constexpr int max_text = 2048;

QPushButton* add_button(QHBoxLayout& row, const QString& caption, const char* id) {
  auto* button = new QPushButton(caption);
  button->setObjectName(QString::fromLatin1(id));
  row.addWidget(button);
  return button;
}

}  // namespace

set_query_dlg::set_query_dlg(tessaly_convertor& conv, const QString& table_name,
                             const QString& query)
    : QDialog(wizard_shell::instance()), conv_(conv) {
  tk_trace(1, "set_query_dlg::set_query_dlg");
  setWindowTitle(QStringLiteral("Add Query"));
  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel(QStringLiteral("Store as Table:")), 0, 0);
  name_ = new QLineEdit(table_name);
  name_->setObjectName(QStringLiteral("1019"));
  name_->setMaxLength(max_text);
  grid->addWidget(name_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Query:")), 1, 0, Qt::AlignTop);
  query_ = new QPlainTextEdit(query);
  query_->setObjectName(QStringLiteral("1020"));
  grid->addWidget(query_, 1, 1);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  QPushButton* ok = add_button(*row, QStringLiteral("OK"), "1");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] { on_ok(); });
  connect(add_button(*row, QStringLiteral("Cancel"), "2"), &QPushButton::clicked, this, [this] {
    tk_trace(1, "set_query_dlg::on_cancel");
    done(QDialog::Rejected);
  });
  connect(add_button(*row, QStringLiteral("Test Query"), "129"), &QPushButton::clicked, this,
          [this] { on_test(); });
  connect(add_button(*row, QStringLiteral("Help"), "9"), &QPushButton::clicked, this,
          [] { wizard_shell::display_help(1016); });
  grid->addLayout(row, 2, 0, 1, 2);
}

QString set_query_dlg::table_name() const { return name_->text().left(max_text); }

QString set_query_dlg::query() const { return query_->toPlainText().left(max_text); }

bool set_query_dlg::passes_select_test(const QString& query) {
  if (query.isEmpty()) return true;
  qsizetype start = 0;
  while (start < query.size() && QStringLiteral("\t\n\r ").contains(query[start])) ++start;
  const QString rest = query.mid(start);
  return rest.size() >= 6 &&
         rest.left(6).compare(QStringLiteral("SELECT"), Qt::CaseInsensitive) == 0;
}

void set_query_dlg::on_ok() {
  tk_trace(1, "set_query_dlg::on_ok");
  if (table_name().isEmpty()) {
    wizard_shell::message(QStringLiteral("Table name is empty!"));
    return;
  }
  if (!passes_select_test(query())) {
    wizard_shell::error(QStringLiteral("The query must start with SELECT."));
    return;
  }
  if (query().isEmpty()) {
    wizard_shell::error(QStringLiteral("Query is empty!"));
    return;
  }
  done(QDialog::Accepted);
}

void set_query_dlg::on_test() {
  if (!passes_select_test(query())) {
    wizard_shell::error(QStringLiteral("The query must start with SELECT."));
    return;
  }
  if (conv_.is_query(query().toStdWString())) {
    wizard_shell::message(QStringLiteral("The query is correct."));
    return;
  }
  wizard_shell::error(
      QStringLiteral("You have an error in your query syntax. Make sure that it is a correct SQL "
                     "SELECT-statement. Contact ") +
      QStringLiteral(TK_SUPPORT_EMAIL) + QStringLiteral(" if the error persists."));
}

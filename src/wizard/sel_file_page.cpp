#include "sel_file_page.hpp"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dao_database.hpp"
#include "dao_engine.hpp"
#include "dao_exception.hpp"
#include "mss_database.hpp"
#include "mss_engine.hpp"
#include "overwrite_dlg.hpp"
#include "overwrite_dlg2.hpp"
#include "password_dlg.hpp"
#include "tessaly_convertor.hpp"
#include "tk_trace.hpp"
#include "wizard_shell.hpp"

namespace {

constexpr int max_text = 260;
constexpr int overwrite_help = 1019;

QLineEdit* make_edit(const char* id) {
  auto* edit = new QLineEdit;
  edit->setObjectName(QString::fromLatin1(id));
  edit->setMaxLength(max_text);
  return edit;
}

QString base_name(const QString& path) { return QFileInfo(path).completeBaseName(); }

}  // namespace

sel_file_page::sel_file_page(tessaly_convertor& conv)
    : wizard_page(conv, page_sel_file, 1015, QStringLiteral("Step 2 of 4"),
                  QStringLiteral("Select data source and destination")) {
  auto* layout = new QVBoxLayout(this);
  description_ = new QLabel;
  description_->setObjectName(QStringLiteral("1307"));
  description_->setWordWrap(true);
  layout->addWidget(description_);
  file_label_ = new QLabel;
  file_label_->setObjectName(QStringLiteral("1333"));
  layout->addWidget(file_label_);
  auto* file_row = new QHBoxLayout;
  file_ = make_edit("1003");
  file_label_->setBuddy(file_);
  file_row->addWidget(file_, 1);
  auto* browse = new QPushButton(QStringLiteral("Browse..."));
  browse->setObjectName(QStringLiteral("1107"));
  connect(browse, &QPushButton::clicked, this, [this] { on_browse(); });
  file_row->addWidget(browse);
  layout->addLayout(file_row);

  auto* grid = new QGridLayout;
  database_ = make_edit("1004");
  auto* database_label = new QLabel(QStringLiteral("&MS SQL database name:"));
  database_label->setBuddy(database_);
  grid->addWidget(database_label, 0, 0);
  grid->addWidget(database_, 0, 1);
  table_ = make_edit("1005");
  auto* table_label = new QLabel(QStringLiteral("MS SQL &table name:"));
  table_label->setObjectName(QStringLiteral("1310"));
  table_label->setBuddy(table_);
  grid->addWidget(table_label, 1, 0);
  grid->addWidget(table_, 1, 1);
  layout->addLayout(grid);
  first_row_ = new QCheckBox(QStringLiteral("E&xtract field names from the first row"));
  first_row_->setObjectName(QStringLiteral("1222"));
  refine_ = new QCheckBox(QStringLiteral("&Refine type conversion"));
  refine_->setObjectName(QStringLiteral("1203"));
  layout->addWidget(first_row_);
  layout->addWidget(refine_);
  layout->addStretch(1);
}

int sel_file_page::nextId() const { return conv_.from_xls ? page_sel_tables : page_delim; }

void sel_file_page::page_init() {
  tk_trace(1, "sel_file_page::page_init");
  const bool b_xls = conv_.from_xls;
  if (b_xls) {
    description_->setText(
        QStringLiteral("Select MS Excel spreadsheet to convert and MS SQL destination database.\n"
                       "Click 'Browse' to find data source through directory tree."));
    file_label_->setText(QStringLiteral("MS &Excel spreadsheet name:"));
  } else {
    description_->setText(
        QStringLiteral("Select CSV file to convert, MS SQL destination database and table name.\n"
                       "Click 'Browse' to find data source through directory tree."));
    file_label_->setText(QStringLiteral("&Comma separated values (CSV) file name:"));
  }
  show_ctrl("1310", !b_xls);
  show_ctrl("1005", !b_xls);
  show_ctrl("1222", b_xls);
  show_ctrl("1203", b_xls);
  const QString source = QString::fromStdWString(conv_.src);
  if (!source.isEmpty()) file_->setText(QFileInfo(source).absoluteFilePath());
  database_->setText(conv_.dest.empty() ? base_name(source) : QString::fromStdWString(conv_.dest));
  if (b_xls) {
    first_row_->setChecked(conv_.x_fnames);
    refine_->setChecked(conv_.refine_types);
  } else if (!conv_.tab_name.empty()) {
    table_->setText(QString::fromStdWString(conv_.tab_name));
  }
}

void sel_file_page::on_browse() {
  const QString filter =
      conv_.from_xls
          ? QStringLiteral("MS Excel Workbooks (.xls;.xlsx) (*.xls *.xlsx);;All Files (*.*) (*)")
          : QStringLiteral("Comma separated values (.csv) (*.csv);;All Files (*.*) (*)");
  const QString path = wizard_shell::ask_file(
      false, QStringLiteral("Select data source to convert"), filter, file_->text());
  if (path.isEmpty()) return;
  file_->setText(path);
  (conv_.from_xls ? database_ : table_)->setText(base_name(path));
}

void sel_file_page::store_file_info() {
  if (conv_.from_xls) {
    conv_.x_fnames = first_row_->isChecked();
    conv_.refine_types = refine_->isChecked();
  }
  const std::wstring source = file_->text().trimmed().toStdWString();
  // Another file's password is not this one's.
  if (source != conv_.src) conv_.src_pswd.clear();
  conv_.src = source;
  conv_.dest = database_->text().trimmed().toStdWString();
  if (!conv_.from_xls) {
    conv_.tab_name = table_->text().trimmed().toStdWString();
    tk_trace(1, "sel_file_page::store_file_info(tab_name=%s)",
             table_->text().toLocal8Bit().constData());
  }
}

sel_file_page::workbook_check sel_file_page::check_xls(const std::wstring& file_name) {
  tk_trace(1, "sel_file_page::check_xls");
  dao_engine engine(true);
  if (!engine.set_version_if(3) && !engine.set_version_if(0)) {
    wizard_shell::error(QStringLiteral(
        "Failed to load Data Access Objects (DAO) support library.\r\nPlease reinstall the "
        "application to repair it.\r\n"));
    return workbook_check::cancelled;
  }
  for (;;) {
    try {
      tessaly_convertor::open_xls(engine, file_name, conv_.x_fnames, conv_.src_pswd);
      return workbook_check::opens;
    } catch (const dao_exception& e) {
      if (e.number() != dao_exception::password_protected) return workbook_check::not_a_workbook;
    }
    password_dlg dialog(QString::fromStdWString(file_name), !conv_.src_pswd.empty());
    if (wizard_shell::exec_dialog(dialog) != QDialog::Accepted) return workbook_check::cancelled;
    conv_.src_pswd = dialog.password().toStdWString();
  }
}

bool sel_file_page::on_next() {
  tk_trace(1, "sel_file_page::on_next");
  store_file_info();
  if (conv_.src.empty()) {
    wizard_shell::message(QStringLiteral("You should enter the source file name"));
    return false;
  }
  if (conv_.dest.empty()) {
    wizard_shell::message(QStringLiteral("You should enter MS SQL database name"));
    return false;
  }
  if (!conv_.from_xls && conv_.tab_name.empty()) {
    wizard_shell::message(QStringLiteral("You should specify MS SQL table name"));
    return false;
  }
  if (conv_.from_xls) {
    const workbook_check check = check_xls(conv_.src);
    if (check == workbook_check::cancelled) return false;
    if (check == workbook_check::not_a_workbook) {
      wizard_shell::error(QStringLiteral("Source file doesn't comply with MS Excel format"));
      return false;
    }
  }
  if (!QFileInfo(QString::fromStdWString(conv_.src)).isFile()) {
    wizard_shell::error(QStringLiteral(
        "Source file does not exist.\r\nPlease verify the correct file name was given."));
    return false;
  }
  try {
    return conv_.from_xls ? choose_mode_for_workbook() : choose_mode_for_csv();
  } catch (const tk_exception& e) {
    wizard_shell::error(QString::fromLocal8Bit(e.what()));
    return false;
  }
}

bool sel_file_page::choose_mode_for_workbook() {
  if (!conv_.mssql.engine().is_db_exist(conv_.dest)) {
    conv_.set_mode(mode_overwrite_database);
    return true;
  }
  tk_trace(1, "MS SQL DB exists...");
  overwrite_dlg2 dialog(
      overwrite_help, QStringLiteral("The destination database already exists. Select one of the\n"
                                     "options below. Click 'Help' button for more information."));
  if (wizard_shell::exec_dialog(dialog) != QDialog::Accepted) return false;
  // Mode 0 drops the database when the run starts, once the workbook has
  // been read far enough to be sure it converts.
  conv_.set_mode(dialog.mode());
  return true;
}

bool sel_file_page::choose_mode_for_csv() {
  tk_trace(1, "GOT TABLE '%s'", QString::fromStdWString(conv_.tab_name).toLocal8Bit().constData());
  mss_engine& engine = conv_.mssql.engine();
  if (!engine.is_db_exist(conv_.dest)) {
    tk_trace(1, "MS SQL DB not exists...");
    if (!wizard_shell::question(QStringLiteral("Destination database doesn't exist. Create?")))
      return false;
    conv_.set_mode(mode_overwrite_database);
    return true;
  }
  bool b_table_exists = false;
  {
    std::unique_ptr<mss_database> database = engine.open_db(conv_.dest, dest_mode_create);
    b_table_exists = database->is_table_exist(conv_.tab_name);
  }
  // The database stays; only this table is the run's business.
  if (!b_table_exists) {
    conv_.set_mode(mode_overwrite_tables);
    return true;
  }
  overwrite_dlg dialog(
      overwrite_help,
      QStringLiteral(
          "Table with the same name already exists. Click 'Help' button\nfor more information."));
  wizard_shell::exec_dialog(dialog);
  switch (dialog.answer()) {
    case overwrite_dlg::answer_overwrite:
      // Dropped when the run starts, once the file has been read.
      conv_.set_mode(mode_overwrite_tables);
      return true;
    case overwrite_dlg::answer_merge:
      conv_.set_mode(mode_merge);
      return true;
    default:
      return false;
  }
}

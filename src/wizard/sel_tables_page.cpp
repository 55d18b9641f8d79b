#include "sel_tables_page.hpp"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "set_query_dlg.hpp"
#include "tessaly_convertor.hpp"
#include "tk_exception.hpp"
#include "tk_trace.hpp"
#include "wizard_shell.hpp"

namespace {

// The lists sort as the user reads them, without regard to case.
class sheet_item final : public QListWidgetItem {
 public:
  explicit sheet_item(const QString& text) : QListWidgetItem(text) {}
  bool operator<(const QListWidgetItem& other) const override {
    return text().compare(other.text(), Qt::CaseInsensitive) < 0;
  }
};

QListWidget* make_list(const char* id) {
  auto* list = new QListWidget;
  list->setObjectName(QString::fromLatin1(id));
  list->setSortingEnabled(true);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  return list;
}

QPushButton* make_button(const QString& caption, const char* id) {
  auto* button = new QPushButton(caption);
  button->setObjectName(QString::fromLatin1(id));
  return button;
}

}  // namespace

sel_tables_page::sel_tables_page(tessaly_convertor& conv)
    : wizard_page(conv, page_sel_tables, 1016, QStringLiteral("Step 3 of 4"),
                  QStringLiteral("Select worksheets to convert")) {
  setCommitPage(true);
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel;
  intro->setObjectName(QStringLiteral("1337"));
  layout->addWidget(intro);
  auto* grid = new QGridLayout;
  auto* available_label = new QLabel;
  available_label->setObjectName(QStringLiteral("1334"));
  auto* selected_label = new QLabel;
  selected_label->setObjectName(QStringLiteral("1312"));
  available_ = make_list("1317");
  selected_ = make_list("1318");
  available_label->setBuddy(available_);
  selected_label->setBuddy(selected_);
  grid->addWidget(available_label, 0, 0);
  grid->addWidget(selected_label, 0, 2);
  grid->addWidget(available_, 1, 0);
  grid->addWidget(selected_, 1, 2);
  auto* buttons = new QVBoxLayout;
  QPushButton* add = make_button(QStringLiteral("A&dd >"), "1101");
  QPushButton* add_all = make_button(QStringLiteral("Add a&ll >"), "1102");
  QPushButton* remove = make_button(QStringLiteral("< &Remove"), "1111");
  QPushButton* remove_all = make_button(QStringLiteral("< Re&move all"), "1110");
  QPushButton* add_query = make_button(QStringLiteral("&Add Query"), "1114");
  buttons->addStretch(1);
  for (QPushButton* button : {add, add_all, remove, remove_all, add_query})
    buttons->addWidget(button);
  buttons->addStretch(1);
  grid->addLayout(buttons, 1, 1);
  layout->addLayout(grid);
  connect(add, &QPushButton::clicked, this, [this] { on_add(); });
  connect(add_all, &QPushButton::clicked, this, [this] { on_add_all(); });
  connect(remove, &QPushButton::clicked, this, [this] { on_delete(); });
  connect(remove_all, &QPushButton::clicked, this, [this] { on_del_all(); });
  connect(available_, &QListWidget::itemDoubleClicked, this, [this] { on_add(); });
  connect(selected_, &QListWidget::itemDoubleClicked, this, [this] { on_edit_query(); });
}

bool sel_tables_page::is_query(const QString& name) const {
  return queries_.count(name.toStdWString()) != 0;
}

void sel_tables_page::page_init() {
  tk_trace(1, "sel_tables_page::page_init");
  ctrl<QLabel>(*this, "1337")
      .setText(QStringLiteral("Select MS Excel worksheets to convert into MS SQL tables."));
  ctrl<QLabel>(*this, "1334").setText(QStringLiteral("&Available worksheets:"));
  ctrl<QLabel>(*this, "1312").setText(QStringLiteral("&Selected worksheets:"));
  show_ctrl("1114", false);
  available_->clear();
  selected_->clear();
  std::vector<std::wstring> sheets;
  try {
    conv_.get_all_sheets(sheets);
  } catch (const tk_exception& e) {
    // The previous page opened the workbook; one that fails now lists nothing.
    tk_trace(3, "%s", e.what());
    sheets.clear();
  }
  for (const std::wstring& sheet : sheets)
    available_->addItem(new sheet_item(QString::fromStdWString(sheet)));
  for (const auto& [name, value] : conv_.selected) {
    const QList<QListWidgetItem*> found =
        available_->findItems(QString::fromStdWString(name), Qt::MatchExactly);
    if (!found.isEmpty()) move_item(*available_, available_->row(found.front()), *selected_);
  }
  queries_ = conv_.available_queries;
  for (const auto& [name, sql] : queries_) {
    if (sql.empty()) continue;
    const QString item = QString::fromStdWString(name);
    if (available_->findItems(item, Qt::MatchFixedString).isEmpty())
      available_->addItem(new sheet_item(item));
  }
}

void sel_tables_page::move_item(QListWidget& from, int row, QListWidget& to) {
  std::unique_ptr<QListWidgetItem> item(from.takeItem(row));
  if (!item) return;
  to.addItem(item.release());
}

void sel_tables_page::move_current(QListWidget& from, QListWidget& to) {
  const QList<QListWidgetItem*> chosen = from.selectedItems();
  int row = 0;
  if (!chosen.isEmpty()) {
    row = from.row(chosen.front());
    move_item(from, row, to);
  }
  if (from.count() > 0) {
    from.setCurrentRow(std::min(row, from.count() - 1));
  } else {
    to.setFocus();
    to.setCurrentRow(0);
  }
}

void sel_tables_page::on_add() {
  tk_trace(2, "sel_tables_page::on_add");
  move_current(*available_, *selected_);
}

void sel_tables_page::on_add_all() {
  tk_trace(1, "sel_tables_page::on_add_all");
  while (available_->count() > 0) move_item(*available_, 0, *selected_);
  selected_->setFocus();
  selected_->setCurrentRow(0);
}

void sel_tables_page::on_delete() {
  tk_trace(1, "sel_tables_page::on_delete");
  move_current(*selected_, *available_);
}

void sel_tables_page::on_del_all() {
  tk_trace(1, "sel_tables_page::on_del_all");
  while (selected_->count() > 0) move_item(*selected_, 0, *available_);
  available_->setFocus();
  available_->setCurrentRow(0);
}

void sel_tables_page::on_edit_query() {
  tk_trace(1, "sel_tables_page::on_edit_query");
  QListWidgetItem* item = selected_->currentItem();
  if (!item || !is_query(item->text())) return;
  const std::wstring old_name = item->text().toStdWString();
  set_query_dlg dialog(conv_, item->text(), QString::fromStdWString(queries_[old_name]));
  if (wizard_shell::exec_dialog(dialog) != QDialog::Accepted) return;
  queries_.erase(old_name);
  queries_[dialog.table_name().toStdWString()] = dialog.query().toStdWString();
  item->setText(dialog.table_name());
}

bool sel_tables_page::on_next() {
  if (available_->count() > 0 && selected_->count() == 0 &&
      !wizard_shell::question(QStringLiteral("There are no tables selected. Continue anyway?")))
    return false;
  std::vector<std::wstring> sheets;
  for (int row = 0; row < selected_->count(); ++row) {
    const QString name = selected_->item(row)->text();
    if (!is_query(name)) sheets.push_back(name.toStdWString());
  }
  conv_.set_sel_sheets(sheets);
  conv_.available_queries = queries_;
  return true;
}

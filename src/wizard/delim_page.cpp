#include "delim_page.hpp"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "tessaly_convertor.hpp"
#include "tk_trace.hpp"
#include "wizard_shell.hpp"

delim_page::delim_page(tessaly_convertor& conv)
    : wizard_page(conv, page_delim, 1013, QStringLiteral("Step 3 of 4"),
                  QStringLiteral("CSV formatting settings")),
      delimiters_(new QButtonGroup(this)) {
  setCommitPage(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(
      new QLabel(QStringLiteral("On this page you can specify how to interpret your CSV file.")));
  auto* group = new QGroupBox(QStringLiteral(" Select the delimiter that separates your fields: "));
  auto* grid = new QGridLayout(group);
  const char* captions[] = {"Tab", "Semicolon", "Comma", "Space"};
  for (int index = 0; index < csv_delimiter_count; ++index) {
    auto* radio = new QRadioButton(QString::fromLatin1(captions[index]));
    radio->setObjectName(QString::number(1329 + index));
    delimiters_->addButton(radio, index);
    grid->addWidget(radio, index, 0, 1, 2);
  }
  auto* other = new QRadioButton(QStringLiteral("&Other:"));
  other->setObjectName(QStringLiteral("1335"));
  delimiters_->addButton(other, other_choice);
  grid->addWidget(other, csv_delimiter_count, 0);
  other_ = new QLineEdit;
  other_->setObjectName(QStringLiteral("1336"));
  other_->setMaxLength(1);
  other_->setMaximumWidth(40);
  grid->addWidget(other_, csv_delimiter_count, 1, Qt::AlignLeft);
  // The one-character field sits right beside "Other:".
  grid->setColumnStretch(1, 1);
  layout->addWidget(group);
  // Typing a character means that character.
  connect(other_, &QLineEdit::textEdited, other, [other] { other->setChecked(true); });

  auto* encoding_row = new QHBoxLayout;
  encoding_ = new QLineEdit;
  encoding_->setObjectName(QStringLiteral("1338"));
  encoding_->setPlaceholderText(QStringLiteral("automatic"));
  auto* encoding_label = new QLabel(QStringLiteral("E&ncoding:"));
  encoding_label->setBuddy(encoding_);
  encoding_row->addWidget(encoding_label);
  encoding_row->addWidget(encoding_, 1);
  layout->addLayout(encoding_row);

  first_row_ = new QCheckBox(QStringLiteral("&Extract field names from the first row"));
  first_row_->setObjectName(QStringLiteral("1222"));
  refine_ = new QCheckBox(QStringLiteral("&Refine type conversion"));
  refine_->setObjectName(QStringLiteral("1203"));
  layout->addWidget(first_row_);
  layout->addWidget(refine_);
  layout->addStretch(1);
}

void delim_page::page_init() {
  tk_trace(1, "delim_page::page_init");
  if (conv_.csv_delimiter_char != 0) {
    other_->setText(QString::fromWCharArray(&conv_.csv_delimiter_char, 1));
    delimiters_->button(other_choice)->setChecked(true);
  } else if (conv_.n_comma >= 0 && conv_.n_comma < csv_delimiter_count) {
    delimiters_->button(conv_.n_comma)->setChecked(true);
  } else {
    // Nothing chosen yet: the wizard's usual choice.
    delimiters_->button(1)->setChecked(true);
  }
  encoding_->setText(QString::fromStdString(conv_.encoding));
  first_row_->setChecked(conv_.x_fnames);
  refine_->setChecked(conv_.refine_types);
}

bool delim_page::store() {
  const int choice = delimiters_->checkedId();
  if (choice == other_choice) {
    const std::wstring text = other_->text().toStdWString();
    if (text.size() != 1) {
      wizard_shell::message(QStringLiteral("Type the one character that separates your fields."));
      return false;
    }
    conv_.set_csv_delimiter(text[0]);
  } else if (choice >= 0) {
    conv_.set_csv_delimiter(csv_delimiters[choice]);
  }
  conv_.encoding = encoding_->text().trimmed().toStdString();
  conv_.x_fnames = first_row_->isChecked();
  conv_.refine_types = refine_->isChecked();
  return true;
}

bool delim_page::on_next() { return store(); }

#include "gui_finish_page.hpp"

#include <QAbstractButton>
#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "tessaly_convertor.hpp"
#include "tk_exception.hpp"
#include "tk_trace.hpp"
#include "welcome_page.hpp"
#include "wizard_art.hpp"
#include "wizard_front_end.hpp"
#include "wizard_shell.hpp"

const QString gui_finish_page::success_text = QStringLiteral(
    "Wizard has migrated your MS Excel data\nto MS SQL database successfully.\n\n"
    "Click 'Finish' to exit the wizard.");
const QString gui_finish_page::error_text = QStringLiteral(
    "There were some errors while converting MS Excel data.\nClick 'Finish' to exit the wizard.");

gui_finish_page::gui_finish_page(tessaly_convertor& conv, wizard_front_end& front_end)
    : wizard_page(conv, page_finish, help_none), front_end_(front_end) {
  tk_trace(1, "gui_finish_page::ctor");
  setPixmap(QWizard::WatermarkPixmap, wizard_art::watermark());
  auto* layout = new QVBoxLayout(this);
  auto* big = new QLabel(QStringLiteral("Conversion is Completed"));
  big->setObjectName(QStringLiteral("1313"));
  set_title_font(*big);
  layout->addWidget(big);
  message_ = new QLabel;
  message_->setObjectName(QStringLiteral("1314"));
  message_->setWordWrap(true);
  layout->addWidget(message_);
  errors_ = new QPlainTextEdit;
  errors_->setObjectName(QStringLiteral("1016"));
  errors_->setReadOnly(true);
  errors_->hide();
  errors_->installEventFilter(this);
  layout->addWidget(errors_, 1);
  summary_ = new QLabel;
  summary_->setObjectName(QStringLiteral("1315"));
  summary_->setWordWrap(true);
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(summary_);
  layout->addStretch(0);
  auto* save = new QPushButton(QStringLiteral("&Save Settings"));
  save->setObjectName(QStringLiteral("1116"));
  connect(save, &QPushButton::clicked, this, [this] { on_save_settings(); });
  auto* row = new QHBoxLayout;
  row->addWidget(save);
  row->addStretch(1);
  layout->addLayout(row);
  setFinalPage(true);
}

void gui_finish_page::page_init() {
  tk_trace(1, "gui_finish_page::page_init");
  if (wizard_shell* shell = wizard_shell::instance()) {
    if (QAbstractButton* cancel = shell->button(QWizard::CancelButton)) cancel->setEnabled(false);
    if (QAbstractButton* help = shell->button(QWizard::HelpButton)) help->setEnabled(false);
  }
  const std::vector<std::string> errors =
      wizard_shell::instance() ? wizard_shell::instance()->errors() : std::vector<std::string>();
  errors_->clear();
  if (!errors.empty()) {
    tk_trace(1, "Display errors");
    message_->setText(error_text);
    QString text;
    for (std::string line : errors) {
      std::replace(line.begin(), line.end(), '\n', ' ');
      text += QString::fromLocal8Bit(line) + QStringLiteral("\n\n");
    }
    errors_->setPlainText(text);
    errors_->show();
  } else {
    tk_trace(1, "Display success-message");
    message_->setText(success_text);
    errors_->hide();
  }
  QStringList lines;
  for (const std::string& line : front_end_.report_lines())
    if (line.rfind("Table ", 0) == 0) lines << QString::fromLocal8Bit(line);
  summary_->setText(lines.join(QStringLiteral("\n")));
}

bool gui_finish_page::eventFilter(QObject* watched, QEvent* event) {
  // The first focus lands on the errors only because they are the first
  // control; hand it to Finish so that Enter ends the wizard.
  if (watched == errors_ && event->type() == QEvent::FocusIn && !b_focused_once_) {
    b_focused_once_ = true;
    tk_trace(1, "gui_finish_page::on_eb_focus");
    if (wizard_shell* shell = wizard_shell::instance())
      if (QAbstractButton* finish = shell->button(QWizard::FinishButton)) finish->setFocus();
  }
  return wizard_page::eventFilter(watched, event);
}

void gui_finish_page::on_save_settings() {
  QString path = wizard_shell::ask_file(true, QStringLiteral("Select Profile File"),
                                        welcome_page::profile_filter(), QString());
  if (path.isEmpty()) return;
  const QString extension = QString::fromLatin1(welcome_page::profile_extension);
  if (!path.contains(QStringLiteral(".") + extension)) path += QStringLiteral(".") + extension;
  try {
    if (!conv_.store_profile(path.toStdWString()))
      wizard_shell::error(QStringLiteral("The settings could not be stored in %1.").arg(path));
  } catch (const tk_exception& e) {
    wizard_shell::error(QString::fromLocal8Bit(e.what()));
  }
}

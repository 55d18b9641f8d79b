#include "wizard_dialog.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "wizard_shell.hpp"

namespace {

QStyle::StandardPixmap pixmap_for(QMessageBox::Icon icon) {
  switch (icon) {
    case QMessageBox::Critical:
      return QStyle::SP_MessageBoxCritical;
    case QMessageBox::Warning:
      return QStyle::SP_MessageBoxWarning;
    case QMessageBox::Question:
      return QStyle::SP_MessageBoxQuestion;
    default:
      return QStyle::SP_MessageBoxInformation;
  }
}

}  // namespace

wizard_dialog::wizard_dialog(const QString& caption, const QString& text, QMessageBox::Icon icon)
    : QDialog(wizard_shell::is_initialized() ? wizard_shell::instance() : nullptr) {
  setWindowTitle(caption);
  auto* outer = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* picture = new QLabel;
  picture->setPixmap(style()->standardIcon(pixmap_for(icon)).pixmap(32, 32));
  picture->setAlignment(Qt::AlignTop);
  top->addWidget(picture);
  auto* message = new QLabel(text);
  message->setObjectName(QStringLiteral("1320"));
  message->setWordWrap(true);
  message->setTextInteractionFlags(Qt::TextSelectableByMouse);
  message->setMinimumWidth(360);
  top->addWidget(message, 1);
  outer->addLayout(top);
  body_ = new QVBoxLayout;
  outer->addLayout(body_);
  buttons_ = new QHBoxLayout;
  buttons_->addStretch(1);
  outer->addLayout(buttons_);
}

QPushButton* wizard_dialog::add_button(const QString& caption, int id, bool b_default) {
  auto* button = new QPushButton(caption);
  button->setObjectName(QString::number(id));
  button->setDefault(b_default);
  button->setAutoDefault(b_default);
  buttons_->addWidget(button);
  return button;
}

QString wizard_dialog::error_caption() {
  return wizard_shell::is_initialized() ? wizard_shell::title() + QStringLiteral(" Error")
                                        : QStringLiteral("Error");
}

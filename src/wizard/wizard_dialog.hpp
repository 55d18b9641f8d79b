// wizard_dialog: the frame the wizard's small modal dialogs share: a message
// beside a system icon (control 1320), the controls of the dialog below it
// and a row of buttons that close it with their own result codes.
//
// Interface thread only; each dialog is built on the caller's stack, shown
// once through wizard_shell::exec_dialog and read afterwards.
#pragma once

#include <QDialog>
#include <QMessageBox>

class QBoxLayout;
class QPushButton;

class wizard_dialog : public QDialog {
 public:
  wizard_dialog(const QString& caption, const QString& text, QMessageBox::Icon icon);

 protected:
  // Adds a button to the row; `id` becomes its object name.
  QPushButton* add_button(const QString& caption, int id, bool b_default = false);
  // Where a dialog puts its own controls, between the message and the buttons.
  QBoxLayout& body() { return *body_; }

  // The caption of the error dialogs: the wizard's title once it is up.
  static QString error_caption();

 private:
  QBoxLayout* body_;
  QBoxLayout* buttons_;
};

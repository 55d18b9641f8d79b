// A whole wizard in the test process: the error handler with the wizard's
// front end, the driver, the shell with its seven pages, a settings folder of
// the test's own, and a script of answers for the dialogs it shows.
//
// Every message box and dialog goes through the shell's dialog hook: the
// fixture records its caption and text, then lets the next scripted answer
// handle it (clicking the dialog's real buttons), or closes it with its
// default answer (No for questions).
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "error_handler.hpp"
#include "error_maps.hpp"
#include "temp_folder.hpp"
#include "tessaly_convertor.hpp"
#include "wizard_front_end.hpp"
#include "wizard_page.hpp"
#include "wizard_shell.hpp"
#include "wizard_window.hpp"

// Readable failure output for Qt's strings.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace wizard_test {

struct shown_dialog {
  QString kind;     // "Error", "Message", "Question", or the dialog's class
  QString caption;  // window title
  QString text;     // the message
};

// Clicks the button with object name `id` and returns the dialog's result.
inline int click(QDialog& dialog, const char* id) {
  auto* button = dialog.findChild<QAbstractButton*>(QString::fromLatin1(id));
  EXPECT_NE(button, nullptr) << "no button " << id;
  if (!button) return 0;
  button->click();
  return dialog.result();
}

inline QString dialog_kind(QDialog& dialog) {
  if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
    switch (box->icon()) {
      case QMessageBox::Critical:
        return QStringLiteral("Error");
      case QMessageBox::Question:
        return QStringLiteral("Question");
      default:
        return QStringLiteral("Message");
    }
  }
  return QString::fromLatin1(typeid(dialog).name());
}

inline QString dialog_text(QDialog& dialog) {
  if (auto* box = qobject_cast<QMessageBox*>(&dialog)) return box->text();
  if (auto* label = dialog.findChild<QLabel*>(QStringLiteral("1320"))) return label->text();
  return {};
}

class wizard_fixture : public ::testing::Test {
 protected:
  using answer = std::function<int(QDialog&)>;

  wizard_fixture() {
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(settings_.path().string()));
    auto owned = std::make_unique<wizard_front_end>();
    front_end_ = owned.get();
    handler_ = std::make_unique<error_handler>(dao_error_map(), std::move(owned));
    handler_->load_err_map(odb_error_map());
    handler_->load_err_map(workbook_error_map());
    wizard_shell::set_dialog_hook([this](QDialog& dialog) { return on_dialog(dialog); });
    conv_ = std::make_unique<tessaly_convertor>();
    conv_->b_profile_selects_sheets = false;
  }

  ~wizard_fixture() override {
    shell_.reset();
    conv_.reset();
    handler_.reset();
    wizard_shell::set_dialog_hook({});
    wizard_shell::set_file_hook({});
  }

  // Loads the stored settings and shows the wizard at its first page.
  void open_wizard(bool b_load_settings = true) {
    if (b_load_settings) conv_->serialize(false);
    shell_ = std::make_unique<wizard_shell>();
    add_wizard_pages(*shell_, *conv_, *front_end_);
    shell_->show();
    shell_->restart();
  }

  // Ends the session as the program does: the settings are stored.
  void close_wizard() {
    shell_.reset();
    conv_->serialize(true);
  }

  int on_dialog(QDialog& dialog) {
    seen_.push_back({dialog_kind(dialog), dialog.windowTitle(), dialog_text(dialog)});
    if (!answers_.empty()) {
      answer next = std::move(answers_.front());
      answers_.pop_front();
      return next(dialog);
    }
    if (auto* box = qobject_cast<QMessageBox*>(&dialog))
      return box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::Ok;
    return QDialog::Rejected;
  }

  void answer_next(answer a) { answers_.push_back(std::move(a)); }
  void answer_yes() {
    answer_next([](QDialog&) { return int(QMessageBox::Yes); });
  }

  template <class T>
  T& page(int id) {
    auto* found = dynamic_cast<T*>(shell_->page(id));
    EXPECT_NE(found, nullptr);
    return *found;
  }
  template <class T>
  T& widget(int page_id, const char* id) {
    return ctrl<T>(*shell_->page(page_id), id);
  }

  // Presses Next and returns the page the wizard is on afterwards.
  int next() {
    shell_->next();
    return shell_->currentId();
  }
  void set_text(int page_id, const char* id, const QString& text) {
    widget<QLineEdit>(page_id, id).setText(text);
  }

  // Waits, handling events, until `done` or a minute has passed.
  static bool wait_for(const std::function<bool()>& done, int timeout_ms = 60000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
      if (timer.elapsed() > timeout_ms) return false;
      QTest::qWait(20);
    }
    return true;
  }

  // Texts of every dialog shown so far, one per line, for failure output.
  std::string seen_texts() const {
    std::string all;
    for (const shown_dialog& d : seen_)
      all += d.kind.toStdString() + ": " + d.text.toStdString() + "\n";
    return all;
  }
  QString last_text() const { return seen_.empty() ? QString() : seen_.back().text; }

  temp_folder settings_;
  temp_folder files_;
  wizard_front_end* front_end_ = nullptr;
  std::unique_ptr<error_handler> handler_;
  std::unique_ptr<tessaly_convertor> conv_;
  std::unique_ptr<wizard_shell> shell_;
  std::deque<answer> answers_;
  std::vector<shown_dialog> seen_;
};

}  // namespace wizard_test

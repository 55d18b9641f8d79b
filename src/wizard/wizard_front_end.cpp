#include "wizard_front_end.hpp"

#include <QMetaObject>

#include "dlg_error_continue.hpp"
#include "dlg_error_ex.hpp"
#include "tessaly_convertor.hpp"
#include "wizard_shell.hpp"

namespace {

// Runs `call` on the interface thread, after what is queued there already.
template <class Call>
void on_interface_thread(Call call) {
  if (wizard_shell* shell = wizard_shell::instance())
    QMetaObject::invokeMethod(shell, std::move(call), Qt::QueuedConnection);
}

}  // namespace

wizard_front_end::wizard_front_end()
    : question_([] {
        const tessaly_convertor* conv = tessaly_convertor::instance();
        return conv && conv->stop_requested();
      }) {}

void wizard_front_end::start_run() {
  question_.reset();
  std::lock_guard lock(lines_mutex_);
  lines_.clear();
}

void wizard_front_end::show_internal_error(const std::string& what) {
  const QString text = QString::fromLocal8Bit(what);
  on_interface_thread([text] {
    dlg_error_ex dialog(text);
    wizard_shell::exec_dialog(dialog);
  });
}

void wizard_front_end::show_error(const std::string& text, int /*level*/) {
  const QString shown = QString::fromLocal8Bit(text);
  on_interface_thread([shown] { wizard_shell::error(shown); });
}

error_answer wizard_front_end::ask_continue(const std::string& text) {
  return question_.ask(text, [this](const std::string& asked, unsigned long ticket) {
    const QString shown = QString::fromLocal8Bit(asked);
    on_interface_thread([this, shown, ticket] {
      dlg_error_continue dialog(shown);
      const int result = wizard_shell::exec_dialog(dialog);
      if (result == dlg_error_continue::result_abort)
        question_.answer(ticket, error_answer::abort_run);
      else
        question_.answer(
            ticket, dialog.do_not_show_again() ? error_answer::go_on_quietly : error_answer::go_on);
    });
  });
}

void wizard_front_end::note_error(const std::string& text) {
  if (wizard_shell::is_initialized()) wizard_shell::instance()->append_error(text);
}

void wizard_front_end::report(const std::string& line) {
  std::lock_guard lock(lines_mutex_);
  lines_.push_back(line);
}

std::vector<std::string> wizard_front_end::report_lines() const {
  std::lock_guard lock(lines_mutex_);
  return lines_;
}

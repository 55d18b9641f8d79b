#include "wizard_shell.hpp"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QUrl>

#include "tk_trace.hpp"
#include "wizard_art.hpp"
#include "wizard_page.hpp"

namespace {

wizard_shell::dialog_hook& dialog_hook_slot() {
  static wizard_shell::dialog_hook hook;
  return hook;
}

wizard_shell::file_hook& file_hook_slot() {
  static wizard_shell::file_hook hook;
  return hook;
}

// One message box; the caption names the wizard once it is up.
int show_box(QMessageBox::Icon icon, const QString& kind, const QString& text,
             QMessageBox::StandardButtons buttons, QMessageBox::StandardButton default_button) {
  const bool b_up = wizard_shell::is_initialized();
  QMessageBox box(icon, b_up ? wizard_shell::title() + QStringLiteral(" ") + kind : kind, text,
                  buttons, b_up ? wizard_shell::instance() : nullptr);
  box.setDefaultButton(default_button);
  tk_trace(3, "%s", text.toLocal8Bit().constData());
  return wizard_shell::exec_dialog(box);
}

}  // namespace

wizard_shell::wizard_shell(QWidget* parent) : QWizard(parent) {
  tk_trace(2, "wizard_shell::ctor");
  setWizardStyle(QWizard::ModernStyle);
  setOptions(QWizard::HaveHelpButton | QWizard::NoBackButtonOnLastPage);
  setPixmap(QWizard::BannerPixmap, wizard_art::banner());
  setPixmap(QWizard::LogoPixmap, wizard_art::logo());
  // The step-3 pages commit the settings; the button still reads "Next".
  setButtonText(QWizard::CommitButton, buttonText(QWizard::NextButton));
  setWindowIcon(wizard_art::icon());
  setMinimumSize(700, 500);
  timer_.setInterval(progress_interval_ms);
  connect(&timer_, &QTimer::timeout, this, [this] { on_timer(); });
  connect(this, &QWizard::helpRequested, this, [this] { on_help(); });
  auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
  connect(f1, &QShortcut::activated, this, [this] { on_help(); });
}

wizard_shell::~wizard_shell() {
  tk_trace(2, "wizard_shell::dtor");
  // Pages are destroyed by QWidget after this shell has stopped being one:
  // a worker must be gone before then.
  for (int id : pageIds())
    if (auto* p = dynamic_cast<wizard_page*>(page(id))) p->shutdown();
}

QString wizard_shell::title() {
  return QStringLiteral("Tessaly %1.%2 %3").arg(3).arg(4).arg(QString());
}

bool wizard_shell::is_initialized() {
  const wizard_shell* shell = instance();
  return shell && shell->b_initialized_;
}

void wizard_shell::first_activation() {
  if (b_initialized_) return;
  setWindowTitle(title());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  b_initialized_ = true;
}

void wizard_shell::error(const QString& text) {
  tk_trace(1, "wizard_shell::error(%s)", text.toLocal8Bit().constData());
  show_box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok, QMessageBox::Ok);
}

void wizard_shell::message(const QString& text) {
  tk_trace(1, "wizard_shell::message(%s)", text.toLocal8Bit().constData());
  show_box(QMessageBox::Information, QStringLiteral("Message"), text, QMessageBox::Ok,
           QMessageBox::Ok);
}

bool wizard_shell::question(const QString& text, bool b_no_default) {
  tk_trace(1, "wizard_shell::question(%s)", text.toLocal8Bit().constData());
  return show_box(QMessageBox::Question, QStringLiteral("Question"), text,
                  QMessageBox::Yes | QMessageBox::No,
                  b_no_default ? QMessageBox::No : QMessageBox::Yes) == QMessageBox::Yes;
}

int wizard_shell::exec_dialog(QDialog& dialog) {
  if (const dialog_hook& hook = dialog_hook_slot()) return hook(dialog);
  return dialog.exec();
}

void wizard_shell::set_dialog_hook(dialog_hook hook) { dialog_hook_slot() = std::move(hook); }

QString wizard_shell::ask_file(bool b_save, const QString& caption, const QString& filter,
                               const QString& start) {
  if (const file_hook& hook = file_hook_slot()) return hook(b_save, caption);
  QWidget* owner = instance();
  return b_save ? QFileDialog::getSaveFileName(owner, caption, start, filter)
                : QFileDialog::getOpenFileName(owner, caption, start, filter);
}

void wizard_shell::set_file_hook(file_hook hook) { file_hook_slot() = std::move(hook); }

QString wizard_shell::help_path() {
  const QFileInfo program(QCoreApplication::applicationFilePath());
  return program.absolutePath() + QStringLiteral("/") + program.completeBaseName() +
         QStringLiteral(".html");
}

void wizard_shell::display_help(int context_id) {
  if (context_id == help_default_topic)
    tk_trace(1, "wizard_shell::display_help");
  else
    tk_trace(1, "wizard_shell::display_help(%d)", context_id);
  const QString path = help_path();
  if (!QFileInfo(path).isFile()) {
    error(QStringLiteral("Help file does not exist. Reinstall the program."));
    return;
  }
  QUrl url = QUrl::fromLocalFile(path);
  if (context_id != help_default_topic) url.setFragment(QStringLiteral("ctx%1").arg(context_id));
  QDesktopServices::openUrl(url);
}

void wizard_shell::start_timer(int interval_ms) {
  // Two runs at once would be a programming error.
  Q_ASSERT(!timer_.isActive());
  timer_.start(interval_ms);
}

void wizard_shell::stop_timer() { timer_.stop(); }

void wizard_shell::run_ended() {
  stop_timer();
  if (currentId() != page_finish) next();
}

void wizard_shell::append_error(const std::string& text) {
  std::lock_guard lock(errors_mutex_);
  if (errors_.size() < max_errors) errors_.push_back(text);
}

std::vector<std::string> wizard_shell::errors() const {
  std::lock_guard lock(errors_mutex_);
  return errors_;
}

void wizard_shell::clear_errors() {
  std::lock_guard lock(errors_mutex_);
  errors_.clear();
}

void wizard_shell::on_timer() {
  if (auto* page = dynamic_cast<wizard_page*>(currentPage())) page->on_timer();
}

void wizard_shell::on_help() {
  if (auto* page = dynamic_cast<wizard_page*>(currentPage())) page->on_help();
}

void wizard_shell::reject() {
  tk_trace(2, "wizard_page::on_cancel");
  if (currentId() == page_finish) {
    QWizard::reject();
    return;
  }
  if (!question(QStringLiteral("Are you sure you want to exit the wizard?"))) return;
  auto* page = dynamic_cast<wizard_page*>(currentPage());
  // A running conversion is stopped first; the page closes the wizard when
  // the run has ended.
  if (page && !page->on_cancel()) return;
  QWizard::reject();
}

void wizard_shell::close_now() {
  stop_timer();
  QWizard::reject();
}

// wizard_shell: the wizard's frame, one per process.
//
// A QWizard in its modern style with our watermark, banner and icon. Pages,
// dialogs and the engine's front end reach it through instance(). It shows
// every message box and modal dialog of the program (exec_dialog), asks for
// file names (ask_file), opens the help file at a page's topic, relays its
// 200 ms progress timer to the current page and keeps the errors of a run for
// the finish page (at most 20).
//
// Tests drive the real widgets: a dialog hook replaces the modal loop of
// every dialog and message box (it may click the dialog's buttons and returns
// its result), a file hook answers the file dialogs.
//
// Interface thread only, except append_error and errors(), which the run's
// thread may call.
#pragma once

#include <QTimer>
#include <QWizard>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "tk_singleton.hpp"
#include "wizard_ids.hpp"

class QDialog;

class wizard_shell final : public QWizard, public tk_singleton<wizard_shell> {
 public:
  static constexpr int max_errors = 20;
  static constexpr int progress_interval_ms = 200;

  explicit wizard_shell(QWidget* parent = nullptr);
  ~wizard_shell() override;

  // "Tessaly 3.4 ".
  static QString title();
  // Whether the shell exists and its first page has been shown.
  static bool is_initialized();
  // Run once, by the first page shown.
  void first_activation();

  // Message boxes; before the wizard is up they carry the bare captions
  // "Error", "Message", "Question" and no owner.
  static void error(const QString& text);
  static void message(const QString& text);
  // True for Yes. The second button (No) is the default unless told.
  static bool question(const QString& text, bool b_no_default = true);

  // Shows a dialog modally and returns its result.
  static int exec_dialog(QDialog& dialog);
  using dialog_hook = std::function<int(QDialog&)>;
  static void set_dialog_hook(dialog_hook hook);

  // A file to open (which must exist) or to save; empty when cancelled.
  // `filter` is in QFileDialog's form.
  static QString ask_file(bool b_save, const QString& caption, const QString& filter,
                          const QString& start);
  using file_hook = std::function<QString(bool b_save, const QString& caption)>;
  static void set_file_hook(file_hook hook);

  // The help file: the program's own path with the extension ".html".
  static QString help_path();
  // Opens the help file at the default topic or at a context id.
  static void display_help(int context_id = help_default_topic);

  void start_timer(int interval_ms = progress_interval_ms);
  void stop_timer();
  bool timer_running() const { return timer_.isActive(); }
  // The run has ended: stop the timer and show the finish page.
  void run_ended();

  // Errors of a run for the finish page; the 21st and later are dropped.
  void append_error(const std::string& text);
  std::vector<std::string> errors() const;
  void clear_errors();

  // Cancel: asks first; on the progress page the run is stopped before the
  // wizard closes.
  void reject() override;
  // Closes without asking (the user has confirmed already).
  void close_now();

 private:
  void on_timer();
  void on_help();

  std::atomic<bool> b_initialized_{false};
  QTimer timer_;
  mutable std::mutex errors_mutex_;
  std::vector<std::string> errors_;
};

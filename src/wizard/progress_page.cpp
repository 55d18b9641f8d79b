#include "progress_page.hpp"

#include <QAbstractButton>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "conversion_thread.hpp"
#include "tessaly_convertor.hpp"
#include "tk_trace.hpp"
#include "wizard_front_end.hpp"
#include "wizard_shell.hpp"

progress_page::progress_page(tessaly_convertor& conv, wizard_front_end& front_end)
    : wizard_page(conv, page_progress, help_default_topic, QStringLiteral("Step 4 of 4"),
                  QStringLiteral("Database conversion is in progress")),
      front_end_(front_end) {
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(
      QStringLiteral("Database conversion is in progress. Please wait until wizard completes"));
  intro->setWordWrap(true);
  layout->addWidget(intro);
  auto* xls =
      new QLabel(QStringLiteral("converting your MS Excel spreadsheet into MS SQL data source."));
  xls->setObjectName(QStringLiteral("1324"));
  auto* csv = new QLabel(QStringLiteral("converting your CSV file into MS SQL data source."));
  csv->setObjectName(QStringLiteral("1325"));
  layout->addWidget(xls);
  layout->addWidget(csv);
  layout->addSpacing(16);
  status_ = new QLabel;
  status_->setObjectName(QStringLiteral("1323"));
  layout->addWidget(status_);
  bar_ = new QProgressBar;
  bar_->setObjectName(QStringLiteral("1321"));
  bar_->setRange(0, 100);
  layout->addWidget(bar_);
  layout->addStretch(1);
}

progress_page::~progress_page() { shutdown(); }

void progress_page::shutdown() {
  // A wizard torn down mid-run still stops the worker before the driver goes.
  if (!worker_) return;
  front_end_.stop_asking();
  worker_.reset();
}

bool progress_page::is_running() const { return worker_ && worker_->is_running(); }

void progress_page::page_init() {
  tk_trace(1, "progress_page::page_init");
  show_ctrl("1324", conv_.from_xls);
  show_ctrl("1325", !conv_.from_xls);
  bar_->setValue(0);
  status_->clear();
  b_done_ = false;
  b_closing_ = false;
  if (wizard_shell* shell = wizard_shell::instance()) {
    shell->clear_errors();
    shell->start_timer();
  }
  front_end_.start_run();
  worker_ = std::make_unique<conversion_thread>(conv_);
  worker_->start();
}

void progress_page::on_timer() {
  if (!worker_) return;
  const progress_snapshot progress = conv_.progress();
  bar_->setValue(progress.percent);
  if (conv_.from_xls) {
    status_->setText(progress.table.empty() ? QString()
                                            : QStringLiteral("Processing worksheet '%1' (row #%2)")
                                                  .arg(QString::fromStdWString(progress.table))
                                                  .arg(progress.records));
  }
  if (conv_.b_finished && !worker_->is_running()) run_finished();
}

void progress_page::run_finished() {
  worker_->clean_up();
  worker_.reset();
  wizard_shell* shell = wizard_shell::instance();
  if (b_closing_) {
    if (shell) shell->close_now();
    return;
  }
  if (conv_.outcome() == run_outcome::completed) bar_->setValue(100);
  b_done_ = true;
  emit completeChanged();
  if (shell) shell->run_ended();
}

bool progress_page::on_cancel() {
  if (!is_running()) return true;
  // The timer sees the run end and closes the wizard.
  b_closing_ = true;
  status_->setText(QStringLiteral("Stopping the conversion..."));
  if (wizard_shell* shell = wizard_shell::instance())
    if (QAbstractButton* cancel = shell->button(QWizard::CancelButton)) cancel->setEnabled(false);
  conv_.request_stop();
  front_end_.stop_asking();
  return false;
}

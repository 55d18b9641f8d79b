#include "connecting_dlg.hpp"

#include <QHBoxLayout>
#include <QLabel>

#include "wizard_art.hpp"
#include "wizard_shell.hpp"

namespace {

constexpr int poll_ms = 50;
constexpr int ticks_per_frame = 500 / poll_ms;

}  // namespace

connecting_dlg::connecting_dlg(std::function<bool()> finished)
    : QDialog(wizard_shell::instance()), finished_(std::move(finished)) {
  setWindowTitle(wizard_shell::title());
  auto* layout = new QHBoxLayout(this);
  wheel_ = new QLabel;
  wheel_->setObjectName(QStringLiteral("1301"));
  wheel_->setPixmap(wizard_art::connecting_frame(0));
  layout->addWidget(wheel_);
  layout->addWidget(new QLabel(QStringLiteral("Connecting to MS SQL server. Please wait...")));
  // The worker cannot be interrupted mid-login; the dialog waits for it.
  setWindowFlag(Qt::WindowCloseButtonHint, false);
  connect(&poll_, &QTimer::timeout, this, [this] { on_tick(); });
  poll_.start(poll_ms);
}

void connecting_dlg::on_tick() {
  if (finished_()) {
    poll_.stop();
    done(QDialog::Accepted);
    return;
  }
  if (++ticks_ % ticks_per_frame == 0) {
    frame_ = (frame_ + 1) % wizard_art::connecting_frames;
    wheel_->setPixmap(wizard_art::connecting_frame(frame_));
  }
}

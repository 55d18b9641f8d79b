// connecting_dlg: "Connecting to MS SQL server. Please wait..." with a
// turning wheel, shown modally while a worker connects; it closes itself
// when `finished` turns true (polled, so the worker never touches a widget).
#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>

class QLabel;

class connecting_dlg final : public QDialog {
 public:
  explicit connecting_dlg(std::function<bool()> finished);

 protected:
  // Escape does not close it: the worker cannot be left behind.
  void reject() override {}

 private:
  void on_tick();

  std::function<bool()> finished_;
  QLabel* wheel_;
  QTimer poll_;
  int frame_ = 0;
  int ticks_ = 0;
};

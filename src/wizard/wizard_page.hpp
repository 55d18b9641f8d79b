// wizard_page: what every page of the wizard shares.
//
// A page reads the converter's settings each time it is shown (page_init)
// and writes them back when the user leaves it forwards (on_next, which may
// keep the user on the page) or backwards (on_back). Controls carry their
// dialog control ids as object names ("1329"), so tests find them.
//
// The converter must outlive the page. Interface thread only.
#pragma once

#include <QWizardPage>

#include "wizard_ids.hpp"

class QLabel;
class tessaly_convertor;

class wizard_page : public QWizardPage {
 public:
  // `help_context`: the page's help topic, help_default_topic or help_none.
  wizard_page(tessaly_convertor& conv, int template_id, int help_context,
              const QString& header_title = {}, const QString& header_subtitle = {});

  int template_id() const { return template_id_; }
  int help_context() const { return help_context_; }

  // Runs every time the page is shown.
  virtual void page_init() {}
  // False keeps the user on the page.
  virtual bool on_next() { return true; }
  // The user goes back: keep what the page holds.
  virtual void on_back() {}
  // A tick of the shell's progress timer while the page is current.
  virtual void on_timer() {}
  virtual void on_help();
  // Cancel was confirmed; false when the page closes the wizard itself later
  // (a run is being stopped).
  virtual bool on_cancel() { return true; }
  // The shell is going away: end whatever the page runs.
  virtual void shutdown() {}

  void show_ctrl(const char* id, bool b_show);
  // The big title of the welcome and finish pages: Verdana, bold, 10 points.
  static void set_title_font(QLabel& label);

  void initializePage() override;
  bool validatePage() override;
  void cleanupPage() override;

 protected:
  tessaly_convertor& conv_;

 private:
  const int template_id_;
  const int help_context_;
};

// Control lookup by id; a missing control is a programming error.
template <class T>
T& ctrl(const QWidget& parent, const char* id) {
  T* found = parent.findChild<T*>(QString::fromLatin1(id));
  Q_ASSERT(found);
  return *found;
}

#include "wizard_page.hpp"

#include <QFont>
#include <QLabel>

#include "tk_trace.hpp"
#include "wizard_shell.hpp"

wizard_page::wizard_page(tessaly_convertor& conv, int template_id, int help_context,
                         const QString& header_title, const QString& header_subtitle)
    : conv_(conv), template_id_(template_id), help_context_(help_context) {
  if (!header_title.isEmpty()) {
    setTitle(header_title);
    setSubTitle(header_subtitle);
  }
}

void wizard_page::on_help() {
  if (help_context_ != help_none) wizard_shell::display_help(help_context_);
}

void wizard_page::show_ctrl(const char* id, bool b_show) {
  tk_trace(1, "wizard_page::show_ctrl(%s=%d)", id, b_show ? 1 : 0);
  if (QWidget* widget = findChild<QWidget*>(QString::fromLatin1(id))) widget->setVisible(b_show);
}

void wizard_page::set_title_font(QLabel& label) {
  QFont font(QStringLiteral("Verdana"), 10, QFont::Bold);
  label.setFont(font);
}

void wizard_page::initializePage() {
  tk_trace(1, "wizard_page::OnSetActive");
  if (wizard_shell* shell = wizard_shell::instance()) shell->first_activation();
  page_init();
}

bool wizard_page::validatePage() { return on_next(); }

// QWizard calls this when the user goes back; the base would reset the
// page's fields, which this wizard keeps in the converter instead.
void wizard_page::cleanupPage() { on_back(); }

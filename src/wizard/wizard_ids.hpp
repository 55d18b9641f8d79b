// wizard_ids: the wizard's pages by their template ids (also the QWizard page
// ids) and the special help topics.
#pragma once

// Pages by their template ids; the wizard's page ids.
enum wizard_page_id : int {
  page_welcome = 103,
  page_mssql = 118,
  page_sel_file = 105,
  page_sel_tables = 127,
  page_delim = 107,
  page_progress = 108,
  page_finish = 116,
};

// Help topics by context id; the page's anchor in the help file is "ctx<id>".
inline constexpr int help_default_topic = 0;
inline constexpr int help_none = -1;

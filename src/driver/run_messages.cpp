#include "run_messages.hpp"

#include "tk_text.hpp"

namespace {

std::wstring server_name(const std::wstring& server) {
  return server.empty() ? std::wstring(L"the local server") : L"the server " + server;
}

std::wstring rows_landed(const std::wstring& table, long loaded) {
  if (table.empty()) return L"no rows had been loaded yet";
  return std::to_wstring(loaded) + L" rows of " + table + L" had been loaded";
}

// A long name shown in full would fill the screen: its start and its length
// say which one it is.
std::wstring shown_name(const std::wstring& name) {
  if (name.size() <= 40) return L"'" + name + L"'";
  return L"'" + name.substr(0, 40) + L"...' (" + std::to_wstring(name.size()) + L" characters)";
}

}  // namespace

std::string table_summary_text(const std::wstring& table, long loaded, long refused,
                               long error_cells) {
  std::string text = "Table " + tk_w2a(table) + ": " + std::to_string(loaded) + " rows loaded, " +
                     std::to_string(refused) + " rows refused";
  if (error_cells > 0) text += ", " + std::to_string(error_cells) + " error cells stored as NULL";
  return text;
}

std::string stopped_text(const std::wstring& table, long loaded) {
  if (table.empty()) return "Stopped: nothing was loaded";
  return "Stopped: " + std::to_string(loaded) + " rows of " + tk_w2a(table) + " loaded";
}

std::wstring timeout_text(const std::wstring& server, int seconds, const std::wstring& doing,
                          const std::wstring& table, long loaded) {
  std::wstring text =
      L"No answer from " + server_name(server) + L" for " + std::to_wstring(seconds) + L" seconds";
  if (!doing.empty()) text += L" while " + doing;
  text += L"; " + rows_landed(table, loaded) + L". ";
  text +=
      L"Check that the server is running and reachable, or allow it more time "
      L"(--timeout=SECONDS, 0 waits forever).";
  return text;
}

std::wstring lost_connection_text(const std::wstring& server, const std::wstring& doing,
                                  const std::wstring& table, long loaded) {
  std::wstring text =
      L"The connection to " + (server.empty() ? L"the local server" : server) + L" was lost";
  if (!table.empty())
    text += L" after " + std::to_wstring(loaded) + L" rows of " + table + L" had been loaded";
  if (!doing.empty()) text += L" (" + doing + L")";
  text += L". Check that the server is running and reachable, then run again.";
  return text;
}

std::wstring no_worksheet_found_text(const std::wstring& workbook) {
  return L"None of the worksheets in the table list exists in " + workbook +
         L"; nothing was loaded. Check the names in the table list (--tab_file=).";
}

std::wstring no_worksheet_readable_text(const std::wstring& workbook) {
  return L"No worksheet of " + workbook +
         L" could be read; nothing was loaded and the destination was left as it was.";
}

std::wstring shortened_table_text(const std::wstring& name, const std::wstring& used) {
  return L"The table name " + shown_name(name) +
         L" is longer than the 128 characters SQL Server allows; the table was named " +
         shown_name(used) + L" instead.";
}

std::wstring shortened_column_text(const std::wstring& name, const std::wstring& used) {
  return L"The column name " + shown_name(name) +
         L" is longer than the 128 characters SQL Server allows; the column was named " +
         shown_name(used) + L" instead.";
}

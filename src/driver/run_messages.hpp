// The texts a run says in its own words: each table's summary, a stop, a lost
// or silent server, a workbook with nothing to load, a shortened name.
//
// Messages about a failure say where, what, and what to do about it. Names
// are given as the run knows them (wide); the texts are narrow, in the ANSI
// code page, like every message of the system. Plain functions.
#pragma once

#include <string>

// "Table <name>: <N> rows loaded, <M> rows refused", followed by
// ", <K> error cells stored as NULL" when the source met error cells
// (#N/A, #DIV/0!, ...).
std::string table_summary_text(const std::wstring& table, long loaded, long refused,
                               long error_cells = 0);

// "Stopped: <N> rows of <table> loaded".
std::string stopped_text(const std::wstring& table, long loaded);

// The server did not answer for `seconds` while the run was `doing`
// something; `loaded` rows of `table` had landed by then.
std::wstring timeout_text(const std::wstring& server, int seconds, const std::wstring& doing,
                          const std::wstring& table, long loaded);

// "The connection to <server> was lost after <N> rows of <table> had been
// loaded", with what the run was doing and what to check.
std::wstring lost_connection_text(const std::wstring& server, const std::wstring& doing,
                                  const std::wstring& table, long loaded);

// A table list named only worksheets the workbook lacks.
std::wstring no_worksheet_found_text(const std::wstring& workbook);
// Not one selected worksheet could be read.
std::wstring no_worksheet_readable_text(const std::wstring& workbook);

// A name longer than SQL Server's 128 characters and the name used instead.
std::wstring shortened_table_text(const std::wstring& name, const std::wstring& used);
std::wstring shortened_column_text(const std::wstring& name, const std::wstring& used);

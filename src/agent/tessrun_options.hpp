// The console agent's option handling: the walk over the command line, the
// checks that follow it, the table-list file and the preparation of the
// destination for the chosen mode.
//
// Everything the options say goes into the process-wide driver's settings.
// Problems with the options end the process through exit_with_message; a
// refused log file or a missing profile leaves as a tk_exception.
#pragma once

#include <string>
#include <vector>

class tessaly_convertor;

// The usage text, version 3.4.
std::string usage_text();

// Writes the text to standard error unless the run is silent, then ends the
// process with -1 (status 255).
[[noreturn]] void exit_with_message(const std::string& text);

// False only when an argument was not recognised.
bool parse_cmd_line(int argc, const char* const* argv);

// One name per non-empty line, spaces kept. A file starting with a UTF-8
// byte-order mark is read as UTF-8, any other in the ANSI code page.
std::vector<std::wstring> process_tab_file(const std::string& path);

// Drops what the mode says must be replaced before the run: the database in
// mode 0, a CSV run's table in mode 1.
void check_dest(const std::wstring& database);

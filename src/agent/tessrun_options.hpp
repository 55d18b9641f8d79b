// The console agent's option handling: the walk over the command line, the
// checks that follow it and the table-list file.
//
// Everything the options say goes into the process-wide driver's settings.
// Problems with the options end the process through exit_with_message; a
// refused log file or a missing profile leaves as a tk_exception.
#pragma once

#include <string>
#include <vector>

class tessaly_convertor;

// Exit status of a run that could not start or could not go on (-1).
inline constexpr int tessrun_exit_failed = 255;

// The usage text, version 3.4.
std::string usage_text();

// Writes the text to standard error unless the run is silent, then ends the
// process with -1 (status 255).
[[noreturn]] void exit_with_message(const std::string& text);

// False only when an argument was not recognised.
bool parse_cmd_line(int argc, const char* const* argv);

// One name per non-empty line, spaces kept. A byte-order mark decides the
// character set, else `encoding`, else the ANSI code page. Bytes that are not
// valid in it end the process with a message naming them.
std::vector<std::wstring> process_tab_file(const std::string& path, const std::string& encoding);

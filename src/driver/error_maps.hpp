// The error-message maps both programs register with the error handler.
//
// Keys follow the code convention of tk_exception: workbook-access errors are
// 0x10000 | the error number, SQL Server access errors 0x80000 | the low word
// of the provider result.
#pragma once

#include <span>

#include "tk_error_converter.hpp"

// Workbook-access errors (7 entries).
std::span<const tk_error_entry> dao_error_map();
// SQL Server access errors (27 entries).
std::span<const tk_error_entry> odb_error_map();
// Workbook refusals (3 entries: password-protected, and two for a table
// structure that cannot be read). The agent registers only the first two.
std::span<const tk_error_entry> workbook_error_map();

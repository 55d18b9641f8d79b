#include "error_maps.hpp"

#include "tk_support.hpp"

namespace {

#define SUPPORT TK_SUPPORT_EMAIL

constexpr const char* workgroup_file_text =
    "Invalid workgroup information file. Return to the previous\n"
    "wizard page and verify the correct path was given.";

constexpr tk_error_entry dao_map[] = {
    {0x10BEF,
     "Not a valid MS Access database name. Use the following characters\n"
     "to compose new database name: alphanumerics (A-Z, a-z, 0-9),\n"
     "underscore characters (_) and spaces."},
    {0x10BCE,
     "Duplicate field values being used for an unique index were found.\n"
     "See 'Troubleshooting' article of the product documentation\nfor solution."},
    {0x10BD5,
     "Not a valid account name or password has been specified\n"
     "in MS Access user-level security settings"},
    {0x10C28,
     "Cannot extract relationships information. See 'Troubleshooting'\n"
     "article of the product documentation for solution."},
    {0x10C65, workgroup_file_text},
    {0x10D1E, workgroup_file_text},
    {0x10D5D, "Data type conversion error. Please contact " SUPPORT "\nfor the solution."},
};

// A value the server or the loader refused (conversion, overflow) keeps its
// own text: it names the table, the column and the value.
constexpr tk_error_entry odb_map[] = {
    {0x80E03, "Given values violate the database schema."},
    {0x80E09,
     "You are not allowed to access MS SQL database. Ask your\n"
     "system administrator to grant you necessary privileges."},
    {0x80E11, "Invalid column ID. Contact to " SUPPORT " for the solution."},
    {0x80E13, "Invalid value. Contact to " SUPPORT " for the solution."},
    {0x80E17, "A data source with the specified name already exists."},
    {0x80E1D, "Requested conversion is not supported."},
    {0x80E21, "Errors occurred. Contact to " SUPPORT " for the solution."},
    {0x80E2F,
     "The specified record violates the integrity constraints.\n"
     "See 'Troubleshooting' article of the product documentation\nfor solution."},
    {0x80E30, "The given type name was unrecognized."},
    {0x80E34, "The specified index already exists."},
    {0x80E35, "The specified index does not exist."},
    {0x80E37, "The specified table does not exist."},
    {0x80E3A, "A specified precision was invalid."},
    {0x80E3B, "A specified scale was invalid."},
    {0x80E3C, "Invalid table ID. Contact to " SUPPORT " for the solution."},
    {0x80E3D, "A specified type was invalid."},
    {0x80E3E, "A column ID was occurred more than once in the specification."},
    {0x80E3F,
     "The specified table already exists. Try to connect as database owner\n"
     "using the appropriate checkbox on 'Connect to MS SQL server' wizard page."},
    {0x80E42, "The specified record number is invalid."},
    {0x80E4D, "Invalid user name or password."},
    {0x80E55, "The specified column did not exist."},
    {0x80E65, "The supplied columnID was invalid."},
    {0x80E72, "The index ID is invalid. Contact to " SUPPORT "\nfor the solution."},
    {0x80EC1,
     "One or more column types are incompatible; conversion errors will\n"
     "occur during copying."},
    {0x80EDA, "Errors occurred. Contact to " SUPPORT " for the solution."},
};

constexpr const char* table_structure_text =
    "Failed to recognize table structure in the worksheet.\n"
    "You can migrate the data manually via CSV format. See\n"
    "'CSV Files' article in the documentation for details.";

constexpr tk_error_entry workbook_map[] = {
    {0x10C59,
     "The workbook and/or one of its worksheets is password protected.\n"
     "You should unprotect it first. Open it with MS Excel,\n"
     "remove the password and run Tessaly again.\n"},
    {0x10C76, table_structure_text},
    {0x10CCA, table_structure_text},
};

static_assert(std::size(dao_map) == 7);
static_assert(std::size(odb_map) == 25);
static_assert(std::size(workbook_map) == 3);

}  // namespace

std::span<const tk_error_entry> dao_error_map() { return dao_map; }
std::span<const tk_error_entry> odb_error_map() { return odb_map; }
std::span<const tk_error_entry> workbook_error_map() { return workbook_map; }

#include "tessrun_options.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "error_handler.hpp"
#include "tessaly_convertor.hpp"
#include "tk_cmdli.hpp"
#include "tk_file.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

constexpr int version_major = 3;
constexpr int version_minor = 4;

enum option_id : int {
  opt_as_dbo,
  opt_csv_delim,
  opt_dest,
  opt_extr_fn,
  opt_from_csv,
  opt_help,
  opt_logfile,
  opt_host,
  opt_mode,
  opt_no_refine,
  opt_pswd,
  opt_silent,
  opt_src,
  opt_tab_file,
  opt_tab_name,
  opt_user,
  opt_profile,
};

constexpr tk_cmd_option options[] = {
    {opt_as_dbo, "--as_dbo"},      {opt_csv_delim, "--csv_delim="},
    {opt_dest, "--dest="},         {opt_extr_fn, "--extr_fn"},
    {opt_from_csv, "--from_csv"},  {opt_help, "--help"},
    {opt_logfile, "--logfile="},   {opt_host, "--host="},
    {opt_mode, "--mode="},         {opt_no_refine, "--no_refine"},
    {opt_pswd, "--pswd="},         {opt_silent, "--silent"},
    {opt_src, "--src="},           {opt_tab_file, "--tab_file="},
    {opt_tab_name, "--tab_name="}, {opt_user, "--user="},
    {opt_profile, "--profile="},   {-1, ""},
};

tessaly_convertor& converter() {
  tessaly_convertor* instance = tessaly_convertor::instance();
  TK_ASSERT(instance != nullptr);
  return *instance;
}

bool silent() {
  const tessaly_convertor* instance = tessaly_convertor::instance();
  return instance && instance->b_silent;
}

// The mode is valid only as plain digits that print back the same: "02",
// "+2", "2 " and "" are refused.
bool parse_mode(const std::string& text, int& mode) {
  mode = std::atoi(text.c_str());
  return std::to_string(mode) == text && mode >= 0 && mode <= 3;
}

}  // namespace

std::string usage_text() {
  char title[64];
  std::snprintf(title, sizeof title, "TESSRUN v%d.%d\n", version_major, version_minor);
  return std::string(title) +
         "Usage: TESSRUN.EXE OPTIONS\n"
         "\n"
         "   --as_dbo        connect to MS SQL server as database owner\n"
         "   --csv_delim=... select the delimiter that separates CSV field\n"
         "                   (0 - tab, 1 - semicolon, 2 - comma, 3 - space)\n"
         "   --dest=...      MS SQL database name\n"
         "   --extr_fn       extract field names from the first row\n"
         "   --from_csv      data source is a CSV file (MS Excel spreadsheet by default)\n"
         "   --help          display this help message and exit\n"
         "   --logfile=...   path to the file where execution trace will be written\n"
         "   --host=...      MS SQL server IP address or network name\n"
         "   --mode=...      how to process an existing MS SQL database:\n"
         "                   0 - overwrite the entire database,\n"
         "                   1 - overwrite existing tables only,\n"
         "                   2 - skip existing tables,\n"
         "                   3 - merge\n"
         "   --no_refine     disable improving type conversion\n"
         "   --profile=...  path to the file to load conversion settings from\n"
         "   --pswd=...      MS SQL user password\n"
         "   --silent        disable program output\n"
         "   --src=...       CSV file or MS Excel spreadsheet name\n"
         "   --tab_file=...  file containing the list of tables to convert\n"
         "                   (one table name per line)\n"
         "   --tab_name=...  MS SQL table name (when converting from CSV file)\n"
         "   --user=...      MS SQL user name\n"
         "\n"
         "NOTES:\n"
         "   1) You can omit 'host' parameter to connect local MS SQL server.\n"
         "   2) You can omit 'user' and 'pswd' parameters to connect to MS SQL\n"
         "      server using Windows authentication.\n"
         "   3) If you omit 'tab_file' parameter, all worksheets will be converted.\n"
         "\n";
}

void exit_with_message(const std::string& text) {
  tk_trace(3, "%s", text.c_str());
  if (!silent()) {
    std::fputs(text.c_str(), stderr);
    std::fputs("\n", stderr);
  }
  // Only ever before a run starts: nothing is open that would need closing.
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(tessrun_exit_failed);
}

std::vector<std::wstring> process_tab_file(const std::string& path) {
  tk_trace(1, "process_tab_file(%s)", path.c_str());
  if (!tk_is_file_exist(path, 0))
    exit_with_message(
        "Table names file does not exist.\nPlease verify the correct path/name was given.");

  std::ifstream in(path, std::ios::binary);
  std::vector<std::wstring> names;
  std::string line;
  bool b_decided = false;
  bool b_utf8 = false;
  // Whole lines are kept: a name is never cut, and a name longer than any
  // worksheet can have is simply not found.
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (!b_decided) {
      b_decided = true;
      b_utf8 = line.starts_with("\xEF\xBB\xBF");
      if (b_utf8) line.erase(0, 3);
      if (line.empty()) continue;
    }
    names.push_back(b_utf8 ? tk_utf82w(line) : tk_a2w(line));
  }
  return names;
}

bool parse_cmd_line(int argc, const char* const* argv) {
  tk_trace(2, "parse_cmd_line");
  for (int i = 0; i < argc; ++i) tk_trace(1, "parameter #%d: %s", i, argv[i]);

  tessaly_convertor& conv = converter();
  std::wstring host, user, pswd;
  std::vector<std::wstring> tables;
  bool b_mode_given = false;
  bool b_profile_loaded = false;

  tk_cmdli cursor(argc, argv, options);
  for (; cursor.has_more(); cursor.next()) {
    const std::string& value = cursor.value();
    switch (cursor.id()) {
      case opt_as_dbo:
        tk_trace(2, "\tconnecting as DBO");
        conv.mssql.set_as_dbo(true);
        break;
      case opt_csv_delim:
        tk_trace(2, "\tgot CSV delimiter %s", value.c_str());
        conv.n_comma = std::atoi(value.c_str());
        break;
      case opt_dest:
        tk_trace(2, "\tgot dest %s", value.c_str());
        conv.dest = tk_a2w(value);
        break;
      case opt_extr_fn:
        tk_trace(2, "\textract fld.names from 1st row");
        conv.x_fnames = true;
        break;
      case opt_from_csv:
        tk_trace(2, "\tconvert from CSV");
        conv.from_xls = false;
        break;
      case opt_help:
        exit_with_message(usage_text());
      case opt_logfile:
        tk_trace(1, "parse_cmd_line - got logfile %s", value.c_str());
        conv.set_logfile(value);
        break;
      case opt_host:
        host = tk_a2w(value);
        break;
      case opt_mode: {
        int mode = 0;
        const bool b_valid = parse_mode(value, mode);
        tk_trace(2, "\tgot mode %d", mode);
        if (!b_valid) exit_with_message("Invalid merge/overwrite mode");
        conv.set_mode(mode);
        b_mode_given = true;
        break;
      }
      case opt_no_refine:
        tk_trace(2, "\tdo not refine types mapping");
        conv.refine_types = false;
        break;
      case opt_pswd:
        pswd = tk_a2w(value);
        break;
      case opt_silent:
        tk_trace(1, "parse_cmd_line - silent mode is ON");
        conv.set_silent(true);
        if (error_handler* handler = error_handler::instance()) handler->set_silent(true);
        break;
      case opt_src:
        tk_trace(2, "\tgot src %s", value.c_str());
        conv.src = tk_a2w(value);
        break;
      case opt_tab_file:
        tk_trace(2, "\tgot tab_file %s", value.c_str());
        tables = process_tab_file(value);
        break;
      case opt_tab_name:
        tk_trace(2, "\tgot tab_name %s", value.c_str());
        conv.tab_name = tk_a2w(value);
        break;
      case opt_user:
        user = tk_a2w(value);
        break;
      case opt_profile:
        tk_trace(1, "parse_cmd_line - got profile %s", value.c_str());
        b_profile_loaded = conv.load_profile(tk_a2w(value));
        break;
      default:
        break;  // kept by the cursor as unrecognised
    }
  }
  if (cursor.unrecognised_count() > 0) return false;

  if (conv.src.empty()) exit_with_message("You should enter data source name");
  if (conv.dest.empty()) exit_with_message("You should enter destination MS SQL database name");

  if (conv.from_xls) {
    if (b_profile_loaded) return true;
    std::vector<std::wstring> all_sheets;
    conv.get_all_sheets(all_sheets);
    // Without a table list every worksheet is converted, as the usage says.
    if (!tables.empty()) {
      conv.b_console_report = !conv.b_silent;  // names the workbook lacks
      conv.set_sel_sheets(tables);
    }
  } else {
    if (conv.tab_name.empty())
      exit_with_message("You should specify MS SQL table name (use '--tab_name' option)");
    // A delimiter outside the four known ones would index past the table.
    if (conv.n_comma < 0 || conv.n_comma >= csv_delimiter_count)
      exit_with_message("You should specify CSV delimiter (use '--csv_delim' option)");
    if (!b_mode_given && !conv.b_mode_from_profile) conv.set_mode(mode_overwrite_tables);
    if (b_profile_loaded) return true;
  }

  conv.mssql.sec_log = user.empty() && pswd.empty();
  conv.mssql.host = host;
  conv.mssql.user = user;
  conv.mssql.pswd = pswd;
  return true;
}

#include "tessrun_options.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "csv_decoder.hpp"
#include "error_handler.hpp"
#include "tessaly_convertor.hpp"
#include "tk_cmdli.hpp"
#include "tk_file.hpp"
#include "tk_iconv.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"
#include "udb_profile_keys.hpp"

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
  opt_login_timeout,
  opt_timeout,
  opt_encoding,
  opt_src_pswd,
  opt_date_order,
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
    {opt_profile, "--profile="},   {opt_login_timeout, "--login_timeout="},
    {opt_timeout, "--timeout="},   {opt_encoding, "--encoding="},
    {opt_src_pswd, "--src_pswd="}, {opt_date_order, "--date_order="},
    {-1, ""},
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

const char* const delimiter_message = "You should specify CSV delimiter (use '--csv_delim' option)";

// "0" to "3" name the four usual delimiters; any other single character
// (in the locale's character set) is the delimiter itself.
bool parse_delimiter(const std::string& text, udb_converter& conv) {
  if (text.size() == 1 && text[0] >= '0' && text[0] <= '3') {
    conv.n_comma = text[0] - '0';
    conv.csv_delimiter_char = 0;
    return true;
  }
  const std::wstring wide = tk_a2w(text);
  if (wide.size() != 1 || !udb_profile_keys::is_delimiter_char(wide[0])) return false;
  conv.set_csv_delimiter(wide[0]);
  return true;
}

void check_encoding(const std::string& encoding) {
  if (!tk_iconv::knows(encoding))
    exit_with_message("Unknown character set '" + encoding +
                      "' (use '--encoding' option with a name iconv knows, such as UTF-8, CP1252, "
                      "ISO-8859-1 or UTF-16LE; 'iconv -l' lists them all)");
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
         "                   or the delimiter character itself (e.g. --csv_delim='|')\n"
         "   --date_order=... how to read dates such as 01/02/2003 when every value of\n"
         "                   a column could be either: dmy, mdy or ymd\n"
         "   --dest=...      MS SQL database name\n"
         "   --encoding=...  character set of the CSV file and the table list\n"
         "                   (e.g. UTF-8, CP1252, ISO-8859-7, SHIFT_JIS, UTF-16LE;\n"
         "                   a byte-order mark in the file wins)\n"
         "   --extr_fn       extract field names from the first row\n"
         "   --from_csv      data source is a CSV file (MS Excel spreadsheet by default)\n"
         "   --help          display this help message and exit\n"
         "   --logfile=...   path to the file where execution trace will be written\n"
         "   --login_timeout=... seconds to wait for the server to accept the login\n"
         "                   (30 by default)\n"
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
         "   --src_pswd=...  password of an encrypted workbook\n"
         "   --tab_file=...  file containing the list of tables to convert\n"
         "                   (one table name per line)\n"
         "   --tab_name=...  MS SQL table name (when converting from CSV file)\n"
         "   --timeout=...   seconds to wait for any answer of the server before the run\n"
         "                   ends (600 by default, 0 - wait forever)\n"
         "   --user=...      MS SQL user name\n"
         "\n"
         "NOTES:\n"
         "   1) You can omit 'host' parameter to connect local MS SQL server.\n"
         "   2) You can omit 'user' and 'pswd' parameters to connect to MS SQL\n"
         "      server using Windows authentication.\n"
         "   3) If you omit 'tab_file' parameter, all worksheets will be converted.\n"
         "   4) Without 'pswd' the password is taken from the environment variable\n"
         "      TESSALY_PASSWORD, which other users cannot read as they can a\n"
         "      command line; without 'src_pswd', the workbook's from\n"
         "      TESSALY_SRC_PASSWORD.\n"
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

std::vector<std::wstring> process_tab_file(const std::string& path, const std::string& encoding) {
  tk_trace(1, "process_tab_file(%s)", path.c_str());
  if (!tk_is_file_exist(path, 0))
    exit_with_message(
        "Table names file does not exist.\nPlease verify the correct path/name was given.");

  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  const csv_decoder::text text = csv_decoder::decode_text(bytes, encoding);
  if (!text.invalid.empty()) {
    const csv_decoder::invalid_sequence& bad = text.invalid.front();
    const std::wstring_view before(text.chars.data(), static_cast<std::size_t>(bad.char_index));
    std::size_t line = 1;  // LF, CR LF and CR each end a line
    for (std::size_t i = 0; i < before.size(); ++i)
      if (before[i] == L'\n' || (before[i] == L'\r' && text.chars[i + 1] != L'\n')) ++line;
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02X", bad.byte);
    exit_with_message("Table names file " + path + " is not valid " + text.charset +
                      " text: byte " + byte + " at offset " + std::to_string(bad.byte_offset) +
                      " (line " + std::to_string(line) +
                      ").\nGive its character set with the '--encoding' option.");
  }
  // Whole lines are kept: a name is never cut, and a name longer than any
  // worksheet can have is simply not found. Lines end at LF, CR LF or CR.
  std::vector<std::wstring> names;
  std::wstring line;
  for (const wchar_t c : text.chars) {
    if (c != L'\r' && c != L'\n') {
      line += c;
    } else if (!line.empty()) {
      names.push_back(std::move(line));
      line.clear();
    }
  }
  if (!line.empty()) names.push_back(std::move(line));
  return names;
}

namespace {

// Where the worksheets to convert come from: the last of --tab_file= and
// --profile= on the command line wins.
enum class sheet_choice { all, table_list, profile };

// What the walk over the options learned beyond the driver's settings.
struct parse_state {
  std::vector<std::wstring> tables;
  std::string tab_file;  // read once every option is known: --encoding may follow
  bool b_tab_file = false;
  sheet_choice sheets = sheet_choice::all;
  bool b_mode_given = false;
  bool b_profile_loaded = false;
  // --user= or --pswd= given after the last profile (or with none).
  bool b_login_given = false;
  bool b_password_given = false;
};

// Seconds for a time-limit option, or the process ends with the message.
int parse_timeout(const std::string& option, const std::string& value) {
  const int seconds = udb_profile_keys::parse_seconds(tk_a2w(value));
  if (seconds < 0)
    exit_with_message("Invalid " + option + " value '" + value +
                      "': give a number of seconds (0 to " +
                      std::to_string(udb_profile_keys::max_timeout) + ")");
  return seconds;
}

// The argument as the trace log may show it: never a password.
std::string traced_argument(const char* argument) {
  const std::string text = argument ? argument : "";
  if (text.starts_with("--pswd=")) return "--pswd=***";
  if (text.starts_with("--src_pswd=")) return "--src_pswd=***";
  return text;
}

void load_profile_option(tessaly_convertor& conv, const std::string& value, parse_state& state) {
  tk_trace(1, "parse_cmd_line - got profile %s", value.c_str());
  // The worksheets are resolved once every option is known.
  conv.b_profile_selects_sheets = false;
  state.b_profile_loaded = conv.load_profile(tk_a2w(value));
  if (!conv.profile_warning.empty() && !silent())
    std::fprintf(stderr, "%s\n", conv.profile_warning.c_str());
  // The profile's connection stands until an option after it changes it.
  state.b_login_given = false;
  state.b_password_given = false;
  state.sheets = sheet_choice::profile;
}

// Takes one recognised option into the driver's settings or the state.
void take_option(tessaly_convertor& conv, int id, const std::string& value, parse_state& state) {
  switch (id) {
    case opt_as_dbo:
      tk_trace(2, "\tconnecting as DBO");
      conv.mssql.set_as_dbo(true);
      break;
    case opt_csv_delim:
      tk_trace(2, "\tgot CSV delimiter %s", value.c_str());
      if (!parse_delimiter(value, conv))
        exit_with_message(std::string(delimiter_message) + "\n'" + value +
                          "' is neither 0 (tab), 1 (semicolon), 2 (comma), 3 (space) nor one "
                          "character other than a double quote or a digit.");
      break;
    case opt_date_order:
      tk_trace(2, "\tgot date order %s", value.c_str());
      if (!parse_date_order(tk_a2w(value), conv.date_order_setting))
        exit_with_message("Invalid date order '" + value +
                          "' (use '--date_order' option with dmy, mdy or ymd)");
      break;
    case opt_dest:
      tk_trace(2, "\tgot dest %s", value.c_str());
      conv.dest = tk_a2w(value);
      break;
    case opt_encoding:
      tk_trace(2, "\tgot encoding %s", value.c_str());
      check_encoding(value);
      conv.encoding = value;
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
    case opt_login_timeout:
      conv.mssql.login_timeout = parse_timeout("--login_timeout", value);
      break;
    case opt_host:
      conv.mssql.host = tk_a2w(value);
      break;
    case opt_mode: {
      int mode = 0;
      const bool b_valid = parse_mode(value, mode);
      tk_trace(2, "\tgot mode %d", mode);
      if (!b_valid) exit_with_message("Invalid merge/overwrite mode");
      conv.set_mode(mode);
      state.b_mode_given = true;
      break;
    }
    case opt_no_refine:
      tk_trace(2, "\tdo not refine types mapping");
      conv.refine_types = false;
      break;
    case opt_pswd:
      conv.mssql.pswd = tk_a2w(value);
      state.b_login_given = state.b_password_given = true;
      break;
    case opt_silent:
      tk_trace(1, "parse_cmd_line - silent mode is ON");
      conv.set_silent(true);
      if (error_handler* handler = error_handler::instance()) handler->set_silent(true);
      break;
    case opt_src_pswd:
      conv.src_pswd = tk_a2w(value);
      break;
    case opt_src:
      tk_trace(2, "\tgot src %s", value.c_str());
      conv.src = tk_a2w(value);
      break;
    case opt_tab_file:
      tk_trace(2, "\tgot tab_file %s", value.c_str());
      state.tab_file = value;
      state.b_tab_file = true;
      state.sheets = sheet_choice::table_list;
      break;
    case opt_tab_name:
      tk_trace(2, "\tgot tab_name %s", value.c_str());
      conv.tab_name = tk_a2w(value);
      break;
    case opt_timeout:
      conv.mssql.timeout = parse_timeout("--timeout", value);
      break;
    case opt_user:
      conv.mssql.user = tk_a2w(value);
      state.b_login_given = true;
      break;
    case opt_profile:
      load_profile_option(conv, value, state);
      break;
    default:
      break;  // kept by the cursor as unrecognised
  }
}

// The worksheets to convert: every one, the table list's or the profile's.
void select_worksheets(tessaly_convertor& conv, const parse_state& state) {
  // An encrypted workbook's password, when no option or profile gave one.
  if (conv.src_pswd.empty())
    if (const char* password = std::getenv("TESSALY_SRC_PASSWORD")) {
      tk_trace(2, "parse_cmd_line - workbook password from TESSALY_SRC_PASSWORD");
      conv.src_pswd = tk_a2w(password);
    }
  std::vector<std::wstring> all_sheets;
  conv.get_all_sheets(all_sheets);
  if (state.sheets == sheet_choice::all) return;
  conv.b_console_report = !conv.b_silent;  // names the workbook lacks
  conv.set_sel_sheets(state.sheets == sheet_choice::table_list ? state.tables : conv.pushed_back);
}

// SQL Server or integrated authentication, and the password from the
// environment when no option or profile gave one.
void settle_login(tessaly_convertor& conv, const parse_state& state) {
  mssql_converter_impl& mssql = conv.mssql;
  if (!state.b_profile_loaded || state.b_login_given)
    mssql.sec_log = mssql.user.empty() && !state.b_password_given && mssql.pswd.empty();
  if (mssql.sec_log || state.b_password_given || !mssql.pswd.empty()) return;
  if (const char* password = std::getenv("TESSALY_PASSWORD")) {
    tk_trace(2, "parse_cmd_line - password from TESSALY_PASSWORD");
    mssql.pswd = tk_a2w(password);
  }
}

}  // namespace

bool parse_cmd_line(int argc, const char* const* argv) {
  tk_trace(2, "parse_cmd_line");
  for (int i = 0; i < argc; ++i)
    tk_trace(1, "parameter #%d: %s", i, traced_argument(argv[i]).c_str());

  tessaly_convertor& conv = converter();
  parse_state state;
  tk_cmdli cursor(argc, argv, options);
  for (; cursor.has_more(); cursor.next()) take_option(conv, cursor.id(), cursor.value(), state);
  if (cursor.unrecognised_count() > 0) {
    // Named on their own lines, so a typing mistake is found at once.
    if (!silent())
      for (const std::string& argument : cursor.unrecognised())
        std::fprintf(stderr, "Unknown argument: %s\n", argument.c_str());
    return false;
  }

  if (!conv.encoding.empty()) check_encoding(conv.encoding);  // a profile's, too
  if (state.b_tab_file) state.tables = process_tab_file(state.tab_file, conv.encoding);

  if (conv.src.empty()) exit_with_message("You should enter data source name");
  if (conv.dest.empty()) exit_with_message("You should enter destination MS SQL database name");

  if (conv.from_xls) {
    select_worksheets(conv, state);
  } else {
    if (conv.tab_name.empty())
      exit_with_message("You should specify MS SQL table name (use '--tab_name' option)");
    if (conv.csv_delimiter() == 0) exit_with_message(delimiter_message);
    if (!state.b_mode_given && !conv.b_mode_from_profile) conv.set_mode(mode_overwrite_tables);
  }
  settle_login(conv, state);
  return true;
}

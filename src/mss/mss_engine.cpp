#include "mss_engine.hpp"

#include <cstdlib>

#include "mss_database.hpp"
#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

std::wstring mss_bracket(const std::wstring& name) {
  std::wstring out = L"[";
  for (wchar_t c : name) {
    out += c;
    if (c == L']') out += L']';
  }
  return out + L"]";
}

std::string mss_bracket_utf8(const std::wstring& name) { return tk_w2utf8(mss_bracket(name)); }

namespace {

// Reads one bracketed identifier at `pos`; false when there is none.
bool read_bracketed(const std::wstring& s, std::size_t& pos, std::wstring& out) {
  if (pos >= s.size() || s[pos] != L'[') return false;
  std::wstring text;
  for (std::size_t i = pos + 1; i < s.size(); ++i) {
    if (s[i] == L']') {
      if (i + 1 < s.size() && s[i + 1] == L']') {
        text += L']';
        ++i;
        continue;
      }
      pos = i + 1;
      out = text;
      return true;
    }
    text += s[i];
  }
  return false;
}

}  // namespace

bool mss_split_tab_name(const std::wstring& name, std::wstring& table, std::wstring& owner) {
  tk_trace(1, L"mss_split_tab_name (%ls)", name.c_str());
  if (name.size() < 3 || name.front() != L'[' || name.back() != L']') return false;
  std::size_t pos = 0;
  std::wstring first, second;
  if (!read_bracketed(name, pos, first)) return false;
  if (pos == name.size()) {
    table = first;
    owner.clear();
  } else {
    if (name[pos] != L'.') return false;
    ++pos;
    if (!read_bracketed(name, pos, second) || pos != name.size()) return false;
    owner = first;
    table = second;
  }
  tk_trace(1, L"tab_name=%ls, owner=%ls", table.c_str(), owner.c_str());
  return true;
}

mss_engine::mss_engine(bool b_com_initialized) : b_com_initialized_(b_com_initialized) {
  tk_trace(2, "mss_engine::ctor");
}

mss_engine::~mss_engine() { tk_trace(2, "mss_engine::dtor"); }

void mss_engine::set_as_dbo(bool flag) {
  tk_trace(1, "mss_engine::set_as_dbo(%d)", flag ? 1 : 0);
  b_as_dbo_ = flag;
}

void mss_engine::connect(const std::wstring& server, bool fast_load) {
  tk_trace(2, L"mss_engine::connect( %ls )", server.c_str());
  do_connect(server, L"", L"", true, fast_load);
}

void mss_engine::connect(const std::wstring& server, const std::wstring& user,
                         const std::wstring& password, bool fast_load) {
  // The password never reaches the log.
  tk_trace(2, L"mss_engine::connect( %ls, %ls, %ls )", server.c_str(), user.c_str(), L"***");
  do_connect(server, user, password, false, fast_load);
}

void mss_engine::do_connect(const std::wstring& server, const std::wstring& user,
                            const std::wstring& password, bool b_integrated, bool fast_load) {
  tk_trace(3, "Connecting to MS SQL server...");
  b_connected_ = false;
  odb_login login(user, password, b_integrated);
  odb_connection connection(server, login, L"");
  b_fast_load_ = enable_fast_load(connection, fast_load);
  server_ = server;
  user_ = b_integrated ? L"" : user;
  password_ = b_integrated ? L"" : password;
  b_integrated_ = b_integrated;
  b_connected_ = true;
  version_level_ = get_version(connection);
}

std::unique_ptr<odb_connection> mss_engine::test_connection(const std::wstring& database) const {
  TK_ASSERT(b_connected_);
  tk_trace(
      2,
      L"mss_engine::test_connection(Data Source=%ls;Initial Catalog=%ls;User ID=%ls;Password=***)",
      server_.c_str(), database.c_str(), user_.c_str());
  odb_login login(user_, password_, b_integrated_);
  return std::make_unique<odb_connection>(server_, login, database);
}

int mss_engine::version_from_text(const std::string& text) {
  static const std::string prefix = "Microsoft SQL Server";
  if (text.rfind("Microsoft SQL Azure", 0) == 0) return 5;
  if (text.size() <= prefix.size() + 10 || text.rfind(prefix, 0) != 0) return 0;
  const std::string v = tk_trim(text.substr(prefix.size(), 10));
  if (v.rfind("2008", 0) == 0) return 5;
  if (v.rfind("2005", 0) == 0) return 4;
  if (v.rfind("200", 0) == 0) return 3;
  if (v.rfind("7.", 0) == 0) return 2;
  // Every release since 2008 names its year.
  if (v.size() >= 4 && std::isdigit(static_cast<unsigned char>(v[0])) &&
      std::isdigit(static_cast<unsigned char>(v[1])) &&
      std::isdigit(static_cast<unsigned char>(v[2])) &&
      std::isdigit(static_cast<unsigned char>(v[3])) && std::atoi(v.substr(0, 4).c_str()) >= 2008)
    return 5;
  return 0;
}

int mss_engine::version_from_product(const std::string& product_version) {
  const int major = std::atoi(product_version.c_str());
  if (major >= 10) return 5;
  if (major == 9) return 4;
  if (major == 8) return 3;
  if (major == 7) return 2;
  return 1;
}

int mss_engine::get_version(odb_connection& connection) {
  tk_trace(1, "mss_engine::get_version(priv)");
  odb_result r = connection.query("SELECT @@VERSION");
  if (r.rows.empty() || r.rows[0].empty())
    throw odb_exception(tk_code_kind_odb | odb_low_other, "The server did not tell its version.",
                        tk_level_run);
  const std::string text = r.rows[0][0].bytes;
  tk_trace(1, "MS SQL version string: %s", text.c_str());
  int level = version_from_text(text);
  if (level != 0) return level;
  try {
    odb_result p =
        connection.query("SELECT CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128))");
    if (!p.rows.empty() && !p.rows[0].empty() && !p.rows[0][0].b_null)
      return version_from_product(p.rows[0][0].bytes);
  } catch (const odb_exception&) {
    tk_trace(1, "The server's product version could not be read");
  }
  return 1;
}

bool mss_engine::enable_fast_load(odb_connection&, bool wanted) {
  tk_trace(1, "mss_engine::enable_fast_load");
  // DB-Library always offers bulk copy; a server that refuses it is found
  // when a table's bulk copy starts, and that table then loads by INSERT.
  return wanted;
}

bool mss_engine::is_db_exist(const std::wstring& name) const {
  TK_ASSERT(b_connected_);
  tk_trace(2, L"mss_engine::is_db_exist(%ls)", name.c_str());
  try {
    test_connection(name);
  } catch (const odb_exception&) {
    return false;
  }
  tk_trace(1, "mss_engine::is_db_exist -- end");
  return true;
}

std::unique_ptr<mss_database> mss_engine::open_db(const std::wstring& name, int mode) const {
  TK_ASSERT(b_connected_);
  tk_trace(2, L"mss_engine::open_db(%ls)", name.c_str());
  tk_trace(3, L"Opening MS SQL database '%ls'", name.c_str());
  std::shared_ptr<odb_connection> connection = test_connection(name);
  tk_trace(1, "Connection to the database was establish successfully");
  return std::make_unique<mss_database>(name, std::move(connection), mode);
}

std::unique_ptr<mss_database> mss_engine::create_db(const std::wstring& name) const {
  TK_ASSERT(b_connected_);
  tk_trace(2, L"mss_engine::create_db(%ls)", name.c_str());
  tk_trace(3, L"Creating MS SQL database '%ls'", name.c_str());
  try {
    auto connection = test_connection(L"");
    connection->execute("CREATE DATABASE " + mss_bracket_utf8(name));
  } catch (const odb_exception& e) {
    // is_db_exist calls a database the login cannot open missing; when it
    // exists after all, why it cannot be opened is what the user needs.
    if (e.server_number() != 1801) throw;
    explain_closed_database(name);
    throw;
  }
  return open_db(name, 2);
}

void mss_engine::explain_closed_database(const std::wstring& name) const {
  try {
    test_connection(name);
  } catch (const odb_exception& e) {
    const std::string who = user_.empty() ? "this login" : "login '" + tk_w2utf8(user_) + "'";
    throw odb_exception(e.code(),
                        e.description() + " The database exists, but " + who +
                            " cannot open it: its owner can give the login a user in it (CREATE "
                            "USER), or connect with a login that has one.",
                        tk_level_run);
  }
}

void mss_engine::delete_db(const std::wstring& name) const {
  TK_ASSERT(b_connected_);
  tk_trace(2, L"mss_engine::delete_db(%ls)", name.c_str());
  tk_trace(3, L"Deleting MS SQL database '%ls'", name.c_str());
  auto connection = test_connection(L"");
  connection->execute("DROP DATABASE " + mss_bracket_utf8(name));
}

std::wstring mss_engine::table_owner(odb_connection& connection) const {
  if (user_.empty() || b_as_dbo_ || tk_compare_nocase(user_, L"sa") == 0) return L"dbo";
  odb_result r = connection.query("SELECT SCHEMA_NAME()");
  if (r.rows.empty() || r.rows[0].empty() || r.rows[0][0].b_null || r.rows[0][0].bytes.empty())
    return L"dbo";
  return tk_utf82w(r.rows[0][0].bytes);
}

std::wstring mss_engine::get_safe_tname(const std::wstring& name, const std::wstring& owner) {
  tk_trace(1, L"mss_engine::get_safe_tname(%ls)", name.c_str());
  std::wstring table, table_owner;
  if (mss_split_tab_name(name, table, table_owner)) {
    if (!table_owner.empty()) {
      tk_trace(1, "This is a full canonized table name");
      return name;
    }
  } else {
    table = name;
  }
  std::wstring result = mss_bracket(owner.empty() ? L"dbo" : owner) + L"." + mss_bracket(table);
  tk_trace(1, L"result=%ls", result.c_str());
  return result;
}

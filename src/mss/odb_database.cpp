#include "odb_database.hpp"

#include "mss_engine.hpp"
#include "mss_table.hpp"
#include "odb_record.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

odb_database::odb_database(const std::wstring& name, std::shared_ptr<odb_connection> connection,
                           int mode)
    : udb_database(name, mode, false), connection_(std::move(connection)) {}

odb_database::~odb_database() = default;

long odb_database::execute(const std::string& sql) {
  tk_trace(2, "odb_command::execute(%s)", sql.c_str());
  return connection_->execute(sql);
}

std::unique_ptr<odb_recordset> odb_database::query(const std::string& sql) {
  tk_trace(2, "odb_command::execute(%s)", sql.c_str());
  return std::make_unique<odb_recordset>(L"query", connection_->query(sql));
}

bool odb_database::delete_tab(const std::wstring& name) {
  tk_trace(2, L"odb_database::delete_tab(%ls)", name.c_str());
  std::wstring table, owner;
  std::wstring target = mss_split_tab_name(name, table, owner) ? name : mss_bracket(name);
  execute("DROP TABLE " + tk_w2utf8(target));
  // The list holds plain names; forget whichever form is listed.
  std::wstring listed = mss_split_tab_name(name, table, owner) ? table : name;
  if (is_table_exist(listed)) return udb_database::delete_tab(listed);
  return true;
}

namespace {

int version_level() {
  const mss_engine* e = mss_engine::instance();
  return e ? e->version_level() : 5;
}

bool is_identity(const t_ftd& f) {
  if (!f.b_auto_increment) return false;
  switch (f.vartype) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_BOOL:
      return true;
    case VT_UI4:
    case VT_I8:
    case VT_UINT:
      return version_level() >= 3;
    default:
      return false;
  }
}

bool is_text(VARTYPE vt) { return vt == VT_BSTR; }
bool is_binary(VARTYPE vt) { return vt == VT_BLOB || vt == VT_BLOB_OBJECT; }

// Column type text; `b_long` tells a (max) column.
std::string column_type(const t_ftd& f, bool& b_long) {
  b_long = false;
  if (!f.sql_type.empty()) {
    b_long = f.sql_type.ends_with("(max)");
    return f.sql_type;
  }
  std::string type = odb_record::get_server_type(f.vartype, version_level());
  if (type == "nvarchar") {
    // nvarchar holds at most 4000 characters as a sized column.
    if (f.size <= 0 || f.size > 4000) {
      tk_trace(1, "Got MEMO/BLOB field");
      b_long = true;
      return "nvarchar(max)";
    }
    return "nvarchar(" + std::to_string(f.size) + ")";
  }
  if (type == "varbinary") {
    if (f.size <= 0 || f.size > 8000) {
      tk_trace(1, "Got MEMO/BLOB field");
      b_long = true;
      return "varbinary(max)";
    }
    return "varbinary(" + std::to_string(f.size) + ")";
  }
  // time came with SQL Server 2008; older servers keep such columns as datetime.
  if (f.vartype == VT_DATE && f.extra == t_ftd::extra_time_only && version_level() >= 5)
    return "time(0)";
  if (type == "numeric") {
    int precision = f.extra / 256, scale = f.extra % 256;
    tk_trace(1, "Scale/precision for decimal column: (%d, %d)", precision, scale);
    if (precision >= 29) return "float";
    if (precision == 0) return "numeric";
    return "numeric(" + std::to_string(precision) + ", " + std::to_string(scale) + ")";
  }
  return type;
}

}  // namespace

std::string odb_database::set_def_value(const t_ftd& field) {
  tk_trace(1, "odb_database::set_def_value");
  const std::wstring text = field.def_value.to_wstring();
  tk_trace(1, L"Got default value: %ls", text.c_str());
  if (field.def_value.get_type() == VT_EMPTY || field.def_value.get_type() == VT_NULL) return {};
  if (text.empty() && field.vartype != VT_BSTR) return {};
  ole_variant value;
  try {
    value = ole_variant::from_wstring(text, field.vartype);
  } catch (const std::exception&) {
    tk_trace(1, "Invalid default value");
    return {};
  }
  if (value.get_type() == VT_EMPTY && field.vartype != VT_BSTR) {
    tk_trace(1, "Invalid default value");
    return {};
  }
  value = mssql_get_safe_variant(value);
  std::wstring safe = value.to_wstring();
  tk_trace(1, L"Got safe default value: %ls", safe.c_str());
  if (field.vartype == VT_BOOL) return value.to_bool() ? "1" : "0";
  if (field.vartype == VT_BSTR || field.vartype == VT_DATE) {
    std::wstring quoted = field.vartype == VT_BSTR ? L"N'" : L"'";
    for (wchar_t c : safe) {
      quoted += c;
      if (c == L'\'') quoted += L'\'';
    }
    return tk_w2utf8(quoted + L"'");
  }
  return tk_w2utf8(safe);
}

std::string odb_database::create_table_sql(const std::wstring& safe_name, const udb_schema& schema,
                                           const udb_indexes& indexes) {
  tk_trace(1, "Schema size=%d", static_cast<int>(schema.field_count()));
  const int pk = indexes.find_primary();
  std::string sql = "CREATE TABLE " + tk_w2utf8(safe_name) + " (";
  for (std::size_t i = 0; i < schema.field_count(); ++i) {
    const t_ftd& f = schema.field_at(i);
    tk_trace(1, L"Creating column '%ls', size=%d", f.name.c_str(), f.size);
    const bool b_identity = is_identity(f);
    bool b_nullable = !(b_identity || f.b_not_null);
    if (pk >= 0 && indexes.is_idx_field(pk, f.name)) {
      tk_trace(1, "Field is a part of Primary Key");
      b_nullable = false;
    }
    bool b_long = false;
    std::string type = column_type(f, b_long);
    tk_trace(1, "Binding column #%d (%d, %d)", static_cast<int>(i + 1), f.vartype, f.size);
    if (i) sql += ", ";
    sql += tk_w2utf8(mss_bracket(f.name)) + " " + type;
    if (b_identity) sql += " IDENTITY(1,1)";
    sql += b_nullable ? " NULL" : " NOT NULL";
    if (!b_long && !b_identity && !is_binary(f.vartype)) {
      std::string def = set_def_value(f);
      if (!def.empty()) sql += " DEFAULT " + def;
    }
  }
  sql += ")";
  return sql;
}

void odb_database::create_table_in_server(const std::wstring& safe_name, const udb_schema& schema,
                                          const udb_indexes& indexes) {
  tk_trace(2, L"odb_database::create_table(%ls)", safe_name.c_str());
  tk_trace(1, L"Got safe table name: %ls", safe_name.c_str());
  std::string sql = create_table_sql(safe_name, schema, indexes);
  tk_trace(1, "Right before creating the table");
  execute(sql);

  std::wstring table, owner;
  if (!mss_split_tab_name(safe_name, table, owner)) table = safe_name;
  for (const udb_index& index : indexes) {
    tk_trace(1, L"Creating index '%ls'", index.name.c_str());
    int total = 0;
    bool b_skip = false;
    std::string columns;
    int n = 0;
    for (const std::wstring& column : index.columns) {
      tk_trace(1, L"Process field #%d - '%ls'", n, column.c_str());
      if (!schema.find_field(column)) {
        b_skip = true;
        break;
      }
      const t_ftd& f = schema.get_field(column);
      int width = f.vartype == VT_BSTR ? 2 * f.size : f.size;
      tk_trace(1, "vt=%08X, size=%d", f.vartype, f.size);
      total += width;
      if (f.vartype == VT_BOOL) b_skip = true;
      if ((is_text(f.vartype) || is_binary(f.vartype)) && (width <= 0 || width > 8000))
        b_skip = true;
      if (n++) columns += ", ";
      columns += tk_w2utf8(mss_bracket(column));
    }
    tk_trace(1, "Total index size=%d", total);
    // The server refuses keys wider than 900 bytes.
    if (b_skip || total > 900 || index.columns.empty()) {
      tk_trace(3, L"Index '%ls' has been skipped", index.name.c_str());
      tk_trace(1, L"Skip index '%ls'", index.name.c_str());
      continue;
    }
    if (index.b_primary) {
      execute("ALTER TABLE " + tk_w2utf8(safe_name) + " ADD CONSTRAINT " +
              tk_w2utf8(mss_bracket(L"PK_" + table)) + " PRIMARY KEY CLUSTERED (" + columns + ")");
    } else {
      execute(std::string("CREATE ") + (index.b_unique ? "UNIQUE " : "") + "INDEX " +
              tk_w2utf8(mss_bracket(index.name)) + " ON " + tk_w2utf8(safe_name) + " (" + columns +
              ")");
    }
  }
}
